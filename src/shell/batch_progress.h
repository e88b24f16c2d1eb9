#pragma once
// The progress display of a long batch: a modal dialog, shown once the batch
// has run about half a second, that counts the files and has an "Отмена"
// button ending the batch after the file in hand: a click made while a file
// is processed is handled before the next file starts, which then does not.
// Short batches never show it.

#include "platform/bitmap_batch.h"

#include <QProgressDialog>
#include <QWidget>

namespace skarvel {

class BatchProgress {
 public:
  BatchProgress(QWidget* owner, qsizetype total);
  ~BatchProgress();
  BatchProgress(const BatchProgress&) = delete;
  BatchProgress& operator=(const BatchProgress&) = delete;

  // Makes the observer report to the dialog and ask it whether to go on.
  void attach(BatchObserver& observer);
  bool cancelled() const { return dialog_->wasCanceled(); }

  // How long a batch runs before the dialog appears (milliseconds).
  static void SetDelay(int milliseconds);

 private:
  // Paints the dialog at once when it appears (the file in hand would
  // otherwise leave it blank until it is done).
  void paintNow();

  QProgressDialog* dialog_;
};

}  // namespace skarvel
