#include "scaling/scaling.h"

#include "geometry/readers.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/float_checks.h"
#include "platform/numbers.h"

namespace skarvel {

const QString kScaledLineComments[6] = {
    QStringLiteral(" ; Координата X центра проекции в системе координат сцены"),
    QStringLiteral(" ; Координата Y центра проекции в системе координат сцены"),
    QStringLiteral(" ; Координата Z центра проекции в системе координат сцены"),
    QStringLiteral(" ; Координата X точки визирования в системе координат сцены"),
    QStringLiteral(" ; Координата Y точки визирования в системе координат сцены"),
    QStringLiteral(" ; Расстояние от центра проекции до точки визирования"),
};

QString DefaultBenchText() { return QStringLiteral("4") + DecimalSeparator() + QStringLiteral("25"); }

double ScaleFactor(const QString& benchText, const QString& realText) {
  // Both texts are converted in extended precision and divided as they are,
  // not rounded to doubles first: 1.7 / 4.25 is then 0.4 as a double, not the
  // double below it. Only the quotient is stored as a double.
  const long double real = StrToExtended(realText);
  const long double bench = StrToExtended(benchText);
  return fp::ToDouble(fp::Divide(real, bench));
}

QList<QByteArray> ScaledLines(const TImageGeometry& geometry, double factor,
                              const QList<QByteArray>& sourceLines) {
  QList<QByteArray> lines;
  lines.reserve(21);
  for (int i = 0; i < 6; ++i) {
    const double scaled = fp::ToDouble(static_cast<long double>(factor) * geometry[i]);
    lines.append(EncodeCp1251(FormatShortNumber(scaled) + kScaledLineComments[i]));
  }
  for (int i = 6; i < 21; ++i) lines.append(sourceLines.value(i));
  return lines;
}

ScalingResult RunScaling(const QString& directory, const QStringList& entries, const QString& benchText,
                         const QString& realText, TImageGeometry& geometry) {
  const double factor = ScaleFactor(benchText, realText);
  ScalingResult result;
  for (const QString& entry : entries) {
    const QString source = JoinPath(directory, entry);
    QList<QByteArray> sourceLines;
    if (!ReadImageGeometry(source, geometry, &sourceLines)) {
      // The reader has shown its message; nothing is written from stale values.
      result.skipped.append(entry);
      continue;
    }
    const QString output = MakeOutputName(directory, entry, kRealSuffix);
    WriteTextLines(output, ScaledLines(geometry, factor, sourceLines));
    result.written.append(output);
  }
  return result;
}

}  // namespace skarvel
