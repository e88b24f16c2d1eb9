#pragma once
// The stretching picture control of the task windows and the scrolling area
// that holds it.
//
// A picture control shows its picture stretched over the control's current
// size; the zoom only changes that size. It paints just the part of the
// control that is exposed, sampling the natural-size picture by nearest
// neighbour (pixels show as blocks when zoomed in): natural column
// floor(x * naturalWidth / controlWidth) lands on control column x, and rows
// alike. Nothing of the zoomed size is ever held in memory, so a 6000 x 4000
// picture at 400 % costs what the visible part of the window costs.

#include "platform/bitmap.h"

#include <QImage>
#include <QRect>
#include <QScrollArea>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QMenu;

namespace skarvel {

// The mapping between natural picture pixels and control pixels for one
// natural size and one control size. All arithmetic is 64-bit.
class ZoomMapping {
 public:
  ZoomMapping(QSize natural, QSize control) : natural_(natural), control_(control) {}
  bool empty() const { return natural_.isEmpty() || control_.isEmpty(); }
  // The natural column (row) a control column (row) shows.
  int naturalColumn(int x) const { return Scale(x, natural_.width(), control_.width()); }
  int naturalRow(int y) const { return Scale(y, natural_.height(), control_.height()); }
  // The first control column (row) that shows natural column (row) c; c may
  // lie outside the picture (the result then lies outside the control).
  long long controlColumn(long long c) const { return Start(c, natural_.width(), control_.width()); }
  long long controlRow(long long r) const { return Start(r, natural_.height(), control_.height()); }
  // The control pixels that show the natural rectangle (clipped to the control).
  QRect controlRect(const QRect& naturalRect) const;
  QSize natural() const { return natural_; }
  QSize control() const { return control_; }

 private:
  static int Scale(long long v, long long natural, long long control) {
    return static_cast<int>(v * natural / control);
  }
  // The least x with floor(x * natural / control) >= c: ceil(c * control / natural).
  static long long Start(long long c, long long natural, long long control);

  QSize natural_;
  QSize control_;
};

// What a picture control shows: a Qt image (the field-of-view drawing, the
// start-up picture) or one of the system's pictures (loaded bitmaps and the
// grey results, shown through their palette without conversion).
class PictureView : public QWidget {
  Q_OBJECT
 public:
  explicit PictureView(QWidget* parent = nullptr);

  void setImage(const QImage& image);
  void setBitmap(std::shared_ptr<const Bitmap> bitmap);
  void clearPicture();
  // The natural size of the picture shown (0 x 0 when none).
  QSize naturalSize() const;
  bool hasPicture() const { return !naturalSize().isEmpty(); }
  const QImage& image() const { return image_; }
  const std::shared_ptr<const Bitmap>& bitmap() const { return bitmap_; }
  ZoomMapping mapping() const { return ZoomMapping(naturalSize(), size()); }

  // Smooth stretching for pictures that are only looked at (the start-up
  // picture); the task windows' pictures are sampled by nearest neighbour.
  void setSmooth(bool smooth) { smooth_ = smooth; }
  // The colour of the parts where no picture is (none: the parent shows through).
  void setBackground(const QColor& colour);

  // Called with the natural pixels that painting or rendering is about to
  // read, so that a picture made on demand can make them first.
  void setPrepare(std::function<void(const QRect& natural)> prepare) { prepare_ = std::move(prepare); }

  // Renders the control pixels of `area` (control coordinates) as the control
  // paints them; the same code serves painting and tests.
  QImage render(const QRect& area) const;

 signals:
  void doubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QImage image_;
  std::shared_ptr<const Bitmap> bitmap_;
  std::array<QRgb, 256> paletteRgb_{};
  bool smooth_ = false;
  QColor background_;
  std::function<void(const QRect&)> prepare_;
};

// The inside of a scrolling area: holds the picture controls at its top left
// corner and always has the size of their union, so that the area's scroll
// range follows every resize of a control.
class ScrollCanvas : public QWidget {
  Q_OBJECT
 public:
  explicit ScrollCanvas(QWidget* parent = nullptr);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fitChildren();
};

// The scrolling area of a task window; a right click anywhere in it opens the
// pop-up menu given (when one is).
class ScrollBox : public QScrollArea {
  Q_OBJECT
 public:
  explicit ScrollBox(QWidget* parent = nullptr);
  ScrollCanvas* canvas() const { return canvas_; }
  void setPopupMenu(QMenu* menu) { popup_ = menu; }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  ScrollCanvas* canvas_;
  QMenu* popup_ = nullptr;
};

}  // namespace skarvel
