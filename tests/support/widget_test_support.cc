#include "support/widget_test_support.h"

#include "app/create_windows.h"
#include "platform/bitmap_file.h"
#include "platform/picture_file.h"
#include "shell/browser_form.h"
#include "shell/mess_form.h"
#include "support/test_support.h"

#include <QProgressDialog>
#include <QPushButton>

#include <QAbstractButton>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace skarvel::testing {

namespace {

// Types the file's full name (or the text as given) into the dialog's name
// field, as a person may.
void TypeFileName(QFileDialog* dialog, const QString& fileName, bool asIs) {
  if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
    edit->setText(asIs ? fileName : QFileInfo(fileName).absoluteFilePath());
  } else {
    dialog->selectFile(fileName);
  }
}

}  // namespace

ModalWatcher::ModalWatcher() {
  connect(&timer_, &QTimer::timeout, this, &ModalWatcher::poll);
  timer_.start(5);
}

ModalWatcher::~ModalWatcher() { timer_.stop(); }

QStringList ModalWatcher::boxTexts() const {
  QStringList texts;
  for (const Box& box : boxes) texts.append(box.caption + QStringLiteral(": ") + box.text);
  return texts;
}

void ModalWatcher::poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || !modal->isVisible()) return;
  if (modal == answered_) {
    // A file dialog reads its folder in the background and may reset its
    // name field after the answer was typed: type it again, as a person would.
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog != nullptr && !lastAnswer_.text.isEmpty() && answeredAt_.elapsed() > 200) {
      answeredAt_.start();
      TypeFileName(dialog, lastAnswer_.text, lastAnswer_.typedAsIs);
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }
    return;
  }
  // Answered once per showing: a dialog shown again is answered again.
  answered_ = modal;
  answeredAt_.start();
  if (auto* dialog = qobject_cast<QDialog*>(modal))
    connect(
        dialog, &QDialog::finished, this, [this] { answered_ = nullptr; }, Qt::SingleShotConnection);
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    boxes.push_back({box->objectName(), box->windowTitle(), box->text(), box->icon(),
                     static_cast<int>(box->buttons().size())});
    QAbstractButton* button = box->button(QMessageBox::Yes);
    if (button == nullptr) button = box->button(QMessageBox::Ok);
    if (button == nullptr) button = box->buttons().value(0);
    // Queued, so that whatever the click opens in turn is seen by the next poll.
    if (button != nullptr) QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
    return;
  }
  if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
    fileDialogs.append(dialog->objectName());
    const FileAnswer answer = fileAnswers_.empty() ? FileAnswer{QString(), false} : fileAnswers_.front();
    if (!fileAnswers_.empty()) fileAnswers_.pop_front();
    lastAnswer_ = answer;
    // The dialog's own slots, as its buttons run them; queued, so that a
    // question the dialog asks in turn is seen by the next poll.
    if (answer.text.isEmpty()) {
      QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
    } else {
      TypeFileName(dialog, answer.text, answer.typedAsIs);
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }
    return;
  }
  if (onOtherModal) {
    onOtherModal(modal);
  } else {
    ADD_FAILURE() << "unexpected modal window " << modal->objectName().toStdString();
    modal->close();
  }
}

ProgramWindows::ProgramWindows(const QString& startFolder) : previousFolder_(QDir::currentPath()) {
  EXPECT_TRUE(QDir::setCurrent(startFolder));
  CreateWindows();
}

ProgramWindows::~ProgramWindows() {
  DestroyWindows();
  Settle();
  QDir::setCurrent(previousFolder_);
}

void CopySamples(const QString& folder) {
  const QDir source(SourceDir() + QStringLiteral("/samples"));
  QDirIterator it(source.path(), QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString from = it.next();
    const QString to = QDir(folder).filePath(source.relativeFilePath(from));
    QDir().mkpath(QFileInfo(to).path());
    EXPECT_TRUE(QFile::copy(from, to)) << to.toStdString();
  }
}

Bitmap GradientPicture(int width, int height) {
  Bitmap picture = Bitmap::Colour(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = picture.row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = static_cast<std::uint8_t>(x + y);
    }
  return picture;
}

QString WritePicture(const QString& folder, const QString& name, const Bitmap& picture) {
  const QString file = QDir(folder).filePath(name);
  SaveBitmap(picture, file);
  return file;
}

void CancelProgressWhenShown(ModalWatcher& watcher, int* shown) {
  watcher.onOtherModal = [shown](QWidget* modal) {
    auto* progress = qobject_cast<QProgressDialog*>(modal);
    ASSERT_NE(progress, nullptr) << modal->objectName().toStdString();
    ++*shown;
    // The dialog's own button, as a person presses it.
    QMetaObject::invokeMethod(progress, "cancel", Qt::QueuedConnection);
  };
}

void ReadStatisticsWhenShown(ModalWatcher& watcher, QStringList* lines) {
  watcher.onOtherModal = [lines](QWidget* modal) {
    auto* dialog = qobject_cast<TMessForm*>(modal);
    ASSERT_NE(dialog, nullptr) << modal->objectName().toStdString();
    *lines = dialog->Lines();
    QMetaObject::invokeMethod(dialog->Button3, &QPushButton::click, Qt::QueuedConnection);
  };
}

void ClickEntry(TBrowserForm* form, const QString& entry) {
  FileListBox* list = form->FileListBox1;
  ASSERT_TRUE(list->selectEntry(entry)) << entry.toStdString();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->currentItem()).center());
}

void RunAsEvent(const std::function<void()>& action) {
  bool done = false;
  QTimer::singleShot(0, qApp, [&] {
    // Marked first: the action may end in an error, which the report takes.
    done = true;
    action();
  });
  while (!done) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QApplication::processEvents();
}

void DoubleClick(QWidget* widget, QPoint at) {
  QTest::mousePress(widget, Qt::LeftButton, {}, at);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
  QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
  QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
}

void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString CopyPhotoWithItsBitmap(const QString& folder, const QString& name) {
  const QString source = SourceDir() + "/samples/photos/" + name;
  EXPECT_TRUE(QFile::copy(source, folder + "/" + name)) << name.toStdString();
  SaveBitmap(LoadPicture(source), folder + "/" + name + ".bmp");
  return name + ".bmp";
}

QString BitCountLine(int bits) { return QStringLiteral("Бит на пиксель: %1").arg(bits); }

}  // namespace skarvel::testing
