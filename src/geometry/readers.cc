#include "geometry/readers.h"

#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/float_checks.h"
#include "platform/messages.h"
#include "platform/numbers.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <optional>

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

namespace {

// Value i of an image geometry file as stored: angles (6 to 11) in radians,
// the product rounded to a double.
double GeometryValue(int i, double value) {
  if (i >= 6 && i <= 11) return fp::ToDouble(static_cast<long double>(value) * kDegreesToRadians);
  return value;
}

}  // namespace

void ParseImageGeometry(const QStringList& lines, TImageGeometry& geometry) {
  for (int i = 0; i < 21; ++i)
    geometry[i] = GeometryValue(i, NumberOfLine(LineAt(lines, i)));  // stored at once: nothing is staged
}

bool ParseImageGeometryBytes(QByteArrayView bytes, TImageGeometry& geometry) {
  // The lines as TextLines splits them: the text ends at a NUL, a line at
  // CR, LF or CR LF. Number fields in ASCII read the same in every encoding,
  // so the bytes need no decoding; FileFieldToFloat refuses any other.
  const qsizetype nul = bytes.indexOf('\0');
  if (nul >= 0) bytes.truncate(nul);
  TImageGeometry values;
  qsizetype start = 0;
  for (int i = 0; i < 21; ++i) {
    if (start >= bytes.size()) return false;  // fewer than 21 lines
    qsizetype end = start;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    const QByteArrayView line = bytes.sliced(start, end - start);
    const qsizetype semicolon = line.indexOf(';');
    if (semicolon < 0) return false;
    const std::optional<double> value = FileFieldToFloat(line.first(semicolon));
    if (!value) return false;
    values[i] = GeometryValue(i, *value);
    start = end + (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n' ? 2 : 1);
  }
  geometry = values;
  return true;
}

bool ReadImageGeometry(const QString& fileName, TImageGeometry& geometry, QList<QByteArray>* sourceLines) {
  return CatchAndReport(kImageGeometryReadError, [&] {
    const QByteArray bytes = ReadWholeFile(NativeFileName(fileName));
    ParseImageGeometry(TextLines(bytes), geometry);
    if (sourceLines != nullptr) *sourceLines = SplitLines(bytes);
  });
}

QString FormatShortNumber(double value) {
  QString text;
  AppendShortNumber(text, value);
  return text;
}

void AppendShortNumber(QString& out, double value) {
  if (!std::isfinite(value)) fp::RaiseFor(value);
  const QChar separator = DecimalSeparator();
  const bool negative = std::signbit(value);
  const long double magnitude = std::fabs(static_cast<long double>(value));

  // Magnitudes of 10^18 and more have no decimals worth keeping: write the
  // integral part as a plain integer.
  if (magnitude >= 1e18L) {
    if (negative) out += u'-';
    out += QLatin1StringView(FormatFixedC(std::trunc(magnitude), 0));
    return;
  }

  // Step 1: 18 significant digits, written with exactly 18 decimals (digits
  // beyond the 18th decimal dropped, missing ones filled with "0").
  char digits[18];
  const int exponent = ScientificDigits(magnitude, 18, digits);
  // The text of step 1 without its sign: integral part, then the decimals
  // starting at `point`.
  char text[64];
  size_t length = 0;
  if (exponent >= 0) {
    std::copy(digits, digits + exponent + 1, text);
    length = static_cast<size_t>(exponent) + 1;
  } else {
    text[length++] = '0';
  }
  const size_t point = length;
  for (int k = 0; k < 18; ++k) {
    // decimal k + 1 is digit exponent + 1 + k of the 18, or a "0" before or after them
    const int at = exponent + 1 + k;
    text[length++] = at >= 0 && at < 18 ? digits[at] : '0';
  }

  // Step 2: the cut is made at the first "." of that text, or else at its
  // first ","; with any other separator there is neither, and the text of
  // step 1 is the result as it stands.
  if (separator != u'.' && separator != u',') {
    if (negative) out += u'-';
    out += QLatin1StringView(text, static_cast<qsizetype>(point));
    out += separator;
    out += QLatin1StringView(text + point, static_cast<qsizetype>(length - point));
    return;
  }

  // Step 3: keep the decimals up to the third significant digit, cut.
  char result[64];
  size_t n = 0;
  if (negative) result[n++] = '-';
  std::copy(text, text + point, result + n);
  n += point;
  result[n++] = static_cast<char>(separator.unicode());
  int counted = 0;
  for (size_t i = point; i < length; ++i) {
    result[n++] = text[i];
    if (counted == 0 && text[i] == '0') continue;
    if (++counted == 3) break;
  }
  if (counted > 0) {
    out += QLatin1StringView(result, static_cast<qsizetype>(n));
    return;
  }

  // Step 4: no significant decimal at all: the value truncated to an integer.
  const std::string whole = FormatFixedC(std::trunc(magnitude), 0);
  if (negative && whole != "0") out += u'-';
  out += QLatin1StringView(whole);
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
