#include "fov/fov_form.h"

#include "fov/coverage_picture.h"
#include "footprints/footprint_export.h"
#include "footprints/footprint_figures.h"
#include "relief/relief_figures.h"
#include "fov/scene_drawing.h"

#include <QDir>
#include <QFileInfo>
#include <QPaintEvent>
#include <QPainter>

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace skarvel {
namespace {

const QString kGeoJsonFilter = QStringLiteral("GeoJSON (*.geojson *.json)");
const QString kCsvFilter = QStringLiteral("CSV (*.csv)");
const QString kGeoTiffFilter = QStringLiteral("GeoTIFF (*.tif)");
const QString kAsciiGridFilter = QStringLiteral("ESRI ASCII (*.asc)");

BrowserFrameLayout FovLayout() {
  BrowserFrameLayout layout;
  layout.mask = QStringLiteral("*.lst");
  layout.multiSelect = false;
  layout.zoomMenu = BrowserFrameLayout::ZoomMenu::kImage1;
  layout.keys = BrowserFrameLayout::Keys::kNone;
  layout.size = QSize(927, 692);
  layout.minimumSize = QSize(600, 400);
  layout.bottomHeight = 122;
  return layout;
}

}  // namespace

TOrientationSystem OrientationOfItem(int itemIndex) {
  switch (itemIndex) {
    case 0:
      return TOrientationSystem::Mathematical;
    case 1:
      return TOrientationSystem::Photogrammetric;
    default:
      return TOrientationSystem::Bench;
  }
}

TFOVForm::TFOVForm()
    : TBrowserForm(QStringLiteral("FOVForm"),
                   QStringLiteral("Визуализация полей зрения съемочной аппаратуры"), FovLayout()) {
  ImageWidth = kDrawingWidth;
  ImageHeight = kDrawingHeight;

  Image1 = new PictureView(ScrollBox1->canvas());
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(0, 0, ImageWidth, ImageHeight);
  Image1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Image1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ScalePopupMenu1->popup(Image1->mapToGlobal(at)); });
  connect(Image1, &PictureView::doubleClicked, this, &TFOVForm::Image1DblClick);
  CrossImage1 = new PictureView(ScrollBox1->canvas());
  CrossImage1->setObjectName(QStringLiteral("CrossImage1"));
  CrossImage1->setGeometry(0, 0, 0, 0);
  ListBox1 = new QListView(ScrollBox1->canvas());
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  cornerLines_ = new QStringListModel(this);
  ListBox1->setModel(cornerLines_);
  ListBox1->hide();
  setZoomedControls({Image1});

  auto* bottom = new QHBoxLayout(Panel1);
  bottom->setContentsMargins(0, 0, 0, 0);
  bottom->setSpacing(0);
  ScrollBox2 = new QScrollArea(Panel1);
  ScrollBox2->setObjectName(QStringLiteral("ScrollBox2"));
  ScrollBox2->setMinimumHeight(120);
  ScrollBox2->setWidgetResizable(false);
  ScrollBox2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image2 = new LegendView(scene_);
  Image2->setObjectName(QStringLiteral("Image2"));
  ScrollBox2->setWidget(Image2);
  bottom->addWidget(ScrollBox2, 1);
  Panel4 = new QWidget(Panel1);
  Panel4->setObjectName(QStringLiteral("Panel4"));
  Panel4->setFixedWidth(238);
  bottom->addWidget(Panel4);
  auto* panel4Layout = new QVBoxLayout(Panel4);
  panel4Layout->setContentsMargins(4, 0, 4, 4);
  RadioGroup3 = new QGroupBox(QStringLiteral("Система ориентации"), Panel4);
  RadioGroup3->setObjectName(QStringLiteral("RadioGroup3"));
  panel4Layout->addWidget(RadioGroup3);
  auto* items = new QVBoxLayout(RadioGroup3);
  radioItems_ = new QButtonGroup(this);
  const QString captions[] = {QStringLiteral("Математическая"), QStringLiteral("Фотограмметрическая"),
                              QStringLiteral("Стендовая")};
  for (int i = 0; i < 3; ++i) {
    auto* item = new QRadioButton(captions[i], RadioGroup3);
    item->setObjectName(QStringLiteral("RadioGroup3Item%1").arg(i));
    radioItems_->addButton(item, i);
    items->addWidget(item);
  }
  radioItems_->button(2)->setChecked(true);
  connect(radioItems_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) RadioGroup3Click();
  });

  BmpSaveDialog = new QFileDialog(this);
  BmpSaveDialog->setObjectName(QStringLiteral("BmpSaveDialog"));
  BmpSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  BmpSaveDialog->setFileMode(QFileDialog::AnyFile);
  BmpSaveDialog->setDefaultSuffix(QStringLiteral("bmp"));
  BmpSaveDialog->setNameFilters({QStringLiteral("Bitmap Files (*.bmp)"), QStringLiteral("All Files (*.*)")});
  BmpSaveDialog->setOption(QFileDialog::DontUseNativeDialog);

  ScalePopupMenu1->addSeparator();
  SaveOutlinesItem = ScalePopupMenu1->addAction(QStringLiteral("Сохранить контуры…"));
  SaveOutlinesItem->setObjectName(QStringLiteral("SaveOutlinesItem"));
  connect(SaveOutlinesItem, &QAction::triggered, this, &TFOVForm::SaveOutlinesClick);
  OutlineSaveDialog = new QFileDialog(this);
  OutlineSaveDialog->setObjectName(QStringLiteral("OutlineSaveDialog"));
  OutlineSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  OutlineSaveDialog->setFileMode(QFileDialog::AnyFile);
  OutlineSaveDialog->setNameFilters({kGeoJsonFilter, kCsvFilter});
  OutlineSaveDialog->setDefaultSuffix(QStringLiteral("geojson"));
  OutlineSaveDialog->setOption(QFileDialog::DontUseNativeDialog);
  connect(OutlineSaveDialog, &QFileDialog::filterSelected, this, [this](const QString& filter) {
    OutlineSaveDialog->setDefaultSuffix(filter == kCsvFilter ? QStringLiteral("csv")
                                                             : QStringLiteral("geojson"));
  });

  ScalePopupMenu1->addSeparator();
  ReliefItem = ScalePopupMenu1->addAction(QStringLiteral("Рельеф модели…"));
  ReliefItem->setObjectName(QStringLiteral("ReliefItem"));
  connect(ReliefItem, &QAction::triggered, this, &TFOVForm::ReliefClick);
  NoReliefItem = ScalePopupMenu1->addAction(QStringLiteral("Без рельефа"));
  NoReliefItem->setObjectName(QStringLiteral("NoReliefItem"));
  connect(NoReliefItem, &QAction::triggered, this, &TFOVForm::NoReliefClick);
  SaveCoverageItem = ScalePopupMenu1->addAction(QStringLiteral("Сохранить покрытие…"));
  SaveCoverageItem->setObjectName(QStringLiteral("SaveCoverageItem"));
  connect(SaveCoverageItem, &QAction::triggered, this, &TFOVForm::SaveCoverageClick);
  CoverageSaveDialog = new QFileDialog(this);
  CoverageSaveDialog->setObjectName(QStringLiteral("CoverageSaveDialog"));
  CoverageSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  CoverageSaveDialog->setFileMode(QFileDialog::AnyFile);
  CoverageSaveDialog->setNameFilters({kGeoTiffFilter, kAsciiGridFilter});
  CoverageSaveDialog->setDefaultSuffix(QStringLiteral("tif"));
  CoverageSaveDialog->setOption(QFileDialog::DontUseNativeDialog);
  connect(CoverageSaveDialog, &QFileDialog::filterSelected, this, [this](const QString& filter) {
    CoverageSaveDialog->setDefaultSuffix(filter == kAsciiGridFilter ? QStringLiteral("asc")
                                                                    : QStringLiteral("tif"));
  });
  Coverage = new CoverageView(this);

  showScene();
}

CoverageView::CoverageView(QWidget* parent) : QScrollArea(parent) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("CoverageView"));
  setWindowTitle(QStringLiteral("Покрытие рельефа"));
  setWidgetResizable(false);
  Picture = new PictureView;
  Picture->setObjectName(QStringLiteral("CoveragePicture"));
  setWidget(Picture);
  resize(700, 600);
}

void TFOVForm::ReliefClick() {
  // A fresh dialog for each choice (a reused one adds the files chosen
  // before), opened in the folder of the last one.
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("ReliefOpenDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(
      {QStringLiteral("Карты высот (*.tif *.tiff *.asc *.png *.bil *.img *.dem *.hgt *.vrt)"),
       QStringLiteral("All Files (*.*)")});
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (!reliefFolder_.isEmpty()) dialog.setDirectory(reliefFolder_);
  if (dialog.exec() != QDialog::Accepted) return;
  const QString fileName = dialog.selectedFiles().value(0);
  reliefFolder_ = QFileInfo(fileName).path();
  // Read whole before anything changes: a bad map leaves the previous one.
  setRelief(ReadHeightMap(fileName));
  reliefByHand_ = true;
  counts_.clear();
  updateCoverage();
  showScene();
}

void TFOVForm::NoReliefClick() {
  setRelief(std::nullopt);
  reliefByHand_ = true;
  counts_.clear();
  updateCoverage();
  showScene();
}

void TFOVForm::setRelief(std::optional<HeightMap> map) {
  surface_.reset();
  relief_ = std::move(map);
  if (relief_) surface_ = MakePyramidIntersector(*relief_);
}

void TFOVForm::SaveCoverageClick() {
  if (!relief_ || counts_.empty()) return;
  if (CoverageSaveDialog->exec() != QDialog::Accepted) return;
  QString fileName = CoverageSaveDialog->selectedFiles().value(0);
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  if (suffix != QLatin1String("tif") && suffix != QLatin1String("tiff") && suffix != QLatin1String("asc"))
    fileName += CoverageSaveDialog->selectedNameFilter() == kAsciiGridFilter ? QStringLiteral(".asc")
                                                                             : QStringLiteral(".tif");
  WriteCountRaster(fileName, relief_->grid, counts_);
}

void TFOVForm::updateCoverage() {
  if (!relief_ || scene_.Frames().empty() || scene_.Footprints().Length() == 0) {
    counts_.clear();
    Coverage->Picture->clearPicture();
    Coverage->hide();
    return;
  }
  std::vector<std::uint32_t> hidden;
  std::vector<std::uint32_t> counts = ComputeCoverage(scene_.Frames(), *surface_, &hidden);
  const QImage picture =
      CoveragePicture(*relief_, counts, hidden, ComputeReliefFigures(scene_.Frames(), *surface_));
  counts_ = std::move(counts);
  Coverage->Picture->setImage(picture);
  zoomCoverage();
  Coverage->show();
}

void TFOVForm::zoomCoverage() {
  const QSize natural = Coverage->Picture->naturalSize();
  const int percent = CheckedZoom() > 0 ? CheckedZoom() : 100;
  Coverage->Picture->resize(ZoomedLength(natural.width(), percent), ZoomedLength(natural.height(), percent));
}

void TFOVForm::ApplyZoom(int height, int width) {
  TBrowserForm::ApplyZoom(height, width);
  zoomCoverage();
}

void TFOVForm::FileListBox1Click() {
  const QString name = FileName();
  if (name.isEmpty()) return;
  load(name);
}

void TFOVForm::RadioGroup3Click() {
  scene_.SetSystem(OrientationOfItem(radioItems_->checkedId()));
  FileListBox1Click();
}

void TFOVForm::Image1DblClick() {
  // The dialog starts in the folder the window browses, where a bare name lands.
  BmpSaveDialog->setDirectory(Directory());
  if (BmpSaveDialog->exec() != QDialog::Accepted) return;
  // The full drawing, whatever the zoom.
  scene_.SaveDrawing(BmpSaveDialog->selectedFiles().value(0));
}

void TFOVForm::SaveOutlinesClick() {
  OutlineSaveDialog->setDirectory(Directory());
  if (OutlineSaveDialog->exec() != QDialog::Accepted) return;
  const QString fileName = OutlineSaveDialog->selectedFiles().value(0);
  const SceneFigures figures = ComputeFootprintFigures(scene_);
  // The kind follows the name's extension, and the filter chosen where the name has none of the two.
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  const bool csv = suffix == QLatin1String("csv") ||
                   (suffix != QLatin1String("geojson") && suffix != QLatin1String("json") &&
                    OutlineSaveDialog->selectedNameFilter() == kCsvFilter);
  // With a relief the files carry each frame's relief figures, as the
  // command line's --relief writes them.
  const ReliefSource relief = surface_ ? ReliefBlocks(scene_.Frames(), *surface_) : ReliefSource();
  WriteFootprintExports(csv ? fileName : QString(), csv ? QString() : fileName, figures, relief);
}

void LegendView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  scene_.PaintLegend(painter, event->rect());
}

void TFOVForm::load(const QString& listFileName) {
  // Whatever the load leaves (the new scene, or the cleared drawing after an
  // error), the window shows it; the error itself goes on to the report.
  struct ShowAfterwards {
    TFOVForm* form;
    ~ShowAfterwards() { form->showScene(); }
  } showAfterwards{this};
  counts_.clear();
  Coverage->hide();
  scene_.LoadFovList(listFileName);
  // Until a relief is chosen or refused by hand, the model's relief is the
  // height map kept beside the list, if there is one. It is read after the
  // list, so that a bad one is reported over the drawn scene.
  if (!reliefByHand_) {
    const QString companion = ModelReliefBeside(listFileName);
    if (companion.isEmpty()) {
      setRelief(std::nullopt);
    } else if (companion != reliefFile_ || !relief_) {
      setRelief(std::nullopt);
      setRelief(ReadHeightMap(companion));
    }
    reliefFile_ = companion;
  }
  updateCoverage();
}

QString ModelReliefBeside(const QString& listFileName) {
  const QDir folder = QFileInfo(listFileName).dir();
  for (const QString& name : {QStringLiteral("relief.tif"), QStringLiteral("relief.asc")})
    if (QFileInfo(folder.filePath(name)).isFile()) return folder.filePath(name);
  return QString();
}

void TFOVForm::showScene() {
  Image1->setImage(scene_.Drawing());
  Image2->follow();
  cornerLines_->setStringList(scene_.CornerLines());
  // Outlines exist once a list has been drawn.
  SaveOutlinesItem->setEnabled(scene_.Footprints().Length() > 0);
  NoReliefItem->setEnabled(relief_.has_value());
  SaveCoverageItem->setEnabled(!counts_.empty());
}

}  // namespace skarvel
