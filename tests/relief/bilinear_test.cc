// The bilinear surface: its heights against hand-worked patches and tilted
// planes, its rays against the quadratic worked by hand, and the min/max
// tree against the plain patch walk on rough maps and awkward rays.

#include "relief/relief_surface.h"
#include "support/height_map_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

namespace skarvel {
namespace {

using testing::MapOf;

std::vector<std::unique_ptr<SurfaceIntersector>> BothAlgorithms(const HeightMap& map) {
  std::vector<std::unique_ptr<SurfaceIntersector>> both;
  both.push_back(MakeBilinearWalkIntersector(map));
  both.push_back(MakeBilinearTreeIntersector(map));
  return both;
}

TEST(BilinearSurface, HeightsAreThePatchesOfTheCentresSamples) {
  // 3 x 2 cells of 1 from (0, 0): centres at X 0.5, 1.5, 2.5 and Y 0.5, 1.5.
  // Row 0: 0 2 4; row 1: 6 8 -4 (the last a no-data cell would hold 0).
  const double samples[2][3] = {{0, 2, 4}, {6, 8, -4}};
  const HeightMap map = MapOf(3, 2, 0, 0, 1, [&](int c, int r) { return samples[r][c]; });
  const HeightMap noData =
      MapOf(3, 2, 0, 0, 1, [&](int c, int r) { return c == 2 && r == 1 ? 0 : samples[r][c]; });
  struct Row {
    const HeightMap* map;
    double x, y, z;
    const char* why;
  } rows[] = {
      {&map, 0.5, 0.5, 0, "a centre is its sample"},
      {&map, 1.5, 1.5, 8, "another centre"},
      {&map, 1.0, 0.5, 1, "halfway between two centres along X"},
      {&map, 0.5, 1.0, 3, "halfway along Y"},
      {&map, 1.0, 1.0, 4, "the middle of four centres: their mean"},
      {&map, 1.25, 0.75, 0.25 * 0.75 * 0 + 0.75 * 0.75 * 2 + 0.25 * 0.25 * 6 + 0.75 * 0.25 * 8,
       "a quarter of the way: the bilinear weights"},
      {&map, 0.1, 0.5, 0, "the edge half cell is level outward from the nearest centre"},
      {&map, 0.1, 1.0, 3, "the edge strip follows the edge centres' line"},
      {&map, 2.9, 1.9, -4, "a corner quarter has the corner sample"},
      {&map, 2.0, 1.9, 2, "the top strip between two centres"},
      {&map, 3.0, 1.0, 0, "the map's right edge is outside: the plane"},
      {&map, -0.1, 1.0, 0, "left of the map: the plane"},
      {&noData, 2.5, 1.5, 0, "a no-data sample is 0 at its centre"},
      {&noData, 2.0, 1.0, (0 + 2 + 4 + 8) / 4.0, "and the patches around it come down to it"},
  };
  for (const Row& row : rows)
    for (const auto& surface : BothAlgorithms(*row.map))
      EXPECT_NEAR(row.z, surface->HeightAt(row.x, row.y), 1e-12) << row.why;
}

TEST(BilinearSurface, ATiltedPlaneStaysPlanarInsideTheOutermostCentres) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(0, 1);
  struct Plane {
    double a, b, c;
    int columns, rows;
    double x0, y0, cell;
  } planes[] = {
      {0.3, -0.2, 2, 17, 11, -3, 1, 0.5},
      {-1.5, 0.75, -1, 40, 33, 100, -250, 0.25},
      {0, 0.05, 0.5, 8, 64, 0, 0, 2},
  };
  for (const Plane& p : planes) {
    const HeightMap map = MapOf(p.columns, p.rows, p.x0, p.y0, p.cell, [&](int c, int r) {
      return p.a * (p.x0 + (c + 0.5) * p.cell) + p.b * (p.y0 + (r + 0.5) * p.cell) + p.c;
    });
    const auto z = [&](double x, double y) { return p.a * x + p.b * y + p.c; };
    const double lox = p.x0 + 0.5 * p.cell, hix = p.x0 + (p.columns - 0.5) * p.cell;
    const double loy = p.y0 + 0.5 * p.cell, hiy = p.y0 + (p.rows - 0.5) * p.cell;
    for (const auto& surface : BothAlgorithms(map)) {
      for (int i = 0; i < 2000; ++i) {
        const double x = lox + (hix - lox) * unit(random), y = loy + (hiy - loy) * unit(random);
        const double scale = std::fabs(p.a * x) + std::fabs(p.b * y) + std::fabs(p.c);
        ASSERT_NEAR(z(x, y), surface->HeightAt(x, y), 1e-12 * scale) << x << ' ' << y;
        // A ray from above the plane, within the centres' box, down to a
        // point of it meets it there (t = 1): the patch's quadratic
        // degenerates to a line.
        const Vec3 origin{std::clamp(x + 3 * (unit(random) - 0.5), lox, hix),
                          std::clamp(y + 3 * (unit(random) - 0.5), loy, hiy), z(x, y) + 5};
        if (origin.z - z(origin.x, origin.y) < 0.5) continue;
        const Ray ray{origin, {x - origin.x, y - origin.y, z(x, y) - origin.z}};
        const auto t = surface->FirstHit(ray);
        ASSERT_TRUE(t.has_value()) << x << ' ' << y;
        ASSERT_NEAR(1, *t, 1e-9) << x << ' ' << y;
        // The plane hides nothing of itself from a point above it.
        ASSERT_FALSE(surface->Hidden({x, y, z(x, y)}, origin)) << x << ' ' << y;
      }
    }
  }
}

TEST(BilinearSurface, RaysMeetThePatchesWhereTheQuadraticSays) {
  // 2 x 2 cells of 1 from (0, 0), samples 0 0 / 0 1: the inner patch over
  // the centres (0.5 to 1.5) is z = u v with u = x - 0.5, v = y - 0.5.
  const HeightMap saddle = MapOf(2, 2, 0, 0, 1, [](int c, int r) { return c == 1 && r == 1 ? 1.0 : 0.0; });
  // A ridge: one row of 5 cells of 1, samples 0 0 2 0 0 (a tent from X 1.5
  // to 3.5, top 2 at X 2.5).
  const HeightMap ridge = MapOf(5, 1, 0, 0, 1, [](int c, int) { return c == 2 ? 2.0 : 0.0; });
  struct Row {
    const HeightMap* map;
    Ray ray;
    std::optional<double> t;
    const char* why;
  } rows[] = {
      // Along the diagonal u = v = s at height 0.5 - s/4... ray z = 0.5 - 0.25 s
      // against s^2: s^2 + 0.25 s - 0.5 = 0, s = (-0.25 + sqrt(2.0625)) / 2.
      {&saddle, {{0.5, 0.5, 0.5}, {1, 1, -0.25}}, (-0.25 + std::sqrt(2.0625)) / 2, "the quadratic's root"},
      {&saddle, {{1.5, 1.5, 3}, {0, 0, -1}}, 2, "nadir onto a centre, the patches' shared corner"},
      {&saddle, {{1.0, 1.0, 3}, {0, 0, -1}}, 2.75, "nadir onto the middle of the patch (0.25)"},
      {&saddle, {{0.5, 1.5, 1}, {1, 0, -0.5}}, 2.0 / 3, "along the centres' line y = 1.5, z = u there"},
      {&ridge, {{0, 0.5, 3}, {1, 0, -0.5}}, 0, "down onto the ridge's rising flank"},
      {&ridge, {{0, 0.5, 2}, {1, 0, 0}}, 2.5, "level at the crest's height: grazes it"},
      {&ridge, {{0, 0.5, 2.0000001}, {1, 0, 0}}, std::nullopt, "level just over the crest"},
      {&ridge, {{4.9, 0.5, 1}, {-1, 0, -0.1}}, 0, "backward over the level edge strip onto the far flank"},
  };
  // The flank from X 1.5 (0) to 2.5 (2) is z = 2 (x - 1.5); the ray
  // z = 3 - 0.5 x meets it at x = 6 / 2.5 = 2.4.
  rows[4].t = 2.4;
  // The last: z = 1 - 0.1 t, x = 4.9 - t; the level edge strip of samples 0
  // until x = 3.5, then the flank z = 2 (3.5 - x) = 2 (t - 1.4):
  // 1 - 0.1 t = 2 t - 2.8, t = 3.8 / 2.1.
  rows[7].t = 3.8 / 2.1;
  for (const Row& row : rows)
    for (const auto& surface : BothAlgorithms(*row.map)) {
      const auto t = surface->FirstHit(row.ray);
      ASSERT_EQ(row.t.has_value(), t.has_value()) << row.why;
      if (t) {
        EXPECT_NEAR(*row.t, *t, 1e-12) << row.why;
      }
    }

  // Sight lines over the tent.
  struct Sight {
    Vec3 from, eye;
    bool hidden;
    const char* why;
  } sights[] = {
      {{4, 0.5, 0}, {0, 0.5, 3}, true, "behind the crest from a low eye"},
      {{4, 0.5, 0}, {4, 0.5, 3}, false, "straight up"},
      {{3, 0.5, 1}, {0, 0.5, 2.5}, true, "the far flank faces away from the eye"},
      {{2, 0.5, 1}, {0, 0.5, 0.5}, false, "the near flank is seen from below its point"},
      {{2.5, 0.5, 2}, {4.5, 0.5, 0.2}, false, "the crest from low on the other side"},
      {{1, 0.5, 0}, {5, 0.5, 1.9}, true, "over the crest to an eye below its top"},
      {{1, 0.5, 0}, {-2, 0.5, -1}, true, "the eye below the plane outside the map"},
  };
  for (const Sight& s : sights)
    for (const auto& surface : BothAlgorithms(ridge))
      EXPECT_EQ(s.hidden, surface->Hidden(s.from, s.eye)) << s.why;
}

TEST(BilinearSurface, TheTreeAgreesWithThePatchWalk) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> unit(0, 1);
  struct Case {
    HeightMap map;
    const char* why;
  } cases[] = {
      {MapOf(37, 23, -3, 2, 0.5, [&](int, int) { return 4 * unit(random) - 1; }), "a rough map"},
      {MapOf(130, 70, 0, 0, 0.1,
             [&](int c, int r) { return 1 + std::sin(c * 0.1) * std::cos(r * 0.13) + 0.1 * unit(random); }),
       "hills"},
      {MapOf(64, 48, 1, -2, 0.25, [&](int, int) { return unit(random) < 0.03 ? 6.0 : 0.2 * unit(random); }),
       "pillars"},
      {MapOf(1, 9, 0, 0, 1, [&](int, int) { return 2 * unit(random); }), "one column"},
      {MapOf(9, 1, 0, 0, 1, [&](int, int) { return 2 * unit(random); }), "one row"},
      {MapOf(5, 4, 0, 0, 1, [](int c, int r) { return c == 4 || r == 3 ? 5.0 : 0.0; }),
       "walls on the last edges"},
  };
  // Kinds of ray: 0 anywhere, 1 along a centres' line, 2 along a patch edge
  // at the map's border, 3 through a sample point, 4 nadir, 5 near
  // horizontal, 6 grazing a sample from just above it.
  for (const Case& c : cases) {
    const GridGeometry& g = c.map.grid;
    const auto walk = MakeBilinearWalkIntersector(c.map), tree = MakeBilinearTreeIntersector(c.map);
    const double w = g.maxX() - g.originX, h = g.maxY() - g.originY;
    int hits = 0, hidden = 0, count = 0;
    for (int i = 0; i < 21000; ++i, ++count) {
      const int kind = i % 7;
      const int column = static_cast<int>(unit(random) * g.columns),
                row = static_cast<int>(unit(random) * g.rows);
      const Vec3 sample{g.originX + (column + 0.5) * g.cellX, g.originY + (row + 0.5) * g.cellY,
                        c.map.z[static_cast<size_t>(row) * g.columns + column]};
      Vec3 origin{g.originX - w / 2 + 2 * w * unit(random), g.originY - h / 2 + 2 * h * unit(random),
                  7 + 5 * unit(random)};
      Vec3 direction{unit(random) - 0.5, unit(random) - 0.5, -unit(random)};
      switch (kind) {
        case 1:
          origin.y = sample.y;
          direction.y = 0;
          break;
        case 2:
          origin.x = g.originX;
          direction.x = 0;
          break;
        case 3:
          // Just under the sample, so that the ray does not merely touch it.
          direction = {sample.x - origin.x, sample.y - origin.y, sample.z - 1e-6 - origin.z};
          break;
        case 4:
          origin.x = sample.x;
          origin.y = sample.y;
          direction = {0, 0, -1};
          break;
        case 5:
          origin.z = 2 * unit(random);
          direction.z = -1e-3 * std::hypot(direction.x, direction.y);
          break;
        case 6:
          origin = {sample.x - 3 * direction.x, sample.y - 3 * direction.y, sample.z + 1e-9};
          direction.z = 0;
          break;
        default:
          break;
      }
      const Ray ray{origin, direction};
      const auto a = walk->FirstHit(ray), b = tree->FirstHit(ray);
      ASSERT_EQ(a.has_value(), b.has_value()) << c.why << ' ' << i;
      if (a) {
        ASSERT_NEAR(*a, *b, 1e-12 * (1 + *a)) << c.why << ' ' << i;
      }
      hits += a.has_value();
      const Vec3 from{g.originX + w * unit(random), g.originY + h * unit(random), 0};
      for (const Vec3& at : {from, sample}) {
        const Vec3 ground{at.x, at.y, walk->HeightAt(at.x, at.y)};
        const bool seen = !walk->Hidden(ground, ray.origin);
        ASSERT_EQ(seen, !tree->Hidden(ground, ray.origin)) << c.why << ' ' << i;
        hidden += !seen;
      }
    }
    EXPECT_GT(hits, count / 4) << c.why;
    EXPECT_GT(hidden, 2 * count / 20) << c.why;
    EXPECT_LT(hidden, 2 * count * 9 / 10) << c.why;
  }
}

TEST(BilinearSurface, TheFactoryMakesEachModelsIntersector) {
  const HeightMap map = MapOf(3, 1, 0, 0, 1, [](int c, int) { return c == 1 ? 2.0 : 0.0; });
  // Between the centres at X 0.5 and 1.5 the patch is halfway up; the blocks
  // stand at their cells' tops.
  const auto bilinear = MakeSurfaceIntersector(map, ReliefSurfaceModel::kBilinear);
  const auto blocks = MakeSurfaceIntersector(map, ReliefSurfaceModel::kBlocks);
  EXPECT_EQ(ReliefSurfaceModel::kBilinear, bilinear->Model());
  EXPECT_EQ(ReliefSurfaceModel::kBlocks, blocks->Model());
  EXPECT_DOUBLE_EQ(1.0, bilinear->HeightAt(1.0, 0.5));
  EXPECT_DOUBLE_EQ(2.0, blocks->HeightAt(1.0, 0.5));
}

}  // namespace
}  // namespace skarvel
