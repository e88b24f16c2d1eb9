// Speed of the field-of-view work on long lists: the load (reading,
// projection, drawing), the footprint figures, both together, and the
// overlap step alone on a survey of distinct footprints.
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

#include "fov/footprint_figures.h"
#include "fov/fov_scene.h"
#include "platform/numbers.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
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
