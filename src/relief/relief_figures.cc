#include "relief/relief_figures.h"

#include "geometry/polygon.h"
#include "platform/error.h"
#include "platform/float_checks.h"
#include "platform/parallel.h"
#include "relief/coverage_sweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

namespace skarvel {

namespace {

// Grids of coverage without a relief are refused beyond this many cells.
constexpr double kMaxPlaneCells = 1 << 26;

bool Finite(const Vec3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

std::optional<Vec3> FirstHitPoint(const FrameRays& rays, const SurfaceIntersector& surface, double x,
                                  double y) {
  const Ray ray = rays.Through(x, y);
  const std::optional<double> t = surface.FirstHit(ray);
  if (!t) return std::nullopt;
  const Vec3 p = ray.At(*t);
  if (!Finite(p)) return std::nullopt;
  return p;
}

struct Box {
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  void Add(double x, double y) {
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
  }
  bool Empty() const { return !(x0 <= x1 && y0 <= y1); }
};

// The box of scene X and Y under the frame's view: its corner rays between
// the planes of the surface's least and greatest Z (the view is the convex
// cone of the corner rays). Where a corner ray does not come down through
// both planes, the map's box and the outline's.
Box ViewBox(const FrameRays& rays, const SurfaceIntersector& surface, const TCameraParams& camera,
            const std::vector<ScenePoint>& outline) {
  Box box;
  const Vec3& s = rays.Centre();
  bool bounded = true;
  for (const ImagePoint& corner : FrameCorners(camera)) {
    const Ray ray = rays.Through(corner.x, corner.y);
    for (double h : {surface.MinHeight(), surface.MaxHeight()}) {
      const double t = ray.direction.z < 0 ? (h - s.z) / ray.direction.z : -1;
      const Vec3 p = ray.At(t);
      if (!(t > 0) || !Finite(p)) bounded = false;
      box.Add(p.x, p.y);
    }
  }
  if (bounded) return box;
  const GridGeometry& g = surface.Map().grid;
  box = Box{g.originX, g.originY, g.maxX(), g.maxY()};
  for (const ScenePoint& p : outline) box.Add(p.x, p.y);
  return box;
}

bool CameraAboveSurface(const FrameRays& rays, const SurfaceIntersector& surface) {
  const Vec3& s = rays.Centre();
  return Finite(s) && s.z > surface.HeightAt(s.x, s.y);
}

}  // namespace

FrameRays::FrameRays(const FrameProjection& projection) : divisor_(projection.divisor) {
  const auto& L = projection.dlt.L;
  const long double m[3][3] = {{L[0], L[1], L[2]}, {L[4], L[5], L[6]}, {L[8], L[9], L[10]}};
  // The inverse by the adjugate; a singular matrix has no projection centre.
  const long double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                          m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                          m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  const long double inv = fp::Divide(1, det);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      // Cofactor of element (c, r), transposed into place.
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      inverse_[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) * inv;
    }
  }
  // M S = -(L4, L8, 1).
  const long double b[3] = {-static_cast<long double>(L[3]), -static_cast<long double>(L[7]), -1};
  long double s[3];
  for (int r = 0; r < 3; ++r) s[r] = inverse_[r][0] * b[0] + inverse_[r][1] * b[1] + inverse_[r][2] * b[2];
  centre_ = {static_cast<double>(s[0]), static_cast<double>(s[1]), static_cast<double>(s[2])};

  const std::array<ImagePoint, 4> corners = FrameCorners(projection.camera);
  view_ = FrameView(projection.dlt, divisor_, std::min(corners[0].x, corners[1].x),
                    std::max(corners[0].x, corners[1].x), std::min(corners[0].y, corners[2].y),
                    std::max(corners[0].y, corners[2].y));
}

Ray FrameRays::Through(double x, double y) const {
  // Points in front of the camera have G w < 0 (see DltDivisor), and w grows
  // along M^-1 (x, y, 1) by its third component, 1.
  const long double sign = divisor_ < 0 ? 1 : -1;
  const long double v[3] = {x, y, 1};
  long double d[3];
  for (int r = 0; r < 3; ++r)
    d[r] = sign * (inverse_[r][0] * v[0] + inverse_[r][1] * v[1] + inverse_[r][2] * v[2]);
  return {centre_, {static_cast<double>(d[0]), static_cast<double>(d[1]), static_cast<double>(d[2])}};
}

SightBounds::SightBounds(const SurfaceIntersector& surface) : grid_(surface.Map().grid) {
  const HeightValues& z = surface.Map().z;
  const int columns = grid_.columns, rows = grid_.rows;
  if (columns <= 0 || rows <= 0 || z.size() != static_cast<size_t>(columns) * rows) return;
  const double cell = std::min(grid_.cellX, grid_.cellY);
  const double highest = surface.MaxHeight(), lowest = surface.MinHeight();
  // Heights are compared to within this: the surface's own sums round to a
  // few units in the last place of these magnitudes.
  margin_ = 1e-9 * (highest - lowest + std::fabs(highest) + std::fabs(lowest));
  const size_t cells = z.size();
  const auto at = [&](const std::vector<float>& v, int c, int r) -> float {
    // Outside the map the plane Z = 0.
    if (c < 0 || c >= columns || r < 0 || r >= rows) return 0;
    return v[static_cast<size_t>(r) * columns + c];
  };
  const auto sample = [&](int c, int r) -> double {
    if (c < 0 || c >= columns || r < 0 || r >= rows) return 0;
    return z[static_cast<size_t>(r) * columns + c];
  };

  // The near bound: the greatest difference of neighbouring samples in the
  // 3 x 3 cells round each cell. The bounds are floats rounded up.
  std::vector<float>& bound = slopes_;
  bound.resize(cells);
  ForEachRange(rows, 64, [&](int begin, int end) {
    for (int r = begin; r < end; ++r)
      for (int c = 0; c < columns; ++c) {
        double d = 0;
        for (int dr = -1; dr <= 1; ++dr)
          for (int dc = -1; dc <= 0; ++dc) {
            d = std::max(d, std::fabs(sample(c + dc + 1, r + dr) - sample(c + dc, r + dr)));
            d = std::max(d, std::fabs(sample(c + dr, r + dc + 1) - sample(c + dr, r + dc)));
          }
        bound[static_cast<size_t>(r) * columns + c] = Up(4 * (d + margin_) / cell * (1 + 1e-9));
      }
  });

  // The far bounds: window maxima of half-width 2^l + 1 cells, level by
  // level, each the maximum of the level below shifted by -2^(l-1), 0 and
  // +2^(l-1) cells along each axis. Level 0 (half-width 2) is the samples
  // shifted by one cell twice.
  std::vector<float> window(cells), across(cells);
  for (size_t i = 0; i < cells; ++i) window[i] = Up(z[i]);
  const auto spread = [&](int shift) {
    ForEachRange(rows, 64, [&](int begin, int end) {
      for (int r = begin; r < end; ++r)
        for (int c = 0; c < columns; ++c)
          across[static_cast<size_t>(r) * columns + c] =
              std::max({at(window, c - shift, r), at(window, c, r), at(window, c + shift, r)});
    });
    ForEachRange(rows, 64, [&](int begin, int end) {
      for (int r = begin; r < end; ++r)
        for (int c = 0; c < columns; ++c)
          window[static_cast<size_t>(r) * columns + c] =
              std::max({at(across, c, r - shift), at(across, c, r), at(across, c, r + shift)});
    });
  };
  spread(1);
  spread(1);
  int halfWidth = 2;
  for (int level = 1;; ++level) {
    const int shift = 1 << (level - 1);
    spread(shift);
    halfWidth += shift;
    // From 2^(l-1) cells on, out to 2^l cells.
    const double from = std::ldexp(cell, level - 1);
    ForEachRange(rows, 64, [&](int begin, int end) {
      for (int r = begin; r < end; ++r)
        for (int c = 0; c < columns; ++c) {
          const size_t i = static_cast<size_t>(r) * columns + c;
          const double rise = (window[i] - z[i] + margin_) / from * (1 + 1e-9);
          if (rise > bound[i]) bound[i] = Up(rise);
        }
    });
    if (halfWidth >= std::max(columns, rows)) {
      // Beyond 2^l cells nothing stands higher than the highest point.
      const double beyond = std::ldexp(cell, level);
      for (size_t i = 0; i < cells; ++i)
        bound[i] = std::max(bound[i], Up((highest - z[i] + margin_) / beyond * (1 + 1e-9)));
      break;
    }
  }

  tileColumns_ = (columns + kTile - 1) / kTile;
  const int tileRows = (rows + kTile - 1) / kTile;
  tileSlopes_.assign(static_cast<size_t>(tileColumns_) * tileRows, 0);
  tileTops_.assign(tileSlopes_.size(), -std::numeric_limits<float>::infinity());
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const size_t i = static_cast<size_t>(r) * columns + c;
      const size_t tile = static_cast<size_t>(r / kTile) * tileColumns_ + c / kTile;
      tileSlopes_[tile] = std::max(tileSlopes_[tile], slopes_[i]);
      tileTops_[tile] = std::max(tileTops_[tile], Up(z[i]));
    }
  // The surface's range over each tile: the samples of the tile and of the
  // cells round it (0 beyond the map's edge), widened by the margin.
  ringLows_.assign(tileSlopes_.size(), std::numeric_limits<float>::infinity());
  ringHighs_.assign(tileSlopes_.size(), -std::numeric_limits<float>::infinity());
  for (int tr = 0; tr < tileRows; ++tr)
    for (int tc = 0; tc < tileColumns_; ++tc) {
      double lo = INFINITY, hi = -INFINITY;
      for (int r = tr * kTile - 1; r <= (tr + 1) * kTile; ++r)
        for (int c = tc * kTile - 1; c <= (tc + 1) * kTile; ++c) {
          const double v = sample(c, r);
          lo = std::min(lo, v);
          hi = std::max(hi, v);
        }
      const size_t tile = static_cast<size_t>(tr) * tileColumns_ + tc;
      ringLows_[tile] = -Up(-(lo - margin_));
      ringHighs_[tile] = Up(hi + margin_);
    }
}

std::pair<double, double> SightBounds::HeightRange(double x0, double y0, double x1, double y1) const {
  constexpr double kAll = std::numeric_limits<double>::infinity();
  if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1)))
    return {-kAll, kAll};
  // Beyond the map the plane Z = 0; a box reaching past it takes 0 in.
  const GridGeometry& g = grid_;
  const double u0 = std::floor((x0 - g.originX) / g.cellX), u1 = std::floor((x1 - g.originX) / g.cellX);
  const double v0 = std::floor((y0 - g.originY) / g.cellY), v1 = std::floor((y1 - g.originY) / g.cellY);
  double lo = INFINITY, hi = -INFINITY;
  if (!(u0 >= 0 && v0 >= 0 && u1 < g.columns && v1 < g.rows)) lo = hi = 0;
  const double c0 = std::max(u0, 0.0), c1 = std::min(u1, g.columns - 1.0);
  const double r0 = std::max(v0, 0.0), r1 = std::min(v1, g.rows - 1.0);
  if (!(c0 <= c1 && r0 <= r1)) return {lo, hi};
  const int tc0 = static_cast<int>(c0) / kTile, tc1 = static_cast<int>(c1) / kTile;
  const int tr0 = static_cast<int>(r0) / kTile, tr1 = static_cast<int>(r1) / kTile;
  // A wide box is not worth its tiles: no range narrower than the surface's.
  if (static_cast<long long>(tc1 - tc0 + 1) * (tr1 - tr0 + 1) > kMostTiles) return {-kAll, kAll};
  for (int tr = tr0; tr <= tr1; ++tr)
    for (int tc = tc0; tc <= tc1; ++tc) {
      const size_t tile = static_cast<size_t>(tr) * tileColumns_ + tc;
      lo = std::min(lo, static_cast<double>(ringLows_[tile]));
      hi = std::max(hi, static_cast<double>(ringHighs_[tile]));
    }
  return {lo, hi};
}

bool SightBounds::TileClear(int tileColumn, int tileRow, const Vec3& eye) const {
  const size_t tile = static_cast<size_t>(tileRow) * tileColumns_ + tileColumn;
  const double rise = eye.z - tileTops_[tile] - margin_;
  if (!(rise > 0)) return false;
  // The farthest cell centre of the tile lies no further than the farthest
  // corner of its box.
  const double x0 = grid_.originX + tileColumn * kTile * grid_.cellX, x1 = x0 + kTile * grid_.cellX;
  const double y0 = grid_.originY + tileRow * kTile * grid_.cellY, y1 = y0 + kTile * grid_.cellY;
  const double dx = std::max(std::fabs(eye.x - x0), std::fabs(eye.x - x1));
  const double dy = std::max(std::fabs(eye.y - y0), std::fabs(eye.y - y1));
  const double slope = tileSlopes_[tile];
  return rise * rise >= slope * slope * (dx * dx + dy * dy);
}

float SightBounds::Up(double v) {
  float f = static_cast<float>(v);
  if (static_cast<double>(f) < v) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return std::isnan(f) ? std::numeric_limits<float>::infinity() : f;
}

namespace {

// The planimetric distance of p from the segment a b.
double DistanceFromChord(const Vec3& p, const Vec3& a, const Vec3& b) {
  const double ux = b.x - a.x, uy = b.y - a.y, px = p.x - a.x, py = p.y - a.y;
  const double length2 = ux * ux + uy * uy;
  const double f = length2 > 0 ? std::clamp((px * ux + py * uy) / length2, 0.0, 1.0) : 0.0;
  return std::hypot(px - f * ux, py - f * uy);
}

// Builds the relief outline one side of the frame at a time.
class OutlineMaker {
 public:
  OutlineMaker(const FrameRays& rays, const SurfaceIntersector& surface, const SightBounds* bounds)
      : rays_(rays), surface_(surface), bounds_(bounds) {
    const GridGeometry& g = surface.Map().grid;
    tolerance_ = 0.5 * std::min(g.cellX, g.cellY);
  }

  // Appends the corner `a` and the vertices of side a b before b; false when
  // a ray misses the surface.
  bool Side(const ImagePoint& a, const ImagePoint& b, std::vector<ScenePoint>& outline) {
    pixels_ = std::hypot(b.x - a.x, b.y - a.y);
    a_ = a;
    b_ = b;
    const auto first = Hit(0), last = Hit(1);
    if (!first || !last) return false;
    chord_ = std::hypot(last->x - first->x, last->y - first->y);
    chain_.clear();
    chain_.push_back(*first);
    if (!Refine(0, *first, 1, *last)) return false;
    chain_.push_back(*last);
    // The corner, then what the simplification keeps before the next one.
    keep_.assign(chain_.size(), false);
    Simplify(0, chain_.size() - 1);
    for (size_t i = 0; i + 1 < chain_.size(); ++i)
      if (i == 0 || keep_[i]) outline.push_back({chain_[i].x, chain_[i].y});
    return true;
  }

 private:
  // A stretch not proved straight is halved while it is longer than
  // kSplitCells relief cells on the ground (by the side's chord) and
  // kSplitLeastPixels pixels, or longer than kSplitMostPixels pixels.
  static constexpr double kSplitCells = 8;
  static constexpr double kSplitLeastPixels = 8;
  static constexpr double kSplitMostPixels = 256;

  std::optional<Vec3> Hit(double f) const {
    const Ray ray = rays_.Through(a_.x + (b_.x - a_.x) * f, a_.y + (b_.y - a_.y) * f);
    const std::optional<double> t = surface_.FirstHit(ray);
    if (!t) return std::nullopt;
    const Vec3 p = ray.At(*t);
    if (!Finite(p)) return std::nullopt;
    return p;
  }

  // The points between f0 and f1 (hits h0 and h1) into the chain. A
  // stretch proved straight (see Straight) needs none; one longer than the
  // split lengths is halved; a shorter one is halved while its middle hit
  // departs from its chord by more than the tolerance, down to one pixel.
  bool Refine(double f0, const Vec3& h0, double f1, const Vec3& h1) {
    const double pixels = (f1 - f0) * pixels_;
    if (pixels <= 1 || Straight(f0, f1)) return true;
    const double f = 0.5 * (f0 + f1);
    const std::optional<Vec3> middle = Hit(f);
    if (!middle) return false;
    const bool halve = pixels > kSplitMostPixels ||
                       (pixels > kSplitLeastPixels && (f1 - f0) * chord_ > 2 * tolerance_ * kSplitCells) ||
                       !(DistanceFromChord(*middle, h0, h1) <= tolerance_);
    if (halve && !Refine(f0, h0, f, *middle)) return false;
    chain_.push_back(*middle);
    if (halve && !Refine(f, *middle, f1, h1)) return false;
    return true;
  }

  // Whether the first hits of the rays between f0 and f1 are proved to lie
  // within the tolerance of any chord between two of them. The rays span a
  // plane through the centre; in it the hits lie between the levels of the
  // least and the greatest height of the surface where they can be, two
  // parallel lines, and inside the angle of the two end rays: a
  // quadrilateral whose points all lie within (high - low) tan(angle from
  // the vertical) of a chord joining its two sides. The heights: those of
  // the map under the box of the two rays between the surface's least and
  // greatest Z, then again under the narrower box between those.
  bool Straight(double f0, double f1) const {
    if (bounds_ == nullptr) return false;
    const Ray r0 = rays_.Through(a_.x + (b_.x - a_.x) * f0, a_.y + (b_.y - a_.y) * f0);
    const Ray r1 = rays_.Through(a_.x + (b_.x - a_.x) * f1, a_.y + (b_.y - a_.y) * f1);
    const Vec3& s = rays_.Centre();
    if (!(r0.direction.z < 0 && r1.direction.z < 0)) return false;
    double low = surface_.MinHeight(), high = surface_.MaxHeight();
    for (int pass = 0; pass < 2; ++pass) {
      Box box;
      for (const Ray* r : {&r0, &r1})
        for (double h : {low, high}) {
          const Vec3 p = r->At((h - s.z) / r->direction.z);
          box.Add(p.x, p.y);
        }
      if (box.Empty()) return false;
      const auto [lo, hi] = bounds_->HeightRange(box.x0, box.y0, box.x1, box.y1);
      low = std::max(low, lo);
      high = std::min(high, hi);
      if (!(low <= high)) return false;
    }
    const auto slant = [](const Ray& r) { return std::hypot(r.direction.x, r.direction.y) / -r.direction.z; };
    return (high - low) * std::max(slant(r0), slant(r1)) <= tolerance_;
  }

  // Douglas and Peucker's simplification of chain_[i, j]: marks the points
  // that depart from the chord of the points kept by more than the
  // tolerance.
  void Simplify(size_t i, size_t j) {
    while (j > i + 1) {
      double far = -1;
      size_t at = i;
      for (size_t k = i + 1; k < j; ++k) {
        const double d = DistanceFromChord(chain_[k], chain_[i], chain_[j]);
        if (d > far) {
          far = d;
          at = k;
        }
      }
      if (!(far > tolerance_)) return;
      keep_[at] = true;
      Simplify(i, at);
      i = at;
    }
  }

  const FrameRays& rays_;
  const SurfaceIntersector& surface_;
  const SightBounds* bounds_;
  double tolerance_ = 0;
  double pixels_ = 0;
  double chord_ = 0;  // of the side's corner hits
  ImagePoint a_, b_;
  std::vector<Vec3> chain_;
  std::vector<bool> keep_;
};

// The cells of `grid` whose centre lies inside the polygon (even-odd), row
// by row: calls span(row, first column, last column) for each run.
template <typename Span>
void ForEachCellInside(const std::vector<ScenePoint>& polygon, const GridGeometry& g, const Span& span) {
  const size_t n = polygon.size();
  if (n < 3 || g.columns <= 0 || g.rows <= 0) return;
  // Per row, the X at which the polygon's edges cross the row's centre line,
  // an edge taken over [lower Y, upper Y) so that a vertex on the line counts
  // once.
  std::vector<std::pair<int, double>> crossings;
  for (size_t k = 0; k < n; ++k) {
    const ScenePoint& a = polygon[k];
    const ScenePoint& b = polygon[k + 1 < n ? k + 1 : 0];
    if (a.y == b.y) continue;
    const double lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
    const double first = std::ceil((lo - g.originY) / g.cellY - 0.5);
    const double last = std::ceil((hi - g.originY) / g.cellY - 0.5) - 1;
    // Clamped to the map before they become whole numbers.
    const double from = std::max(first, 0.0), to = std::min(last, g.rows - 1.0);
    if (!(from <= to)) continue;
    const int r0 = static_cast<int>(from), r1 = static_cast<int>(to);
    for (int r = r0; r <= r1; ++r) {
      const double y = g.originY + (r + 0.5) * g.cellY;
      if (!(y >= lo && y < hi)) continue;  // rounding at either end
      crossings.push_back({r, a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y)});
    }
  }
  std::sort(crossings.begin(), crossings.end());
  for (size_t k = 0; k + 1 < crossings.size(); ++k) {
    if (crossings[k].first != crossings[k + 1].first) continue;
    // Inside from this crossing to the next of the same row.
    const int row = crossings[k].first;
    const double x0 = crossings[k].second, x1 = crossings[k + 1].second;
    ++k;
    // Centres with x0 <= x < x1.
    const double c0 = std::max(0.0, std::ceil((x0 - g.originX) / g.cellX - 0.5));
    const double c1 = std::min(g.columns - 1.0, std::ceil((x1 - g.originX) / g.cellX - 0.5) - 1);
    if (!(c0 <= c1)) continue;
    int first = static_cast<int>(c0), last = static_cast<int>(c1);
    while (first <= last && !(g.originX + (first + 0.5) * g.cellX >= x0)) ++first;
    while (last >= first && !(g.originX + (last + 0.5) * g.cellX < x1)) --last;
    if (first <= last) span(row, first, last);
  }
}

}  // namespace

std::optional<double> VisiblePercent(const std::vector<ScenePoint>& outline, const Vec3& eye,
                                     const SurfaceIntersector& surface, const SightBounds& bounds) {
  const GridGeometry& g = surface.Map().grid;
  const HeightValues& z = surface.Map().z;
  const bool bounded = bounds.Covers(g);
  long long inside = 0, seen = 0;
  // Per tile of the map under the outline's box, whether every sight line
  // from it is proved clear: 0 not yet asked, 1 yes, 2 no.
  constexpr int kTile = SightBounds::kTile;
  int tile0 = 0, tile1 = -1, tileRow0 = 0;
  std::vector<std::uint8_t> tiles;
  if (bounded && !outline.empty()) {
    Box box;
    for (const ScenePoint& p : outline) box.Add(p.x, p.y);
    const auto tileOf = [](double u, double origin, double cell, int size) {
      return static_cast<int>(std::clamp(std::floor((u - origin) / cell), 0.0, size - 1.0)) / kTile;
    };
    tile0 = tileOf(box.x0, g.originX, g.cellX, g.columns);
    tile1 = tileOf(box.x1, g.originX, g.cellX, g.columns);
    tileRow0 = tileOf(box.y0, g.originY, g.cellY, g.rows);
    const int tileRow1 = tileOf(box.y1, g.originY, g.cellY, g.rows);
    tiles.assign(static_cast<size_t>(tile1 - tile0 + 1) * (tileRow1 - tileRow0 + 1), 0);
  }
  ForEachCellInside(outline, g, [&](int row, int first, int last) {
    const double y = g.originY + (row + 0.5) * g.cellY;
    inside += last - first + 1;
    for (int c = first; c <= last;) {
      // The run of the span within one tile.
      const int tileColumn = c / kTile, end = std::min(last, (tileColumn + 1) * kTile - 1);
      if (bounded && tileColumn >= tile0 && tileColumn <= tile1) {
        std::uint8_t& known =
            tiles[static_cast<size_t>(row / kTile - tileRow0) * (tile1 - tile0 + 1) + (tileColumn - tile0)];
        if (known == 0) known = bounds.TileClear(tileColumn, row / kTile, eye) ? 1 : 2;
        if (known == 1) {
          seen += end - c + 1;
          c = end + 1;
          continue;
        }
      }
      for (; c <= end; ++c) {
        const size_t cell = static_cast<size_t>(row) * g.columns + c;
        const double x = g.originX + (c + 0.5) * g.cellX;
        if (bounded && bounds.Clear(cell, {x, y, z[cell]}, eye)) {
          ++seen;
          continue;
        }
        seen += !surface.Hidden({x, y, surface.HeightAt(x, y)}, eye);
      }
    }
  });
  if (inside == 0) return std::nullopt;
  return 100.0 * static_cast<double>(seen) / static_cast<double>(inside);
}

FrameRelief ComputeFrameRelief(const FrameProjection& projection, const SurfaceIntersector& surface) {
  return ComputeFrameRelief(projection, surface, SightBounds(surface));
}

FrameRelief ComputeFrameRelief(const FrameProjection& projection, const SurfaceIntersector& surface,
                               const SightBounds& bounds) {
  FrameRelief out;
  const FrameRays rays(projection);
  if (!CameraAboveSurface(rays, surface)) {
    out.cameraBelowSurface = out.missesSurface = true;
    return out;
  }

  // Sample distances: the 3D distance between the first hits of the rays
  // half a pixel either side of the principal point.
  const auto between = [&](double x1, double y1, double x2, double y2) -> std::optional<double> {
    const std::optional<Vec3> a = FirstHitPoint(rays, surface, x1, y1),
                              b = FirstHitPoint(rays, surface, x2, y2);
    if (!a || !b) return std::nullopt;
    const double d = std::hypot(b->x - a->x, b->y - a->y, b->z - a->z);
    return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
  };
  out.gsdRow = between(-0.5, 0, 0.5, 0);
  const double half = fp::ToDouble(fp::Divide(0.5L, projection.camera.RowScale));
  out.gsdColumn = between(0, half, 0, -half);

  // The outline, side by side from corner A as the frame's corners run.
  const std::array<ImagePoint, 4> corners = FrameCorners(projection.camera);
  std::vector<ScenePoint> outline;
  OutlineMaker maker(rays, surface, bounds.Covers(surface.Map().grid) ? &bounds : nullptr);
  for (int side = 0; side < 4; ++side)
    if (!maker.Side(corners[side], corners[(side + 1) % 4], outline)) {
      out.missesSurface = true;
      return out;
    }
  out.area = ShoelaceArea(outline);
  out.visiblePercent = VisiblePercent(outline, rays.Centre(), surface, bounds);
  out.outline = std::move(outline);
  return out;
}

std::vector<FrameRelief> ComputeReliefFigures(std::span<const FrameProjection> frames,
                                              const SurfaceIntersector& surface) {
  return ComputeReliefFigures(frames, surface, SightBounds(surface));
}

std::vector<FrameRelief> ComputeReliefFigures(std::span<const FrameProjection> frames,
                                              const SurfaceIntersector& surface, const SightBounds& bounds) {
  std::vector<FrameRelief> out(frames.size());
  // Each core's thread takes the next frame not yet taken, so that a core
  // slowed by other work on the machine takes fewer of them.
  const int count = static_cast<int>(frames.size());
  std::atomic<int> next{0};
  ForEachRange(count, 8, [&](int, int) {
    for (int n = next++; n < count; n = next++)
      out[static_cast<size_t>(n)] = ComputeFrameRelief(frames[static_cast<size_t>(n)], surface, bounds);
  });
  return out;
}

std::function<std::vector<FrameRelief>(int, int)> ReliefBlocks(std::span<const FrameProjection> frames,
                                                               const SurfaceIntersector& surface) {
  // The bounds are made with the first block and serve every later one.
  struct Made {
    std::once_flag once;
    std::unique_ptr<SightBounds> bounds;
  };
  auto made = std::make_shared<Made>();
  return [frames, &surface, made](int begin, int end) {
    const int count = std::clamp(static_cast<int>(frames.size()) - begin, 0, end - begin);
    std::vector<FrameRelief> block;
    if (count > 0) {
      std::call_once(made->once, [&] { made->bounds = std::make_unique<SightBounds>(surface); });
      block = ComputeReliefFigures(frames.subspan(static_cast<size_t>(begin), count), surface, *made->bounds);
    }
    block.resize(static_cast<size_t>(end - begin));
    return block;
  };
}

std::vector<std::uint32_t> ComputeCoverage(const std::vector<FrameProjection>& frames,
                                           const SurfaceIntersector& surface,
                                           std::vector<std::uint32_t>* hidden) {
  const GridGeometry& g = surface.Map().grid;
  const size_t cells = static_cast<size_t>(g.columns) * static_cast<size_t>(g.rows);
  // The first range to finish hands over its own counts, the later ones
  // add theirs: a single range (one frame, or one core) makes no map-sized
  // copy and no pass over one.
  std::vector<std::uint32_t> counts;
  if (hidden != nullptr) hidden->clear();
  bool merged = false;
  std::mutex merge;
  // The slopes of the bilinear surface, for all the frames' sweeps.
  std::optional<SurfaceSlopes> slopes;
  if (surface.Model() == ReliefSurfaceModel::kBilinear && !frames.empty()) slopes.emplace(surface);
  ForEachRange(static_cast<int>(frames.size()), 4, [&](int begin, int end) {
    std::vector<std::uint32_t> local(cells, 0), localHidden(hidden != nullptr ? cells : 0, 0);
    for (int n = begin; n < end; ++n) {
      const FrameProjection& projection = frames[static_cast<size_t>(n)];
      const FrameRays rays(projection);
      if (!CameraAboveSurface(rays, surface)) continue;
      const Box box = ViewBox(rays, surface, projection.camera, {});
      if (box.Empty()) continue;
      const auto first = [](double lo, double origin, double cell, int size) {
        return static_cast<int>(std::clamp(std::floor((lo - origin) / cell), 0.0, static_cast<double>(size)));
      };
      const int c0 = first(box.x0, g.originX, g.cellX, g.columns),
                c1 = first(box.x1, g.originX, g.cellX, g.columns - 1);
      const int r0 = first(box.y0, g.originY, g.cellY, g.rows),
                r1 = first(box.y1, g.originY, g.cellY, g.rows - 1);
      if (surface.Model() == ReliefSurfaceModel::kBilinear) {
        // The horizon sweep over the view's cells.
        const CellBox cellBox{c0, c1, r0, r1};
        SweepCounts(surface, rays.Centre(), cellBox, rays.View(), local.data(),
                    hidden != nullptr ? localHidden.data() : nullptr, &*slopes);
        continue;
      }
      // Blocks: a sight line per cell, the rows shared between the cores
      // when the frames alone do not keep them busy (a call from a range
      // the pool runs stays on its thread).
      ForEachRange(std::max(r1 - r0 + 1, 0), 16, [&](int begin, int end) {
        for (int r = r0 + begin; r < r0 + end; ++r) {
          const double y = g.originY + (r + 0.5) * g.cellY;
          for (int c = c0; c <= c1; ++c) {
            const size_t index = static_cast<size_t>(r) * g.columns + c;
            const Vec3 p{g.originX + (c + 0.5) * g.cellX, y, surface.Map().z[index]};
            if (!rays.Sees(p)) continue;
            if (!surface.Hidden(p, rays.Centre()))
              ++local[index];
            else if (hidden != nullptr)
              ++localHidden[index];
          }
        }
      });
    }
    const std::lock_guard<std::mutex> lock(merge);
    if (!merged) {
      merged = true;
      counts = std::move(local);
      if (hidden != nullptr) *hidden = std::move(localHidden);
      return;
    }
    for (size_t i = 0; i < cells; ++i) counts[i] += local[i];
    if (hidden != nullptr)
      for (size_t i = 0; i < cells; ++i) (*hidden)[i] += localHidden[i];
  });
  if (!merged) {
    counts.assign(cells, 0);
    if (hidden != nullptr) hidden->assign(cells, 0);
  }
  return counts;
}

HeightMap PlaneMap(const std::vector<FrameProjection>& frames, double cellSize) {
  if (!(cellSize > 0) || !std::isfinite(cellSize))
    throw Error(QStringLiteral("Размер ячейки карты покрытия должен быть положительным числом"));
  Box box;
  for (const FrameProjection& projection : frames) {
    const FootprintFlags flags = ProjectionFlags(projection);
    if (flags.horizon || flags.behindCamera) continue;
    const TFootprint f = ProjectFootprint(projection.inverse, projection.camera);
    for (const VT_Point* p : {&f.A, &f.B, &f.C, &f.D}) box.Add(p->X, -p->Y);
  }
  if (box.Empty())
    throw Error(QStringLiteral("Ни один кадр не видит плоскость сцены: карта покрытия не строится"));
  const double columns = std::max(1.0, std::ceil((box.x1 - box.x0) / cellSize));
  const double rows = std::max(1.0, std::ceil((box.y1 - box.y0) / cellSize));
  if (!(columns * rows <= kMaxPlaneCells))
    throw Error(QStringLiteral("Карта покрытия с ячейкой %1 была бы больше %2 ячеек")
                    .arg(cellSize)
                    .arg(static_cast<long long>(kMaxPlaneCells)));
  HeightMap map;
  map.grid.columns = static_cast<int>(columns);
  map.grid.rows = static_cast<int>(rows);
  map.grid.originX = box.x0;
  map.grid.originY = box.y0;
  map.grid.cellX = map.grid.cellY = cellSize;
  map.z.assign(static_cast<size_t>(columns * rows), 0.0);
  return map;
}

}  // namespace skarvel
