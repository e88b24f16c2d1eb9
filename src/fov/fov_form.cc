#include "fov/fov_form.h"

#include "fov/coverage_picture.h"
#include "fov/scene_drawing.h"
#include "platform/error.h"
#include "platform/numbers.h"

#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

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
  auto* legendColumn = new QVBoxLayout;
  legendColumn->setContentsMargins(0, 0, 0, 0);
  legendColumn->setSpacing(0);
  legendColumn->addWidget(ScrollBox2, 1);
  WarningsBox = new QScrollArea(Panel1);
  WarningsBox->setObjectName(QStringLiteral("WarningsBox"));
  WarningsBox->setWidgetResizable(true);
  WarningsLabel = new QLabel;
  WarningsLabel->setObjectName(QStringLiteral("WarningsLabel"));
  WarningsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  WarningsLabel->setTextFormat(Qt::PlainText);
  WarningsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  WarningsLabel->setContentsMargins(4, 2, 4, 2);
  WarningsBox->setWidget(WarningsLabel);
  WarningsBox->hide();
  WarningsLabel->hide();
  legendColumn->addWidget(WarningsBox);
  bottom->addLayout(legendColumn, 1);
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
  auto* surfaces = new QActionGroup(this);
  SurfaceBilinearItem = ScalePopupMenu1->addAction(QStringLiteral("Поверхность: билинейная"));
  SurfaceBilinearItem->setObjectName(QStringLiteral("SurfaceBilinearItem"));
  SurfaceBlocksItem = ScalePopupMenu1->addAction(QStringLiteral("Поверхность: блоки"));
  SurfaceBlocksItem->setObjectName(QStringLiteral("SurfaceBlocksItem"));
  for (QAction* item : {SurfaceBilinearItem, SurfaceBlocksItem}) {
    item->setCheckable(true);
    surfaces->addAction(item);
  }
  SurfaceBilinearItem->setChecked(true);
  connect(SurfaceBilinearItem, &QAction::triggered, this,
          [this] { SurfaceClick(ReliefSurfaceModel::kBilinear); });
  connect(SurfaceBlocksItem, &QAction::triggered, this,
          [this] { SurfaceClick(ReliefSurfaceModel::kBlocks); });
  CoverageCellItem = ScalePopupMenu1->addAction(QStringLiteral("Покрытие без рельефа…"));
  CoverageCellItem->setObjectName(QStringLiteral("CoverageCellItem"));
  connect(CoverageCellItem, &QAction::triggered, this, &TFOVForm::CoverageCellClick);
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

CoverageView::CoverageView(QWidget* parent) : QWidget(parent) {
  setWindowFlag(Qt::Window);
  setObjectName(QStringLiteral("CoverageView"));
  setWindowTitle(QStringLiteral("Покрытие рельефа"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  Scroll = new QScrollArea(this);
  Scroll->setObjectName(QStringLiteral("CoverageScroll"));
  Scroll->setWidgetResizable(false);
  Picture = new PictureView;
  Picture->setObjectName(QStringLiteral("CoveragePicture"));
  Scroll->setWidget(Picture);
  column->addWidget(Scroll, 1);
  // The legend stays at its size under the map, whatever the zoom; a view
  // narrower than it scrolls it.
  auto* legendScroll = new QScrollArea(this);
  legendScroll->setObjectName(QStringLiteral("CoverageLegendScroll"));
  legendScroll->setWidgetResizable(false);
  legendScroll->setFrameShape(QFrame::NoFrame);
  legendScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Legend = new CoverageLegend;
  Legend->setObjectName(QStringLiteral("CoverageLegend"));
  Legend->resize(Legend->sizeHint());
  legendScroll->setWidget(Legend);
  legendScroll->setFixedHeight(Legend->sizeHint().height() +
                               legendScroll->horizontalScrollBar()->sizeHint().height());
  legendScroll->setBackgroundRole(QPalette::Base);
  column->addWidget(legendScroll);
  resize(700, 600);
}

CoverageLegend::CoverageLegend(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize CoverageLegend::sizeHint() const { return CoverageLegendSize(font()); }

void CoverageLegend::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintCoverageLegend(painter, font());
}

void CoverageView::showOver(const QWidget* owner) {
  if (!isVisible()) {
    const QRect screen = owner->screen()->availableGeometry();
    // The frame the window manager adds: its own once it has been shown,
    // before that the owner's, framed by the same window manager.
    const QSize own = frameGeometry().size() - geometry().size();
    const QSize frame = own.isEmpty() ? owner->frameGeometry().size() - owner->geometry().size() : own;
    const QSize inner = QSize(700, 600).boundedTo(screen.size() - frame);
    resize(inner);
    const QSize outer = inner + frame;
    const QPoint middle = owner->frameGeometry().center();
    const int x =
        std::clamp(middle.x() - outer.width() / 2, screen.left(), screen.right() + 1 - outer.width());
    const int y =
        std::clamp(middle.y() - outer.height() / 2, screen.top(), screen.bottom() + 1 - outer.height());
    move(x, y);
  }
  show();
}

QString TFOVForm::listFolder() const {
  return listFile_.isEmpty() ? Directory() : QFileInfo(listFile_).path();
}

std::optional<double> TFOVForm::askNumber(const QString& objectName, const QString& title,
                                          const QString& label, const QString& text) {
  QInputDialog dialog(this);
  dialog.setObjectName(objectName);
  dialog.setWindowTitle(title);
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setLabelText(label);
  dialog.setTextValue(text);
  dialog.setOkButtonText(QStringLiteral("ОК"));
  dialog.setCancelButtonText(QStringLiteral("Отмена"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  // As the windows' edits convert numbers.
  return StrToFloat(dialog.textValue());
}

namespace {

// A number as the user writes it: the shortest text, the user's separator.
QString NumberText(double value) {
  return QString::fromLatin1(FormatShortest(value)).replace(u'.', DecimalSeparator());
}

}  // namespace

void TFOVForm::ReliefClick() {
  // A fresh dialog for each choice (a reused one adds the files chosen
  // before), opened in the list's folder, where the model's relief is kept.
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("ReliefOpenDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(
      {QStringLiteral("Карты высот (*.tif *.tiff *.asc *.png *.bil *.img *.dem *.hgt *.vrt)"),
       QStringLiteral("All Files (*.*)")});
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setDirectory(listFolder());
  if (dialog.exec() != QDialog::Accepted) return;
  const QString fileName = dialog.selectedFiles().value(0);
  const std::optional<double> zScale =
      askNumber(QStringLiteral("ReliefZScaleDialog"), QStringLiteral("Рельеф модели"),
                QStringLiteral("Масштаб высот по Z:"), NumberText(relief_ ? relief_->zScale : 1.0));
  if (!zScale) return;
  // Read whole and the coverage made before anything changes: a bad map
  // leaves the previous one.
  FovJobOptions options = jobOptions();
  options.relief = ReadFovRelief(fileName, *zScale, surfaceModel_);
  options.coverageCell.reset();
  FovJobResult job = viewJob(options);
  relief_ = options.relief;
  coverageCell_.reset();
  reliefByHand_ = true;
  job_ = std::move(job);
  showCoverage();
  showScene();
}

void TFOVForm::SurfaceClick(ReliefSurfaceModel model) {
  // The menu's check follows the choice in force, also after an error.
  struct CheckAfterwards {
    TFOVForm* form;
    ~CheckAfterwards() {
      (form->surfaceModel_ == ReliefSurfaceModel::kBlocks ? form->SurfaceBlocksItem
                                                          : form->SurfaceBilinearItem)
          ->setChecked(true);
    }
  } checkAfterwards{this};
  if (model == surfaceModel_) return;
  // A relief from a file is read again as the new surface and its coverage
  // made before anything changes.
  if (relief_ && !relief_->fileName.isEmpty()) {
    FovJobOptions options = jobOptions();
    options.relief = ReadFovRelief(relief_->fileName, relief_->zScale, model);
    FovJobResult job = viewJob(options);
    relief_ = options.relief;
    job_ = std::move(job);
    surfaceModel_ = model;
    showCoverage();
    showScene();
    return;
  }
  surfaceModel_ = model;
}

void TFOVForm::CoverageCellClick() {
  const std::optional<double> cell =
      askNumber(QStringLiteral("CoverageCellDialog"), QStringLiteral("Покрытие без рельефа"),
                QStringLiteral("Размер ячейки карты покрытия:"),
                coverageCell_ ? NumberText(*coverageCell_) : QString());
  if (!cell) return;
  if (!(*cell > 0))
    throw Error(QStringLiteral("Размер ячейки карты покрытия должен быть положительным числом"));
  // A cell that makes no map (too fine for the scene) leaves what was there.
  FovJobOptions options = jobOptions();
  options.relief.reset();
  options.coverageCell = cell;
  FovJobResult job = viewJob(options);
  relief_.reset();
  coverageCell_ = cell;
  reliefByHand_ = true;
  job_ = std::move(job);
  showCoverage();
  showScene();
}

void TFOVForm::NoReliefClick() {
  if (!relief_ && !coverageCell_) return;
  relief_.reset();
  coverageCell_.reset();
  reliefByHand_ = true;
  job_ = viewJob(jobOptions());
  showCoverage();
  showScene();
}

FovJobOptions TFOVForm::jobOptions() const {
  FovJobOptions options;
  options.system = scene_.System();
  options.relief = relief_;
  options.reliefSurface = surfaceModel_;
  if (!relief_) options.coverageCell = coverageCell_;
  return options;
}

FovJobResult TFOVForm::viewJob(FovJobOptions options) {
  if (scene_.Frames().empty() || scene_.Footprints().Length() == 0) return {};
  options.coverageView = true;
  return RunFovJob(options, scene_);
}

void TFOVForm::SaveCoverageClick() {
  if (job_.counts.empty()) return;
  CoverageSaveDialog->setDirectory(listFolder());
  if (CoverageSaveDialog->exec() != QDialog::Accepted) return;
  QString fileName = CoverageSaveDialog->selectedFiles().value(0);
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  if (suffix != QLatin1String("tif") && suffix != QLatin1String("tiff") && suffix != QLatin1String("asc"))
    fileName += CoverageSaveDialog->selectedNameFilter() == kAsciiGridFilter ? QStringLiteral(".asc")
                                                                             : QStringLiteral(".tif");
  FovJobOptions options = jobOptions();
  options.coverageFile = fileName;
  RunFovJob(options, scene_);
}

void TFOVForm::showCoverage() {
  if (job_.counts.empty() || !job_.coverageMap) {
    Coverage->Picture->clearPicture();
    Coverage->hide();
    return;
  }
  Coverage->Picture->setImage(CoveragePicture(job_.coverageMap->map, job_.counts, job_.hidden,
                                              job_.coverageFigures, job_.coverageMap->model));
  zoomCoverage();
  if (isVisible()) Coverage->showOver(this);
}

void TFOVForm::hideEvent(QHideEvent* event) {
  TBrowserForm::hideEvent(event);
  coverageWasOpen_ = Coverage->isVisible();
  Coverage->hide();
}

void TFOVForm::showEvent(QShowEvent* event) {
  TBrowserForm::showEvent(event);
  if (coverageWasOpen_ && !job_.counts.empty()) Coverage->showOver(this);
  coverageWasOpen_ = false;
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
  FovJobOptions options = jobOptions();
  options.drawingFile = BmpSaveDialog->selectedFiles().value(0);
  RunFovJob(options, scene_);
}

void TFOVForm::SaveOutlinesClick() {
  OutlineSaveDialog->setDirectory(Directory());
  if (OutlineSaveDialog->exec() != QDialog::Accepted) return;
  const QString fileName = OutlineSaveDialog->selectedFiles().value(0);
  // The kind follows the name's extension, and the filter chosen where the name has none of the two.
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  const bool csv = suffix == QLatin1String("csv") ||
                   (suffix != QLatin1String("geojson") && suffix != QLatin1String("json") &&
                    OutlineSaveDialog->selectedNameFilter() == kCsvFilter);
  // With a relief the files carry each frame's relief figures, as the
  // command line's --relief writes them.
  FovJobOptions options = jobOptions();
  (csv ? options.csvFile : options.geojsonFile) = fileName;
  RunFovJob(options, scene_);
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
  job_ = {};
  Coverage->hide();
  listFile_ = listFileName;
  // Until a relief is chosen or refused by hand, the model's relief is the
  // height map kept beside the list, if there is one. It is read after the
  // list, so that a bad one is reported over the drawn scene.
  QString companion;
  if (!reliefByHand_) {
    const QString beside = ModelReliefBeside(listFileName);
    if (beside.isEmpty() || beside != reliefFile_) relief_.reset();
    if (!beside.isEmpty() && !relief_) companion = beside;
    reliefFile_ = beside;
  }
  FovJobOptions options = jobOptions();
  options.listFile = listFileName;
  options.coverageView = true;
  job_ = RunFovJob(options, scene_);
  if (!companion.isEmpty()) {
    relief_ = ReadFovRelief(companion, 1, surfaceModel_);
    job_ = viewJob(jobOptions());
  }
  showCoverage();
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
  // Nothing to drop or to save is no choice.
  NoReliefItem->setEnabled(relief_ != nullptr || coverageCell_.has_value());
  SaveCoverageItem->setEnabled(!job_.counts.empty());
  const QString warnings = job_.warnings.join(u'\n');
  WarningsLabel->setText(warnings);
  WarningsLabel->setVisible(!warnings.isEmpty());
  // As high as its lines, up to four; more scroll.
  const int lines = std::min<int>(static_cast<int>(job_.warnings.size()), 4);
  WarningsBox->setFixedHeight(lines * fontMetrics().lineSpacing() + 2 * WarningsBox->frameWidth() + 4);
  WarningsBox->setVisible(!warnings.isEmpty());
}

}  // namespace skarvel
