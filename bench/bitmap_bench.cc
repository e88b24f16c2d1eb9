// Speed of the bitmap operations on a 6000 x 4000 picture: each kernel in
// memory, and each whole run (load, compute, write) on a file.
//
//   build/bench/bitmap_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "colour/grey.h"
#include "cut/fragment.h"
#include "platform/bitmap_file.h"
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
BENCHMARK(BM_ResampleBilinear)->Args({3000, 2000})->Args({2900, 1900})->Unit(benchmark::kMillisecond);

void BM_ExtractFragment(benchmark::State& state) {
  for (auto _ : state) {
    Bitmap out = ExtractFragment(Source(), {1000, 1000, 3000, 3000});
    benchmark::DoNotOptimize(out.pixels.data());
  }
}
BENCHMARK(BM_ExtractFragment)->Unit(benchmark::kMillisecond);

void BM_ComposeGrey(benchmark::State& state) {
  const ChannelSettings settings = state.range(0) ? ChannelSettings{37, -12, 150, 73} : ChannelSettings{};
  Bitmap result;
  for (auto _ : state) {
    ComposeGrey(Source(), settings, result);
    benchmark::DoNotOptimize(result.pixels.data());
  }
}
BENCHMARK(BM_ComposeGrey)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

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
