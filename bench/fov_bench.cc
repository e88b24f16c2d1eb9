// Speed of the field-of-view work on long lists: the load (reading,
// projection, drawing), the footprint figures, both together, and the
// overlap step alone on a survey of distinct footprints, and the exports
// of the figures a relief gives.
//
//   build/bench/fov_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// The lists repeat the six sample frames (samples/fov), as the scale goals
// are stated: frames 7 on stay where they were projected, so each of the
// sample footprints is repeated over and over on the same spot. The survey
// benchmark has no repeats: strips of frames with 60 % forward and 30 % side
// overlap, each turned and stretched a little, so that every frame has its
// own outline and about eight neighbours; it runs with the convex pieces and
// with GEOS's overlays.

#include "footprints/footprint_export.h"
#include "footprints/footprint_figures.h"
#include "fov/coverage_picture.h"
#include "fov/fov_scene.h"
#include "platform/files.h"
#include "platform/numbers.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>

namespace {

using namespace skarvel;

// The sample scene copied into a temporary folder, with lists of n frames.
class Lists {
 public:
  Lists() {
    const QString from = QStringLiteral(SKARVEL_SOURCE_DIR "/samples/fov");
    QDir(dir_.path()).mkpath("cameras");
    for (const QString& sub : {QString(), QStringLiteral("cameras")}) {
      const QDir samples(from + "/" + sub);
      for (const QString& name : samples.entryList(QDir::Files))
        QFile::copy(samples.filePath(name), dir_.filePath(sub.isEmpty() ? name : sub + "/" + name));
    }
  }
  QString List(int frames) {
    const QString name = dir_.filePath(QStringLiteral("big%1.lst").arg(frames));
    if (QFile::exists(name)) return name;
    QByteArray text = "// generated\r\n";
    for (int n = 0; n < frames; ++n) {
      const int k = n % 6 + 1;
      text += "frame" + QByteArray::number(k) + ".ort ; geometry\r\ncameras\\camera_" + (k == 6 ? "b" : "a") +
              ".cam ; camera\r\n";
    }
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) std::abort();
    return name;
  }

 private:
  QTemporaryDir dir_;
};

Lists& SampleLists() {
  static Lists lists;
  return lists;
}

void BM_FovLoad(benchmark::State& state) {
  SetDecimalSeparatorOverride(u'.');
  const QString list = SampleLists().List(static_cast<int>(state.range(0)));
  FovScene scene;
  for (auto _ : state) scene.LoadFovList(list, TOrientationSystem::Bench);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FovLoad)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_FovFigures(benchmark::State& state) {
  SetDecimalSeparatorOverride(u'.');
  FovScene scene;
  scene.LoadFovList(SampleLists().List(static_cast<int>(state.range(0))), TOrientationSystem::Bench);
  for (auto _ : state) {
    const SceneFigures figures = ComputeFootprintFigures(scene);
    benchmark::DoNotOptimize(figures.unionArea);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FovFigures)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Load, projection, drawing and figures: the goal's "1,000 frames under
// 100 ms" (process start aside).
void BM_FovLoadAndFigures(benchmark::State& state) {
  SetDecimalSeparatorOverride(u'.');
  const QString list = SampleLists().List(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    FovScene scene;
    scene.LoadFovList(list, TOrientationSystem::Bench);
    const SceneFigures figures = ComputeFootprintFigures(scene);
    benchmark::DoNotOptimize(figures.unionArea);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FovLoadAndFigures)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A survey of n distinct footprints: strips of 100 frames of about 100 x 80,
// 40 apart along a strip and 56 across.
const std::vector<SceneQuad>& Survey(int n) {
  static std::map<int, std::vector<SceneQuad>> made;
  auto& quads = made[n];
  if (!quads.empty()) return quads;
  std::uint32_t state = 2024;
  auto jitter = [&](double range) {
    state = state * 1664525u + 1013904223u;
    return range * (static_cast<double>(state >> 8) / (1u << 24) - 0.5);
  };
  for (int i = 0; i < n; ++i) {
    const double cx = 40.0 * (i % 100) + jitter(4), cy = 56.0 * (i / 100) + jitter(4);
    const double turn = jitter(0.06), c = std::cos(turn), s = std::sin(turn);
    const double near = 50 + jitter(4), far = 50 + jitter(8), half = 40 + jitter(3);
    const double corners[4][2] = {{-near, half}, {near, half}, {far, -half}, {-far, -half}};
    SceneQuad quad;
    for (int k = 0; k < 4; ++k)
      quad[k] = {cx + c * corners[k][0] - s * corners[k][1], cy + s * corners[k][0] + c * corners[k][1]};
    quads.push_back(quad);
  }
  return quads;
}

// Arg 1: 0 the convex pieces, 1 GEOS's overlays (a concave outline far from
// the survey sends the whole computation there), side by side in one run.
void BM_SurveyOverlaps(benchmark::State& state) {
  std::vector<SceneQuad> quads = Survey(static_cast<int>(state.range(0)));
  if (state.range(1) == 1)
    quads.push_back({{{-1e4, -1e4}, {-1e4 + 10, -1e4}, {-1e4 + 5, -1e4 + 2}, {-1e4 + 5, -1e4 + 10}}});
  const std::vector<bool> leftOut(quads.size(), false);
  for (auto _ : state) {
    const OverlapFigures o = ComputeOverlaps(quads, leftOut);
    benchmark::DoNotOptimize(o.unionArea);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SurveyOverlaps)->ArgsProduct({{1000, 10000, 100000}, {0, 1}})->Unit(benchmark::kMillisecond);

// n frames as a relief gives them: each outline a ring of 897 points
// (the border rays' first hits) round a footprint of about 0.2 x 0.15,
// every coordinate with the full digits of a computed value.
const SceneFigures& ReliefFigures(int n) {
  static std::map<int, SceneFigures> made;
  SceneFigures& figures = made[n];
  if (!figures.frames.empty()) return figures;
  std::uint64_t state = 7;
  auto next = [&] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  for (int i = 0; i < n; ++i) {
    FrameFigures f;
    f.frame = i + 1;
    f.name = QStringLiteral("frames\\f%1.ort").arg(i);
    const double cx = 0.15 * (i % 100) + next() * 0.01, cy = 0.1 * (i / 100) + next() * 0.01;
    f.corners = {
        {{cx - 0.1, cy + 0.07}, {cx + 0.1, cy + 0.07}, {cx + 0.11, cy - 0.08}, {cx - 0.11, cy - 0.08}}};
    f.area = 0.03 + next() * 1e-3;
    f.gsdRow = 1.1e-4 + next() * 1e-6;
    f.gsdColumn = 1.1e-4 + next() * 1e-6;
    f.stripNeighbour = i % 100 ? i : 0;
    if (f.stripNeighbour > 0) f.stripOverlapPercent = 60 + next();
    f.overlapPercent = 90 + next();
    FrameRelief r;
    for (int k = 0; k < 897; ++k) {
      const double t = 2 * M_PI * k / 897, radius = 0.1 + 0.01 * next();
      r.outline.push_back({cx + radius * std::cos(t), cy + 0.75 * radius * std::sin(t)});
    }
    r.area = 0.029 + next() * 1e-3;
    r.visiblePercent = 95 + next();
    r.gsdRow = 1.1e-4 + next() * 1e-6;
    r.gsdColumn = 1.1e-4 + next() * 1e-6;
    figures.frames.push_back(f);
    figures.relief.push_back(std::move(r));
  }
  return figures;
}

double ProcessSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The exports of 2,048 relief frames (about 70 MB of CSV, 75 MB of
// GeoJSON) as the command writes them, formatted on every core: Arg 0 the
// CSV, 1 the GeoJSON, 2 both. The files go to memory (/dev/shm where there
// is one), so that the disk's time is left out. Items are the numbers
// written; the counter cpu_s is the CPU time of every thread per run, the
// time shown the real time.
QString MemoryFolder() {
  return QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/fov_bench-XXXXXX") : QString();
}

void BM_ReliefExports(benchmark::State& state) {
  SetDecimalSeparatorOverride(u'.');
  const SceneFigures& figures = ReliefFigures(2048);
  QTemporaryDir dir(MemoryFolder());
  const QString csv = state.range(0) != 1 ? dir.filePath("relief.csv") : QString();
  const QString geojson = state.range(0) != 0 ? dir.filePath("relief.geojson") : QString();
  double cpu = 0;
  for (auto _ : state) {
    const double before = ProcessSeconds();
    WriteFootprintExports(csv, geojson, figures, {});
    cpu += ProcessSeconds() - before;
  }
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(figures.frames.size()) * (2 * 898 + 20) *
                          (state.range(0) == 2 ? 2 : 1));
}
BENCHMARK(BM_ReliefExports)->Arg(0)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// What writing those bytes takes without making them: the CSV's (Arg 0) or
// the GeoJSON's (Arg 1) size, written in blocks of 64 KiB to a file in the
// same place. The formatting's share is the export's time less this.
void BM_ReliefExportsFloor(benchmark::State& state) {
  const SceneFigures& figures = ReliefFigures(2048);
  const qint64 size = (state.range(0) == 0 ? FootprintsCsv(figures) : FootprintsGeoJson(figures)).size();
  const std::string block(1 << 16, 'x');
  QTemporaryDir dir(MemoryFolder());
  double cpu = 0;
  for (auto _ : state) {
    const double before = ProcessSeconds();
    WriteFileAtomically(dir.filePath("floor"), [&](const ByteSink& sink) {
      for (qint64 done = 0; done < size; done += static_cast<qint64>(block.size()))
        sink(block.data(), std::min<qint64>(static_cast<qint64>(block.size()), size - done));
    });
    cpu += ProcessSeconds() - before;
  }
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ReliefExportsFloor)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The coverage view's picture of a rolling relief, one pixel a cell from 512
// cells on: Arg 0 the map's side (Arg 1 = 0 the bilinear shading per pixel,
// 1 the blocks' tone per cell). Every cell seen by a frame or hidden, so
// that each one takes its tinted fill.
void BM_CoveragePicture(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  HeightMap map;
  map.grid = {side, side, 0, 0, 1, 1};
  map.z.resize(static_cast<size_t>(side) * side);
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c)
      map.z[static_cast<size_t>(r) * side + c] = 8 * std::sin(c * 0.05) * std::cos(r * 0.037);
  std::vector<std::uint32_t> counts(map.z.size()), hidden(map.z.size());
  for (size_t i = 0; i < counts.size(); ++i) (i % 3 == 0 ? hidden : counts)[i] = 1 + i % 5;
  const ReliefSurfaceModel model =
      state.range(1) == 0 ? ReliefSurfaceModel::kBilinear : ReliefSurfaceModel::kBlocks;
  for (auto _ : state) benchmark::DoNotOptimize(CoveragePicture(map, counts, hidden, {}, model));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(map.z.size()));
}
BENCHMARK(BM_CoveragePicture)->ArgsProduct({{192, 2048}, {0, 1}})->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
