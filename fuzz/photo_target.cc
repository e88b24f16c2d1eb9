// Photographs: JPEG, PNG and TIFF files, one target per reader. The bytes are
// decoded by the reader, by the dispatcher that tells the kind from the
// content, and loaded from a file of a name that lies about the kind; all
// three must agree, and what loads must be a sound picture.

#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"

#include "platform/bitmap.h"
#include "platform/error.h"
#include "platform/photo_readers.h"
#include "platform/picture_file.h"

#include <optional>

namespace skarvel::fuzz {
namespace {

using Reader = Bitmap (*)(const std::uint8_t*, std::size_t);

void CheckSound(const Bitmap& b) {
  Require(b.width > 0 && b.height > 0, "a loaded photograph has no pixels");
  Require(b.pixels.size() == b.rowBytes() * static_cast<std::size_t>(b.height),
          "the pixel memory does not match the picture's size");
  Require(static_cast<std::int64_t>(b.pixels.size()) <= kBitmapMemoryLimit,
          "a loaded photograph exceeds the memory limit");
  Require(b.fileBitCount >= 1 && b.fileBitCount <= 64, "bit count " + std::to_string(b.fileBitCount));
  // Every byte is read once, so that a memory checker sees any byte left undefined.
  unsigned sum = 0;
  for (std::uint8_t v : b.pixels) sum += v;
  volatile unsigned sink = sum;
  (void)sink;
}

bool Same(const Bitmap& a, const Bitmap& b) {
  return a.width == b.width && a.height == b.height && a.fileBitCount == b.fileBitCount &&
         a.indexed == b.indexed && a.palette == b.palette && a.pixels == b.pixels;
}

void RunReader(Reader reader, PictureKind kind, const std::uint8_t* data, std::size_t size) {
  const Outcome direct = Attempt([&] { return reader(data, size); });
  if (direct.bitmap)
    CheckSound(*direct.bitmap);
  else
    Require(!direct.error.isEmpty(), "a refusal without a message");
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (SniffPicture(bytes) != kind) return;  // the dispatcher sends it elsewhere
  // Named as a bitmap file: the content decides.
  const QString fileName = Scratch::Fresh().write(QStringLiteral("photo.bmp"), bytes);
  for (const Outcome& other : {Attempt([&] { return DecodePicture(bytes, fileName); }),
                               Attempt([&] { return LoadPicture(fileName); })}) {
    Require(direct.bitmap.has_value() == other.bitmap.has_value(), "the reader and the dispatcher disagree");
    if (direct.bitmap) {
      Require(Same(*direct.bitmap, *other.bitmap), "the reader and the dispatcher give different pictures");
    } else {
      Require(other.error == fileName + QStringLiteral(": ") + direct.error,
              "the refusal does not name the file: '" + other.error.toStdString() + "'");
    }
  }
}

}  // namespace

void FuzzJpeg(const std::uint8_t* data, std::size_t size) {
  RunReader(DecodeJpegBitmap, PictureKind::kJpeg, data, size);
}
void FuzzPng(const std::uint8_t* data, std::size_t size) {
  RunReader(DecodePngBitmap, PictureKind::kPng, data, size);
}
void FuzzTiff(const std::uint8_t* data, std::size_t size) {
  RunReader(DecodeTiffBitmap, PictureKind::kTiff, data, size);
}

}  // namespace skarvel::fuzz
