// Polygon areas and turning on outlines whose answers are known by hand.

#include "geometry/polygon.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace skarvel {
namespace {

struct P {
  double x, y;
};

struct Case {
  const char* why;
  std::vector<P> ring;
  double area;     // unsigned
  double fanArea;  // signed: positive counter-clockwise
  bool convex;
};

TEST(Polygon, AreasAndConvexityOfOutlinesWorkedByHand) {
  const Case cases[] = {
      {"unit square, counter-clockwise", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 1, 1, true},
      {"unit square, clockwise", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, 1, -1, true},
      {"far from the origin (sums about a vertex stay exact)",
       {{1e6, 1e6}, {1e6 + 2, 1e6}, {1e6 + 2, 1e6 + 3}, {1e6, 1e6 + 3}},
       6,
       6,
       true},
      {"triangle 3-4-5", {{0, 0}, {4, 0}, {0, 3}}, 6, 6, true},
      {"crossed quad (a bow tie): its halves cancel", {{0, 0}, {1, 1}, {1, 0}, {0, 1}}, 0, 0, false},
      {"a straight corner is not strictly convex", {{0, 0}, {1, 0}, {2, 0}, {2, 2}, {0, 2}}, 4, 4, false},
      {"dart (one reflex corner)", {{0, 0}, {2, 1}, {4, 0}, {2, 4}}, 6, 6, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_DOUBLE_EQ(ShoelaceArea(c.ring), c.area);
    EXPECT_DOUBLE_EQ(static_cast<double>(FanArea(c.ring)), c.fanArea);
    EXPECT_DOUBLE_EQ(RingAreaAboutFirstX(c.ring), c.area);
    EXPECT_EQ(IsStrictlyConvex(c.ring), c.convex);
  }
}

TEST(Polygon, TurnIsPositiveCounterClockwiseAndZeroWhenStraight) {
  EXPECT_GT(Turn(P{0, 0}, P{1, 0}, P{1, 1}), 0);
  EXPECT_LT(Turn(P{0, 0}, P{1, 0}, P{1, -1}), 0);
  EXPECT_EQ(Turn(P{0, 0}, P{1, 1}, P{3, 3}), 0);
  // Extended precision: the turn of points 1 ulp off a line of doubles.
  EXPECT_GT(Turn(P{0, 0}, P{1, 1}, P{3, 3.0000000000000004}), 0);
}

}  // namespace
}  // namespace skarvel
