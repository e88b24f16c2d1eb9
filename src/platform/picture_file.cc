#include "platform/picture_file.h"

#include "platform/bitmap_file.h"
#include "platform/error.h"
#include "platform/photo_readers.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <memory>

namespace skarvel {
namespace {

bool StartsWith(const QByteArray& head, const char* mark, qsizetype length) {
  return head.size() >= length && std::memcmp(head.constData(), mark, static_cast<std::size_t>(length)) == 0;
}

// Runs a photograph reader; its errors name the file.
template <typename Read>
Bitmap NamingTheFile(const QString& fileName, Read&& read) {
  try {
    return read();
  } catch (const Error& e) {
    if (fileName.isEmpty() || e.message().contains(fileName)) throw;
    throw Error(QStringLiteral("%1: %2").arg(fileName, e.message()));
  }
}

// The photograph readers, by kind.
Bitmap DecodePhoto(PictureKind kind, const QByteArray& bytes, const QString& fileName) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  const auto size = static_cast<std::size_t>(bytes.size());
  return NamingTheFile(fileName, [&] {
    switch (kind) {
      case PictureKind::kJpeg:
        return DecodeJpegBitmap(data, size);
      case PictureKind::kPng:
        return DecodePngBitmap(data, size);
      case PictureKind::kTiff:
        return DecodeTiffBitmap(data, size);
      default:
        throw Error(messages::kBitmapNotValid);
    }
  });
}

struct FileClose {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

PictureKind SniffPicture(const QByteArray& head) {
  if (StartsWith(head, "BM", 2)) return PictureKind::kBmp;
  if (StartsWith(head, "\xFF\xD8\xFF", 3)) return PictureKind::kJpeg;
  if (StartsWith(head, "\x89PNG\r\n\x1A\n", 8)) return PictureKind::kPng;
  if (StartsWith(head, "II*\0", 4) || StartsWith(head, "MM\0*", 4)) return PictureKind::kTiff;
  return PictureKind::kUnknown;
}

Bitmap DecodePicture(const QByteArray& bytes, const QString& fileName) {
  const PictureKind kind = SniffPicture(bytes);
  if (kind == PictureKind::kBmp) return DecodeBitmap(bytes);
  if (kind == PictureKind::kUnknown) throw Error(messages::kBitmapNotValid);
  return DecodePhoto(kind, bytes, fileName);
}

Bitmap LoadPicture(const QString& fileName) {
  QFile file(fileName);
  if (fileName.isEmpty() || !QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
    throw Error(messages::CannotOpenFile(fileName));
  const QByteArray head = file.read(8);
  if (file.error() != QFileDevice::NoError) throw Error(messages::CannotOpenFile(fileName));
  const PictureKind kind = SniffPicture(head);
  // Bitmap files keep their own reader, which reads rows in place.
  if (kind == PictureKind::kBmp) {
    file.close();
    return LoadBitmap(fileName);
  }
  if (kind == PictureKind::kUnknown) throw Error(messages::kBitmapNotValid);
  if (kind == PictureKind::kJpeg) {
    // Read a block at a time: only the picture is held.
    const auto size = static_cast<std::size_t>(file.size());
    file.close();
    const std::unique_ptr<std::FILE, FileClose> stream(
        std::fopen(QFile::encodeName(fileName).constData(), "rb"));
    if (!stream) throw Error(messages::CannotOpenFile(fileName));
    return NamingTheFile(fileName, [&] { return ReadJpegFile(stream.get(), size); });
  }
  // Photographs are compressed: the whole file is a small part of the
  // picture. Even uncompressed, 16-bit RGB takes twice the picture's bytes.
  if (file.size() > 2 * kBitmapMemoryLimit + (std::int64_t{1} << 20))
    throw Error(QStringLiteral("%1: файл больше %2 МБ не читается")
                    .arg(fileName)
                    .arg((2 * kBitmapMemoryLimit >> 20) + 1));
  if (!file.seek(0)) throw Error(messages::CannotOpenFile(fileName));
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) throw Error(messages::CannotOpenFile(fileName));
  return DecodePhoto(kind, bytes, fileName);
}

}  // namespace skarvel
