#pragma once
// Whole-file reading, atomic writing and the text-file conventions.
//
// Text files are read whole into lines: CR LF, a lone LF and a lone CR each
// end a line, a NUL byte ends the text, and a final line without a line end
// still counts. A file whose bytes are valid UTF-8 is taken as UTF-8, any
// other as Windows-1251 (the system's own code page). Files are written with
// CR LF after every line, the last included, in Windows-1251.
//
// Every file the system writes is replaced atomically: the data goes to a
// temporary file in the same folder, which is renamed over the target only
// when everything has been written. A failure leaves the previous file intact
// and no partial file behind.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace skarvel {

// The whole content of a file. Raises "Cannot open file %s" when the file is
// missing, unreadable or not a plain file.
QByteArray ReadWholeFile(const QString& fileName);

// Splits text bytes into lines by the rules above (the bytes stay as they are).
QList<QByteArray> SplitLines(const QByteArray& bytes);
// The lines of a file, decoded (UTF-8 if valid, otherwise Windows-1251).
QStringList ReadTextLines(const QString& fileName);
// The same for text already read.
QStringList TextLines(QByteArray bytes);

// Decoding and encoding of the system's code page.
QString DecodeText(const QByteArray& bytes);  // UTF-8 if valid, else Windows-1251
QString DecodeCp1251(const QByteArray& bytes);
QByteArray EncodeCp1251(const QString& text);  // characters outside it become '?'

// Joins lines, each followed by CR LF.
QByteArray JoinLinesCrLf(const QList<QByteArray>& lines);

// Writes a file atomically; `produce` is given a sink to write blocks into.
// Raises "Cannot create file %s" when the file cannot be created, written or
// put in place; the target is then left as it was.
using ByteSink = std::function<void(const char* data, qint64 size)>;
void WriteFileAtomically(const QString& fileName, const std::function<void(const ByteSink&)>& produce);
void WriteFileAtomically(const QString& fileName, const QByteArray& data);
// Writes text lines in Windows-1251 with CR LF line ends, atomically.
void WriteTextLines(const QString& fileName, const QList<QByteArray>& lines);
void WriteTextLines(const QString& fileName, const QStringList& lines);

}  // namespace skarvel
