#include "fov/coverage_picture.h"

#include "platform/error.h"

#include <QFontMetrics>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace skarvel {

namespace {

// Counts 1, 2, 3, 4 and 5 or more.
const QColor kCountColours[] = {QColor(40, 110, 220), QColor(40, 170, 80), QColor(230, 200, 30),
                                QColor(240, 130, 20), QColor(210, 30, 30)};
// Hidden cells: a purple no count has and no shade of grey comes near, so
// that they stand apart from the hill shade's shadows.
const QColor kHiddenColour(150, 30, 150);
// The hatching of the cells outside every view: every sixth diagonal.
const QColor kHatchColour(120, 120, 120);
constexpr int kHatchStep = 6;

QColor Blend(const QColor& over, int grey, double share) {
  const auto mix = [&](int c) { return static_cast<int>(std::lround(c * share + grey * (1 - share))); };
  return QColor(mix(over.red()), mix(over.green()), mix(over.blue()));
}

// The grey of ground with these slopes, lit from the upper left (least X,
// greatest Y): 0 to 255, kLevelShade on the level.
int Shade(double dzdx, double dzdy) {
  // The normal (-dz/dx, -dz/dy, 1) against the light (-1, 1, 1) / sqrt(3).
  const double shade = (dzdx - dzdy + 1) / (std::sqrt(dzdx * dzdx + dzdy * dzdy + 1) * std::sqrt(3.0));
  return static_cast<int>(std::clamp(std::lround(255 * shade * 0.75 / 0.577), 0L, 255L));
}

// Over blocks: one tone per cell, from the slope between its neighbours.
int BlockShade(const HeightMap& map, int column, int row) {
  const GridGeometry& g = map.grid;
  const auto z = [&](int c, int r) {
    c = std::clamp(c, 0, g.columns - 1);
    r = std::clamp(r, 0, g.rows - 1);
    return map.z[static_cast<size_t>(r) * g.columns + c];
  };
  return Shade((z(column + 1, row) - z(column - 1, row)) / (2 * g.cellX),
               (z(column, row + 1) - z(column, row - 1)) / (2 * g.cellY));
}

// The bilinear surface at grid coordinates (u, w), in cells from the grid's
// least X and least Y: the samples stand at the cell centres, and beyond the
// outermost centres the surface keeps the nearest centres' values.
double BilinearZ(const HeightMap& map, double u, double w) {
  const GridGeometry& g = map.grid;
  const double a = std::clamp(u - 0.5, 0.0, g.columns - 1.0);
  const double b = std::clamp(w - 0.5, 0.0, g.rows - 1.0);
  const int c0 = std::min(static_cast<int>(a), std::max(g.columns - 2, 0));
  const int r0 = std::min(static_cast<int>(b), std::max(g.rows - 2, 0));
  const int c1 = std::min(c0 + 1, g.columns - 1), r1 = std::min(r0 + 1, g.rows - 1);
  const double fa = a - c0, fb = b - r0;
  const auto z = [&](int c, int r) { return map.z[static_cast<size_t>(r) * g.columns + c]; };
  return (z(c0, r0) * (1 - fa) + z(c1, r0) * fa) * (1 - fb) + (z(c0, r1) * (1 - fa) + z(c1, r1) * fa) * fb;
}

// Over the bilinear surface: the tone of picture pixel (x, y), from the
// surface's slope across that pixel, `k` pixels a cell.
int BilinearShade(const HeightMap& map, int k, int x, int y) {
  const GridGeometry& g = map.grid;
  const double pixel = 1.0 / k;  // in cells
  const double u = (x + 0.5) * pixel, w = g.rows - (y + 0.5) * pixel;
  const double dzdx =
      (BilinearZ(map, u + pixel / 2, w) - BilinearZ(map, u - pixel / 2, w)) / (pixel * g.cellX);
  const double dzdy =
      (BilinearZ(map, u, w + pixel / 2) - BilinearZ(map, u, w - pixel / 2)) / (pixel * g.cellY);
  return Shade(dzdx, dzdy);
}

// The legend's items: the five counts, then the hidden and the unseen cells.
struct LegendItem {
  const char* label;
  CoverageCell cell;
};
const LegendItem kLegendItems[] = {
    {"1", {1, false}},  {"2", {2, false}},     {"3", {3, false}},        {"4", {4, false}},
    {"5+", {5, false}}, {"скрыто", {0, true}}, {"не видно", {0, false}},
};
constexpr int kCountItems = 5;

// The legend's measures for a font.
struct LegendLayout {
  explicit LegendLayout(const QFont& font) : metrics(font) {
    swatch = std::max(12, metrics.height());
    line = std::max(swatch, metrics.height());
    swatchTop = margin + metrics.height() + margin / 2;
  }
  QFontMetrics metrics;
  int margin = 6;
  int swatch = 12;  // a swatch's side
  int line = 12;
  int swatchTop = 0;
  int labelGap = 4;   // between a swatch and its label
  int itemGap = 12;   // between an item and the next
  int groupGap = 28;  // between the counts and the other two
};

}  // namespace

int CoverageCellPixels(const GridGeometry& grid) {
  const int longer = std::max(grid.columns, grid.rows);
  return longer >= 512 ? 1 : (512 + longer - 1) / longer;
}

QRgb CoverageFill(const CoverageCell& cell, int shade, int x, int y) {
  if (cell.count > 0)
    return Blend(kCountColours[std::min<std::uint32_t>(cell.count, 5) - 1], shade, 0.65).rgb();
  if (cell.hidden) return Blend(kHiddenColour, shade, 0.7).rgb();
  // Outside every view: the hill shade, hatched.
  return (x + y) % kHatchStep == 0 ? kHatchColour.rgb() : qRgb(shade, shade, shade);
}

QImage CoveragePicture(const HeightMap& relief, const std::vector<std::uint32_t>& counts,
                       const std::vector<std::uint32_t>& hidden, const std::vector<FrameRelief>& figures,
                       ReliefSurfaceModel model) {
  const GridGeometry& g = relief.grid;
  const size_t cells = static_cast<size_t>(g.columns) * static_cast<size_t>(g.rows);
  if (counts.size() != cells || hidden.size() != cells || relief.z.size() != cells)
    throw Error(QStringLiteral("Карта покрытия не соответствует карте высот"));
  const int k = CoverageCellPixels(g);
  const long long width = static_cast<long long>(g.columns) * k, height = static_cast<long long>(g.rows) * k;
  QImage picture;
  if (width <= 32767 && height <= 32767)
    picture = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
  if (picture.isNull()) throw Error(QStringLiteral("Карта покрытия слишком велика для показа"));

  // At one pixel a cell the bilinear surface's slope across a pixel is the
  // slope between the cell's neighbours (half of each neighbour's patch
  // either side): the per-cell tone, without the work per pixel.
  const bool bilinear = model == ReliefSurfaceModel::kBilinear && k > 1;
  for (int row = 0; row < g.rows; ++row) {
    const int top = (g.rows - 1 - row) * k;  // the greatest Y at the top
    for (int column = 0; column < g.columns; ++column) {
      const size_t index = static_cast<size_t>(row) * g.columns + column;
      const CoverageCell cell{counts[index], hidden[index] > 0};
      const int blockShade = bilinear ? 0 : BlockShade(relief, column, row);
      for (int dy = 0; dy < k; ++dy) {
        const int y = top + dy;
        QRgb* line = reinterpret_cast<QRgb*>(picture.scanLine(y)) + column * k;
        for (int dx = 0; dx < k; ++dx) {
          const int x = column * k + dx;
          line[dx] = CoverageFill(cell, bilinear ? BilinearShade(relief, k, x, y) : blockShade, x, y);
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
  return picture;
}

QString CoverageLegendCaption() { return QStringLiteral("Число кадров, видящих ячейку:"); }

QSize CoverageLegendSize(const QFont& font) {
  const LegendLayout l(font);
  int x = l.margin;
  for (int i = 0; i < static_cast<int>(std::size(kLegendItems)); ++i) {
    if (i == kCountItems) x += l.groupGap - l.itemGap;
    x += l.swatch + l.labelGap + l.metrics.horizontalAdvance(QString::fromUtf8(kLegendItems[i].label)) +
         l.itemGap;
  }
  const int width =
      std::max(x - l.itemGap + l.margin, 2 * l.margin + l.metrics.horizontalAdvance(CoverageLegendCaption()));
  return QSize(width, l.swatchTop + l.line + l.margin);
}

void PaintCoverageLegend(QPainter& painter, const QFont& font) {
  const LegendLayout l(font);
  const QSize size = CoverageLegendSize(font);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(QRect(l.margin, l.margin, size.width() - 2 * l.margin, l.metrics.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, CoverageLegendCaption());
  int x = l.margin;
  const int swatchY = l.swatchTop + (l.line - l.swatch) / 2;
  for (int i = 0; i < static_cast<int>(std::size(kLegendItems)); ++i) {
    if (i == kCountItems) x += l.groupGap - l.itemGap;
    // The swatch: the map's own fill over level ground.
    QImage swatch(l.swatch, l.swatch, QImage::Format_RGB32);
    for (int y = 0; y < l.swatch; ++y) {
      QRgb* line = reinterpret_cast<QRgb*>(swatch.scanLine(y));
      for (int sx = 0; sx < l.swatch; ++sx) line[sx] = CoverageFill(kLegendItems[i].cell, kLevelShade, sx, y);
    }
    painter.drawImage(x, swatchY, swatch);
    painter.drawRect(x, swatchY, l.swatch - 1, l.swatch - 1);
    x += l.swatch + l.labelGap;
    const QString label = QString::fromUtf8(kLegendItems[i].label);
    const int labelWidth = l.metrics.horizontalAdvance(label);
    painter.drawText(QRect(x, l.swatchTop, labelWidth + 1, l.line), Qt::AlignLeft | Qt::AlignVCenter, label);
    x += labelWidth + l.itemGap;
  }
  painter.restore();
}

}  // namespace skarvel
