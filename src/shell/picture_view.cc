#include "shell/picture_view.h"

#include <QChildEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace skarvel {

long long ZoomMapping::Start(long long c, long long natural, long long control) {
  const long long a = c * control;
  return a >= 0 ? (a + natural - 1) / natural : -((-a) / natural);
}

QRect ZoomMapping::controlRect(const QRect& naturalRect) const {
  if (empty() || naturalRect.isEmpty()) return {};
  const long long left = std::max<long long>(controlColumn(naturalRect.left()), 0);
  const long long top = std::max<long long>(controlRow(naturalRect.top()), 0);
  const long long right = std::min<long long>(controlColumn(naturalRect.right() + 1LL), control_.width());
  const long long bottom = std::min<long long>(controlRow(naturalRect.bottom() + 1LL), control_.height());
  if (right <= left || bottom <= top) return {};
  return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
               static_cast<int>(bottom - top));
}

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted (or the parent shows through where nothing is).
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureView::setImage(const QImage& image) {
  bitmap_.reset();
  image_ = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
               ? image
               : image.convertToFormat(QImage::Format_RGB32);
  update();
}

void PictureView::setBitmap(std::shared_ptr<const Bitmap> bitmap) {
  image_ = QImage();
  bitmap_ = std::move(bitmap);
  if (bitmap_ && bitmap_->indexed)
    for (int i = 0; i < 256; ++i) {
      const Bgr c = bitmap_->palette[i];
      paletteRgb_[i] = qRgb(c.r, c.g, c.b);
    }
  update();
}

void PictureView::clearPicture() {
  image_ = QImage();
  bitmap_.reset();
  update();
}

QSize PictureView::naturalSize() const {
  if (bitmap_ && !bitmap_->empty()) return {bitmap_->width, bitmap_->height};
  if (!image_.isNull()) return image_.size();
  return {0, 0};
}

void PictureView::setBackground(const QColor& colour) {
  background_ = colour;
  update();
}

QImage PictureView::render(const QRect& area) const {
  QImage out(area.size(), QImage::Format_ARGB32_Premultiplied);
  if (out.isNull()) return out;
  out.fill(background_.isValid() ? background_.rgba() : qRgba(0, 0, 0, 0));
  const ZoomMapping map = mapping();
  if (map.empty()) return out;
  const QRect visible = area.intersected(rect());
  if (visible.isEmpty()) return out;

  // Natural column of every visible control column, computed once per paint.
  std::vector<int> columns(static_cast<size_t>(visible.width()));
  for (int x = 0; x < visible.width(); ++x) columns[x] = map.naturalColumn(visible.left() + x);
  const int dx = visible.left() - area.left();
  if (prepare_)
    prepare_(QRect(QPoint(columns.front(), map.naturalRow(visible.top())),
                   QPoint(columns.back(), map.naturalRow(visible.bottom()))));

  for (int y = visible.top(); y <= visible.bottom(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y - area.top())) + dx;
    const int row = map.naturalRow(y);
    if (bitmap_) {
      const std::uint8_t* in = bitmap_->row(row);
      if (bitmap_->indexed) {
        for (int x = 0; x < visible.width(); ++x) line[x] = paletteRgb_[in[columns[x]]];
      } else {
        for (int x = 0; x < visible.width(); ++x) {
          const std::uint8_t* p = in + 3 * static_cast<size_t>(columns[x]);
          line[x] = qRgb(p[2], p[1], p[0]);
        }
      }
    } else {
      const auto* in = reinterpret_cast<const QRgb*>(image_.constScanLine(row));
      for (int x = 0; x < visible.width(); ++x) line[x] = 0xFF000000u | in[columns[x]];
    }
  }
  return out;
}

void PictureView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (smooth_ && !image_.isNull()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), image_);
    return;
  }
  // Only the exposed part, one rectangle of the region at a time.
  for (const QRect& area : event->region()) painter.drawImage(area.topLeft(), render(area));
}

void PictureView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit doubleClicked();
  QWidget::mouseDoubleClickEvent(event);
}

ScrollCanvas::ScrollCanvas(QWidget* parent) : QWidget(parent) { resize(0, 0); }

bool ScrollCanvas::event(QEvent* event) {
  if (event->type() == QEvent::ChildAdded) {
    auto* child = static_cast<QChildEvent*>(event)->child();
    if (child->isWidgetType()) child->installEventFilter(this);
  }
  if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved) fitChildren();
  return QWidget::event(event);
}

bool ScrollCanvas::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::Show:
    case QEvent::Hide:
      fitChildren();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void ScrollCanvas::fitChildren() {
  int width = 0, height = 0;
  for (QObject* object : children()) {
    auto* child = qobject_cast<QWidget*>(object);
    // Children not yet shown count; those hidden on purpose do not.
    if (child == nullptr || (child->isHidden() && child->testAttribute(Qt::WA_WState_ExplicitShowHide)))
      continue;
    width = std::max(width, child->x() + child->width());
    height = std::max(height, child->y() + child->height());
  }
  if (size() != QSize(width, height)) resize(width, height);
}

ScrollBox::ScrollBox(QWidget* parent) : QScrollArea(parent), canvas_(new ScrollCanvas) {
  setWidget(canvas_);
  setWidgetResizable(false);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void ScrollBox::contextMenuEvent(QContextMenuEvent* event) {
  if (popup_ == nullptr) {
    QScrollArea::contextMenuEvent(event);
    return;
  }
  popup_->popup(event->globalPos());
  event->accept();
}

}  // namespace skarvel
