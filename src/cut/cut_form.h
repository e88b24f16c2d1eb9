#pragma once
// The fragment extraction window: the rectangle typed as two corners is
// drawn in red over the clicked picture and cut out of every selected
// picture into <base name>_cut.bmp beside it.

#include "cut/fragment.h"
#include "shell/browser_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

namespace skarvel {

// The overlay over the picture: as if a white-transparent picture of the
// natural size with the red outline drawn on it were stretched over the
// picture, through the same mapping, except that below 100 % a control pixel
// is red when any natural pixel it covers is, so that the outline is seen
// at every zoom. Only the exposed part is computed.
class CutOverlay : public QWidget {
  Q_OBJECT
 public:
  explicit CutOverlay(QWidget* parent = nullptr);
  // The overlay picture's natural size (the picture's at the last click).
  void setNaturalSize(QSize size);
  QSize naturalSize() const { return natural_; }
  // Draws the outline anew with the pen width given.
  void drawOutline(const CutFrame& frame, int penWidth);
  int penWidth() const { return penWidth_; }
  std::optional<CutFrame> frame() const { return frame_; }
  // The control pixels of `area` as painted: transparent, or opaque red.
  QImage render(const QRect& area) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QSize natural_{0, 0};
  std::optional<CutFrame> frame_;
  int penWidth_ = 2;
};

class TCutForm : public TBrowserForm {
  Q_OBJECT
 public:
  TCutForm();

  void FileListBox1Click() override;
  void Button1Click() override;
  // Redraws the labels and the outline from the four edits; silent when one
  // of them does not hold an integer.
  void DrawCutFrame();

  const std::shared_ptr<const Bitmap>& Picture() const { return picture_; }

  PictureView* Image1;
  CutOverlay* CrossImage1;
  QLineEdit* Edit1;  // W1
  QLineEdit* Edit2;  // H1
  QLineEdit* Edit3;  // W2
  QLineEdit* Edit4;  // H2
  QLabel* Label8;    // "Ширина = "
  QLabel* Label9;    // "Высота = "
  QPushButton* Button1;

 private:
  void showPicture(std::shared_ptr<const Bitmap> picture);

  std::shared_ptr<const Bitmap> picture_;
};

}  // namespace skarvel
