#include "platform/error.h"

namespace skarvel {

Error::Error(const QString& message) : std::runtime_error(message.toStdString()) {}

namespace messages {

QString CannotOpenFile(const QString& fileName) {
  return QStringLiteral("Cannot open file %1").arg(fileName);
}

QString CannotCreateFile(const QString& fileName) {
  return QStringLiteral("Cannot create file %1").arg(fileName);
}

QString NotAFloat(const QString& text) {
  return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

QString NotAnInteger(const QString& text) {
  return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

QString ListIndexOutOfBounds(long long index) {
  return QStringLiteral("List index out of bounds (%1)").arg(index);
}

}  // namespace messages

QString ErrorReportText(const QString& message) {
  if (!message.isEmpty() && message.back() > u'.') return message + u'.';
  return message;
}

}  // namespace skarvel
