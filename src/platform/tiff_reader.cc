// TIFF files through libtiff: the first picture of the file, 8 or 16 bits a
// channel, grey (either sense) or RGB, in strips or tiles, with any
// compression the library decodes. Strips are decoded a row at a time and
// tiles a tile at a time, so that little more than the picture is held.
// The library's errors and warnings go to this reader, never to stderr.

#include "platform/error.h"
#include "platform/photo_readers.h"

#include <tiffio.h>

#include <QString>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace skarvel {
namespace {

// The most one buffer of the library (a tile, say) may take.
constexpr tmsize_t kLargestLibraryBuffer = tmsize_t{256} << 20;

struct TiffSource {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  toff_t at = 0;
  char message[256] = {};
};

tmsize_t Read(thandle_t handle, void* out, tmsize_t n) {
  auto* s = static_cast<TiffSource*>(handle);
  if (n <= 0 || s->at >= s->size) return 0;
  const auto count = static_cast<tmsize_t>(std::min<toff_t>(static_cast<toff_t>(n), s->size - s->at));
  std::memcpy(out, s->data + s->at, static_cast<std::size_t>(count));
  s->at += static_cast<toff_t>(count);
  return count;
}

tmsize_t Write(thandle_t, void*, tmsize_t) { return -1; }

toff_t Seek(thandle_t handle, toff_t offset, int whence) {
  auto* s = static_cast<TiffSource*>(handle);
  toff_t base = 0;
  if (whence == SEEK_CUR) base = s->at;
  if (whence == SEEK_END) base = s->size;
  // Offsets come from the file; positions past the end read nothing.
  s->at = base + offset;
  return s->at;
}

int Close(thandle_t) { return 0; }
toff_t Size(thandle_t handle) { return static_cast<TiffSource*>(handle)->size; }
int Map(thandle_t, void**, toff_t*) { return 0; }
void Unmap(thandle_t, void*, toff_t) {}

// The first error is kept; warnings are dropped. Returning 1 keeps the
// library's global handlers (which print) out of it.
int OnError(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto* s = static_cast<TiffSource*>(user);
  if (s->message[0] == '\0') {
    char text[200];
    std::vsnprintf(text, sizeof text, format, args);
    std::snprintf(s->message, sizeof s->message, "%s%s%s", module != nullptr ? module : "",
                  module != nullptr ? ": " : "", text);
  }
  return 1;
}
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffClose {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};

[[noreturn]] void Fail(const TiffSource& s) {
  throw Error(
      QStringLiteral("TIFF: %1")
          .arg(s.message[0] != '\0' ? QString::fromLocal8Bit(s.message) : QStringLiteral("файл повреждён")));
}

[[noreturn]] void Unsupported(const QString& what) {
  throw Error(
      QStringLiteral("TIFF: %1 не читаются (нужны 8 или 16 бит на канал, серые тона или RGB)").arg(what));
}

// How a picture row comes from the samples of a file row.
struct SampleLayout {
  int samplesPerPixel = 1;
  int bitsPerSample = 8;
  bool colour = false;
  bool whiteIsZero = false;
};

// `count` pixels of samples into the picture's bytes (one grey level or B, G, R).
template <typename Sample>
void ConvertPixels(const SampleLayout& l, const Sample* in, int count, std::uint8_t* out) {
  auto narrow = [](Sample v) -> std::uint8_t {
    if constexpr (sizeof(Sample) == 1)
      return v;
    else
      return NarrowChannel16(v);
  };
  constexpr Sample kMax = static_cast<Sample>(~Sample{0});
  const int step = l.samplesPerPixel;
  if (l.colour) {
    for (int x = 0; x < count; ++x, in += step, out += 3) {
      out[0] = narrow(in[2]);
      out[1] = narrow(in[1]);
      out[2] = narrow(in[0]);
    }
  } else if (l.whiteIsZero) {
    for (int x = 0; x < count; ++x, in += step) out[x] = narrow(static_cast<Sample>(kMax - in[0]));
  } else {
    for (int x = 0; x < count; ++x, in += step) out[x] = narrow(in[0]);
  }
}

void Convert(const SampleLayout& l, const void* in, int count, std::uint8_t* out) {
  if (l.bitsPerSample == 16)
    ConvertPixels(l, static_cast<const std::uint16_t*>(in), count, out);
  else
    ConvertPixels(l, static_cast<const std::uint8_t*>(in), count, out);
}

std::vector<std::uint8_t> Buffer(tmsize_t bytes, const TiffSource& s) {
  if (bytes <= 0 || bytes > kLargestLibraryBuffer) Fail(s);
  return std::vector<std::uint8_t>(static_cast<std::size_t>(bytes));
}

void ReadStrips(TIFF* tif, const TiffSource& s, const SampleLayout& l, Bitmap& out) {
  std::vector<std::uint8_t> row = Buffer(TIFFScanlineSize(tif), s);
  const std::size_t needed =
      static_cast<std::size_t>(out.width) * static_cast<std::size_t>(l.samplesPerPixel * l.bitsPerSample / 8);
  if (row.size() < needed) Fail(s);
  for (int y = 0; y < out.height; ++y) {
    if (TIFFReadScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) < 0) Fail(s);
    Convert(l, row.data(), out.width, out.row(y));
  }
}

void ReadTiles(TIFF* tif, const TiffSource& s, const SampleLayout& l, Bitmap& out) {
  std::uint32_t tileWidth = 0, tileHeight = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
  if (tileWidth == 0 || tileHeight == 0) Fail(s);
  std::vector<std::uint8_t> tile = Buffer(TIFFTileSize(tif), s);
  const std::size_t pixelBytes = static_cast<std::size_t>(l.samplesPerPixel * l.bitsPerSample / 8);
  const std::size_t tileRowBytes = static_cast<std::size_t>(tileWidth) * pixelBytes;
  if (tile.size() < tileRowBytes * tileHeight) Fail(s);
  for (std::uint32_t ty = 0; ty < static_cast<std::uint32_t>(out.height); ty += tileHeight) {
    for (std::uint32_t tx = 0; tx < static_cast<std::uint32_t>(out.width); tx += tileWidth) {
      if (TIFFReadTile(tif, tile.data(), tx, ty, 0, 0) < 0) Fail(s);
      const int columns = static_cast<int>(std::min<std::uint32_t>(tileWidth, out.width - tx));
      const int rows = static_cast<int>(std::min<std::uint32_t>(tileHeight, out.height - ty));
      for (int r = 0; r < rows; ++r)
        Convert(l, tile.data() + r * tileRowBytes, columns,
                out.row(static_cast<int>(ty) + r) + static_cast<std::size_t>(tx) * out.bytesPerPixel());
    }
  }
}

}  // namespace

Bitmap DecodeTiffBitmap(const std::uint8_t* data, std::size_t size) {
  TiffSource source;
  source.data = data;
  source.size = size;
  const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                             TIFFOpenOptionsFree);
  if (!options) throw std::bad_alloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &source);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &source);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kLargestLibraryBuffer);
  const std::unique_ptr<TIFF, TiffClose> tif(
      TIFFClientOpenExt("picture", "rm", &source, Read, Write, Seek, Close, Size, Map, Unmap, options.get()));
  if (!tif) Fail(source);

  std::uint32_t width = 0, height = 0;
  std::uint16_t samples = 1, bits = 1, photometric = 0, planar = PLANARCONFIG_CONTIG,
                format = SAMPLEFORMAT_UINT;
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height))
    Fail(source);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  if (!TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric))
    photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;

  SampleLayout layout;
  layout.samplesPerPixel = samples;
  layout.bitsPerSample = bits;
  if (bits != 8 && bits != 16) Unsupported(QStringLiteral("снимки с %1 битами на канал").arg(bits));
  if (format != SAMPLEFORMAT_UINT) Unsupported(QStringLiteral("снимки с дробными или знаковыми отсчётами"));
  if (planar != PLANARCONFIG_CONTIG) Unsupported(QStringLiteral("снимки с раздельными плоскостями каналов"));
  if (photometric == PHOTOMETRIC_RGB && samples >= 3) {
    layout.colour = true;
  } else if ((photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
             samples >= 1) {
    layout.whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
  } else {
    Unsupported(QStringLiteral("снимки в цветовом пространстве %1").arg(photometric));
  }
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) Fail(source);

  // Refused here, from the header, when beyond the memory limit or more than
  // any compression could pack into the file (LZW and Deflate stay well
  // below 4096 bytes for one).
  CheckBitmapSize(width, height, layout.colour ? 3 : 1);
  if (TooShortFor(std::int64_t{width} * height * samples * bits / 8, size, 4096))
    throw Error(
        QStringLiteral("TIFF: файл слишком короток для изображения %1 × %2 пикс.").arg(width).arg(height));
  Bitmap out = layout.colour
                   ? Bitmap::Colour(static_cast<int>(width), static_cast<int>(height))
                   : Bitmap::Indexed(static_cast<int>(width), static_cast<int>(height), GreyPalette());
  out.fileBitCount = samples * bits;
  if (TIFFIsTiled(tif.get()))
    ReadTiles(tif.get(), source, layout, out);
  else
    ReadStrips(tif.get(), source, layout, out);
  return Oriented(std::move(out), orientation);
}

}  // namespace skarvel
