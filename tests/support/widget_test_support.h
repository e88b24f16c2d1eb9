#pragma once
// Helpers for driving the program's windows as a person would.

#include "platform/bitmap.h"
#include "platform/desktop_services.h"
#include "support/test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

namespace skarvel {
class TBrowserForm;
}

namespace skarvel::testing {

// Answers the modal windows that appear while it lives, as a person would:
// every message box is read (recorded) and closed with OK (Yes where it
// asks), every file dialog gets the next queued answer (a file name to
// choose, or an empty text to cancel; cancelled when nothing is queued).
class ModalWatcher : public QObject {
 public:
  struct Box {
    QString objectName;
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    int buttons;  // how many buttons it had
  };

  ModalWatcher();
  ~ModalWatcher() override;

  void answerFileDialog(const QString& fileName) { fileAnswers_.push_back({fileName, false}); }
  // Types `text` into the next file dialog's name field exactly as given (a
  // bare name is then taken in the folder the dialog shows).
  void typeIntoFileDialog(const QString& text) { fileAnswers_.push_back({text, true}); }
  // Called with any other modal window (a dialog of the program); it must close it.
  std::function<void(QWidget*)> onOtherModal;

  std::vector<Box> boxes;
  QStringList fileDialogs;  // object names of the file dialogs answered
  // Captions and texts of the boxes, "caption: text" each.
  QStringList boxTexts() const;

 private:
  void poll();
  QTimer timer_;
  QPointer<QWidget> answered_;  // the modal window answered last, until it closes
  QElapsedTimer answeredAt_;
  struct FileAnswer {
    QString text;
    bool typedAsIs;  // else made a full name first
  };
  FileAnswer lastAnswer_;  // of the file dialog answered last
  std::deque<FileAnswer> fileAnswers_;
};

// Records the documents the main window hands to the desktop.
class RecordingOpener : public DocumentOpener {
 public:
  RecordingOpener() : previous_(SetDocumentOpener(this)) {}
  ~RecordingOpener() override { SetDocumentOpener(previous_); }
  void Open(QWidget*, const QString& fileName) override { opened.append(fileName); }
  QStringList opened;

 private:
  DocumentOpener* previous_;
};

// Records the help requests of the main window.
class RecordingHelpViewer : public HelpViewer {
 public:
  RecordingHelpViewer() : previous_(SetHelpViewer(this)) {}
  ~RecordingHelpViewer() override { SetHelpViewer(previous_); }
  void ShowHelp(QWidget*, const QString& helpFile, unsigned command, unsigned long data) override {
    requests.append(QStringLiteral("%1 %2 %3").arg(helpFile).arg(command).arg(data));
  }
  QStringList requests;

 private:
  HelpViewer* previous_;
};

// The program's windows made in a folder of the test's own (the process's
// current directory while they are created), destroyed afterwards; the
// previous current directory is restored.
class ProgramWindows {
 public:
  explicit ProgramWindows(const QString& startFolder);
  ~ProgramWindows();

 private:
  QString previousFolder_;
};

// Copies the project's sample folder into `folder` (bench/, fov/, bitmaps/).
void CopySamples(const QString& folder);

// A fresh folder holding a copy of the samples; make it before the windows,
// whose folder lists start at the current directory of their creation.
class SampleWorkspace : public TempDir {
 public:
  SampleWorkspace() { CopySamples(path()); }
};

// Clicks an entry of a task window's file list with the mouse, as a person
// picks a file (fails the test when the list has no such entry).
void ClickEntry(TBrowserForm* form, const QString& entry);

// Runs `action` as the event loop runs a handler (a menu item chosen, a
// button pressed): an error it raises ends there, in the error report.
void RunAsEvent(const std::function<void()>& action);

// A double click as the window system delivers it: press, release, then the
// second press as a double click, and its release.
void DoubleClick(QWidget* widget, QPoint at);

// A colour picture whose pixel (x, y) has blue x, green y and red x + y (mod 256).
Bitmap GradientPicture(int width, int height);
// Writes a picture as a bitmap file into `folder`; returns its full name.
QString WritePicture(const QString& folder, const QString& name, const Bitmap& picture);

// The sample photographs of every kind (samples/photos), with the bits per
// pixel of each file.
struct SamplePhoto {
  QString name;
  int fileBitCount;
};
inline const SamplePhoto kSamplePhotos[] = {
    {"aerial.jpg", 24},     {"relief_grey.jpg", 8},    {"IMG_0042.JPG", 24}, {"aerial_palette.png", 8},
    {"aerial_rgb.png", 32}, {"relief_grey16.png", 16}, {"aerial16.tif", 48},
};
// The statistics lines of a photograph and of the bitmap of its pixels
// differ in the bits per pixel alone; this is the photograph's line.
QString BitCountLine(int bits);
// Copies a sample photograph into the folder, and beside it the bitmap of
// its pixels as "<name>.bmp"; returns that bitmap's entry name.
QString CopyPhotoWithItsBitmap(const QString& folder, const QString& name);

// Answers the batch progress dialog: presses "Отмена" the first time it shows.
void CancelProgressWhenShown(ModalWatcher& watcher, int* shown);

// Answers the statistics dialog: keeps its lines in `lines`, then presses
// "Cancel", every time it shows.
void ReadStatisticsWhenShown(ModalWatcher& watcher, QStringList* lines);

// Lets queued events (paints, deferred deletes) run.
void Settle();

// Finds a child of `parent` by object name and type; fails the test when absent.
template <typename T>
T* Find(QObject* parent, const QString& name) {
  T* found = parent->findChild<T*>(name);
  if (found == nullptr)
    ADD_FAILURE() << "no " << name.toStdString() << " in " << parent->objectName().toStdString();
  return found;
}

}  // namespace skarvel::testing
