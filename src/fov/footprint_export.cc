#include "fov/footprint_export.h"

#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/parallel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>
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
QByteArray Number(double value) { return FormatShortest(value); }

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
        QByteArray row;
        row.reserve(400);
        row += QByteArray::number(f.frame);
        row += ',';
        row += CsvField(f.name);
        for (const ScenePoint& p : f.corners) {
          row += ',';
          AppendShortest(row, p.x);
          row += ',';
          AppendShortest(row, p.y);
        }
        for (double v : {f.area, f.gsdRow, f.gsdColumn}) {
          row += ',';
          AppendShortest(row, v);
        }
        for (bool flag : {f.flags.notConvex, f.flags.horizon, f.flags.behindCamera})
          row += flag ? ",1" : ",0";
        row += ',';
        if (f.stripNeighbour > 0) row += QByteArray::number(f.stripNeighbour);
        for (const auto& v : {f.stripOverlapPercent, f.overlapPercent}) {
          row += ',';
          if (v) AppendShortest(row, *v);
        }
        if (!figures.relief.empty()) row += ReliefCsvFields(figures.relief[static_cast<size_t>(n)]);
        row += "\r\n";
        return row;
      },
      out);
  out.Flush();
}

// JSON texts are written directly, spelled exactly as Qt's compact JSON
// writer spells them: numbers that are not whole in their shortest form,
// plain names as they stand; whole numbers, infinities and names that need
// escapes go through Qt's writer itself.
QByteArray QtJsonText(const QJsonValue& value) {
  QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
  return text.mid(1, text.size() - 2);  // without the brackets
}

void AppendJsonNumber(QByteArray& out, double value) {
  if (std::isfinite(value) && value != std::trunc(value))
    AppendShortest(out, value);
  else
    out += QtJsonText(QJsonValue(value));
}

void AppendOptionalJson(QByteArray& out, const std::optional<double>& value) {
  if (value)
    AppendJsonNumber(out, *value);
  else
    out += "null";
}

void AppendJsonString(QByteArray& out, const QString& text) {
  const bool plain = std::all_of(text.begin(), text.end(), [](QChar c) {
    return c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'"' && c != u'\\';
  });
  if (!plain) {
    out += QtJsonText(QJsonValue(text));
    return;
  }
  out += '"';
  out += text.toLatin1();
  out += '"';
}

void AppendRing(QByteArray& out, const ScenePoint* points, const int* order, size_t count) {
  out += "{\"coordinates\":[[";
  for (size_t i = 0; i < count; ++i) {
    if (i) out += ',';
    out += '[';
    AppendJsonNumber(out, points[order ? order[i] : i].x);
    out += ',';
    AppendJsonNumber(out, points[order ? order[i] : i].y);
    out += ']';
  }
  out += "]],\"type\":\"Polygon\"}";
}

// One feature as compact JSON, its members in sorted order as a JSON object
// keeps them.
QByteArray FeatureJson(const FrameFigures& f, const FrameRelief* relief) {
  const bool reversed = RingReversed(f.corners);
  static constexpr int kForward[] = {0, 1, 2, 3, 0}, kBackward[] = {0, 3, 2, 1, 0};
  QByteArray text;
  text.reserve(1024);
  auto key = [&text](const char* name, bool first = false) {
    if (!first) text += ',';
    text += '"';
    text += name;
    text += "\":";
  };
  auto boolean = [](bool b) { return b ? "true" : "false"; };
  auto neighbour = [&f](QByteArray& out) {
    if (f.stripNeighbour > 0)
      out += QByteArray::number(f.stripNeighbour);
    else
      out += "null";
  };
  if (relief == nullptr) {
    text += "{\"geometry\":";
    AppendRing(text, f.corners.data(), reversed ? kBackward : kForward, 5);
    text += ",\"id\":";
    text += QByteArray::number(f.frame);
    text += ",\"properties\":{";
    key("area", true);
    AppendJsonNumber(text, f.area);
    key("behind_camera");
    text += boolean(f.flags.behindCamera);
    key("corner_order");
    text += reversed ? "\"ADCB\"" : "\"ABCD\"";
    key("frame");
    text += QByteArray::number(f.frame);
    key("gsd_column");
    AppendJsonNumber(text, f.gsdColumn);
    key("gsd_row");
    AppendJsonNumber(text, f.gsdRow);
    key("horizon");
    text += boolean(f.flags.horizon);
    key("name");
    AppendJsonString(text, f.name);
    key("not_convex");
    text += boolean(f.flags.notConvex);
    key("overlap_pct");
    AppendOptionalJson(text, f.overlapPercent);
    key("strip_neighbour");
    neighbour(text);
    key("strip_overlap_pct");
    AppendOptionalJson(text, f.stripOverlapPercent);
    text += "},\"type\":\"Feature\"}";
    return text;
  }

  // With a relief the geometry is the relief outline (none when a border ray
  // misses the surface), and the plane corners stay in the properties.
  auto number = [](double v) {
    QByteArray t;
    AppendJsonNumber(t, v);
    return t;
  };
  auto optional = [](const std::optional<double>& v) {
    QByteArray t;
    AppendOptionalJson(t, v);
    return t;
  };
  QByteArray name, strip;
  AppendJsonString(name, f.name);
  neighbour(strip);
  std::vector<std::pair<const char*, QByteArray>> members{
      {"area", number(f.area)},
      {"behind_camera", boolean(f.flags.behindCamera)},
      {"corner_order", reversed ? "\"ADCB\"" : "\"ABCD\""},
      {"frame", QByteArray::number(f.frame)},
      {"gsd_column", number(f.gsdColumn)},
      {"gsd_row", number(f.gsdRow)},
      {"horizon", boolean(f.flags.horizon)},
      {"name", name},
      {"not_convex", boolean(f.flags.notConvex)},
      {"overlap_pct", optional(f.overlapPercent)},
      {"strip_neighbour", strip},
      {"strip_overlap_pct", optional(f.stripOverlapPercent)},
  };
  static constexpr const char* kCorners[4][2] = {
      {"a_x", "a_y"}, {"b_x", "b_y"}, {"c_x", "c_y"}, {"d_x", "d_y"}};
  for (int i = 0; i < 4; ++i) {
    members.emplace_back(kCorners[i][0], number(f.corners[static_cast<size_t>(i)].x));
    members.emplace_back(kCorners[i][1], number(f.corners[static_cast<size_t>(i)].y));
  }
  members.emplace_back("relief_area", optional(relief->area));
  members.emplace_back("visible_pct", optional(relief->visiblePercent));
  members.emplace_back("gsd_row_relief", optional(relief->gsdRow));
  members.emplace_back("gsd_column_relief", optional(relief->gsdColumn));
  members.emplace_back("misses_surface", boolean(relief->missesSurface));
  std::sort(members.begin(), members.end(),
            [](const auto& a, const auto& b) { return std::strcmp(a.first, b.first) < 0; });
  text += "{\"geometry\":";
  if (relief->outline.empty()) {
    text += "null";
  } else {
    const std::vector<ScenePoint> ring = OutlineRing(relief->outline);
    AppendRing(text, ring.data(), nullptr, ring.size());
  }
  text += ",\"id\":";
  text += QByteArray::number(f.frame);
  text += ",\"properties\":{";
  for (size_t i = 0; i < members.size(); ++i) {
    key(members[i].first, i == 0);
    text += members[i].second;
  }
  text += "},\"type\":\"Feature\"}";
  return text;
}

// The collection is written feature by feature, so that a long list never
// holds the whole document at once.
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
               FeatureJson(figures.frames[static_cast<size_t>(n)],
                           figures.relief.empty() ? nullptr : &figures.relief[static_cast<size_t>(n)]);
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
