// The horizon sweep against the exact sight-line check of the bilinear
// surface, cell by cell, on rough and smooth maps from eyes high and low,
// over the map and beside it.

#include "relief/coverage_sweep.h"
#include "support/height_map_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace skarvel {
namespace {

using testing::MapOf;

TEST(CoverageSweep, AgreesWithTheSightLineCheck) {
  std::mt19937 random(17);
  std::uniform_real_distribution<double> unit(0, 1);
  const HeightMap rough = MapOf(160, 120, 0, 0, 1, [&](int, int) { return 3 * unit(random); });
  const HeightMap hills = MapOf(200, 150, -50, 20, 0.5, [&](int c, int r) {
    return 4 + 3 * std::sin(c * 0.07) * std::cos(r * 0.05) + 0.3 * unit(random);
  });
  // Gentle enough for the slopes' proofs, with a wall that casts a shadow.
  const HeightMap walled = MapOf(200, 150, 0, 0, 0.5, [](int c, int r) {
    return 1 + std::sin(c * 0.05) * std::cos(r * 0.04) + (c == 120 ? 4 : 0);
  });
  const HeightMap pillars =
      MapOf(100, 100, 0, 0, 2, [&](int, int) { return unit(random) < 0.02 ? 25.0 : unit(random); });
  // Isolated spikes 25 times the ground's roughness are the interpolated
  // horizon's worst case: a spike between two neighbours' sight lines
  // stands higher on the line between them than on either.
  struct Pose {
    const HeightMap* map;
    Vec3 eye;
    double agreement;  // the least share of cells in view agreeing
    const char* why;
  } poses[] = {
      {&rough, {80.3, 60.7, 40}, 0.999, "rough, high over the middle"},
      {&rough, {20.1, 100.2, 8}, 0.999, "rough, low over a corner"},
      {&rough, {-60, 50, 30}, 0.999, "rough, beside the map"},
      {&rough, {80.5, 60.5, 6}, 0.999, "rough, over a centre, low"},
      {&hills, {0, 55, 30}, 0.999, "hills, high"},
      {&hills, {-70, 10, 12}, 0.999, "hills, beside a corner, low"},
      {&walled, {10.3, 37.7, 60}, 0.999, "gentle hills and a wall, high"},
      {&pillars, {100, 100, 60}, 0.995, "pillars, over a cell corner"},
      {&pillars, {250, 40, 40}, 0.995, "pillars, beside"},
  };
  long long proven = 0;
  for (const Pose& pose : poses) {
    const auto surface = MakeBilinearTreeIntersector(*pose.map);
    const GridGeometry& g = pose.map->grid;
    const SurfaceSlopes slopes(*surface);
    // The whole map, and a part of it away from the eye; in view: all but
    // a band of columns; with the slopes' proofs and without.
    for (const SurfaceSlopes* proofs : {static_cast<const SurfaceSlopes*>(nullptr), &slopes})
      for (const CellBox& box : {CellBox{0, g.columns - 1, 0, g.rows - 1},
                                 CellBox{g.columns / 2, g.columns - 1, g.rows / 3, g.rows - 1}}) {
        const auto inView = [&](const Vec3& p) {
          return !(p.x > g.originX + 10 * g.cellX && p.x < g.originX + 14 * g.cellX);
        };
        SweepStats stats;
        const std::vector<CellSight> sight = SweepVisibility(*surface, pose.eye, box, inView, &stats, proofs);
        ASSERT_EQ(static_cast<size_t>(box.Columns()) * box.Rows(), sight.size());
        long long inViewCount = 0, agree = 0, hidden = 0;
        for (int r = box.r0; r <= box.r1; ++r)
          for (int c = box.c0; c <= box.c1; ++c) {
            const Vec3 p{g.originX + (c + 0.5) * g.cellX, g.originY + (r + 0.5) * g.cellY,
                         pose.map->z[static_cast<size_t>(r) * g.columns + c]};
            const CellSight s = sight[static_cast<size_t>(r - box.r0) * box.Columns() + (c - box.c0)];
            if (!inView(p)) {
              ASSERT_EQ(CellSight::kNotInView, s) << pose.why;
              continue;
            }
            ASSERT_NE(CellSight::kNotInView, s) << pose.why;
            ++inViewCount;
            const bool exact = surface->Hidden(p, pose.eye);
            hidden += exact;
            agree += exact == (s == CellSight::kHidden);
          }
        EXPECT_EQ(inViewCount, stats.inView) << pose.why;
        proven += stats.proven;
        EXPECT_GE(static_cast<double>(agree), pose.agreement * static_cast<double>(inViewCount))
            << pose.why << ": " << inViewCount - agree << " of " << inViewCount;
        // The sweep decides most cells itself; both answers occur.
        EXPECT_LT(stats.checked, inViewCount / 2) << pose.why;
        EXPECT_GT(hidden, inViewCount / 100) << pose.why;
        EXPECT_LT(hidden, inViewCount * 99 / 100) << pose.why;
      }
  }
  EXPECT_GT(proven, 5000);  // the proofs took part
}

// The slopes' proof against the exact check, cell by cell: on a tilted plane
// of oblong cells (whose slope is known), rough ground, spikes, and level
// ground with a tall wall farther from the cells than the tiles round them
// reach, which only the map's highest point tells about.
TEST(CoverageSweep, SlopesProveSeenOnlyWhatTheSightLineCheckSees) {
  std::mt19937 random(29);
  std::uniform_real_distribution<double> unit(0, 1);
  HeightMap plane = MapOf(90, 70, 3, -2, 1, [](int c, int r) { return 0.6 * (c + 0.5) - 0.1 * (r + 0.5); });
  plane.grid.cellX = 0.5;  // z = 1.2 (x - 3) - 0.1 (y + 2)
  const HeightMap rough = MapOf(120, 100, 0, 0, 1, [&](int, int) { return 3 * unit(random); });
  const HeightMap spikes =
      MapOf(100, 100, 0, 0, 2, [&](int, int) { return unit(random) < 0.02 ? 25.0 : unit(random); });
  const HeightMap wall = MapOf(100, 60, 0, 0, 1, [](int c, int) { return c == 70 ? 8.0 : 0.0; });

  const SurfaceSlopes planeSlopes(*MakeBilinearTreeIntersector(plane));
  EXPECT_NEAR(std::hypot(1.2, 0.1), planeSlopes.Around(45, 35), 1e-12);
  EXPECT_TRUE(std::isinf(planeSlopes.Around(5, 35)));  // a tile at the edge
  EXPECT_DOUBLE_EQ(0.6 * 89.5 - 0.1 * 0.5, planeSlopes.Highest());
  EXPECT_EQ(0, SurfaceSlopes(*MakeBilinearTreeIntersector(MapOf(40, 40, 0, 0, 1, [](int, int) {
                 return -2.0;
               }))).Highest());

  struct Case {
    const HeightMap* map;
    Vec3 eye;
    double proven;  // the least share of the cells proved (about half are a tile from the edge)
    const char* why;
  } cases[] = {
      {&plane, {25, 30, 400}, 0.3, "plane, high"},
      {&plane, {25, 30, 60}, 0.05, "plane, low"},
      {&rough, {60.3, 50.7, 300}, 0.1, "rough, high"},
      {&rough, {20, 30, 15}, 0, "rough, low"},
      {&spikes, {100, 100, 400}, 0.03, "spikes, high"},
      {&wall, {95.5, 30.5, 9}, 0, "wall, the eye beyond it, a little higher"},
      {&wall, {30, 30, 40}, 0.1, "wall, eye before it"},
  };
  for (const Case& c : cases) {
    const auto surface = MakeBilinearTreeIntersector(*c.map);
    const SurfaceSlopes slopes(*surface);
    const GridGeometry& g = c.map->grid;
    long long cells = 0, proven = 0, hidden = 0;
    for (int r = 0; r < g.rows; ++r)
      for (int col = 0; col < g.columns; ++col) {
        const Vec3 p{g.originX + (col + 0.5) * g.cellX, g.originY + (r + 0.5) * g.cellY,
                     c.map->z[static_cast<size_t>(r) * g.columns + col]};
        const bool seen = !surface->Hidden(p, c.eye);
        ++cells;
        hidden += !seen;
        const double dx = p.x - c.eye.x, dy = p.y - c.eye.y;
        if (!slopes.ProvesSeen(col, r, p.z, c.eye.z - p.z, dx * dx + dy * dy)) continue;
        ++proven;
        EXPECT_TRUE(seen) << c.why << ": cell " << col << ' ' << r;
      }
    EXPECT_GE(static_cast<double>(proven), c.proven * static_cast<double>(cells)) << c.why;
    if (c.map == &wall && c.eye.x > 70) {
      EXPECT_GT(hidden, cells / 2) << c.why;
    }
  }
}

TEST(CoverageSweep, CountsAddOneForEachCellAFrameSeesOrHides) {
  std::mt19937 random(29);
  std::uniform_real_distribution<double> unit(0, 1);
  const HeightMap rough = MapOf(120, 90, 0, 0, 1, [&](int, int) { return 3 * unit(random); });
  const auto surface = MakeBilinearTreeIntersector(rough);
  const GridGeometry& g = rough.grid;
  const SurfaceSlopes slopes(*surface);
  const Vec3 eye{60.2, 44.9, 30};
  // A camera looking straight down from the eye: image x = (X - eye X) / w,
  // y = (Y - eye Y) / w, w = 1 - Z / eye Z, in front where w > 0 (divisor
  // -1); the frame takes |x| <= 20 and -10 <= y <= 25.
  TDltCoefficients dlt;
  dlt.L = {1, 0, 0, -eye.x, 0, 1, 0, -eye.y, 0, 0, -1 / eye.z};
  struct Case {
    FrameView view;
    bool withHidden;
    bool inFront;  // the map in front of the camera
    const char* why;
  } cases[] = {
      {FrameView(dlt, -1, -20, 20, -10, 25), true, true, "a frame over part of the map"},
      {FrameView(dlt, -1, -20, 20, -10, 25), false, true, "the same, the hidden cells not counted"},
      {FrameView(dlt, 1, -20, 20, -10, 25), true, false, "the same frame behind the camera"},
  };
  const CellBox box{0, g.columns - 1, 0, g.rows - 1};
  for (const Case& c : cases) {
    const auto inFrame = [&](const Vec3& p) {
      const double w = 1 - p.z / eye.z, x = (p.x - eye.x) / w, y = (p.y - eye.y) / w;
      return c.view.Sees(p) == (c.inFront && x >= -20 && x <= 20 && y >= -10 && y <= 25);
    };
    const std::vector<CellSight> sight = SweepVisibility(
        *surface, eye, box, [&](const Vec3& p) { return c.view.Sees(p); }, nullptr, &slopes);
    // Counts already made by other frames are added to.
    std::vector<std::uint32_t> seen(sight.size(), 2), hidden(sight.size(), 5);
    const SweepStats stats =
        SweepCounts(*surface, eye, box, c.view, seen.data(), c.withHidden ? hidden.data() : nullptr, &slopes);
    long long counted = 0, hiddenCells = 0;
    for (size_t i = 0; i < sight.size(); ++i) {
      const int col = static_cast<int>(i) % g.columns, r = static_cast<int>(i) / g.columns;
      ASSERT_TRUE(inFrame({(col + 0.5) * g.cellX, (r + 0.5) * g.cellY, rough.z[i]})) << c.why << ' ' << i;
      EXPECT_EQ(seen[i], sight[i] == CellSight::kSeen ? 3u : 2u) << c.why << ' ' << i;
      EXPECT_EQ(hidden[i], c.withHidden && sight[i] == CellSight::kHidden ? 6u : 5u) << c.why << ' ' << i;
      counted += sight[i] != CellSight::kNotInView;
      hiddenCells += sight[i] == CellSight::kHidden;
    }
    EXPECT_EQ(stats.inView, counted) << c.why;
    if (c.inFront) {
      EXPECT_GT(counted, 1000) << c.why;
      EXPECT_GT(hiddenCells, 20) << c.why;
    } else {
      EXPECT_EQ(counted, 0) << c.why;
    }
  }
}

TEST(CoverageSweep, SmallAndNarrowMapsAreDecidedAsTheSightLineCheckDecides) {
  std::mt19937 random(23);
  std::uniform_real_distribution<double> unit(0, 1);
  struct Case {
    HeightMap map;
    Vec3 eye;
    const char* why;
  } cases[] = {
      {MapOf(1, 1, 0, 0, 1, [](int, int) { return 2.0; }),
       {0.5, 0.5, 5},
       "one cell, the eye over its centre"},
      {MapOf(1, 9, 0, 0, 1, [&](int, int) { return 2 * unit(random); }),
       {0.3, -4, 3},
       "one column, eye beside"},
      {MapOf(9, 1, 0, 0, 1, [&](int, int) { return 2 * unit(random); }),
       {4.5, 0.5, 2.5},
       "one row, eye over it"},
      {MapOf(2, 2, 0, 0, 1, [](int c, int r) { return c == r ? 1.0 : -1.0; }),
       {3, 3, 2},
       "a saddle, eye beside"},
      {MapOf(6, 5, 0, 0, 1, [](int c, int) { return c == 2 ? 3.0 : 0.0; }), {0.5, 2.5, 4}, "a wall, eye low"},
  };
  for (const Case& c : cases) {
    const auto surface = MakeBilinearTreeIntersector(c.map);
    const GridGeometry& g = c.map.grid;
    const CellBox box{0, g.columns - 1, 0, g.rows - 1};
    const std::vector<CellSight> sight =
        SweepVisibility(*surface, c.eye, box, [](const Vec3&) { return true; });
    for (int r = 0; r < g.rows; ++r)
      for (int col = 0; col < g.columns; ++col) {
        const Vec3 p{(col + 0.5) * g.cellX, (r + 0.5) * g.cellY,
                     c.map.z[static_cast<size_t>(r) * g.columns + col]};
        EXPECT_EQ(surface->Hidden(p, c.eye) ? CellSight::kHidden : CellSight::kSeen,
                  sight[static_cast<size_t>(r) * g.columns + col])
            << c.why << ' ' << col << ' ' << r;
      }
  }
}

}  // namespace
}  // namespace skarvel
