#include "shell/artwork.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

namespace skarvel {
namespace {

QImage Blank() {
  QImage image(kToolPictureWidth, kToolPictureHeight, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

// A small aerial-looking patch: fields and a road, used under two pictures.
void DrawTerrain(QPainter& p, const QRect& area) {
  p.fillRect(area, QColor(0x6B, 0x8E, 0x3C));
  p.fillRect(QRect(area.left(), area.top(), area.width() / 2, area.height() / 2), QColor(0x9C, 0xA6, 0x52));
  p.fillRect(QRect(area.center().x(), area.center().y(), area.width() / 2 + 1, area.height() / 2 + 1),
             QColor(0x8A, 0x6E, 0x3E));
  p.setPen(QPen(QColor(0xD8, 0xCF, 0xB0), 1));
  p.drawLine(area.left(), area.bottom() - 3, area.right(), area.top() + 4);
}

QImage ColourBars() {
  QImage image = Blank();
  QPainter p(&image);
  const QColor colours[] = {QColor(0, 0, 220), QColor(0, 170, 0), QColor(220, 0, 0)};
  for (int i = 0; i < 3; ++i) {
    p.fillRect(QRect(2 + 7 * i, 3, 5, 18), colours[i]);
    p.setPen(colours[i].darker(160));
    p.drawRect(QRect(2 + 7 * i, 3, 4, 17));
  }
  return image;
}

QImage FrameWithRectangle() {
  QImage image = Blank();
  QPainter p(&image);
  p.fillRect(QRect(1, 3, 20, 18), QColor(0xF4, 0xF4, 0xF4));
  p.setPen(QColor(0x40, 0x40, 0x40));
  p.drawRect(QRect(1, 3, 19, 17));
  p.fillRect(QRect(6, 8, 9, 7), QColor(0xA8, 0xC8, 0xF0));
  p.setPen(QPen(QColor(220, 0, 0), 1, Qt::DashLine));
  p.drawRect(QRect(5, 7, 10, 8));
  return image;
}

QImage Ruler() {
  QImage image = Blank();
  QPainter p(&image);
  p.translate(11, 12);
  p.rotate(-35);
  const QRect body(-11, -4, 22, 8);
  p.fillRect(body, QColor(0xF0, 0xD0, 0x60));
  p.setPen(QColor(0x70, 0x50, 0x10));
  p.drawRect(body.adjusted(0, 0, -1, -1));
  for (int x = -9; x <= 9; x += 3) p.drawLine(x, -4, x, x % 2 == 0 ? 0 : -2);
  return image;
}

QImage OpenFolder() {
  QImage image = Blank();
  QPainter p(&image);
  p.setPen(QColor(0x80, 0x60, 0x00));
  p.setBrush(QColor(0xF0, 0xC8, 0x40));
  p.drawRect(2, 7, 16, 12);
  p.drawRect(2, 5, 6, 2);
  p.setBrush(QColor(0xFF, 0xE0, 0x70));
  p.drawPolygon(QPolygon({QPoint(5, 11), QPoint(21, 11), QPoint(18, 19), QPoint(2, 19)}));
  return image;
}

QImage Disk() {
  QImage image = Blank();
  QPainter p(&image);
  p.fillRect(QRect(3, 4, 16, 16), QColor(0x30, 0x30, 0x90));
  p.fillRect(QRect(6, 4, 10, 6), QColor(0xE0, 0xE0, 0xE0));
  p.fillRect(QRect(6, 13, 10, 7), QColor(0x90, 0x90, 0x90));
  return image;
}

QImage GridOverPicture() {
  QImage image = Blank();
  QPainter p(&image);
  DrawTerrain(p, QRect(1, 3, 20, 18));
  p.setPen(QColor(0x20, 0x20, 0x20));
  for (int x = 1; x <= 21; x += 5) p.drawLine(x, 3, x, 20);
  for (int y = 3; y <= 21; y += 4) p.drawLine(1, y, 21, y);
  return image;
}

QImage QuestionMark() {
  QImage image = Blank();
  QPainter p(&image);
  QFont font;
  font.setPixelSize(18);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(0, 0, 160));
  p.drawText(QRect(0, 0, kToolPictureWidth, kToolPictureHeight), Qt::AlignCenter, QStringLiteral("?"));
  return image;
}

QImage FootprintsOverTerrain() {
  QImage image = Blank();
  QPainter p(&image);
  DrawTerrain(p, QRect(1, 3, 20, 18));
  p.setPen(QPen(QColor(0, 200, 0), 2));
  p.drawRect(QRect(3, 6, 9, 8));
  p.setPen(QPen(QColor(230, 0, 0), 2));
  p.drawRect(QRect(9, 10, 10, 8));
  return image;
}

QImage Digits() {
  QImage image = Blank();
  QPainter p(&image);
  QFont font;
  font.setPixelSize(13);
  font.setBold(true);
  p.setFont(font);
  const QColor colours[] = {QColor(200, 0, 0), QColor(0, 140, 0), QColor(0, 0, 210)};
  const QString digits[] = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
  for (int i = 0; i < 3; ++i) {
    p.setPen(colours[i]);
    p.drawText(QRect(7 * i, 2 + 5 * (i % 2), 8, 16), Qt::AlignCenter, digits[i]);
  }
  return image;
}

// The 16 colours of the classic palette.
QList<QRgb> ClassicPalette() {
  return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
          qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
          qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
          qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

}  // namespace

QList<QImage> ToolPictures() {
  return {ColourBars(),   FrameWithRectangle(),    Ruler(), OpenFolder(), Disk(), GridOverPicture(),
          QuestionMark(), FootprintsOverTerrain(), Digits()};
}

QImage ProgramIconPicture() {
  QImage image(32, 32, QImage::Format_RGB32);
  QPainter p(&image);
  p.fillRect(image.rect(), QColor(0, 128, 0));
  p.fillRect(QRect(0, 0, 16, 14), QColor(128, 128, 0));
  p.fillRect(QRect(18, 18, 14, 14), QColor(128, 128, 128));
  p.setPen(QPen(QColor(0, 0, 0), 2));
  p.drawLine(0, 8, 32, 8);  // the track
  p.setPen(QPen(QColor(255, 255, 0), 2));
  p.drawPolygon(QPolygon({QPoint(10, 13), QPoint(22, 13), QPoint(28, 28), QPoint(4, 28)}));
  p.setPen(QPen(QColor(255, 0, 0), 1));
  p.drawLine(16, 8, 16, 20);
  p.end();
  return image.convertToFormat(QImage::Format_Indexed8, ClassicPalette(), Qt::ThresholdDither);
}

}  // namespace skarvel
