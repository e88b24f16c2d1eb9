#pragma once
// The field-of-view window: a click on a list file draws the footprints of
// its frames over the scene with the spacecraft track and the legend; the
// orientation system can be switched (the scene is then drawn again), the
// drawing zoomed from its pop-up menu and saved as a bitmap by a double click.

#include "fov/fov_scene.h"
#include "relief/relief_surface.h"
#include "platform/raster.h"
#include "shell/browser_form.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QListView>
#include <QRadioButton>
#include <QStringListModel>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace skarvel {

// Radio item of "Система ориентации" to orientation system: item 0
// "Математическая" is 3, item 1 "Фотограмметрическая" 2, item 2 "Стендовая" 1.
TOrientationSystem OrientationOfItem(int itemIndex);

// The legend panel: painted from the scene's entries, only the part exposed.
class LegendView : public QWidget {
  Q_OBJECT
 public:
  explicit LegendView(const FovScene& scene, QWidget* parent = nullptr) : QWidget(parent), scene_(scene) {}
  // Takes the size of the scene's legend.
  void follow() {
    resize(scene_.LegendWidth(), scene_.LegendHeight());
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const FovScene& scene_;
};

// The coverage view: a window of its own with the coverage picture of the
// scene over the relief, zoomed as the drawing is.
// The model's relief kept beside a field-of-view list: relief.tif, else
// relief.asc, in the list's folder; empty when there is neither.
QString ModelReliefBeside(const QString& listFileName);

class CoverageView : public QScrollArea {
  Q_OBJECT
 public:
  explicit CoverageView(QWidget* parent);
  PictureView* Picture;
};

class TFOVForm : public TBrowserForm {
  Q_OBJECT
 public:
  TFOVForm();

  void FileListBox1Click() override;
  void RadioGroup3Click();
  void Image1DblClick();
  // "Сохранить контуры…": the footprint figures as GeoJSON or CSV.
  void SaveOutlinesClick();
  // "Рельеф модели…": a height map for the coverage view; a bad one is an
  // error and leaves the previous relief. "Без рельефа" drops it. Until one
  // of them is chosen, a list brings the model's relief kept beside it
  // (ModelReliefBeside).
  void ReliefClick();
  void NoReliefClick();
  // "Сохранить покрытие…": the coverage counts as GeoTIFF or ESRI ASCII grid.
  void SaveCoverageClick();

  bool HasRelief() const { return relief_.has_value(); }
  const std::vector<std::uint32_t>& CoverageCounts() const { return counts_; }

  const FovScene& Scene() const { return scene_; }
  int RadioGroup3ItemIndex() const { return radioItems_->checkedId(); }

  PictureView* Image1;
  PictureView* CrossImage1;
  QListView* ListBox1;  // hidden: the corner lines of the loads
  QScrollArea* ScrollBox2;
  LegendView* Image2;  // the legend panel
  QWidget* Panel4;
  QGroupBox* RadioGroup3;
  QFileDialog* BmpSaveDialog;
  QAction* SaveOutlinesItem;
  QFileDialog* OutlineSaveDialog;
  QAction* ReliefItem;
  QAction* NoReliefItem;
  QAction* SaveCoverageItem;
  QFileDialog* CoverageSaveDialog;
  CoverageView* Coverage;

 protected:
  void ApplyZoom(int height, int width) override;

 private:
  void load(const QString& listFileName);
  void showScene();
  // Computes and shows the coverage of the scene over the relief (hides the
  // view without a relief or a scene).
  void updateCoverage();
  void zoomCoverage();
  // Holds the relief (none: no relief) and the intersector over it.
  void setRelief(std::optional<HeightMap> map);

  FovScene scene_;
  QButtonGroup* radioItems_;
  QStringListModel* cornerLines_;
  std::optional<HeightMap> relief_;
  std::unique_ptr<SurfaceIntersector> surface_;  // over relief_, made once for it
  QString reliefFolder_;
  bool reliefByHand_ = false;  // chosen or refused in the menu
  QString reliefFile_;         // the relief brought by the last list
  std::vector<std::uint32_t> counts_;
};

}  // namespace skarvel
