#include "colour/grey.h"

#include "platform/bitmap_file.h"
#include "platform/file_names.h"

namespace skarvel {
namespace {

// The double nearest to one third: a multiplication by it, not a division by
// 3, so that some exact integers come out just below and truncate one lower.
constexpr double kOneThird = 1.0 / 3.0;

}  // namespace

GreyFactors MakeGreyFactors(const ChannelSettings& s) {
  // Extended precision, then stored as doubles: at the defaults all are 1 exactly.
  return {static_cast<double>(s.r * 0.01L + 1.0L), static_cast<double>(s.g * 0.01L + 1.0L),
          static_cast<double>(s.b * 0.01L + 1.0L), static_cast<double>(s.contrast * 0.02L)};
}

std::uint8_t GreyLevel(int b0, int b1, int b2, const GreyFactors& f) {
  // Extended precision throughout; v is rounded to a double before the clamp.
  const long double s = ((b0 * static_cast<long double>(f.kR) + b1 * static_cast<long double>(f.kG)) +
                         b2 * static_cast<long double>(f.kB)) *
                        static_cast<long double>(kOneThird);
  double v = static_cast<double>((s - 127.0L) * static_cast<long double>(f.k) + 127.0L);
  if (v > 255.0) {
    v = 255.0;
  } else if (!(v >= 0.0)) {
    v = 0.0;
  }
  return static_cast<std::uint8_t>(v);
}

void ComposeGrey(const Bitmap& source, const ChannelSettings& settings, Bitmap& result) {
  if (!result.indexed || result.width != source.width || result.height != source.height) {
    result = Bitmap::Indexed(source.width, source.height, GreyPalette());
  }
  result.palette = GreyPalette();
  result.fileBitCount = 8;
  const GreyFactors factors = MakeGreyFactors(settings);
  if (source.indexed && source.fileBitCount == 8) {
    // The palette index is the grey level, whatever colour the palette gives it.
    std::uint8_t level[256];
    for (int p = 0; p < 256; ++p) level[p] = GreyLevel(p, p, p, factors);
    for (int y = 0; y < source.height; ++y) {
      const std::uint8_t* in = source.row(y);
      std::uint8_t* out = result.row(y);
      for (int x = 0; x < source.width; ++x) out[x] = level[in[x]];
    }
    return;
  }
  std::vector<std::uint8_t> colours(static_cast<std::size_t>(source.width) * 3);
  for (int y = 0; y < source.height; ++y) {
    ColourRow(source, y, colours.data());
    const std::uint8_t* in = colours.data();
    std::uint8_t* out = result.row(y);
    for (int x = 0; x < source.width; ++x, in += 3) out[x] = GreyLevel(in[0], in[1], in[2], factors);
  }
}

Bitmap ComposeGrey(const Bitmap& source, const ChannelSettings& settings) {
  Bitmap result;
  ComposeGrey(source, settings, result);
  return result;
}

void RunGreyComposition(const QString& directory, const QStringList& entries, const ChannelSettings& settings,
                        const BatchObserver& observer) {
  Bitmap result;
  for (const QString& entry : entries) {
    const Bitmap picture = LoadBitmap(JoinPath(directory, entry));
    if (observer.loaded) observer.loaded(entry, picture);
    ComposeGrey(picture, settings, result);
    const QString output = MakeOutputName(directory, entry, kGreySuffix);
    SaveBitmap(result, output);
    if (observer.written) observer.written(output, result);
  }
}

}  // namespace skarvel
