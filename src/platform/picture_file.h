#pragma once
// The picture files the bitmap tasks read: bitmap files (see bitmap_file.h)
// and the photograph formats of photo_readers.h. The kind is told from the
// file's first bytes, whatever its name says: a JPEG named .bmp reads as a
// JPEG, and a file of no known kind raises "Bitmap image is not valid".
//
// Errors: bitmap files raise the texts of LoadBitmap. A JPEG, PNG or TIFF
// file that cannot be read raises "<file>: <what is wrong>", for example
// "/photos/IMG_0042.JPG: JPEG: Premature end of JPEG file"; a missing or
// unreadable file "Cannot open file %s".

#include "platform/bitmap.h"

#include <QByteArray>
#include <QString>

namespace skarvel {

enum class PictureKind { kUnknown, kBmp, kJpeg, kPng, kTiff };

// The kind of a file whose first bytes (at least 4, when it has them) are `head`.
PictureKind SniffPicture(const QByteArray& head);

// Loads a picture file of any kind above.
Bitmap LoadPicture(const QString& fileName);
// The same for the bytes of a file; `fileName` only names it in messages.
Bitmap DecodePicture(const QByteArray& bytes, const QString& fileName = {});

// The file lists of the bitmap tasks: the names of every kind, in any case.
inline const QString kPictureFileMask = QStringLiteral("*.bmp;*.jpg;*.jpeg;*.png;*.tif;*.tiff");

}  // namespace skarvel
