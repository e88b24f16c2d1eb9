#pragma once
// Readers of the photograph formats the bitmap tasks accept besides bitmap
// files: JPEG (libjpeg-turbo), PNG (libpng) and TIFF (libtiff). Each decodes
// the bytes of a whole file straight into a Bitmap, as the bitmap file of the
// same 8-bit pixels loads:
//
// - colour pictures become colour pictures (B, G, R), an alpha channel is
//   ignored;
// - grey pictures become indexed pictures with the grey palette, each index
//   its grey level (as an 8-bit grey bitmap file holds them); grey levels of
//   fewer than 8 bits are widened to the full range (a 4-bit 15 becomes 255);
// - palette PNG pictures keep their palette and indices;
// - 16-bit channels are narrowed to 8 bits as (v * 255 + 32767) / 65535, the
//   exactly rounded value of v * 255 / 65535;
// - the orientation the camera recorded (the Exif orientation of a JPEG, the
//   orientation tag of a TIFF) is applied, so that the picture is the way up
//   the camera was held.
//
// fileBitCount is the file's bits per pixel (24 for a colour JPEG, 48 for a
// 16-bit RGB TIFF, the bit depth of a palette PNG). A picture beyond the
// memory limit (kBitmapMemoryLimit) is refused from its header, before any
// pixel memory is taken. Damaged files raise an Error with the library's
// account of the damage; no reader prints anything.

#include "platform/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace skarvel {

// The 16-bit to 8-bit rule of all readers.
constexpr std::uint8_t NarrowChannel16(std::uint32_t v) {
  return static_cast<std::uint8_t>((v * 255 + 32767) / 65535);
}

Bitmap DecodeJpegBitmap(const std::uint8_t* data, std::size_t size);
// The same read from an open file of `size` bytes a block at a time, so that
// the file is never held whole beside the picture.
Bitmap ReadJpegFile(std::FILE* file, std::size_t size);
Bitmap DecodePngBitmap(const std::uint8_t* data, std::size_t size);
Bitmap DecodeTiffBitmap(const std::uint8_t* data, std::size_t size);

// Whether a file of `fileBytes` bytes is too short to hold `pixelBytes` bytes of
// uncompressed pixels: beyond a 16 MB allowance, more than `ratio` bytes for
// each byte of the file, which no sound file of the kind reaches. Such a file
// is refused before its picture is made, so that a tiny file cannot make the
// reader take and clear a gigabyte.
constexpr bool TooShortFor(std::int64_t pixelBytes, std::size_t fileBytes, std::int64_t ratio) {
  return pixelBytes > (std::int64_t{1} << 24) + ratio * static_cast<std::int64_t>(fileBytes);
}

// The orientation (1 to 8, as the Exif and TIFF orientation tag numbers
// them) recorded in TIFF-structured data, such as the body of a JPEG's Exif
// segment after its "Exif\0\0" mark; 1 when there is none or it is damaged.
int TiffStructureOrientation(const std::uint8_t* data, std::size_t size);

// The picture turned the way an orientation tag says: 1 as stored, 2 mirrored
// left to right, 3 turned by 180 degrees, 4 mirrored top to bottom, 5 mirrored
// about the top-left to bottom-right diagonal, 6 turned 90 degrees clockwise,
// 7 mirrored about the other diagonal, 8 turned 90 degrees anticlockwise.
// Any other number leaves the picture as stored.
Bitmap Oriented(Bitmap bitmap, int orientation);

}  // namespace skarvel
