// Speed of the relief's ray work, the plain cell walk against the pyramid,
// on the relief of bench/relief_scale.sh (2048 x 2048 cells of 2 mm, hills
// and ridges up to 0.12 m high):
//
//   build/bench/relief_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// The rays are those of frames seen from about 1 m: per frame, the lines of
// sight through a border of 896 points round a footprint of about
// 0.8 x 0.6 m, and the sight lines from a 64 x 64 lattice of surface points
// (cell centres) over the footprint back to the camera. Arguments: blocks 0
// the cell walk, 1 the pyramid; bilinear 2 the patch walk, 3 the min/max
// tree. BM_ReliefCoverage: the visibility of the 512 x 512 cells round the
// middle of the map from 4 m over it, 0 the horizon sweep, 1 a bilinear sight
// line per cell over the tree; BM_ReliefCoverageWholeMap: the sweep over the
// whole map from 16 m.
//
// The visible share: the cells under the ground quadrilateral of each of 8
// of those frames (about 120,000 each), every line of sight walked against
// the count with the sight bounds (relief/relief_figures.h); and the bounds
// made for the whole map.

#include "relief/coverage_sweep.h"
#include "relief/relief_figures.h"
#include "relief/relief_surface.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace skarvel;

const HeightMap& BenchRelief() {
  static const HeightMap map = [] {
    HeightMap m;
    const int n = 2048;
    const double cell = 0.002;
    m.grid = {n, n, 0, 0, cell, cell};
    m.z.resize(static_cast<size_t>(n) * n);
    for (int row = 0; row < n; ++row) {
      const double y = (row + 0.5) * cell;
      for (int column = 0; column < n; ++column) {
        const double x = (column + 0.5) * cell;
        // As the bench script's map, stored in float.
        const double h = 0.04 * (std::sin(x * 3.1) * std::cos(y * 2.3) + 1) +
                         0.05 * std::pow(std::max(0.0, std::sin(x * 9.7 + y * 4.1)), 8);
        m.z[static_cast<size_t>(row) * n + column] = static_cast<float>(h);
      }
    }
    return m;
  }();
  return map;
}

struct Frame {
  Vec3 eye;
  std::vector<Vec3> border;   // directions of the border rays
  std::vector<Vec3> lattice;  // surface points under the footprint
};

const std::vector<Frame>& BenchFrames(const SurfaceIntersector& surface) {
  static const std::vector<Frame> frames = [&] {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<Frame> out;
    for (int i = 0; i < 64; ++i) {
      Frame f;
      const double cx = 0.5 + 3.1 * unit(random), cy = 0.5 + 3.1 * unit(random);
      const double turn = 2 * std::numbers::pi * unit(random);
      // A few degrees off the nadir.
      f.eye = {cx + 0.1 * (unit(random) - 0.5), cy + 0.1 * (unit(random) - 0.5),
               1 + 0.1 * (unit(random) - 0.5)};
      const auto ground = [&](double u, double v) {
        const double x = 0.8 * (u - 0.5), y = 0.6 * (v - 0.5);
        return Vec3{cx + x * std::cos(turn) - y * std::sin(turn),
                    cy + x * std::sin(turn) + y * std::cos(turn), 0};
      };
      const double corners[5][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
      const int perSide[4] = {256, 192, 256, 192};
      for (int side = 0; side < 4; ++side)
        for (int k = 0; k < perSide[side]; ++k) {
          const double s = static_cast<double>(k) / perSide[side];
          const Vec3 p = ground(corners[side][0] + (corners[side + 1][0] - corners[side][0]) * s,
                                corners[side][1] + (corners[side + 1][1] - corners[side][1]) * s);
          f.border.push_back({p.x - f.eye.x, p.y - f.eye.y, p.z - f.eye.z});
        }
      for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 64; ++c) {
          // At cell centres, as the visible share's lattice.
          const Vec3 g = ground((c + 0.5) / 64, (r + 0.5) / 64);
          const Vec3 p{(std::floor(g.x / 0.002) + 0.5) * 0.002, (std::floor(g.y / 0.002) + 0.5) * 0.002, 0};
          f.lattice.push_back({p.x, p.y, surface.HeightAt(p.x, p.y)});
        }
      out.push_back(std::move(f));
    }
    return out;
  }();
  return frames;
}

std::unique_ptr<SurfaceIntersector> Make(int kind) {
  switch (kind) {
    case 0:
      return MakeCellWalkIntersector(BenchRelief());
    case 1:
      return MakePyramidIntersector(BenchRelief());
    case 2:
      return MakeBilinearWalkIntersector(BenchRelief());
    default:
      return MakeBilinearTreeIntersector(BenchRelief());
  }
}

void BM_ReliefBorderRays(benchmark::State& state) {
  const auto surface = Make(static_cast<int>(state.range(0)));
  const std::vector<Frame>& frames = BenchFrames(*surface);
  long long rays = 0;
  for (auto _ : state) {
    for (const Frame& f : frames)
      for (const Vec3& d : f.border) benchmark::DoNotOptimize(surface->FirstHit({f.eye, d}));
    rays += static_cast<long long>(frames.size() * frames[0].border.size());
  }
  state.counters["ns_per_ray"] = benchmark::Counter(
      static_cast<double>(rays), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReliefBorderRays)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_ReliefSightLines(benchmark::State& state) {
  const auto surface = Make(static_cast<int>(state.range(0)));
  const std::vector<Frame>& frames = BenchFrames(*surface);
  long long lines = 0;
  for (auto _ : state) {
    for (const Frame& f : frames)
      for (const Vec3& p : f.lattice) benchmark::DoNotOptimize(surface->Hidden(p, f.eye));
    lines += static_cast<long long>(frames.size() * frames[0].lattice.size());
  }
  state.counters["ns_per_line"] = benchmark::Counter(
      static_cast<double>(lines), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReliefSightLines)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_ReliefPyramidBuild(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(MakePyramidIntersector(BenchRelief()));
}
BENCHMARK(BM_ReliefPyramidBuild)->Unit(benchmark::kMillisecond);

void BM_ReliefTreeBuild(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(MakeBilinearTreeIntersector(BenchRelief()));
}
BENCHMARK(BM_ReliefTreeBuild)->Unit(benchmark::kMillisecond);

// Arguments: the intersector (as above), then 0 every line of sight walked,
// 1 with the sight bounds.
void BM_ReliefVisibleShare(benchmark::State& state) {
  const auto surface = Make(static_cast<int>(state.range(0)));
  const std::vector<Frame>& frames = BenchFrames(*surface);
  // Bounds of another grid cover nothing: every line is walked.
  HeightMap other;
  other.grid = {1, 1, 0, 0, 1, 1};
  other.z = {0};
  const auto otherSurface = MakeCellWalkIntersector(other);
  const SightBounds none(*otherSurface);
  const SightBounds bounds(*surface);
  const SightBounds& used = state.range(1) == 0 ? none : bounds;
  std::vector<std::vector<ScenePoint>> outlines;
  for (size_t i = 0; i < 8; ++i) {
    const Frame& f = frames[i];
    std::vector<ScenePoint> outline;
    // The border's corners come down to the plane at 0.
    for (size_t k : {0, 256, 448, 704}) {
      const Vec3& d = f.border[k];
      const double t = -f.eye.z / d.z;
      outline.push_back({f.eye.x + t * d.x, f.eye.y + t * d.y});
    }
    outlines.push_back(std::move(outline));
  }
  for (auto _ : state)
    for (size_t i = 0; i < outlines.size(); ++i)
      benchmark::DoNotOptimize(VisiblePercent(outlines[i], frames[i].eye, *surface, used));
}
BENCHMARK(BM_ReliefVisibleShare)->ArgsProduct({{1, 3}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_ReliefSightBoundsBuild(benchmark::State& state) {
  const auto surface = Make(3);
  for (auto _ : state) benchmark::DoNotOptimize(SightBounds(*surface));
}
BENCHMARK(BM_ReliefSightBoundsBuild)->Unit(benchmark::kMillisecond);

void BM_ReliefCoverage(benchmark::State& state) {
  const auto surface = MakeBilinearTreeIntersector(BenchRelief());
  const CellBox box{768, 1279, 768, 1279};
  const Vec3 eye{2.05, 2.03, 4};
  const auto all = [](const Vec3&) { return true; };
  long long cells = 0, seen = 0;
  for (auto _ : state) {
    if (state.range(0) == 0) {
      for (const CellSight s : SweepVisibility(*surface, eye, box, all)) seen += s == CellSight::kSeen;
    } else {
      const GridGeometry& g = surface->Map().grid;
      for (int r = box.r0; r <= box.r1; ++r)
        for (int c = box.c0; c <= box.c1; ++c) {
          const Vec3 p{(c + 0.5) * g.cellX, (r + 0.5) * g.cellY,
                       surface->Map().z[static_cast<size_t>(r) * g.columns + c]};
          seen += !surface->Hidden(p, eye);
        }
    }
    cells += static_cast<long long>(box.Columns()) * box.Rows();
  }
  benchmark::DoNotOptimize(seen);
  state.counters["ns_per_cell"] = benchmark::Counter(
      static_cast<double>(cells), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReliefCoverage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The sweep over the whole map from 16 m over its middle, as the high frame of
// bench/coverage_vs_viewshed.sh, each verdict handed on as it is made, without
// the slopes' proofs (0) and with them (1, as a coverage runs it); the shares
// of the cells the exact check decided and the slopes proved seen.
void BM_ReliefCoverageWholeMap(benchmark::State& state) {
  const auto surface = MakeBilinearTreeIntersector(BenchRelief());
  const GridGeometry& g = surface->Map().grid;
  const SurfaceSlopes slopes(*surface);
  const CellBox box{0, g.columns - 1, 0, g.rows - 1};
  const Vec3 eye{2.05, 2.03, 16};
  std::vector<unsigned char> seen(static_cast<size_t>(g.columns) * g.rows);
  SweepStats stats;
  long long cells = 0;
  for (auto _ : state) {
    SweepVisibilityEach(
        *surface, eye, box, [](const Vec3&) { return true; },
        [&](int c, int r, CellSight s) {
          seen[static_cast<size_t>(r) * g.columns + c] = s == CellSight::kSeen;
        },
        &stats, state.range(0) == 1 ? &slopes : nullptr);
    cells += stats.inView;
  }
  benchmark::DoNotOptimize(seen.data());
  state.counters["ns_per_cell"] = benchmark::Counter(
      static_cast<double>(cells), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["checked_pct"] =
      100.0 * static_cast<double>(stats.checked) / static_cast<double>(stats.inView);
  state.counters["proven_pct"] =
      100.0 * static_cast<double>(stats.proven) / static_cast<double>(stats.inView);
}
BENCHMARK(BM_ReliefCoverageWholeMap)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Making the slopes of the bench's map, once per coverage.
void BM_ReliefSlopesBuild(benchmark::State& state) {
  const auto surface = MakeBilinearTreeIntersector(BenchRelief());
  for (auto _ : state) benchmark::DoNotOptimize(SurfaceSlopes(*surface).Highest());
}
BENCHMARK(BM_ReliefSlopesBuild)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
