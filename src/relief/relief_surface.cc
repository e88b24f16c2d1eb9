#include "relief/relief_surface.h"

#include "platform/parallel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

namespace skarvel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

int Step(double direction) { return direction > 0 ? 1 : -1; }

}  // namespace

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

std::optional<double> SurfaceIntersector::WalkCells(const Ray& ray, double t0, double t1, bool strict,
                                                    int cells, double* stop) const {
  const GridGeometry& g = map_.grid;
  const Vec3& o = ray.origin;
  const Vec3& d = ray.direction;
  const Vec3 start = ray.At(t0);
  int column = ColumnAt(start.x, d.x), row = RowAt(start.y, d.y);
  double t = t0;
  *stop = kInfinity;
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
    // A cell the ray only touches (a point rounded back into the cell it
    // left) does not count.
    const bool moved = out > t;
    t = out;
    if (moved && --cells == 0) {
      *stop = t;
      return std::nullopt;
    }
  }
}

namespace {

class CellWalk final : public SurfaceIntersector {
 public:
  using SurfaceIntersector::SurfaceIntersector;

 protected:
  std::optional<double> GridHit(const Ray& ray, double t0, double t1, bool strict) const override {
    double stop = 0;
    return WalkCells(ray, t0, t1, strict, std::numeric_limits<int>::max(), &stop);
  }
};

class Pyramid final : public SurfaceIntersector {
 public:
  explicit Pyramid(const HeightMap& map) : SurfaceIntersector(map) {
    // Level 0 is the map itself; each level above halves both sides
    // (rounding up) until one node is left.
    int columns = map.grid.columns, rows = map.grid.rows;
    const HeightValues* below = &map.z;
    while (columns > 1 || rows > 1) {
      const int upColumns = (columns + 1) / 2, upRows = (rows + 1) / 2;
      // Every node is written below: the maxima are not cleared first.
      Level level{upColumns, upRows, HeightValues(static_cast<size_t>(upColumns) * upRows)};
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
    perCellX_ = 1 / map.grid.cellX;
    perCellY_ = 1 / map.grid.cellY;
    BuildNearMaxima();
    BuildClearSlopes();
  }

 protected:
  std::optional<double> GridHit(const Ray& ray, double t0, double t1, bool strict) const override {
    const GridGeometry& g = map_.grid;
    const Vec3& o = ray.origin;
    const Vec3& d = ray.direction;
    // Cells crossed per unit of t along the faster axis.
    const double rate = std::max(std::fabs(d.x) / g.cellX, std::fabs(d.y) / g.cellY);
    // Strides need the cell under a point to within one: coordinates of the
    // ray far larger than a cell would lose it to rounding.
    const double reachX = (std::fabs(o.x - g.originX) + std::fabs(t1 * d.x)) / g.cellX;
    const double reachY = (std::fabs(o.y - g.originY) + std::fabs(t1 * d.y)) / g.cellY;
    const int strideTop = static_cast<int>(near_.size());
    if (strideTop == 0 || !(rate > 0) || !std::isfinite(t1) ||
        !(reachX < kExactIndex && reachY < kExactIndex))
      return Descend(ray, t0, t1, strict);
    const double perCell = 1 / rate;
    // Z along the ray is computed to within a few units in the last place of
    // these magnitudes.
    const double margin =
        1e-12 * (std::fabs(o.z) + std::fabs(t1 * d.z) + std::fabs(MinHeight()) + MaxHeight());
    double t = t0;
    // A falling ray comes from above the highest top and starts with middle
    // strides; a rising one starts on the surface, among tops as high as
    // itself, one cell at a time.
    int level = d.z < 0 ? std::min(kFirstStride, strideTop) : 0;
    for (;;) {
      if (!(t < t1)) return std::nullopt;
      if (level == 0) {
        // Near the surface: cell by cell, exactly as the plain walk; a
        // rising line needs only its first cell walked before it strides.
        double stop = 0;
        if (const auto hit = WalkCells(ray, t, t1, strict, d.z < 0 ? 2 : 1, &stop)) return hit;
        if (!(stop < t1)) return std::nullopt;
        t = stop;
        level = 1;
        continue;
      }
      // Over the next 2^level - 1 cells the ray stays among the cells of
      // the node under it and its eight neighbours, whatever cell rounding
      // puts the point in; if it is above their greatest top all the way,
      // it meets none of them.
      const double reach = std::min(t1, t + ((1 << level) - 1.001) * perCell);
      const NearMaxima& near = near_[static_cast<size_t>(level - 1)];
      // The cell to within one, from products (the strides allow for it).
      const int column = IndexAt((o.x + t * d.x - g.originX) * perCellX_, 1, g.columns);
      const int row = IndexAt((o.y + t * d.y - g.originY) * perCellY_, 1, g.rows);
      const double highest = near.max[static_cast<size_t>(row >> level) * near.columns + (column >> level)];
      const double clearance = ZAt(ray, t) - margin - highest;
      if (!(clearance > 0)) {
        --level;
      } else if (d.z >= 0) {
        // Rising: lowest where it starts.
        t = reach;
        level = std::min(level + 1, strideTop);
      } else {
        // Falling: above the tops until it has come down by the clearance.
        const double above = t + clearance / -d.z;
        if (above >= reach) {
          t = reach;
          level = std::min(level + 1, strideTop);
        } else {
          t = above;
          --level;
        }
      }
    }
  }

 private:
  // Beyond this many cells from the grid's origin a cell's index is no
  // longer certain to within one.
  static constexpr double kExactIndex = 1 << 30;
  // The level a falling ray's strides start at (2^3 - 1 cells).
  static constexpr int kFirstStride = 3;
  // Levels of near maxima: strides of up to 2^kNearLevels - 1 cells.
  static constexpr int kNearLevels = 8;

  // A float not less than v.
  static float Up(double v) {
    float f = static_cast<float>(v);
    if (static_cast<double>(f) < v) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
  }

  // Per level L >= 1 of the pyramid, for each of its nodes (2^L x 2^L
  // cells) the greatest top over the node and its eight neighbours, rounded
  // up to float: every cell within 2^L cells of a cell of the node.
  struct NearMaxima {
    int columns = 0;
    int rows = 0;
    std::vector<float> max;
  };

  void BuildNearMaxima() {
    for (size_t l = 0; l < levels_.size() && l < kNearLevels; ++l) {
      const Level& level = levels_[l];
      NearMaxima near{level.columns, level.rows, std::vector<float>(level.max.size())};
      std::vector<double> across(level.max.size());
      for (int r = 0; r < level.rows; ++r)
        for (int c = 0; c < level.columns; ++c) {
          double m = -kInfinity;
          for (int dc = std::max(c - 1, 0); dc <= std::min(c + 1, level.columns - 1); ++dc)
            m = std::max(m, level.max[static_cast<size_t>(r) * level.columns + dc]);
          across[static_cast<size_t>(r) * level.columns + c] = m;
        }
      for (int r = 0; r < level.rows; ++r)
        for (int c = 0; c < level.columns; ++c) {
          double m = -kInfinity;
          for (int dr = std::max(r - 1, 0); dr <= std::min(r + 1, level.rows - 1); ++dr)
            m = std::max(m, across[static_cast<size_t>(dr) * level.columns + c]);
          near.max[static_cast<size_t>(r) * level.columns + c] = Up(m);
        }
      near_.push_back(std::move(near));
    }
  }

  // Per cell, a slope such that a line rising more steeply from a point of
  // the cell at least a quarter of a cell inside it, not below its top,
  // passes over every other cell of the map: the greatest rise to the near
  // maxima of each level over the least distance to the cells they stand
  // for, rounded up to float.
  void BuildClearSlopes() {
    const GridGeometry& g = map_.grid;
    if (near_.empty()) return;
    const double cell = std::min(g.cellX, g.cellY);
    // Heights are compared to within this (see RisesClear).
    const double margin =
        1e-9 * (MaxHeight() - MinHeight() + std::fabs(MaxHeight()) + std::fabs(MinHeight()));
    // The least distance to the cells each level's near maxima stand for:
    // those 1 and 2 cells away for the first level (a quarter of a cell from
    // the point), 2^(L-1) + 1 to 2^L away for level L, and those beyond the
    // last level.
    const int levels = static_cast<int>(near_.size());
    std::vector<double> perDistance(static_cast<size_t>(levels) + 1);
    perDistance[0] = 1 / (0.25 * cell);
    for (int level = 2; level <= levels; ++level)
      perDistance[static_cast<size_t>(level - 1)] = 1 / ((std::ldexp(1.0, level - 1) + 0.25) * cell);
    perDistance[static_cast<size_t>(levels)] = 1 / ((std::ldexp(1.0, levels) + 0.25) * cell);
    slopes_.resize(map_.z.size());
    ForEachRange(g.rows, 64, [&](int begin, int end) {
      for (int r = begin; r < end; ++r)
        for (int c = 0; c < g.columns; ++c) {
          const double base = Top(c, r) - margin;
          // Cells all lower than this one leave any rising line clear.
          double slope = std::max(0.0, (MaxHeight() - base) * perDistance[static_cast<size_t>(levels)]);
          for (int level = 1; level <= levels; ++level) {
            const NearMaxima& near = near_[static_cast<size_t>(level - 1)];
            const double rise =
                near.max[static_cast<size_t>(r >> level) * near.columns + (c >> level)] - base;
            slope = std::max(slope, rise * perDistance[static_cast<size_t>(level - 1)]);
          }
          slopes_[static_cast<size_t>(r) * g.columns + c] = Up(slope);
        }
    });
  }

  // See BuildClearSlopes.
  bool RisesClear(const Ray& ray) const override {
    if (slopes_.empty()) return false;
    const GridGeometry& g = map_.grid;
    const double u = (ray.origin.x - g.originX) * perCellX_, v = (ray.origin.y - g.originY) * perCellY_;
    if (!(u >= 0 && u < g.columns && v >= 0 && v < g.rows)) return false;
    const int column = static_cast<int>(u), row = static_cast<int>(v);
    // A little more than a quarter of a cell from the cell's borders, so
    // that rounding cannot have put it in the wrong cell.
    const double fu = u - column, fv = v - row;
    const double inside = std::min({std::min(fu, 1 - fu) * g.cellX, std::min(fv, 1 - fv) * g.cellY});
    if (!(inside >= 0.26 * std::min(g.cellX, g.cellY))) return false;
    if (!(ray.origin.z >= Top(column, row))) return false;
    const double run = std::sqrt(ray.direction.x * ray.direction.x + ray.direction.y * ray.direction.y);
    const double bound = slopes_[static_cast<size_t>(row) * g.columns + column];
    return ray.direction.z > bound * (1 + 1e-9) * run;
  }

  // The walk down and up the pyramid's own nodes.
  std::optional<double> Descend(const Ray& ray, double t0, double t1, bool strict) const {
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

  struct Level {
    int columns = 0;
    int rows = 0;
    HeightValues max;
  };
  std::vector<Level> levels_;           // levels 1, 2, ... up to one node
  std::vector<NearMaxima> near_;        // levels 1, 2, ... kNearLevels
  double perCellX_ = 0, perCellY_ = 0;  // cells per unit of X and of Y
  std::vector<float> slopes_;           // per cell, see BuildClearSlopes
};

}  // namespace

SurfaceIntersector::SurfaceIntersector(const HeightMap& map) : map_(map) {
  // The plane outside the map takes part in both (the map holds no NaN). A
  // plain loop the compiler vectorises, over blocks of the values per core.
  constexpr size_t kBlock = size_t{1} << 16;
  const size_t size = map.z.size();
  std::mutex merge;
  ForEachRange(static_cast<int>((size + kBlock - 1) / kBlock), 8, [&](int begin, int end) {
    double lo = 0, hi = 0;
    const double* z = map.z.data();
    for (size_t i = begin * kBlock, last = std::min(size, end * kBlock); i < last; ++i) {
      lo = z[i] < lo ? z[i] : lo;
      hi = z[i] > hi ? z[i] : hi;
    }
    const std::lock_guard<std::mutex> lock(merge);
    minHeight_ = std::min(minHeight_, lo);
    maxHeight_ = std::max(maxHeight_, hi);
  });
}

// The blocks' height: the top of the cell under the point.
double SurfaceIntersector::HeightAt(double x, double y) const {
  const GridGeometry& g = map_.grid;
  if (!(x >= g.originX && x < g.maxX() && y >= g.originY && y < g.maxY())) return 0;
  return Top(ColumnAt(x, 1), RowAt(y, 1));
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
  // Rising from the plane or above it, past the map it stays above the plane.
  if (from.z >= 0 && RisesClear(ray)) return false;
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
