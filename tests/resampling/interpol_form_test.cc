// The angular-resolution modelling window driven as a person drives it.

#include "resampling/interpol_form.h"
#include "../cli/cli_test_support.h"
#include "app/main_form.h"
#include "platform/bitmap_file.h"
#include "platform/files.h"
#include "shell/batch_progress.h"
#include "shell/mess_form.h"
#include "shell/windows.h"
#include "support/widget_test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::Find;
using testing::ModalWatcher;
using testing::ProgramWindows;
using testing::ReadBytes;
using testing::TempDir;

// Pictures a.bmp (64 x 48), b.1.bmp (333 x 101) and c.bmp (30 x 20) in a fresh folder.
class PictureFolder : public TempDir {
 public:
  PictureFolder() {
    testing::WritePicture(path(), "a.bmp", testing::GradientPicture(64, 48));
    testing::WritePicture(path(), "b.1.bmp", testing::GradientPicture(333, 101));
    testing::WritePicture(path(), "c.bmp", testing::GradientPicture(30, 20));
  }
};

class InterpolFormTest : public ::testing::Test {
 protected:
  InterpolFormTest() : windows_(dir_.path()) {
    MainForm->show();
    MainForm->N42Click();
    form()->activateWindow();
  }
  static TInterpolForm* form() { return InterpolForm; }
  void click(const QString& entry) { testing::ClickEntry(form(), entry); }
  void selectAll() {
    for (int i = 0; i < form()->FileListBox1->count(); ++i) form()->FileListBox1->item(i)->setSelected(true);
  }
  PictureFolder dir_;
  ProgramWindows windows_;
};

TEST_F(InterpolFormTest, StartsWithTheGroupHiddenBilinearChosenAndTheHiddenLayout) {
  EXPECT_EQ(form()->windowTitle(), "Моделирование углового разрешения");
  EXPECT_EQ(form()->Label1->text(), "Новая ширина изображения(пикс.):");
  EXPECT_EQ(form()->Label3->text(), "Новая высота изображения(пикс.):");
  EXPECT_EQ(form()->Edit1->text(), "512");
  EXPECT_EQ(form()->Edit3->text(), "512");
  EXPECT_EQ(form()->RadioGroup1->title(), "Вид интерполяции");
  EXPECT_TRUE(form()->RadioGroup1->isHidden());
  EXPECT_EQ(form()->Method(), 1);
  EXPECT_EQ(form()->Label1->x(), 100);
  EXPECT_EQ(form()->Edit1->x(), 350);
  // Zooming before any picture sizes the picture control to nothing.
  form()->N2001Click();
  EXPECT_EQ(form()->Image1->size(), QSize(0, 0));
}

TEST_F(InterpolFormTest, CtrlJTogglesTheMethodsAndEveryKeyLaysThePanelOut) {
  form()->Edit1->setFocus();
  QTest::keyClick(form()->Edit1, Qt::Key_J, Qt::ControlModifier);
  EXPECT_FALSE(form()->RadioGroup1->isHidden());
  EXPECT_EQ(form()->Label1->x(), 300);
  EXPECT_EQ(form()->Label3->x(), 300);
  EXPECT_EQ(form()->Edit1->x(), 550);
  EXPECT_EQ(form()->Edit3->x(), 550);
  // Other keys leave it as it is and lay the panel out unchanged.
  QTest::keyClick(form()->Edit1, Qt::Key_A);
  EXPECT_FALSE(form()->RadioGroup1->isHidden());
  EXPECT_EQ(form()->Edit1->x(), 550);
  EXPECT_EQ(form()->Edit1->text(), "512a") << "the key goes on to the edit";
  // Ctrl+Shift+J toggles as Ctrl+J does.
  QTest::keyClick(form()->Edit1, Qt::Key_J, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(form()->RadioGroup1->isHidden());
  EXPECT_EQ(form()->Label1->x(), 100);
  EXPECT_EQ(form()->Edit3->x(), 350);
  // J alone toggles nothing.
  QTest::keyClick(form()->Edit1, Qt::Key_J);
  EXPECT_TRUE(form()->RadioGroup1->isHidden());
}

TEST_F(InterpolFormTest, AFileClickShowsThePictureAtOneHundredPercent) {
  form()->N501Click();
  click("b.1.bmp");
  EXPECT_EQ(form()->CheckedZoom(), 100);
  EXPECT_EQ(form()->Image1->size(), QSize(333, 101));
  EXPECT_EQ(form()->ImageWidth, 333);
  EXPECT_EQ(form()->ImageHeight, 101);
  form()->N751Click();
  EXPECT_EQ(form()->Image1->size(), QSize(249, 75));
  // Arrow keys load each file passed over.
  form()->FileListBox1->setFocus();
  QTest::keyClick(form()->FileListBox1, Qt::Key_Down);
  EXPECT_EQ(form()->Image1->size(), QSize(30, 20));
  EXPECT_EQ(form()->CheckedZoom(), 100);
}

TEST_F(InterpolFormTest, ProcessingWritesWhatTheCommandLineWritesWithTheMethodChosen) {
  // Nearest neighbour, chosen in the group made visible.
  form()->Edit1->setFocus();
  QTest::keyClick(form()->Edit1, Qt::Key_J, Qt::ControlModifier);
  QTest::mouseClick(Find<QRadioButton>(form(), "RadioGroup1Item0"), Qt::LeftButton);
  EXPECT_EQ(form()->Method(), 0);
  form()->Edit1->setText("40");
  form()->Edit3->setText("17");
  selectAll();
  form()->N3001Click();
  form()->Edit3->setFocus();
  QTest::keyClick(form()->Edit3, Qt::Key_Return);  // Enter from any control
  QStringList names;
  for (int i = 0; i < form()->FileListBox1->count(); ++i) names.append(form()->FileListBox1->item(i)->text());
  EXPECT_EQ(names, QStringList({"a.bmp", "a_transform.bmp", "b.1.bmp", "b_transform.bmp", "c.bmp",
                                "c_transform.bmp"}));
  EXPECT_EQ(form()->CheckedZoom(), 100);
  EXPECT_EQ(form()->Image1->size(), QSize(30, 20)) << "the last picture loaded, at 100 %";

  TempDir other;
  QStringList args = {"resample", "--width", "40", "--height", "17", "--method", "nearest"};
  for (const char* name : {"a.bmp", "b.1.bmp", "c.bmp"}) {
    QFile::copy(dir_.file(name), other.file(name));
    args.append(other.file(name));
  }
  const auto result = testing::RunBatch(args);
  ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
  for (const char* name : {"a_transform.bmp", "b_transform.bmp", "c_transform.bmp"})
    EXPECT_EQ(ReadBytes(dir_.file(name)), ReadBytes(other.file(name))) << name;
}

TEST_F(InterpolFormTest, AnInvalidBitmapEndsTheBatchInTheReportAndKeepsEarlierResults) {
  dir_.write("b.1.bmp", "BM not a bitmap");
  selectAll();
  ModalWatcher watcher;
  QTest::mouseClick(form()->Button1, Qt::LeftButton);
  EXPECT_EQ(watcher.boxTexts(), QStringList({"Skarvel: Bitmap image is not valid."}));
  EXPECT_TRUE(QFileInfo::exists(dir_.file("a_transform.bmp")));
  EXPECT_FALSE(QFileInfo::exists(dir_.file("c_transform.bmp")));
  EXPECT_EQ(form()->SelectedEntries().size(), 3) << "the list is not re-read";
  // The window stays usable.
  click("c.bmp");
  EXPECT_EQ(form()->Image1->size(), QSize(30, 20));
}

TEST_F(InterpolFormTest, AZeroSizeIsTheDivisionsError) {
  click("a.bmp");
  form()->Edit1->setText("0");
  ModalWatcher watcher;
  QTest::mouseClick(form()->Button1, Qt::LeftButton);
  EXPECT_EQ(watcher.boxTexts(), QStringList({"Skarvel: Floating point division by zero."}));
  EXPECT_FALSE(QFileInfo::exists(dir_.file("a_transform.bmp")));
}

TEST_F(InterpolFormTest, TheProgressDialogsCancelStopsBeforeTheNextFileStarts) {
  for (int i = 0; i < 40; ++i)
    testing::WritePicture(dir_.path(), QStringLiteral("p%1.bmp").arg(i, 2, 10, QChar(u'0')),
                          testing::GradientPicture(64, 48));
  form()->RereadFileList();
  BatchProgress::SetDelay(0);
  selectAll();
  ModalWatcher watcher;
  int shown = 0;
  QString inHand;  // the entry the dialog names when "Отмена" is pressed
  watcher.onOtherModal = [&](QWidget* modal) {
    auto* progress = qobject_cast<QProgressDialog*>(modal);
    ASSERT_NE(progress, nullptr) << modal->objectName().toStdString();
    ++shown;
    EXPECT_EQ(progress->windowTitle(), "Обработка файлов");
    inHand = progress->labelText().section(QStringLiteral(": "), 1);
    // The button as a person presses it: the click waits in the queue
    // while the file in hand is processed.
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    ASSERT_EQ(cancel->text(), "Отмена");
    QMetaObject::invokeMethod(cancel, &QPushButton::click, Qt::QueuedConnection);
  };
  QTest::mouseClick(form()->Button1, Qt::LeftButton);
  BatchProgress::SetDelay(500);
  ASSERT_EQ(shown, 1);
  QStringList order = {"a", "b", "c"};
  for (int i = 0; i < 40; ++i) order.append(QStringLiteral("p%1").arg(i, 2, 10, QChar(u'0')));
  const qsizetype cancelledAt = order.indexOf(QFileInfo(inHand).baseName());
  ASSERT_GE(cancelledAt, 0) << inHand.toStdString();
  // The files before the one in hand stay, in list order; nothing after it
  // is written. The one in hand is done, or not begun when the click came
  // before it started; the list shows every file done.
  for (qsizetype i = 0; i < order.size(); ++i) {
    const QString output = order[i] + "_transform.bmp";
    const bool done = QFileInfo::exists(dir_.file(output));
    if (i < cancelledAt) {
      EXPECT_TRUE(done) << order[i].toStdString();
    } else if (i > cancelledAt) {
      EXPECT_FALSE(done) << order[i].toStdString() << " was started after the click";
    }
    if (done) {
      EXPECT_TRUE(form()->FileListBox1->selectEntry(output)) << "the list shows " << output.toStdString();
    }
  }
}

TEST_F(InterpolFormTest, TheStatisticsItemListsTheShownPictureAndReadsCancelled) {
  const QList<QAction*> items = form()->ScalePopupMenu1->actions();
  ASSERT_EQ(items.size(), 8);
  EXPECT_TRUE(items[6]->isSeparator());
  EXPECT_EQ(items[7]->text(), "Статистика по яркости…");
  ModalWatcher watcher;
  QStringList shown;
  testing::ReadStatisticsWhenShown(watcher, &shown);
  // Before any picture is shown the dialog says so.
  items[7]->trigger();
  EXPECT_EQ(shown, QStringList{"Изображение не загружено"});

  click("c.bmp");
  items[7]->trigger();
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_TRUE(shown.join("\n").contains("30")) << shown.join("\n").toStdString();
  EXPECT_TRUE(form()->StatisticsCancelled());
}

TEST_F(InterpolFormTest, PhotographsShowAndCountAsTheBitmapsOfTheirPixels) {
  for (const auto& [photo, bits] : testing::kSamplePhotos) {
    const QString bitmap = testing::CopyPhotoWithItsBitmap(dir_.path(), photo);
    form()->RereadFileList();
    ModalWatcher watcher;
    QStringList shown[2];
    for (int i = 0; i < 2; ++i) {
      click(i == 0 ? photo : bitmap);
      testing::ReadStatisticsWhenShown(watcher, &shown[i]);
      form()->StatisticsItem->trigger();
    }
    EXPECT_TRUE(watcher.boxes.empty())
        << photo.toStdString() << ": " << watcher.boxTexts().join("\n").toStdString();
    ASSERT_GT(shown[0].size(), 2) << photo.toStdString();
    EXPECT_EQ(shown[0][1], testing::BitCountLine(bits)) << photo.toStdString();
    shown[0].removeAt(1), shown[1].removeAt(1);
    EXPECT_EQ(shown[0], shown[1]) << photo.toStdString();
  }
}

TEST_F(InterpolFormTest, SavedStatisticsReadBackUnchangedInTheFolderTheWindowBrowses) {
  const QString sub = dir_.file("sub");
  QDir().mkpath(sub);
  testing::WritePicture(sub, "d.bmp", testing::GradientPicture(30, 20));
  form()->OpenDirectory(sub);
  click("d.bmp");
  ModalWatcher watcher;
  QStringList shown;
  int showings = 0;
  watcher.onOtherModal = [&](QWidget* modal) {
    auto* dialog = qobject_cast<TMessForm*>(modal);
    ASSERT_NE(dialog, nullptr);
    // "Save" first; the dialog is seen again once the file dialog closes: "OK".
    shown = dialog->Lines();
    QPushButton* button = showings++ == 0 ? dialog->Button2 : dialog->Button1;
    QMetaObject::invokeMethod(button, &QPushButton::click, Qt::QueuedConnection);
  };
  watcher.typeIntoFileDialog("stats.txt");
  form()->StatisticsItem->trigger();
  EXPECT_EQ(showings, 2);
  EXPECT_EQ(watcher.fileDialogs, QStringList({"TextSaveDialog"}));
  EXPECT_TRUE(shown.contains("Размер: 30 x 20 пикс.")) << shown.join("\n").toStdString();
  ASSERT_TRUE(QFileInfo::exists(sub + "/stats.txt")) << "not in the start-up folder";
  EXPECT_EQ(testing::ReadBytes(sub + "/stats.txt").count('?'), 0);
  EXPECT_EQ(ReadTextLines(sub + "/stats.txt"), shown);
  EXPECT_TRUE(watcher.boxes.empty()) << watcher.boxTexts().join("\n").toStdString();
}

}  // namespace
}  // namespace skarvel
