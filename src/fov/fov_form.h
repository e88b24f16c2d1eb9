#pragma once
// The field-of-view window: a click on a list file draws the footprints of
// its frames over the scene with the spacecraft track and the legend; the
// orientation system can be switched (the scene is then drawn again), the
// drawing zoomed from its pop-up menu and saved as a bitmap by a double click.

#include "fov/fov_job.h"
#include "fov/fov_scene.h"
#include "platform/raster.h"
#include "shell/browser_form.h"

#include <QActionGroup>
#include <QButtonGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
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

// The model's relief kept beside a field-of-view list: relief.tif, else
// relief.asc, in the list's folder; empty when there is neither.
QString ModelReliefBeside(const QString& listFileName);

// The legend of the coverage view, painted in the window's font whatever
// the map's zoom (PaintCoverageLegend).
class CoverageLegend : public QWidget {
  Q_OBJECT
 public:
  explicit CoverageLegend(QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The coverage view: a window of its own with the coverage picture of the
// scene over the relief (or the plane), zoomed as the drawing is, in a
// scroll area, and under it the legend at its own size.
class CoverageView : public QWidget {
  Q_OBJECT
 public:
  explicit CoverageView(QWidget* parent);
  // Shows the view, when hidden placed wholly on the available part of the
  // screen of `owner`, over its middle.
  void showOver(const QWidget* owner);
  QScrollArea* Scroll;
  PictureView* Picture;
  CoverageLegend* Legend;
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
  // "Рельеф модели…": a height map for the coverage view, opened in the
  // list's folder, and its Z scale ("ReliefZScaleDialog", the held relief's
  // scale or 1 to begin with); a bad map or scale is an error and leaves the
  // previous relief. "Покрытие без рельефа…": the coverage on the plane of
  // the scene with square cells of a size asked for ("CoverageCellDialog").
  // "Без рельефа" drops either. Until one of them is chosen, a list brings
  // the model's relief kept beside it (ModelReliefBeside).
  // "Поверхность: билинейная" and "Поверхность: блоки" choose the surface
  // model of the relief (bilinear to begin with): the held relief is read
  // again as the model chosen, and its coverage made again; a map that can
  // no longer be read is an error and leaves the relief and the choice.
  void ReliefClick();
  void SurfaceClick(ReliefSurfaceModel model);
  void CoverageCellClick();
  void NoReliefClick();
  // "Сохранить покрытие…": the coverage counts as GeoTIFF or ESRI ASCII grid.
  void SaveCoverageClick();

  bool HasRelief() const { return relief_ != nullptr; }
  const FovRelief* Relief() const { return relief_.get(); }
  std::optional<double> CoverageCell() const { return coverageCell_; }
  ReliefSurfaceModel SurfaceModel() const { return surfaceModel_; }
  const std::vector<std::uint32_t>& CoverageCounts() const { return job_.counts; }
  // The warnings of the last load, as the command line prints them.
  const QStringList& Warnings() const { return job_.warnings; }

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
  QAction* SurfaceBilinearItem;
  QAction* SurfaceBlocksItem;
  QAction* CoverageCellItem;
  QAction* NoReliefItem;
  QAction* SaveCoverageItem;
  QFileDialog* CoverageSaveDialog;
  CoverageView* Coverage;
  QScrollArea* WarningsBox;  // under the legend, hidden without warnings
  QLabel* WarningsLabel;

 protected:
  void ApplyZoom(int height, int width) override;
  // The coverage view goes and comes back with the window.
  void hideEvent(QHideEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void load(const QString& listFileName);
  void showScene();
  // The job's options as the menu has set them: the system, the relief held
  // or the coverage cell.
  FovJobOptions jobOptions() const;
  // The scene's coverage and warnings again, under `options` (nothing
  // without a drawn scene); the window's state is left to the caller.
  FovJobResult viewJob(FovJobOptions options);
  // Shows the coverage of the last job (hides the view without one).
  void showCoverage();
  void zoomCoverage();
  // The folder of the list drawn last, else the one the window browses.
  QString listFolder() const;
  // A number asked in a small dialog, in the user's decimal notation;
  // nullopt when cancelled. A text that is no number is an error.
  std::optional<double> askNumber(const QString& objectName, const QString& title, const QString& label,
                                  const QString& text);

  FovScene scene_;
  QButtonGroup* radioItems_;
  QStringListModel* cornerLines_;
  std::shared_ptr<const FovRelief> relief_;
  std::optional<double> coverageCell_;  // the coverage on the plane, without a relief
  ReliefSurfaceModel surfaceModel_ = ReliefSurfaceModel::kBilinear;
  bool reliefByHand_ = false;     // chosen or refused in the menu
  QString reliefFile_;            // the relief brought by the last list
  QString listFile_;              // the list drawn last
  FovJobResult job_;              // the coverage and warnings of the scene shown
  bool coverageWasOpen_ = false;  // when the window was hidden
};

}  // namespace skarvel
