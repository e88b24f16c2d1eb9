#pragma once
// Readers of the image geometry file (.ort) and the camera file, and the rule
// by which lengths are written as text.
//
// Each reader comes in two layers: a parser over the file's lines that throws
// skarvel::Error at the first fault, and a file-level function that reads the
// file, runs the parser, catches every failure, reports it in the readers'
// message box (caption "Ошибка!") and returns a success flag. Values are
// stored as soon as their line converts, so after a failure the record holds
// the new values before the faulty line and the old ones from it on.

#include "geometry/records.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace skarvel {

inline const QString kImageGeometryReadError = QStringLiteral("Ошибка чтения файла геометрии изображения!");
inline const QString kCameraReadError = QStringLiteral("Ошибка чтения cam-файла!");

// Degrees to radians: pi/180 as a double.
inline constexpr double kDegreesToRadians = 0.017453292519943295;

// The number text of a value line: the text before its first ";". A line
// without ";" has no number text (an empty string results).
QString NumberField(const QString& line);

// Fills `geometry` from the 21 value lines; values 6 to 11 are converted from
// degrees to radians. Throws at the first fault.
void ParseImageGeometry(const QStringList& lines, TImageGeometry& geometry);
// The same values from a file's bytes, for reading many files quickly: true
// and `geometry` filled where the bytes' first 21 lines hold number fields in
// ASCII that ParseImageGeometry accepts; false (nothing changed, nothing
// reported) for anything else, which the full reader then decides.
bool ParseImageGeometryBytes(QByteArrayView bytes, TImageGeometry& geometry);
// Reads an image geometry file into `geometry`; false after a failure, which
// has been reported through the message box. With `sourceLines`, also gives
// the file's lines as raw bytes (from the same read) after a success.
bool ReadImageGeometry(const QString& fileName, TImageGeometry& geometry,
                       QList<QByteArray>* sourceLines = nullptr);

// Lengths as text: fixed notation cut after the third significant decimal,
// integral values as plain integers, the decimal separator in force. The cut
// is made at a "." or "," only: with any other separator the value stands in
// fixed notation with all its 18 decimals.
QString FormatShortNumber(double value);
// The same text appended to `out`.
void AppendShortNumber(QString& out, double value);

// The directory part of a camera file name against which its companion file
// is resolved: the name cut back to its last separator ("\" or "/"),
// separator included; empty when the name has none or that part is a single
// character.
QString CompanionDirectory(const QString& cameraFileName);

// Reads a camera file and its companion file. Returns 1 on success, 0 after a
// failure that has been reported through the message box. Outputs converted
// before a failure keep their new values, the others their old ones.
int ReadCameraFile(const QString& fileName, double& principalColumn, double& principalRow,
                   QStringList& companionLines, double& focalLength, double& frameWidth, double& frameHeight);
// The same, filling the camera record's fields (RowScale is left as it is).
int ReadCameraFile(const QString& fileName, TCameraParams& camera);

}  // namespace skarvel
