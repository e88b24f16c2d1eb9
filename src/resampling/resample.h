#pragma once
// Resampling of pictures to a new pixel size, modelling a camera of another
// angular resolution.
//
// Result column n maps to source position n * sx and row m to m * sy, with
// sx = W / newWidth and sy = H / newHeight: the top left corners coincide and
// no half-pixel offset is applied. Results are 24-bit colour pictures.

#include "platform/bitmap.h"
#include "platform/bitmap_batch.h"

#include <QString>
#include <QStringList>

namespace skarvel {

enum class ResampleMethod {
  kNearest = 0,   // "По ближайшему соседу"
  kBilinear = 1,  // "Билинейная"
};

inline const QString kResampledSuffix = QStringLiteral("_transform.bmp");

// Nearest neighbour takes source pixel (trunc(n * sx), trunc(m * sy)).
// The bilinear method weighs the four pixels around (x, y) = (n * sx, m * sy)
// with the fractional offsets halved: (1 - dx/2)(1 - dy/2) for P00,
// (dx/2)(1 - dy/2) for P10, (1 - dx/2)(dy/2) for P01 and (dx/2)(dy/2) for P11,
// where the last source column and row never serve as the left or upper
// neighbour (there dx or dy lies in [1, 2)); a source one pixel wide or high
// uses its one column or row for both neighbours. A width or height of 0
// raises the division's error ("Floating point division by zero"), a
// negative one a clear message, and so does a result that with its tables
// would exceed the memory limit, before anything is allocated.
Bitmap ResampleImage(const Bitmap& source, int newWidth, int newHeight, ResampleMethod method);

// Whether the bilinear weighting may use the processor's wider vector
// instructions where it has them (the default); the results are the same
// either way, and tests check both.
void AllowWideVectors(bool allowed);

// The processing button: for each entry in order, load it, convert the two
// texts to integers (again for every file), resample, and write the result
// as directory/base name + "_transform.bmp". The first error ends the run;
// files written before it stay.
void RunResampling(const QString& directory, const QStringList& entries, const QString& widthText,
                   const QString& heightText, ResampleMethod method, const BatchObserver& observer = {});

}  // namespace skarvel
