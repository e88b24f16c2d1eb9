// The bilinear surface (relief/relief_surface.h): its heights, its patches'
// hits, the patch walk and the tree of the patches' greatest heights (a walk
// above a node's greatest height skips it; no walk asks for the least).
//
// Patches: along X the patch edges are the map's left edge, the cell
// centres' lines and the right edge, so that there are columns + 1 patches
// across, the first and the last half a cell wide; likewise along Y. Patch
// (k, l) has the samples of columns k - 1 and k and rows l - 1 and l at its
// corners, clamped to the map: the edge patches repeat their inner samples
// and are level outward.

#include "relief/relief_surface.h"

#include "platform/parallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>

namespace skarvel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Where the ray is over [lo, hi] along one axis (closed: a ray along an edge
// is in the patches on both sides of it).
std::pair<double, double> ClosedSlab(double lo, double hi, double origin, double direction) {
  if (direction == 0) {
    if (origin >= lo && origin <= hi) return {-kInfinity, kInfinity};
    return {kInfinity, -kInfinity};
  }
  double a = (lo - origin) / direction, b = (hi - origin) / direction;
  if (a > b) std::swap(a, b);
  return {a, b};
}

// The bilinear weighting, exact at the corners.
double Lerp(double z00, double z10, double z01, double z11, double u, double v) {
  return (1 - v) * ((1 - u) * z00 + u * z10) + v * ((1 - u) * z01 + u * z11);
}

class BilinearSurface : public SurfaceIntersector {
 public:
  explicit BilinearSurface(const HeightMap& map) : SurfaceIntersector(map) {}

  ReliefSurfaceModel Model() const override { return ReliefSurfaceModel::kBilinear; }

  double HeightAt(double x, double y) const override {
    const GridGeometry& g = map_.grid;
    if (!(x >= g.originX && x < g.maxX() && y >= g.originY && y < g.maxY())) return 0;
    const int k = PatchColumnAt(x, 1), l = PatchRowAt(y, 1);
    const Corners z = PatchCorners(k, l);
    return Lerp(z[0], z[1], z[2], z[3], U(x, k), V(y, l));
  }

  bool Hidden(const Vec3& from, const Vec3& eye) const override {
    const Ray ray{from, {eye.x - from.x, eye.y - from.y, eye.z - from.z}};
    const GridGeometry& g = map_.grid;
    const double margin = Margin(ray, 1);
    // Over the plane Z = 0 outside the map, the segment is lowest at an end
    // of its part there.
    const auto belowPlane = [&](double ta, double tb) {
      return std::min(ZAt(ray, ta), ZAt(ray, tb)) < -margin;
    };
    const auto [xa, xb] = Slab(g.originX, g.maxX(), from.x, ray.direction.x);
    const auto [ya, yb] = Slab(g.originY, g.maxY(), from.y, ray.direction.y);
    const double enter = std::max({xa, ya, 0.0}), leave = std::min({xb, yb, 1.0});
    if (!(enter < leave)) return belowPlane(0, 1);
    if (enter > 0 && belowPlane(0, enter)) return true;
    if (leave < 1 && belowPlane(leave, 1)) return true;
    // Only where the segment is no higher than the highest sample can the
    // surface stand in its way.
    double lo = enter, hi = leave;
    const double top = MaxHeight() - margin;
    if (ray.direction.z > 0)
      hi = std::min(hi, (top - from.z) / ray.direction.z);
    else if (ray.direction.z < 0)
      lo = std::max(lo, (top - from.z) / ray.direction.z);
    else if (from.z >= top)
      return false;
    return lo < hi && GridHit(ray, lo, hi, true).has_value();
  }

 protected:
  using Corners = std::array<double, 4>;  // z00, z10, z01, z11

  int PatchColumns() const { return map_.grid.columns + 1; }
  int PatchRows() const { return map_.grid.rows + 1; }
  // The X of patch edge k, 0 to columns + 1.
  double EdgeX(int k) const {
    const GridGeometry& g = map_.grid;
    if (k <= 0) return g.originX;
    if (k > g.columns) return g.maxX();
    return g.originX + (k - 0.5) * g.cellX;
  }
  double EdgeY(int l) const {
    const GridGeometry& g = map_.grid;
    if (l <= 0) return g.originY;
    if (l > g.rows) return g.maxY();
    return g.originY + (l - 0.5) * g.cellY;
  }
  int PatchColumnAt(double x, double dx) const {
    return IndexAt((x - map_.grid.originX) / map_.grid.cellX + 0.5, dx, PatchColumns());
  }
  int PatchRowAt(double y, double dy) const {
    return IndexAt((y - map_.grid.originY) / map_.grid.cellY + 0.5, dy, PatchRows());
  }
  // The weights of the second sample along each axis at a point of patch
  // (k, l).
  double U(double x, int k) const {
    return std::clamp((x - map_.grid.originX) / map_.grid.cellX + 0.5 - k, 0.0, 1.0);
  }
  double V(double y, int l) const {
    return std::clamp((y - map_.grid.originY) / map_.grid.cellY + 0.5 - l, 0.0, 1.0);
  }
  double Sample(int column, int row) const {
    const GridGeometry& g = map_.grid;
    return Top(std::clamp(column, 0, g.columns - 1), std::clamp(row, 0, g.rows - 1));
  }
  Corners PatchCorners(int k, int l) const {
    return {Sample(k - 1, l - 1), Sample(k, l - 1), Sample(k - 1, l), Sample(k, l)};
  }

  // Heights along a ray over [0, t1] are computed to within this.
  double Margin(const Ray& ray, double t1) const {
    return 1e-12 * (std::fabs(ray.origin.z) + std::fabs(t1 * ray.direction.z) + std::fabs(MinHeight()) +
                    std::fabs(MaxHeight()));
  }

  // The hit within patch (k, l) over the ray's part [ta, tb] of it: the first
  // t at which the ray is on or below the patch, or with `strict` more than
  // `margin` below it.
  std::optional<double> PatchHit(const Ray& ray, int k, int l, double ta, double tb, bool strict,
                                 double margin) const {
    const GridGeometry& g = map_.grid;
    const Corners z = PatchCorners(k, l);
    const double ua = U(ray.origin.x + ta * ray.direction.x, k);
    const double va = V(ray.origin.y + ta * ray.direction.y, l);
    const double su = ray.direction.x / g.cellX, sv = ray.direction.y / g.cellY;
    // The patch is z00 + b u + c v + e u v; along the ray from ta, with
    // s = t - ta, the ray's height above it less the threshold is
    // g0 + B s + A s^2.
    const double b = z[1] - z[0], c = z[2] - z[0], e = z[0] - z[1] - z[2] + z[3];
    const double threshold = strict ? -margin : 0;
    const double g0 = ZAt(ray, ta) - Lerp(z[0], z[1], z[2], z[3], ua, va) - threshold;
    const auto below = [strict](double value) { return strict ? value < 0 : value <= 0; };
    if (below(g0)) return ta;
    const double length = tb - ta;
    if (!(length > 0)) return std::nullopt;
    const double B = ray.direction.z - (b * su + c * sv + e * (ua * sv + va * su));
    const double A = -e * su * sv;
    // The first root of the quadratic in (0, length], from the root formula
    // without cancellation; whether the ray gets below at all is decided by
    // the values at the ends and at the vertex.
    double first = kInfinity;
    if (A == 0) {
      if (B < 0) first = -g0 / B;
    } else {
      const double disc = B * B - 4 * A * g0;
      if (disc >= 0) {
        const double q = -0.5 * (B + std::copysign(std::sqrt(disc), B));
        for (const double root : {q / A, q != 0 ? g0 / q : kInfinity})
          if (root >= 0 && root < first) first = root;
      }
    }
    // Over an unbounded part (a vertical ray, level along it) the sign far
    // along is the leading term's.
    bool reaches = std::isfinite(length) ? below(g0 + length * (B + length * A)) : A < 0 || (A == 0 && B < 0);
    if (!reaches && A > 0) {
      // Convex: lowest at the vertex.
      const double vertex = -B / (2 * A);
      if (vertex > 0 && vertex < length) reaches = below(g0 + vertex * (B + vertex * A));
    }
    if (!reaches) return std::nullopt;
    if (!(first <= length)) first = length;
    return std::clamp(ta + first, ta, tb);
  }

  // The plain walk from patch to patch over [t0, t1].
  std::optional<double> WalkPatches(const Ray& ray, double t0, double t1, bool strict) const {
    const Vec3& o = ray.origin;
    const Vec3& d = ray.direction;
    const double margin = Margin(ray, t1);
    const Vec3 start = ray.At(t0);
    int k = PatchColumnAt(start.x, d.x), l = PatchRowAt(start.y, d.y);
    double t = t0;
    for (;;) {
      const double tx = d.x > 0 ? Crossing(EdgeX(k + 1), o.x, d.x) : Crossing(EdgeX(k), o.x, d.x);
      const double ty = d.y > 0 ? Crossing(EdgeY(l + 1), o.y, d.y) : Crossing(EdgeY(l), o.y, d.y);
      const double out = std::max(t, std::min({tx, ty, t1}));
      if (const auto hit = PatchHit(ray, k, l, t, out, strict, margin)) return hit;
      if (out >= t1) return std::nullopt;
      if (tx <= ty) k += d.x > 0 ? 1 : -1;
      if (ty <= tx) l += d.y > 0 ? 1 : -1;
      if (k < 0 || k >= PatchColumns() || l < 0 || l >= PatchRows()) return std::nullopt;
      t = out;
    }
  }
};

class BilinearWalk final : public BilinearSurface {
 public:
  using BilinearSurface::BilinearSurface;

 protected:
  std::optional<double> GridHit(const Ray& ray, double t0, double t1, bool strict) const override {
    return WalkPatches(ray, t0, t1, strict);
  }
};

class BilinearTree final : public BilinearSurface {
 public:
  explicit BilinearTree(const HeightMap& map) : BilinearSurface(map) {
    // Level 1 holds 2 x 2 patches, each level above 2 x 2 nodes of the one
    // below, until one node is left; the patches themselves (level 0) take
    // their bounds from their corners. Bounds are floats rounded up.
    int columns = PatchColumns(), rows = PatchRows();
    while (columns > 1 || rows > 1) {
      const int upColumns = (columns + 1) / 2, upRows = (rows + 1) / 2;
      // Every node is written below: the bounds are not cleared first.
      Level level{upColumns, upRows,
                  std::make_unique_for_overwrite<float[]>(static_cast<size_t>(upColumns) * upRows)};
      const Level* below = levels_.empty() ? nullptr : &levels_.back();
      // Rows of nodes are independent: the large levels on every core.
      ForEachRange(upRows, 32, [&](int rowBegin, int rowEnd) {
        // Over level 1's row of nodes: per map column, the greatest sample of
        // the rows its patches take.
        std::vector<double> down(below == nullptr ? static_cast<size_t>(map.grid.columns) : 0);
        for (int r = rowBegin; r < rowEnd; ++r) {
          if (below == nullptr) {
            // Patches 2r, 2r + 1 down (those there are) have the samples of
            // rows 2r - 1 to 2r + 1 at their corners, clamped to the map;
            // likewise across: the greatest of those samples.
            const int l0 = std::clamp(2 * r - 1, 0, map.grid.rows - 1),
                      l1 = std::clamp(std::min(2 * r + 1, rows - 1), 0, map.grid.rows - 1);
            for (int k = 0; k < map.grid.columns; ++k) {
              double hi = Top(k, l0);
              for (int l = l0 + 1; l <= l1; ++l) hi = std::max(hi, Top(k, l));
              down[static_cast<size_t>(k)] = hi;
            }
            for (int c = 0; c < upColumns; ++c) {
              const int k0 = std::clamp(2 * c - 1, 0, map.grid.columns - 1),
                        k1 = std::clamp(std::min(2 * c + 1, columns - 1), 0, map.grid.columns - 1);
              double hi = down[static_cast<size_t>(k0)];
              for (int k = k0 + 1; k <= k1; ++k) hi = std::max(hi, down[static_cast<size_t>(k)]);
              level.hi[static_cast<size_t>(r) * upColumns + c] = Up(hi);
            }
            continue;
          }
          for (int c = 0; c < upColumns; ++c) {
            double hi = -kInfinity;
            for (int dr = 0; dr < 2; ++dr)
              for (int dc = 0; dc < 2; ++dc) {
                const int cc = 2 * c + dc, rr = 2 * r + dr;
                if (cc >= columns || rr >= rows) continue;
                const size_t i = static_cast<size_t>(rr) * columns + cc;
                hi = std::max(hi, static_cast<double>(below->hi[i]));
              }
            const size_t i = static_cast<size_t>(r) * upColumns + c;
            level.hi[i] = Up(hi);
          }
        }
      });
      levels_.push_back(std::move(level));
      columns = upColumns;
      rows = upRows;
    }
  }

 protected:
  std::optional<double> GridHit(const Ray& ray, double t0, double t1, bool strict) const override {
    const double margin = Margin(ray, t1);
    // A falling ray is on or below the surface by the time it is as low as
    // the lowest sample: its first hit is searched for up to there, and only
    // past it should rounding have hidden the hit.
    double end = t1;
    if (!strict && ray.direction.z < 0)
      end = std::clamp((MinHeight() - margin - ray.origin.z) / ray.direction.z, t0, t1);
    const auto hit = Search(ray, t0, end, strict, margin);
    if (hit || !(end < t1)) return hit;
    return Search(ray, end, t1, strict, margin);
  }

 private:
  struct Level {
    int columns = 0;
    int rows = 0;
    std::unique_ptr<float[]> hi;
  };

  static float Up(double v) {
    float f = static_cast<float>(v);
    if (static_cast<double>(f) < v) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
  }

  // From the least node that holds the ray's stretch [ta, tb]: the node of
  // the patches under both its ends, and a patch more each way for the
  // rounding of those ends.
  std::optional<double> Search(const Ray& ray, double ta, double tb, bool strict, double margin) const {
    const int top = static_cast<int>(levels_.size());
    int level = top, i = 0, j = 0;
    const Vec3 a = ray.At(ta), b = ray.At(tb);
    if (std::isfinite(b.x) && std::isfinite(b.y)) {
      const int ka = PatchColumnAt(a.x, 1), kb = PatchColumnAt(b.x, 1);
      const int la = PatchRowAt(a.y, 1), lb = PatchRowAt(b.y, 1);
      const int kLo = std::max(std::min(ka, kb) - 1, 0),
                kHi = std::min(std::max(ka, kb) + 1, PatchColumns() - 1);
      const int lLo = std::max(std::min(la, lb) - 1, 0),
                lHi = std::min(std::max(la, lb) + 1, PatchRows() - 1);
      level = 0;
      while (level < top && ((kLo >> level) != (kHi >> level) || (lLo >> level) != (lHi >> level))) ++level;
      i = kLo >> level;
      j = lLo >> level;
    }
    const int k0 = i << level, k1 = std::min((i + 1) << level, PatchColumns());
    const int l0 = j << level, l1 = std::min((j + 1) << level, PatchRows());
    const auto [xa, xb] = ClosedSlab(EdgeX(k0), EdgeX(k1), ray.origin.x, ray.direction.x);
    const auto [ya, yb] = ClosedSlab(EdgeY(l0), EdgeY(l1), ray.origin.y, ray.direction.y);
    const double from = std::max({xa, ya, ta}), to = std::min({xb, yb, tb});
    if (!(from <= to)) return std::nullopt;
    return Visit(ray, level, i, j, from, to, strict, margin);
  }

  // Node (i, j) of `level` over the ray's part [ta, tb] of it.
  std::optional<double> Visit(const Ray& ray, int level, int i, int j, double ta, double tb, bool strict,
                              double margin) const {
    double hi = 0;
    if (level == 0) {
      const Corners z = PatchCorners(i, j);
      hi = std::max({z[0], z[1], z[2], z[3]});
    } else {
      const Level& node = levels_[static_cast<size_t>(level - 1)];
      hi = node.hi[static_cast<size_t>(j) * node.columns + i];
    }
    // The ray is lowest at an end of its part: above the node's highest
    // point there, it meets nothing below.
    const double lowest = std::min(ZAt(ray, ta), ZAt(ray, tb));
    if (strict ? lowest >= hi - margin : lowest > hi) return std::nullopt;
    if (level == 0) return PatchHit(ray, i, j, ta, tb, strict, margin);

    // The parts, in the order the ray enters them.
    struct Part {
      int i, j;
      double ta, tb;
    };
    std::array<Part, 4> parts;
    int count = 0;
    const int below = level - 1;
    const int columns = below == 0 ? PatchColumns() : levels_[static_cast<size_t>(below - 1)].columns;
    const int rows = below == 0 ? PatchRows() : levels_[static_cast<size_t>(below - 1)].rows;
    for (int dj = 0; dj < 2; ++dj)
      for (int di = 0; di < 2; ++di) {
        const int ci = 2 * i + di, cj = 2 * j + dj;
        if (ci >= columns || cj >= rows) continue;
        const int k0 = ci << below, k1 = std::min((ci + 1) << below, PatchColumns());
        const int l0 = cj << below, l1 = std::min((cj + 1) << below, PatchRows());
        const auto [xa, xb] = ClosedSlab(EdgeX(k0), EdgeX(k1), ray.origin.x, ray.direction.x);
        const auto [ya, yb] = ClosedSlab(EdgeY(l0), EdgeY(l1), ray.origin.y, ray.direction.y);
        const double a = std::max({xa, ya, ta}), b = std::min({xb, yb, tb});
        if (a <= b) parts[static_cast<size_t>(count++)] = {ci, cj, a, b};
      }
    // At most four: an insertion sort.
    for (int n = 1; n < count; ++n)
      for (int m = n; m > 0 && parts[static_cast<size_t>(m)].ta < parts[static_cast<size_t>(m - 1)].ta; --m)
        std::swap(parts[static_cast<size_t>(m)], parts[static_cast<size_t>(m - 1)]);
    // Parts overlap only on their shared edges: a later part can still hold
    // an earlier hit where the ray runs along one.
    std::optional<double> best;
    for (int n = 0; n < count; ++n) {
      const Part& p = parts[static_cast<size_t>(n)];
      if (best && p.ta >= *best) break;
      const auto hit = Visit(ray, below, p.i, p.j, p.ta, p.tb, strict, margin);
      if (hit && (!best || *hit < *best)) best = hit;
    }
    return best;
  }

  std::vector<Level> levels_;  // levels 1, 2, ... up to one node
};

}  // namespace

std::unique_ptr<SurfaceIntersector> MakeBilinearWalkIntersector(const HeightMap& map) {
  return std::make_unique<BilinearWalk>(map);
}

std::unique_ptr<SurfaceIntersector> MakeBilinearTreeIntersector(const HeightMap& map) {
  return std::make_unique<BilinearTree>(map);
}

std::unique_ptr<SurfaceIntersector> MakeSurfaceIntersector(const HeightMap& map, ReliefSurfaceModel model) {
  if (model == ReliefSurfaceModel::kBlocks) return MakePyramidIntersector(map);
  return MakeBilinearTreeIntersector(map);
}

}  // namespace skarvel
