// The scaling window driven as a person drives it.

#include "scaling/scale_form.h"
#include "../cli/cli_test_support.h"
#include "app/main_form.h"
#include "shell/windows.h"
#include "support/widget_test_support.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::Find;
using testing::ModalWatcher;
using testing::ProgramWindows;
using testing::ReadBytes;
using testing::TempDir;

class ScaleFormTest : public ::testing::Test {
 protected:
  ScaleFormTest() : windows_(dir_.path()) {
    MainForm->show();
    MainForm->N11Click();
    ScaleForm->OpenDirectory(dir_.file("bench"));
  }
  void selectAll() {
    for (int i = 0; i < ScaleForm->FileListBox1->count(); ++i)
      ScaleForm->FileListBox1->item(i)->setSelected(true);
  }
  QStringList entries() const {
    QStringList names;
    for (int i = 0; i < ScaleForm->FileListBox1->count(); ++i)
      names.append(ScaleForm->FileListBox1->item(i)->text());
    return names;
  }
  testing::SeparatorScope point_{u'.'};
  testing::SampleWorkspace dir_;
  ProgramWindows windows_;
};

TEST_F(ScaleFormTest, ControlsAndDefaults) {
  EXPECT_EQ(ScaleForm->windowTitle(), "Масштабирование");
  EXPECT_EQ(ScaleForm->Label1->text(), "Расстояние на стенде (м):");
  EXPECT_EQ(ScaleForm->Edit1->text(), "4.25");
  EXPECT_EQ(ScaleForm->Label2->text(), "Реальное расстояние (м):");
  EXPECT_EQ(ScaleForm->Edit2->text(), "500000");
  EXPECT_EQ(ScaleForm->Button1->text(), "Обработать");
  EXPECT_EQ(ScaleForm->ListBox1->count(), 0);
  EXPECT_EQ(ScaleForm->FileListBox1->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(ScaleForm->ScalePopupMenu1, nullptr);
  EXPECT_EQ(entries(), QStringList({"shot01.ort", "shot02.ort", "shot03.day2.ort"}));
}

TEST_F(ScaleFormTest, ClickShowsTheLinesDecodedAsTheReadersDecodeThem) {
  ScaleForm->FileListBox1->selectEntry("shot01.ort");
  ScaleForm->FileListBox1Click();
  ASSERT_EQ(ScaleForm->ListBox1->count(), 22);
  EXPECT_EQ(ScaleForm->ListBox1->item(0)->text(),
            "0.2017 ; Координата X центра проекции в системе координат сцены (м)");
}

TEST_F(ScaleFormTest, ProcessingWritesTheSameBytesAsTheCommandLineAndShowsTheNewFiles) {
  selectAll();
  QTest::mouseClick(ScaleForm->Button1, Qt::LeftButton);
  EXPECT_EQ(entries(), QStringList({"shot01.ort", "shot01_real.ort", "shot02.ort", "shot02_real.ort",
                                    "shot03.day2.ort", "shot03_real.ort"}));
  EXPECT_TRUE(ScaleForm->SelectedEntries().isEmpty()) << "the re-read drops the selection";

  TempDir other;
  const QString copy = other.path();
  for (const char* name : {"shot01.ort", "shot02.ort", "shot03.day2.ort"})
    QFile::copy(dir_.file(QStringLiteral("bench/%1").arg(name)), QDir(copy).filePath(name));
  const auto result =
      testing::RunBatch({"scale", "--decimal-separator", ".", QDir(copy).filePath("shot01.ort"),
                         QDir(copy).filePath("shot02.ort"), QDir(copy).filePath("shot03.day2.ort")});
  ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
  for (const char* name : {"shot01_real.ort", "shot02_real.ort", "shot03_real.ort"}) {
    const QByteArray window = ReadBytes(dir_.file(QStringLiteral("bench/%1").arg(name)));
    EXPECT_FALSE(window.isEmpty());
    EXPECT_EQ(window, ReadBytes(QDir(copy).filePath(name))) << name;
  }
}

TEST_F(ScaleFormTest, EnterRunsTheProcessingOnlyWhenTheWindowItselfHasTheFocus) {
  ScaleForm->show();
  ScaleForm->activateWindow();
  selectAll();
  ScaleForm->FileListBox1->setFocus();
  QTest::keyClick(ScaleForm->FileListBox1, Qt::Key_Return);
  EXPECT_FALSE(QFileInfo::exists(dir_.file("bench/shot01_real.ort"))) << "Enter in the file list";
  ScaleForm->Edit1->setFocus();
  QTest::keyClick(ScaleForm->Edit1, Qt::Key_Enter);
  EXPECT_FALSE(QFileInfo::exists(dir_.file("bench/shot01_real.ort"))) << "Enter in an edit";
  ScaleForm->setFocus();
  QTest::keyClick(ScaleForm, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_TRUE(QFileInfo::exists(dir_.file("bench/shot01_real.ort"))) << "Enter with the window focused";
}

TEST_F(ScaleFormTest, EditsConvertWithTheSeparatorInForceAndFilesReadWithEither) {
  // The window was made under "."; the separator changes to "," afterwards.
  testing::SeparatorScope comma(u',');
  selectAll();
  ModalWatcher watcher;
  QTest::mouseClick(ScaleForm->Button1, Qt::LeftButton);
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].text, "'4.25' is not a valid floating point value.");
  EXPECT_FALSE(QFileInfo::exists(dir_.file("bench/shot01_real.ort")));
  EXPECT_EQ(ScaleForm->SelectedEntries().size(), 3) << "the list is not re-read";
  // With the distance in the user's spelling the run goes on: the readers
  // take the sample files written with ".", the results are written with ",".
  ScaleForm->Edit1->setText("4,25");
  QTest::mouseClick(ScaleForm->Button1, Qt::LeftButton);
  EXPECT_EQ(watcher.boxes.size(), 1u) << watcher.boxTexts().join("; ").toStdString();
  const QByteArray written = ReadBytes(dir_.file("bench/shot01_real.ort"));
  EXPECT_TRUE(written.startsWith("23729,")) << written.left(40).toStdString();
}

TEST_F(ScaleFormTest, AFileTheReaderRejectsIsSkippedAfterItsMessage) {
  QFile bad(dir_.file("bench/shot02.ort"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("not a number ; x\r\n");
  bad.close();
  selectAll();
  ModalWatcher watcher;
  QTest::mouseClick(ScaleForm->Button1, Qt::LeftButton);
  EXPECT_EQ(watcher.boxTexts(), QStringList({"Ошибка!: Ошибка чтения файла геометрии изображения!"}));
  EXPECT_TRUE(QFileInfo::exists(dir_.file("bench/shot01_real.ort")));
  EXPECT_FALSE(QFileInfo::exists(dir_.file("bench/shot02_real.ort")));
  EXPECT_TRUE(QFileInfo::exists(dir_.file("bench/shot03_real.ort")));
}

}  // namespace
}  // namespace skarvel
