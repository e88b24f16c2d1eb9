#pragma once
// Image geometry, camera and list files for field-of-view tests, written as
// the system writes text (Windows-1251, CR LF, "." as decimal separator).

#include "platform/files.h"
#include "support/test_support.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace skarvel::testing {

// A frame aimed at (aimX, aimY) from `distance`, turned by the angles
// (degrees) of the photogrammetric (phi, omega, kappa) and bench (about Y,
// about X, about Z) systems; the stored matrix is the identity.
struct FrameGeometry {
  double aimX = 0, aimY = 0, distance = 100;
  double phi = 0, omega = 0, kappa = 0;
  double aboutY = 0, aboutX = 0, aboutZ = 0;
};

inline QByteArray GeometryFile(const FrameGeometry& g) {
  const double values[21] = {g.aimX,  g.aimY,  g.distance, g.aimX,   g.aimY,   g.distance, g.phi,
                             g.omega, g.kappa, g.aboutY,   g.aboutX, g.aboutZ, 1,          0,
                             0,       0,       1,          0,        0,        0,          1};
  QList<QByteArray> lines;
  for (double v : values) lines << QByteArray::number(v, 'g', 17) + " ; value";
  return JoinLinesCrLf(lines);
}

// A camera file naming the companion file `rows` (row scale on its first line).
inline QByteArray CameraFile(double x0, double y0, double focal, double width, double height,
                             const QString& rows = QStringLiteral("rows.txt")) {
  return QStringLiteral("%1 ; x0\r\n%2 ; y0\r\n%3 ; rows\r\n%4 ; f\r\n%5 ; w\r\n%6 ; h\r\n")
      .arg(x0)
      .arg(y0)
      .arg(rows)
      .arg(focal)
      .arg(width)
      .arg(height)
      .toLatin1();
}

// A list of pairs "geometry ; camera", one per frame, after a comment line.
inline QByteArray ListFile(const QStringList& geometryAndCameraNames) {
  QList<QByteArray> lines = {"// frames"};
  for (const QString& name : geometryAndCameraNames) lines << EncodeCp1251(name + QStringLiteral(" ;"));
  return JoinLinesCrLf(lines);
}

}  // namespace skarvel::testing
