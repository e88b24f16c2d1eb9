#pragma once
// The colour composition window: four sliders, each paired with an edit in
// which the same value can be typed, set the channel weights and the
// contrast; the grey composition of the clicked picture is shown at once, and
// "Преобразовать" writes every selected picture as <base name>_mod.bmp.

#include "colour/grey.h"
#include "shell/browser_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <memory>

namespace skarvel {

class TRGBForm : public TBrowserForm {
  Q_OBJECT
 public:
  TRGBForm();

  void FileListBox1Click() override;
  void Button1Click() override;
  // Any slider's change: rewrites the four edits, then RefreshResult.
  void RTrackBarChange();
  // Any edit's change: sets the sliders from the texts.
  void REditChange();
  // The composition of the loaded picture under the slider positions, shown.
  void RefreshResult();

  // The slider positions.
  ChannelSettings Settings() const;
  const std::shared_ptr<const Bitmap>& SourceImage() const { return source_; }
  const std::shared_ptr<Bitmap>& GreyImage() const { return grey_; }

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

  std::shared_ptr<const Bitmap> source_ = std::make_shared<const Bitmap>();
  // What the grey picture holds: the composition of source number
  // `composedSource_` under `composedWith_` (none yet: -1).
  long long sourceNumber_ = 0;
  long long composedSource_ = -1;
  ChannelSettings composedWith_;
  long long compositions_ = 0;  // made so far
  std::shared_ptr<Bitmap> grey_ = std::make_shared<Bitmap>();
};

}  // namespace skarvel
