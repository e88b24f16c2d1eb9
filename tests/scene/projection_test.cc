// The projection of frame corners onto the scene plane. Expected values come
// from hand calculation, from the published bench example, or from an
// independent ray casting through the camera (the collinearity condition),
// never from the code under test.

#include "scene/projection.h"

#include "platform/error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace skarvel {
namespace {

using Matrix = TRotationMatrix;

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
  return r;
}

Matrix Rx(double t) { return {{{1, 0, 0}, {0, std::cos(t), -std::sin(t)}, {0, std::sin(t), std::cos(t)}}}; }
Matrix Ry(double t) { return {{{std::cos(t), 0, std::sin(t)}, {0, 1, 0}, {-std::sin(t), 0, std::cos(t)}}}; }
Matrix Rz(double t) { return {{{std::cos(t), -std::sin(t), 0}, {std::sin(t), std::cos(t), 0}, {0, 0, 1}}}; }

void ExpectMatrixNear(const Matrix& expected, const Matrix& actual, double tolerance) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(expected[r][c], actual[r][c], tolerance) << "element (" << r + 1 << ", " << c + 1 << ")";
}

// A record describing one rotation in all three systems: the bench angles,
// the photogrammetric angles recovered from the matrix, and the matrix
// itself stored column by column.
TImageGeometry GeometryForRotation(double alpha, double beta, double gamma, double aimX, double aimY,
                                   double distance) {
  const Matrix r = Multiply(Multiply(Rz(gamma), Ry(alpha)), Rx(beta));
  TImageGeometry g;
  g[3] = aimX;
  g[4] = aimY;
  g[5] = distance;
  // Row 3 is (-sin phi cos omega, -sin omega, cos phi cos omega) and column
  // 2 of rows 1, 2 is cos omega (sin kappa, cos kappa).
  g[7] = -std::asin(r[2][1]);
  g[6] = std::atan2(-r[2][0], r[2][2]);
  g[8] = std::atan2(r[0][1], r[1][1]);
  g[9] = alpha;
  g[10] = beta;
  g[11] = gamma;
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 3; ++column) g[12 + row + 3 * column] = r[row][column];
  return g;
}

// Independent reference: the ray from the projection centre S = T + D r3
// through the image point (x, y) (camera direction (x, y, -f), turned to the
// scene by R transposed) meets the plane Z = 0; stored Y is negated.
VT_Point CastRay(const Matrix& r, const TImageGeometry& g, double f, double x, double y) {
  const double s[3] = {g[3] + g[5] * r[2][0], g[4] + g[5] * r[2][1], g[5] * r[2][2]};
  double d[3];
  for (int i = 0; i < 3; ++i) d[i] = r[0][i] * x + r[1][i] * y + r[2][i] * -f;
  const double t = -s[2] / d[2];
  return VT_Point(s[0] + t * d[0], -(s[1] + t * d[1]));
}

TCameraParams Camera(double x0, double y0, double width, double height, double rowScale) {
  TCameraParams camera;
  camera.PrincipalColumn = x0;
  camera.PrincipalRow = y0;
  camera.FrameWidth = width;
  camera.FrameHeight = height;
  camera.RowScale = rowScale;
  return camera;
}

TFootprint Footprint(TOrientationSystem system, double f, const TImageGeometry& g,
                     const TCameraParams& camera) {
  return ProjectFootprint(InvertHomography(SceneHomography(ComputeDlt(system, f, g))), camera);
}

void ExpectPointNear(const VT_Point& expected, const VT_Point& actual, double tolerance, const char* what) {
  EXPECT_NEAR(expected.X, actual.X, tolerance) << what;
  EXPECT_NEAR(expected.Y, actual.Y, tolerance) << what;
}

void ExpectError(const std::function<void()>& f, const char* message) {
  try {
    f();
    ADD_FAILURE() << "no error, expected " << message;
  } catch (const Error& e) {
    EXPECT_EQ(QString::fromUtf8(message), e.message());
  }
}

constexpr auto kBench = TOrientationSystem::Bench;
constexpr auto kPhoto = TOrientationSystem::Photogrammetric;
constexpr auto kMath = TOrientationSystem::Mathematical;

TEST(RotationMatrix, BenchIsRzRyRxOfTheAnglesAboutYXZ) {
  TImageGeometry g;
  g[9] = 0.3;   // about Y
  g[10] = 0.5;  // about X
  g[11] = 0.7;  // about Z
  const Matrix r = RotationMatrix(kBench, g);
  ExpectMatrixNear(Multiply(Multiply(Rz(0.7), Ry(0.3)), Rx(0.5)), r, 1e-15);
  EXPECT_NEAR(-0.29552, r[2][0], 5e-6);
  EXPECT_NEAR(0.45801, r[2][1], 5e-6);
  EXPECT_NEAR(0.83839, r[2][2], 5e-6);
}

TEST(RotationMatrix, PhotogrammetricIsKappaOmegaPhi) {
  // The phi-omega-kappa matrix is Rz(-kappa) Rx(-omega) Ry(phi) in the
  // elementary rotations above.
  const double phi = 0.2, omega = -0.35, kappa = 1.1;
  TImageGeometry g;
  g[6] = phi;
  g[7] = omega;
  g[8] = kappa;
  ExpectMatrixNear(Multiply(Multiply(Rz(-kappa), Rx(-omega)), Ry(phi)), RotationMatrix(kPhoto, g), 1e-15);
}

TEST(RotationMatrix, ZeroAnglesGiveTheIdentityInBothAngleSystems) {
  const TImageGeometry g;
  const Matrix identity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  ExpectMatrixNear(identity, RotationMatrix(kBench, g), 0);
  ExpectMatrixNear(identity, RotationMatrix(kPhoto, g), 0);
}

TEST(RotationMatrix, MathematicalReadsTheStoredMatrixColumnByColumn) {
  TImageGeometry g;
  for (int i = 0; i < 9; ++i) g[12 + i] = i + 1;
  g[6] = g[9] = 0.4;  // angles play no part
  const Matrix expected = {{{1, 4, 7}, {2, 5, 8}, {3, 6, 9}}};
  ExpectMatrixNear(expected, RotationMatrix(kMath, g), 0);
}

TEST(ComputeDlt, BenchExampleToEightDigits) {
  TImageGeometry g;
  g[3] = 10;
  g[4] = 20;
  g[5] = 500;
  g[9] = 0.3;
  g[10] = 0.5;
  g[11] = 0.7;
  const double expected[11] = {1.44344994,     -0.90277925,     1.00198757,    3.62108565,
                               1.21580111,     1.50627672,      -0.394328907,  -42.2835455,
                               0.000583795451, -0.000904796799, -0.00165621943};
  const TDltCoefficients dlt = ComputeDlt(kBench, 1000, g);
  for (int i = 0; i < 11; ++i)
    EXPECT_NEAR(expected[i], dlt.L[i], 1e-8 * std::abs(expected[i])) << "L" << i + 1;

  const THomography inverse = InvertHomography(SceneHomography(dlt));
  const TFootprint fp = ProjectFootprint(inverse, Camera(512, 384, 1024, 768, 1));
  ExpectPointNear(VT_Point(-81.4711, -273.5432), fp.A, 5e-5, "A");
  ExpectPointNear(VT_Point(441.7396, 6.3418), fp.B, 5e-5, "B");
  ExpectPointNear(VT_Point(224.0327, 573.2644), fp.C, 5e-5, "C");
  ExpectPointNear(VT_Point(-267.0029, -36.9008), fp.D, 5e-5, "D");
  ExpectPointNear(VT_Point(10, -20), ProjectTrackPoint(inverse), 1e-9, "track");
}

TEST(ProjectFootprint, NadirFrameIsTheSquareUnderTheCamera) {
  const TImageGeometry g;  // identity, aiming point at the origin
  TImageGeometry g100 = g;
  g100[5] = 100;
  const TDltCoefficients dlt = ComputeDlt(kPhoto, 100, g100);
  // G = -100: L1 = -f / G = 1, L6 = 1, everything else zero.
  EXPECT_DOUBLE_EQ(1, dlt.L[0]);
  EXPECT_DOUBLE_EQ(1, dlt.L[5]);
  EXPECT_DOUBLE_EQ(-0.01, dlt.L[10]);
  const THomography inverse = InvertHomography(SceneHomography(dlt));
  const TFootprint fp = ProjectFootprint(inverse, Camera(50, 50, 100, 100, 1));
  ExpectPointNear(VT_Point(-50, -50), fp.A, 1e-12, "A");
  ExpectPointNear(VT_Point(50, -50), fp.B, 1e-12, "B");
  ExpectPointNear(VT_Point(50, 50), fp.C, 1e-12, "C");
  ExpectPointNear(VT_Point(-50, 50), fp.D, 1e-12, "D");
  ExpectPointNear(VT_Point(0, 0), ProjectTrackPoint(inverse), 1e-12, "track");
}

TEST(InvertHomography, GivesTheInverseNormalisedToOne) {
  const THomography h{{2, 1, 3, -1, 4, 0.5, 0.01, -0.02, 1.5}};
  const THomography inv = InvertHomography(h);
  EXPECT_EQ(1.0, inv.h[8]);
  // h times inv is a multiple of the identity.
  double product[9] = {};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      for (int k = 0; k < 3; ++k) product[3 * r + c] += h.h[3 * r + k] * inv.h[3 * k + c];
  const double scale = product[0];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(r == c ? scale : 0, product[3 * r + c], 1e-12) << r << c;
}

// Random frames: each system, given the same rotation, agrees with the ray
// cast through the camera, and the corners map back to the frame corners
// through the forward transform.
TEST(ProjectFootprint, ThreeSystemsAgreeWithRayCastingOnRandomFrames) {
  std::mt19937 random(20240611);
  std::uniform_real_distribution<double> tilt(-0.5, 0.5), turn(-3.1, 3.1), aim(-500, 500), distance(50, 5000),
      focal(100, 3000), principal(0.3, 0.7), frame(200, 4000), rowScale(0.5, 2);
  for (int trial = 0; trial < 200; ++trial) {
    const TImageGeometry g = GeometryForRotation(tilt(random), tilt(random), turn(random), aim(random),
                                                 aim(random), distance(random));
    const double f = focal(random);
    const double width = std::round(frame(random)), height = std::round(frame(random));
    const TCameraParams camera =
        Camera(width * principal(random), height * principal(random), width, height, rowScale(random));
    const Matrix r = RotationMatrix(kBench, g);

    const double top = camera.PrincipalRow / camera.RowScale;
    const double bottom = (camera.PrincipalRow - height) / camera.RowScale;
    const double left = -camera.PrincipalColumn, right = width - camera.PrincipalColumn;
    const VT_Point expected[4] = {CastRay(r, g, f, left, top), CastRay(r, g, f, right, top),
                                  CastRay(r, g, f, right, bottom), CastRay(r, g, f, left, bottom)};
    const double tolerance = 1e-9 * g[5] * (1 + width / f + height / f);

    for (const TOrientationSystem system : {kBench, kPhoto, kMath}) {
      SCOPED_TRACE(testing::Message() << "trial " << trial << ", system " << static_cast<int>(system));
      const TDltCoefficients dlt = ComputeDlt(system, f, g);
      const THomography inverse = InvertHomography(SceneHomography(dlt));
      const TFootprint fp = ProjectFootprint(inverse, camera);
      const VT_Point* corners[4] = {&fp.A, &fp.B, &fp.C, &fp.D};
      for (int i = 0; i < 4; ++i) {
        ExpectPointNear(expected[i], *corners[i], tolerance, "corner");
        // Forward through the DLT (scene Y is the negated stored Y).
        const double X = corners[i]->X, Y = -corners[i]->Y;
        const auto& L = dlt.L;
        const double w = L[8] * X + L[9] * Y + 1;
        const double x = (L[0] * X + L[1] * Y + L[3]) / w, y = (L[4] * X + L[5] * Y + L[7]) / w;
        EXPECT_NEAR((i == 0 || i == 3) ? left : right, x, 1e-7 * width);
        EXPECT_NEAR((i < 2) ? top : bottom, y, 1e-7 * height);
      }
      // The principal point lands on the aiming point.
      ExpectPointNear(VT_Point(g[3], -g[4]), ProjectTrackPoint(inverse), 1e-9 * g[5], "track");
    }
  }
}

TEST(ProjectFootprint, FocalLengthMinusOneProjectsWithPlusOne) {
  const TImageGeometry g = GeometryForRotation(0.2, -0.1, 0.4, 5, -7, 30);
  const Matrix r = RotationMatrix(kBench, g);
  const TCameraParams camera = Camera(0.5, 0.25, 1, 1, 1);
  const TFootprint fp = Footprint(kBench, -1.0, g, camera);
  // A camera with principal distance -1 images through (x, y, +1).
  ExpectPointNear(CastRay(r, g, -1.0, -0.5, 0.25), fp.A, 1e-9, "A");
  ExpectPointNear(CastRay(r, g, -1.0, 0.5, -0.75), fp.C, 1e-9, "C");
}

TEST(ProjectFootprint, RowScaleDividesOnlyRowDistances) {
  TImageGeometry g;
  g[5] = 100;
  // Nadir camera with f = D: one pixel is one scene unit.
  const TFootprint scaled = Footprint(kPhoto, 100, g, Camera(40, 30, 100, 80, 2));
  ExpectPointNear(VT_Point(-40, -15), scaled.A, 1e-12, "A");
  ExpectPointNear(VT_Point(60, -15), scaled.B, 1e-12, "B");
  ExpectPointNear(VT_Point(60, 25), scaled.C, 1e-12, "C");
  ExpectPointNear(VT_Point(-40, 25), scaled.D, 1e-12, "D");
}

TEST(ProjectionFailures, DivisionsByZeroRaiseTheFloatingPointError) {
  // Projection centre in the scene plane: D = 0 with the aim at the origin.
  TImageGeometry flat;
  ExpectError([&] { ComputeDlt(kPhoto, 100, flat); }, "Floating point division by zero");

  // A zero row scale.
  TImageGeometry g;
  g[5] = 100;
  ExpectError([&] { Footprint(kPhoto, 100, g, Camera(50, 50, 100, 100, 0)); },
              "Floating point division by zero");

  // A zero stored matrix makes the plane transform singular.
  ExpectError([&] { InvertHomography(SceneHomography(ComputeDlt(kMath, 100, g))); },
              "Floating point division by zero");

  // A corner on the vanishing line. The stored matrix (no orthogonality is
  // asked of it) has rows (1, 0, 0), (0, 1, 0), (0, 0.5, 1); with f = D = 64
  // the inverse transform is [[1, 0, 0], [0, 1, 0], [0, 1/128, 1]], all
  // exact, so the image row y = -128 has the denominator 0.
  TImageGeometry skew;
  skew[5] = 64;
  skew[12] = 1;    // (1, 1)
  skew[16] = 1;    // (2, 2)
  skew[17] = 0.5;  // (3, 2)
  skew[20] = 1;    // (3, 3)
  const THomography inverse = InvertHomography(SceneHomography(ComputeDlt(kMath, 64, skew)));
  EXPECT_EQ(1.0 / 128, inverse.h[7]);
  ExpectError([&] { ProjectFootprint(inverse, Camera(10, 0, 20, 128, 1)); },
              "Floating point division by zero");
}

}  // namespace
}  // namespace skarvel
