#include "relief/relief_figures.h"

#include "geometry/polygon.h"
#include "platform/error.h"
#include "platform/float_checks.h"
#include "platform/parallel.h"
#include "relief/coverage_sweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

namespace skarvel {

namespace {

// Border rays per side at most: a frame described with an absurd size must
// not make the computation endless.
constexpr double kMaxRaysPerSide = 1 << 16;
// Lattice points of the visible share per axis at most.
constexpr int kLatticeSide = 64;
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

// Lattice coordinates along one axis of the box: the cell centres of the
// map's lattice (extended beyond the map), every k-th of them when there are
// more than kLatticeSide; for a box only a few cells wide, kLatticeSide
// points spread evenly across it.
std::vector<double> LatticeAxis(double lo, double hi, double origin, double cell) {
  std::vector<double> values;
  if (!(hi > lo)) return values;
  const double first = std::ceil((lo - origin) / cell - 0.5), last = std::floor((hi - origin) / cell - 0.5);
  const double count = last - first + 1;
  if (count >= 16) {
    // Counted in whole steps: far from the origin adding a step to the index
    // might not change it.
    const double step = std::ceil(count / kLatticeSide);
    const int points = static_cast<int>(std::floor((count - 1) / step)) + 1;
    for (int k = 0; k < points; ++k) values.push_back(origin + (first + k * step + 0.5) * cell);
  } else {
    for (int i = 0; i < kLatticeSide; ++i) values.push_back(lo + (i + 0.5) * (hi - lo) / kLatticeSide);
  }
  return values;
}

bool CameraAboveSurface(const FrameRays& rays, const SurfaceIntersector& surface) {
  const Vec3& s = rays.Centre();
  return Finite(s) && s.z > surface.HeightAt(s.x, s.y);
}

}  // namespace

FrameRays::FrameRays(const FrameProjection& projection) : dlt_(projection.dlt), divisor_(projection.divisor) {
  const auto& L = dlt_.L;
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
  left_ = std::min(corners[0].x, corners[1].x);
  right_ = std::max(corners[0].x, corners[1].x);
  bottom_ = std::min(corners[0].y, corners[2].y);
  top_ = std::max(corners[0].y, corners[2].y);
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

bool FrameRays::Sees(const Vec3& p) const {
  const auto& L = dlt_.L;
  const double w = L[8] * p.x + L[9] * p.y + L[10] * p.z + 1;
  if (!(divisor_ * w < 0)) return false;
  const double x = (L[0] * p.x + L[1] * p.y + L[2] * p.z + L[3]) / w;
  const double y = (L[4] * p.x + L[5] * p.y + L[6] * p.z + L[7]) / w;
  return x >= left_ && x <= right_ && y >= bottom_ && y <= top_;
}

FrameRelief ComputeFrameRelief(const FrameProjection& projection, const SurfaceIntersector& surface) {
  FrameRelief out;
  const FrameRays rays(projection);
  if (!CameraAboveSurface(rays, surface)) {
    out.cameraBelowSurface = out.missesSurface = true;
    return out;
  }

  // The border, A to B to C to D and back, every 8 pixels or less.
  const std::array<ImagePoint, 4> corners = FrameCorners(projection.camera);
  const auto raysAlong = [](double pixels) {
    return static_cast<int>(std::clamp(std::ceil(std::fabs(pixels) / 8), 1.0, kMaxRaysPerSide));
  };
  const int perSide[4] = {raysAlong(projection.camera.FrameWidth), raysAlong(projection.camera.FrameHeight),
                          raysAlong(projection.camera.FrameWidth), raysAlong(projection.camera.FrameHeight)};
  std::vector<ScenePoint> outline;
  outline.reserve(static_cast<size_t>(2 * (perSide[0] + perSide[1])));
  for (int side = 0; side < 4 && !out.missesSurface; ++side) {
    const ImagePoint& a = corners[side];
    const ImagePoint& b = corners[(side + 1) % 4];
    for (int k = 0; k < perSide[side]; ++k) {
      const double f = static_cast<double>(k) / perSide[side];
      const auto hit = FirstHitPoint(rays, surface, a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f);
      if (!hit) {
        out.missesSurface = true;
        break;
      }
      outline.push_back({hit->x, hit->y});
    }
  }

  // Sample distances: the rays half a pixel either side of the principal
  // point, on the level of the principal ray's first hit.
  const Ray principal = rays.Through(0, 0);
  const auto level = [&](double x1, double y1, double x2, double y2) -> std::optional<double> {
    const std::optional<double> t = surface.FirstHit(principal);
    if (!t) return std::nullopt;
    const double z = principal.At(*t).z;
    const Ray a = rays.Through(x1, y1), b = rays.Through(x2, y2);
    if (!(a.direction.z < 0 && b.direction.z < 0 && z < a.origin.z)) return std::nullopt;
    const Vec3 pa = a.At((z - a.origin.z) / a.direction.z), pb = b.At((z - b.origin.z) / b.direction.z);
    const double d = std::hypot(pb.x - pa.x, pb.y - pa.y);
    return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
  };
  out.gsdRow = level(-0.5, 0, 0.5, 0);
  const double half = fp::ToDouble(fp::Divide(0.5L, projection.camera.RowScale));
  out.gsdColumn = level(0, half, 0, -half);
  if (out.missesSurface) return out;

  out.area = ShoelaceArea(outline);
  const GridGeometry& g = surface.Map().grid;
  const Box box = ViewBox(rays, surface, projection.camera, outline);
  long long inView = 0, seen = 0;
  if (!box.Empty()) {
    const std::vector<double> xs = LatticeAxis(box.x0, box.x1, g.originX, g.cellX);
    const std::vector<double> ys = LatticeAxis(box.y0, box.y1, g.originY, g.cellY);
    for (double y : ys) {
      for (double x : xs) {
        const Vec3 p{x, y, surface.HeightAt(x, y)};
        if (!rays.Sees(p)) continue;
        ++inView;
        if (!surface.Hidden(p, rays.Centre())) ++seen;
      }
    }
  }
  if (inView > 0) out.visiblePercent = 100.0 * static_cast<double>(seen) / static_cast<double>(inView);
  out.outline = std::move(outline);
  return out;
}

std::vector<FrameRelief> ComputeReliefFigures(std::span<const FrameProjection> frames,
                                              const SurfaceIntersector& surface) {
  std::vector<FrameRelief> out(frames.size());
  // Each core's thread takes the next frame not yet taken, so that a core
  // slowed by other work on the machine takes fewer of them.
  const int count = static_cast<int>(frames.size());
  std::atomic<int> next{0};
  ForEachRange(count, 8, [&](int, int) {
    for (int n = next++; n < count; n = next++)
      out[static_cast<size_t>(n)] = ComputeFrameRelief(frames[static_cast<size_t>(n)], surface);
  });
  return out;
}

std::function<std::vector<FrameRelief>(int, int)> ReliefBlocks(std::span<const FrameProjection> frames,
                                                               const SurfaceIntersector& surface) {
  return [frames, &surface](int begin, int end) {
    const int made = std::clamp(static_cast<int>(frames.size()) - begin, 0, end - begin);
    std::vector<FrameRelief> block;
    if (made > 0) block = ComputeReliefFigures(frames.subspan(static_cast<size_t>(begin), made), surface);
    block.resize(static_cast<size_t>(end - begin));
    return block;
  };
}

std::vector<std::uint32_t> ComputeCoverage(const std::vector<FrameProjection>& frames,
                                           const SurfaceIntersector& surface,
                                           std::vector<std::uint32_t>* hidden) {
  const GridGeometry& g = surface.Map().grid;
  const size_t cells = static_cast<size_t>(g.columns) * static_cast<size_t>(g.rows);
  std::vector<std::uint32_t> counts(cells, 0);
  if (hidden != nullptr) hidden->assign(cells, 0);
  std::mutex merge;
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
        const std::vector<CellSight> sight =
            SweepVisibility(surface, rays.Centre(), cellBox, [&rays](const Vec3& p) { return rays.Sees(p); });
        for (int r = r0; r <= r1; ++r)
          for (int c = c0; c <= c1; ++c) {
            const CellSight s = sight[static_cast<size_t>(r - r0) * cellBox.Columns() + (c - c0)];
            const size_t index = static_cast<size_t>(r) * g.columns + c;
            if (s == CellSight::kSeen)
              ++local[index];
            else if (s == CellSight::kHidden && hidden != nullptr)
              ++localHidden[index];
          }
        continue;
      }
      // Blocks: a sight line per cell.
      for (int r = r0; r <= r1; ++r) {
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
    }
    const std::lock_guard<std::mutex> lock(merge);
    for (size_t i = 0; i < cells; ++i) counts[i] += local[i];
    if (hidden != nullptr)
      for (size_t i = 0; i < cells; ++i) (*hidden)[i] += localHidden[i];
  });
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
