#pragma once
// Where a frame's corners fall on the scene plane Z = 0.
//
// The camera is a central-projection camera turned by a rotation matrix R,
// with a principal distance f, an aiming point T = (g[3], g[4], 0) on the
// scene plane and the distance D = g[5] from the projection centre to T.
// A frame goes through three steps:
//   1. ComputeDlt: the eleven coefficients of the direct linear
//      transformation from a scene point to image coordinates;
//   2. SceneHomography / InvertHomography: the transform they give between
//      the scene plane and the image, and its inverse;
//   3. ProjectFootprint / ProjectTrackPoint: the frame corners and the
//      principal point carried back to the scene plane.
//
// Orientation systems (R from the image geometry record g, angles in radians):
// - bench: R = Rz(g[11]) Ry(g[9]) Rx(g[10]), the rotations about Z, Y and X
//   of the bench's right-handed axes;
// - photogrammetric: the phi-omega-kappa matrix of g[6], g[7], g[8];
// - mathematical: the nine values g[12..20], stored column by column, taken
//   as they stand without any check of orthogonality.
//
// Image coordinates run from the principal point, x to the right, y upward,
// in pixels of the frame; row distances are divided by the camera's
// RowScale. Stored scene points carry X and the negated scene Y.
//
// All arithmetic is double precision with extended intermediates; a division
// by zero (the projection centre in the scene plane, a singular transform, a
// zero RowScale, a corner on the vanishing line) raises the floating-point
// error instead of producing an infinity. A frame that sees the horizon is
// projected all the same and gives a footprint behind the camera.

#include "geometry/records.h"

#include <array>

namespace skarvel {

// Rows r1, r2, r3 of a rotation matrix: element (r, c) is R[r - 1][c - 1].
using TRotationMatrix = std::array<std::array<double, 3>, 3>;

TRotationMatrix BenchRotation(double alpha, double beta, double gamma);
TRotationMatrix PhotogrammetricRotation(double phi, double omega, double kappa);
// The matrix stored column by column at indices 12 to 20.
TRotationMatrix StoredRotation(const TImageGeometry& geometry);
// R of a frame in the given orientation system.
TRotationMatrix RotationMatrix(TOrientationSystem system, const TImageGeometry& geometry);

// The divisor G = -(r3 . T) - D of every coefficient. For a scene point P
// the coefficients' denominator w(P) = L9 X + L10 Y + L11 Z + 1 satisfies
// G w(P) = r3 . P + G, which for an orthonormal R is r3 . (P - S), S the
// projection centre T + D r3: the camera looks along -r3, so P lies in front
// of it when G w(P) < 0. Zero when the projection centre is in the plane.
long double DltDivisor(const TRotationMatrix& r, const TImageGeometry& geometry);

// L1..L11 for the orientation system, the principal distance f (used as it
// stands, -1.0 included) and the image geometry.
TDltCoefficients ComputeDlt(TOrientationSystem system, double focalLength, const TImageGeometry& geometry);

// The transform of the scene plane Z = 0 onto the image:
// [[L1, L2, L4], [L5, L6, L8], [L9, L10, 1]].
THomography SceneHomography(const TDltCoefficients& dlt);

// The inverse transform, normalised so that its h33 is 1.
THomography InvertHomography(const THomography& h);

// Image coordinates (x, y) of the frame corners A, B, C, D: x of the first
// and last column, y (upward) of the first and last row divided by RowScale.
struct ImagePoint {
  double x = 0;
  double y = 0;
};
std::array<ImagePoint, 4> FrameCorners(const TCameraParams& camera);

// The four frame corners A, B, C, D carried to the scene plane by the
// normalised inverse, in stored coordinates (X, -Y).
TFootprint ProjectFootprint(const THomography& inverse, const TCameraParams& camera);

// The principal point carried to the scene plane: (i13, -i23).
VT_Point ProjectTrackPoint(const THomography& inverse);

// One image point (x, y) carried to the scene plane, in stored coordinates.
VT_Point BackProject(const THomography& inverse, double x, double y);

// What a load keeps of one frame's projection.
struct FrameProjection {
  TCameraParams camera;  // the companion lines are not kept
  TDltCoefficients dlt;
  double divisor = 0;   // G of ComputeDlt
  THomography inverse;  // the normalised inverse of the scene homography
};

}  // namespace skarvel
