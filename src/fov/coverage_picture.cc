#include "fov/coverage_picture.h"

#include "platform/error.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace skarvel {

namespace {

// Counts 1, 2, 3, 4 and 5 or more.
const QColor kCountColours[] = {QColor(40, 110, 220), QColor(40, 170, 80), QColor(230, 200, 30),
                                QColor(240, 130, 20), QColor(210, 30, 30)};
const QColor kHiddenColour(40, 40, 40);

QColor Blend(const QColor& over, int grey, double share) {
  const auto mix = [&](int c) { return static_cast<int>(std::lround(c * share + grey * (1 - share))); };
  return QColor(mix(over.red()), mix(over.green()), mix(over.blue()));
}

// Light from the upper left (least X, greatest Y): 0 to 255, 191 on the flat.
int HillShade(const HeightMap& map, int column, int row) {
  const GridGeometry& g = map.grid;
  const auto z = [&](int c, int r) {
    c = std::clamp(c, 0, g.columns - 1);
    r = std::clamp(r, 0, g.rows - 1);
    return map.z[static_cast<size_t>(r) * g.columns + c];
  };
  const double dzdx = (z(column + 1, row) - z(column - 1, row)) / (2 * g.cellX);
  const double dzdy = (z(column, row + 1) - z(column, row - 1)) / (2 * g.cellY);
  // The normal (-dz/dx, -dz/dy, 1) against the light (-1, 1, 1) / sqrt(3).
  const double shade = (dzdx - dzdy + 1) / (std::sqrt(dzdx * dzdx + dzdy * dzdy + 1) * std::sqrt(3.0));
  return static_cast<int>(std::clamp(std::lround(255 * shade * 0.75 / 0.577), 0L, 255L));
}

}  // namespace

int CoverageCellPixels(const GridGeometry& grid) {
  const int longer = std::max(grid.columns, grid.rows);
  return longer >= 512 ? 1 : (512 + longer - 1) / longer;
}

QImage CoveragePicture(const HeightMap& relief, const std::vector<std::uint32_t>& counts,
                       const std::vector<std::uint32_t>& hidden, const std::vector<FrameRelief>& figures) {
  const GridGeometry& g = relief.grid;
  const size_t cells = static_cast<size_t>(g.columns) * static_cast<size_t>(g.rows);
  if (counts.size() != cells || hidden.size() != cells || relief.z.size() != cells)
    throw Error(QStringLiteral("Карта покрытия не соответствует карте высот"));
  const int k = CoverageCellPixels(g);
  const int width = std::max(g.columns * k, 460), height = g.rows * k;
  QImage picture(width, height + kCoverageLegendHeight, QImage::Format_RGB32);
  if (picture.isNull()) throw Error(QStringLiteral("Карта покрытия слишком велика для показа"));
  picture.fill(Qt::white);

  for (int row = 0; row < g.rows; ++row) {
    const int top = (g.rows - 1 - row) * k;  // the greatest Y at the top
    for (int column = 0; column < g.columns; ++column) {
      const size_t index = static_cast<size_t>(row) * g.columns + column;
      const int grey = HillShade(relief, column, row);
      const std::uint32_t count = counts[index];
      for (int dy = 0; dy < k; ++dy) {
        QRgb* line = reinterpret_cast<QRgb*>(picture.scanLine(top + dy)) + column * k;
        for (int dx = 0; dx < k; ++dx) {
          QColor colour;
          if (count > 0)
            colour = Blend(kCountColours[std::min<std::uint32_t>(count, 5) - 1], grey, 0.65);
          else if (hidden[index] > 0)
            colour = Blend(kHiddenColour, grey, 0.7);
          else  // outside every view: the hill shade, hatched
            colour =
                ((column * k + dx + top + dy) % 6 == 0) ? QColor(120, 120, 120) : QColor(grey, grey, grey);
          line[dx] = colour.rgb();
        }
      }
    }
  }

  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1));
  const auto pixel = [&](const ScenePoint& p) {
    return QPointF((p.x - g.originX) / g.cellX * k, (g.maxY() - p.y) / g.cellY * k);
  };
  for (const FrameRelief& frame : figures) {
    if (frame.outline.empty()) continue;
    QPainterPath path(pixel(frame.outline.front()));
    for (const ScenePoint& p : frame.outline) path.lineTo(pixel(p));
    path.closeSubpath();
    painter.drawPath(path);
  }

  // The legend: a swatch per count, then the hidden and the unseen cells.
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(0, height, width, kCoverageLegendHeight, Qt::white);
  QFont font = painter.font();
  font.setPixelSize(12);
  painter.setFont(font);
  const QString labels[] = {QStringLiteral("1"),       QStringLiteral("2"),  QStringLiteral("3"),
                            QStringLiteral("4"),       QStringLiteral("5+"), QStringLiteral("скрыто"),
                            QStringLiteral("не видно")};
  for (int i = 0; i < 7; ++i) {
    const QRect swatch(8 + i * 64, height + 8, 14, 14);
    const QColor colour = i < 5 ? kCountColours[i] : i == 5 ? kHiddenColour : QColor(180, 180, 180);
    painter.fillRect(swatch, colour);
    painter.setPen(Qt::black);
    painter.drawRect(swatch);
    painter.drawText(QRect(swatch.right() + 3, height + 6, 46, 18),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, labels[i]);
  }
  return picture;
}

}  // namespace skarvel
