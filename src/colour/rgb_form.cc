#include "colour/rgb_form.h"

#include "colour/channel_texts.h"
#include "colour/grey_statistics.h"
#include "platform/bitmap_file.h"
#include "shell/batch_progress.h"

#include <QGridLayout>
#include <QKeyEvent>

#include <optional>

namespace skarvel {
namespace {

BrowserFrameLayout RgbLayout() {
  BrowserFrameLayout layout;
  layout.mask = QStringLiteral("*.bmp");
  layout.multiSelect = true;
  layout.zoomMenu = BrowserFrameLayout::ZoomMenu::kScrollBox;
  layout.keys = BrowserFrameLayout::Keys::kPreview;
  layout.size = QSize(802, 667);
  layout.minimumSize = QSize(160, 29);
  layout.bottomHeight = 150;
  return layout;
}

}  // namespace

TRGBForm::TRGBForm()
    : TBrowserForm(QStringLiteral("RGBForm"), QStringLiteral("Изменение цветового состава изображения"),
                   RgbLayout()) {
  CrossImage1 = new PictureView(ScrollBox1->canvas());
  CrossImage1->setObjectName(QStringLiteral("CrossImage1"));
  CrossImage1->setGeometry(0, 0, 0, 0);
  setZoomedControls({CrossImage1});
  addStatisticsItem([this] {
    if (source_->empty()) return QStringList();
    return ColourStatisticsLines(ComputeColourStatistics(*source_, Settings()));
  });

  auto* grid = new QGridLayout(Panel1);
  grid->setContentsMargins(8, 6, 8, 6);
  struct Row {
    const char* slider;
    const char* edit;
    QString caption;
    int minimum, maximum, position, step, page, tick;
    QString text;
  };
  const Row rows[] = {
      {"RTrackBar", "REdit", QStringLiteral("Яркость канала R"), kChannelMin, kChannelMax, 0, 5, 5, 10,
       QStringLiteral("0 %")},
      {"GTrackBar", "GEdit", QStringLiteral("Яркость канала G"), kChannelMin, kChannelMax, 0, 5, 5, 10,
       QStringLiteral("0 %")},
      {"BTrackBar", "BEdit", QStringLiteral("Яркость канала B"), kChannelMin, kChannelMax, 0, 5, 5, 10,
       QStringLiteral("0 %")},
      {"CTrackBar", "CEdit", QStringLiteral("Контраст"), kContrastMin, kContrastMax, 50, 50, 5, 20,
       QStringLiteral("1")},
  };
  QSlider* sliders[4];
  QLineEdit* edits[4];
  for (int i = 0; i < 4; ++i) {
    const Row& row = rows[i];
    auto* label = new QLabel(row.caption, Panel1);
    label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    auto* slider = new QSlider(Qt::Horizontal, Panel1);
    slider->setObjectName(QLatin1String(row.slider));
    slider->setRange(row.minimum, row.maximum);
    slider->setValue(row.position);
    slider->setSingleStep(row.step);
    slider->setPageStep(row.page);
    slider->setTickInterval(row.tick);
    slider->setTickPosition(QSlider::TicksBelow);
    auto* edit = new QLineEdit(row.text, Panel1);
    edit->setObjectName(QLatin1String(row.edit));
    edit->setFixedWidth(80);
    grid->addWidget(label, i, 0);
    grid->addWidget(slider, i, 1);
    grid->addWidget(edit, i, 2);
    sliders[i] = slider;
    edits[i] = edit;
  }
  RTrackBar = sliders[0], GTrackBar = sliders[1], BTrackBar = sliders[2], CTrackBar = sliders[3];
  REdit = edits[0], GEdit = edits[1], BEdit = edits[2], CEdit = edits[3];
  Button1 = new QPushButton(QStringLiteral("Преобразовать"), Panel1);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setMinimumWidth(130);
  grid->setColumnStretch(1, 1);
  grid->setColumnMinimumWidth(3, 150);
  grid->addWidget(Button1, 0, 3, 4, 1, Qt::AlignRight | Qt::AlignVCenter);
  connect(Button1, &QPushButton::clicked, this, &TRGBForm::Button1Click);

  // Connected only now, so that setting the starting values raises nothing.
  for (QSlider* slider : sliders) connect(slider, &QSlider::valueChanged, this, &TRGBForm::RTrackBarChange);
  for (QLineEdit* edit : edits) connect(edit, &QLineEdit::textChanged, this, &TRGBForm::REditChange);

  grey_->indexed = true;
  grey_->fileBitCount = 8;
  grey_->palette = GreyPalette();
  CrossImage1->setBitmap(grey_);
}

ChannelSettings TRGBForm::Settings() const {
  return {RTrackBar->value(), GTrackBar->value(), BTrackBar->value(), CTrackBar->value()};
}

void TRGBForm::RTrackBarChange() {
  const long long before = compositions_;
  // Each text set differently raises its edit's change at once, in this order.
  REdit->setText(FormatChannelText(RTrackBar->value()));
  GEdit->setText(FormatChannelText(GTrackBar->value()));
  BEdit->setText(FormatChannelText(BTrackBar->value()));
  CEdit->setText(FormatContrastText(CTrackBar->value()));
  // When an edit pulled a slider back, the change that raised composed the
  // result under the positions now in force: the same bytes would be made
  // a second time, which costs a whole composition while dragging.
  if (compositions_ != before && composedSource_ == sourceNumber_ && composedWith_ == Settings()) return;
  RefreshResult();
}

void TRGBForm::REditChange() {
  // A channel text that does not convert changes no slider; a contrast text
  // that does not convert leaves the channel sliders already set.
  const std::optional<int> r = ParseChannelText(REdit->text());
  if (!r) return;
  const std::optional<int> g = ParseChannelText(GEdit->text());
  if (!g) return;
  const std::optional<int> b = ParseChannelText(BEdit->text());
  if (!b) return;
  // A slider clamps to its range; one that moves raises its change at once.
  RTrackBar->setValue(*r);
  GTrackBar->setValue(*g);
  BTrackBar->setValue(*b);
  const std::optional<int> contrast = ParseContrastText(CEdit->text());
  if (!contrast) return;
  CTrackBar->setValue(*contrast);
}

void TRGBForm::setSource(std::shared_ptr<const Bitmap> source) {
  source_ = std::move(source);
  ++sourceNumber_;
}

void TRGBForm::RefreshResult() {
  ImageWidth = source_->width;
  ImageHeight = source_->height;
  const ChannelSettings settings = Settings();
  composedSource_ = -1;
  ComposeGrey(*source_, settings, *grey_);
  composedSource_ = sourceNumber_;
  composedWith_ = settings;
  ++compositions_;
  // The view shows the grey picture itself through its palette: nothing is copied.
  CrossImage1->setBitmap(grey_);
}

void TRGBForm::FileListBox1Click() {
  setSource(std::make_shared<const Bitmap>(LoadBitmap(FileName())));
  CrossImage1->resize(source_->width, source_->height);
  RefreshResult();
  N1001Click();
}

void TRGBForm::Button1Click() {
  const QStringList entries = SelectedEntries();
  BatchObserver observer;
  observer.loaded = [this](const QString&, const std::shared_ptr<const Bitmap>& picture) {
    setSource(picture);
    ImageWidth = source_->width;
    ImageHeight = source_->height;
  };
  // Each result is shown in turn.
  observer.written = [this](const QString&, const Bitmap&) {
    CrossImage1->setBitmap(grey_);
    CrossImage1->repaint();
  };
  BatchProgress progress(this, entries.size());
  progress.attach(observer);
  // The run composes into the grey picture itself.
  composedSource_ = -1;
  const ChannelSettings settings = Settings();
  RunGreyComposition(Directory(), entries, settings, observer, *grey_);
  composedSource_ = sourceNumber_;
  composedWith_ = settings;
  RereadFileList();
  SetZoom(100);
}

bool TRGBForm::eventFilter(QObject* watched, QEvent* event) {
  // A key released on a channel slider recomposes (the contrast slider has
  // no such handler). The window sees every key first, through the frame's
  // key preview.
  if (event->type() == QEvent::KeyRelease &&
      (watched == RTrackBar || watched == GTrackBar || watched == BTrackBar))
    RefreshResult();
  return TBrowserForm::eventFilter(watched, event);
}

}  // namespace skarvel
