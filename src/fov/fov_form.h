#pragma once
// The field-of-view window: a click on a list file draws the footprints of
// its frames over the scene with the spacecraft track and the legend; the
// orientation system can be switched (the scene is then drawn again), the
// drawing zoomed from its pop-up menu and saved as a bitmap by a double click.

#include "fov/fov_scene.h"
#include "shell/browser_form.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QListView>
#include <QRadioButton>
#include <QStringListModel>

namespace skarvel {

// Radio item of "Система ориентации" to orientation system: item 0
// "Математическая" is 3, item 1 "Фотограмметрическая" 2, item 2 "Стендовая" 1.
TOrientationSystem OrientationOfItem(int itemIndex);

class TFOVForm : public TBrowserForm {
  Q_OBJECT
 public:
  TFOVForm();

  void FileListBox1Click() override;
  void RadioGroup3Click();
  void Image1DblClick();

  const FovScene& Scene() const { return scene_; }
  int RadioGroup3ItemIndex() const { return radioItems_->checkedId(); }

  PictureView* Image1;
  PictureView* CrossImage1;
  QListView* ListBox1;  // hidden: the corner lines of the loads
  QScrollArea* ScrollBox2;
  PictureView* Image2;  // the legend panel
  QWidget* Panel4;
  QGroupBox* RadioGroup3;
  QFileDialog* BmpSaveDialog;

 private:
  void load(const QString& listFileName);
  void showScene();

  FovScene scene_;
  QButtonGroup* radioItems_;
  QStringListModel* cornerLines_;
};

}  // namespace skarvel
