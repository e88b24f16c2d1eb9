#pragma once
// The angular-resolution modelling window: resamples the selected pictures
// to a new pixel size, by nearest neighbour or the bilinear weighting, and
// writes each as <base name>_transform.bmp beside its source.

#include "shell/browser_form.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace skarvel {

class TInterpolForm : public TBrowserForm {
  Q_OBJECT
 public:
  TInterpolForm();

  void FileListBox1Click() override;
  void Button1Click() override;
  // Enter runs the processing; Ctrl+J (other modifiers not looked at) shows
  // or hides RadioGroup1; after every key the panel is laid out by its
  // visibility.
  void FormKeyDown(int key, Qt::KeyboardModifiers modifiers) override;

  // The method in force: the index of RadioGroup1's selected item, shown or not.
  int Method() const { return methods_->checkedId(); }
  // The picture shown in Image1.
  const std::shared_ptr<const Bitmap>& Picture() const { return picture_; }

  PictureView* Image1;
  QLabel* Label1;
  QLineEdit* Edit1;  // new width
  QLabel* Label3;
  QLineEdit* Edit3;  // new height
  QGroupBox* RadioGroup1;
  QPushButton* Button1;

 private:
  // Label1 and Label3 at 300 and the edits at 550 when RadioGroup1 is
  // visible, at 100 and 350 when it is hidden.
  void layOutPanel();
  void showPicture(std::shared_ptr<const Bitmap> picture);

  QButtonGroup* methods_;
  std::shared_ptr<const Bitmap> picture_;
};

}  // namespace skarvel
