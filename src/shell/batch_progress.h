#pragma once
// The progress display of a long batch: a modal dialog that counts the files
// and names the one in hand, with an "Отмена" button ending the batch after
// that file.
//
// The batch runs on a thread of its own while the window's thread goes on
// handling events, so the dialog appears once the batch has run about half a
// second, however long its first file takes, and paints and answers at once.
// Until it appears, and after "Отмена", the windows take no input (what the
// user types waits for the end of the batch). Only "Отмена" (a click, or
// Space while it has the focus) or Escape stops the batch; Enter never
// presses the button. Short batches never show the dialog.
//
// What the batch tells its observer reaches the window's observer on the
// window's thread, the batch waiting meanwhile: the window sees the same
// calls in the same order as from a batch run in its own thread. An error of
// the batch, or of the window's observer, ends the batch and comes out of
// run() on the window's thread.

#include "platform/bitmap_batch.h"

#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace skarvel {

class BatchProgress {
 public:
  BatchProgress(QWidget* owner, qsizetype total);
  ~BatchProgress();
  BatchProgress(const BatchProgress&) = delete;
  BatchProgress& operator=(const BatchProgress&) = delete;

  // Runs `batch` on a thread of its own with an observer that passes every
  // call on to `window` on this thread, reports the progress to the dialog
  // and asks the dialog whether to go on. Returns when the batch has ended.
  void run(const BatchObserver& window, const std::function<void(const BatchObserver&)>& batch);
  bool cancelled() const { return dialog_->wasCanceled(); }

  // How long a batch runs before the dialog appears (milliseconds).
  static void SetDelay(int milliseconds);

 private:
  void showWhenDue();

  QProgressDialog* dialog_;
  QTimer appear_;
  bool due_ = false;    // the delay is over
  bool named_ = false;  // the label names a file
};

}  // namespace skarvel
