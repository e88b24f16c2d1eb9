#include "fov/footprint_figures.h"

#include "platform/error.h"
#include "platform/float_checks.h"
#include "platform/parallel.h"

#include <geos_c.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

namespace skarvel {

namespace {

// One GEOS context for one computation. GEOS reports failures through the
// handler and a null (or 0 / 2) result; both end the computation with the
// library's message.
class Geos {
 public:
  Geos() : handle_(GEOS_init_r()) {
    if (handle_ == nullptr) throw Error(Message("no context"));
    GEOSContext_setErrorMessageHandler_r(handle_, &Geos::OnError, this);
  }
  ~Geos() { GEOS_finish_r(handle_); }
  Geos(const Geos&) = delete;
  Geos& operator=(const Geos&) = delete;

  GEOSContextHandle_t handle() const { return handle_; }

  [[noreturn]] void Fail(const char* what) const {
    throw Error(Message(lastError_.empty() ? what : lastError_.c_str()));
  }
  template <typename T>
  T* Check(T* result, const char* what) const {
    if (result == nullptr) Fail(what);
    return result;
  }
  // Predicates answer 1 or 0; 2 is an exception.
  bool Predicate(char result, const char* what) const {
    if (result != 0 && result != 1) Fail(what);
    return result == 1;
  }

 private:
  static void OnError(const char* message, void* self) {
    static_cast<Geos*>(self)->lastError_ = message != nullptr ? message : "";
  }
  static QString Message(const char* detail) {
    return QStringLiteral("Ошибка вычисления контуров: %1").arg(QString::fromUtf8(detail));
  }

  GEOSContextHandle_t handle_;
  std::string lastError_;
};

struct GeometryDeleter {
  GEOSContextHandle_t handle;
  void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(handle, g); }
};
using Geometry = std::unique_ptr<GEOSGeometry, GeometryDeleter>;

struct PreparedDeleter {
  GEOSContextHandle_t handle;
  void operator()(const GEOSPreparedGeometry* g) const { GEOSPreparedGeom_destroy_r(handle, g); }
};
using Prepared = std::unique_ptr<const GEOSPreparedGeometry, PreparedDeleter>;

struct TreeDeleter {
  GEOSContextHandle_t handle;
  void operator()(GEOSSTRtree* t) const { GEOSSTRtree_destroy_r(handle, t); }
};

Geometry Own(const Geos& geos, GEOSGeometry* g, const char* what) {
  return Geometry(geos.Check(g, what), GeometryDeleter{geos.handle()});
}

// The closed ring A, B, C, D, A as a polygon.
Geometry Polygon(const Geos& geos, const SceneQuad& quad) {
  double coordinates[10];
  for (int i = 0; i < 5; ++i) {
    coordinates[2 * i] = quad[i % 4].x;
    coordinates[2 * i + 1] = quad[i % 4].y;
  }
  GEOSContextHandle_t h = geos.handle();
  GEOSCoordSequence* sequence = geos.Check(GEOSCoordSeq_copyFromBuffer_r(h, coordinates, 5, 0, 0), "ring");
  GEOSGeometry* ring = GEOSGeom_createLinearRing_r(h, sequence);  // takes the sequence
  geos.Check(ring, "ring");
  return Own(geos, GEOSGeom_createPolygon_r(h, ring, nullptr, 0), "polygon");  // takes the ring
}

double Area(const Geos& geos, const GEOSGeometry* g) {
  double area = 0;
  if (GEOSArea_r(geos.handle(), g, &area) == 0) geos.Fail("area");
  return area;
}

double Percent(double part, double whole) {
  return std::min(100.0, fp::ToDouble(fp::Divide(static_cast<long double>(part) * 100, whole)));
}

// Exact equality of the corners, as a hash key.
struct QuadHash {
  size_t operator()(const SceneQuad& q) const {
    size_t h = 0;
    for (const ScenePoint& p : q)
      for (double v : {p.x, p.y}) h = (h ^ std::bit_cast<std::uint64_t>(v)) * 0x9E3779B97F4A7C15ull;
    return h;
  }
};

long double Cross(const ScenePoint& o, const ScenePoint& a, const ScenePoint& b) {
  return (static_cast<long double>(a.x) - o.x) * (static_cast<long double>(b.y) - o.y) -
         (static_cast<long double>(a.y) - o.y) * (static_cast<long double>(b.x) - o.x);
}

double Distance(const VT_Point& a, const VT_Point& b) {
  return fp::ToDouble(std::hypot(static_cast<long double>(b.X) - a.X, static_cast<long double>(b.Y) - a.Y));
}

// The frame (1-based) that frames 2 to 5 were chained to.
int StripNeighbour(int frame) {
  switch (frame) {
    case 2:
    case 4:
      return 1;
    case 3:
      return 2;
    case 5:
      return 4;
    default:
      return 0;
  }
}

}  // namespace

SceneQuad SceneCorners(const DynamicArray<VT_Point>& footprints, int n) {
  SceneQuad quad;
  for (int i = 0; i < 4; ++i) {
    const VT_Point& p = footprints.At(4 * n + i);
    quad[i] = {p.X, -p.Y};
  }
  return quad;
}

bool IsConvex(const SceneQuad& q) {
  int positive = 0, negative = 0;
  for (int i = 0; i < 4; ++i) {
    const long double turn = Cross(q[i], q[(i + 1) % 4], q[(i + 2) % 4]);
    positive += turn > 0;
    negative += turn < 0;
  }
  return positive == 4 || negative == 4;
}

FootprintFlags ProjectionFlags(const FrameProjection& p) {
  const auto& i = p.inverse.h;
  FootprintFlags flags;
  // The principal point's denominator is 1: a corner's of the other sign
  // belongs to a ray that meets the plane behind the camera.
  for (const ImagePoint& corner : FrameCorners(p.camera)) {
    const long double denominator = i[6] * static_cast<long double>(corner.x) + i[7] * corner.y + 1;
    if (denominator < 0) flags.horizon = true;
  }
  // The principal point's ground point (i13, i23) in front of the camera:
  // G w(P) < 0, w the coefficients' denominator (see DltDivisor).
  const auto& L = p.dlt.L;
  const long double w = L[8] * static_cast<long double>(i[2]) + L[9] * static_cast<long double>(i[5]) + 1;
  flags.behindCamera = !(p.divisor * w < 0);
  return flags;
}

double RowSampleDistance(const FrameProjection& p) {
  return Distance(BackProject(p.inverse, -0.5, 0), BackProject(p.inverse, 0.5, 0));
}

double ColumnSampleDistance(const FrameProjection& p) {
  const double half = fp::ToDouble(fp::Divide(0.5L, p.camera.RowScale));
  return Distance(BackProject(p.inverse, 0, half), BackProject(p.inverse, 0, -half));
}

double IntersectionArea(const SceneQuad& a, const SceneQuad& b) {
  Geos geos;
  const Geometry pa = Polygon(geos, a), pb = Polygon(geos, b);
  return Area(geos, Own(geos, GEOSIntersection_r(geos.handle(), pa.get(), pb.get()), "intersection").get());
}

OverlapFigures ComputeOverlaps(const std::vector<SceneQuad>& quads, const std::vector<bool>& leftOut) {
  OverlapFigures out;
  out.areas.resize(quads.size());
  out.percent.resize(quads.size());

  // Distinct outlines (in order of first appearance) and how many frames
  // that take part have each.
  std::vector<SceneQuad> distinct;
  std::vector<int> copies;
  std::vector<size_t> of(quads.size());
  std::unordered_map<SceneQuad, size_t, QuadHash> known;
  for (size_t n = 0; n < quads.size(); ++n) {
    auto [it, fresh] = known.try_emplace(quads[n], distinct.size());
    if (fresh) {
      distinct.push_back(quads[n]);
      copies.push_back(0);
    }
    of[n] = it->second;
    if (!(n < leftOut.size() && leftOut[n])) ++copies[of[n]];
  }

  // Per distinct outline: its area, the area no other outline covers, and
  // the area no earlier outline covers (its share of the union). Both come
  // from one chain of differences: the outline less each neighbour that its
  // bounding box meets (found through the tree), earlier ones first.
  std::vector<double> area(distinct.size()), uncovered(distinct.size()), share(distinct.size());
  std::vector<char> takesPart(distinct.size(), 0);
  // Each range of outlines has its own GEOS context, polygons and tree, so
  // the threads share nothing but the quads they read.
  ForEachRange(static_cast<int>(distinct.size()), 64, [&](int begin, int end) {
    Geos geos;
    GEOSContextHandle_t h = geos.handle();
    std::vector<Geometry> polygons;
    polygons.reserve(distinct.size());
    for (const SceneQuad& quad : distinct) polygons.push_back(Polygon(geos, quad));
    // Outlines without area take no part: they can cover nothing.
    std::vector<char> inTree(distinct.size(), 0);
    std::unique_ptr<GEOSSTRtree, TreeDeleter> tree(geos.Check(GEOSSTRtree_create_r(h, 10), "tree"),
                                                   TreeDeleter{h});
    for (size_t d = 0; d < distinct.size(); ++d) {
      if (copies[d] == 0) continue;
      if (Area(geos, polygons[d].get()) <= 0) continue;
      GEOSSTRtree_insert_r(h, tree.get(), polygons[d].get(), reinterpret_cast<void*>(d));
      inTree[d] = 1;
    }

    std::vector<size_t> candidates;
    for (size_t d = static_cast<size_t>(begin); d < static_cast<size_t>(end); ++d) {
      area[d] = Area(geos, polygons[d].get());
      if (!inTree[d]) continue;
      takesPart[d] = 1;
      candidates.clear();
      GEOSSTRtree_query_r(
          h, tree.get(), polygons[d].get(),
          [](void* item, void* list) {
            static_cast<std::vector<size_t>*>(list)->push_back(reinterpret_cast<size_t>(item));
          },
          &candidates);
      std::sort(candidates.begin(), candidates.end());  // earlier outlines first
      const Prepared self(geos.Check(GEOSPrepare_r(h, polygons[d].get()), "prepare"), PreparedDeleter{h});
      Geometry remaining = Own(geos, GEOSGeom_clone_r(h, polygons[d].get()), "clone");
      double remainingArea = area[d];
      std::optional<double> earlierShare;
      for (size_t c : candidates) {
        if (c == d) continue;
        if (c > d && !earlierShare) {
          earlierShare = remainingArea;
          if (copies[d] > 1) break;  // its copy covers the rest
        }
        if (remainingArea <= 0) break;
        if (!geos.Predicate(GEOSPreparedIntersects_r(h, self.get(), polygons[c].get()), "intersects"))
          continue;
        remaining = Own(geos, GEOSDifference_r(h, remaining.get(), polygons[c].get()), "difference");
        remainingArea = Area(geos, remaining.get());
      }
      share[d] = earlierShare.value_or(remainingArea);
      uncovered[d] = copies[d] > 1 ? 0 : remainingArea;
    }
  });

  long double unionArea = 0;
  for (size_t d = 0; d < distinct.size(); ++d)
    if (takesPart[d]) unionArea += share[d];
  out.unionArea = static_cast<double>(unionArea);
  for (size_t n = 0; n < quads.size(); ++n) {
    const size_t d = of[n];
    out.areas[n] = area[d];
    const bool left = n < leftOut.size() && leftOut[n];
    if (!left && takesPart[d]) out.percent[n] = Percent(std::max(0.0, area[d] - uncovered[d]), area[d]);
  }
  return out;
}

SceneFigures ComputeFrameFigures(const FovScene& scene) {
  SceneFigures figures;
  const DynamicArray<VT_Point>& footprints = scene.Footprints();
  const int frames = std::min(footprints.Length() / 4, static_cast<int>(scene.Frames().size()));
  figures.frames.resize(static_cast<size_t>(frames));
  for (int n = 0; n < frames; ++n) {
    const FrameProjection& projection = scene.Frames()[static_cast<size_t>(n)];
    FrameFigures& f = figures.frames[static_cast<size_t>(n)];
    f.frame = n + 1;
    if (n < scene.GeometryNames().size()) f.name = scene.GeometryNames()[n].trimmed();
    f.corners = SceneCorners(footprints, n);
    f.gsdRow = RowSampleDistance(projection);
    f.gsdColumn = ColumnSampleDistance(projection);
    f.flags = ProjectionFlags(projection);
    f.flags.notConvex = !IsConvex(f.corners);
    f.stripNeighbour = StripNeighbour(f.frame);
    if (f.flags.any()) ++figures.flaggedCount;
  }
  return figures;
}

SceneFigures ComputeFootprintFigures(const FovScene& scene) {
  SceneFigures figures = ComputeFrameFigures(scene);
  std::vector<SceneQuad> quads;
  std::vector<bool> leftOut;
  quads.reserve(figures.frames.size());
  leftOut.reserve(figures.frames.size());
  for (const FrameFigures& f : figures.frames) {
    quads.push_back(f.corners);
    leftOut.push_back(f.flags.any());
  }

  const OverlapFigures overlaps = ComputeOverlaps(quads, leftOut);
  figures.unionArea = overlaps.unionArea;
  for (size_t n = 0; n < figures.frames.size(); ++n) {
    figures.frames[n].area = overlaps.areas[n];
    figures.frames[n].overlapPercent = overlaps.percent[n];
  }
  for (FrameFigures& f : figures.frames) {
    if (f.stripNeighbour == 0) continue;
    const FrameFigures& other = figures.frames[static_cast<size_t>(f.stripNeighbour - 1)];
    if (!f.overlapPercent || !other.overlapPercent) continue;  // one of them is left out
    StripPair pair;
    pair.frame = f.frame;
    pair.neighbour = other.frame;
    pair.area = IntersectionArea(f.corners, other.corners);
    pair.percentOfFrame = Percent(pair.area, f.area);
    pair.percentOfNeighbour = Percent(pair.area, other.area);
    f.stripOverlapPercent = pair.percentOfFrame;
    figures.stripPairs.push_back(pair);
  }
  return figures;
}

QString FlagWarning(const FrameFigures& frame) {
  QStringList reasons;
  if (frame.flags.horizon) reasons << QStringLiteral("кадр захватывает горизонт");
  if (frame.flags.behindCamera) reasons << QStringLiteral("контур лежит позади камеры");
  if (frame.flags.notConvex) reasons << QStringLiteral("контур не выпуклый");
  return QStringLiteral("Предупреждение: кадр %1 (%2): %3; в перекрытия не включён")
      .arg(frame.frame)
      .arg(frame.name, reasons.join(QStringLiteral(", ")));
}

}  // namespace skarvel
