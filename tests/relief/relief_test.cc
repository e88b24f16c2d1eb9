// What frames see of a relief: the ray-surface intersection of both
// algorithms against hand-worked walls and planes, the relief figures
// against the planar ones and against similar triangles, coverage, and the
// height map files.
//
// Loaded frames of 100 x 100 pixels with the principal point in the middle
// and a principal distance of 100: on the plane under a nadir frame one pixel
// is one scene unit per 100 of distance.

#include "footprints/footprint_export.h"
#include "footprints/footprint_figures.h"
#include "fov/fov_scene.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/raster.h"
#include "relief/relief_figures.h"
#include "relief/relief_surface.h"
#include "support/frame_files.h"
#include "support/height_map_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>

namespace skarvel {
namespace {

using testing::CameraFile;
using testing::ErrorOf;
using testing::FrameGeometry;
using testing::GeometryFile;
using testing::ListFile;
using testing::ReadBytes;
using testing::RecordingMessageSink;
using testing::SeparatorScope;
using testing::TempDir;

using testing::MapOf;

std::vector<std::unique_ptr<SurfaceIntersector>> BothAlgorithms(const HeightMap& map) {
  std::vector<std::unique_ptr<SurfaceIntersector>> both;
  both.push_back(MakeCellWalkIntersector(map));
  both.push_back(MakePyramidIntersector(map));
  return both;
}

// Both algorithms of both surface models.
std::vector<std::unique_ptr<SurfaceIntersector>> AllSurfaces(const HeightMap& map) {
  std::vector<std::unique_ptr<SurfaceIntersector>> all = BothAlgorithms(map);
  all.push_back(MakeBilinearWalkIntersector(map));
  all.push_back(MakeBilinearTreeIntersector(map));
  return all;
}

TEST(ReliefSurface, HandWorkedRays) {
  // Ten cells of 1 along X from 0 (one row, Y 0 to 1), all at 0 but a wall
  // of height 2 over X 5 to 6; a flat map at 0.5 of 10 x 10 cells.
  const HeightMap wall = MapOf(10, 1, 0, 0, 1, [](int c, int) { return c == 5 ? 2.0 : 0.0; });
  const HeightMap flat = MapOf(10, 10, 0, 0, 1, [](int, int) { return 0.5; });
  struct Row {
    const HeightMap* map;
    Ray ray;
    std::optional<double> t;
    const char* why;
  } rows[] = {
      {&flat, {{5, 5, 10}, {0, 0, -1}}, 9.5, "straight down onto a top"},
      {&flat, {{-5, 5, 10}, {1, 0, -1}}, 9.5, "into the map from outside, down onto a top at X 4.5"},
      {&flat, {{-5, 5, 3}, {1, 0, -1}}, 3, "down to the plane Z = 0 before the map"},
      {&flat, {{5, 5, 0.25}, {1, 0, 0}}, 0, "starts below a top"},
      {&wall, {{0, 0.5, 3}, {1, 0, -0.25}}, 5, "runs into the wall's side at height 1.75"},
      {&wall, {{0, 0.5, 3}, {1, 0, -0.2}}, 5, "grazes the wall's top edge at height 2"},
      {&wall, {{0, 0.5, 3}, {1, 0, -0.1}}, 30, "over the wall, out of the map, down to the plane at X 30"},
      {&wall, {{5.5, 0.5, 3}, {0, 0, -1}}, 1, "down onto the wall's top"},
      {&wall, {{9, 0.5, 3}, {-1, 0, -0.4}}, 3, "backward into the wall's far side at X 6, height 1.8"},
      {&wall, {{0, 0.5, 3}, {1, 0, 0}}, std::nullopt, "level above everything"},
      {&wall, {{2, 0.5, 3}, {1, 0, 0.5}}, std::nullopt, "rising"},
  };
  for (const Row& row : rows) {
    for (const auto& surface : BothAlgorithms(*row.map)) {
      const std::optional<double> t = surface->FirstHit(row.ray);
      ASSERT_EQ(row.t.has_value(), t.has_value()) << row.why;
      if (t) {
        EXPECT_NEAR(*row.t, *t, 1e-12) << row.why;
      }
    }
  }

  struct Sight {
    Vec3 from, eye;
    bool hidden;
    const char* why;
  } sights[] = {
      {{8.5, 0.5, 0}, {0, 0.5, 3}, true, "behind the wall: height 0.88 at its far side"},
      {{2.5, 0.5, 0}, {0, 0.5, 3}, false, "in front of the wall"},
      {{8.5, 0.5, 0}, {0, 0.5, 30}, false, "high above the wall: 8.8 at its far side"},
      {{5.5, 0.5, 2}, {0, 0.5, 3}, false, "the wall's own top"},
      {{2.5, 0.5, 0}, {0, 0.5, -1}, true, "a top is not seen from below"},
      {{7, 0.5, 0}, {5, 0.5, 3}, true, "eye above the wall: the line meets its side first"},
  };
  for (const Sight& s : sights)
    for (const auto& surface : BothAlgorithms(wall))
      EXPECT_EQ(s.hidden, surface->Hidden(s.from, s.eye)) << s.why;
}

TEST(ReliefSurface, ThePyramidAgreesWithTheCellWalk) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0, 1);
  struct Case {
    HeightMap map;
    double slope;  // of the falling rays at most, rise over run
    const char* why;
  } cases[] = {
      // Sides not powers of two, rays from every side, in and out of it.
      {MapOf(37, 23, -3, 2, 0.5, [&](int, int) { return 4 * unit(random) - 1; }), 1e9, "a rough map"},
      // Long walks low over gentle hills, where the pyramid goes down and
      // up its levels many times along one ray.
      {MapOf(300, 200, -3, 2, 0.05,
             [&](int c, int r) { return 1 + std::sin(c * 0.05) * std::cos(r * 0.07) + 0.05 * unit(random); }),
       0.3, "grazing rays over hills"},
      // Pillars many times higher than the ground between them, standing
      // next to the points the sight lines start from.
      {MapOf(64, 48, 1, -2, 0.25, [&](int, int) { return unit(random) < 0.03 ? 6.0 : 0.2 * unit(random); }),
       1e9, "pillars"},
  };
  for (const Case& c : cases) {
    const GridGeometry& g = c.map.grid;
    const auto walk = MakeCellWalkIntersector(c.map), pyramid = MakePyramidIntersector(c.map);
    int hits = 0, hidden = 0;
    const int count = 20000;
    for (int i = 0; i < count; ++i) {
      const double w = g.maxX() - g.originX, h = g.maxY() - g.originY;
      const Vec3 origin{g.originX - w / 2 + 2 * w * unit(random), g.originY - h / 2 + 2 * h * unit(random),
                        3 + 10 * unit(random)};
      Vec3 direction{unit(random) - 0.5, unit(random) - 0.5, -unit(random)};
      direction.z = std::max(direction.z, -c.slope * std::hypot(direction.x, direction.y));
      const Ray ray{origin, direction};
      const auto a = walk->FirstHit(ray), b = pyramid->FirstHit(ray);
      ASSERT_EQ(a.has_value(), b.has_value()) << c.why << ' ' << i;
      if (a) {
        EXPECT_EQ(*a, *b) << c.why << ' ' << i;
      }
      hits += a.has_value();
      // From anywhere in a cell, and from its centre as the visible share's
      // lattice and the coverage look.
      const Vec3 from{g.originX + w * unit(random), g.originY + h * unit(random), 0};
      const Vec3 centre{g.originX + (std::floor((from.x - g.originX) / g.cellX) + 0.5) * g.cellX,
                        g.originY + (std::floor((from.y - g.originY) / g.cellY) + 0.5) * g.cellY, 0};
      for (const Vec3& at : {from, centre}) {
        const Vec3 ground{at.x, at.y, walk->HeightAt(at.x, at.y)};
        const bool seen = !walk->Hidden(ground, ray.origin);
        ASSERT_EQ(seen, !pyramid->Hidden(ground, ray.origin)) << c.why << ' ' << i;
        hidden += !seen;
      }
    }
    // Both kinds of answer occur often.
    EXPECT_GT(hits, count / 4) << c.why;
    EXPECT_GT(hidden, 2 * count / 10) << c.why;
    EXPECT_LT(hidden, 2 * count * 9 / 10) << c.why;
  }
}

// Frames of one camera (100 x 100 pixels, principal point in the middle,
// principal distance 100), loaded one frame per list.
class Frames {
 public:
  Frames() {
    dir.write("rows.txt", "1\r\n");
    dir.write("square.cam", CameraFile(50, 50, 100, 100, 100));
  }
  const FovScene& Load(const FrameGeometry& g, TOrientationSystem system) {
    dir.write("frame.ort", GeometryFile(g));
    scene.LoadFovList(dir.write("scene.lst", ListFile({"frame.ort", "square.cam"})), system);
    return scene;
  }
  TempDir dir;
  FovScene scene;
};

void ExpectRelativelyNear(double expected, double actual, const std::string& what) {
  EXPECT_LE(std::fabs(actual - expected), 1e-9 * std::fabs(expected))
      << what << ": " << expected << " " << actual;
}

TEST(ReliefFigures, AFlatReliefGivesThePlanarFigures) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  // Tilted frames, each system with its own rotation (the stored matrix is
  // the identity); flat reliefs at 0, one of them made of no-data cells.
  HeightMap zero = MapOf(8, 8, -300, -300, 80, [](int, int) { return 0.0; });
  const HeightMap map = zero;
  const FrameGeometry g{.aimX = 12,
                        .aimY = -7,
                        .distance = 100,
                        .phi = 15,
                        .omega = -10,
                        .kappa = 30,
                        .aboutY = 20,
                        .aboutX = 5,
                        .aboutZ = -40};
  for (TOrientationSystem system :
       {TOrientationSystem::Bench, TOrientationSystem::Photogrammetric, TOrientationSystem::Mathematical}) {
    const FovScene& scene = f.Load(g, system);
    const SceneFigures planar = ComputeFootprintFigures(scene);
    const FrameFigures& p = planar.frames.at(0);
    for (const auto& surface : AllSurfaces(map)) {
      const FrameRelief r = ComputeFrameRelief(scene.Frames().at(0), *surface);
      const std::string what = "system " + std::to_string(static_cast<int>(system));
      ASSERT_FALSE(r.missesSurface) << what;
      // Sides over a plane keep their corners alone.
      ASSERT_EQ(4u, r.outline.size()) << what;
      for (int corner = 0; corner < 4; ++corner) {
        ExpectRelativelyNear(p.corners[corner].x, r.outline[corner].x, what);
        ExpectRelativelyNear(p.corners[corner].y, r.outline[corner].y, what);
      }
      ExpectRelativelyNear(p.area, *r.area, what);
      ExpectRelativelyNear(p.gsdRow, *r.gsdRow, what);
      ExpectRelativelyNear(p.gsdColumn, *r.gsdColumn, what);
      EXPECT_EQ(100, *r.visiblePercent) << what;
    }
  }
}

TEST(ReliefFigures, AFlatReliefAtHeightHIsThePlaneSeenFromDMinusH) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  const HeightMap raised = MapOf(10, 10, -100, -100, 20, [](int, int) { return 30.0; });
  const FovScene& low = f.Load({.aimX = 4, .aimY = 3, .distance = 70}, TOrientationSystem::Photogrammetric);
  const FrameFigures planar = ComputeFootprintFigures(low).frames.at(0);
  const FovScene& high = f.Load({.aimX = 4, .aimY = 3, .distance = 100}, TOrientationSystem::Photogrammetric);
  for (const auto& surface : AllSurfaces(raised)) {
    const FrameRelief r = ComputeFrameRelief(high.Frames().at(0), *surface);
    ASSERT_EQ(4u, r.outline.size());
    for (int corner = 0; corner < 4; ++corner) {
      ExpectRelativelyNear(planar.corners[corner].x, r.outline.at(corner).x, "x");
      ExpectRelativelyNear(planar.corners[corner].y, r.outline.at(corner).y, "y");
    }
    // 70 by 70 units, 0.7 a pixel.
    ExpectRelativelyNear(4900, *r.area, "area");
    ExpectRelativelyNear(0.7, *r.gsdRow, "gsd row");
    ExpectRelativelyNear(0.7, *r.gsdColumn, "gsd column");
    EXPECT_EQ(100, *r.visiblePercent);
  }
}

TEST(ReliefFigures, AWallHidesTheStripThatSimilarTrianglesGive) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  // Photogrammetric phi = 20 degrees: R rows (cos, 0, sin), (0, 1, 0),
  // (-sin, 0, cos); the centre S = T + D r3 = (-D sin, 0, D cos), looking
  // toward +X. A wall of height 20 over X 10 to 12 across the whole map
  // hides the ground behind it up to where the ray over its far top edge
  // comes down: X = Sx + (12 - Sx) Sz / (Sz - 20).
  const double phi = 20 * std::numbers::pi / 180, d = 100, height = 20, cell = 2;
  const Vec3 s{-d * std::sin(phi), 0, d * std::cos(phi)};
  const double shadowEnd = s.x + (12 - s.x) * s.z / (s.z - height);
  const HeightMap map = MapOf(60, 70, -50, -70, cell, [](int c, int) { return c == 30 ? 20.0 : 0.0; });
  const FovScene& scene = f.Load({.distance = d, .phi = 20}, TOrientationSystem::Photogrammetric);
  const auto surface = MakePyramidIntersector(map);

  // The reference: a cell centre is in view when its collinearity image
  // point lies in the frame, hidden when it lies in the strip.
  const auto inView = [&](double x, double y, double z) {
    const double px = x - s.x, py = y - s.y, pz = z - s.z;
    const double w = -std::sin(phi) * px + std::cos(phi) * pz;
    const double ix = -100 * (std::cos(phi) * px + std::sin(phi) * pz) / w, iy = -100 * py / w;
    return w < 0 && std::fabs(ix) <= 50 && std::fabs(iy) <= 50;
  };
  const std::vector<std::uint32_t> coverage = ComputeCoverage(scene.Frames(), *surface);
  long long view = 0, hidden = 0;
  for (int r = 0; r < 70; ++r) {
    for (int c = 0; c < 60; ++c) {
      const double x = -50 + (c + 0.5) * cell, y = -70 + (r + 0.5) * cell;
      const bool in = inView(x, y, map.z[r * 60 + c]);
      const bool shadow = x >= 12 && x < shadowEnd;
      view += in;
      hidden += in && shadow;
      const std::uint32_t expected = in && !shadow ? 1 : 0;
      // Within one cell of the strip's end either count will do.
      if (std::fabs(x - shadowEnd) > cell) {
        EXPECT_EQ(expected, coverage[r * 60 + c]) << c << " " << r;
      }
    }
  }
  ASSERT_GT(hidden, 20);
  const FrameRelief relief = ComputeFrameRelief(scene.Frames().at(0), *surface);
  // One column of cells in view at the strip's end is the tolerance.
  const double column = 100.0 * 70 / view;
  EXPECT_NEAR(100.0 * (view - hidden) / view, *relief.visiblePercent, column);
  EXPECT_LT(*relief.visiblePercent, 100 - 2 * column);
}

TEST(ReliefFigures, ATiltedPlaneGivesTheAnalyticFigures) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  // The bilinear surface of samples of z = a x + b y + c is the plane itself
  // between the cell centres, which hold the whole view. A ray o + t d meets
  // it at t = (a ox + b oy + c - oz) / (dz - a dx - b dy): the outline is the
  // quadrilateral of the corner rays' hits with nothing but its corners, the
  // sample distances those between the hits of the half-pixel rays, and the
  // plane is seen everywhere.
  struct Plane {
    double a, b, c;
  } planes[] = {{0.1, -0.05, 5}, {-0.3, 0.2, -8}, {0.02, 0.4, 12}};
  const FrameGeometry g{.aimX = 12,
                        .aimY = -7,
                        .distance = 100,
                        .phi = 15,
                        .omega = -10,
                        .kappa = 30,
                        .aboutY = 20,
                        .aboutX = 5,
                        .aboutZ = -40};
  for (const Plane& plane : planes) {
    const double cell = 2;
    const HeightMap map = MapOf(300, 300, -300, -300, cell, [&](int column, int row) {
      return plane.a * (-300 + (column + 0.5) * cell) + plane.b * (-300 + (row + 0.5) * cell) + plane.c;
    });
    const auto hit = [&](const Ray& ray) {
      const Vec3& o = ray.origin;
      const Vec3& d = ray.direction;
      return ray.At((plane.a * o.x + plane.b * o.y + plane.c - o.z) / (d.z - plane.a * d.x - plane.b * d.y));
    };
    for (TOrientationSystem system :
         {TOrientationSystem::Bench, TOrientationSystem::Photogrammetric, TOrientationSystem::Mathematical}) {
      const FovScene& scene = f.Load(g, system);
      const FrameProjection& frame = scene.Frames().at(0);
      const FrameRays rays(frame);
      std::vector<ScenePoint> quad;
      for (const ImagePoint& corner : FrameCorners(frame.camera)) {
        const Vec3 p = hit(rays.Through(corner.x, corner.y));
        quad.push_back({p.x, p.y});
      }
      const auto distance = [&](double x1, double y1, double x2, double y2) {
        const Vec3 p = hit(rays.Through(x1, y1)), q = hit(rays.Through(x2, y2));
        return std::hypot(p.x - q.x, p.y - q.y, p.z - q.z);
      };
      const double half = 0.5 / frame.camera.RowScale;
      const double gsdRow = distance(-0.5, 0, 0.5, 0), gsdColumn = distance(0, half, 0, -half);
      long double twice = 0;
      for (int k = 0; k < 4; ++k) twice += quad[k].x * quad[(k + 1) % 4].y - quad[(k + 1) % 4].x * quad[k].y;
      const std::string what = "plane " + std::to_string(plane.a) + " " + std::to_string(plane.b) +
                               ", system " + std::to_string(static_cast<int>(system));
      for (const auto& surface : {MakeBilinearWalkIntersector(map), MakeBilinearTreeIntersector(map)}) {
        const FrameRelief r = ComputeFrameRelief(frame, *surface);
        ASSERT_FALSE(r.missesSurface) << what;
        ASSERT_EQ(4u, r.outline.size()) << what;
        for (int k = 0; k < 4; ++k) {
          EXPECT_NEAR(quad[k].x, r.outline[k].x, 1e-9 * 300) << what << " corner " << k;
          EXPECT_NEAR(quad[k].y, r.outline[k].y, 1e-9 * 300) << what << " corner " << k;
        }
        ExpectRelativelyNear(static_cast<double>(std::fabs(twice) / 2), *r.area, what + " area");
        EXPECT_NEAR(gsdRow, *r.gsdRow, 1e-9 * gsdRow) << what;
        EXPECT_NEAR(gsdColumn, *r.gsdColumn, 1e-9 * gsdColumn) << what;
        EXPECT_EQ(100, *r.visiblePercent) << what;
      }
    }
  }
}

// The planimetric distance of p from the segment a b.
double SegmentDistance(const Vec3& p, const ScenePoint& a, const ScenePoint& b) {
  const double ux = b.x - a.x, uy = b.y - a.y;
  const double f = std::clamp(((p.x - a.x) * ux + (p.y - a.y) * uy) / (ux * ux + uy * uy), 0.0, 1.0);
  return std::hypot(p.x - a.x - f * ux, p.y - a.y - f * uy);
}

TEST(ReliefFigures, TheOutlineFollowsTheFirstHitsToHalfACell) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  // A plateau of blocks crossing the frame's far side at a slant, and a hill
  // of blocks under its left side: the first hits jump where the rays reach
  // the plateau's face and bend over the hill; every hit along the border,
  // pixel by pixel, must lie within half a cell of the outline (and the
  // ground of a pixel, where the curve jumps between two pixels).
  struct Case {
    FrameGeometry geometry;
    double height;
    const char* why;
  } cases[] = {
      {{.distance = 100, .phi = 15}, 12, "tilted toward the plateau"},
      {{.distance = 100, .phi = 15, .kappa = 10}, 25, "turned, a higher plateau"},
      {{.aimX = 5, .aimY = -8, .distance = 120, .omega = 8}, 18, "tilted across it"},
  };
  for (const Case& c : cases) {
    const double cell = 1;
    const HeightMap map = MapOf(200, 200, -100, -100, cell, [&](int column, int row) {
      const double x = -100 + column + 0.5, y = -100 + row + 0.5;
      const double hill = 9 * std::exp(-((x + 45) * (x + 45) + y * y) / 200);
      return (x + 0.3 * y > 38 ? c.height : 0.0) + std::round(hill);
    });
    const FovScene& scene = f.Load(c.geometry, TOrientationSystem::Photogrammetric);
    const FrameProjection& frame = scene.Frames().at(0);
    const FrameRays rays(frame);
    const std::array<ImagePoint, 4> corners = FrameCorners(frame.camera);
    for (const auto& surface : AllSurfaces(map)) {
      const FrameRelief r = ComputeFrameRelief(frame, *surface);
      ASSERT_FALSE(r.missesSurface) << c.why;
      EXPECT_GT(r.outline.size(), 6u) << c.why;
      EXPECT_LT(r.outline.size(), 60u) << c.why;
      // The outline holds each corner's hit, in the corners' order.
      std::vector<size_t> at;
      for (const ImagePoint& corner : corners) {
        const Ray ray = rays.Through(corner.x, corner.y);
        const Vec3 hit = ray.At(*surface->FirstHit(ray));
        for (size_t k = 0; k < r.outline.size(); ++k)
          if (r.outline[k].x == hit.x && r.outline[k].y == hit.y) at.push_back(k);
      }
      ASSERT_EQ(4u, at.size()) << c.why;
      EXPECT_EQ(0u, at[0]) << c.why;
      EXPECT_TRUE(at[0] < at[1] && at[1] < at[2] && at[2] < at[3]) << c.why;
      long long departures = 0;
      for (int side = 0; side < 4; ++side) {
        const ImagePoint& a = corners[side];
        const ImagePoint& b = corners[(side + 1) % 4];
        const size_t from = at[side], to = side == 3 ? r.outline.size() : at[side + 1];
        for (int k = 0; k <= 100; ++k) {
          const Ray ray = rays.Through(a.x + (b.x - a.x) * k / 100, a.y + (b.y - a.y) * k / 100);
          const Vec3 hit = ray.At(*surface->FirstHit(ray));
          double nearest = INFINITY;
          for (size_t v = from; v < to; ++v)
            nearest =
                std::min(nearest, SegmentDistance(hit, r.outline[v], r.outline[(v + 1) % r.outline.size()]));
          // A pixel is about 1.2 units on the ground here.
          departures += nearest > 0.5 * cell + 1.5;
        }
      }
      EXPECT_EQ(0, departures) << c.why;
    }
  }
}

TEST(ReliefFigures, ABlocksShadowGivesTheHandCount) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  // One block on a level map, the frame tilted by phi (Photogrammetric,
  // centre S = (-D sin phi, 0, D cos phi)). A cell centre p at 0 is hidden
  // when the segment to S is below the block's top where it enters the
  // block's square (it rises from there); the block's own top is seen. The
  // outline is the planar footprint, the cells those whose centre lies in
  // it.
  struct Case {
    double phi;
    int column, row;  // of the block, cells of 2 from (-60, -60)
    double height;
    const char* why;
  } cases[] = {
      {0, 33, 36, 41.3, "nadir, the shadow pointing away from the centre"},
      {20, 28, 31, 17.7, "tilted, the shadow along X"},
      {-12, 35, 22, 33.1, "tilted the other way, off the axis"},
      {20, 29, 30, 0.6, "too low to hide a cell"},
  };
  for (const Case& c : cases) {
    const double cell = 2, d = 100, phi = c.phi * std::numbers::pi / 180;
    const HeightMap map = MapOf(60, 60, -60, -60, cell, [&](int column, int row) {
      return column == c.column && row == c.row ? c.height : 0.0;
    });
    const Vec3 s{-d * std::sin(phi), 0, d * std::cos(phi)};
    const double bx0 = -60 + c.column * cell, by0 = -60 + c.row * cell;
    const auto hidden = [&](double x, double y) {
      const double dx = s.x - x, dy = s.y - y;
      const double tx0 = (bx0 - x) / dx, tx1 = (bx0 + cell - x) / dx;
      const double ty0 = (by0 - y) / dy, ty1 = (by0 + cell - y) / dy;
      const double in = std::max({std::min(tx0, tx1), std::min(ty0, ty1), 0.0});
      const double out = std::min({std::max(tx0, tx1), std::max(ty0, ty1), 1.0});
      return in < out && in * s.z < c.height;
    };
    const FovScene& scene = f.Load({.distance = d, .phi = c.phi}, TOrientationSystem::Photogrammetric);
    const FrameFigures planar = ComputeFootprintFigures(scene).frames.at(0);
    const auto inside = [&](double x, double y) {
      // The footprint is convex: inside when on the same side of every edge.
      int turns = 0;
      for (int k = 0; k < 4; ++k) {
        const ScenePoint& a = planar.corners[k];
        const ScenePoint& b = planar.corners[(k + 1) % 4];
        turns += (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x) > 0 ? 1 : -1;
      }
      return std::abs(turns) == 4;
    };
    long long cells = 0, seen = 0;
    for (int row = 0; row < 60; ++row)
      for (int column = 0; column < 60; ++column) {
        const double x = -60 + (column + 0.5) * cell, y = -60 + (row + 0.5) * cell;
        if (!inside(x, y)) continue;
        ++cells;
        seen += (column == c.column && row == c.row) || !hidden(x, y);
      }
    ASSERT_GT(cells, 500) << c.why;
    for (const auto& surface : BothAlgorithms(map)) {
      const FrameRelief r = ComputeFrameRelief(scene.Frames().at(0), *surface);
      ASSERT_TRUE(r.visiblePercent) << c.why;
      EXPECT_NEAR(100.0 * seen / cells, *r.visiblePercent, 1e-9)
          << c.why << ": " << cells - seen << " hidden";
    }
  }
}

TEST(SightBounds, ProveClearOnlyWhatHiddenSeesAndMostOfASmoothMap) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(0, 1);
  struct Case {
    HeightMap map;
    double least;  // share of the steep lines seen that are proved clear, at least
    const char* why;
  } cases[] = {
      {MapOf(40, 30, -2, 3, 0.5, [&](int, int) { return 3 * unit(random); }), 0, "a rough map"},
      {MapOf(64, 64, 0, 0, 0.25, [&](int c, int r) { return 2 + std::sin(c * 0.1) * std::cos(r * 0.13); }),
       0.9, "smooth hills"},
      // The plane outside stands above the map's edge cells.
      {MapOf(30, 30, 0, 0, 1, [&](int, int) { return -4 - unit(random); }), 0, "below the plane outside"},
      {MapOf(50, 50, 0, 0, 1, [&](int c, int r) { return c == 25 && r == 25 ? 40.0 : 0.0; }), 0.5, "a spike"},
  };
  for (const Case& c : cases) {
    const GridGeometry& g = c.map.grid;
    for (const auto& surface : AllSurfaces(c.map)) {
      const SightBounds bounds(*surface);
      ASSERT_TRUE(bounds.Covers(g)) << c.why;
      long long clear = 0, seen = 0;
      for (int i = 0; i < 4000; ++i) {
        const int column = static_cast<int>(unit(random) * g.columns),
                  row = static_cast<int>(unit(random) * g.rows);
        const size_t cell = static_cast<size_t>(row) * g.columns + column;
        const Vec3 p{g.originX + (column + 0.5) * g.cellX, g.originY + (row + 0.5) * g.cellY, c.map.z[cell]};
        // Eyes above the map, near and far, steep and grazing.
        const double spread = (i % 2 == 0 ? 0.3 : 3) * g.columns * g.cellX;
        const Vec3 eye{p.x + spread * (unit(random) - 0.5), p.y + spread * (unit(random) - 0.5),
                       surface->MaxHeight() + 1 + 60 * unit(random)};
        const bool hidden = surface->Hidden(p, eye);
        const bool proved = bounds.Clear(cell, p, eye);
        ASSERT_FALSE(proved && hidden) << c.why << ' ' << i;
        // Usefulness on the steep lines alone: far bounds are not directed.
        if (i % 2 == 0) {
          seen += !hidden;
          clear += proved;
        }
      }
      EXPECT_GE(clear, c.least * seen) << c.why << ": " << clear << " of " << seen;
    }
  }
}

TEST(ReliefFigures, EdgeCasesGiveClearResults) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  const HeightMap high = MapOf(4, 4, -200, -200, 100, [](int, int) { return 150.0; });
  const HeightMap oneCell = MapOf(1, 1, -1, -1, 2, [](int, int) { return 10.0; });
  const HeightMap zero = MapOf(4, 4, -200, -200, 100, [](int, int) { return 0.0; });
  const FovScene& nadir = f.Load({.distance = 100}, TOrientationSystem::Photogrammetric);
  const FrameProjection frame = nadir.Frames().at(0);

  // The camera at 100 under a surface at 150: nothing seen, nothing counted.
  const FrameRelief below = ComputeFrameRelief(frame, *MakeCellWalkIntersector(high));
  EXPECT_TRUE(below.cameraBelowSurface && below.missesSurface);
  EXPECT_TRUE(below.outline.empty() && !below.area && !below.visiblePercent && !below.gsdRow);
  const auto highSurface = MakePyramidIntersector(high);
  const std::vector<std::uint32_t> none = ComputeCoverage({frame}, *highSurface);
  EXPECT_EQ(std::vector<std::uint32_t>(16, 0), none);

  // A relief of one cell of height 10 under the principal point: the
  // border rays meet the plane (100 x 100), the principal ray the cell's
  // top from a distance of 90.
  const FrameRelief one = ComputeFrameRelief(frame, *MakePyramidIntersector(oneCell));
  ExpectRelativelyNear(10000, *one.area, "area");
  ExpectRelativelyNear(0.9, *one.gsdRow, "gsd");
  EXPECT_EQ(100, *one.visiblePercent);

  // Past the horizon (tilted 70 degrees with a half-angle of 26.6): the far
  // border rays never come down.
  const FovScene& tilted = f.Load({.distance = 100, .phi = 70}, TOrientationSystem::Photogrammetric);
  const FrameRelief horizon = ComputeFrameRelief(tilted.Frames().at(0), *MakePyramidIntersector(zero));
  EXPECT_TRUE(horizon.missesSurface);
  EXPECT_FALSE(horizon.cameraBelowSurface);
  EXPECT_TRUE(horizon.outline.empty() && !horizon.area && !horizon.visiblePercent);
  EXPECT_TRUE(horizon.gsdRow.has_value());  // the principal ray still meets the plane

  EXPECT_NE("(no error)", ErrorOf([&] { PlaneMap({}, 1); }));
  EXPECT_NE("(no error)", ErrorOf([&] { PlaneMap({frame}, 0); }));
  EXPECT_NE("(no error)", ErrorOf([&] { PlaneMap({frame}, 1e-6); }));  // far too many cells
  const HeightMap plane = PlaneMap({frame}, 10);
  EXPECT_EQ(10, plane.grid.columns);
  EXPECT_EQ(10, plane.grid.rows);
  const std::vector<std::uint32_t> all = ComputeCoverage({frame, frame}, *MakePyramidIntersector(plane));
  EXPECT_EQ(std::vector<std::uint32_t>(100, 2), all);
}

TEST(HeightMapFiles, ReadInTheGridsOrderAndWrittenBackInTheFilesOrder) {
  TempDir dir;
  // Three columns, two rows: the file's top row is the greater Y.
  const QString asc =
      dir.write("map.asc",
                "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 5\nNODATA_value -9999\n"
                "1 2 3\n4 -9999 6\n");
  const HeightMap map = ReadHeightMap(asc, 2);
  EXPECT_EQ(3, map.grid.columns);
  EXPECT_EQ(2, map.grid.rows);
  EXPECT_EQ(10, map.grid.originX);
  EXPECT_EQ(20, map.grid.originY);
  EXPECT_EQ(5, map.grid.cellX);
  EXPECT_FALSE(map.grid.rowsUpward);
  EXPECT_EQ(HeightValues({8, 0, 12, 2, 4, 6}), map.z);  // row 0 at the least Y, scaled by 2
  EXPECT_EQ(1, map.noDataCells);

  const std::vector<std::uint32_t> counts = {0, 1, 2, 3, 4, 5};
  for (GridGeometry grid : {map.grid, GridGeometry{3, 2, -1, -2, 0.5, 0.25, true, true}}) {
    for (const char* name : {"c.tif", "c.asc"}) {
      WriteCountRaster(dir.file(name), grid, counts);
      const HeightMap back = ReadHeightMap(dir.file(name));
      EXPECT_EQ(HeightValues({0, 1, 2, 3, 4, 5}), back.z) << name;
      EXPECT_EQ(grid.originX, back.grid.originX) << name;
      EXPECT_EQ(grid.originY, back.grid.originY) << name;
      EXPECT_EQ(grid.cellY, back.grid.cellY) << name;
    }
  }
  // The GeoTIFF keeps the file's order of the grid it was given.
  WriteCountRaster(dir.file("c.tif"), GridGeometry{3, 2, -1, -2, 0.5, 0.5, true, true}, counts);
  EXPECT_TRUE(ReadHeightMap(dir.file("c.tif")).grid.columnsReversed);

  struct Bad {
    QString file;
    const char* why;
  } bad[] = {
      {dir.write("text.asc", "not a height map\n"), "not a raster"},
      {dir.file("missing.tif"), "no such file"},
      {dir.path(), "a folder"},
  };
  for (const Bad& b : bad)
    EXPECT_TRUE(
        ErrorOf([&] { ReadHeightMap(b.file); }).startsWith("Ошибка чтения карты высот " + b.file + ": "))
        << b.why;
  EXPECT_NE("(no error)", ErrorOf([&] { WriteCountRaster(dir.file("c.png"), map.grid, counts); }));
  EXPECT_FALSE(QFile::exists(dir.file("c.png")));
}

TEST(HeightMapFiles, FloatsAreReadAsStoredInEitherWidth) {
  TempDir dir;
  // Raw (ENVI) grids of 32- and 64-bit floats, three columns, two rows, the file's
  // top row the greater Y: each value the same double as stored, times the
  // Z scale, no-data and NaN cells 0.
  const double stored[] = {0.1, std::nan(""), -9999, 3.5, 1e30, -2};
  for (const int bits : {32, 64}) {
    QByteArray bytes;
    for (const double v : stored) {
      const float f = static_cast<float>(v);
      bytes.append(bits == 32 ? QByteArray(reinterpret_cast<const char*>(&f), 4)
                              : QByteArray(reinterpret_cast<const char*>(&v), 8));
    }
    const QString name = QStringLiteral("f%1").arg(bits);
    dir.write(name + ".hdr", QStringLiteral("ENVI\nsamples = 3\nlines = 2\nbands = 1\nheader offset = 0\n"
                                            "data type = %1\ninterleave = bsq\nbyte order = 0\n"
                                            "map info = {Arbitrary, 1, 1, 0, 2, 1, 1}\n"
                                            "data ignore value = -9999\n")
                                 .arg(bits == 32 ? 4 : 5)
                                 .toUtf8());
    const QString file = dir.write(name + ".img", bytes);
    const HeightMap map = ReadHeightMap(file, 10);
    const auto as = [&](double v) {
      return (bits == 32 ? static_cast<double>(static_cast<float>(v)) : v) * 10;
    };
    EXPECT_EQ(HeightValues({as(3.5), as(1e30), as(-2), as(0.1), 0, 0}), map.z) << bits;
    EXPECT_EQ(2, map.noDataCells) << bits;
    EXPECT_EQ(
        QStringLiteral("Ошибка чтения карты высот %1: высота ячейки (1, 0) вне диапазона чисел").arg(file),
        ErrorOf([&] { ReadHeightMap(file, 1e300); }))
        << bits;
  }
}

TEST(HeightMapFiles, CellsAcrossStripsOfRowsKeepTheirPlaceInEveryOrder) {
  TempDir dir;
  // Rows enough for the reading to be shared between threads (strips of 64
  // rows, at least 8 strips a thread), in each order of the file's rows and
  // columns: every count read back at its own cell.
  const GridGeometry base{5, 1100, 10, 20, 1, 2};
  std::vector<std::uint32_t> counts(static_cast<size_t>(base.columns) * base.rows);
  for (size_t i = 0; i < counts.size(); ++i) counts[i] = static_cast<std::uint32_t>(i);
  counts[7] = 0xFFFFFFFFu;  // kept within the file's signed integers
  HeightValues expected(counts.begin(), counts.end());
  expected[7] = 2147483647;
  for (const bool columnsReversed : {false, true})
    for (const bool rowsUpward : {false, true}) {
      GridGeometry grid = base;
      grid.columnsReversed = columnsReversed;
      grid.rowsUpward = rowsUpward;
      for (const char* name : {"s.tif", "s.asc"}) {
        const std::string why =
            std::string(name) + (columnsReversed ? " reversed" : "") + (rowsUpward ? " up" : "");
        WriteCountRaster(dir.file(name), grid, counts);
        const HeightMap back = ReadHeightMap(dir.file(name));
        EXPECT_EQ(expected, back.z) << why;
        EXPECT_EQ(base.rows, back.grid.rows) << why;
      }
    }

  // Of two heights out of the range of numbers once scaled, the message
  // names the first in the grid's order (row 0 at the least Y, the file's
  // last row), not the first the file holds.
  const QString huge = dir.write("huge.asc",
                                 "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                                 "1e300 0 0\n0 0 1e300\n");
  EXPECT_EQ("Ошибка чтения карты высот " + huge + ": высота ячейки (2, 0) вне диапазона чисел",
            ErrorOf([&] { ReadHeightMap(huge, 1e300); }));

  // The same over rows read on two threads: the first in the grid's order
  // is in the file's later rows, read by the second; the no-data cells of
  // both are counted.
  QString tall = "ncols 3\nnrows 1100\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
  for (int fileRow = 0; fileRow < 1100; ++fileRow)
    tall += fileRow == 10        ? "1e300 0 0\n"
            : fileRow == 1000    ? "0 1e300 0\n"
            : fileRow % 500 == 7 ? "-9999 1 2\n"
                                 : "1 2 3\n";
  const QString tallFile = dir.write("tall.asc", tall.toUtf8());
  EXPECT_EQ("Ошибка чтения карты высот " + tallFile + ": высота ячейки (1, 99) вне диапазона чисел",
            ErrorOf([&] { ReadHeightMap(tallFile, 1e300); }));
  const HeightMap read = ReadHeightMap(tallFile);
  EXPECT_EQ(3, read.noDataCells);  // file rows 7, 507, 1007
  EXPECT_EQ(0, read.z[static_cast<size_t>(1099 - 1007) * 3]);
  EXPECT_EQ(3, read.z[static_cast<size_t>(1099 - 1099) * 3 + 2]);  // file row 1099, the second thread's last
}

TEST(ReliefFigures, CoverageOfManyFramesIsTheSumOverThem) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  const FovScene& nadir = f.Load({.distance = 100}, TOrientationSystem::Photogrammetric);
  const FrameProjection frame = nadir.Frames().at(0);
  const HeightMap plane = PlaneMap({frame}, 10);
  const size_t cells = plane.z.size();
  // Enough frames for several ranges on several cores, and none; on both
  // surfaces, with the hidden counts and without.
  for (const ReliefSurfaceModel model : {ReliefSurfaceModel::kBilinear, ReliefSurfaceModel::kBlocks}) {
    const auto surface = MakeSurfaceIntersector(plane, model);
    for (const int count : {0, 1, 9, 40}) {
      const std::vector<FrameProjection> frames(static_cast<size_t>(count), frame);
      std::vector<std::uint32_t> hidden = {5};
      EXPECT_EQ(std::vector<std::uint32_t>(cells, count), ComputeCoverage(frames, *surface, &hidden))
          << count;
      EXPECT_EQ(std::vector<std::uint32_t>(cells, 0), hidden) << count;
      EXPECT_EQ(std::vector<std::uint32_t>(cells, count), ComputeCoverage(frames, *surface)) << count;
    }
  }
}

// Frames of made-up figures, some with an outline of a few points, some
// missing the surface, and the same with every relief figure held.
SceneFigures ManyFrames(int count, std::vector<FrameRelief>& relief) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> any(-5, 5);
  SceneFigures figures;
  figures.unionArea = 12.5;
  for (int n = 0; n < count; ++n) {
    FrameFigures f;
    f.frame = n + 1;
    f.name = QStringLiteral("f%1.ort").arg(n);
    f.corners = {ScenePoint{0, 0}, ScenePoint{1, 0}, ScenePoint{1, 1}, ScenePoint{0, 1}};
    f.area = any(random);
    figures.frames.push_back(f);
    FrameRelief r;
    r.missesSurface = n % 5 == 3;
    r.gsdRow = any(random);
    if (!r.missesSurface) {
      for (int k = 0; k < 3 + n % 4; ++k) r.outline.push_back({any(random), any(random)});
      r.area = any(random);
      r.visiblePercent = 50 + any(random);
    }
    relief.push_back(r);
  }
  return figures;
}

TEST(ReliefExports, ABlockAtATimeGivesTheBytesOfHeldFigures) {
  // Over two blocks of frames and a part of a third.
  std::vector<FrameRelief> relief;
  SceneFigures figures = ManyFrames(2500, relief);
  SceneFigures held = figures;
  held.relief = relief;
  const QByteArray csv = FootprintsCsv(held), geojson = FootprintsGeoJson(held);
  ASSERT_TRUE(csv.contains("\"POLYGON(("));

  struct Case {
    bool csv, geojson;
  } cases[] = {{true, false}, {false, true}, {true, true}};
  for (const Case& c : cases) {
    TempDir dir;
    std::vector<std::pair<int, int>> asked;
    const ReliefSource source = [&](int begin, int end) {
      asked.emplace_back(begin, end);
      return std::vector<FrameRelief>(relief.begin() + begin, relief.begin() + end);
    };
    WriteFootprintExports(c.csv ? dir.file("a.csv") : QString(),
                          c.geojson ? dir.file("a.geojson") : QString(), figures, source);
    const std::string why = "csv " + std::to_string(c.csv) + ", geojson " + std::to_string(c.geojson);
    if (c.csv) {
      EXPECT_EQ(csv, ReadBytes(dir.file("a.csv"))) << why;
    }
    if (c.geojson) {
      EXPECT_EQ(geojson, ReadBytes(dir.file("a.geojson"))) << why;
    }
    EXPECT_EQ(QStringList(c.csv ? "a.csv" : "a.geojson") +
                  (c.csv && c.geojson ? QStringList{"a.geojson"} : QStringList{}),
              dir.entries())
        << why;
    // Each frame asked for once, in order, and never all at once.
    int next = 0;
    for (const auto& [begin, end] : asked) {
      EXPECT_EQ(next, begin) << why;
      EXPECT_LT(end - begin, 2500) << why;
      next = end;
    }
    EXPECT_EQ(2500, next) << why;
  }

  // A failure while the figures are made, after blocks were written, leaves
  // both previous files.
  TempDir dir;
  dir.write("a.csv", "old csv");
  dir.write("a.geojson", "old geojson");
  const QString message = ErrorOf([&] {
    WriteFootprintExports(dir.file("a.csv"), dir.file("a.geojson"), figures, [&](int begin, int end) {
      if (begin >= 2000) throw Error(QStringLiteral("no more"));
      return std::vector<FrameRelief>(relief.begin() + begin, relief.begin() + end);
    });
  });
  EXPECT_EQ("no more", message);
  EXPECT_EQ("old csv", ReadBytes(dir.file("a.csv")));
  EXPECT_EQ("old geojson", ReadBytes(dir.file("a.geojson")));
  EXPECT_EQ(QStringList({"a.csv", "a.geojson"}), dir.entries());

  // So does one write that fails while the texts are handed on, a batch at
  // a time, on the writers' own thread, though the writes after it succeed.
  InjectWriterFaults({{.step = WriterStep::kWrite, .error = EIO, .afterBytes = 1 << 20, .times = 1}});
  const QString full = ErrorOf([&] {
    WriteFootprintExports(dir.file("a.csv"), dir.file("a.geojson"), figures, [&](int begin, int end) {
      return std::vector<FrameRelief>(relief.begin() + begin, relief.begin() + end);
    });
  });
  InjectWriterFaults({});
  EXPECT_TRUE(full.contains(dir.file("a.csv")) || full.contains(dir.file("a.geojson"))) << full.toStdString();
  EXPECT_EQ("old csv", ReadBytes(dir.file("a.csv")));
  EXPECT_EQ("old geojson", ReadBytes(dir.file("a.geojson")));
  EXPECT_EQ(QStringList({"a.csv", "a.geojson"}), dir.entries());
}

}  // namespace
}  // namespace skarvel
