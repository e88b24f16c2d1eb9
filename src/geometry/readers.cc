#include "geometry/readers.h"

#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/float_checks.h"
#include "platform/messages.h"
#include "platform/numbers.h"

#include <cmath>
#include <exception>
#include <new>

namespace skarvel {
namespace {

// Line i (0-based) of a list; running past the end is the list's index error.
const QString& LineAt(const QStringList& lines, qsizetype i) {
  if (i < 0 || i >= lines.size()) throw Error(messages::ListIndexOutOfBounds(i));
  return lines[i];
}

// A value line's number: the separator in force, "." or "," as its point.
double NumberOfLine(const QString& line) { return FileStrToFloat(NumberField(line)); }

// Runs a reader body; any failure is reported in the readers' box.
template <typename Body>
bool CatchAndReport(const QString& message, Body&& body) {
  try {
    body();
    return true;
  } catch (const std::exception&) {
    // Every failure of a reader, whatever raised it, ends in the same box.
  }
  MessageBoxA(message, kReaderErrorCaption);
  return false;
}

}  // namespace

QString NumberField(const QString& line) {
  const qsizetype semicolon = line.indexOf(u';');
  return semicolon < 0 ? QString() : line.left(semicolon);
}

void ParseImageGeometry(const QStringList& lines, TImageGeometry& geometry) {
  for (int i = 0; i < 21; ++i) {
    double value = NumberOfLine(LineAt(lines, i));
    if (i >= 6 && i <= 11) {
      // Angles are stored in radians: the product is rounded to a double.
      value = fp::ToDouble(static_cast<long double>(value) * kDegreesToRadians);
    }
    geometry[i] = value;  // stored at once: nothing is staged
  }
}

bool ReadImageGeometry(const QString& fileName, TImageGeometry& geometry, QList<QByteArray>* sourceLines) {
  return CatchAndReport(kImageGeometryReadError, [&] {
    const QByteArray bytes = ReadWholeFile(NativeFileName(fileName));
    ParseImageGeometry(TextLines(bytes), geometry);
    if (sourceLines != nullptr) *sourceLines = SplitLines(bytes);
  });
}

QString FormatShortNumber(double value) {
  if (!std::isfinite(value)) fp::RaiseFor(value);
  const QChar separator = DecimalSeparator();
  const bool negative = std::signbit(value);
  const long double magnitude = std::fabs(static_cast<long double>(value));
  const QString sign = negative ? QStringLiteral("-") : QString();

  // Magnitudes of 10^18 and more have no decimals worth keeping: write the
  // integral part as a plain integer.
  if (magnitude >= 1e18L) {
    if (negative) return sign + QString::fromStdString(FormatFixedC(std::trunc(magnitude), 0));
    return QString::fromStdString(FormatFixedC(std::trunc(magnitude), 0));
  }

  // Step 1: 18 significant digits, written with exactly 18 decimals (digits
  // beyond the 18th decimal dropped, missing ones filled with "0").
  const std::string sci = FormatScientificC(magnitude, 18);  // d.ddddddddddddddddde[+-]XX
  const size_t e = sci.find('e');
  const int exponent = std::stoi(sci.substr(e + 1));
  std::string digits = sci.substr(0, 1) + sci.substr(2, e - 2);  // 18 digits
  std::string integral;
  std::string decimals;
  if (exponent >= 0) {
    integral = digits.substr(0, static_cast<size_t>(exponent) + 1);
    decimals = digits.substr(static_cast<size_t>(exponent) + 1);
  } else {
    integral = "0";
    decimals = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  }
  decimals.resize(18, '0');

  // Step 2: the cut is made at the first "." of that text, or else at its
  // first ","; with any other separator there is neither, and the text of
  // step 1 is the result as it stands.
  if (separator != u'.' && separator != u',')
    return sign + QString::fromLatin1(integral.c_str()) + separator + QString::fromLatin1(decimals.c_str());

  // Step 3: keep the decimals up to the third significant digit, cut.
  QString result = sign + QString::fromLatin1(integral.c_str()) + separator;
  int counted = 0;
  for (char c : decimals) {
    if (counted == 0 && c == '0') {
      result += QLatin1Char(c);
      continue;
    }
    result += QLatin1Char(c);
    if (++counted == 3) break;
  }
  if (counted > 0) return result;

  // Step 4: no significant decimal at all: the value truncated to an integer.
  const std::string whole = FormatFixedC(std::trunc(magnitude), 0);
  if (whole == "0") return QStringLiteral("0");
  return sign + QString::fromLatin1(whole.c_str());
}

QString CompanionDirectory(const QString& cameraFileName) {
  QString part = cameraFileName;
  auto isSeparator = [](QChar c) { return c == u'\\' || c == u'/'; };
  while (!part.isEmpty() && !isSeparator(part.back()) && part.size() > 1) part.chop(1);
  if (part.size() <= 1) return QString();
  return part;
}

int ReadCameraFile(const QString& fileName, double& principalColumn, double& principalRow,
                   QStringList& companionLines, double& focalLength, double& frameWidth,
                   double& frameHeight) {
  const bool ok = CatchAndReport(kCameraReadError, [&] {
    const QStringList lines = ReadTextLines(NativeFileName(fileName));
    principalColumn = NumberOfLine(LineAt(lines, 0));
    principalRow = NumberOfLine(LineAt(lines, 1));
    const QString companion = CompanionDirectory(fileName) + NumberField(LineAt(lines, 2));
    // The list is replaced only once the companion file has been read whole.
    companionLines = ReadTextLines(NativeFileName(companion));
    const QString& focal = LineAt(lines, 3);
    if (focal.isEmpty() || focal.front() == u'*')
      focalLength = -1.0;
    else
      focalLength = NumberOfLine(focal);
    frameWidth = NumberOfLine(LineAt(lines, 4));
    frameHeight = NumberOfLine(LineAt(lines, 5));
  });
  return ok ? 1 : 0;
}

int ReadCameraFile(const QString& fileName, TCameraParams& camera) {
  return ReadCameraFile(fileName, camera.PrincipalColumn, camera.PrincipalRow, camera.CompanionLines,
                        camera.FocalLength, camera.FrameWidth, camera.FrameHeight);
}

}  // namespace skarvel
