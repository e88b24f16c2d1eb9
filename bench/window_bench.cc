// What a person waits for in the windows, on a 6000 x 4000 24-bit photograph:
// - scrolling the resampling window's picture at 400 % (24000 x 16000 on
//   screen): each step repaints the visible part; the peak memory of the
//   whole run is reported, to show the zoomed picture is never built;
// - a slider change in the colour window: the composition of the whole
//   picture and the repaint of the visible part of the result, counting
//   every nested recomposition the slider-edit exchange causes (goal: 33 ms,
//   30 changes a second while dragging);
// - the first paint after a file click in the colour window (load,
//   composition, paint; goal: the paint within 50 ms of the composition);
// - scrolling the fragment window's picture with the red outline over it at
//   50, 100 and 400 %: below 100 % each overlay pixel looks at every picture
//   pixel it covers, and the picture control is the same in all three, so
//   the ratios show what the outline costs.
// Run offscreen: build/bench/window_bench [--benchmark_repetitions=5].

#include "colour/rgb_form.h"
#include "cut/cut_form.h"
#include "platform/bitmap_file.h"
#include "resampling/interpol_form.h"
#include "shell/application.h"
#include "shell/main_form.h"
#include "shell/windows.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <random>

namespace {

using namespace skarvel;

// The peak resident memory of the process so far, MiB.
double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A photograph-like 6000 x 4000 picture: smooth gradients with noise.
Bitmap Photograph() {
  Bitmap picture = Bitmap::Colour(6000, 4000);
  std::mt19937 random(7);
  for (int y = 0; y < picture.height; ++y) {
    std::uint8_t* p = picture.row(y);
    for (int x = 0; x < picture.width; ++x, p += 3) {
      const unsigned noise = random() & 31;
      p[0] = static_cast<std::uint8_t>((x / 24 + noise) & 255);
      p[1] = static_cast<std::uint8_t>((y / 16 + noise) & 255);
      p[2] = static_cast<std::uint8_t>(((x + y) / 40 + noise) & 255);
    }
  }
  return picture;
}

class Workspace {
 public:
  Workspace() {
    SaveBitmap(Photograph(), QDir(dir_.path()).filePath("photo.bmp"));
    previous_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    CreateWindows();
  }
  ~Workspace() {
    DestroyWindows();
    QDir::setCurrent(previous_);
  }
  template <typename Form>
  void open(Form* form) {
    form->resize(1200, 900);
    form->show();
    form->FileListBox1->selectEntry("photo.bmp");
    form->FileListBox1Click();
    QCoreApplication::processEvents();
  }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

Workspace* g_workspace = nullptr;

void BM_ScrollPictureAt400Percent(benchmark::State& state) {
  g_workspace->open(InterpolForm);
  InterpolForm->N4001Click();
  QScrollBar* horizontal = InterpolForm->ScrollBox1->horizontalScrollBar();
  QScrollBar* vertical = InterpolForm->ScrollBox1->verticalScrollBar();
  QWidget* viewport = InterpolForm->ScrollBox1->viewport();
  int step = 0;
  for (auto _ : state) {
    // A diagonal wheel-sized step, wrapping at the ends.
    horizontal->setValue((step * 120) % horizontal->maximum());
    vertical->setValue((step * 90) % vertical->maximum());
    viewport->repaint();
    ++step;
  }
  state.counters["control_w"] = InterpolForm->Image1->width();
  state.counters["control_h"] = InterpolForm->Image1->height();
  state.counters["peak_MiB"] = PeakMiB();
}

void BM_ColourSliderChange(benchmark::State& state) {
  g_workspace->open(RGBForm);
  QWidget* viewport = RGBForm->ScrollBox1->viewport();
  const int slider = static_cast<int>(state.range(0));
  QSlider* sliders[] = {RGBForm->RTrackBar, RGBForm->CTrackBar};
  int position = 0;
  for (auto _ : state) {
    // Dragging: every intermediate position is a change.
    position = (position + 7) % 150;
    sliders[slider]->setValue(slider == 0 ? position - 50 : 20 + position);
    viewport->repaint();
  }
  state.counters["peak_MiB"] = PeakMiB();
}

// The composition alone, on the same picture and positions, for the window's
// own share of a slider change.
void BM_ComposeGreyAlone(benchmark::State& state) {
  g_workspace->open(RGBForm);
  const Bitmap& source = *RGBForm->SourceImage();
  Bitmap result;
  int position = 0;
  for (auto _ : state) {
    position = (position + 7) % 150;
    ComposeGrey(source, {position - 50, 0, 0, 50}, result);
  }
}

void BM_ColourFileClickFirstPaint(benchmark::State& state) {
  g_workspace->open(RGBForm);
  QWidget* viewport = RGBForm->ScrollBox1->viewport();
  double paintMs = 0;
  for (auto _ : state) {
    RGBForm->FileListBox1Click();
    QElapsedTimer paint;
    paint.start();
    viewport->repaint();
    paintMs += paint.nsecsElapsed() / 1e6;
  }
  state.counters["paint_ms"] = benchmark::Counter(paintMs, benchmark::Counter::kAvgIterations);
}

void BM_ScrollFragmentWindow(benchmark::State& state) {
  g_workspace->open(CutForm);
  // An outline over most of the picture: its four sides cross the view.
  CutForm->Edit1->setText("100");
  CutForm->Edit2->setText("100");
  CutForm->Edit3->setText("5900");
  CutForm->Edit4->setText("3900");
  CutForm->SetZoom(static_cast<int>(state.range(0)));
  CutForm->DrawCutFrame();
  QScrollBar* horizontal = CutForm->ScrollBox1->horizontalScrollBar();
  QScrollBar* vertical = CutForm->ScrollBox1->verticalScrollBar();
  QWidget* viewport = CutForm->ScrollBox1->viewport();
  int step = 0;
  for (auto _ : state) {
    horizontal->setValue(horizontal->maximum() == 0 ? 0 : (step * 120) % horizontal->maximum());
    vertical->setValue(vertical->maximum() == 0 ? 0 : (step * 90) % vertical->maximum());
    viewport->repaint();
    ++step;
  }
  state.counters["peak_MiB"] = PeakMiB();
}

BENCHMARK(BM_ScrollPictureAt400Percent)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ColourSliderChange)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ComposeGreyAlone)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ScrollFragmentWindow)->Arg(50)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ColourFileClickFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  SkarvelApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  Workspace workspace;
  g_workspace = &workspace;
  std::printf("peak memory with the picture loaded nowhere yet: %.0f MiB\n", PeakMiB());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
