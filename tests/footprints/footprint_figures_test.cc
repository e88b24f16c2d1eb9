// Footprint figures: overlaps and unions of hand-made quads, flags, areas
// and sample distances of loaded frames worked out by hand.
//
// Loaded frames look straight down unless turned: the principal distance 100
// equals the distance, so a frame pixel is one scene unit and a 100 x 100
// frame with its principal point in the middle covers the square of side 100
// around its aiming point.

#include "footprints/footprint_figures.h"
#include "fov/fov_scene.h"

#include "platform/error.h"
#include "support/frame_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>

namespace skarvel {
namespace {

using testing::CameraFile;
using testing::FrameGeometry;
using testing::GeometryFile;
using testing::ListFile;
using testing::RecordingMessageSink;
using testing::SeparatorScope;
using testing::TempDir;

// The axis-parallel rectangle [x0, x1] x [y0, y1], corners counter-clockwise.
SceneQuad Box(double x0, double y0, double x1, double y1) {
  return {{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
}

TEST(Overlaps, HandWorkedSquares) {
  // Two unit squares overlapping by half.
  {
    const OverlapFigures o = ComputeOverlaps({Box(0, 0, 1, 1), Box(0.5, 0, 1.5, 1)}, {false, false});
    EXPECT_EQ(std::vector<double>({1, 1}), o.areas);
    EXPECT_EQ(50.0, o.percent[0]);
    EXPECT_EQ(50.0, o.percent[1]);
    EXPECT_DOUBLE_EQ(1.5, o.unionArea);
    EXPECT_DOUBLE_EQ(0.5, IntersectionArea(Box(0, 0, 1, 1), Box(0.5, 0, 1.5, 1)));
  }
  // A square covered by two others whose parts over it overlap: B covers
  // its right half, C its upper half, both its upper right quarter, so 3/4
  // of it is covered, not 1/2 + 1/2. The union is 3 - 0.5 - 0.5 - 0.25 + 0.25.
  {
    const OverlapFigures o =
        ComputeOverlaps({Box(0, 0, 1, 1), Box(0.5, 0, 1.5, 1), Box(0, 0.5, 1, 1.5)}, {false, false, false});
    EXPECT_DOUBLE_EQ(75.0, *o.percent[0]);
    EXPECT_DOUBLE_EQ(50.0, *o.percent[1]);
    EXPECT_DOUBLE_EQ(50.0, *o.percent[2]);
    EXPECT_DOUBLE_EQ(2.0, o.unionArea);
  }
  // Clockwise corners, containment, a copy, a square off on its own, one
  // that only touches, and one left out.
  {
    const SceneQuad clockwise = {{{0, 0}, {0, 4}, {4, 4}, {4, 0}}};
    const OverlapFigures o =
        ComputeOverlaps({clockwise, Box(1, 1, 2, 2), Box(10, 10, 11, 11), Box(10, 10, 11, 11),
                         Box(20, 0, 21, 1), Box(21, 0, 22, 1), Box(0, 0, 4, 4)},
                        {false, false, false, false, false, false, true});
    EXPECT_EQ(16, o.areas[0]);
    EXPECT_DOUBLE_EQ(100.0 / 16, *o.percent[0]);  // the small square inside
    EXPECT_EQ(100.0, o.percent[1]);
    EXPECT_EQ(100.0, o.percent[2]);  // each copy covers the other
    EXPECT_EQ(100.0, o.percent[3]);
    EXPECT_EQ(0.0, o.percent[4]);  // an edge in common covers nothing
    EXPECT_EQ(0.0, o.percent[5]);
    EXPECT_FALSE(o.percent[6].has_value());  // left out, and out of the union
    EXPECT_EQ(16, o.areas[6]);
    EXPECT_DOUBLE_EQ(16 + 1 + 1 + 1, o.unionArea);
  }
  // Nothing, or nothing that takes part.
  EXPECT_EQ(0.0, ComputeOverlaps({}, {}).unionArea);
  const OverlapFigures none = ComputeOverlaps({Box(0, 0, 1, 1)}, {true});
  EXPECT_FALSE(none.percent[0].has_value());
  EXPECT_EQ(0.0, none.unionArea);
}

TEST(Overlaps, AGridOfFramesAgreesWithInclusionExclusion) {
  // 30 x 20 frames of 10 x 10 stepped by 6 along X and 7 along Y: every
  // frame's neighbours are found through the tree and none is counted twice.
  std::vector<SceneQuad> quads;
  for (int row = 0; row < 20; ++row)
    for (int column = 0; column < 30; ++column)
      quads.push_back(Box(6 * column, 7 * row, 6 * column + 10, 7 * row + 10));
  const OverlapFigures o = ComputeOverlaps(quads, std::vector<bool>(quads.size(), false));
  // The union is the box [0, 184] x [0, 143].
  EXPECT_NEAR(184.0 * 143.0, o.unionArea, 1e-7);
  // A frame inside the grid: its row neighbours leave the strip 4 <= x < 6
  // (local coordinates), and of that strip the frames above and below cover
  // y < 3 and y >= 7, so 2 x 4 is uncovered: 92 %. A corner frame loses the
  // square [0, 6) x [0, 7) to no neighbour: 100 - 42 = 58 %.
  EXPECT_NEAR(92.0, *o.percent[5 * 30 + 7], 1e-9);
  EXPECT_NEAR(58.0, *o.percent[0], 1e-9);
  // An edge frame (first row, not a corner): the band y < 7 left of x = 6
  // is covered by its left neighbour, right of x = 4 by its right one, so
  // only [4, 6) x [0, 7) is left: 100 - 14 = 86 %.
  EXPECT_NEAR(86.0, *o.percent[12], 1e-9);
}

// Convex outlines are cut into convex pieces; one concave outline that takes
// part sends the whole computation to GEOS's overlays, the reference here:
// the same scene with a concave outline far away from it must give the same
// areas (bit for bit) and, to rounding, the same overlaps and union.
TEST(Overlaps, ConvexPiecesAgreeWithGeosOverlays) {
  std::uint32_t state = 7;
  auto jitter = [&](double range) {
    state = state * 1664525u + 1013904223u;
    return range * (static_cast<double>(state >> 8) / (1u << 24) - 0.5);
  };
  // A turned and stretched frame around (cx, cy), clockwise or not.
  auto frame = [&](double cx, double cy, double size, bool clockwise) {
    const double turn = jitter(0.5), c = std::cos(turn), s = std::sin(turn);
    const double near = size * (1 + jitter(0.2)), far = size * (1 + jitter(0.3)), half = 0.8 * size;
    const double corners[4][2] = {{-far, -half}, {far, -half}, {near, half}, {-near, half}};
    SceneQuad quad;
    for (int k = 0; k < 4; ++k) {
      const int i = clockwise ? 3 - k : k;
      quad[k] = {cx + c * corners[i][0] - s * corners[i][1], cy + s * corners[i][0] + c * corners[i][1]};
    }
    return quad;
  };
  std::vector<std::vector<SceneQuad>> scenes(4);
  // Strips with 60 % forward and 30 % side overlap, every other one clockwise.
  for (int i = 0; i < 240; ++i)
    scenes[0].push_back(frame(0.8 * (i % 60) + jitter(0.1), 1.1 * (i / 60), 1, i % 2 == 1));
  // A column along Y (a grid one cell wide), with copies and one frame
  // inside another.
  for (int i = 0; i < 60; ++i) scenes[1].push_back(frame(jitter(0.3), 0.7 * i, 1, false));
  scenes[1].push_back(scenes[1][10]);
  scenes[1].push_back(Box(-0.2, 3, 0.2, 3.3));
  // Small frames under one outline that covers them all.
  for (int i = 0; i < 100; ++i) scenes[2].push_back(frame(3.0 * (i % 10), 3.0 * (i / 10), 1, i % 3 == 0));
  scenes[2].push_back(Box(-5, -5, 35, 35));
  // A stack about a hundred deep, frames strewn over a few of their widths:
  // most chains use their outline up long before their last candidate.
  for (int i = 0; i < 300; ++i)
    scenes[3].push_back(frame(2.5 + jitter(5), 2.5 + jitter(5), 1 + jitter(0.5), i % 4 == 1));

  const SceneQuad concave = {{{1e4, 1e4}, {1e4 + 10, 1e4}, {1e4 + 5, 1e4 + 2}, {1e4 + 5, 1e4 + 10}}};
  ASSERT_FALSE(IsConvex(concave));
  for (size_t k = 0; k < scenes.size(); ++k) {
    std::vector<SceneQuad> quads = scenes[k];
    std::vector<bool> leftOut(quads.size(), false);
    leftOut[3] = true;  // left out: covers nothing, has no overlap
    const OverlapFigures pieces = ComputeOverlaps(quads, leftOut);
    quads.push_back(concave);
    leftOut.push_back(false);
    const OverlapFigures geos = ComputeOverlaps(quads, leftOut);
    const double concaveArea = geos.areas.back();
    EXPECT_NEAR(geos.unionArea - concaveArea, pieces.unionArea, 1e-12 * pieces.unionArea) << k;
    for (size_t n = 0; n < scenes[k].size(); ++n) {
      EXPECT_EQ(geos.areas[n], pieces.areas[n]) << k << " " << n;
      ASSERT_EQ(geos.percent[n].has_value(), pieces.percent[n].has_value()) << k << " " << n;
      if (pieces.percent[n]) {
        EXPECT_NEAR(*geos.percent[n], *pieces.percent[n], 1e-9) << k << " " << n;
      }
    }
  }
}

TEST(Convexity, CornersTurningTheSameWay) {
  EXPECT_TRUE(IsConvex(Box(0, 0, 2, 1)));
  EXPECT_TRUE(IsConvex({{{0, 0}, {0, 1}, {2, 1}, {2, 0}}}));   // clockwise
  EXPECT_FALSE(IsConvex({{{0, 0}, {2, 1}, {2, 0}, {0, 1}}}));  // crossed
  EXPECT_FALSE(IsConvex({{{0, 0}, {4, 0}, {1, 1}, {0, 4}}}));  // one corner turned in
  EXPECT_FALSE(IsConvex({{{0, 0}, {1, 0}, {2, 0}, {1, 1}}}));  // a straight corner
  EXPECT_FALSE(IsConvex({{{0, 0}, {1, 1}, {2, 2}, {3, 3}}}));  // collapsed
}

// A folder of frames and a list of them.
class Frames {
 public:
  Frames() {
    dir.write("rows.txt", "1\r\n");
    dir.write("rows2.txt", "2\r\n");
    dir.write("square.cam", CameraFile(50, 50, 100, 100, 100));
    dir.write("wide.cam", CameraFile(50, 30, 100, 100, 60));
    dir.write("halved.cam", CameraFile(50, 50, 100, 100, 100, "rows2.txt"));
  }
  // Adds a frame's geometry file; returns "name ; camera" lines for a list.
  QStringList Frame(const QString& name, const FrameGeometry& g, const QString& camera = "square.cam") {
    dir.write(name, GeometryFile(g));
    return {name, camera};
  }
  SceneFigures Load(const QStringList& pairs, TOrientationSystem system = TOrientationSystem::Bench) {
    scene.LoadFovList(dir.write("scene.lst", ListFile(pairs)), system);
    return ComputeFootprintFigures(scene);
  }
  TempDir dir;
  FovScene scene;
};

TEST(FootprintFigures, NadirFramesByHand) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  // Frames 1 to 5 chained into the strip (edge to edge); frame 6 half over
  // frame 1.
  QStringList pairs;
  for (int n = 1; n <= 5; ++n) pairs << f.Frame(QStringLiteral("s%1.ort").arg(n), {});
  pairs << f.Frame("side.ort", {.aimX = 50});
  const SceneFigures s = f.Load(pairs);
  ASSERT_EQ(6u, s.frames.size());
  EXPECT_EQ(0, s.flaggedCount);
  // Scene Y is the stored Y negated: frame 2 lies above frame 1, frame 4 below.
  EXPECT_EQ(Box(-50, -50, 50, 50)[0], s.frames[0].corners[3]);  // D of frame 1 is (-50, -50)
  EXPECT_EQ((ScenePoint{-50, 150}), s.frames[1].corners[0]);
  EXPECT_EQ((ScenePoint{-50, -150}), s.frames[3].corners[3]);
  EXPECT_EQ("s1.ort", s.frames[0].name);
  for (const FrameFigures& frame : s.frames) {
    EXPECT_DOUBLE_EQ(10000, frame.area) << frame.frame;
    // f = D = 100: one scene unit per pixel both ways.
    EXPECT_DOUBLE_EQ(1, frame.gsdRow) << frame.frame;
    EXPECT_DOUBLE_EQ(1, frame.gsdColumn) << frame.frame;
  }
  EXPECT_EQ(50.0, s.frames[0].overlapPercent);
  EXPECT_EQ(50.0, s.frames[5].overlapPercent);
  for (int n : {1, 2, 3, 4}) EXPECT_EQ(0.0, s.frames[n].overlapPercent) << n + 1;
  // Strip neighbours: 2 and 4 joined to 1, 3 to 2, 5 to 4, edge to edge.
  const int neighbours[] = {0, 1, 2, 1, 4, 0};
  for (int n = 0; n < 6; ++n) EXPECT_EQ(neighbours[n], s.frames[n].stripNeighbour);
  ASSERT_EQ(4u, s.stripPairs.size());
  for (const StripPair& pair : s.stripPairs) EXPECT_EQ(0.0, pair.percentOfFrame);
  EXPECT_EQ(0.0, s.frames[1].stripOverlapPercent);
  EXPECT_FALSE(s.frames[5].stripOverlapPercent.has_value());
  EXPECT_DOUBLE_EQ(6 * 10000 - 5000, s.unionArea);
}

TEST(FootprintFigures, SampleDistancesOfScaledAndTiltedFrames) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  const double alpha = 30 * std::numbers::pi / 180;
  const SceneFigures s = f.Load(f.Frame("a.ort", {}, "halved.cam") + f.Frame("b.ort", {.aboutY = 30}));
  // Row scale 2: a row is half a pixel of image height.
  EXPECT_DOUBLE_EQ(1, s.frames[0].gsdRow);
  EXPECT_DOUBLE_EQ(0.5, s.frames[0].gsdColumn);
  EXPECT_DOUBLE_EQ(5000, s.frames[0].area);
  // Tilted by 30 degrees about Y, toward the image x axis: the rays half a
  // pixel either side of the principal point make angles of 30 +- delta
  // with the vertical from a height of D cos 30; across the tilt the
  // distance along the ray stays D.
  const double delta = std::atan(0.5 / 100);
  const double height = 100 * std::cos(alpha);
  EXPECT_NEAR(height * (std::tan(alpha + delta) - std::tan(alpha - delta)), s.frames[1].gsdRow, 1e-12);
  EXPECT_NEAR(1, s.frames[1].gsdColumn, 1e-12);
  EXPECT_FALSE(s.frames[1].flags.any());
}

TEST(FootprintFigures, AQuarterTurnKeepsTheArea) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  for (TOrientationSystem system : {TOrientationSystem::Photogrammetric, TOrientationSystem::Bench}) {
    // Frames 6 and 7 (unchained): a 100 x 60 frame, then turned 90 degrees
    // about the viewing axis (kappa in one system, about Z in the other).
    QStringList pairs;
    for (int n = 1; n <= 5; ++n) pairs << f.Frame(QStringLiteral("s%1.ort").arg(n), {});
    pairs << f.Frame("plain.ort", {.aimX = 500}, "wide.cam")
          << f.Frame("turned.ort", {.aimX = 500, .kappa = 90, .aboutZ = 90}, "wide.cam");
    const SceneFigures s = f.Load(pairs, system);
    const FrameFigures &plain = s.frames[5], &turned = s.frames[6];
    EXPECT_NEAR(6000, plain.area, 1e-9);
    EXPECT_NEAR(plain.area, turned.area, 1e-9);
    // The 100-unit side now lies along Y.
    EXPECT_NEAR(100, std::abs(plain.corners[1].x - plain.corners[0].x), 1e-9);
    EXPECT_NEAR(100, std::abs(turned.corners[1].y - turned.corners[0].y), 1e-9);
    EXPECT_NEAR(0, std::abs(turned.corners[1].x - turned.corners[0].x), 1e-9);
    EXPECT_NEAR(plain.gsdRow, turned.gsdRow, 1e-12);
    // The turned frame covers 60 x 60 of the plain one and is covered as much.
    EXPECT_NEAR(60.0, *turned.overlapPercent, 1e-9);
    EXPECT_NEAR(60.0, *plain.overlapPercent, 1e-9);
  }
}

TEST(FootprintFigures, FramesPastTheHorizonOrBehindAreFlaggedAndChangeNoOtherFigure) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Frames f;
  QStringList pairs;
  for (int n = 1; n <= 5; ++n) pairs << f.Frame(QStringLiteral("s%1.ort").arg(n), {});
  pairs << f.Frame("side.ort", {.aimX = 50});
  const SceneFigures plain = f.Load(pairs);
  // Tilted 70 degrees with a half field of 26.6 degrees: the far corners'
  // rays rise above the horizon. A negative distance puts the projection
  // centre below the plane, looking away from it. Both lie over frame 1.
  const SceneFigures flagged =
      f.Load(pairs + f.Frame("tilted.ort", {.aboutY = 70}) + f.Frame("below.ort", {.distance = -100}));
  ASSERT_EQ(8u, flagged.frames.size());
  EXPECT_EQ(2, flagged.flaggedCount);
  const FrameFigures &tilted = flagged.frames[6], &below = flagged.frames[7];
  EXPECT_TRUE(tilted.flags.horizon);
  EXPECT_FALSE(tilted.flags.behindCamera);
  // The corners past the horizon land behind the camera's nadir: the
  // outline crosses itself.
  EXPECT_TRUE(tilted.flags.notConvex);
  EXPECT_TRUE(below.flags.behindCamera);
  EXPECT_FALSE(below.flags.horizon);
  EXPECT_FALSE(below.flags.notConvex);  // its outline is a square all the same
  for (const FrameFigures* frame : {&tilted, &below}) {
    EXPECT_FALSE(frame->overlapPercent.has_value());
    EXPECT_FALSE(frame->stripOverlapPercent.has_value());
  }
  for (int n = 0; n < 6; ++n) {
    const FrameFigures &a = plain.frames[n], &b = flagged.frames[n];
    EXPECT_EQ(a.corners, b.corners) << n + 1;
    EXPECT_EQ(a.area, b.area) << n + 1;
    EXPECT_EQ(a.gsdRow, b.gsdRow) << n + 1;
    EXPECT_EQ(a.overlapPercent, b.overlapPercent) << n + 1;
    EXPECT_EQ(a.stripOverlapPercent, b.stripOverlapPercent) << n + 1;
    EXPECT_FALSE(b.flags.any()) << n + 1;
  }
  EXPECT_EQ(plain.unionArea, flagged.unionArea);
  EXPECT_EQ(
      "Предупреждение: кадр 7 (tilted.ort): кадр захватывает горизонт, контур не выпуклый; в перекрытия не "
      "включён",
      FlagWarning(tilted));
  EXPECT_EQ("Предупреждение: кадр 8 (below.ort): контур лежит позади камеры; в перекрытия не включён",
            FlagWarning(below));
  // A frame of the strip that is flagged has no strip overlap either, and
  // neither has the frame chained to it.
  QStringList strip = f.Frame("tilted.ort", {.aboutY = 70});
  for (int n = 2; n <= 5; ++n) strip << f.Frame(QStringLiteral("s%1.ort").arg(n), {});
  const SceneFigures first = f.Load(strip);
  EXPECT_TRUE(first.frames[0].flags.horizon);
  EXPECT_FALSE(first.frames[1].stripOverlapPercent.has_value());
  EXPECT_TRUE(first.frames[2].stripOverlapPercent.has_value());
  EXPECT_EQ(2u, first.stripPairs.size());  // 3 with 2, 5 with 4
}

TEST(FootprintFigures, AnEmptySceneHasNoFigures) {
  FovScene scene;
  const SceneFigures s = ComputeFootprintFigures(scene);
  EXPECT_TRUE(s.frames.empty());
  EXPECT_EQ(0.0, s.unionArea);
}

}  // namespace
}  // namespace skarvel
