#include "fov/scene_drawing.h"

#include "platform/float_checks.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace skarvel {

namespace {

constexpr int kTrackFontPixels = 20;   // 12 points at 120 dots per inch
constexpr int kLegendFontPixels = 13;  // 8 points at 120 dots per inch
constexpr int kFarPixel = 1 << 20;
constexpr long double kWholePixelTolerance = 1e-9L;

QFont TextFont(int pixels) {
  // DejaVu Sans has the Cyrillic glyphs; the same font and hinting in every
  // front end keep the text pixels identical.
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixels);
  font.setStyleStrategy(QFont::NoAntialias);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

// A painter without antialiasing, as the system's drawing surface works.
void PreparePainter(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, false);
}

// Text with its cell's top left corner at (column, row) on a background of
// the button-face colour, in black.
void DrawTextCell(QPainter& painter, int column, int row, const QString& text, int fontPixels) {
  const QFont font = TextFont(fontPixels);
  const QFontMetrics metrics(font);
  painter.fillRect(QRect(column, row, metrics.horizontalAdvance(text), metrics.height()), ButtonFaceColor());
  painter.setFont(font);
  painter.setPen(QPen(Qt::black));
  painter.drawText(QPoint(column, row + metrics.ascent()), text);
}

// (value - offset) * scale + shift in double, as the mapping is defined; a
// point so far away that the double overflows is mapped in extended
// precision instead, where the difference still fits.
long double MapCoordinate(double value, double offset, double scale, int shift) {
  const double mapped = (value - offset) * scale + shift;
  if (std::isfinite(mapped)) return mapped;
  return (static_cast<long double>(value) - offset) * scale + shift;
}

}  // namespace

QColor ButtonFaceColor() { return ToQColor(kButtonFace); }

QImage BlankPicture(int width, int height) {
  QImage picture(width, height, QImage::Format_RGB32);
  picture.fill(ButtonFaceColor());
  return picture;
}

TSceneView FitSceneView(const DynamicArray<VT_Point>& footprints, int width, int height) {
  long double minX = footprints.At(0).X, maxX = minX;
  long double minY = footprints.At(0).Y, maxY = minY;
  for (int i = 1; i < footprints.Length(); ++i) {
    const VT_Point& p = footprints.At(i);
    if (p.X < minX) minX = p.X;
    if (p.X > maxX) maxX = p.X;
    if (p.Y < minY) minY = p.Y;
    if (p.Y > maxY) maxY = p.Y;
  }
  const long double spanX = width - 2 * kSceneMargin, spanY = height - 2 * kSceneMargin;
  TSceneView view;
  view.ScaleX = fp::ToDouble(fp::Divide(spanX, maxX - minX));
  view.ScaleY = fp::ToDouble(fp::Divide(spanY, maxY - minY));
  view.OffsetX = static_cast<double>(minX);
  view.OffsetY = static_cast<double>(minY);
  // The smaller scale wins; the other axis is centred: its offset puts the
  // middle of the scene at the middle of the drawing.
  if (view.ScaleX < view.ScaleY) {
    view.ScaleY = view.ScaleX;
    const long double s = view.ScaleY;
    view.OffsetY = fp::ToDouble(fp::Divide(spanY - minY * s - maxY * s, -2 * s));
  }
  if (view.ScaleX > view.ScaleY) {
    view.ScaleX = view.ScaleY;
    const long double s = view.ScaleX;
    view.OffsetX = fp::ToDouble(fp::Divide(spanX - minX * s - maxX * s, -2 * s));
  }
  return view;
}

int PixelCoordinate(long double value) {
  // A position that is a whole pixel up to rounding noise counts as that
  // pixel. The scene's far edge is one: (max - min) * (924 / (max - min)) + 50
  // is 974, but the rounded scale may give 973.9999999999999, which would
  // move the edge by a pixel depending on how the corners were computed.
  const long double nearest = std::round(value);
  if (std::fabs(value - nearest) < kWholePixelTolerance) value = nearest;
  return static_cast<int>(std::clamp<long double>(value, -kFarPixel, kFarPixel));
}

QPoint ScenePixel(const TSceneView& view, const VT_Point& point) {
  return QPoint(PixelCoordinate(MapCoordinate(point.X, view.OffsetX, view.ScaleX, kSceneMargin)),
                PixelCoordinate(MapCoordinate(point.Y, view.OffsetY, view.ScaleY, kSceneMargin)));
}

void DrawTrack(QImage& drawing, const TSceneView& view, const VT_Point& trackPoint) {
  QPainter painter(&drawing);
  PreparePainter(painter);
  const int row = PixelCoordinate(MapCoordinate(trackPoint.Y, view.OffsetY, view.ScaleY, kSceneMargin));
  painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawLine(QPoint(0, row), QPoint(drawing.width(), row));
  const int labelRow = PixelCoordinate(MapCoordinate(trackPoint.Y, view.OffsetY, view.ScaleY, 20));
  DrawTextCell(painter, 20, labelRow, kTrackLabel, kTrackFontPixels);
}

void DrawFootprint(QImage& drawing, const TSceneView& view, const VT_Point& a, const VT_Point& b,
                   const VT_Point& c, const VT_Point& d, TColor color) {
  QPainter painter(&drawing);
  DrawFootprint(painter, view, a, b, c, d, color);
}

void DrawFootprint(QPainter& painter, const TSceneView& view, const VT_Point& a, const VT_Point& b,
                   const VT_Point& c, const VT_Point& d, TColor color) {
  DrawOutline(painter, FootprintPixels(view, a, b, c, d), color);
}

OutlinePixels FootprintPixels(const TSceneView& view, const VT_Point& a, const VT_Point& b, const VT_Point& c,
                              const VT_Point& d) {
  return {ScenePixel(view, a), ScenePixel(view, b), ScenePixel(view, c), ScenePixel(view, d)};
}

void DrawOutline(QPainter& painter, const OutlinePixels& pixels, TColor color) {
  PreparePainter(painter);
  painter.setPen(QPen(ToQColor(color), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  for (size_t i = 0; i < pixels.size(); ++i) painter.drawLine(pixels[i], pixels[(i + 1) % pixels.size()]);
}

QString LegendLabel(const QString& geometryFileName) {
  const qsizetype at = geometryFileName.indexOf(QStringLiteral("ort"));
  if (at <= 0) return QString();
  return geometryFileName.left(at - 1);
}

void ResizePicture(QImage& picture, int width, int height) {
  if (picture.width() == width && picture.height() == height) return;
  QImage resized = BlankPicture(width, height);
  QPainter painter(&resized);
  painter.drawImage(QPoint(0, 0), picture);
  painter.end();
  picture = resized;
}

int LegendHeight(int entries) { return kLegendStartHeight + kLegendRowHeight * (entries / 2); }

void PaintLegendEntry(QPainter& painter, int height, TColor color, const QString& label, int column) {
  const int lineStart = column == 1 ? 50 : 350;
  PreparePainter(painter);
  // One pixel wide; the end point is not drawn, so the line covers 100
  // columns from lineStart on.
  painter.setPen(QPen(ToQColor(color), 1, Qt::SolidLine, Qt::FlatCap));
  painter.drawLine(QPoint(lineStart, height - 30), QPoint(lineStart + 100, height - 30));
  DrawTextCell(painter, lineStart + 130, height - 38, label, kLegendFontPixels);
}

void DrawLegendEntryAt(QImage& legend, int height, TColor color, const QString& geometryFileName,
                       int column) {
  QPainter painter(&legend);
  PaintLegendEntry(painter, height, color, LegendLabel(geometryFileName), column);
}

void DrawLegendEntry(QImage& legend, TColor color, const QString& geometryFileName, int column) {
  ResizePicture(legend, kLegendWidth, legend.height());
  const int height = legend.height();
  DrawLegendEntryAt(legend, height, color, geometryFileName, column);
  if (column == 2) ResizePicture(legend, kLegendWidth, height + kLegendRowHeight);
}

}  // namespace skarvel
