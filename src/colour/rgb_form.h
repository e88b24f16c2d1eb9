#pragma once
// The colour composition window: four sliders, each paired with an edit in
// which the same value can be typed, set the channel weights and the
// contrast; the grey composition of the clicked picture is shown at once, and
// "Преобразовать" writes every selected picture as <base name>_mod.bmp.

#include "colour/deferred_grey.h"
#include "colour/grey.h"
#include "shell/browser_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSlider>
#include <QTimer>

#include <memory>

namespace skarvel {

class TRGBForm : public TBrowserForm {
  Q_OBJECT
 public:
  TRGBForm();
  ~TRGBForm() override;

  void FileListBox1Click() override;
  void Button1Click() override;
  // Any slider's change: rewrites the four edits, then RefreshResult.
  void RTrackBarChange();
  // Any edit's change: sets the sliders from the texts.
  void REditChange();
  // Editing of an edit ended (Enter, or the focus left it): the edit takes
  // the text its slider's change wrote while it was being typed into.
  void REditExit(QLineEdit* edit);
  // The composition of the loaded picture under the slider positions, shown:
  // the part in view is composed when it is painted, the rest on idle.
  void RefreshResult();

  // The slider positions.
  ChannelSettings Settings() const;
  const std::shared_ptr<const Bitmap>& SourceImage() const { return source_; }
  // The whole result, any part still pending composed first.
  const std::shared_ptr<Bitmap>& GreyImage();
  // Whether part of the result is still to be composed.
  bool ResultPending() const { return result_.pending(); }

  PictureView* CrossImage1;
  QSlider* RTrackBar;
  QSlider* GTrackBar;
  QSlider* BTrackBar;
  QSlider* CTrackBar;
  QLineEdit* REdit;
  QLineEdit* GEdit;
  QLineEdit* BEdit;
  QLineEdit* CEdit;
  QPushButton* Button1;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void setSource(std::shared_ptr<const Bitmap> source);
  // Writes a slider's text into its edit, unless the user is typing into it.
  void showText(QLineEdit* edit, const QString& text);
  QString formattedText(const QLineEdit* edit) const;

  // Edits that a slider change left alone while they had the focus: each
  // takes its formatted text when its editing ends.
  QSet<const QLineEdit*> owed_;
  // The edit whose editing is ending: it is written like any other.
  const QLineEdit* exiting_ = nullptr;
  void composeOnIdle();

  std::shared_ptr<const Bitmap> source_ = std::make_shared<const Bitmap>();
  std::shared_ptr<Bitmap> grey_ = std::make_shared<Bitmap>();
  DeferredGrey result_{grey_};
  // What a batch composes into while the view shows the previous result.
  Bitmap batchResult_;
  QTimer idle_;
};

}  // namespace skarvel
