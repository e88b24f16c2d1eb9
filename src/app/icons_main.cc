// skarvel-icons FOLDER: writes the program's icon for the desktop's icon
// theme, FOLDER/<size>.png for each size, from the one 32 x 32 picture drawn
// in code, scaled by nearest neighbour so the large sizes keep its pixels.

#include "shell/artwork.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: skarvel-icons FOLDER\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  QDir().mkpath(folder.path());
  const QImage icon = skarvel::ProgramIconPicture().convertToFormat(QImage::Format_ARGB32);
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QImage scaled = icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (!scaled.save(folder.filePath(QStringLiteral("%1.png").arg(size)))) return 1;
  }
  return 0;
}
