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
// Decided at once: a cell below the sight line within its patch or with a
// point of its own stretch below it (hidden, as the exact check), and one
// whose value is below the interpolated horizon by more than the difference
// of the two neighbours' horizons (less their own values) and a millionth
// of its value (seen). The rest get the exact sight-line check of the
// intersector (Hidden). A hidden verdict is thus always exact; a seen one
// can be wrong where the true horizon dips below the interpolated one by
// more than that margin: a sharp peak between the two neighbours' sight
// lines.

#include "relief/relief_surface.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace skarvel {

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
};

// Per cell of `box` (row-major, row r0 first): not in view when `inView`
// refuses its point, else hidden from or seen by `eye`. `surface` must be a
// bilinear one, the eye above the surface under it.
std::vector<CellSight> SweepVisibility(const SurfaceIntersector& surface, const Vec3& eye, const CellBox& box,
                                       const std::function<bool(const Vec3&)>& inView,
                                       SweepStats* stats = nullptr);
// The same verdicts handed to visit(column, row, verdict) for each cell of
// `box` in view as the sweep decides it, on the sweep's threads at once
// (never the same cell twice): no box-sized array of verdicts.
void SweepVisibilityEach(const SurfaceIntersector& surface, const Vec3& eye, const CellBox& box,
                         const std::function<bool(const Vec3&)>& inView,
                         const std::function<void(int column, int row, CellSight verdict)>& visit,
                         SweepStats* stats = nullptr);

}  // namespace skarvel
