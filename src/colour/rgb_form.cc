#include "colour/rgb_form.h"

#include "colour/channel_texts.h"
#include "colour/grey_statistics.h"
#include "platform/bitmap_file.h"
#include "platform/picture_file.h"
#include "shell/batch_progress.h"

#include <QGridLayout>
#include <QKeyEvent>

#include <optional>

namespace skarvel {
namespace {

BrowserFrameLayout RgbLayout() {
  BrowserFrameLayout layout;
  layout.mask = kPictureFileMask;
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
  for (QLineEdit* edit : edits) {
    connect(edit, &QLineEdit::textChanged, this, &TRGBForm::REditChange);
    connect(edit, &QLineEdit::editingFinished, this, [this, edit] { REditExit(edit); });
  }

  CrossImage1->setBitmap(grey_);
  CrossImage1->setPrepare([this](const QRect& natural) { result_.compose(natural); });
  // The parts out of view are composed a few milliseconds at a time between
  // events, so that a drag or a key is never kept waiting for them.
  idle_.setSingleShot(true);
  idle_.setInterval(0);
  connect(&idle_, &QTimer::timeout, this, &TRGBForm::composeOnIdle);
}

TRGBForm::~TRGBForm() {
  // The window's close, still to come, ends the editing of a focused edit and
  // may paint: this window's part is gone by then, so nothing may reach it.
  for (QLineEdit* edit : {REdit, GEdit, BEdit, CEdit}) edit->disconnect(this);
  CrossImage1->setPrepare({});
}

ChannelSettings TRGBForm::Settings() const {
  return {RTrackBar->value(), GTrackBar->value(), BTrackBar->value(), CTrackBar->value()};
}

void TRGBForm::RTrackBarChange() {
  // Each text set differently raises its edit's change at once, in this order.
  showText(REdit, FormatChannelText(RTrackBar->value()));
  showText(GEdit, FormatChannelText(GTrackBar->value()));
  showText(BEdit, FormatChannelText(BTrackBar->value()));
  showText(CEdit, FormatContrastText(CTrackBar->value()));
  RefreshResult();
}

void TRGBForm::showText(QLineEdit* edit, const QString& text) {
  // Rewriting the edit being typed into would put the text under the caret
  // ("5" typed, "5 %" written, "0" typed: "5 %0"): it waits for the end of
  // the editing, while the sliders follow every keystroke.
  if (edit->hasFocus() && edit != exiting_) {
    if (edit->text() != text) owed_.insert(edit);
    return;
  }
  edit->setText(text);
}

QString TRGBForm::formattedText(const QLineEdit* edit) const {
  if (edit == REdit) return FormatChannelText(RTrackBar->value());
  if (edit == GEdit) return FormatChannelText(GTrackBar->value());
  if (edit == BEdit) return FormatChannelText(BTrackBar->value());
  return FormatContrastText(CTrackBar->value());
}

void TRGBForm::REditExit(QLineEdit* edit) {
  if (!owed_.remove(edit) || exiting_ != nullptr) return;
  // Written now as the slider change would have written it, with the same
  // exchange: the contrast text may pull its slider once more.
  exiting_ = edit;
  edit->setText(formattedText(edit));
  exiting_ = nullptr;
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

void TRGBForm::setSource(std::shared_ptr<const Bitmap> source) { source_ = std::move(source); }

void TRGBForm::RefreshResult() {
  ImageWidth = source_->width;
  ImageHeight = source_->height;
  // Nothing is composed here: the view composes what it paints, when it
  // paints, so the nested changes of one slider-edit exchange and the many
  // changes of a drag between two paints cost one composition of the view,
  // under the positions in force at the paint.
  result_.reset(source_, Settings());
  // The view shows the grey picture itself through its palette: nothing is copied.
  CrossImage1->setBitmap(grey_);
  idle_.start();
}

void TRGBForm::composeOnIdle() {
  // About 2 ms of work on this machine, then back to the event loop.
  constexpr std::int64_t kIdlePixels = std::int64_t{1} << 20;
  if (result_.composeSome(kIdlePixels)) idle_.start();
}

const std::shared_ptr<Bitmap>& TRGBForm::GreyImage() {
  result_.complete();
  return grey_;
}

void TRGBForm::FileListBox1Click() {
  setSource(std::make_shared<const Bitmap>(LoadPicture(FileName())));
  CrossImage1->resize(source_->width, source_->height);
  RefreshResult();
  N1001Click();
}

void TRGBForm::Button1Click() {
  const QStringList entries = SelectedEntries();
  const QString directory = Directory();
  BatchObserver observer;
  const ChannelSettings settings = Settings();
  // The view goes on showing the result it holds until the run has the next
  // one: the run composes into a picture of its own, on its own thread.
  observer.loaded = [this](const QString&, const std::shared_ptr<const Bitmap>& picture) {
    setSource(picture);
    ImageWidth = source_->width;
    ImageHeight = source_->height;
  };
  // Each result is shown in turn, whole (the run waits meanwhile); the run
  // composes the next one into the picture that held the previous one.
  observer.written = [this, settings](const QString&, const Bitmap&) {
    std::swap(*grey_, batchResult_);
    result_.adopt(source_, settings);
    CrossImage1->setBitmap(grey_);
    CrossImage1->repaint();
  };
  struct AfterRun {
    TRGBForm* form;
    ChannelSettings settings;
    ~AfterRun() {
      form->batchResult_ = Bitmap();
      // A run ended by an error leaves the picture it loaded last as the
      // source: its composition is wanted, as after a click.
      if (form->result_.source() != form->source_) form->result_.reset(form->source_, settings);
    }
  } afterRun{this, settings};
  BatchProgress progress(this, entries.size());
  progress.run(observer, [&](const BatchObserver& relay) {
    RunGreyComposition(directory, entries, settings, relay, batchResult_);
  });
  RereadFileListKeepingSelection();
  SetZoom(100);
}

bool TRGBForm::eventFilter(QObject* watched, QEvent* event) {
  // A key released on a channel slider recomposes (the contrast slider has
  // no such handler). The window sees every key first, through the frame's
  // key preview.
  if (event->type() == QEvent::KeyRelease &&
      (watched == RTrackBar || watched == GTrackBar || watched == BTrackBar))
    RefreshResult();
  // The focus leaving an edit ends its editing, whether or not the edit
  // reports it (it does not when its text did not change since Enter).
  if (event->type() == QEvent::FocusOut &&
      (watched == REdit || watched == GEdit || watched == BEdit || watched == CEdit))
    REditExit(static_cast<QLineEdit*>(watched));
  return TBrowserForm::eventFilter(watched, event);
}

}  // namespace skarvel
