#pragma once
// The surface of a height map and where rays meet it.
//
// Two models of the surface (ReliefSurfaceModel):
// - bilinear: the map's values are samples at the cell centres; between four
//   neighbouring centres the surface is their bilinear patch. The half cell
//   between the outermost centres and the map's edge takes the nearest
//   centres' values: a point there has the height of the nearest point of
//   the centres' box (coordinates clamped to it), so the edge strips are
//   level outward and the corner quarters level at the corner sample. A
//   no-data cell holds Z = 0 (see HeightMap), and so does its sample: the
//   patches around it come down to 0 at its centre.
// - blocks: every cell of the map is a flat top at its Z with vertical sides
//   down to its neighbours (a relief of blocks, as the grid stores it).
// Outside the map the surface is the plane Z = 0 in both; at the map's edge
// a vertical side joins the two. Scene X and Y as the map's grid gives them
// (Y upward), Z upward.
//
// A ray is origin + t direction, t >= 0. Its first hit is the least t at
// which it is on or below the surface: on a top or a patch (it comes down
// onto it) or on a side (it runs into a higher cell). A ray that grazes a
// top, a patch or an edge exactly counts as meeting it. Within a patch the
// surface's height along a ray is a quadratic in t: the hit is its first root
// in the patch's interval of t.
//
// A surface point is hidden from an eye when the open segment between them
// passes strictly below the surface somewhere: surface nearer the eye stands
// in the way. The top of a block is seen only from above it; a patch is seen
// from any side the segment leaves it by upward, to within a rounding
// margin of the heights (about 1e-12 of the heights' magnitude).
//
// The intersection is one small interface with two algorithms per model:
// - the cell walk: the plain reference, stepping from cell (or patch) to
//   cell along the ray;
// - blocks: the pyramid, the same walk over a pyramid of maxima of the grid
//   (each level holds the greatest Z of 2 x 2 nodes of the level below, an
//   implicit max-tree), which steps over a whole node the ray passes above
//   and goes down a level only where the ray comes near the node's greatest
//   Z;
// - bilinear: the min/max tree of the patches, each node holding the least
//   and greatest height of the patches below it: a node the ray passes above
//   is skipped, one it may meet is looked into, its parts in the ray's order.
// Both algorithms of a model give the same hits and the same answers.

#include "platform/raster.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace skarvel {

struct Vec3 {
  double x = 0;
  double y = 0;
  double z = 0;
};

struct Ray {
  Vec3 origin;
  Vec3 direction;
  Vec3 At(double t) const {
    return {origin.x + t * direction.x, origin.y + t * direction.y, origin.z + t * direction.z};
  }
};

// Z of the ray at t, also for t infinite (a level ray stays at its height).
inline double ZAt(const Ray& ray, double t) {
  if (ray.direction.z == 0) return ray.origin.z;
  return ray.origin.z + t * ray.direction.z;
}

// Where a ray is over [lo, hi) along one axis (the map's box, as both
// surfaces take it): the interval of t, empty (first > second) when never.
inline std::pair<double, double> Slab(double lo, double hi, double origin, double direction) {
  constexpr double kInfinite = std::numeric_limits<double>::infinity();
  if (direction == 0) {
    if (origin >= lo && origin < hi) return {-kInfinite, kInfinite};
    return {kInfinite, -kInfinite};
  }
  double a = (lo - origin) / direction, b = (hi - origin) / direction;
  if (a > b) std::swap(a, b);
  return {a, b};
}

// The t at which a ray crosses the grid line at `coordinate` of one axis
// (infinity for a ray parallel to it).
inline double Crossing(double coordinate, double origin, double direction) {
  return direction == 0 ? std::numeric_limits<double>::infinity() : (coordinate - origin) / direction;
}

// The surface a height map stands for: bilinear patches between the cell
// centres' samples, or a flat-topped block per cell.
enum class ReliefSurfaceModel { kBilinear, kBlocks };

class SurfaceIntersector {
 public:
  explicit SurfaceIntersector(const HeightMap& map);
  virtual ~SurfaceIntersector() = default;
  SurfaceIntersector(const SurfaceIntersector&) = delete;
  SurfaceIntersector& operator=(const SurfaceIntersector&) = delete;

  const HeightMap& Map() const { return map_; }
  // The surface's Z at a scene point (0 outside the map).
  virtual double HeightAt(double x, double y) const;
  virtual ReliefSurfaceModel Model() const { return ReliefSurfaceModel::kBlocks; }
  // The least and greatest Z of the surface, the plane outside included.
  double MinHeight() const { return minHeight_; }
  double MaxHeight() const { return maxHeight_; }

  // The parameter t of the ray's first hit; none when it never meets the
  // surface. An origin on or below the surface hits at t = 0.
  std::optional<double> FirstHit(const Ray& ray) const;
  // Whether the surface point `from` (Z the surface's there) is hidden from
  // `eye`.
  virtual bool Hidden(const Vec3& from, const Vec3& eye) const;

 protected:
  // Over [t0, t1], inside the map's box: with `strict` false the first t at
  // which the ray is on or below a cell's top, with `strict` true the first
  // at which it is strictly below.
  virtual std::optional<double> GridHit(const Ray& ray, double t0, double t1, bool strict) const = 0;
  // Whether a line rising from a point of the map, not below its cell's
  // top, is known without a walk to pass over every other cell; false when
  // not known.
  virtual bool RisesClear(const Ray&) const { return false; }

  // The column and row of the cell under a point of the ray, a point on a
  // cell border taken in the cell the ray goes on into; clamped to the map.
  int ColumnAt(double x, double dx) const {
    return IndexAt((x - map_.grid.originX) / map_.grid.cellX, dx, map_.grid.columns);
  }
  int RowAt(double y, double dy) const {
    return IndexAt((y - map_.grid.originY) / map_.grid.cellY, dy, map_.grid.rows);
  }
  double Top(int column, int row) const {
    return map_.z[static_cast<size_t>(row) * map_.grid.columns + column];
  }
  // The hit within one cell's part [ta, tb] of the ray under a top at h.
  static std::optional<double> CellHit(const Ray& ray, double ta, double tb, double h, bool strict);
  // The walk from cell to cell over [t0, t1], as GridHit, for at most
  // `cells` cells. Without a hit, `*stop` is where the walk stopped, the
  // border the ray leaves its last cell by, or infinity once it is done.
  std::optional<double> WalkCells(const Ray& ray, double t0, double t1, bool strict, int cells,
                                  double* stop) const;

  // The cell of grid coordinate u (in cells from the origin) along an axis
  // of `size` cells, going on in direction `du`.
  static int IndexAt(double u, double du, int size) {
    // Without std::floor, a call on the baseline instruction set: below the
    // grid (or not a number) the first cell, beyond it the last, and within
    // it the whole part, which is the floor of a number not negative.
    if (!(u >= 0)) return 0;
    if (u >= size) return size - 1;
    int i = static_cast<int>(u);
    if (du < 0 && i == u && i > 0) i -= 1;
    return i;
  }

  const HeightMap& map_;

 private:
  double minHeight_ = 0;
  double maxHeight_ = 0;
};

// Blocks, the plain reference: one cell after another.
std::unique_ptr<SurfaceIntersector> MakeCellWalkIntersector(const HeightMap& map);
// Blocks, the walk over the pyramid of maxima.
std::unique_ptr<SurfaceIntersector> MakePyramidIntersector(const HeightMap& map);
// Bilinear, the plain reference: one patch after another.
std::unique_ptr<SurfaceIntersector> MakeBilinearWalkIntersector(const HeightMap& map);
// Bilinear, the walk over the min/max tree of the patches.
std::unique_ptr<SurfaceIntersector> MakeBilinearTreeIntersector(const HeightMap& map);
// The fast intersector of a model: the tree or the pyramid.
std::unique_ptr<SurfaceIntersector> MakeSurfaceIntersector(const HeightMap& map, ReliefSurfaceModel model);

}  // namespace skarvel
