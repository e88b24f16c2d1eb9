// The brightness statistics dialog: its three buttons and the saved file.

#include "shell/mess_form.h"
#include "support/widget_test_support.h"

#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::ModalWatcher;
using testing::ReadBytes;
using testing::TempDir;

TEST(MessFormTest, LayoutAndCaptions) {
  TMessForm form;
  EXPECT_EQ(form.windowTitle(), "Статистика по яркости");
  EXPECT_EQ(form.size(), QSize(464, 208));
  EXPECT_EQ(form.Button1->text(), "OK");
  EXPECT_EQ(form.Button3->text(), "Cancel");
  EXPECT_EQ(form.Button2->text(), "Save");
  EXPECT_EQ(form.Button1->geometry(), QRect(78, 16, 80, 25));
  EXPECT_EQ(form.Button3->geometry(), QRect(198, 16, 80, 25));
  EXPECT_EQ(form.Button2->geometry(), QRect(318, 16, 80, 25));
  EXPECT_EQ(form.ListBox1->count(), 0);
  EXPECT_FALSE(form.Cancelled());
  EXPECT_EQ(form.TextSaveDialog->defaultSuffix(), "txt");
  EXPECT_EQ(form.TextSaveDialog->nameFilters(), QStringList({"Text files (*.txt)"}));
  // Tab goes OK, Cancel, Save; the list is skipped.
  EXPECT_EQ(form.Button1->nextInFocusChain(), form.Button3);
  EXPECT_EQ(form.Button3->nextInFocusChain(), form.Button2);
  EXPECT_FALSE(form.ListBox1->focusPolicy() & Qt::TabFocus);
  // A fixed border: nothing to minimise or maximise.
  EXPECT_FALSE(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
  // Every line 16 pixels high, one under the other.
  form.SetLines({"Размер: 30 x 20 пикс.", "Бит на пиксель: 24", "x"});
  form.show();
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(form.ListBox1->visualItemRect(form.ListBox1->item(i)).height(), 16) << i;
  EXPECT_EQ(form.ListBox1->visualItemRect(form.ListBox1->item(2)).top() -
                form.ListBox1->visualItemRect(form.ListBox1->item(0)).top(),
            32);
}

TEST(MessFormTest, CancelledRecordsWhichButtonClosedTheDialog) {
  TMessForm form;
  form.show();
  QTest::mouseClick(form.Button3, Qt::LeftButton);
  EXPECT_TRUE(form.Cancelled());
  EXPECT_FALSE(form.isVisible());
  // The close box after "Cancel" leaves it true.
  form.show();
  form.close();
  EXPECT_TRUE(form.Cancelled());
  // "OK" after "Cancel" makes it false.
  form.show();
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_FALSE(form.Cancelled());
}

TEST(MessFormTest, ModalShowingEndsWithTheButtonAndKeepsTheLines) {
  TMessForm form;
  form.SetLines({"a", "b"});
  QTimer::singleShot(0, [&] { QTest::mouseClick(form.Button3, Qt::LeftButton); });
  form.exec();
  EXPECT_TRUE(form.Cancelled());
  EXPECT_EQ(form.Lines(), QStringList({"a", "b"}));
}

TEST(MessFormTest, SaveWritesTheLinesInWindows1251WithCrLfAndReplacesWithoutAQuestion) {
  TempDir dir;
  TMessForm form;
  form.show();
  ModalWatcher watcher;
  const QString file = dir.file("stats.txt");

  // An empty list gives an empty file.
  watcher.answerFileDialog(file);
  QTest::mouseClick(form.Button2, Qt::LeftButton);
  ASSERT_TRUE(QFileInfo::exists(file));
  EXPECT_EQ(QFileInfo(file).size(), 0);

  form.SetLines({"Канал R: 12", "", "end"});
  watcher.answerFileDialog(file);
  QTest::mouseClick(form.Button2, Qt::LeftButton);
  EXPECT_EQ(ReadBytes(file), QByteArray("\xCA\xE0\xED\xE0\xEB R: 12\r\n\r\nend\r\n"));
  EXPECT_TRUE(watcher.boxes.empty()) << "no question before replacing";
  EXPECT_TRUE(form.isVisible()) << "the dialog stays open";

  // Cancelling the save dialog writes nothing.
  QTest::mouseClick(form.Button2, Qt::LeftButton);
  EXPECT_EQ(watcher.fileDialogs.size(), 3);
}

TEST(MessFormTest, AFileThatCannotBeCreatedReachesTheErrorReport) {
  TempDir dir;
  TMessForm form;
  form.SetLines({"x"});
  form.show();
  ModalWatcher watcher;
  const QString file = dir.file("missing-folder/stats.txt");
  watcher.answerFileDialog(file);
  QTest::mouseClick(form.Button2, Qt::LeftButton);
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, "Skarvel");
  EXPECT_EQ(watcher.boxes[0].text, "Cannot create file " + file + ".");
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.Lines(), QStringList({"x"}));
}

}  // namespace
}  // namespace skarvel
