// JPEG files through libjpeg-turbo's decompression interface, decoded
// straight into the picture's rows (B, G, R for colour, the grey level for
// grey pictures).
//
// The library reports fatal errors by calling error_exit, which must not
// return. It jumps back to the setjmp of the stage that called the library;
// those stages hold no objects with destructors, so the jump skips none.

#include "platform/error.h"
#include "platform/photo_readers.h"

#include <cstdio>
// The library's header needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <QString>

#include <algorithm>
#include <csetjmp>
#include <cstring>

namespace skarvel {
namespace {

struct JpegErrors {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void ExitWithMessage(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

// Warnings are dropped, except that data ending before the picture does is an
// error: the library would fill the rest with grey and call it done.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) ExitWithMessage(cinfo);
}

// The decompressor and its error manager, released on every way out.
struct JpegSession {
  JpegSession() {
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = ExitWithMessage;
    errors.base.emit_message = OnMessage;
    errors.message[0] = '\0';
  }
  ~JpegSession() { jpeg_destroy_decompress(&cinfo); }
  JpegSession(const JpegSession&) = delete;
  JpegSession& operator=(const JpegSession&) = delete;

  jpeg_decompress_struct cinfo;
  JpegErrors errors;
};

constexpr int kExifMarker = JPEG_APP0 + 1;

// Stage one: the header, and the Exif segment kept for the orientation.
// The data come from memory, or from `file` when it is given.
bool ReadHeader(JpegSession& s, const std::uint8_t* data, std::size_t size, std::FILE* file) {
  if (setjmp(s.errors.jump) != 0) return false;
  jpeg_create_decompress(&s.cinfo);
  // Working memory (progressive files keep all coefficients) is bounded like
  // the picture; the library has no backing store and fails beyond it.
  s.cinfo.mem->max_memory_to_use = static_cast<long>(kBitmapMemoryLimit);
  if (file != nullptr)
    jpeg_stdio_src(&s.cinfo, file);
  else
    jpeg_mem_src(&s.cinfo, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&s.cinfo, kExifMarker, 0xFFFF);
  jpeg_read_header(&s.cinfo, TRUE);
  return true;
}

// Stage two: the decompressor set up for the output colour space (the
// tables are checked here, before the picture is made).
bool StartOutput(JpegSession& s, J_COLOR_SPACE space) {
  if (setjmp(s.errors.jump) != 0) return false;
  s.cinfo.out_color_space = space;
  jpeg_start_decompress(&s.cinfo);
  return true;
}

// Stage three: every row into the picture, as many per call as the library gives.
bool ReadRows(JpegSession& s, Bitmap& out) {
  if (setjmp(s.errors.jump) != 0) return false;
  JSAMPROW rows[16];
  while (s.cinfo.output_scanline < s.cinfo.output_height) {
    const auto first = static_cast<int>(s.cinfo.output_scanline);
    const int count = std::min<int>(16, out.height - first);
    for (int i = 0; i < count; ++i) rows[i] = out.row(first + i);
    jpeg_read_scanlines(&s.cinfo, rows, static_cast<JDIMENSION>(count));
  }
  jpeg_finish_decompress(&s.cinfo);
  return true;
}

// Huffman-coded data takes at least a bit for each 8 x 8 block of each
// channel, so no sound file holds more than 512 pixels a byte; the bound
// leaves room for arithmetic coding, which packs flat pictures tighter.
constexpr std::int64_t kPixelsPerByte = 4096;

[[noreturn]] void Fail(const JpegSession& s) {
  throw Error(QStringLiteral("JPEG: %1").arg(QString::fromLocal8Bit(s.errors.message)));
}

int ExifOrientation(const jpeg_decompress_struct& cinfo) {
  static constexpr std::uint8_t kMark[6] = {'E', 'x', 'i', 'f', 0, 0};
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
    if (m->marker != kExifMarker || m->data_length < sizeof kMark ||
        std::memcmp(m->data, kMark, sizeof kMark) != 0)
      continue;
    return TiffStructureOrientation(m->data + sizeof kMark, m->data_length - sizeof kMark);
  }
  return 1;
}

}  // namespace

namespace {

// `size` is the file's size either way.
Bitmap Decode(const std::uint8_t* data, std::size_t size, std::FILE* file) {
  JpegSession s;
  if (!ReadHeader(s, data, size, file)) Fail(s);
  const jpeg_decompress_struct& c = s.cinfo;
  const auto width = static_cast<int>(c.image_width);
  const auto height = static_cast<int>(c.image_height);
  Bitmap out;
  J_COLOR_SPACE space;
  if (c.jpeg_color_space == JCS_GRAYSCALE && c.num_components == 1) {
    space = JCS_GRAYSCALE;
  } else if ((c.jpeg_color_space == JCS_YCbCr || c.jpeg_color_space == JCS_RGB) && c.num_components == 3) {
    space = JCS_EXT_BGR;
  } else if (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK) {
    throw Error(
        QStringLiteral("JPEG: снимки в цветах CMYK не читаются, нужен JPEG в цветах RGB или в серых тонах"));
  } else {
    throw Error(
        QStringLiteral("JPEG: цветовое пространство с %1 составляющими не читается").arg(c.num_components));
  }
  CheckBitmapSize(width, height, space == JCS_GRAYSCALE ? 1 : 3);
  if (TooShortFor(std::int64_t{width} * height, size, kPixelsPerByte))
    throw Error(
        QStringLiteral("JPEG: файл слишком короток для изображения %1 × %2 пикс.").arg(width).arg(height));
  const int orientation = ExifOrientation(c);
  if (!StartOutput(s, space)) Fail(s);
  if (static_cast<int>(c.output_width) != width || static_cast<int>(c.output_height) != height ||
      c.output_components != (space == JCS_GRAYSCALE ? 1 : 3))
    throw Error(QStringLiteral("JPEG: неожиданный размер строк"));
  // Every row is written by the library (or the picture is dropped).
  out = Bitmap::ToBeWritten(width, height, space == JCS_GRAYSCALE, GreyPalette());
  if (!ReadRows(s, out)) Fail(s);
  return Oriented(std::move(out), orientation);
}

}  // namespace

Bitmap DecodeJpegBitmap(const std::uint8_t* data, std::size_t size) { return Decode(data, size, nullptr); }

Bitmap ReadJpegFile(std::FILE* file, std::size_t size) { return Decode(nullptr, size, file); }

}  // namespace skarvel
