#include "fov/footprint_export.h"

#include "platform/files.h"
#include "platform/parallel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

#include <algorithm>
#include <functional>
#include <vector>

namespace skarvel {

namespace {

// Output is handed on in blocks of about this size.
constexpr qsizetype kBlockBytes = 1 << 16;

class BlockWriter {
 public:
  explicit BlockWriter(const ByteSink& sink) : sink_(sink) {}
  void Add(const QByteArray& bytes) {
    block_ += bytes;
    if (block_.size() >= kBlockBytes) Flush();
  }
  void Flush() {
    if (!block_.isEmpty()) sink_(block_.constData(), block_.size());
    block_.clear();
  }

 private:
  const ByteSink& sink_;
  QByteArray block_;
};

// The texts of items 0 .. count - 1, made on every core a chunk at a time
// and handed on in order.
void AddInOrder(int count, const std::function<QByteArray(int)>& text, BlockWriter& out) {
  constexpr int kChunk = 4096;
  std::vector<QByteArray> texts(static_cast<size_t>(std::min(count, kChunk)));
  for (int start = 0; start < count; start += kChunk) {
    const int n = std::min(kChunk, count - start);
    ForEachRange(n, 256, [&](int begin, int end) {
      for (int i = begin; i < end; ++i) texts[static_cast<size_t>(i)] = text(start + i);
    });
    for (int i = 0; i < n; ++i) out.Add(texts[static_cast<size_t>(i)]);
  }
}

// The shortest text that reads back to the same double, "." as separator.
QByteArray Number(double value) { return QByteArray::number(value, 'g', QLocale::FloatingPointShortest); }

QByteArray OptionalNumber(const std::optional<double>& value) {
  return value ? Number(*value) : QByteArray();
}

QByteArray CsvField(const QString& text) {
  QByteArray bytes = text.toUtf8();
  if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') && !bytes.contains('\n'))
    return bytes;
  bytes.replace("\"", "\"\"");
  return '"' + bytes + '"';
}

// The relief outline as a closed ring of (x, y) in the GeoJSON's turning
// (counter-clockwise).
std::vector<ScenePoint> OutlineRing(const std::vector<ScenePoint>& outline) {
  std::vector<ScenePoint> ring = outline;
  long double twice = 0;
  for (size_t i = 0; i < ring.size(); ++i) {
    const ScenePoint& a = ring[i];
    const ScenePoint& b = ring[(i + 1) % ring.size()];
    twice += static_cast<long double>(a.x) * b.y - static_cast<long double>(b.x) * a.y;
  }
  if (twice < 0) std::reverse(ring.begin() + 1, ring.end());
  if (!ring.empty()) ring.push_back(ring.front());
  return ring;
}

// The relief columns of a row; the outline as a well-known-text polygon.
QByteArray ReliefCsvFields(const FrameRelief& r) {
  QByteArray fields = ',' + OptionalNumber(r.area) + ',' + OptionalNumber(r.visiblePercent) + ',' +
                      OptionalNumber(r.gsdRow) + ',' + OptionalNumber(r.gsdColumn) +
                      (r.missesSurface ? ",1," : ",0,");
  if (r.outline.empty()) return fields;
  QByteArray wkt = "\"POLYGON((";
  const std::vector<ScenePoint> ring = OutlineRing(r.outline);
  for (size_t i = 0; i < ring.size(); ++i)
    wkt += (i ? "," : "") + Number(ring[i].x) + ' ' + Number(ring[i].y);
  return fields + wkt + "))\"";
}

void EmitCsv(const SceneFigures& figures, const ByteSink& sink) {
  BlockWriter out(sink);
  out.Add(
      "frame,name,a_x,a_y,b_x,b_y,c_x,c_y,d_x,d_y,area,gsd_row,gsd_column,not_convex,horizon,behind_camera,"
      "strip_neighbour,strip_overlap_pct,overlap_pct" +
      QByteArray(figures.relief.empty() ? ""
                                        : ",relief_area,visible_pct,gsd_row_relief,gsd_column_relief,"
                                          "misses_surface,relief_outline") +
      "\r\n");
  AddInOrder(
      static_cast<int>(figures.frames.size()),
      [&](int n) {
        const FrameFigures& f = figures.frames[static_cast<size_t>(n)];
        QByteArray row = QByteArray::number(f.frame) + ',' + CsvField(f.name);
        for (const ScenePoint& p : f.corners) row += ',' + Number(p.x) + ',' + Number(p.y);
        row += ',' + Number(f.area) + ',' + Number(f.gsdRow) + ',' + Number(f.gsdColumn);
        for (bool flag : {f.flags.notConvex, f.flags.horizon, f.flags.behindCamera})
          row += flag ? ",1" : ",0";
        row += ',' + (f.stripNeighbour > 0 ? QByteArray::number(f.stripNeighbour) : QByteArray());
        row += ',' + OptionalNumber(f.stripOverlapPercent) + ',' + OptionalNumber(f.overlapPercent);
        if (!figures.relief.empty()) row += ReliefCsvFields(figures.relief[static_cast<size_t>(n)]);
        return row + "\r\n";
      },
      out);
  out.Flush();
}

QJsonValue OptionalJson(const std::optional<double>& value) {
  return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonObject Feature(const FrameFigures& f, const FrameRelief* relief) {
  const bool reversed = RingReversed(f.corners);
  QJsonArray ring;
  static constexpr int kForward[] = {0, 1, 2, 3, 0}, kBackward[] = {0, 3, 2, 1, 0};
  for (int i : reversed ? kBackward : kForward) ring.append(QJsonArray{f.corners[i].x, f.corners[i].y});
  // Keys in their sorted order: a JSON object keeps them sorted, and
  // inserting at the end is the cheap case.
  const QJsonObject geometry{{"coordinates", QJsonArray{ring}}, {"type", "Polygon"}};
  const QJsonObject properties{
      {"area", f.area},
      {"behind_camera", f.flags.behindCamera},
      {"corner_order", reversed ? "ADCB" : "ABCD"},
      {"frame", f.frame},
      {"gsd_column", f.gsdColumn},
      {"gsd_row", f.gsdRow},
      {"horizon", f.flags.horizon},
      {"name", f.name},
      {"not_convex", f.flags.notConvex},
      {"overlap_pct", OptionalJson(f.overlapPercent)},
      {"strip_neighbour", f.stripNeighbour > 0 ? QJsonValue(f.stripNeighbour) : QJsonValue(QJsonValue::Null)},
      {"strip_overlap_pct", OptionalJson(f.stripOverlapPercent)},
  };
  if (relief == nullptr)
    return QJsonObject{
        {"geometry", geometry}, {"id", f.frame}, {"properties", properties}, {"type", "Feature"}};
  // With a relief the geometry is the relief outline (none when a border ray
  // misses the surface), and the plane corners stay in the properties.
  QJsonObject withRelief = properties;
  static constexpr const char* kCorners[4][2] = {
      {"a_x", "a_y"}, {"b_x", "b_y"}, {"c_x", "c_y"}, {"d_x", "d_y"}};
  for (int i = 0; i < 4; ++i) {
    withRelief.insert(kCorners[i][0], f.corners[static_cast<size_t>(i)].x);
    withRelief.insert(kCorners[i][1], f.corners[static_cast<size_t>(i)].y);
  }
  withRelief.insert("relief_area", OptionalJson(relief->area));
  withRelief.insert("visible_pct", OptionalJson(relief->visiblePercent));
  withRelief.insert("gsd_row_relief", OptionalJson(relief->gsdRow));
  withRelief.insert("gsd_column_relief", OptionalJson(relief->gsdColumn));
  withRelief.insert("misses_surface", relief->missesSurface);
  QJsonValue outline(QJsonValue::Null);
  if (!relief->outline.empty()) {
    QJsonArray points;
    for (const ScenePoint& p : OutlineRing(relief->outline)) points.append(QJsonArray{p.x, p.y});
    outline = QJsonObject{{"coordinates", QJsonArray{points}}, {"type", "Polygon"}};
  }
  return QJsonObject{{"geometry", outline}, {"id", f.frame}, {"properties", withRelief}, {"type", "Feature"}};
}

// The collection is written feature by feature, each made by Qt's JSON
// classes, so that a long list never holds the whole document as objects.
void EmitGeoJson(const SceneFigures& figures, const ByteSink& sink) {
  BlockWriter out(sink);
  // The collection's own members, then the features in the array left open.
  const QJsonObject head{{"type", "FeatureCollection"}, {"union_area", figures.unionArea}};
  QByteArray text = QJsonDocument(head).toJson(QJsonDocument::Compact);
  text.chop(1);  // the closing brace
  out.Add(text + ",\"features\":[");
  AddInOrder(
      static_cast<int>(figures.frames.size()),
      [&](int n) {
        return (n == 0 ? "\n" : ",\n") +
               QJsonDocument(
                   Feature(figures.frames[static_cast<size_t>(n)],
                           figures.relief.empty() ? nullptr : &figures.relief[static_cast<size_t>(n)]))
                   .toJson(QJsonDocument::Compact);
      },
      out);
  out.Add("\n]}\n");
  out.Flush();
}

QByteArray Collect(void (*emitter)(const SceneFigures&, const ByteSink&), const SceneFigures& figures) {
  QByteArray all;
  emitter(figures, [&](const char* data, qint64 size) { all.append(data, size); });
  return all;
}

}  // namespace

bool RingReversed(const SceneQuad& q) {
  if (!IsConvex(q)) return false;
  const long double turn =
      (static_cast<long double>(q[1].x) - q[0].x) * (static_cast<long double>(q[2].y) - q[1].y) -
      (static_cast<long double>(q[1].y) - q[0].y) * (static_cast<long double>(q[2].x) - q[1].x);
  return turn < 0;
}

QByteArray FootprintsCsv(const SceneFigures& figures) { return Collect(EmitCsv, figures); }

QByteArray FootprintsGeoJson(const SceneFigures& figures) { return Collect(EmitGeoJson, figures); }

void WriteFootprintsCsv(const QString& fileName, const SceneFigures& figures) {
  WriteFileAtomically(fileName, [&](const ByteSink& sink) { EmitCsv(figures, sink); });
}

void WriteFootprintsGeoJson(const QString& fileName, const SceneFigures& figures) {
  WriteFileAtomically(fileName, [&](const ByteSink& sink) { EmitGeoJson(figures, sink); });
}

}  // namespace skarvel
