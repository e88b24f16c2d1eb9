#pragma once
// Which cells of the bilinear surface an eye sees, for a whole box of cells
// at once: a horizon carried outward from the point N under the eye.
//
// A cell's point P is the surface at its centre (its sample). Along the
// ground from N to P, a point of the stretch a share t of the way stands
// above P's sight line exactly when (eye Z - its Z) / t is less than
// eye Z - P's Z; the least of that quantity over the open stretch is P's
// horizon, and P is hidden when its horizon is less than its own value.
// The horizon of the stretches beyond P on the same line is the lesser of
// P's horizon and P's own value.
//
// The sweep visits the cells outward from N, row by row and along each row
// outward, so that the cells between a cell and N come first: the rows and
// columns less than a cell from N, then the four quarters round N on the
// cores, each on its own. The stretch from a cell's centre towards N first
// crosses the line through the centres of the previous row (or column, when
// it runs more along X) at a point B. Up to B the cell takes the horizon
// interpolated between the two cells beside B on that line (each in its own
// t, rescaled to the cell's); from B to the centre the stretch lies within
// one bilinear patch, where the surface's height along it is a quadratic in
// t, checked exactly against the sight line; and it looks at the surface at
// B, halfway, and as far from N as its two neighbours found their least.
// Cells next to N, and cells whose stretch enters the map from outside (over
// the plane Z = 0 and the map's edge), look at points along their stretch.
//
// Decided at once: a cell the surface's slopes prove seen (SurfaceSlopes),
// which keeps its own value as the horizon; a cell below the sight line
// within its patch or with a point of its own stretch below it (hidden, as
// the exact check), and one
// whose value is below the interpolated horizon by more than the difference
// of the two neighbours' horizons (less their own values) and a millionth
// of its value (seen). The rest get the exact sight-line check of the
// intersector (Hidden). A hidden verdict is thus always exact; a seen one
// can be wrong where the true horizon dips below the interpolated one by
// more than that margin: a sharp peak between the two neighbours' sight
// lines.

#include "geometry/records.h"
#include "relief/relief_surface.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace skarvel {

// A frame's view: whether a scene point lies in front of the camera (G w < 0,
// G the projection's divisor, w the DLT's denominator) and its image point,
// the DLT's quotients, within the frame's bounds. Inline, for the sweep's
// count of every cell.
class FrameView {
 public:
  FrameView() = default;
  FrameView(const TDltCoefficients& dlt, double divisor, double left, double right, double bottom, double top)
      : L_(dlt.L), divisor_(divisor), left_(left), right_(right), bottom_(bottom), top_(top) {}

  bool Sees(const Vec3& p) const {
    const double w = L_[8] * p.x + L_[9] * p.y + L_[10] * p.z + 1;
    if (!(divisor_ * w < 0)) return false;
    const double x = (L_[0] * p.x + L_[1] * p.y + L_[2] * p.z + L_[3]) / w;
    const double y = (L_[4] * p.x + L_[5] * p.y + L_[6] * p.z + L_[7]) / w;
    return x >= left_ && x <= right_ && y >= bottom_ && y <= top_;
  }

 private:
  std::array<double, 11> L_{};
  double divisor_ = 0;
  double left_ = 0, right_ = 0, bottom_ = 0, top_ = 0;
};

// How steep the bilinear surface of a map is, for proving cells seen without
// looking along their stretch. Per tile of kTile x kTile cells: the greatest
// slope (rise per metre, in any direction) of the patches over the tile and
// the eight tiles round it. A point P of the surface whose sight line rises
// faster than that, and stands above the map's highest point (or the plane
// Z = 0 outside it) by the time it has gone kTile - 1 cells from P, is seen:
// within those cells the surface climbs from P slower than the line, beyond
// them the line is above all of it. Only a cell of a whole tile from the
// map's edge takes the proof: the stretch it looks at stays on the patches.
class SurfaceSlopes {
 public:
  static constexpr int kTile = 16;
  explicit SurfaceSlopes(const SurfaceIntersector& surface);
  // The greatest slope round the tile of a cell; infinity near the edge.
  double Around(int column, int row) const {
    return around_[static_cast<size_t>(row / kTile) * tileColumns_ + column / kTile];
  }
  // The greatest height of the surface (the intersector's, the plane outside
  // included).
  double Highest() const { return highest_; }
  // Whether the surface point at the centre of a cell, its sample z, is
  // proved seen from an eye `above` higher and at the square root of
  // `distanceSquared` across the ground (in metres). Squares are compared,
  // with a margin for their rounding: no square root on the way.
  bool ProvesSeen(int column, int row, double z, double above, double distanceSquared) const {
    if (!(above > 0) || static_cast<unsigned>(column - kReach) > columnsInside_ ||
        static_cast<unsigned>(row - kReach) > rowsInside_)
      return false;
    const double slope = Around(column, row), rise = highest_ - z, aboveSquared = above * above;
    return slope * slope * distanceSquared * (1 + 1e-8) < aboveSquared &&
           (rise <= 0 || rise * rise * distanceSquared * (1 + 1e-8) <= aboveSquared * reachSquared_);
  }

 private:
  static constexpr int kReach = kTile - 1;  // in cells, the stretch the tiles round a cell cover
  int tileColumns_ = 0;
  std::vector<double> around_;
  double highest_ = 0;
  double reachSquared_ = 0;     // kReach cells, in metres along the shorter side of a cell, squared
  unsigned columnsInside_ = 0;  // how many columns are kReach or more from either edge, less one
  unsigned rowsInside_ = 0;     // likewise the rows
};

// Columns c0 to c1 and rows r0 to r1 of a map, inclusive.
struct CellBox {
  int c0 = 0, c1 = -1, r0 = 0, r1 = -1;
  int Columns() const { return c1 - c0 + 1; }
  int Rows() const { return r1 - r0 + 1; }
};

enum class CellSight : std::uint8_t { kNotInView, kHidden, kSeen };

struct SweepStats {
  long long inView = 0;   // cells of the box in view
  long long checked = 0;  // of them, decided by the exact sight-line check
  long long proven = 0;   // of them, proved seen by the surface's slopes
};

// Per cell of `box` (row-major, row r0 first): not in view when `inView`
// refuses its point, else hidden from or seen by `eye`. `surface` must be a
// bilinear one, the eye above the surface under it. With `slopes` (of the
// surface's map) a cell the slopes prove seen is not looked along at all.
std::vector<CellSight> SweepVisibility(const SurfaceIntersector& surface, const Vec3& eye, const CellBox& box,
                                       const std::function<bool(const Vec3&)>& inView,
                                       SweepStats* stats = nullptr, const SurfaceSlopes* slopes = nullptr);
// The same verdicts counted for a frame's view: per cell of `box` the view
// sees the point of, one more in seen[row * columns + column] (the map's
// order) when the eye sees it, else in hidden[...] when hidden is given. The
// cells are counted on the sweep's threads, each cell by one of them.
SweepStats SweepCounts(const SurfaceIntersector& surface, const Vec3& eye, const CellBox& box,
                       const FrameView& view, std::uint32_t* seen, std::uint32_t* hidden,
                       const SurfaceSlopes* slopes = nullptr);
// The same verdicts handed to visit(column, row, verdict) for each cell of
// `box` in view as the sweep decides it, on the sweep's threads at once
// (never the same cell twice): no box-sized array of verdicts.
void SweepVisibilityEach(const SurfaceIntersector& surface, const Vec3& eye, const CellBox& box,
                         const std::function<bool(const Vec3&)>& inView,
                         const std::function<void(int column, int row, CellSight verdict)>& visit,
                         SweepStats* stats = nullptr, const SurfaceSlopes* slopes = nullptr);

}  // namespace skarvel
