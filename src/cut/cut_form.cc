#include "cut/cut_form.h"

#include "platform/bitmap_file.h"
#include "platform/picture_file.h"
#include "platform/picture_statistics.h"
#include "shell/batch_progress.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace skarvel {
namespace {

BrowserFrameLayout CutLayout() {
  BrowserFrameLayout layout;
  layout.mask = kPictureFileMask;
  layout.multiSelect = true;
  layout.zoomMenu = BrowserFrameLayout::ZoomMenu::kScrollBox;
  layout.keys = BrowserFrameLayout::Keys::kPreview;
  layout.size = QSize(875, 618);
  layout.minimumSize = QSize(830, 400);
  layout.bottomHeight = 118;
  return layout;
}

}  // namespace

CutOverlay::CutOverlay(QWidget* parent) : QWidget(parent) {
  // Clicks go through to the picture area beneath.
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CutOverlay::setNaturalSize(QSize size) {
  natural_ = size;
  update();
}

void CutOverlay::drawOutline(const CutFrame& frame, int penWidth) {
  frame_ = frame;
  penWidth_ = penWidth;
  update();
}

QImage CutOverlay::render(const QRect& area) const {
  QImage out(area.size(), QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
  const ZoomMapping map(natural_, size());
  const QRect visible = area.intersected(rect());
  if (!frame_ || map.empty() || visible.isEmpty()) return out;
  // A control pixel stands for the natural pixels it covers: column x for
  // the columns from naturalColumn(x) up to the one before naturalColumn(x +
  // 1), at least one. It is red when any of them is, so that below 100 % a
  // side of the outline on a column or row the picture skips stays visible.
  // Above 100 % each control pixel covers one natural pixel and shows it.
  auto lastColumn = [&](int x) { return std::max(map.naturalColumn(x), map.naturalColumn(x + 1) - 1); };
  auto lastRow = [&](int y) { return std::max(map.naturalRow(y), map.naturalRow(y + 1) - 1); };
  const int left = map.naturalColumn(visible.left());
  const int right = lastColumn(visible.right());
  std::vector<int> first(static_cast<size_t>(visible.width())), last(first.size());
  for (int x = 0; x < visible.width(); ++x) {
    first[x] = map.naturalColumn(visible.left() + x) - left;
    last[x] = lastColumn(visible.left() + x) - left;
  }
  std::vector<uchar> rows(static_cast<size_t>(right - left + 1));
  const QRgb red = qRgb(255, 0, 0);
  // A band of control rows at a time, with the outline drawn for the natural
  // pixels under it only: at the smallest zoom a few times the band, never
  // the whole picture.
  constexpr int kBandRows = 64;
  for (int bandTop = visible.top(); bandTop <= visible.bottom(); bandTop += kBandRows) {
    const int bandBottom = std::min(bandTop + kBandRows - 1, visible.bottom());
    const QRect natural(QPoint(left, map.naturalRow(bandTop)), QPoint(right, lastRow(bandBottom)));
    const QImage mask = CutOutlineMask(*frame_, penWidth_, natural_, natural);
    if (mask.isNull()) return out;
    for (int y = bandTop; y <= bandBottom; ++y) {
      // The rows this control row covers, merged into one.
      const int top = map.naturalRow(y) - natural.top();
      const int bottom = lastRow(y) - natural.top();
      const uchar* in = mask.constScanLine(top);
      if (bottom > top) {
        std::copy(in, in + rows.size(), rows.begin());
        for (int r = top + 1; r <= bottom; ++r) {
          const uchar* more = mask.constScanLine(r);
          for (size_t c = 0; c < rows.size(); ++c) rows[c] |= more[c];
        }
        in = rows.data();
      }
      auto* line = reinterpret_cast<QRgb*>(out.scanLine(y - area.top())) + (visible.left() - area.left());
      for (int x = 0; x < visible.width(); ++x)
        if (std::any_of(in + first[x], in + last[x] + 1, [](uchar v) { return v != 0; })) line[x] = red;
    }
  }
  return out;
}

void CutOverlay::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  for (const QRect& area : event->region()) painter.drawImage(area.topLeft(), render(area));
}

TCutForm::TCutForm()
    : TBrowserForm(QStringLiteral("CutForm"), QStringLiteral("Извлечение и соханение части изображения"),
                   CutLayout()) {
  Image1 = new PictureView(ScrollBox1->canvas());
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(0, 0, 0, 0);
  CrossImage1 = new CutOverlay(ScrollBox1->canvas());
  CrossImage1->setObjectName(QStringLiteral("CrossImage1"));
  CrossImage1->setGeometry(0, 0, 0, 0);
  CrossImage1->raise();
  setZoomedControls({Image1, CrossImage1});
  addStatisticsItem([this] {
    return picture_ ? PictureStatisticsLines(ComputePictureStatistics(*picture_)) : QStringList();
  });

  auto label = [this](const char* name, const QString& text, int left, int top) {
    auto* l = new QLabel(text, Panel1);
    l->setObjectName(QLatin1String(name));
    l->move(left, top);
    return l;
  };
  label("Label5", QStringLiteral("Используется экранная система координат с началом с левом верхнем углу"), 8,
        6);
  label("Label6", QStringLiteral("Ось W направлена горизонтально вправо (пикс.)"), 8, 26);
  label("Label7", QStringLiteral("Ось H направлена вертикально вниз (пикс.)"), 8, 46);
  auto edit = [this](const char* name, const QString& text, int left) {
    auto* e = new QLineEdit(text, Panel1);
    e->setObjectName(QLatin1String(name));
    e->setGeometry(left, 76, 72, 24);
    connect(e, &QLineEdit::textChanged, this, &TCutForm::DrawCutFrame);
    return e;
  };
  label("Label1", QStringLiteral("W1="), 8, 80);
  Edit1 = edit("Edit1", QStringLiteral("0"), 38);
  label("Label2", QStringLiteral("H1="), 122, 80);
  Edit2 = edit("Edit2", QStringLiteral("0"), 152);
  label("Label3", QStringLiteral("W2="), 236, 80);
  Edit3 = edit("Edit3", QStringLiteral("100"), 268);
  label("Label4", QStringLiteral("H2="), 352, 80);
  Edit4 = edit("Edit4", QStringLiteral("100"), 384);
  Label8 = label("Label8", QString(), 480, 70);
  Label9 = label("Label9", QString(), 480, 92);
  for (QLabel* size : {Label8, Label9}) size->resize(140, 20);
  Button1 = new QPushButton(QStringLiteral("Извлечь и сохранить"), Panel1);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(640, 74, 170, 30);
  connect(Button1, &QPushButton::clicked, this, &TCutForm::Button1Click);
  DrawCutFrame();
}

void TCutForm::DrawCutFrame() {
  const std::optional<CutFrame> frame =
      TryParseCutFrame(Edit1->text(), Edit2->text(), Edit3->text(), Edit4->text());
  if (!frame) return;
  Label8->setText(CutWidthLabel(*frame));
  Label9->setText(CutHeightLabel(*frame));
  // The pen width the zoom's check marks give now; a later zoom change alone keeps it.
  CrossImage1->drawOutline(*frame, CutPenWidth(CheckedZoom()));
}

void TCutForm::showPicture(std::shared_ptr<const Bitmap> picture) {
  picture_ = std::move(picture);
  Image1->setBitmap(picture_);
  Image1->resize(picture_->width, picture_->height);
}

void TCutForm::FileListBox1Click() {
  // The zoom goes to 100 % first, still with the previous picture's size.
  N1001Click();
  showPicture(std::make_shared<const Bitmap>(LoadPicture(FileName())));
  CrossImage1->resize(Image1->size());
  CrossImage1->setNaturalSize(Image1->size());
  ImageWidth = Image1->width();
  ImageHeight = Image1->height();
  DrawCutFrame();
}

void TCutForm::Button1Click() {
  const QStringList entries = SelectedEntries();
  const QString directory = Directory();
  const QString w1 = Edit1->text(), h1 = Edit2->text(), w2 = Edit3->text(), h2 = Edit4->text();
  BatchObserver observer;
  // Each picture is shown at its natural size as it is loaded; the overlay
  // and the zoom's picture size stay as the last click left them.
  observer.loaded = [this](const QString&, const std::shared_ptr<const Bitmap>& picture) {
    showPicture(picture);
    Image1->repaint();
  };
  BatchProgress progress(this, entries.size());
  progress.run(observer, [&](const BatchObserver& relay) {
    RunFragmentExtraction(directory, entries, w1, h1, w2, h2, relay);
  });
  RereadFileListKeepingSelection();
  // The picture last shown becomes the window's picture: the overlay and
  // the zoom take its size, the zoom goes to 100 % ("100%" checked, the
  // picture, the overlay and the scroll range at the natural size), and the
  // outline is drawn anew with the 100 % pen.
  if (picture_) {
    ImageWidth = picture_->width;
    ImageHeight = picture_->height;
    CrossImage1->setNaturalSize(QSize(ImageWidth, ImageHeight));
  }
  N1001Click();
  DrawCutFrame();
}

}  // namespace skarvel
