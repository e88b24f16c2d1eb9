#pragma once
// Windows bitmap files: reading any kind the platform's reader accepts, and
// writing the two kinds the system makes.
//
// Reading raises "Cannot open file %s" for a missing or unreadable file (or
// an empty name) and "Bitmap image is not valid" for anything that is not a
// sound bitmap: a bad header, pixel data cut short or starting past the end of
// the file, a picture beyond the memory limit (kBitmapMemoryLimit), and
// whatever the reader refuses. A sound file whose picture does not fit the
// memory at hand raises "Недостаточно памяти для изображения %1 × %2 пикс.".
//
// Writing produces uncompressed files: 24 bits per pixel for colour pictures
// (rows bottom-up, each pixel as the bytes B, G, R, rows padded with zeros to a
// multiple of 4 bytes) and 8 bits per pixel with a 256-entry colour table for
// indexed pictures. Headers: the 14-byte file header ("BM", file size, two
// reserved zeros, offset of the pixels) and a 40-byte info header (width,
// height as a positive number for bottom-up rows, 1 plane, the bit count, no
// compression, the size of the pixel data, 0 pixels per metre both ways, 256
// or 0 colours used, 0 important). Every file is replaced atomically and
// "Cannot create file %s" is raised when it cannot be.

#include "platform/bitmap.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace skarvel {

// Loads a bitmap file. Files of 1, 4 and 8 bits per pixel give indexed
// pictures (8-bit pictures keep the file's own indices), all others colour
// pictures; fileBitCount is the file's bit count. Pixels that run-length
// coded files skip take palette index 0. Channels of 16- and 32-bit files are
// widened to the full range (a 5-bit 31 becomes 255).
Bitmap LoadBitmap(const QString& fileName);
// The same for the bytes of a file.
Bitmap DecodeBitmap(const QByteArray& bytes);
// The same through Qt's reader alone, for every kind of file: uncompressed 24-
// and 8-bit files and all 16- and 32-bit ones are otherwise read directly,
// holding only the picture and a block of the file, and must load exactly
// alike (and be refused alike).
Bitmap DecodeBitmapWithReader(const QByteArray& bytes);

// Writes a colour picture as a 24-bit file, an indexed one as an 8-bit file.
void SaveBitmap(const Bitmap& bitmap, const QString& fileName);
// Writes a 24-bit file whose rows are computed as they are written, in bands
// from the bottom up: fillRows(begin, end, out, stride) writes the B, G, R
// bytes of picture rows [begin, end) (counted from the top), row y at
// out + (y - begin) * stride. The stride is negative (file rows run bottom-up)
// and the row padding is not touched.
using RowBandFiller = std::function<void(int begin, int end, std::uint8_t* out, std::ptrdiff_t stride)>;
void SaveBitmap24Bands(const QString& fileName, int width, int height, const RowBandFiller& fillRows);
// Writes a Qt image of any format as a 24-bit file (alpha is dropped).
void SaveBitmap24(const QImage& image, const QString& fileName);

// The number of bytes of one row of a file of that width and bit count.
std::int64_t BmpRowBytes(std::int64_t width, int bitCount);

}  // namespace skarvel
