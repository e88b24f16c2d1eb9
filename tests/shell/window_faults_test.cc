// What the windows do when files fight back: outputs that cannot be written
// reach the error report with the earlier file intact and nothing left
// behind; pictures that cannot be loaded leave what was shown before; after
// any of it the next click works.

#include "app/main_form.h"
#include "colour/rgb_form.h"
#include "cut/cut_form.h"
#include "fov/fov_form.h"
#include "platform/bitmap_file.h"
#include "platform/files.h"
#include "resampling/interpol_form.h"
#include "scaling/scale_form.h"
#include "shell/mess_form.h"
#include "shell/windows.h"
#include "support/output_faults.h"
#include "support/widget_test_support.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>

namespace skarvel {
namespace {

using testing::AllEntries;
using testing::ModalWatcher;
using testing::ProgramWindows;
using testing::ReadBytes;

// Injected writer faults for the lifetime of the object.
class WriterFaults {
 public:
  explicit WriterFaults(std::vector<WriterFault> faults) { InjectWriterFaults(faults); }
  ~WriterFaults() { InjectWriterFaults({}); }
};

const std::vector<WriterFault> kDiskFull = {{.step = WriterStep::kWrite, .error = ENOSPC, .afterBytes = 3}};

class WindowFaultsTest : public ::testing::Test {
 protected:
  WindowFaultsTest() : windows_(dir_.path()) {
    testing::WritePicture(dir_.file("bitmaps"), "a.bmp", testing::GradientPicture(40, 30));
    testing::WritePicture(dir_.file("bitmaps"), "b.bmp", testing::GradientPicture(20, 10));
    dir_.write("bitmaps/broken.bmp", "BM this is no bitmap");
    // A header claiming 100000 x 100000 pixels: refused before anything is allocated.
    QByteArray huge = testing::ReadBytes(dir_.file("bitmaps/b.bmp"));
    for (int at : {18, 22}) {
      const quint32 side = 100000;
      for (int i = 0; i < 4; ++i) huge[at + i] = static_cast<char>((side >> (8 * i)) & 0xFF);
    }
    dir_.write("bitmaps/huge.bmp", huge);
    MainForm->show();
  }
  QString folder(const QString& name) const { return QDir(dir_.file(name)).absolutePath(); }
  testing::SampleWorkspace dir_;
  ProgramWindows windows_;
};

TEST_F(WindowFaultsTest, TheStatisticsSaveOnAFullDiskKeepsTheEarlierFileAndTheDialog) {
  const QString file = dir_.write("stats.txt", "earlier\r\n");
  MessForm->SetLines({"Канал R: 1", "Канал G: 2"});
  MessForm->show();
  ModalWatcher watcher;
  {
    WriterFaults faults(kDiskFull);
    watcher.answerFileDialog(file);
    QTest::mouseClick(MessForm->Button2, Qt::LeftButton);
  }
  EXPECT_EQ(watcher.boxTexts(), QStringList({"Skarvel: Cannot create file " + file + "."}));
  EXPECT_EQ(ReadBytes(file), "earlier\r\n");
  EXPECT_EQ(AllEntries(dir_.path()), QStringList({"bench", "bitmaps", "fov", "photos", "stats.txt"}));
  EXPECT_TRUE(MessForm->isVisible());
  // The next save, with room on the disk, writes the lines.
  watcher.answerFileDialog(file);
  QTest::mouseClick(MessForm->Button2, Qt::LeftButton);
  EXPECT_EQ(ReadBytes(file), QByteArray("\xCA\xE0\xED\xE0\xEB R: 1\r\n\xCA\xE0\xED\xE0\xEB G: 2\r\n"));
}

TEST_F(WindowFaultsTest, TheDrawingAndTheOutlinesThatCannotBeWrittenReachTheReport) {
  MainForm->N10Click();
  FOVForm->OpenDirectory(folder("fov"));
  testing::ClickEntry(FOVForm, "scene.lst");
  const QString drawing = dir_.write("fov/saved.bmp", "earlier drawing");
  ModalWatcher watcher;
  {
    WriterFaults faults(kDiskFull);
    watcher.answerFileDialog(drawing);
    testing::DoubleClick(FOVForm->Image1, QPoint(10, 10));
    watcher.answerFileDialog(dir_.file("fov/outlines.geojson"));
    testing::RunAsEvent([] { FOVForm->SaveOutlinesItem->trigger(); });
  }
  // The save dialog asks before replacing the earlier drawing; then the report.
  const QStringList reports = watcher.boxTexts().filter(QRegularExpression("^Skarvel: "));
  EXPECT_EQ(reports, QStringList({"Skarvel: Cannot create file " + drawing + ".",
                                  "Skarvel: Cannot create file " + dir_.file("fov/outlines.geojson") + "."}));
  EXPECT_EQ(ReadBytes(drawing), "earlier drawing");
  EXPECT_FALSE(QFileInfo::exists(dir_.file("fov/outlines.geojson")));
  EXPECT_FALSE(AllEntries(folder("fov")).join(",").contains(".tmp")) << "no temporary file is left";
  // The window stays usable: the next save is whole.
  watcher.answerFileDialog(drawing);
  testing::DoubleClick(FOVForm->Image1, QPoint(10, 10));
  EXPECT_EQ(LoadBitmap(drawing).width, 1024);
}

TEST_F(WindowFaultsTest, AnUnreadableListLeavesThePictureShownBefore) {
  MainForm->N10Click();
  FOVForm->OpenDirectory(folder("fov"));
  testing::ClickEntry(FOVForm, "scene.lst");
  const QImage before = FOVForm->Image1->image();
  QFile::copy(dir_.file("fov/scene.lst"), dir_.file("fov/unreadable.lst"));
  QFile::setPermissions(dir_.file("fov/unreadable.lst"), QFileDevice::WriteOwner);
  FOVForm->RereadFileList();
  ModalWatcher watcher;
  testing::ClickEntry(FOVForm, "unreadable.lst");
  if (ReadBytes(dir_.file("fov/unreadable.lst")).isEmpty()) {  // root reads it all the same
    EXPECT_EQ(watcher.boxTexts().size(), 1);
    EXPECT_EQ(FOVForm->Image1->image(), before);
  }
  testing::ClickEntry(FOVForm, "scene_blocks.lst");
  EXPECT_EQ(FOVForm->Scene().Footprints().Length(), 24);
}

// Each picture window: a picture that cannot be loaded leaves the picture
// shown before, and the next click works.
TEST_F(WindowFaultsTest, APictureThatCannotBeLoadedLeavesThePictureShownBefore) {
  MainForm->N42Click();
  MainForm->N6Click();
  MainForm->N8Click();
  const QString bitmaps = folder("bitmaps");
  for (TBrowserForm* form : std::initializer_list<TBrowserForm*>{InterpolForm, CutForm, RGBForm}) {
    SCOPED_TRACE(form->objectName().toStdString());
    form->OpenDirectory(bitmaps);
    testing::ClickEntry(form, "a.bmp");
    form->N2001Click();
    QWidget* view = form == RGBForm   ? static_cast<QWidget*>(RGBForm->CrossImage1)
                    : form == CutForm ? static_cast<QWidget*>(CutForm->Image1)
                                      : static_cast<QWidget*>(InterpolForm->Image1);
    const QSize shown = view->size();
    ModalWatcher watcher;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    for (const char* bad : {"broken.bmp", "huge.bmp"}) testing::ClickEntry(form, bad);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(watcher.boxTexts(),
              QStringList({"Skarvel: Bitmap image is not valid.", "Skarvel: Bitmap image is not valid."}));
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "KiB more at the peak";
    // The colour window keeps its zoom; the two others went to 100 % before loading.
    EXPECT_EQ(form->CheckedZoom(), form == RGBForm ? 200 : 100);
    EXPECT_EQ(form->ImageWidth, 40);
    if (form == RGBForm) {
      EXPECT_EQ(view->size(), shown);
      EXPECT_EQ(RGBForm->GreyImage()->width, 40);
    } else {
      EXPECT_EQ(view->size(), QSize(40, 30)) << "the 100 % zoom of the picture shown before";
    }
    testing::ClickEntry(form, "b.bmp");
    EXPECT_EQ(form->ImageWidth, 20) << "the next click works";
  }
}

TEST_F(WindowFaultsTest, ABatchErrorKeepsEarlierResultsAndTheListAndTheNextRunWorks) {
  MainForm->N6Click();
  MainForm->N8Click();
  const QString bitmaps = folder("bitmaps");
  for (TBrowserForm* form : std::initializer_list<TBrowserForm*>{CutForm, RGBForm}) {
    SCOPED_TRACE(form->objectName().toStdString());
    form->OpenDirectory(bitmaps);
    for (const char* name : {"a.bmp", "b.bmp", "broken.bmp"})
      form->FileListBox1->findItems(name, Qt::MatchExactly).front()->setSelected(true);
    ModalWatcher watcher;
    testing::RunAsEvent([form] { form->Button1Click(); });
    const QString suffix = form == CutForm ? "_cut.bmp" : "_mod.bmp";
    EXPECT_EQ(watcher.boxTexts(), QStringList({"Skarvel: Bitmap image is not valid."}));
    EXPECT_TRUE(QFileInfo::exists(bitmaps + "/a" + suffix));
    EXPECT_TRUE(QFileInfo::exists(bitmaps + "/b" + suffix));
    EXPECT_EQ(form->SelectedEntries().size(), 3) << "the list is not read again";
    // Without the broken file the run goes through.
    form->FileListBox1->findItems("broken.bmp", Qt::MatchExactly).front()->setSelected(false);
    QFile::remove(bitmaps + "/a" + suffix);
    form->Button1Click();
    EXPECT_TRUE(QFileInfo::exists(bitmaps + "/a" + suffix));
    EXPECT_EQ(form->SelectedEntries(), QStringList({"a.bmp", "b.bmp"})) << "read again, the selection kept";
    EXPECT_EQ(form->FileListBox1->findItems("a" + suffix, Qt::MatchExactly).size(), 1) << "read again";
  }
}

TEST_F(WindowFaultsTest, AScaledFileThatCannotBeWrittenEndsTheRunWithEarlierOutputsKept) {
  MainForm->N11Click();
  ScaleForm->OpenDirectory(folder("bench"));
  for (int i = 0; i < ScaleForm->FileListBox1->count(); ++i)
    ScaleForm->FileListBox1->item(i)->setSelected(true);
  QDir(folder("bench")).mkdir("shot02_real.ort");  // a folder where the second output goes
  testing::SeparatorScope point(u'.');
  ModalWatcher watcher;
  QTest::mouseClick(ScaleForm->Button1, Qt::LeftButton);
  EXPECT_EQ(watcher.boxTexts(),
            QStringList({"Skarvel: Cannot create file " + folder("bench") + "/shot02_real.ort."}));
  EXPECT_TRUE(QFileInfo::exists(dir_.file("bench/shot01_real.ort")));
  EXPECT_FALSE(QFileInfo::exists(dir_.file("bench/shot03_real.ort")));
  EXPECT_EQ(ScaleForm->SelectedEntries().size(), 3);
}

}  // namespace
}  // namespace skarvel
