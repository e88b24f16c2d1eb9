#pragma once
// The start-up picture of the main window: a 640 x 452 progressive JPEG with
// three colour components, stored with the program and decoded by the JPEG
// library.

#include <QByteArray>
#include <QImage>

namespace skarvel {

// The stored JPEG data.
QByteArray StartupPictureData();
// The decoded picture.
QImage StartupPicture();

}  // namespace skarvel
