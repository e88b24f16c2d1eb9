#include "scene/projection.h"

#include "platform/float_checks.h"

#include <cmath>

namespace skarvel {

namespace {

using fp::Divide;
using fp::ToDouble;

}  // namespace

TRotationMatrix BenchRotation(double alpha, double beta, double gamma) {
  // Rz(gamma) Ry(alpha) Rx(beta), multiplied out.
  const double ca = std::cos(alpha), sa = std::sin(alpha);
  const double cb = std::cos(beta), sb = std::sin(beta);
  const double cg = std::cos(gamma), sg = std::sin(gamma);
  return {{{ca * cg, sb * sa * cg - cb * sg, cb * sa * cg + sb * sg},
           {ca * sg, sb * sa * sg + cb * cg, cb * sa * sg - sb * cg},
           {-sa, sb * ca, cb * ca}}};
}

TRotationMatrix PhotogrammetricRotation(double phi, double omega, double kappa) {
  const double cp = std::cos(phi), sp = std::sin(phi);
  const double co = std::cos(omega), so = std::sin(omega);
  const double ck = std::cos(kappa), sk = std::sin(kappa);
  return {{{cp * ck - sp * so * sk, co * sk, sp * ck + cp * so * sk},
           {-cp * sk - sp * so * ck, co * ck, -sp * sk + cp * so * ck},
           {-sp * co, -so, cp * co}}};
}

TRotationMatrix StoredRotation(const TImageGeometry& geometry) {
  TRotationMatrix r{};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 3; ++column) r[row][column] = geometry[12 + row + 3 * column];
  return r;
}

TRotationMatrix RotationMatrix(TOrientationSystem system, const TImageGeometry& geometry) {
  switch (system) {
    case TOrientationSystem::Bench:
      return BenchRotation(geometry[9], geometry[10], geometry[11]);
    case TOrientationSystem::Photogrammetric:
      return PhotogrammetricRotation(geometry[6], geometry[7], geometry[8]);
    case TOrientationSystem::Mathematical:
      return StoredRotation(geometry);
  }
  throw Error(QStringLiteral("Unknown orientation system %1").arg(static_cast<int>(system)));
}

long double DltDivisor(const TRotationMatrix& r, const TImageGeometry& geometry) {
  const long double tx = geometry[3], ty = geometry[4], tz = 0;
  const long double distance = geometry[5];
  return -(r[2][0] * tx + r[2][1] * ty + r[2][2] * tz) - distance;
}

TDltCoefficients ComputeDlt(TOrientationSystem system, double focalLength, const TImageGeometry& geometry) {
  const TRotationMatrix r = RotationMatrix(system, geometry);
  const long double tx = geometry[3], ty = geometry[4], tz = 0;

  // Rows 1 and 2 scaled by -f; row 3 stays.
  long double a[3], b[3];
  for (int c = 0; c < 3; ++c) {
    a[c] = -static_cast<long double>(focalLength) * r[0][c];
    b[c] = -static_cast<long double>(focalLength) * r[1][c];
  }
  // G is zero when the projection centre lies in the scene plane.
  const long double g = DltDivisor(r, geometry);

  TDltCoefficients dlt;
  auto& L = dlt.L;
  L[0] = ToDouble(Divide(a[0], g));
  L[1] = ToDouble(Divide(a[1], g));
  L[2] = ToDouble(Divide(a[2], g));
  L[3] = ToDouble(Divide(-a[0] * tx - a[1] * ty - a[2] * tz, g));
  L[4] = ToDouble(Divide(b[0], g));
  L[5] = ToDouble(Divide(b[1], g));
  L[6] = ToDouble(Divide(b[2], g));
  L[7] = ToDouble(Divide(-b[0] * tx - b[1] * ty - b[2] * tz, g));
  L[8] = ToDouble(Divide(r[2][0], g));
  L[9] = ToDouble(Divide(r[2][1], g));
  L[10] = ToDouble(Divide(r[2][2], g));
  return dlt;
}

THomography SceneHomography(const TDltCoefficients& dlt) {
  const auto& L = dlt.L;
  return THomography{{L[0], L[1], L[3], L[4], L[5], L[7], L[8], L[9], 1.0}};
}

THomography InvertHomography(const THomography& homography) {
  const auto& h = homography.h;
  const long double h11 = h[0], h12 = h[1], h13 = h[2];
  const long double h21 = h[3], h22 = h[4], h23 = h[5];
  const long double h31 = h[6], h32 = h[7], h33 = h[8];

  // The adjugate divided by the determinant (expanded along the first row).
  const long double m = Divide(
      1, (h22 * h33 - h32 * h23) * h11 - (h33 * h21 - h23 * h31) * h12 + (h32 * h21 - h22 * h31) * h13);
  THomography inverse;
  auto& i = inverse.h;
  i[0] = ToDouble((h22 * h33 - h32 * h23) * m);
  i[1] = ToDouble(-(h12 * h33 - h32 * h13) * m);
  i[2] = ToDouble((h12 * h23 - h13 * h22) * m);
  i[3] = ToDouble(-(h21 * h33 - h23 * h31) * m);
  i[4] = ToDouble((h11 * h33 - h31 * h13) * m);
  i[5] = ToDouble(-(h11 * h23 - h21 * h13) * m);
  i[6] = ToDouble((h21 * h32 - h31 * h22) * m);
  i[7] = ToDouble(-(h11 * h32 - h12 * h31) * m);
  i[8] = ToDouble((h11 * h22 - h21 * h12) * m);

  // Normalise so that i33 becomes 1; i33 itself is divided last.
  const long double norm = i[8];
  for (double& value : i) value = ToDouble(Divide(value, norm));
  return inverse;
}

VT_Point BackProject(const THomography& inverse, double x, double y) {
  const auto& i = inverse.h;
  const long double lx = x, ly = y;
  const long double denominator = i[6] * lx + i[7] * ly + 1;
  return VT_Point(ToDouble(Divide(i[0] * lx + i[1] * ly + i[2], denominator)),
                  ToDouble(-Divide(i[3] * lx + i[4] * ly + i[5], denominator)));
}

std::array<ImagePoint, 4> FrameCorners(const TCameraParams& camera) {
  const long double x0 = camera.PrincipalColumn, y0 = camera.PrincipalRow;
  const long double width = camera.FrameWidth, height = camera.FrameHeight;
  const long double k = camera.RowScale;

  // Image x of the first and last column, image y (upward) of the first and
  // last row; only row distances are scaled.
  const double left = ToDouble(0 - x0);
  const double right = ToDouble(width - x0);
  const double top = ToDouble(Divide(y0 - 0, k));
  const double bottom = ToDouble(Divide(y0 - height, k));
  return {{{left, top}, {right, top}, {right, bottom}, {left, bottom}}};
}

TFootprint ProjectFootprint(const THomography& inverse, const TCameraParams& camera) {
  const std::array<ImagePoint, 4> image = FrameCorners(camera);
  TFootprint footprint;
  VT_Point* corners[4] = {&footprint.A, &footprint.B, &footprint.C, &footprint.D};
  for (int i = 0; i < 4; ++i) corners[i]->CopyCoordinates(BackProject(inverse, image[i].x, image[i].y));
  return footprint;
}

VT_Point ProjectTrackPoint(const THomography& inverse) { return VT_Point(inverse.h[2], -inverse.h[5]); }

}  // namespace skarvel
