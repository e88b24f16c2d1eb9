#pragma once
// What each frame sees of a relief, and how many frames see each cell.
//
// Rays come from the frame's own projection (scene/projection.h), so they are
// the same in the three orientation systems: the projection centre S is the
// point the direct linear transformation sends nowhere (both numerators and
// the denominator zero), and the ray of image point (x, y) runs from S along
// -sign(G) M^-1 (x, y, 1), M the 3 x 3 matrix [[L1, L2, L3], [L5, L6, L7],
// [L9, L10, L11]] and G the coefficients' divisor: every point of it that
// the transformation sends to (x, y) and that lies in front of the camera.
// On the plane Z = 0 the rays meet the footprint's own corners. Relief
// figures are those of each frame's own camera: the strip chaining of the
// drawing, which moves footprints, does not apply to them.
//
// Per frame (FrameRelief):
// - outline: the first hits of rays through the frame's border, in scene X
//   and Y (Y upward), from corner A round the frame's corners in their order
//   (A, B, C, D of FrameCorners; the exports write the ring from A
//   counter-clockwise, footprints/footprint_export.cc, so for a frame whose
//   corners turn clockwise on the scene, the usual case, the files hold it
//   from A to D, C and B), the four corners and, along each side,
//   vertices wherever the curve of first hits departs from the chord by
//   more than half a relief cell (the lesser side of a cell). Each side is
//   sampled at points no further apart than 8 cells on the ground (by the
//   chord of its corners' hits) nor 256 pixels, and no nearer than 8
//   pixels; each stretch between two of them is halved while its middle
//   hit lies further than half a cell from the stretch's chord, down to one
//   pixel; of the hits so found, the simplification of Douglas and Peucker
//   with a tolerance of half a cell keeps the vertices. A side over a plane
//   keeps its corners alone;
// - area: the outline's planimetric area (shoelace);
// - visible percent: of the relief's cells whose centre lies inside the
//   outline (even-odd), the share the camera sees, the cell's surface point
//   at its centre not hidden (relief/relief_surface.h). Counted exactly,
//   cell by cell: a sight line that SightBounds proves clear is seen
//   without a walk, every other is decided by Hidden. Empty when no cell
//   centre lies inside;
// - sample distances: the 3D distance between the first hits on the
//   surface of the two rays half a pixel either side of the principal
//   point, along a row and along a column;
// - misses surface: a ray of the outline never meets the surface (it sees
//   the horizon); outline, area and visible percent are then empty;
// - camera below surface: the projection centre is on or below the surface
//   under it; every relief figure is then empty and misses surface is set.
//
// Coverage: per cell of the map, the number of frames that see the top of
// the cell at its centre: in front of the camera, projecting inside the
// frame, and not hidden. Each frame looks only at the cells under its view
// (the box of its corner rays between the surface's least and greatest Z).
// Over the bilinear surface a frame's cells are decided by the horizon sweep
// (relief/coverage_sweep.h), over blocks by a sight line per cell.

#include "footprints/footprint_figures.h"
#include "relief/coverage_sweep.h"
#include "relief/relief_surface.h"
#include "scene/projection.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace skarvel {

// The camera of one frame as rays.
class FrameRays {
 public:
  explicit FrameRays(const FrameProjection& projection);

  const Vec3& Centre() const { return centre_; }
  // The ray of image point (x, y) (image coordinates of scene/projection.h).
  Ray Through(double x, double y) const;
  // Whether a scene point lies in front of the camera and projects inside
  // the frame.
  bool Sees(const Vec3& point) const { return view_.Sees(point); }
  const FrameView& View() const { return view_; }

 private:
  FrameView view_;
  double divisor_ = 0;
  long double inverse_[3][3] = {};
  Vec3 centre_;
};

// Per cell of a surface's map, a slope such that a line from the surface
// point at the cell's centre rising more steeply passes over the surface all
// the way: what lets the visible percent skip the walk of most sight lines.
// It holds for both surface models, which share two properties: the surface
// at a point is no higher than the greatest sample (cell value, 0 outside
// the map) of the cells whose centres lie within one cell of it along both
// axes; and within one cell of a cell's centre it rises from the centre's
// sample by at most 4 D / c per unit of distance, D the greatest difference
// of neighbouring samples among the 3 x 3 cells round it and c the lesser
// side of a cell (the blocks: flat over the cell's own top, at least c / 2
// from its centre, then tops at most 2 D higher; the bilinear patches:
// slopes of at most D / c along either axis). The slope is the greatest of
// that near rise and, for each l, the rise to the greatest sample within
// 2^l + 1 cells over the distance 2^(l-1) c the line has run before it can
// be over them, up to the map's highest point. Made once per surface, on
// every core: a few operations per cell and level.
class SightBounds {
 public:
  explicit SightBounds(const SurfaceIntersector& surface);

  // Whether the bounds are those of a map of this grid.
  bool Covers(const GridGeometry& grid) const {
    return !slopes_.empty() && grid.columns == grid_.columns && grid.rows == grid_.rows &&
           grid.originX == grid_.originX && grid.originY == grid_.originY && grid.cellX == grid_.cellX &&
           grid.cellY == grid_.cellY;
  }
  // Whether the sight line from `point`, the surface point at the centre of
  // cell `cell` (row-major index), to `eye` is proved clear. False proves
  // nothing.
  bool Clear(size_t cell, const Vec3& point, const Vec3& eye) const {
    const double rise = eye.z - point.z - margin_;
    if (!(rise > 0)) return false;
    const double dx = eye.x - point.x, dy = eye.y - point.y;
    const double slope = slopes_[cell];
    return rise * rise >= slope * slope * (dx * dx + dy * dy);
  }
  // Tiles of kTile x kTile cells (from the grid's first cell; the last ones
  // may be smaller): whether the sight lines from every cell centre of tile
  // (column, row) to `eye` are proved clear, by the tile's greatest slope
  // and greatest sample.
  static constexpr int kTile = 8;
  bool TileClear(int tileColumn, int tileRow, const Vec3& eye) const;
  // The least and the greatest height of the surface over a box of scene X
  // and Y, to within a few cells round it (the tiles it meets and the cells
  // round them); infinite both ways for a box of more than kMostTiles tiles.
  static constexpr int kMostTiles = 64;
  std::pair<double, double> HeightRange(double x0, double y0, double x1, double y1) const;

 private:
  static float Up(double v);  // a float not less than v (infinity for NaN)

  GridGeometry grid_;
  double margin_ = 0;
  std::vector<float> slopes_;
  int tileColumns_ = 0;
  std::vector<float> tileSlopes_, tileTops_;
  std::vector<float> ringLows_, ringHighs_;  // per tile, see HeightRange
};

// One frame's relief figures; without `bounds` the frame makes its own.
FrameRelief ComputeFrameRelief(const FrameProjection& projection, const SurfaceIntersector& surface);
FrameRelief ComputeFrameRelief(const FrameProjection& projection, const SurfaceIntersector& surface,
                               const SightBounds& bounds);
// Every frame's, on every core.
std::vector<FrameRelief> ComputeReliefFigures(std::span<const FrameProjection> frames,
                                              const SurfaceIntersector& surface);
std::vector<FrameRelief> ComputeReliefFigures(std::span<const FrameProjection> frames,
                                              const SurfaceIntersector& surface, const SightBounds& bounds);

// The visible percent of an outline (see above) seen from `eye`: none when
// no cell centre of the map lies inside it.
std::optional<double> VisiblePercent(const std::vector<ScenePoint>& outline, const Vec3& eye,
                                     const SurfaceIntersector& surface, const SightBounds& bounds);

// The relief figures of frames [begin, end) of `frames`, made when the
// exports ask for them a block at a time (footprints/footprint_export.h), empty ones
// for frames past the end. `frames` and `surface` must outlive it.
std::function<std::vector<FrameRelief>(int begin, int end)> ReliefBlocks(
    std::span<const FrameProjection> frames, const SurfaceIntersector& surface);

// The coverage counts on the surface's map grid (row-major, row 0 at the
// least Y), on every core. With `hidden`, also per cell the number of frames
// whose view holds the cell but which do not see it.
std::vector<std::uint32_t> ComputeCoverage(const std::vector<FrameProjection>& frames,
                                           const SurfaceIntersector& surface,
                                           std::vector<std::uint32_t>* hidden = nullptr);

// A map of the plane Z = 0 with square cells of `cellSize` over the extent of
// the footprints of the frames that see the plane (no horizon, not behind
// the camera), for a coverage without a relief. Raises skarvel::Error when no
// frame qualifies, the size is not a positive number or the grid would be
// too large.
HeightMap PlaneMap(const std::vector<FrameProjection>& frames, double cellSize);

}  // namespace skarvel
