#include "app/startup_picture.h"

#include "platform/jpeg.h"

#include <QFile>

namespace skarvel {

QByteArray StartupPictureData() {
  QFile file(QStringLiteral(":/skarvel/startup.jpg"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

QImage StartupPicture() { return DecodeJpeg(StartupPictureData()); }

}  // namespace skarvel
