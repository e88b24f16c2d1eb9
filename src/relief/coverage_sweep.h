#pragma once
// Which cells of the bilinear surface an eye sees, for a whole box of cells
// at once: a horizon carried outward from the point under the eye.
//
// A cell's point is the surface at its centre (its sample). Seen along the
// ground from the point N under the eye, the sight line from a point P rises
// (or falls) straight to the eye; a surface point Q between N and P stands
// above it exactly when its depression from the eye, (eye Z - Z(Q)) over
// the horizontal distance from N to Q, is less than P's. So P is hidden when
// the least depression over the open stretch from N to P (its horizon) is
// less than its own, and the horizon of the points beyond P on the same line
// is the lesser of P's horizon and P's depression.
//
// The sweep visits the cells outward from N, row by row and along each row
// outward, so that the cells between a cell and N come first. The stretch
// from a cell's centre towards N first crosses the line through the centres
// of the previous row (or column) at a point B, and between B and the centre
// it lies within one bilinear patch. The cell's horizon is the lesser of the
// horizon at B, interpolated between the two cells beside B on that line,
// and the depressions at B and halfway to the centre, taken on the surface
// itself. Cells next to N, and cells whose stretch enters the map from
// outside (over the plane Z = 0 and the map's edge) are worked from points
// along their own stretch.
//
// Decided at once: a cell whose own stretch has a point of lesser
// depression (hidden, exactly as the sight-line check), and one whose
// depression is clearly below its interpolated horizon (seen). Where the
// depression is within the horizon's uncertainty (the difference of the two
// horizons it was interpolated from, and a small share of its value) the
// cell gets the exact sight-line check of the intersector (Hidden).

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

}  // namespace skarvel
