#pragma once
// Grey composition: channel brightness weights and a contrast factor.
//
// The weights apply by byte position in a 24-bit pixel (blue, green, red):
// the R slider's factor multiplies byte 0 (blue) and the B slider's byte 2
// (red), so the R slider scales the blue samples and the B slider the red.
// 8-bit sources take each pixel's palette index as its grey level, whatever
// the palette holds; sources of any other bit count go through their pixel
// colours exactly as 24-bit ones. Results are 8-bit pictures with the grey
// palette, so a pixel's byte is its grey level.

#include "platform/bitmap.h"
#include "platform/bitmap_batch.h"
#include "platform/picture_statistics.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>

namespace skarvel {

// The four slider positions.
struct ChannelSettings {
  int r = 0;          // -100 to 200 (percent), factor 1 + R/100 on byte 0
  int g = 0;          // -100 to 200, factor on byte 1
  int b = 0;          // -100 to 200, factor on byte 2
  int contrast = 50;  // 0 to 500, factor Contrast/50 on the distance from 127
  friend bool operator==(const ChannelSettings&, const ChannelSettings&) = default;
};

inline constexpr int kChannelMin = -100;
inline constexpr int kChannelMax = 200;
inline constexpr int kContrastMin = 0;
inline constexpr int kContrastMax = 500;

inline const QString kGreySuffix = QStringLiteral("_mod.bmp");

// The factors, each computed in extended precision and stored as a double:
// kR = R * 0.01 + 1, kG, kB likewise, K = Contrast * 0.02.
struct GreyFactors {
  double kR;
  double kG;
  double kB;
  double k;
};
GreyFactors MakeGreyFactors(const ChannelSettings& settings);

// The grey level of one pixel with bytes b0, b1, b2 in memory order:
// s = ((b0 kR + b1 kG) + b2 kB) * t with t the double nearest 1/3, then
// v = (s - 127) K + 127 rounded to a double, clamped to 0..255 and truncated.
std::uint8_t GreyLevel(int b0, int b1, int b2, const GreyFactors& factors);
// The value v of GreyLevel before it is clamped: the contrast clips a pixel
// to 0 when v < 0 and to 255 when v > 255.
double GreyValue(int b0, int b1, int b2, const GreyFactors& factors);

// One pass over a source: the histogram of the grey levels its composition
// gives, the pixels the contrast clipped at 0 and at 255, and the red, green
// and blue histograms of the source's own colours. Rows are shared between
// the cores.
struct GreyCounts {
  LevelHistogram levels{};
  std::uint64_t clippedLow = 0;
  std::uint64_t clippedHigh = 0;
  std::array<LevelHistogram, 3> source{};
};
GreyCounts CountGreyLevels(const Bitmap& source, const ChannelSettings& settings);

// The composition of one source under one settings, made a part at a time:
// the tables are built once, then any rectangle of the result can be
// composed; the parts together give exactly ComposeGrey's bytes. The source
// must outlive the composer.
class GreyComposer {
 public:
  GreyComposer(const Bitmap& source, const ChannelSettings& settings);
  ~GreyComposer();
  GreyComposer(const GreyComposer&) = delete;
  GreyComposer& operator=(const GreyComposer&) = delete;
  // Writes the pixels of `area` (clipped to the source) into `result`, which
  // PrepareGreyResult has sized for the source. Compose runs on the calling
  // thread (any thread, also several at once on different areas);
  // ComposeShared shares the rows between the cores.
  void Compose(const QRect& area, Bitmap& result) const;
  void ComposeShared(const QRect& area, Bitmap& result) const;

 private:
  struct Tables;
  // The one pixel loop, composing or counting: hands each pixel of `part`
  // to the sink by the tables' way of making it.
  template <class Sink>
  void ForEachPixel(const QRect& part, Sink& sink) const;
  friend GreyCounts CountGreyLevels(const Bitmap& source, const ChannelSettings& settings);
  const Bitmap& source_;
  std::unique_ptr<Tables> tables_;
};

// Gives `result` the source's size as an 8-bit grey picture (its memory is
// reused when the size allows; the pixels are then left as they were). An
// empty source gives an empty grey picture of the same size.
void PrepareGreyResult(const Bitmap& source, Bitmap& result);

// Makes `result` the grey composition of `source` (its memory is reused when
// the size allows). The composition of an empty source (nothing loaded yet)
// is an empty grey picture of the same size, without any pixel.
void ComposeGrey(const Bitmap& source, const ChannelSettings& settings, Bitmap& result);
Bitmap ComposeGrey(const Bitmap& source, const ChannelSettings& settings);

// The processing button: for each entry in order, load it, compose it and
// write the 8-bit result as directory/base name + "_mod.bmp". The first error
// ends the run; files written before it stay.
void RunGreyComposition(const QString& directory, const QStringList& entries, const ChannelSettings& settings,
                        const BatchObserver& observer = {});
// The same, composing each picture into `result` (the window's grey picture,
// which it shows after each file; its memory is reused).
void RunGreyComposition(const QString& directory, const QStringList& entries, const ChannelSettings& settings,
                        const BatchObserver& observer, Bitmap& result);

}  // namespace skarvel
