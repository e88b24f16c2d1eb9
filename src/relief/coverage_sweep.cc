#include "relief/coverage_sweep.h"

#include "platform/parallel.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>

namespace skarvel {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The share of the difference of the two horizons a cell's is interpolated
// from within which the exact check decides.
constexpr double kSpreadShare = 1;

// Positions are in cell units with the cell centres at whole numbers:
// column c's centre at u = c, row r's at v = r. A cell's square is
// [c - 1/2, c + 1/2] x [r - 1/2, r + 1/2], its fan the segments from N to
// the points of its square.
class Sweep {
 public:
  Sweep(const SurfaceIntersector& surface, const Vec3& eye, const CellBox& box, const SurfaceSlopes* slopes)
      : map_(surface.Map()), g_(map_.grid), eye_(eye), slopes_(slopes) {
    nu_ = (eye.x - g_.originX) / g_.cellX - 0.5;
    nv_ = (eye.y - g_.originY) / g_.cellY - 0.5;
    outside_ = !(nu_ >= -0.5 && nu_ < g_.columns - 0.5 && nv_ >= -0.5 && nv_ < g_.rows - 0.5);
    // The box and the cell under the eye, within the map: every cell
    // between a cell of the box and N is in it.
    const auto clampIndex = [](double u, int size) {
      return static_cast<int>(std::clamp(u, 0.0, static_cast<double>(size - 1)));
    };
    area_.c0 = std::min(box.c0, clampIndex(std::floor(nu_), g_.columns));
    area_.c1 = std::max(box.c1, clampIndex(std::ceil(nu_), g_.columns));
    area_.r0 = std::min(box.r0, clampIndex(std::floor(nv_), g_.rows));
    area_.r1 = std::max(box.r1, clampIndex(std::ceil(nv_), g_.rows));
    // A cell reads only its own row and the row next to it towards N, so
    // that rows are kept: the (at most two) rows less than a row from N, and
    // on either side of them the last two rows of that side. The (at most
    // two) columns less than a column from N are kept whole beside them:
    // they are swept before the rest, whose four quarters round N then read
    // them in any order.
    straddleFirst_ = area_.r1 + 1;
    for (int r = area_.r0; r <= area_.r1; ++r)
      if (std::fabs(r - nv_) < 1) straddleFirst_ = std::min(straddleFirst_, r);
    straddleColumn_ = area_.c1 + 1;
    for (int c = area_.c1; c >= area_.c0; --c)
      if (std::fabs(c - nu_) < 1) straddleColumn_ = c, ++straddleColumns_;
    const size_t kept = static_cast<size_t>(area_.Columns()) * kKeptRows;
    keptRowStart_.resize(static_cast<size_t>(area_.Rows()));
    columnStart_.resize(keptRowStart_.size());
    rowLambda_.resize(keptRowStart_.size());
    for (int r = area_.r0; r <= area_.r1; ++r) {
      keptRowStart_[r - area_.r0] = static_cast<size_t>(KeptRow(r)) * area_.Columns();
      // In a row less than a row from N, the columns near N are in the
      // row's kept row; in any other, in the whole columns.
      columnStart_[r - area_.r0] = std::fabs(r - nv_) < 1
                                       ? keptRowStart_[r - area_.r0] + (straddleColumn_ - area_.c0)
                                       : kept + static_cast<size_t>(r - area_.r0) * 2;
      rowLambda_[r - area_.r0] = Lambda(std::fabs(r - nv_));
    }
    columnLambda_.resize(static_cast<size_t>(area_.Columns()));
    for (int c = area_.c0; c <= area_.c1; ++c) columnLambda_[c - area_.c0] = Lambda(std::fabs(c - nu_));
    columnsLess1_ = g_.columns - 1;
    rowsLess1_ = g_.rows - 1;
    horizon_.assign(kept + static_cast<size_t>(area_.Rows()) * 2, std::numeric_limits<float>::infinity());
    witness_.assign(horizon_.size(), 0);
  }

  // Runs over the area, calling decide(column, row, z, verdict, proven,
  // tally) for each cell in the order of the sweep; the verdict is kHidden or
  // kSeen when the sweep has decided it (proven: by the slopes), kNotInView
  // when the cell needs the exact check.
  // The calling thread's tally is passed along; their sum is returned.
  template <typename Decide>
  SweepStats Run(Decide&& decide) {
    std::vector<int> columns(static_cast<size_t>(area_.Columns())), rows(static_cast<size_t>(area_.Rows()));
    std::iota(columns.begin(), columns.end(), area_.c0);
    std::iota(rows.begin(), rows.end(), area_.r0);
    const auto byU = [this](int a, int b) { return std::fabs(a - nu_) < std::fabs(b - nu_); };
    const auto byV = [this](int a, int b) { return std::fabs(a - nv_) < std::fabs(b - nv_); };
    std::stable_sort(columns.begin(), columns.end(), byU);
    std::stable_sort(rows.begin(), rows.end(), byV);
    // The rows less than a row from N depend on each other's nearer
    // columns: they go together, column by column.
    size_t straddling = 0;
    while (straddling < rows.size() && std::fabs(rows[straddling] - nv_) < 1) ++straddling;
    // Each thread counts in its own tally, on a cache line of its own: one
    // shared between the two would pass to and fro at every cell.
    struct alignas(64) Tally {
      SweepStats stats;
    };
    Tally tallies[5];  // the rows and columns near N, the four quarters
    for (const int c : columns)
      for (size_t n = 0; n < straddling; ++n) Cell(c, rows[n], decide, tallies[0].stats);
    // Beyond them the rows on either side of N depend only on their own
    // side's; in those rows, the columns less than a column from N only on
    // themselves (their stretch crosses the previous row between them),
    // and the columns on either side of those only on their own side's and
    // on them. The columns near N go first, then the four quarters round N
    // on the cores, the largest first, each row by row outward and along
    // each row outward.
    std::vector<int> sides[2], near, across[2];
    for (size_t n = straddling; n < rows.size(); ++n) sides[rows[n] > nv_ ? 0 : 1].push_back(rows[n]);
    for (const int c : columns) {
      if (std::fabs(c - nu_) < 1)
        near.push_back(c);
      else
        across[c > nu_ ? 0 : 1].push_back(c);
    }
    for (const std::vector<int>& side : sides)
      for (const int r : side)
        for (const int c : near) Cell(c, r, decide, tallies[0].stats);
    struct Quarter {
      const std::vector<int>* rows;
      const std::vector<int>* columns;
      size_t cells;
    };
    std::vector<Quarter> quarters;
    for (const std::vector<int>& side : sides)
      for (const std::vector<int>& part : across)
        if (!side.empty() && !part.empty()) quarters.push_back({&side, &part, side.size() * part.size()});
    std::stable_sort(quarters.begin(), quarters.end(),
                     [](const Quarter& a, const Quarter& b) { return a.cells > b.cells; });
    std::atomic<int> next{0};
    ForEachRange(static_cast<int>(quarters.size()), 1, [&](int, int) {
      for (int q = next++; q < static_cast<int>(quarters.size()); q = next++)
        for (const int r : *quarters[static_cast<size_t>(q)].rows)
          for (const int c : *quarters[static_cast<size_t>(q)].columns)
            Cell(c, r, decide, tallies[1 + q].stats);
    });
    SweepStats total;
    for (const Tally& tally : tallies) {
      total.inView += tally.stats.inView;
      total.checked += tally.stats.checked;
      total.proven += tally.stats.proven;
    }
    return total;
  }

 private:
  double Sample(int c, int r) const { return map_.z[static_cast<size_t>(r) * g_.columns + c]; }

  // The surface at (u, v): the bilinear patches, the edge half cells
  // clamped to the centres' box, the plane outside the map.
  [[gnu::always_inline]] double SurfaceAt(double u, double v) const {
    if (u >= 0 && u < columnsLess1_ && v >= 0 && v < rowsLess1_) {
      // Between the centres, the common case: no clamping to do.
      const int c = static_cast<int>(u), r = static_cast<int>(v);
      const double fu = u - c, fv = v - r;
      const double* z = map_.z.data() + static_cast<size_t>(r) * g_.columns + c;
      return (1 - fv) * ((1 - fu) * z[0] + fu * z[1]) +
             fv * ((1 - fu) * z[g_.columns] + fu * z[g_.columns + 1]);
    }
    if (!(u >= -0.5 && u < g_.columns - 0.5 && v >= -0.5 && v < g_.rows - 0.5)) return 0;
    u = std::clamp(u, 0.0, static_cast<double>(g_.columns - 1));
    v = std::clamp(v, 0.0, static_cast<double>(g_.rows - 1));
    const int c = std::min(static_cast<int>(u), std::max(g_.columns - 2, 0));
    const int r = std::min(static_cast<int>(v), std::max(g_.rows - 2, 0));
    const double fu = g_.columns > 1 ? u - c : 0, fv = g_.rows > 1 ? v - r : 0;
    const int c1 = std::min(c + 1, g_.columns - 1), r1 = std::min(r + 1, g_.rows - 1);
    return (1 - fv) * ((1 - fu) * Sample(c, r) + fu * Sample(c1, r)) +
           fv * ((1 - fu) * Sample(c, r1) + fu * Sample(c1, r1));
  }

  // The float next below f, as std::nextafter towards minus infinity, for a
  // finite f: inline, without the library call.
  static float Below(float f) {
    if (f == 0) return -std::numeric_limits<float>::denorm_min();
    const auto bits = std::bit_cast<std::uint32_t>(f);
    return std::bit_cast<float>(f > 0 ? bits - 1 : bits + 1);
  }
  static float Down(double v) {
    float f = static_cast<float>(v);
    if (static_cast<double>(f) > v) f = Below(f);
    return f;
  }

  static constexpr int kKeptRows = 6;
  int KeptRow(int r) const {
    if (std::fabs(r - nv_) < 1) return r - straddleFirst_;
    return 2 + (r > nv_ ? 0 : 2) + (r & 1);
  }
  size_t At(int c, int r) const {
    const unsigned near = static_cast<unsigned>(c - straddleColumn_);
    if (near < static_cast<unsigned>(straddleColumns_)) return columnStart_[r - area_.r0] + near;
    return keptRowStart_[r - area_.r0] + (c - area_.c0);
  }
  // For a cell a whole row or column or more from N, along the axis it is
  // farther from N: the share of its stretch up to the line of centres
  // before it, (main - 1) / main, which depends on that one coordinate.
  static double Lambda(double main) { return (main - 1) / main; }
  bool InArea(int c, int r) const { return c >= area_.c0 && c <= area_.c1 && r >= area_.r0 && r <= area_.r1; }
  double DistanceSquared(double du, double dv) const {
    const double x = du * g_.cellX, y = dv * g_.cellY;
    return x * x + y * y;
  }
  double Distance(double du, double dv) const { return std::sqrt(DistanceSquared(du, dv)); }

  // Per cell, in units of the sight line's parameter t from the eye's foot
  // (0) to the cell's centre (1): over a stretch, the least of
  // (eye Z - surface Z) / t is the horizon; the cell is seen when it is not
  // less than eye Z - the cell's Z.
  // A cell proved seen by the slopes round it takes its own value as its
  // horizon (nothing before its centre is lower) without the look along its
  // stretch, which is made out of line.
  template <typename Decide>
  [[gnu::always_inline]] void Cell(int c, int r, Decide& decide, SweepStats& tally) {
    const double z = Sample(c, r);
    const double own = eye_.z - z;
    if (slopes_ != nullptr && slopes_->ProvesSeen(c, r, z, own, DistanceSquared(c - nu_, r - nv_))) {
      const size_t self = At(c, r);
      horizon_[self] = Down(own);
      witness_[self] = 0;
      decide(c, r, z, CellSight::kSeen, true, tally);
      return;
    }
    LookAlong(c, r, decide, tally);
  }

  template <typename Decide>
  [[gnu::noinline]] void LookAlong(int c, int r, Decide& decide, SweepStats& tally) {
    const double x = c - nu_, y = r - nv_;
    const double z = Sample(c, r);
    const double own = eye_.z - z;
    const size_t self = At(c, r);
    // Points of the cell's own stretch: the least found there (any point
    // below own proves the cell hidden) and where (t times the distance).
    const double distance = Distance(x, y);
    double actual = kInfinity, where = distance;
    const auto consider = [&](double t, double height = kNaN) {
      if (height != height) height = SurfaceAt(nu_ + x * t, nv_ + y * t);
      const double a = (eye_.z - height) / t;
      if (a < actual) {
        actual = a;
        where = t * distance;
      }
    };
    double carried = kInfinity, spread = 0;
    bool clear = false, worked = false, hiddenNear = false;
    const double ax = std::fabs(x), ay = std::fabs(y);
    if (ax >= 1 || ay >= 1) {
      // The line of centres the stretch crosses first towards N, at B: the
      // previous row's when it runs more along Y, else the previous
      // column's.
      const bool alongY = ay >= ax;
      const double lambda = alongY ? rowLambda_[r - area_.r0] : columnLambda_[c - area_.c0];
      const double across = alongY ? nu_ + x * lambda : nv_ + y * lambda;
      const int line = alongY ? r - (y > 0 ? 1 : -1) : c - (x > 0 ? 1 : -1);
      const int size = alongY ? g_.columns : g_.rows;
      if (across >= 0 && across <= size - 1) {
        const int i0 = static_cast<int>(across), i1 = std::min(i0 + 1, size - 1);
        const double w = across - i0;
        const int c0 = alongY ? i0 : line, r0 = alongY ? line : i0;
        const int c1 = alongY ? i1 : line, r1 = alongY ? line : i1;
        if (InArea(c0, r0) && InArea(c1, r1)) {
          worked = true;
          const size_t n0 = At(c0, r0), n1 = At(c1, r1);
          // The horizon up to B, interpolated between the two neighbours'
          // stretches in their own t, in the cell's t.
          const double h0 = horizon_[n0], h1 = w > 0 ? horizon_[n1] : h0;
          if (lambda > 0) {
            carried = ((1 - w) * h0 + w * h1) / lambda;
            // What makes the interpolation uncertain is not the
            // neighbours' difference in height (B's height is exact on the
            // line of centres) but how differently far their horizons lie
            // below their own values.
            const double d0 = eye_.z - Sample(c0, r0) - h0, d1 = eye_.z - Sample(c1, r1) - h1;
            spread = std::fabs(d1 - d0) / lambda;
            if (!(carried == carried)) carried = std::min(h0, h1) / lambda;
            if (!(spread == spread)) spread = kInfinity;
          }
          // From B to the centre the stretch lies within one patch, where
          // the surface's height along it is a quadratic in t: checked
          // exactly against the sight line.
          const double zb = SurfaceAt(nu_ + x * lambda, nv_ + y * lambda);
          const double mid = (1 + lambda) / 2;
          const double zm = SurfaceAt(nu_ + x * mid, nv_ + y * mid);
          // Over s = (t - lambda) / (1 - lambda) in [0, 1]: the sight line
          // less the surface, f(s) = f0 + B s + A s^2, 0 at s = 1.
          const double f0 = eye_.z - lambda * own - zb, fm = eye_.z - mid * own - zm;
          const double A = 2 * f0 - 4 * fm, B = -3 * f0 + 4 * fm;
          double least = std::min(f0, fm), lowest = f0 <= fm ? lambda : mid;
          if (A > 0) {
            const double v = -B / (2 * A);
            const double f = f0 + v * (B + v * A);
            if (v > 0 && v < 1 && f < least) {
              least = f;
              lowest = lambda + v * (1 - lambda);
            }
          }
          const double margin = 1e-10 * (std::fabs(eye_.z) + std::fabs(z) + std::fabs(zb) + std::fabs(zm));
          // Below the sight line within its own patch: hidden.
          hiddenNear = least < -margin;
          clear = least >= margin;
          if (lambda > 0) consider(lambda, zb);
          consider(mid, zm);
          if (lowest > 0 && lowest < 1 && lowest != lambda && lowest != mid) consider(lowest);
          // As far from N as the neighbours found their least.
          for (const size_t n : {n0, n1}) {
            const double t = witness_[n] / distance;
            if (t > 0 && t < 1) consider(t);
          }
        }
      }
    }
    if (!worked) {
      // Next to N, or entering the map from outside: points along the
      // stretch from N or from where it enters the map (over the plane
      // Z = 0 and the map's edge before), and the exact check.
      double from = 0;
      const auto enter = [&](double n, double d, int size) {
        if (n < -0.5 && d > 0) from = std::max(from, (-0.5 - n) / d);
        if (n > size - 0.5 && d < 0) from = std::max(from, (size - 0.5 - n) / d);
      };
      enter(nu_, x, g_.columns);
      enter(nv_, y, g_.rows);
      if (from > 0) {
        actual = eye_.z / from;
        where = from * distance;
      }
      for (int k = from > 0 ? 0 : 1; k < 8; ++k) consider(from + (1 - from) * k / 8);
      carried = actual;
    }
    const double horizon = std::min(carried, actual);
    CellSight verdict = CellSight::kNotInView;
    if (hiddenNear || actual < own - 1e-9 * std::fabs(own))
      verdict = CellSight::kHidden;
    else if (worked && clear && own <= horizon - (kSpreadShare * spread + 1e-6 * std::fabs(own)))
      verdict = CellSight::kSeen;
    if (own < horizon) {
      horizon_[self] = Down(own);
      witness_[self] = static_cast<float>(where);
    } else {
      horizon_[self] = Down(horizon);
      witness_[self] = static_cast<float>(where);
    }
    decide(c, r, z, verdict, false, tally);
  }

  const HeightMap& map_;
  const GridGeometry& g_;
  const Vec3 eye_;
  const SurfaceSlopes* slopes_;
  double nu_ = 0, nv_ = 0;
  bool outside_ = false;  // N outside the map
  CellBox area_;
  int straddleFirst_ = 0;                    // the first row less than a row from N
  int straddleColumn_ = 0;                   // the first column less than a column from N
  int straddleColumns_ = 0;                  // how many there are (0 to 2)
  std::vector<size_t> columnStart_;          // per row of the area, where its cells of those columns are kept
  double columnsLess1_ = 0, rowsLess1_ = 0;  // the last centre's column and row
  std::vector<size_t> keptRowStart_;         // per row of the area, where its kept row starts
  std::vector<double> rowLambda_;            // per row of the area, Lambda of its distance from N
  std::vector<double> columnLambda_;         // per column of the area, likewise
  // Over the kept rows of the area (see KeptRow): the horizon of the cell's
  // stretch up to its centre, as a float not greater.
  std::vector<float> horizon_;
  std::vector<float> witness_;  // the distance from N of the least found on its stretch before the centre
};

}  // namespace

SurfaceSlopes::SurfaceSlopes(const SurfaceIntersector& surface) : highest_(surface.MaxHeight()) {
  const HeightMap& map = surface.Map();
  const GridGeometry& g = map.grid;
  tileColumns_ = (g.columns + kTile - 1) / kTile;
  const int tileRows = (g.rows + kTile - 1) / kTile;
  // Per tile: the greatest difference between neighbouring samples along
  // each axis over the samples of the patches its cells' squares touch
  // (from the centre before the tile to the one after it), per metre; a
  // patch's slope along an axis lies between the differences of its two
  // sides along it.
  std::vector<double> slope(static_cast<size_t>(tileColumns_) * tileRows);
  ForEachRange(tileRows, 2, [&](int begin, int end) {
    for (int tr = begin; tr < end; ++tr) {
      const int r0 = std::max(tr * kTile - 1, 0), r1 = std::min(tr * kTile + kTile, g.rows - 1);
      for (int tc = 0; tc < tileColumns_; ++tc) {
        const int c0 = std::max(tc * kTile - 1, 0), c1 = std::min(tc * kTile + kTile, g.columns - 1);
        double across = 0, along = 0;
        for (int r = r0; r <= r1; ++r) {
          const double* z = map.z.data() + static_cast<size_t>(r) * g.columns;
          const double* next = r < r1 ? z + g.columns : nullptr;
          for (int c = c0; c <= c1; ++c) {
            if (c < c1) across = std::max(across, std::fabs(z[c + 1] - z[c]));
            if (next != nullptr) along = std::max(along, std::fabs(next[c] - z[c]));
          }
        }
        slope[static_cast<size_t>(tr) * tileColumns_ + tc] = std::hypot(across / g.cellX, along / g.cellY);
      }
    }
  });
  const double reach = kReach * std::min(g.cellX, g.cellY);
  reachSquared_ = reach * reach;
  // A cell takes the proof when the kReach cells on each side of it are in
  // the map: then no part of the stretch the proof looks at is beyond the
  // outermost centres. (On a map too small for that, every tile is at the
  // edge.)
  columnsInside_ = static_cast<unsigned>(std::max(g.columns - 1 - 2 * kReach, 0));
  rowsInside_ = static_cast<unsigned>(std::max(g.rows - 1 - 2 * kReach, 0));
  around_.assign(slope.size(), kInfinity);
  for (int tr = 1; tr + 1 < tileRows; ++tr)
    for (int tc = 1; tc + 1 < tileColumns_; ++tc) {
      double most = 0;
      for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
          most = std::max(most, slope[static_cast<size_t>(tr + dr) * tileColumns_ + tc + dc]);
      around_[static_cast<size_t>(tr) * tileColumns_ + tc] = most;
    }
}

namespace {

// The sweep over `box` with each cell in view's verdict handed to visit, the
// cells it leaves undecided given the exact sight-line check.
template <typename InView, typename Visit>
SweepStats SweepCells(const SurfaceIntersector& surface, const Vec3& eye, const CellBox& box,
                      const SurfaceSlopes* slopes, const InView& inView, const Visit& visit) {
  if (box.Columns() <= 0 || box.Rows() <= 0) return {};
  const GridGeometry& g = surface.Map().grid;
  Sweep sweep(surface, eye, box, slopes);
  return sweep.Run([&](int c, int r, double z, CellSight verdict, bool proven, SweepStats& tally) {
    if (c < box.c0 || c > box.c1 || r < box.r0 || r > box.r1) return;
    const Vec3 p{g.originX + (c + 0.5) * g.cellX, g.originY + (r + 0.5) * g.cellY, z};
    if (!inView(p)) return;
    ++tally.inView;
    tally.proven += proven;
    if (verdict == CellSight::kNotInView) {
      ++tally.checked;
      verdict = surface.Hidden(p, eye) ? CellSight::kHidden : CellSight::kSeen;
    }
    visit(c, r, verdict);
  });
}

}  // namespace

SweepStats SweepCounts(const SurfaceIntersector& surface, const Vec3& eye, const CellBox& box,
                       const FrameView& view, std::uint32_t* seen, std::uint32_t* hidden,
                       const SurfaceSlopes* slopes) {
  const size_t columns = static_cast<size_t>(surface.Map().grid.columns);
  return SweepCells(
      surface, eye, box, slopes, [&view](const Vec3& p) { return view.Sees(p); },
      [&](int c, int r, CellSight s) {
        const size_t index = static_cast<size_t>(r) * columns + c;
        if (s == CellSight::kSeen)
          ++seen[index];
        else if (hidden != nullptr)
          ++hidden[index];
      });
}

void SweepVisibilityEach(const SurfaceIntersector& surface, const Vec3& eye, const CellBox& box,
                         const std::function<bool(const Vec3&)>& inView,
                         const std::function<void(int, int, CellSight)>& visit, SweepStats* stats,
                         const SurfaceSlopes* slopes) {
  const SweepStats total = SweepCells(surface, eye, box, slopes, inView, visit);
  if (stats != nullptr) *stats = total;
}

std::vector<CellSight> SweepVisibility(const SurfaceIntersector& surface, const Vec3& eye, const CellBox& box,
                                       const std::function<bool(const Vec3&)>& inView, SweepStats* stats,
                                       const SurfaceSlopes* slopes) {
  std::vector<CellSight> out(static_cast<size_t>(std::max(box.Columns(), 0)) * std::max(box.Rows(), 0),
                             CellSight::kNotInView);
  SweepVisibilityEach(
      surface, eye, box, inView,
      [&](int c, int r, CellSight verdict) {
        out[static_cast<size_t>(r - box.r0) * box.Columns() + (c - box.c0)] = verdict;
      },
      stats, slopes);
  return out;
}

}  // namespace skarvel
