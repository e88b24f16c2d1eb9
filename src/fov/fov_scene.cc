#include "fov/fov_scene.h"

#include "fov/scene_drawing.h"
#include "platform/bitmap.h"
#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/parallel.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <unordered_set>

namespace skarvel {

QString NoFramesMessage(const QString& listFileName) {
  return QStringLiteral("Список %1 не содержит ни одного кадра.").arg(QFileInfo(listFileName).fileName());
}

FovScene::FovScene() : drawing_(BlankPicture(kDrawingWidth, kDrawingHeight)) {}

void FovScene::ClearPictures() {
  drawing_.fill(ButtonFaceColor());
  legendEntries_.clear();
}

void FovScene::LoadFovList(const QString& listFileName, TOrientationSystem system) {
  system_ = system;
  if (listFileName.isEmpty()) return;
  ClearFrames();

  // An unreadable list ends the load here, with the previous picture intact.
  const QStringList lines = ReadTextLines(listFileName);
  ClearPictures();

  LoadFrames(lines, QFileInfo(listFileName).absolutePath(), system);
  if (Footprints().Length() == 0) throw Error(NoFramesMessage(listFileName));
  Draw();
}

namespace {

// The pixels and colour of one footprint's outline.
struct Outline {
  OutlinePixels pixels;
  TColor color;
};

struct PixelsHash {
  size_t operator()(const OutlinePixels& pixels) const {
    size_t h = 0;
    for (const QPoint& p : pixels) h = h * 1000003u ^ qHash(p);
    return h;
  }
};

}  // namespace

void FovScene::Draw() {
  view_ = FitSceneView(Footprints(), drawing_.width(), drawing_.height());
  const int frames = Footprints().Length() / 4;

  // Outlines and legend entries are made on every core; should a frame's
  // pixels fail, the legend keeps the entries before it, as when they are
  // made in turn.
  std::vector<Outline> outlines(static_cast<size_t>(frames));
  std::vector<LegendEntry> entries(outlines.size());
  std::vector<std::exception_ptr> failures(outlines.size());
  const DynamicArray<VT_Point>& corners = Footprints();
  const QStringList& names = GeometryNames();
  ForEachRange(frames, 2048, [&](int begin, int end) {
    for (int n = begin; n < end; ++n) {
      const size_t i = static_cast<size_t>(n);
      try {
        const TColor color = PaletteColor(n);
        outlines[i] = {FootprintPixels(view_, corners.At(4 * n), corners.At(4 * n + 1), corners.At(4 * n + 2),
                                       corners.At(4 * n + 3)),
                       color};
        // Entries alternate between the columns; a row holds two.
        entries[i] = {color, LegendLabel(names.at(n)), n % 2 == 0 ? 1 : 2, n / 2};
      } catch (...) {
        failures[i] = std::current_exception();
        return;
      }
    }
  });
  const auto failed =
      std::find_if(failures.begin(), failures.end(), [](const auto& f) { return f != nullptr; });
  entries.resize(static_cast<size_t>(failed - failures.begin()));
  legendEntries_ = std::move(entries);
  if (failed != failures.end()) std::rethrow_exception(*failed);
  // An outline's stroke covers the same pixels whatever its colour, so an
  // outline drawn again later through the same corner pixels (in any colour)
  // covers every pixel of the earlier one, whatever lies between: only the
  // last of such repeats needs drawing. Lists that repeat frames draw each
  // distinct outline once, and a survey too small on the drawing to tell
  // its frames apart draws only the last of those that meet the same pixels.
  std::vector<bool> drawn(outlines.size(), false);
  std::unordered_set<OutlinePixels, PixelsHash> later;
  for (size_t n = outlines.size(); n-- > 0;) drawn[n] = later.insert(outlines[n].pixels).second;

  DrawTrack(drawing_, view_, TrackPoint());
  QPainter painter(&drawing_);
  for (size_t n = 0; n < outlines.size(); ++n)
    if (drawn[n]) DrawOutline(painter, outlines[n].pixels, outlines[n].color);
}

int FovScene::LegendWidth() const { return kLegendWidth; }

int FovScene::LegendHeight() const { return skarvel::LegendHeight(static_cast<int>(legendEntries_.size())); }

QImage FovScene::LegendBand(const QRect& area) const {
  QImage band = BlankPicture(area.width(), area.height());
  if (area.isEmpty() || legendEntries_.empty()) return band;
  // An entry of row r paints within pixel rows 30 r + 22 to 30 r + 60 (its
  // label's cell and its line at 30 r + 30): only the rows of entries that
  // can reach the area are painted, in the order the entries were made.
  const int top = area.top(), bottom = area.bottom() + 1;
  const int lastRow = legendEntries_.back().row;
  const int firstRow = std::clamp((top - 2 * kLegendRowHeight) / kLegendRowHeight, 0, lastRow + 1);
  const int endRow = std::clamp(bottom / kLegendRowHeight + 1, 0, lastRow + 1);
  if (firstRow >= endRow) return band;
  QPainter painter(&band);
  painter.translate(-area.left(), -top);
  const size_t firstEntry = 2 * static_cast<size_t>(firstRow);
  for (size_t i = firstEntry; i < legendEntries_.size() && legendEntries_[i].row < endRow; ++i) {
    const LegendEntry& entry = legendEntries_[i];
    PaintLegendEntry(painter, kLegendStartHeight + kLegendRowHeight * entry.row, entry.color, entry.label,
                     entry.column);
  }
  return band;
}

void FovScene::PaintLegend(QPainter& painter, const QRect& area) const {
  if (area.isEmpty()) return;
  painter.drawImage(area.topLeft(), LegendBand(area));
}

void FovScene::SaveDrawing(const QString& fileName) const { SaveBitmap24(drawing_, fileName); }

void FovScene::SaveLegend(const QString& fileName) const {
  const int width = LegendWidth();
  SaveBitmap24Bands(fileName, width, LegendHeight(),
                    [&](int begin, int end, std::uint8_t* out, std::ptrdiff_t stride) {
                      const QImage band = LegendBand(QRect(0, begin, width, end - begin));
                      for (int y = begin; y < end; ++y, out += stride) {
                        const auto* in = reinterpret_cast<const QRgb*>(band.constScanLine(y - begin));
                        std::uint8_t* p = out;
                        for (int x = 0; x < width; ++x) {
                          *p++ = static_cast<std::uint8_t>(qBlue(in[x]));
                          *p++ = static_cast<std::uint8_t>(qGreen(in[x]));
                          *p++ = static_cast<std::uint8_t>(qRed(in[x]));
                        }
                      }
                    });
}

}  // namespace skarvel
