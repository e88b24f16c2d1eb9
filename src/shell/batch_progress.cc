#include "shell/batch_progress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWindow>

namespace skarvel {
namespace {

int g_delay = 500;

}  // namespace

void BatchProgress::SetDelay(int milliseconds) { g_delay = milliseconds; }

BatchProgress::BatchProgress(QWidget* owner, qsizetype total)
    : dialog_(new QProgressDialog(QString(), QStringLiteral("Отмена"), 0, static_cast<int>(total), owner)) {
  dialog_->setObjectName(QStringLiteral("BatchProgressDialog"));
  // A short caption: the task window's own is longer than a window system
  // shows over a dialog of this width.
  dialog_->setWindowTitle(QStringLiteral("Обработка файлов"));
  dialog_->setMinimumWidth(360);
  // Modal: the handler runs to its end before any other window reacts.
  dialog_->setWindowModality(Qt::ApplicationModal);
  dialog_->setMinimumDuration(g_delay);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setValue(0);
}

BatchProgress::~BatchProgress() {
  dialog_->close();
  delete dialog_;
}

void BatchProgress::attach(BatchObserver& observer) {
  observer.progress = [this](qsizetype done, qsizetype total, const QString& entry) {
    dialog_->setLabelText(QStringLiteral("Файл %1 из %2: %3").arg(done + 1).arg(total).arg(entry));
    const bool visible = dialog_->isVisible();
    // Lets the dialog appear once the delay is over, and its button be pressed.
    dialog_->setValue(static_cast<int>(done));
    if (!visible && dialog_->isVisible()) paintNow();
  };
  observer.cancelled = [this] {
    // A click on "Отмена" made while the previous file ran is still waiting
    // in the queue: it is handled now, before the next file starts. The
    // dialog is modal, so nothing else of the program can be reached.
    if (dialog_->isVisible()) QCoreApplication::processEvents();
    return dialog_->wasCanceled();
  };
}

void BatchProgress::paintNow() {
  // The window system shows the window a moment after it is asked to;
  // waiting for that is bounded, the batch goes on in any case.
  QElapsedTimer waited;
  waited.start();
  const QWindow* window = dialog_->windowHandle();
  while (window != nullptr && !window->isExposed() && waited.elapsed() < 250) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  dialog_->repaint();
  QCoreApplication::processEvents();
}

}  // namespace skarvel
