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
// - outline: the first hits of rays through the frame's border, every
//   8 pixels or less along each side and at the four corners, from corner A
//   along the first row to B, down the last column to C, back along the last
//   row to D and up to A, in scene X and Y (Y upward);
// - area: the outline's planimetric area (shoelace);
// - visible percent: the surface points in the frame's view (in front of the
//   camera and projecting inside the frame), on a lattice of at most 64 x 64
//   points over the view (the map's cell centres when it spans no more
//   cells), and the share of them that the camera sees (not hidden, see
//   relief/relief_surface.h);
// - sample distances: as the planar ones, the scene distance between the
//   first hits of the two rays half a pixel either side of the principal
//   point, along a row and along a column;
// - misses surface: a border ray never meets the surface (it sees the
//   horizon); outline, area and visible percent are then empty;
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
#include "relief/relief_surface.h"
#include "scene/projection.h"

#include <cstdint>
#include <functional>
#include <span>
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
  bool Sees(const Vec3& point) const;

 private:
  TDltCoefficients dlt_;
  double divisor_ = 0;
  long double inverse_[3][3] = {};
  Vec3 centre_;
  double left_ = 0, right_ = 0, bottom_ = 0, top_ = 0;
};

// One frame's relief figures.
FrameRelief ComputeFrameRelief(const FrameProjection& projection, const SurfaceIntersector& surface);
// Every frame's, on every core.
std::vector<FrameRelief> ComputeReliefFigures(std::span<const FrameProjection> frames,
                                              const SurfaceIntersector& surface);

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
