#include "fov/relief_surface.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace skarvel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Z of the ray at t, also for t infinite (a level ray stays at its height).
double ZAt(const Ray& ray, double t) {
  if (ray.direction.z == 0) return ray.origin.z;
  return ray.origin.z + t * ray.direction.z;
}

// The t at which the ray crosses the grid line at `coordinate` of one axis.
double Crossing(double coordinate, double origin, double direction) {
  return direction == 0 ? kInfinity : (coordinate - origin) / direction;
}

// Where the ray is over [lo, hi) along one axis: the interval of t.
std::pair<double, double> Slab(double lo, double hi, double origin, double direction) {
  if (direction == 0) {
    if (origin >= lo && origin < hi) return {-kInfinity, kInfinity};
    return {kInfinity, -kInfinity};
  }
  double a = (lo - origin) / direction, b = (hi - origin) / direction;
  if (a > b) std::swap(a, b);
  return {a, b};
}

int Step(double direction) { return direction > 0 ? 1 : -1; }

class CellWalk final : public SurfaceIntersector {
 public:
  using SurfaceIntersector::SurfaceIntersector;

 protected:
  std::optional<double> GridHit(const Ray& ray, double t0, double t1, bool strict) const override {
    const GridGeometry& g = map_.grid;
    const Vec3& o = ray.origin;
    const Vec3& d = ray.direction;
    const Vec3 start = ray.At(t0);
    int column = ColumnAt(start.x, d.x), row = RowAt(start.y, d.y);
    double t = t0;
    for (;;) {
      // The borders are computed from the grid's origin each time, never
      // accumulated, so that a long walk does not drift.
      const double tx = d.x > 0   ? Crossing(g.originX + (column + 1) * g.cellX, o.x, d.x)
                        : d.x < 0 ? Crossing(g.originX + column * g.cellX, o.x, d.x)
                                  : kInfinity;
      const double ty = d.y > 0   ? Crossing(g.originY + (row + 1) * g.cellY, o.y, d.y)
                        : d.y < 0 ? Crossing(g.originY + row * g.cellY, o.y, d.y)
                                  : kInfinity;
      const double out = std::max(t, std::min({tx, ty, t1}));
      if (const auto hit = CellHit(ray, t, out, Top(column, row), strict)) return hit;
      if (out >= t1) return std::nullopt;
      if (tx <= ty) column += Step(d.x);
      if (ty <= tx) row += Step(d.y);
      if (column < 0 || column >= g.columns || row < 0 || row >= g.rows) return std::nullopt;
      t = out;
    }
  }
};

class Pyramid final : public SurfaceIntersector {
 public:
  explicit Pyramid(const HeightMap& map) : SurfaceIntersector(map) {
    // Level 0 is the map itself; each level above halves both sides
    // (rounding up) until one node is left.
    int columns = map.grid.columns, rows = map.grid.rows;
    const std::vector<double>* below = &map.z;
    while (columns > 1 || rows > 1) {
      const int upColumns = (columns + 1) / 2, upRows = (rows + 1) / 2;
      Level level{upColumns, upRows, std::vector<double>(static_cast<size_t>(upColumns) * upRows)};
      for (int r = 0; r < upRows; ++r) {
        for (int c = 0; c < upColumns; ++c) {
          double m = -kInfinity;
          for (int dr = 0; dr < 2; ++dr)
            for (int dc = 0; dc < 2; ++dc) {
              const int cc = 2 * c + dc, rr = 2 * r + dr;
              if (cc < columns && rr < rows)
                m = std::max(m, (*below)[static_cast<size_t>(rr) * columns + cc]);
            }
          level.max[static_cast<size_t>(r) * upColumns + c] = m;
        }
      }
      levels_.push_back(std::move(level));
      below = &levels_.back().max;
      columns = upColumns;
      rows = upRows;
    }
  }

 protected:
  std::optional<double> GridHit(const Ray& ray, double t0, double t1, bool strict) const override {
    const GridGeometry& g = map_.grid;
    const Vec3& o = ray.origin;
    const Vec3& d = ray.direction;
    const int top = static_cast<int>(levels_.size());
    const Vec3 start = ray.At(t0);
    int column = ColumnAt(start.x, d.x), row = RowAt(start.y, d.y);
    double t = t0;
    // Start at the lowest level whose nodes are as long as the stretch.
    int level = top;
    // A falling ray has met a top once it is lower than the lowest.
    const double end = d.z < 0 ? std::min(t1, std::max(t0, (MinHeight() - o.z) / d.z)) : t1;
    if (std::isfinite(end)) {
      const double cells =
          std::max(std::fabs((end - t0) * d.x) / g.cellX, std::fabs((end - t0) * d.y) / g.cellY);
      level = top;
      if (cells < 1 << 30) {
        // The least k with 2^k >= cells + 1, from the binary exponent.
        const double span = cells + 1;
        int exponent = 0;
        const double fraction = std::frexp(span, &exponent);
        level = std::min(top, (fraction == 0.5 ? exponent - 1 : exponent) + 1);
      }
    }
    for (;;) {
      // The node of `level` holding the current cell, in cells.
      const int nodeColumn = column >> level, nodeRow = row >> level;
      const int c0 = nodeColumn << level, c1 = std::min((nodeColumn + 1) << level, g.columns);
      const int r0 = nodeRow << level, r1 = std::min((nodeRow + 1) << level, g.rows);
      const double tx = d.x > 0   ? Crossing(g.originX + c1 * g.cellX, o.x, d.x)
                        : d.x < 0 ? Crossing(g.originX + c0 * g.cellX, o.x, d.x)
                                  : kInfinity;
      const double ty = d.y > 0   ? Crossing(g.originY + r1 * g.cellY, o.y, d.y)
                        : d.y < 0 ? Crossing(g.originY + r0 * g.cellY, o.y, d.y)
                                  : kInfinity;
      const double out = std::max(t, std::min({tx, ty, t1}));
      const double highest =
          level == 0
              ? Top(column, row)
              : levels_[static_cast<size_t>(level - 1)]
                    .max[static_cast<size_t>(nodeRow) * levels_[static_cast<size_t>(level - 1)].columns +
                         nodeColumn];
      const double lowest = std::min(ZAt(ray, t), ZAt(ray, out));
      if (strict ? lowest < highest : lowest <= highest) {
        if (level == 0) return CellHit(ray, t, out, highest, strict);
        --level;  // the ray comes near the node's top: look at its parts
        continue;
      }
      // The ray passes over the whole node: on to the node beyond it. Along
      // the axis it does not leave the node by, a node one cell wide leaves
      // it in that cell.
      if (out >= t1) return std::nullopt;
      const int fromColumn = column, fromRow = row;
      if (tx <= ty)
        column = d.x > 0 ? c1 : c0 - 1;
      else if (c1 - c0 > 1)
        column = std::clamp(ColumnAt(o.x + out * d.x, d.x), c0, c1 - 1);
      if (ty <= tx)
        row = d.y > 0 ? r1 : r0 - 1;
      else if (r1 - r0 > 1)
        row = std::clamp(RowAt(o.y + out * d.y, d.y), r0, r1 - 1);
      if (column < 0 || column >= g.columns || row < 0 || row >= g.rows) return std::nullopt;
      t = out;
      // Back up a level, but not for a falling ray still inside the same
      // node of the level above: the ray is lowest where it leaves that
      // node, so if it came down from there it would only come down again.
      if (level < top && (d.z >= 0 || (fromColumn >> (level + 1)) != (column >> (level + 1)) ||
                          (fromRow >> (level + 1)) != (row >> (level + 1))))
        ++level;
    }
  }

 private:
  struct Level {
    int columns = 0;
    int rows = 0;
    std::vector<double> max;
  };
  std::vector<Level> levels_;  // levels 1, 2, ... up to one node
};

}  // namespace

SurfaceIntersector::SurfaceIntersector(const HeightMap& map) : map_(map) {
  // The plane outside the map takes part in both.
  const auto [lo, hi] = std::minmax_element(map.z.begin(), map.z.end());
  minHeight_ = std::min(0.0, lo == map.z.end() ? 0.0 : *lo);
  maxHeight_ = std::max(0.0, hi == map.z.end() ? 0.0 : *hi);
}

double SurfaceIntersector::HeightAt(double x, double y) const {
  const GridGeometry& g = map_.grid;
  if (!(x >= g.originX && x < g.maxX() && y >= g.originY && y < g.maxY())) return 0;
  return Top(ColumnAt(x, 1), RowAt(y, 1));
}

std::optional<double> SurfaceIntersector::CellHit(const Ray& ray, double ta, double tb, double h,
                                                  bool strict) {
  const double za = ZAt(ray, ta);
  if (strict ? za < h : za <= h) return ta;  // into the cell's side, or already below
  const double zb = ZAt(ray, tb);
  if (strict ? zb < h : zb <= h) {
    // Down onto the top: the ray falls, since it was above at ta.
    return std::clamp((h - ray.origin.z) / ray.direction.z, ta, tb);
  }
  return std::nullopt;
}

std::optional<double> SurfaceIntersector::FirstHit(const Ray& ray) const {
  const GridGeometry& g = map_.grid;
  const Vec3& o = ray.origin;
  const Vec3& d = ray.direction;
  const bool startsOutside = !(o.x >= g.originX && o.x < g.maxX() && o.y >= g.originY && o.y < g.maxY());
  if (startsOutside && o.z <= 0) return 0.0;  // on or below the plane
  // Where the ray comes down to the plane Z = 0.
  const std::optional<double> plane = d.z < 0 ? std::optional<double>(-o.z / d.z) : std::nullopt;
  const auto [xa, xb] = Slab(g.originX, g.maxX(), o.x, d.x);
  const auto [ya, yb] = Slab(g.originY, g.maxY(), o.y, d.y);
  const double enter = std::max({xa, ya, 0.0}), leave = std::min(xb, yb);
  if (!(enter < leave)) return plane;  // it never crosses the map
  if (startsOutside && plane && *plane < enter) return plane;
  // Only where the ray is no higher than the highest top can it meet one.
  double from = enter;
  if (d.z < 0)
    from = std::max(from, (MaxHeight() - o.z) / d.z);
  else if (o.z > MaxHeight())
    from = leave;
  if (from < leave)
    if (const auto hit = GridHit(ray, from, leave, false)) return hit;
  if (!std::isfinite(leave)) return std::nullopt;
  // Out of the map below the plane (over cells lower than 0): into its side.
  if (ZAt(ray, leave) <= 0) return leave;
  return plane;
}

bool SurfaceIntersector::Hidden(const Vec3& from, const Vec3& eye) const {
  const Ray ray{from, {eye.x - from.x, eye.y - from.y, eye.z - from.z}};
  if (!(ray.direction.z > 0)) return true;  // a top is seen only from above
  const GridGeometry& g = map_.grid;
  const auto [xa, xb] = Slab(g.originX, g.maxX(), from.x, ray.direction.x);
  const auto [ya, yb] = Slab(g.originY, g.maxY(), from.y, ray.direction.y);
  const double enter = std::max({xa, ya, 0.0}), leave = std::min({xb, yb, 1.0});
  // Before the map the rising ray is above the plane it started on (a point
  // outside the map lies on the plane); after it, it is lowest where it
  // leaves the map.
  if (!(enter < leave)) return false;
  // Above the highest top nothing can stand in the way.
  const double below = std::min(leave, (MaxHeight() - from.z) / ray.direction.z);
  if (enter < below && GridHit(ray, enter, below, true)) return true;
  return leave < 1 && ZAt(ray, leave) < 0;
}

std::unique_ptr<SurfaceIntersector> MakeCellWalkIntersector(const HeightMap& map) {
  return std::make_unique<CellWalk>(map);
}

std::unique_ptr<SurfaceIntersector> MakePyramidIntersector(const HeightMap& map) {
  return std::make_unique<Pyramid>(map);
}

}  // namespace skarvel
