// skarvel-screenshots OUTPUT-FOLDER [WORKSPACE]: starts the program's windows
// without a display (Qt's offscreen platform unless another is set), loads
// the sample workspace into each task window as a user would, and saves a
// picture of every window into OUTPUT-FOLDER. The manual's pictures and the
// sample run on a machine without a display come from here.

#include "app/create_windows.h"
#include "app/main_form.h"
#include "colour/rgb_form.h"
#include "cut/cut_form.h"
#include "fov/fov_form.h"
#include "platform/error.h"
#include "platform/picture_statistics.h"
#include "resampling/interpol_form.h"
#include "scaling/scale_form.h"
#include "shell/application.h"
#include "shell/mess_form.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>

namespace {

using namespace skarvel;

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

bool Save(QWidget* window, const QString& folder, const QString& name) {
  Settle();
  const QString file = QDir(folder).filePath(name + QStringLiteral(".png"));
  const bool ok = window->grab().save(file);
  std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(file));
  return ok;
}

// Opens `folder` in a task window and clicks `entry` in its file list.
void Pick(TBrowserForm* form, const QString& folder, const QString& entry) {
  form->OpenDirectory(folder);
  if (!entry.isEmpty() && form->FileListBox1->selectEntry(entry)) form->FileListBox1Click();
}

int Run(const QString& output, const QString& workspace) {
  QDir().mkpath(output);
  const QString out = QDir(output).absolutePath();
  if (!workspace.isEmpty() && !QDir::setCurrent(workspace)) {
    std::fprintf(stderr, "skarvel-screenshots: no folder %s\n", qPrintable(workspace));
    return 1;
  }
  const QString root = QDir::currentPath();
  CreateWindows();
  bool ok = true;
  MainForm->showMaximized();
  ok &= Save(MainForm, out, QStringLiteral("main_window"));

  MainForm->N10Click();
  FOVForm->resize(927, 692);
  Pick(FOVForm, root + QStringLiteral("/fov"), QStringLiteral("scene.lst"));
  ok &= Save(FOVForm, out, QStringLiteral("fov_window"));
  // The sample folder keeps the model's relief: the list brings its coverage view.
  if (FOVForm->Coverage->isVisible()) ok &= Save(FOVForm->Coverage, out, QStringLiteral("coverage_view"));
  ok &= Save(MainForm, out, QStringLiteral("main_window_compact"));
  FOVForm->N501Click();
  ok &= Save(FOVForm, out, QStringLiteral("fov_window_50"));
  FOVForm->N1001Click();
  FOVForm->hide();

  MainForm->N11Click();
  Pick(ScaleForm, root + QStringLiteral("/bench"), QStringLiteral("shot01.ort"));
  ok &= Save(ScaleForm, out, QStringLiteral("scale_window"));
  ScaleForm->hide();

  MainForm->N42Click();
  Pick(InterpolForm, root + QStringLiteral("/bitmaps"), QStringLiteral("aerial.bmp"));
  ok &= Save(InterpolForm, out, QStringLiteral("interpol_window"));
  InterpolForm->FormKeyDown(Qt::Key_J, Qt::ControlModifier);
  ok &= Save(InterpolForm, out, QStringLiteral("interpol_window_methods"));
  InterpolForm->hide();

  MainForm->N6Click();
  Pick(CutForm, root + QStringLiteral("/bitmaps"), QStringLiteral("aerial.bmp"));
  CutForm->Edit1->setText(QStringLiteral("40"));
  CutForm->Edit2->setText(QStringLiteral("30"));
  CutForm->Edit3->setText(QStringLiteral("200"));
  CutForm->Edit4->setText(QStringLiteral("150"));
  ok &= Save(CutForm, out, QStringLiteral("cut_window"));
  CutForm->N501Click();
  CutForm->DrawCutFrame();
  ok &= Save(CutForm, out, QStringLiteral("cut_window_50"));
  CutForm->N2001Click();
  CutForm->DrawCutFrame();
  ok &= Save(CutForm, out, QStringLiteral("cut_window_200"));
  CutForm->N1001Click();
  CutForm->hide();

  MainForm->N8Click();
  Pick(RGBForm, root + QStringLiteral("/bitmaps"), QStringLiteral("aerial.bmp"));
  RGBForm->RTrackBar->setValue(40);
  RGBForm->CTrackBar->setValue(75);
  ok &= Save(RGBForm, out, QStringLiteral("rgb_window"));
  RGBForm->hide();

  // The lines of the picture the fragment window showed, as its menu item lists them.
  if (CutForm->Picture())
    MessForm->SetLines(PictureStatisticsLines(ComputePictureStatistics(*CutForm->Picture())));
  MessForm->show();
  ok &= Save(MessForm, out, QStringLiteral("statistics_dialog"));
  MessForm->hide();

  // The manual in the help viewer, from the folder the program was started in.
  QDir::setCurrent(root);
  MainForm->N4Click();
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == QLatin1String("HelpWindow") && window->isVisible()) {
      ok &= Save(window, out, QStringLiteral("help_window"));
      window->hide();
    }

  SkarvelAboutBox->show();
  ok &= Save(SkarvelAboutBox, out, QStringLiteral("about_box"));
  SkarvelAboutBox->hide();
  DestroyWindows();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  SkarvelApplication app(argc, argv);
  DesktopServices services;
  const QStringList args = QCoreApplication::arguments();
  if (args.size() < 2 || args.size() > 3) {
    std::fprintf(stderr, "usage: skarvel-screenshots OUTPUT-FOLDER [WORKSPACE]\n");
    return 2;
  }
  try {
    return Run(args[1], args.value(2));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skarvel-screenshots: %s\n", e.what());
    return 1;
  }
}
