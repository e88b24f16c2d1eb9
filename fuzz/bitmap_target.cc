// Bitmap files. The bytes are decoded in memory and, written to a file,
// loaded from it: the two ways in take different roads for plain files
// (scattered reads straight into the picture) and must agree exactly, with
// each other and with Qt's reader, which the plain road stands in for.

#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"

#include "platform/bitmap.h"
#include "platform/bitmap_file.h"
#include "platform/error.h"

#include <optional>

namespace skarvel::fuzz {
namespace {

void CheckSound(const Bitmap& b) {
  Require(b.width > 0 && b.height > 0, "a loaded picture has no pixels");
  Require(b.fileBitCount == 1 || b.fileBitCount == 4 || b.fileBitCount == 8 || b.fileBitCount == 16 ||
              b.fileBitCount == 24 || b.fileBitCount == 32,
          "a loaded picture has bit count " + std::to_string(b.fileBitCount));
  Require(b.indexed == (b.fileBitCount <= 8), "indexed pictures are exactly those of 1, 4 and 8 bits");
  Require(b.pixels.size() == b.rowBytes() * static_cast<std::size_t>(b.height),
          "the pixel memory does not match the picture's size");
  Require(static_cast<std::int64_t>(b.pixels.size()) <= kBitmapMemoryLimit,
          "a loaded picture exceeds the memory limit");
  // Every byte is read once, so that a memory checker sees any byte left undefined.
  unsigned sum = 0;
  for (std::uint8_t v : b.pixels) sum += v;
  for (const Bgr& c : b.palette) sum += c.b + c.g + c.r;
  volatile unsigned sink = sum;
  (void)sink;
}

bool Same(const Bitmap& a, const Bitmap& b) {
  return a.width == b.width && a.height == b.height && a.fileBitCount == b.fileBitCount &&
         a.indexed == b.indexed && (!a.indexed || a.palette == b.palette) && a.pixels == b.pixels;
}

void RequireSame(const Outcome& a, const Outcome& b, const char* what) {
  Require(a.bitmap.has_value() == b.bitmap.has_value(), std::string(what) +
                                                            ": one loads, the other refuses with '" +
                                                            (a.bitmap ? b : a).error.toStdString() + "'");
  if (a.bitmap) {
    Require(Same(*a.bitmap, *b.bitmap), std::string(what) + ": the pictures differ");
  } else {
    Require(a.error == b.error, std::string(what) + ": different refusals '" + a.error.toStdString() +
                                    "' and '" + b.error.toStdString() + "'");
  }
}

}  // namespace

void FuzzBitmap(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const Outcome decoded = Attempt([&] { return DecodeBitmap(bytes); });
  if (decoded.bitmap) {
    CheckSound(*decoded.bitmap);
  } else {
    Require(decoded.error == QLatin1String(messages::kBitmapNotValid),
            "bytes are refused with '" + decoded.error.toStdString() + "'");
  }

  const QString fileName = Scratch::Fresh().write(QStringLiteral("picture.bmp"), bytes);
  RequireSame(decoded, Attempt([&] { return LoadBitmap(fileName); }), "the file and its bytes");
  RequireSame(decoded, Attempt([&] { return DecodeBitmapWithReader(bytes); }),
              "own decoding and Qt's reader");
}

}  // namespace skarvel::fuzz
