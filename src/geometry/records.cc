#include "geometry/records.h"

#include <QBrush>
#include <QPen>

namespace skarvel {

QString ArrayIndexOutOfRange(long long index, long long length) {
  return QStringLiteral("Index %1 out of range (length %2)").arg(index).arg(length);
}

CellRect PointCell(const VT_Point& point, int originRow, int originColumn, double cellHeight,
                   double cellWidth) {
  // Truncation toward zero, as an integer conversion does.
  return CellRect{static_cast<int>((point.Y - originColumn) * cellWidth),
                  static_cast<int>((point.X - originRow) * cellHeight),
                  static_cast<int>((point.Y - originColumn + 1) * cellWidth),
                  static_cast<int>((point.X - originRow + 1) * cellHeight)};
}

void VT_Point::Draw(QPainter& canvas, int originRow, int originColumn, double cellHeight,
                    double cellWidth) const {
  const CellRect cell = PointCell(*this, originRow, originColumn, cellHeight, cellWidth);
  const QColor color = ToQColor(Color);
  canvas.setPen(QPen(color, 1, Qt::SolidLine));
  canvas.setBrush(QBrush(color, Qt::SolidPattern));
  // The cell covers [left, right) x [top, bottom): fill it without the pen's
  // extra pixel on the far edges.
  canvas.fillRect(QRect(QPoint(cell.left, cell.top), QPoint(cell.right - 1, cell.bottom - 1)), color);
}

}  // namespace skarvel
