// What a person waits for in the field-of-view window with a survey of
// distinct frames (bench/make_fov_survey.py: 10 strips, every frame its own
// geometry file and outline):
// - a click on the list until the drawing and the legend are painted and
//   the events the click left are handled (goal: 1 s for 100,000 frames);
// - a step of the legend pane's scroll bar (a wheel step and a page) and
//   its repaint: only the visible entries are painted, so a step costs the
//   same at any length of the list.
// Run offscreen: build/bench/fov_window_bench [--benchmark_repetitions=5].

#include "fov/fov_form.h"
#include "peak_memory.h"
#include "platform/memory.h"
#include "shell/application.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

namespace {

using namespace skarvel;

// The surveys, made once per size, and one window showing the last chosen.
class Workspace {
 public:
  QString Survey(int frames) {
    const QString folder = QDir(dir_.path()).filePath(QStringLiteral("s%1").arg(frames));
    if (!QDir(folder).exists()) {
      const int status = QProcess::execute(
          QStringLiteral("python3"),
          {QStringLiteral(SKARVEL_SOURCE_DIR "/bench/make_fov_survey.py"), folder, QString::number(frames)});
      if (status != 0) {
        std::fprintf(stderr, "fov_window_bench: the survey could not be made\n");
        std::exit(1);
      }
    }
    return folder;
  }
  TFOVForm& Open(int frames) {
    if (!form_) {
      form_ = std::make_unique<TFOVForm>();
      form_->resize(927, 692);
      form_->show();
    }
    if (frames != shown_) {
      form_->OpenDirectory(Survey(frames));
      form_->FileListBox1->selectEntry(QStringLiteral("survey.lst"));
      form_->FileListBox1Click();
      QCoreApplication::processEvents();
      shown_ = frames;
    }
    return *form_;
  }

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TFOVForm> form_;
  int shown_ = 0;
};

Workspace* g_workspace = nullptr;

void PaintAll(TFOVForm& form) {
  form.ScrollBox1->viewport()->repaint();
  form.ScrollBox2->viewport()->repaint();
}

void BM_FovClickToDrawing(benchmark::State& state) {
  TFOVForm& form = g_workspace->Open(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    form.FileListBox1Click();
    PaintAll(form);
    QCoreApplication::processEvents();
  }
  state.counters["frames"] = form.Scene().Footprints().Length() / 4;
  state.counters["legend_h"] = form.Image2->height();
  state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_FovClickToDrawing)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Scroll steps through the legend: 0 a wheel step (3 rows of 30 pixels), 1 a
// page, each followed by the repaint of the pane.
void BM_FovLegendScroll(benchmark::State& state) {
  TFOVForm& form = g_workspace->Open(static_cast<int>(state.range(0)));
  QScrollBar* bar = form.ScrollBox2->verticalScrollBar();
  const int step = state.range(1) == 0 ? 90 : bar->pageStep();
  int position = 0;
  for (auto _ : state) {
    position = bar->maximum() > 0 ? (position + step) % bar->maximum() : 0;
    bar->setValue(position);
    form.ScrollBox2->viewport()->repaint();
  }
}
BENCHMARK(BM_FovLegendScroll)
    ->Args({1000, 0})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

}  // namespace

int main(int argc, char** argv) {
  skarvel::PrepareHeapForLargeJobs();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  SkarvelApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Workspace workspace;
  g_workspace = &workspace;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
