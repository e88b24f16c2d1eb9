#include "shell/batch_progress.h"

namespace skarvel {
namespace {

int g_delay = 500;

}  // namespace

void BatchProgress::SetDelay(int milliseconds) { g_delay = milliseconds; }

BatchProgress::BatchProgress(QWidget* owner, qsizetype total)
    : dialog_(new QProgressDialog(QString(), QStringLiteral("Отмена"), 0, static_cast<int>(total), owner)) {
  dialog_->setObjectName(QStringLiteral("BatchProgressDialog"));
  dialog_->setWindowTitle(owner != nullptr ? owner->windowTitle() : QString());
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
    // Lets the dialog appear once the delay is over, and its button be pressed.
    dialog_->setValue(static_cast<int>(done));
  };
  observer.cancelled = [this] { return dialog_->wasCanceled(); };
}

}  // namespace skarvel
