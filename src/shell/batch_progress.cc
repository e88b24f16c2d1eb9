#include "shell/batch_progress.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPushButton>

#include <climits>
#include <exception>
#include <thread>

namespace skarvel {
namespace {

int g_delay = 500;

// Runs `call` on the thread of `context` and waits for it; an error it
// raises comes out here, on the calling thread.
void CallAndWait(QObject* context, const std::function<void()>& call) {
  std::exception_ptr failure;
  QMetaObject::invokeMethod(
      context,
      [&] {
        try {
          call();
        } catch (...) {
          failure = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

void BatchProgress::SetDelay(int milliseconds) { g_delay = milliseconds; }

BatchProgress::BatchProgress(QWidget* owner, qsizetype total)
    : dialog_(new QProgressDialog(QString(), QString(), 0, static_cast<int>(total), owner)) {
  dialog_->setObjectName(QStringLiteral("BatchProgressDialog"));
  // A short caption: the task window's own is longer than a window system
  // shows over a dialog of this width.
  dialog_->setWindowTitle(QStringLiteral("Обработка файлов"));
  dialog_->setMinimumWidth(360);
  // Modal: while it is shown no other window takes input.
  dialog_->setWindowModality(Qt::ApplicationModal);
  // A dialog's buttons press themselves on Enter; this one must not, or
  // Enter, pressed to start the batch and held or pressed again, ends it.
  auto* cancel = new QPushButton(QStringLiteral("Отмена"), dialog_);
  cancel->setObjectName(QStringLiteral("CancelButton"));
  cancel->setAutoDefault(false);
  cancel->setDefault(false);
  dialog_->setCancelButton(cancel);
  // The dialog is shown by the timer below, never by its own estimate.
  dialog_->setMinimumDuration(INT_MAX);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setValue(0);
  // Escape, or the window's close box, ends the batch like "Отмена".
  QObject::connect(dialog_, &QDialog::rejected, dialog_, &QProgressDialog::cancel);
  appear_.setSingleShot(true);
  QObject::connect(&appear_, &QTimer::timeout, dialog_, [this] {
    due_ = true;
    showWhenDue();
  });
}

void BatchProgress::showWhenDue() {
  // Shown once it is due and names the file in hand, never blank.
  if (due_ && named_ && !dialog_->wasCanceled() && !dialog_->isVisible()) dialog_->show();
}

BatchProgress::~BatchProgress() {
  dialog_->close();
  delete dialog_;
}

void BatchProgress::run(const BatchObserver& window, const std::function<void(const BatchObserver&)>& batch) {
  BatchObserver relay;
  if (window.loaded)
    relay.loaded = [&](const QString& entry, const std::shared_ptr<const Bitmap>& picture) {
      CallAndWait(dialog_, [&] { window.loaded(entry, picture); });
    };
  if (window.written)
    relay.written = [&](const QString& fileName, const Bitmap& result) {
      CallAndWait(dialog_, [&] { window.written(fileName, result); });
    };
  if (window.saved)
    relay.saved = [&](const QString& fileName) { CallAndWait(dialog_, [&] { window.saved(fileName); }); };
  relay.progress = [&](qsizetype done, qsizetype total, const QString& entry) {
    CallAndWait(dialog_, [&] {
      // The file about to be processed, named while it is.
      dialog_->setLabelText(QStringLiteral("Файл %1 из %2: %3").arg(done + 1).arg(total).arg(entry));
      dialog_->setValue(static_cast<int>(done));
      named_ = true;
      showWhenDue();
      if (window.progress) window.progress(done, total, entry);
    });
  };
  relay.cancelled = [&] {
    bool stop = false;
    CallAndWait(dialog_, [&] { stop = dialog_->wasCanceled() || (window.cancelled && window.cancelled()); });
    return stop;
  };

  bool finished = false;
  std::exception_ptr failure;
  appear_.start(g_delay);
  std::thread worker([&] {
    try {
      batch(relay);
    } catch (...) {
      failure = std::current_exception();
    }
    QMetaObject::invokeMethod(
        dialog_, [&] { finished = true; }, Qt::QueuedConnection);
  });
  try {
    while (!finished) {
      // Input waits while the dialog is not on the screen (before it
      // appears, after "Отмена"): nothing may start another batch or change
      // what this one shows. While it is shown, its modality keeps input to
      // itself.
      const auto input = dialog_->isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
      QCoreApplication::processEvents(input | QEventLoop::WaitForMoreEvents);
    }
  } catch (...) {
    // Whatever escaped an event handler, the batch still refers to this
    // frame: it stops before its next file and is waited for.
    dialog_->cancel();
    while (!finished)
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    worker.join();
    throw;
  }
  worker.join();
  appear_.stop();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace skarvel
