#pragma once
// Areas and turning of polygons in the plane, for any point type with x and
// y members (scene points in doubles, clipped pieces in extended precision).
//
// Each area formula is the one its figures are defined by, and they round
// differently, so they are kept apart rather than merged:
// - RingAreaAboutFirstX: the shoelace sum about the first vertex's X in
//   doubles, as GEOS computes a polygon's area (footprint areas);
// - FanArea: the signed sum of the triangles from the first vertex, in
//   extended precision (pieces of a clipped outline);
// - ShoelaceArea: the plain shoelace sum of x_i y_(i+1) - x_(i+1) y_i in
//   extended precision, unsigned (relief outlines of many vertices).
// The polygon is closed implicitly: the last vertex joins the first.

#include <cmath>
#include <cstddef>
#include <iterator>

namespace skarvel {

// The turn o -> a -> b: positive counter-clockwise (Y up), zero when
// straight; the cross product of (a - o) and (b - o) in extended precision.
template <typename P>
long double Turn(const P& o, const P& a, const P& b) {
  return (static_cast<long double>(a.x) - o.x) * (static_cast<long double>(b.y) - o.y) -
         (static_cast<long double>(a.y) - o.y) * (static_cast<long double>(b.x) - o.x);
}

// True when every vertex turns the same way and none is straight.
template <typename Polygon>
bool IsStrictlyConvex(const Polygon& polygon) {
  const size_t n = std::size(polygon);
  size_t positive = 0, negative = 0;
  for (size_t i = 0; i < n; ++i) {
    const long double turn = Turn(polygon[i], polygon[(i + 1) % n], polygon[(i + 2) % n]);
    positive += turn > 0;
    negative += turn < 0;
  }
  return positive == n || negative == n;
}

template <typename Polygon>
double RingAreaAboutFirstX(const Polygon& polygon) {
  const size_t n = std::size(polygon);
  double sum = 0;
  const double x0 = polygon[0].x;
  for (size_t i = 1; i < n; ++i) sum += (polygon[i].x - x0) * (polygon[i - 1].y - polygon[(i + 1) % n].y);
  return std::fabs(sum / 2.0);
}

template <typename Polygon>
long double FanArea(const Polygon& polygon) {
  long double sum = 0;
  for (size_t i = 1; i + 1 < std::size(polygon); ++i) sum += Turn(polygon[0], polygon[i], polygon[i + 1]);
  return sum / 2;
}

template <typename Polygon>
double ShoelaceArea(const Polygon& polygon) {
  const size_t n = std::size(polygon);
  long double twice = 0;
  for (size_t i = 0; i < n; ++i) {
    const auto& a = polygon[i];
    const auto& b = polygon[(i + 1) % n];
    twice += static_cast<long double>(a.x) * b.y - static_cast<long double>(b.x) * a.y;
  }
  return static_cast<double>(std::fabs(twice) / 2);
}

}  // namespace skarvel
