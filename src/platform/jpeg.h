#pragma once
// Decoding of JPEG pictures through the JPEG library's decompression
// interface (the program's start-up picture is one).

#include <QByteArray>
#include <QImage>

namespace skarvel {

struct JpegInfo {
  int width = 0;
  int height = 0;
  int components = 0;
  bool progressive = false;
};

// The picture as a 32-bit image; raises "JPEG: <the library's message>" for
// data the library rejects.
QImage DecodeJpeg(const QByteArray& data, JpegInfo* info = nullptr);

}  // namespace skarvel
