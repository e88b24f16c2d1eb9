#include "cut/fragment.h"

#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/numbers.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace skarvel {

std::optional<CutFrame> TryParseCutFrame(const QString& w1, const QString& h1, const QString& w2,
                                         const QString& h2) {
  const std::optional<int> v[4] = {TryStrToInt(w1), TryStrToInt(h1), TryStrToInt(w2), TryStrToInt(h2)};
  for (const auto& value : v)
    if (!value) return std::nullopt;
  return CutFrame{*v[0], *v[1], *v[2], *v[3]};
}

CutFrame ParseCutFrame(const QString& w1, const QString& h1, const QString& w2, const QString& h2) {
  CutFrame frame;
  frame.w1 = StrToInt(w1);
  frame.h1 = StrToInt(h1);
  frame.w2 = StrToInt(w2);
  frame.h2 = StrToInt(h2);
  return frame;
}

Bitmap ExtractFragment(const Bitmap& source, const CutFrame& frame) {
  // Spans in 64 bits: the corners may lie anywhere in the 32-bit range.
  const std::int64_t left = frame.w1, top = frame.h1;
  const std::int64_t width = std::max<std::int64_t>(frame.w2, left) - left;
  const std::int64_t height = std::max<std::int64_t>(frame.h2, top) - top;
  if (width == 0 || height == 0)
    throw Error(
        QStringLiteral("Пустой фрагмент: ширина %1, высота %2 пикс. (W1 = %3, H1 = %4, W2 = %5, H2 = %6). "
                       "W2 должно быть больше W1, а H2 больше H1; файл не записан")
            .arg(width)
            .arg(height)
            .arg(frame.w1)
            .arg(frame.h1)
            .arg(frame.w2)
            .arg(frame.h2));
  CheckBitmapSize(width, height, 3);
  Bitmap result = Bitmap::Colour(static_cast<int>(width), static_cast<int>(height));
  // The columns that lie inside the source; everything else stays white.
  const std::int64_t firstColumn = std::clamp<std::int64_t>(-left, 0, width);
  const std::int64_t endColumn = std::clamp<std::int64_t>(source.width - left, firstColumn, width);
  if (endColumn <= firstColumn) return result;
  // Row copies: the part of each source row inside the rectangle, straight
  // from the source (through the palette for an indexed one).
  const std::size_t count = static_cast<std::size_t>(endColumn - firstColumn);
  for (int y = 0; y < result.height; ++y) {
    const std::int64_t sourceY = top + y;
    if (sourceY < 0 || sourceY >= source.height) continue;
    std::uint8_t* out = result.row(y) + 3 * firstColumn;
    const std::uint8_t* in =
        source.row(static_cast<int>(sourceY)) + source.bytesPerPixel() * (left + firstColumn);
    if (!source.indexed) {
      std::memcpy(out, in, 3 * count);
      continue;
    }
    for (std::size_t x = 0; x < count; ++x, out += 3) {
      const Bgr c = source.palette[in[x]];
      out[0] = c.b, out[1] = c.g, out[2] = c.r;
    }
  }
  return result;
}

QString CutWidthLabel(const CutFrame& frame) {
  return QStringLiteral("Ширина = %1").arg(std::llabs(std::int64_t{frame.w2} - frame.w1));
}

QString CutHeightLabel(const CutFrame& frame) {
  return QStringLiteral("Высота = %1").arg(std::llabs(std::int64_t{frame.h2} - frame.h1));
}

std::array<QPoint, 5> CutOutline(const CutFrame& f) {
  return {QPoint(f.w1, f.h1), QPoint(f.w1, f.h2), QPoint(f.w2, f.h2), QPoint(f.w2, f.h1), QPoint(f.w1, f.h1)};
}

QPen CutOutlinePen(int penWidth) {
  return QPen(QColor(255, 0, 0), penWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

QImage CutOutlineMask(const CutFrame& frame, int penWidth, QSize pictureSize, const QRect& area) {
  QImage mask(area.size(), QImage::Format_Grayscale8);
  if (mask.isNull()) return mask;
  mask.fill(0);
  const QRect inside = area.intersected(QRect(QPoint(0, 0), pictureSize));
  if (inside.isEmpty()) return mask;
  // The corners may lie anywhere an integer can, far beyond what the painter
  // takes exactly. The outline's sides run along the axes, so a corner moved
  // to a margin just beyond the area (more than the pen reaches) leaves what
  // is drawn inside the area as it was.
  const int margin = penWidth + 4;
  auto clampX = [&](int x) {
    return static_cast<int>(std::clamp<long long>(x, inside.left() - margin, inside.right() + margin));
  };
  auto clampY = [&](int y) {
    return static_cast<int>(std::clamp<long long>(y, inside.top() - margin, inside.bottom() + margin));
  };
  std::array<QPoint, 5> outline = CutOutline(frame);
  for (QPoint& p : outline) p = QPoint(clampX(p.x()), clampY(p.y()));
  // Drawn on the area and its margin (within the picture), so that a side is
  // cut only where the picture ends, as on the whole picture: a thin side
  // cut at the edge of the area would lose its corner pixel there.
  const QRect drawn =
      inside.adjusted(-margin, -margin, margin, margin).intersected(QRect(QPoint(0, 0), pictureSize));
  QImage canvas(drawn.size(), QImage::Format_Grayscale8);
  if (canvas.isNull()) return QImage();
  canvas.fill(0);
  {
    QPainter painter(&canvas);
    painter.translate(-drawn.topLeft());
    QPen pen = CutOutlinePen(penWidth);
    pen.setColor(QColor(255, 255, 255));
    painter.setPen(pen);
    painter.drawPolyline(outline.data(), static_cast<int>(outline.size()));
  }
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    std::copy_n(canvas.constScanLine(y - drawn.top()) + (inside.left() - drawn.left()), inside.width(),
                mask.scanLine(y - area.top()) + (inside.left() - area.left()));
  return mask;
}

int CutPenWidth(int checkedZoomPercent) {
  if (checkedZoomPercent == 50) return 3;
  if (checkedZoomPercent == 100) return 2;
  return 1;
}

void RunFragmentExtraction(const QString& directory, const QStringList& entries, const QString& w1Text,
                           const QString& h1Text, const QString& w2Text, const QString& h2Text,
                           const BatchObserver& observer) {
  ForEachBatchEntry(entries, observer, [&](const QString& entry) {
    const auto picture = LoadBatchPicture(directory, entry, observer);
    const CutFrame frame = ParseCutFrame(w1Text, h1Text, w2Text, h2Text);
    const Bitmap fragment = ExtractFragment(*picture, frame);
    const QString output = MakeOutputName(directory, entry, kFragmentSuffix);
    SaveBitmap(fragment, output);
    if (observer.written) observer.written(output, fragment);
    if (observer.saved) observer.saved(output);
  });
}

}  // namespace skarvel
