#include "footprints/footprint_figures.h"

#include "geometry/polygon.h"
#include "platform/error.h"
#include "platform/float_checks.h"
#include "platform/parallel.h"

#include <geos_c.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
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

double Distance(const VT_Point& a, const VT_Point& b) {
  return fp::ToDouble(std::hypot(static_cast<long double>(b.X) - a.X, static_cast<long double>(b.Y) - a.Y));
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

bool IsConvex(const SceneQuad& q) { return IsStrictlyConvex(q); }

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

namespace {

// The distinct outlines of a scene (in order of first appearance), how many
// frames that take part have each, and which one each frame has.
struct Distinct {
  std::vector<SceneQuad> outlines;
  std::vector<int> copies;
  std::vector<size_t> of;
};

Distinct DistinctOutlines(const std::vector<SceneQuad>& quads, const std::vector<bool>& leftOut) {
  Distinct out;
  out.of.resize(quads.size());
  std::unordered_map<SceneQuad, size_t, QuadHash> known;
  for (size_t n = 0; n < quads.size(); ++n) {
    auto [it, fresh] = known.try_emplace(quads[n], out.outlines.size());
    if (fresh) {
      out.outlines.push_back(quads[n]);
      out.copies.push_back(0);
    }
    out.of[n] = it->second;
    if (!(n < leftOut.size() && leftOut[n])) ++out.copies[out.of[n]];
  }
  return out;
}

// One distinct outline's chain of differences: the outline less each
// neighbour that next() gives (ascending, nothing after the last), earlier
// ones first. What the
// earlier ones leave is its share of the union; what all of them leave is
// the part no other outline covers (none when a copy of it covers it).
// `subtract(c)` takes neighbour c from what is left and gives the area left
// then, or nothing when c does not meet it.
struct Chain {
  double share = 0;
  double uncovered = 0;
};

template <typename Next, typename Subtract>
Chain ChainOfDifferences(size_t d, Next&& next, int copies, double area, Subtract&& subtract) {
  double remainingArea = area;
  std::optional<double> earlierShare;
  for (std::optional<size_t> candidate = next(); candidate; candidate = next()) {
    const size_t c = *candidate;
    if (c == d) continue;
    if (c > d && !earlierShare) {
      earlierShare = remainingArea;
      if (copies > 1) break;  // its copy covers the rest
    }
    if (remainingArea <= 0) break;
    if (const std::optional<double> left = subtract(c)) remainingArea = *left;
  }
  return {earlierShare.value_or(remainingArea), copies > 1 ? 0 : remainingArea};
}

// The figures of each frame from those of its distinct outline: its area,
// the share of the union it adds (summed over the outlines that take part)
// and the area of it no other outline covers.
OverlapFigures OverlapsPerFrame(const std::vector<bool>& leftOut, const Distinct& found,
                                const std::vector<double>& area, const std::vector<char>& takesPart,
                                const std::vector<double>& share, const std::vector<double>& uncovered) {
  OverlapFigures out;
  const size_t frames = found.of.size();
  out.areas.resize(frames);
  out.percent.resize(frames);
  long double unionArea = 0;
  for (size_t d = 0; d < found.outlines.size(); ++d)
    if (takesPart[d]) unionArea += share[d];
  out.unionArea = static_cast<double>(unionArea);
  for (size_t n = 0; n < frames; ++n) {
    const size_t d = found.of[n];
    out.areas[n] = area[d];
    const bool left = n < leftOut.size() && leftOut[n];
    if (!left && takesPart[d]) out.percent[n] = Percent(std::max(0.0, area[d] - uncovered[d]), area[d]);
  }
  return out;
}

// The general way, for outlines that are not all convex: GEOS differences.
OverlapFigures OverlapsByGeos(const std::vector<SceneQuad>& quads, const std::vector<bool>& leftOut) {
  const Distinct found = DistinctOutlines(quads, leftOut);
  const std::vector<SceneQuad>& distinct = found.outlines;
  const std::vector<int>& copies = found.copies;

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
      const Chain chain = ChainOfDifferences(
          d,
          [&, i = size_t{0}]() mutable -> std::optional<size_t> {
            if (i == candidates.size()) return std::nullopt;
            return candidates[i++];
          },
          copies[d], area[d],
          [&](size_t c) -> std::optional<double> {
            if (!geos.Predicate(GEOSPreparedIntersects_r(h, self.get(), polygons[c].get()), "intersects"))
              return std::nullopt;
            remaining = Own(geos, GEOSDifference_r(h, remaining.get(), polygons[c].get()), "difference");
            return Area(geos, remaining.get());
          });
      share[d] = chain.share;
      uncovered[d] = chain.uncovered;
    }
  });

  return OverlapsPerFrame(leftOut, found, area, takesPart, share, uncovered);
}

// Convex outlines: each frame's outline less its neighbours, as disjoint
// convex pieces. The difference of a convex piece and a convex outline is
// the piece's parts outside each edge of the outline in turn (the part
// outside edge k and inside edges 0 .. k - 1), so a chain of differences
// keeps a list of convex pieces whose areas add up. Points and areas are
// computed in extended precision; the areas of the outlines themselves
// follow the shoelace sum about the first corner's X, in doubles, as GEOS
// computes a polygon's area.

struct PointL {
  long double x = 0;
  long double y = 0;
};
using Piece = std::vector<PointL>;

struct Box {
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  bool Meets(const Box& o) const {
    return minX <= o.maxX && o.minX <= maxX && minY <= o.maxY && o.minY <= maxY;
  }
};

Box BoxOf(const SceneQuad& q) {
  Box b{q[0].x, q[0].y, q[0].x, q[0].y};
  for (const ScenePoint& p : q) {
    b.minX = std::min(b.minX, p.x);
    b.maxX = std::max(b.maxX, p.x);
    b.minY = std::min(b.minY, p.y);
    b.maxY = std::max(b.maxY, p.y);
  }
  return b;
}

// An edge's line; the outline lies on its left (Side >= 0).
struct Edge {
  long double x = 0, y = 0, dx = 0, dy = 0;
  long double Side(const PointL& p) const { return dx * (p.y - y) - dy * (p.x - x); }
};

// A convex outline's edges, counter-clockwise.
std::array<Edge, 4> EdgesOf(const SceneQuad& q) {
  const bool clockwise = Turn(q[0], q[1], q[2]) < 0;
  std::array<Edge, 4> edges;
  for (int i = 0; i < 4; ++i) {
    const ScenePoint& a = q[clockwise ? (4 - i) % 4 : i];
    const ScenePoint& b = q[clockwise ? (3 - i) % 4 : (i + 1) % 4];
    edges[static_cast<size_t>(i)] = {a.x, a.y, static_cast<long double>(b.x) - a.x,
                                     static_cast<long double>(b.y) - a.y};
  }
  return edges;
}

// Working storage of one thread.
struct Scratch {
  std::vector<Piece> pieces, next;
  Piece rest, inside, outside;
  std::vector<long double> sides;
};

// Splits `piece` by a line into the parts on its left and right, from the
// sides of its points (s.sides).
void Split(const Piece& piece, Scratch& s) {
  s.inside.clear();
  s.outside.clear();
  const size_t n = piece.size();
  for (size_t i = 0; i < n; ++i) {
    const PointL& p = piece[i];
    const PointL& q = piece[(i + 1) % n];
    const long double sp = s.sides[i], sq = s.sides[(i + 1) % n];
    if (sp >= 0) s.inside.push_back(p);
    if (sp <= 0) s.outside.push_back(p);
    if ((sp > 0 && sq < 0) || (sp < 0 && sq > 0)) {
      const long double t = sp / (sp - sq);
      const PointL cut{p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t};
      s.inside.push_back(cut);
      s.outside.push_back(cut);
    }
  }
}

// Adds to s.next the parts of `piece` outside the convex outline; false
// when none of it lies inside (the piece is then added as it was).
bool Subtract(const Piece& piece, const std::array<Edge, 4>& edges, Scratch& s) {
  const size_t firstNew = s.next.size();
  s.rest = piece;
  for (const Edge& edge : edges) {
    s.sides.resize(s.rest.size());
    bool in = false, out = false;
    for (size_t i = 0; i < s.rest.size(); ++i) {
      s.sides[i] = edge.Side(s.rest[i]);
      in = in || s.sides[i] > 0;
      out = out || s.sides[i] < 0;
    }
    if (!out) continue;  // on the outline's side of this edge
    if (!in) {
      // Outside this edge, what is left of the piece misses the outline, and
      // so does every part cut off before: the piece stays whole.
      s.next.resize(firstNew);
      s.next.push_back(piece);
      return false;
    }
    Split(s.rest, s);
    if (FanArea(s.outside) > 0) s.next.push_back(s.outside);
    std::swap(s.rest, s.inside);
  }
  return true;  // what is left lies inside the outline
}

// Outlines by the cells of a grid that their bounding boxes meet, for the
// candidates of an outline's differences. Outlines that would fill many
// cells are kept apart and offered to every query.
class Grid {
  // A box over more cells than this is answered from the list of all.
  static constexpr long long kLargeCells = 64;
  // An outline in a cell, with the first cell of its own.
  struct Item {
    size_t d = 0;
    int x0 = 0, y0 = 0;
  };

 public:
  Grid(const std::vector<Box>& boxes, const std::vector<char>& member) {
    std::vector<double> widths, heights;
    bool first = true;
    for (size_t d = 0; d < boxes.size(); ++d) {
      if (!member[d]) continue;
      const Box& b = boxes[d];
      widths.push_back(b.maxX - b.minX);
      heights.push_back(b.maxY - b.minY);
      if (first) all_ = b;
      all_ = {std::min(all_.minX, b.minX), std::min(all_.minY, b.minY), std::max(all_.maxX, b.maxX),
              std::max(all_.maxY, b.maxY)};
      first = false;
    }
    if (widths.empty()) return;
    auto median = [](std::vector<double>& v) {
      std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
      return v[v.size() / 2];
    };
    const double spanX = all_.maxX - all_.minX, spanY = all_.maxY - all_.minY;
    cell_ = std::max(median(widths), median(heights));
    // At most about four cells per outline.
    const double cells = static_cast<double>(4 * widths.size() + 16);
    if (!(cell_ > 0) || (spanX / cell_ + 1) * (spanY / cell_ + 1) > cells)
      cell_ = std::max({cell_, std::sqrt(spanX * spanY / cells), std::max(spanX, spanY) / cells});
    // Spans beyond the range of a double (or no usable cell size) leave one
    // cell for all.
    if (cell_ > 0 && std::isfinite(cell_) && std::isfinite(spanX) && std::isfinite(spanY)) {
      nx_ = static_cast<int>(std::min(cells, spanX / cell_ + 1));
      ny_ = static_cast<int>(std::min(cells, spanY / cell_ + 1));
    }

    std::vector<int> count(static_cast<size_t>(nx_) * static_cast<size_t>(ny_) + 1, 0);
    ForCells(boxes, member, [&](size_t, size_t c) { ++count[c + 1]; });
    for (size_t c = 1; c < count.size(); ++c) count[c] += count[c - 1];
    start_ = count;
    items_.resize(static_cast<size_t>(count.back()));
    ForCells(boxes, member, [&](size_t d, size_t c) {
      int x0, x1, y0, y1;
      Range(boxes[d], x0, x1, y0, y1);
      items_[static_cast<size_t>(count[c]++)] = {d, x0, y0};
    });
  }

  // The members whose boxes meet a box, ascending, `self` among them when
  // it is a member, one at a time as they are asked for: a chain of
  // differences that has used up its outline asks for no more, and the
  // cells' members beyond are never looked at. Over a survey many frames
  // deep that is most of them.
  class Cursor {
   public:
    Cursor(const Grid& grid, const Box& box, const std::vector<Box>& boxes) : box_(box), boxes_(boxes) {
      if (grid.items_.empty() && grid.large_.empty()) return;
      grid.Range(box, x0_, x1_, y0_, y1_);
      if (static_cast<long long>(x1_ - x0_ + 1) * (y1_ - y0_ + 1) > kLargeCells) {
        // Too many cells: every member in turn.
        Add({.id = grid.members_.data(), .idEnd = grid.members_.data() + grid.members_.size()});
        return;
      }
      for (int y = y0_; y <= y1_; ++y)
        for (int x = x0_; x <= x1_; ++x) {
          const size_t c = static_cast<size_t>(y) * static_cast<size_t>(grid.nx_) + static_cast<size_t>(x);
          Add({.item = grid.items_.data() + grid.start_[c],
               .itemEnd = grid.items_.data() + grid.start_[c + 1],
               .x = x,
               .y = y});
        }
      Add({.id = grid.large_.data(), .idEnd = grid.large_.data() + grid.large_.size()});
    }

    // The next member, or none after the last.
    std::optional<size_t> operator()() {
      int best = -1;
      for (int k = 0; k < count_; ++k)
        if (!heads_[k].Done() && (best < 0 || heads_[k].Id() < heads_[best].Id())) best = k;
      if (best < 0) return std::nullopt;
      Run& run = heads_[best];
      const size_t d = run.Id();
      run.Advance();
      Seek(run);
      return d;
    }

   private:
    // A run of members, ascending: a cell's items (each taken only in the
    // first cell of the box it lies in, so that none comes twice) or a plain
    // list of them.
    struct Run {
      const Item* item = nullptr;
      const Item* itemEnd = nullptr;
      const size_t* id = nullptr;
      const size_t* idEnd = nullptr;
      int x = 0, y = 0;  // the cell's
      bool Done() const { return item == itemEnd && id == idEnd; }
      size_t Id() const { return item != itemEnd ? item->d : *id; }
      void Advance() {
        if (item != itemEnd)
          ++item;
        else
          ++id;
      }
    };
    bool Takes(const Run& run) const {
      if (run.item == run.itemEnd) return boxes_[*run.id].Meets(box_);
      return run.x == std::max(x0_, run.item->x0) && run.y == std::max(y0_, run.item->y0) &&
             boxes_[run.item->d].Meets(box_);
    }
    // On to the run's next member it takes (or its end).
    void Seek(Run& run) const {
      while (!run.Done() && !Takes(run)) run.Advance();
    }
    void Add(const Run& run) {
      if (run.Done()) return;
      heads_[count_] = run;
      Seek(heads_[count_++]);
    }

    const Box& box_;
    const std::vector<Box>& boxes_;
    int x0_ = 0, x1_ = 0, y0_ = 0, y1_ = 0;
    Run heads_[kLargeCells + 1];
    int count_ = 0;
  };

 private:
  void Range(const Box& b, int& x0, int& x1, int& y0, int& y1) const {
    x0 = x1 = y0 = y1 = 0;
    if (nx_ == 1 && ny_ == 1) return;
    auto index = [&](double v, double origin, int n) {
      const double i = std::floor((v - origin) / cell_);
      return i < 0 ? 0 : i >= n - 1 ? n - 1 : static_cast<int>(i);
    };
    x0 = index(b.minX, all_.minX, nx_);
    x1 = index(b.maxX, all_.minX, nx_);
    y0 = index(b.minY, all_.minY, ny_);
    y1 = index(b.maxY, all_.minY, ny_);
  }

  template <typename F>
  void ForCells(const std::vector<Box>& boxes, const std::vector<char>& member, F&& f) {
    const bool firstPass = members_.empty();
    for (size_t d = 0; d < boxes.size(); ++d) {
      if (!member[d]) continue;
      int x0, x1, y0, y1;
      Range(boxes[d], x0, x1, y0, y1);
      if (static_cast<long long>(x1 - x0 + 1) * (y1 - y0 + 1) > kLargeCells) {
        if (firstPass) large_.push_back(d);
      } else {
        for (int y = y0; y <= y1; ++y)
          for (int x = x0; x <= x1; ++x)
            f(d, static_cast<size_t>(y) * static_cast<size_t>(nx_) + static_cast<size_t>(x));
      }
    }
    if (firstPass)
      for (size_t d = 0; d < boxes.size(); ++d)
        if (member[d]) members_.push_back(d);
  }

  Box all_;
  double cell_ = 1;
  int nx_ = 1, ny_ = 1;
  std::vector<int> start_;
  std::vector<Item> items_;  // per cell, ascending
  std::vector<size_t> large_, members_;
};
}  // namespace

OverlapFigures ComputeOverlaps(const std::vector<SceneQuad>& quads, const std::vector<bool>& leftOut) {
  const Distinct found = DistinctOutlines(quads, leftOut);
  const std::vector<SceneQuad>& distinct = found.outlines;
  const std::vector<int>& copies = found.copies;

  // Outlines without area take no part: they can cover nothing. The convex
  // pieces need every outline that takes part convex; others go to GEOS.
  std::vector<double> area(distinct.size());
  std::vector<char> takesPart(distinct.size(), 0);
  std::vector<Box> boxes(distinct.size());
  for (size_t d = 0; d < distinct.size(); ++d) {
    area[d] = RingAreaAboutFirstX(distinct[d]);
    boxes[d] = BoxOf(distinct[d]);
    takesPart[d] = copies[d] > 0 && area[d] > 0;
    if (takesPart[d] && !IsConvex(distinct[d])) return OverlapsByGeos(quads, leftOut);
  }
  std::vector<std::array<Edge, 4>> edges(distinct.size());
  for (size_t d = 0; d < distinct.size(); ++d)
    if (takesPart[d]) edges[d] = EdgesOf(distinct[d]);
  const Grid grid(boxes, takesPart);

  // Per distinct outline: the area no other outline covers, and the area no
  // earlier outline covers (its share of the union), from one chain of
  // differences: the outline less each neighbour, earlier ones first.
  std::vector<double> uncovered(distinct.size()), share(distinct.size());
  ForEachRange(static_cast<int>(distinct.size()), 256, [&](int begin, int end) {
    Scratch s;
    for (size_t d = static_cast<size_t>(begin); d < static_cast<size_t>(end); ++d) {
      if (!takesPart[d]) continue;
      Grid::Cursor candidates(grid, boxes[d], boxes);
      // The outline as a piece, counter-clockwise as its edges run.
      s.pieces.assign(1, Piece());
      for (const Edge& e : edges[d]) s.pieces[0].push_back({e.x, e.y});
      const Chain chain =
          ChainOfDifferences(d, candidates, copies[d], area[d], [&](size_t c) -> std::optional<double> {
            s.next.clear();
            bool changed = false;
            for (const Piece& piece : s.pieces) changed = Subtract(piece, edges[c], s) || changed;
            if (!changed) return std::nullopt;
            std::swap(s.pieces, s.next);
            long double sum = 0;
            for (const Piece& piece : s.pieces) sum += FanArea(piece);
            return static_cast<double>(std::max(0.0L, sum));
          });
      share[d] = chain.share;
      uncovered[d] = chain.uncovered;
    }
  });

  return OverlapsPerFrame(leftOut, found, area, takesPart, share, uncovered);
}

SceneFigures ComputeFrameFigures(const SceneFrames& scene) {
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

SceneFigures ComputeFootprintFigures(const SceneFrames& scene) {
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
