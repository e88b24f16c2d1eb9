// The program on a Russian desktop (LANG=ru_RU.UTF-8, decimal separator
// ","), with the sample workspace whose files were written with ".": every
// window opens the samples and processes them, and the windows' outputs equal
// the command line's under the same locale.

#include "../cli/cli_test_support.h"
#include "app/main_form.h"
#include "colour/rgb_form.h"
#include "cut/cut_form.h"
#include "fov/fov_form.h"
#include "platform/files.h"
#include "platform/numbers.h"
#include "resampling/interpol_form.h"
#include "scaling/scale_form.h"
#include "shell/windows.h"
#include "support/widget_test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::ClickEntry;
using testing::ModalWatcher;

class RussianDesktopTest : public ::testing::Test {
 protected:
  RussianDesktopTest() : windows_(dir_.path()) { MainForm->show(); }
  static void selectAll(TBrowserForm* form) {
    for (int i = 0; i < form->FileListBox1->count(); ++i) form->FileListBox1->item(i)->setSelected(true);
  }
  testing::SampleWorkspace dir_;
  testing::ProgramWindows windows_;
  ModalWatcher watcher_;
};

TEST_F(RussianDesktopTest, TheLocaleGivesACommaAndTheEditDefaultsShowIt) {
  ASSERT_EQ(LocaleDecimalSeparator(), u',') << "the test runs under ru_RU.UTF-8";
  ASSERT_EQ(DecimalSeparator(), u',');
  EXPECT_EQ(ScaleForm->Edit1->text(), "4,25");
  EXPECT_EQ(ScaleForm->Edit2->text(), "500000");
  MainForm->N8Click();
  QTest::keyClick(RGBForm->CTrackBar, Qt::Key_Right);
  EXPECT_TRUE(RGBForm->CEdit->text().contains(u',')) << RGBForm->CEdit->text().toStdString();
}

TEST_F(RussianDesktopTest, TheFieldOfViewListOfTheSamplesDrawsWithoutAnError) {
  MainForm->N10Click();
  FOVForm->OpenDirectory(dir_.file("fov"));
  for (const char* list : {"scene.lst", "scene_blocks.lst"}) {
    ClickEntry(FOVForm, QString::fromLatin1(list));
    EXPECT_TRUE(watcher_.boxTexts().isEmpty())
        << list << ": " << watcher_.boxTexts().join("; ").toStdString();
    EXPECT_GT(FOVForm->Scene().Footprints().Length(), 0) << list;
  }
}

TEST_F(RussianDesktopTest, ScalingTheSamplesWithTheDefaultsWritesWhatTheCommandLineWrites) {
  MainForm->N11Click();
  ScaleForm->OpenDirectory(dir_.file("bench"));
  selectAll(ScaleForm);
  QTest::mouseClick(ScaleForm->Button1, Qt::LeftButton);
  EXPECT_TRUE(watcher_.boxTexts().isEmpty()) << watcher_.boxTexts().join("; ").toStdString();

  testing::TempDir other;
  QStringList args = {"scale"};
  for (const char* name : {"shot01.ort", "shot02.ort"}) {
    QFile::copy(dir_.file(QStringLiteral("bench/%1").arg(name)), other.file(name));
    args.append(other.file(name));
  }
  const auto result = testing::RunBatch(args);
  ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
  for (const char* name : {"shot01_real.ort", "shot02_real.ort"}) {
    const QByteArray window = ReadWholeFile(dir_.file(QStringLiteral("bench/%1").arg(name)));
    ASSERT_FALSE(window.isEmpty()) << name;
    EXPECT_TRUE(window.contains(',')) << "written with the separator in force";
    EXPECT_EQ(window, ReadWholeFile(other.file(name))) << name;
  }
}

TEST_F(RussianDesktopTest, TheBitmapWindowsProcessTheSamplePictures) {
  // (window, command, suffix)
  const std::tuple<TBrowserForm*, void (TMainForm::*)(), const char*> rows[] = {
      {InterpolForm, &TMainForm::N42Click, "_transform.bmp"},
      {CutForm, &TMainForm::N6Click, "_cut.bmp"},
      {RGBForm, &TMainForm::N8Click, "_mod.bmp"},
  };
  for (const auto& [form, command, suffix] : rows) {
    (MainForm->*command)();
    form->OpenDirectory(dir_.file("bitmaps"));
    ClickEntry(form, "aerial.bmp");
    form->FileListBox1->item(0)->setSelected(true);
    form->setFocus();
    QTest::keyClick(form, Qt::Key_Return);
    EXPECT_TRUE(watcher_.boxTexts().isEmpty())
        << suffix << ": " << watcher_.boxTexts().join("; ").toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir_.file(QStringLiteral("bitmaps/aerial") + suffix))) << suffix;
  }
}

}  // namespace
}  // namespace skarvel
