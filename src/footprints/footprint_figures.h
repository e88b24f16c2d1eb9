#pragma once
// Figures of a loaded scene's footprints, for planning imaging from them:
// per frame the corners, the area, the ground sample distance and what is
// wrong with the footprint; the overlaps between frames; the area covered.
//
// Footprints are taken as the drawing shows them (frames 2 to 5 chained into
// the strip), in scene coordinates: X as stored, Y = -stored Y, so that Y
// runs upward as on the drawing.
//
// Flags (a flagged footprint is reported, and left out of every overlap and
// of the union, since its outline is not the ground the frame sees):
// - not convex: the corners A, B, C, D do not turn the same way at every
//   corner (a crossed or collapsed outline);
// - horizon: a corner's ray points away from the scene plane, its
//   back-projection's denominator having the opposite sign to the principal
//   point's: the frame sees the horizon and that corner is the intersection
//   of the ray's backward extension;
// - behind the camera: the principal point's ground point lies behind the
//   projection centre (the frame looks away from the plane).
//
// Ground sample distance at the principal point: the scene distance between
// the back-projections of two image points one pixel apart, half a pixel
// either side of the principal point: along a row (one column apart) and
// along a column (one row apart, RowScale applied as to the corners).
//
// Overlaps, as a percentage of a frame's own area:
// - strip: frames 2 to 5 against the frame they were chained to (2 and 4 to
//   frame 1, 3 to 2, 5 to 4);
// - others: the part of the frame that any other frame covers.
// A frame's area is the shoelace sum about its first corner's X, in doubles
// (as GEOS computes a polygon's area). Overlaps and the union come from one
// chain of differences per distinct outline: the outline less each
// neighbour whose bounding box meets it (found through a grid), in list
// order; what the earlier ones leave is its share of the union, what all of
// them leave is the part no other frame covers. The outlines that take part
// are convex (a flagged one is left out), so the remainder is kept as
// disjoint convex pieces clipped in extended precision; should one that
// takes part not be convex, GEOS's overlays are used instead. The strip
// pairs' intersections are GEOS's. Footprints repeated exactly are handled
// once (each is covered whole by its copy), so the cost grows with the
// frames and their neighbours, not their square, and the outlines are
// shared out between the cores.

#include "scene/scene_frames.h"
#include "scene/projection.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace skarvel {

struct ScenePoint {
  double x = 0;
  double y = 0;
  friend bool operator==(const ScenePoint&, const ScenePoint&) = default;
};
// Corners A, B, C, D in scene coordinates.
using SceneQuad = std::array<ScenePoint, 4>;

struct FootprintFlags {
  bool notConvex = false;
  bool horizon = false;
  bool behindCamera = false;
  bool any() const { return notConvex || horizon || behindCamera; }
};

struct FrameFigures {
  int frame = 0;  // 1-based, in list order
  QString name;   // the image geometry file name as the list gives it, trimmed
  SceneQuad corners;
  double area = 0;
  double gsdRow = 0;     // scene units per pixel along a row
  double gsdColumn = 0;  // scene units per pixel along a column
  FootprintFlags flags;
  int stripNeighbour = 0;  // the frame it was chained to, 0 for none
  std::optional<double> stripOverlapPercent;
  std::optional<double> overlapPercent;  // covered by any other frame
};

// What a frame sees of a relief (relief/relief_figures.h): the first hits of
// its border rays as an outline, its planimetric area, the share of the
// surface in its view that it sees and the sample distances on the surface.
// Figures that do not apply are empty.
struct FrameRelief {
  std::vector<ScenePoint> outline;  // empty when a border ray misses the surface
  std::optional<double> area;
  std::optional<double> visiblePercent;
  std::optional<double> gsdRow;
  std::optional<double> gsdColumn;
  bool missesSurface = false;
  bool cameraBelowSurface = false;  // the projection centre is not above the surface
};

struct StripPair {
  int frame = 0;
  int neighbour = 0;
  double area = 0;  // of the intersection
  double percentOfFrame = 0;
  double percentOfNeighbour = 0;
};

struct SceneFigures {
  std::vector<FrameFigures> frames;
  std::vector<StripPair> stripPairs;  // those with neither frame flagged
  double unionArea = 0;               // of the unflagged footprints
  int flaggedCount = 0;
  // Per frame, with a relief only (empty without one).
  std::vector<FrameRelief> relief;
};

// The figures of the scene's last load (empty when it holds no footprint).
SceneFigures ComputeFootprintFigures(const SceneFrames& scene);
// Only what each frame gives on its own: corners, sample distances, flags and
// strip neighbours; no area, overlap or union.
SceneFigures ComputeFrameFigures(const SceneFrames& scene);

// The parts, on their own.

// Frame n's (0-based) corners from the stored footprints.
SceneQuad SceneCorners(const DynamicArray<VT_Point>& footprints, int n);
// True when every corner turns the same way (and none is straight).
bool IsConvex(const SceneQuad& quad);
// The horizon and behind-the-camera flags of a projection.
FootprintFlags ProjectionFlags(const FrameProjection& projection);
// Ground sample distances along a row and along a column.
double RowSampleDistance(const FrameProjection& projection);
double ColumnSampleDistance(const FrameProjection& projection);

struct OverlapFigures {
  std::vector<double> areas;                   // every quad's area
  std::vector<std::optional<double>> percent;  // covered by others; none when left out
  double unionArea = 0;
};
// The all-others overlaps and the union of the quads not left out.
OverlapFigures ComputeOverlaps(const std::vector<SceneQuad>& quads, const std::vector<bool>& leftOut);
// The area of the intersection of two quads.
double IntersectionArea(const SceneQuad& a, const SceneQuad& b);

// The one-line warning for a flagged frame.
QString FlagWarning(const FrameFigures& frame);

}  // namespace skarvel
