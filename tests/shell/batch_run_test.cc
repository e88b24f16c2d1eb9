// A batch of the three bitmap windows as a person runs it: the progress
// dialog while it runs, the file list afterwards.

#include "app/main_form.h"
#include "colour/rgb_form.h"
#include "cut/cut_form.h"
#include "platform/bitmap_file.h"
#include "resampling/interpol_form.h"
#include "shell/batch_progress.h"
#include "shell/windows.h"
#include "support/widget_test_support.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::ModalWatcher;
using testing::ProgramWindows;
using testing::TempDir;

struct Window {
  TBrowserForm* form;
  const char* suffix;
  int firstWidth;  // of the result of the 4000-pixel-wide picture at the windows' defaults
};

class BatchRunTest : public ::testing::Test {
 protected:
  BatchRunTest() : windows_(dir_.path()) {
    MainForm->show();
    InterpolForm->findChild<QRadioButton*>("RadioGroup1Item0")->setChecked(true);
  }
  ~BatchRunTest() override { BatchProgress::SetDelay(500); }
  static std::vector<Window> Windows() {
    return {{CutForm, "_cut.bmp", 100}, {RGBForm, "_mod.bmp", 4000}, {InterpolForm, "_transform.bmp", 512}};
  }
  // Shows the window and opens `folder` in it.
  static void Open(TBrowserForm* form, const QString& folder) {
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form));
    form->OpenDirectory(folder);
  }
  static void Select(TBrowserForm* form, const QStringList& names) {
    form->FileListBox1->clearSelection();
    for (const QString& name : names)
      form->FileListBox1->findItems(name, Qt::MatchExactly).front()->setSelected(true);
  }
  // Enter in the focused file list of the active window, as a person starts the batch.
  static void PressEnter(TBrowserForm* form) {
    form->raise();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->FileListBox1->setFocus();
    ASSERT_TRUE(form->FileListBox1->hasFocus())
        << (QApplication::activeWindow() ? QApplication::activeWindow()->objectName().toStdString() : "none")
        << " "
        << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "-");
    QTest::keyClick(form->FileListBox1, Qt::Key_Return);
  }
  TempDir dir_;
  ProgramWindows windows_;
};

TEST_F(BatchRunTest, TheDialogAppearsWhileTheFirstFileRunsNamesItAndOnlyCancelOrEscapeStopsIt) {
  TempDir pictures;
  // The dialog is due at once; the first picture takes a while to load.
  testing::WritePicture(pictures.path(), "a.bmp", testing::GradientPicture(4000, 3000));
  for (const char* name : {"b.bmp", "c.bmp", "d.bmp"})
    testing::WritePicture(pictures.path(), name, testing::GradientPicture(40, 30));
  const QStringList names = {"a.bmp", "b.bmp", "c.bmp", "d.bmp"};
  BatchProgress::SetDelay(0);
  struct Row {
    Qt::Key key;  // pressed in the dialog when it appears
    bool stops;
  };
  const Row rows[] = {{Qt::Key_Return, false}, {Qt::Key_Enter, false}, {Qt::Key_Escape, true}};
  for (const Window& window : Windows()) {
    SCOPED_TRACE(window.form->objectName().toStdString());
    Open(window.form, pictures.path());
    for (const Row& row : rows) {
      SCOPED_TRACE(row.key);
      for (const QString& entry : QDir(pictures.path()).entryList(QDir::Files | QDir::Hidden))
        if (!names.contains(entry)) QFile::remove(pictures.file(entry));
      Select(window.form, names);
      ModalWatcher watcher;
      int shown = 0;
      QString label;
      bool firstDone = true;
      watcher.onOtherModal = [&](QWidget* modal) {
        auto* dialog = qobject_cast<QProgressDialog*>(modal);
        ASSERT_NE(dialog, nullptr) << modal->objectName().toStdString();
        if (++shown > 1) return;
        label = dialog->labelText();
        firstDone = QFileInfo::exists(pictures.file(QStringLiteral("a") + window.suffix));
        QWidget* focus = dialog->focusWidget() != nullptr ? dialog->focusWidget() : dialog;
        QTest::keyClick(focus, row.key);
      };
      QElapsedTimer took;
      took.start();
      PressEnter(window.form);
      EXPECT_EQ(shown, 1);
      EXPECT_EQ(label, "Файл 1 из 4: a.bmp") << "the file in hand";
      EXPECT_FALSE(firstDone) << "shown while the first file runs (" << took.elapsed() << " ms in all)";
      EXPECT_TRUE(watcher.boxes.empty()) << watcher.boxTexts().join("\n").toStdString();
      // A stop comes between files: the file in hand is written whole (or,
      // stopped before it began, not at all), no file after it is started.
      const QString first = pictures.file(QStringLiteral("a") + window.suffix);
      if (!row.stops || QFileInfo::exists(first)) {
        EXPECT_EQ(LoadBitmap(first).width, window.firstWidth);
      }
      for (const char* base : {"b", "c", "d"})
        EXPECT_EQ(QFileInfo::exists(pictures.file(base + QString::fromLatin1(window.suffix))), !row.stops)
            << base;
      EXPECT_EQ(QDir(pictures.path()).entryList(QDir::Files | QDir::Hidden).size(),
                names.size() + (row.stops ? QFileInfo::exists(first) : names.size()))
          << QDir(pictures.path()).entryList(QDir::Files | QDir::Hidden).join(" ").toStdString();
    }
    window.form->hide();
  }
}

TEST_F(BatchRunTest, AfterARunTheSelectionTheCurrentEntryAndTheScrollStaySoThatEnterRunsItAgain) {
  TempDir pictures;
  for (int i = 0; i < 40; ++i)
    testing::WritePicture(pictures.path(), QStringLiteral("p%1.bmp").arg(i, 2, 10, QChar(u'0')),
                          testing::GradientPicture(16, 12));
  const QStringList chosen = {"p05.bmp", "p21.bmp", "p33.bmp"};
  for (const Window& window : Windows()) {
    SCOPED_TRACE(window.form->objectName().toStdString());
    Open(window.form, pictures.path());
    FileListBox* list = window.form->FileListBox1;
    testing::ClickEntry(window.form, "p21.bmp");
    for (const QString& name : chosen) list->findItems(name, Qt::MatchExactly).front()->setSelected(true);
    QScrollBar* scroll = list->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 10) << "40 entries do not fit the list";
    scroll->setValue(scroll->maximum() / 2);
    const int scrolled = scroll->value();
    for (int run = 1; run <= 2; ++run) {
      SCOPED_TRACE(run);
      for (const QString& name : chosen)
        QFile::remove(pictures.file(QFileInfo(name).baseName() + window.suffix));
      ModalWatcher watcher;
      PressEnter(window.form);
      EXPECT_TRUE(watcher.boxes.empty()) << watcher.boxTexts().join("\n").toStdString();
      for (const QString& name : chosen) {
        const QString output = QFileInfo(name).baseName() + window.suffix;
        EXPECT_TRUE(QFileInfo::exists(pictures.file(output))) << output.toStdString();
        EXPECT_EQ(list->findItems(output, Qt::MatchExactly).size(), 1) << "the list was read again";
      }
      EXPECT_EQ(window.form->SelectedEntries(), chosen);
      EXPECT_EQ(window.form->FileName(), pictures.file("p21.bmp")) << "the current entry stays";
      EXPECT_EQ(scroll->value(), scrolled);
    }
    // A selected file that has gone drops out of the selection.
    QFile::remove(pictures.file("p33.bmp"));
    window.form->RereadFileListKeepingSelection();
    EXPECT_EQ(window.form->SelectedEntries(), QStringList({"p05.bmp", "p21.bmp"}));
    QFile::copy(pictures.file("p05.bmp"), pictures.file("p33.bmp"));
    window.form->hide();
  }
}

}  // namespace
}  // namespace skarvel
