// PNG files through libpng, decoded straight into the picture's rows: the
// library's transformations leave one byte per pixel (grey level or palette
// index) or three (B, G, R), for interlaced files too.
//
// libpng reports errors by calling the error function, which jumps back to
// the setjmp of the stage that called the library; those stages hold no
// objects with destructors, so the jump skips none.

#include "platform/error.h"
#include "platform/photo_readers.h"

#include <png.h>

#include <QString>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

namespace skarvel {
namespace {

constexpr std::size_t kMessageBytes = 200;

struct PngSource {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t at = 0;
  char message[kMessageBytes] = {};
};

void OnError(png_structp png, png_const_charp text) {
  auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
  std::snprintf(source->message, kMessageBytes, "%s", text != nullptr ? text : "");
  png_longjmp(png, 1);
}

// Warnings (an ancillary chunk with a bad checksum, say) are dropped.
void OnWarning(png_structp, png_const_charp) {}

void ReadBytes(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->at) png_error(png, "the file ends early");
  std::memcpy(out, source->data + source->at, length);
  source->at += length;
}

struct PngSession {
  PngSession(const std::uint8_t* data, std::size_t size) {
    source.data = data;
    source.size = size;
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnError, OnWarning);
    if (png != nullptr) info = png_create_info_struct(png);
    if (png == nullptr || info == nullptr) throw std::bad_alloc();
    png_set_read_fn(png, &source, ReadBytes);
  }
  ~PngSession() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
  PngSession(const PngSession&) = delete;
  PngSession& operator=(const PngSession&) = delete;

  PngSource source;
  png_structp png = nullptr;
  png_infop info = nullptr;
};

struct PngHeader {
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0;
  png_colorp palette = nullptr;
  int paletteSize = 0;
  int passes = 1;
};

// Stage one: the chunks up to the pixels, and the transformations to one or
// three bytes a pixel.
bool ReadHeader(PngSession& s, PngHeader& h) {
  if (setjmp(png_jmpbuf(s.png)) != 0) return false;
  png_read_info(s.png, s.info);
  png_get_IHDR(s.png, s.info, &h.width, &h.height, &h.bitDepth, &h.colourType, nullptr, nullptr, nullptr);
  if (h.colourType == PNG_COLOR_TYPE_PALETTE) png_get_PLTE(s.png, s.info, &h.palette, &h.paletteSize);
  if (h.bitDepth == 16) png_set_scale_16(s.png);
  if (h.bitDepth < 8) {
    if (h.colourType == PNG_COLOR_TYPE_GRAY)
      png_set_expand_gray_1_2_4_to_8(s.png);
    else
      png_set_packing(s.png);
  }
  if (h.colourType & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(s.png);
  if (h.colourType & PNG_COLOR_MASK_COLOR) png_set_bgr(s.png);
  h.passes = png_set_interlace_handling(s.png);
  png_read_update_info(s.png, s.info);
  return true;
}

// Stage two: every pass over every row, into the picture.
bool ReadRows(PngSession& s, int passes, Bitmap& out) {
  if (setjmp(png_jmpbuf(s.png)) != 0) return false;
  if (png_get_rowbytes(s.png, s.info) != out.rowBytes()) png_error(s.png, "unexpected row size");
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < out.height; ++y) png_read_row(s.png, out.row(y), nullptr);
  png_read_end(s.png, nullptr);
  return true;
}

[[noreturn]] void Fail(const PngSession& s) {
  throw Error(QStringLiteral("PNG: %1").arg(QString::fromLocal8Bit(s.source.message)));
}

}  // namespace

Bitmap DecodePngBitmap(const std::uint8_t* data, std::size_t size) {
  PngSession s(data, size);
  PngHeader h;
  if (!ReadHeader(s, h)) Fail(s);
  // libpng refuses sizes beyond 1000000 pixels either way.
  const auto width = static_cast<int>(h.width), height = static_cast<int>(h.height);
  const int channels = h.colourType & PNG_COLOR_MASK_COLOR ? 3 : 1;
  const int alpha = h.colourType & PNG_COLOR_MASK_ALPHA ? 1 : 0;
  CheckBitmapSize(width, height, channels);
  // Deflate expands a byte to at most 1032.
  const std::int64_t rawBytes =
      height * (1 + (std::int64_t{width} * (channels + alpha) * h.bitDepth + 7) / 8);
  if (TooShortFor(rawBytes, size, 2048))
    throw Error(
        QStringLiteral("PNG: файл слишком короток для изображения %1 × %2 пикс.").arg(width).arg(height));
  Bitmap out;
  if (h.colourType == PNG_COLOR_TYPE_PALETTE) {
    Palette palette{};  // entries the file does not define are black
    for (int i = 0; i < h.paletteSize && i < 256; ++i)
      palette[i] = {h.palette[i].blue, h.palette[i].green, h.palette[i].red};
    out = Bitmap::Indexed(width, height, palette);
    out.fileBitCount = h.bitDepth;
  } else if (channels == 1) {
    out = Bitmap::Indexed(width, height, GreyPalette());
    out.fileBitCount = h.bitDepth * (1 + alpha);
  } else {
    out = Bitmap::Colour(width, height);
    out.fileBitCount = h.bitDepth * (3 + alpha);
  }
  if (!ReadRows(s, h.passes, out)) Fail(s);
  return out;
}

}  // namespace skarvel
