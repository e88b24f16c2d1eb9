// Speed of the bitmap operations on a 6000 x 4000 picture: each kernel in
// memory, and each whole run (load, compute, write) on a file.
//
//   build/bench/bitmap_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "colour/grey.h"
#include "colour/grey_statistics.h"
#include "cut/fragment.h"
#include "platform/bitmap_file.h"
#include "platform/picture_statistics.h"
#include "resampling/resample.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using namespace skarvel;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A deterministic picture with some structure, so that nothing is uniform.
const Bitmap& Source() {
  static const Bitmap picture = [] {
    Bitmap b = Bitmap::Colour(kWidth, kHeight);
    std::uint32_t state = 12345;
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t* p = b.row(y);
      for (int x = 0; x < kWidth; ++x, p += 3) {
        state = state * 1664525u + 1013904223u;
        p[0] = static_cast<std::uint8_t>((x + (state >> 28)) & 0xFF);
        p[1] = static_cast<std::uint8_t>((y + (state >> 24)) & 0xFF);
        p[2] = static_cast<std::uint8_t>(((x ^ y) + (state >> 26)) & 0xFF);
      }
    }
    return b;
  }();
  return picture;
}

const Bitmap& GreySource() {
  static const Bitmap picture = ComposeGrey(Source(), {});
  return picture;
}

// The source saved once as a 24-bit and an 8-bit file in a temporary folder.
struct Files {
  QTemporaryDir dir;
  Files() {
    SaveBitmap(Source(), dir.filePath("source.bmp"));
    SaveBitmap(GreySource(), dir.filePath("grey.bmp"));
  }
};
Files& SourceFiles() {
  static Files files;
  return files;
}

void BM_ResampleNearest(benchmark::State& state) {
  for (auto _ : state) {
    Bitmap out = ResampleImage(Source(), static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                               ResampleMethod::kNearest);
    benchmark::DoNotOptimize(out.pixels.data());
  }
}
BENCHMARK(BM_ResampleNearest)
    ->Args({3000, 2000})
    ->Args({2900, 1900})
    ->Args({4096, 4096})
    ->Unit(benchmark::kMillisecond);

void BM_ResampleBilinear(benchmark::State& state) {
  for (auto _ : state) {
    Bitmap out = ResampleImage(Source(), static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                               ResampleMethod::kBilinear);
    benchmark::DoNotOptimize(out.pixels.data());
  }
}
BENCHMARK(BM_ResampleBilinear)
    ->Args({3000, 2000})
    ->Args({2900, 1900})
    ->Args({4096, 4096})
    ->Unit(benchmark::kMillisecond);

void BM_ExtractFragment(benchmark::State& state) {
  for (auto _ : state) {
    Bitmap out = ExtractFragment(Source(), {1000, 1000, 3000, 3000});
    benchmark::DoNotOptimize(out.pixels.data());
  }
}
BENCHMARK(BM_ExtractFragment)->Unit(benchmark::kMillisecond);

// 0: defaults (equal weights), 1: arbitrary weights, 2: contrast 500,
// 3: weights 1, 1, 2 (a third of the values on integers: the most recomputed).
void BM_ComposeGrey(benchmark::State& state) {
  const ChannelSettings choices[] = {{}, {37, -12, 150, 73}, {0, 0, 0, 500}, {0, 0, 100, 50}};
  const ChannelSettings settings = choices[state.range(0)];
  Bitmap result;
  for (auto _ : state) {
    ComposeGrey(Source(), settings, result);
    benchmark::DoNotOptimize(result.pixels.data());
  }
}
BENCHMARK(BM_ComposeGrey)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_ComposeGreyFrom8Bit(benchmark::State& state) {
  Bitmap result;
  for (auto _ : state) {
    ComposeGrey(GreySource(), {37, -12, 150, 73}, result);
    benchmark::DoNotOptimize(result.pixels.data());
  }
}
BENCHMARK(BM_ComposeGreyFrom8Bit)->Unit(benchmark::kMillisecond);

// Whole runs: load the 6000 x 4000 file, compute, write the result.
void BM_LoadOnly(benchmark::State& state) {
  const QString file = SourceFiles().dir.filePath("source.bmp");
  for (auto _ : state) benchmark::DoNotOptimize(LoadBitmap(file).pixels.data());
}
BENCHMARK(BM_LoadOnly)->Unit(benchmark::kMillisecond);

void BM_LoadOnly8Bit(benchmark::State& state) {
  const QString file = SourceFiles().dir.filePath("grey.bmp");
  for (auto _ : state) benchmark::DoNotOptimize(LoadBitmap(file).pixels.data());
}
BENCHMARK(BM_LoadOnly8Bit)->Unit(benchmark::kMillisecond);

void BM_SaveOnly(benchmark::State& state) {
  const QString file = SourceFiles().dir.filePath("saved.bmp");
  for (auto _ : state) SaveBitmap(Source(), file);
}
BENCHMARK(BM_SaveOnly)->Unit(benchmark::kMillisecond);

void BM_RunResampling(benchmark::State& state) {
  Files& files = SourceFiles();
  const auto method = state.range(0) ? ResampleMethod::kBilinear : ResampleMethod::kNearest;
  for (auto _ : state) RunResampling(files.dir.path(), {"source.bmp"}, "3000", "2000", method);
}
BENCHMARK(BM_RunResampling)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RunFragmentExtraction(benchmark::State& state) {
  Files& files = SourceFiles();
  for (auto _ : state)
    RunFragmentExtraction(files.dir.path(), {"source.bmp"}, "1000", "1000", "3000", "3000");
}
BENCHMARK(BM_RunFragmentExtraction)->Unit(benchmark::kMillisecond);

void BM_RunGreyComposition(benchmark::State& state) {
  Files& files = SourceFiles();
  for (auto _ : state) RunGreyComposition(files.dir.path(), {"source.bmp"}, {37, -12, 150, 73});
}
BENCHMARK(BM_RunGreyComposition)->Unit(benchmark::kMillisecond);

// The statistics dialog's figures of a 24 Mpix picture (goal: well under
// 100 ms): a colour and an 8-bit picture, and the colour window's figures
// (source and grey result with its clipping) for equal and arbitrary weights.
void BM_PictureStatistics(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ComputePictureStatistics(Source()).channels[0].mean);
}
BENCHMARK(BM_PictureStatistics)->Unit(benchmark::kMillisecond);

void BM_PictureStatistics8Bit(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ComputePictureStatistics(GreySource()).channels[0].mean);
}
BENCHMARK(BM_PictureStatistics8Bit)->Unit(benchmark::kMillisecond);

void BM_ColourStatistics(benchmark::State& state) {
  const ChannelSettings choices[] = {{}, {37, -12, 150, 73}, {0, 0, 100, 50}};
  const ChannelSettings settings = choices[state.range(0)];
  for (auto _ : state) benchmark::DoNotOptimize(ComputeColourStatistics(Source(), settings).grey.clippedLow);
}
BENCHMARK(BM_ColourStatistics)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

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
