#pragma once
// Bench-to-real scaling of image geometry files.
//
// Every length of a file (projection centre, aiming point, distance: lines 1
// to 6) is multiplied by real distance / bench distance and rewritten with
// the fixed comments; the angles and the rotation matrix (lines 7 to 21)
// travel unchanged, byte for byte. Each result is written beside its source
// as <base name>_real.ort.

#include "geometry/records.h"

#include <QString>
#include <QStringList>

namespace skarvel {

inline const QString kRealSuffix = QStringLiteral("_real.ort");

// The comments written behind the six scaled values.
extern const QString kScaledLineComments[6];

// The default of the bench distance edit, 4.25 with the separator in force
// (the real distance's default, 500000, is integral).
QString DefaultBenchText();
inline const QString kDefaultRealText = QStringLiteral("500000");

// real / bench, both edit texts converted in extended precision (real first,
// then bench) and divided in extended precision; the quotient is stored as a
// double. Raises the conversion error for a text that
// is not a number and the floating-point errors for a zero bench distance.
double ScaleFactor(const QString& benchText, const QString& realText);

// The 21 output lines for one source: six scaled values with their comments
// (Windows-1251), then the source's lines 7 to 21 as they are.
QList<QByteArray> ScaledLines(const TImageGeometry& geometry, double factor,
                              const QList<QByteArray>& sourceLines);

struct ScalingResult {
  QStringList written;  // full names of the files written, in order
  QStringList skipped;  // entries whose geometry could not be read
};

// The processing of the scaling window: converts the texts, then, for each
// selected entry of `directory` in list order, reads it into `geometry` (the
// window's record, left holding the last file read) and writes its scaled
// copy. A file the reader rejects has been reported by the reader; it is
// skipped and the run goes on. Any other error ends the run; outputs written
// before it stay.
ScalingResult RunScaling(const QString& directory, const QStringList& entries, const QString& benchText,
                         const QString& realText, TImageGeometry& geometry);

}  // namespace skarvel
