#include "platform/files.h"

#include "platform/error.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace skarvel {
namespace {

// Converts with iconv; bytes or characters the target cannot take are
// replaced by `replacement` (given in the target encoding) and skipped.
QByteArray Iconv(const char* to, const char* from, const QByteArray& input, const QByteArray& replacement,
                 int skipOnError) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1))
    throw Error(QStringLiteral("iconv cannot convert %1 to %2").arg(from, to));
  std::unique_ptr<void, int (*)(iconv_t)> guard(cd, iconv_close);
  QByteArray out;
  out.reserve(input.size() * 2 + 16);
  char* in = const_cast<char*>(input.constData());
  size_t inLeft = static_cast<size_t>(input.size());
  char buffer[4096];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, outPtr - buffer);
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINCOMPLETE: replace one unit and go on.
      out.append(replacement);
      int skip = skipOnError;
      if (skipOnError == 0) {
        // Skip one UTF-8 sequence.
        const auto lead = static_cast<unsigned char>(*in);
        skip = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      }
      if (static_cast<size_t>(skip) > inLeft) skip = static_cast<int>(inLeft);
      in += skip;
      inLeft -= static_cast<size_t>(skip);
    }
  }
  return out;
}

}  // namespace

QByteArray ReadWholeFile(const QString& fileName) {
  QFile file(fileName);
  if (fileName.isEmpty() || !QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
    throw Error(messages::CannotOpenFile(fileName));
  QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) throw Error(messages::CannotOpenFile(fileName));
  return data;
}

QList<QByteArray> SplitLines(const QByteArray& bytes) {
  QList<QByteArray> lines;
  qsizetype end = bytes.indexOf('\0');
  if (end < 0) end = bytes.size();
  qsizetype start = 0;
  qsizetype i = 0;
  while (i < end) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.append(bytes.mid(start, i - start));
      if (c == '\r' && i + 1 < end && bytes[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < end) lines.append(bytes.mid(start, end - start));
  return lines;
}

QString DecodeCp1251(const QByteArray& bytes) {
  return QString::fromUtf8(Iconv("UTF-8", "CP1251", bytes, QByteArray("\xEF\xBF\xBD"), 1));
}

QString DecodeText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return DecodeCp1251(bytes);
}

QByteArray EncodeCp1251(const QString& text) { return Iconv("CP1251", "UTF-8", text.toUtf8(), "?", 0); }

QStringList ReadTextLines(const QString& fileName) { return TextLines(ReadWholeFile(fileName)); }

QStringList TextLines(QByteArray bytes) {
  const qsizetype nul = bytes.indexOf('\0');
  if (nul >= 0) bytes.truncate(nul);
  // The encoding is decided for the file as a whole, then the text is split.
  const QString text = DecodeText(bytes);
  QStringList lines;
  qsizetype start = 0;
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines.append(text.mid(start, i - start));
      if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < n) lines.append(text.mid(start));
  return lines;
}

QByteArray JoinLinesCrLf(const QList<QByteArray>& lines) {
  QByteArray out;
  qsizetype size = 0;
  for (const auto& line : lines) size += line.size() + 2;
  out.reserve(size);
  for (const auto& line : lines) {
    out.append(line);
    out.append("\r\n", 2);
  }
  return out;
}

void WriteFileAtomically(const QString& fileName, const std::function<void(const ByteSink&)>& produce) {
  if (fileName.isEmpty()) throw Error(messages::CannotCreateFile(fileName));
  QSaveFile file(fileName);
  // Never fall back to writing the target in place.
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly)) throw Error(messages::CannotCreateFile(fileName));
  bool failed = false;
  const ByteSink sink = [&](const char* data, qint64 size) {
    if (failed) return;
    if (file.write(data, size) != size) failed = true;
  };
  try {
    produce(sink);
  } catch (...) {
    file.cancelWriting();
    throw;
  }
  if (failed) {
    file.cancelWriting();
    throw Error(messages::CannotCreateFile(fileName));
  }
  if (!file.commit()) throw Error(messages::CannotCreateFile(fileName));
}

void WriteFileAtomically(const QString& fileName, const QByteArray& data) {
  WriteFileAtomically(fileName, [&](const ByteSink& sink) { sink(data.constData(), data.size()); });
}

void WriteTextLines(const QString& fileName, const QList<QByteArray>& lines) {
  WriteFileAtomically(fileName, JoinLinesCrLf(lines));
}

void WriteTextLines(const QString& fileName, const QStringList& lines) {
  QList<QByteArray> encoded;
  encoded.reserve(lines.size());
  for (const auto& line : lines) encoded.append(EncodeCp1251(line));
  WriteTextLines(fileName, encoded);
}

}  // namespace skarvel
