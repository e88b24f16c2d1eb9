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
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace skarvel {

namespace {

// Output is handed on in blocks of about this size.
constexpr size_t kBlockBytes = 1 << 16;
// Frames are formatted, and their relief figures made, this many at a time.
constexpr int kFramesPerBlock = 1024;

class BlockWriter {
 public:
  explicit BlockWriter(const ByteSink& sink) : sink_(sink) { block_.reserve(kBlockBytes); }
  void Add(const QByteArray& bytes) {
    const auto size = static_cast<size_t>(bytes.size());
    if (block_.size() + size >= kBlockBytes) {
      Flush();
      // A text as long as a block goes on as it is, without a copy.
      if (size >= kBlockBytes) {
        sink_(bytes.constData(), bytes.size());
        return;
      }
    }
    block_.append(bytes.constData(), size);
  }
  void Flush() {
    if (!block_.empty()) sink_(block_.data(), static_cast<qint64>(block_.size()));
    block_.clear();  // keeps its room
  }

 private:
  const ByteSink& sink_;
  std::string block_;
};

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
void AppendReliefCsv(QByteArray& row, const FrameRelief& r) {
  for (const auto& v : {r.area, r.visiblePercent, r.gsdRow, r.gsdColumn}) {
    row += ',';
    if (v) AppendShortest(row, *v);
  }
  row += r.missesSurface ? ",1," : ",0,";
  if (r.outline.empty()) return;
  row += "\"POLYGON((";
  const std::vector<ScenePoint> ring = OutlineRing(r.outline);
  for (size_t i = 0; i < ring.size(); ++i) {
    if (i) row += ',';
    AppendShortest(row, ring[i].x);
    row += ' ';
    AppendShortest(row, ring[i].y);
  }
  row += "))\"";
}

QByteArray CsvHeader(bool relief) {
  return "frame,name,a_x,a_y,b_x,b_y,c_x,c_y,d_x,d_y,area,gsd_row,gsd_column,not_convex,horizon,behind_"
         "camera,"
         "strip_neighbour,strip_overlap_pct,overlap_pct" +
         QByteArray(relief ? ",relief_area,visible_pct,gsd_row_relief,gsd_column_relief,misses_surface,"
                             "relief_outline"
                           : "") +
         "\r\n";
}

QByteArray CsvRow(const FrameFigures& f, const FrameRelief* relief) {
  QByteArray row;
  // A coordinate pair of the outline takes up to about 50 characters.
  row.reserve(400 + (relief != nullptr ? static_cast<qsizetype>(relief->outline.size()) * 50 : 0));
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
  for (bool flag : {f.flags.notConvex, f.flags.horizon, f.flags.behindCamera}) row += flag ? ",1" : ",0";
  row += ',';
  if (f.stripNeighbour > 0) row += QByteArray::number(f.stripNeighbour);
  for (const auto& v : {f.stripOverlapPercent, f.overlapPercent}) {
    row += ',';
    if (v) AppendShortest(row, *v);
  }
  if (relief != nullptr) AppendReliefCsv(row, *relief);
  row += "\r\n";
  return row;
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
  text.reserve(1024 + (relief != nullptr ? static_cast<qsizetype>(relief->outline.size()) * 50 : 0));
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

QByteArray GeoJsonHead(const SceneFigures& figures) {
  // The collection's own members, then the features in the array left open.
  const QJsonObject head{{"type", "FeatureCollection"}, {"union_area", figures.unionArea}};
  QByteArray text = QJsonDocument(head).toJson(QJsonDocument::Compact);
  text.chop(1);  // the closing brace
  return text + ",\"features\":[";
}

// The CSV and the GeoJSON (either may be absent) in one pass over the
// frames, a block of them at a time formatted on every core and handed on
// in order; the GeoJSON is written feature by feature, so that a long list
// never holds the whole document at once. With `source` the relief figures
// are made a block at a time and dropped once the block is written.
void Emit(const SceneFigures& figures, const ReliefSource& source, BlockWriter* csv, BlockWriter* geojson) {
  const bool hasRelief = source || !figures.relief.empty();
  if (csv != nullptr) csv->Add(CsvHeader(hasRelief));
  if (geojson != nullptr) geojson->Add(GeoJsonHead(figures));
  const int count = static_cast<int>(figures.frames.size());
  std::vector<FrameRelief> made;
  std::vector<QByteArray> rows, features;
  for (int start = 0; start < count; start += kFramesPerBlock) {
    const int n = std::min(kFramesPerBlock, count - start);
    if (source) {
      made = source(start, start + n);
      made.resize(static_cast<size_t>(n));
    }
    const auto reliefOf = [&](int i) -> const FrameRelief* {
      if (!hasRelief) return nullptr;
      return source ? &made[static_cast<size_t>(i)] : &figures.relief[static_cast<size_t>(start + i)];
    };
    rows.resize(csv != nullptr ? static_cast<size_t>(n) : 0);
    features.resize(geojson != nullptr ? static_cast<size_t>(n) : 0);
    // Each core's thread takes the next frame not yet taken.
    std::atomic<int> next{0};
    ForEachRange(n, 64, [&](int, int) {
      for (int i = next++; i < n; i = next++) {
        const FrameFigures& f = figures.frames[static_cast<size_t>(start + i)];
        if (csv != nullptr) rows[static_cast<size_t>(i)] = CsvRow(f, reliefOf(i));
        if (geojson != nullptr)
          features[static_cast<size_t>(i)] = (start + i == 0 ? "\n" : ",\n") + FeatureJson(f, reliefOf(i));
      }
    });
    for (const QByteArray& row : rows) csv->Add(row);
    for (const QByteArray& feature : features) geojson->Add(feature);
  }
  if (csv != nullptr) csv->Flush();
  if (geojson != nullptr) {
    geojson->Add("\n]}\n");
    geojson->Flush();
  }
}

QByteArray Collect(const SceneFigures& figures, bool asCsv) {
  QByteArray all;
  const ByteSink sink = [&](const char* data, qint64 size) { all.append(data, size); };
  BlockWriter out(sink);
  Emit(figures, {}, asCsv ? &out : nullptr, asCsv ? nullptr : &out);
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

QByteArray FootprintsCsv(const SceneFigures& figures) { return Collect(figures, true); }

QByteArray FootprintsGeoJson(const SceneFigures& figures) { return Collect(figures, false); }

void WriteFootprintsCsv(const QString& fileName, const SceneFigures& figures) {
  WriteFootprintExports(fileName, QString(), figures, {});
}

void WriteFootprintsGeoJson(const QString& fileName, const SceneFigures& figures) {
  WriteFootprintExports(QString(), fileName, figures, {});
}

void WriteFootprintExports(const QString& csvName, const QString& geojsonName, const SceneFigures& figures,
                           const ReliefSource& relief) {
  if (csvName.isEmpty() && geojsonName.isEmpty()) return;
  if (csvName.isEmpty() || geojsonName.isEmpty()) {
    const bool asCsv = geojsonName.isEmpty();
    WriteFileAtomically(asCsv ? csvName : geojsonName, [&](const ByteSink& sink) {
      BlockWriter out(sink);
      Emit(figures, relief, asCsv ? &out : nullptr, asCsv ? nullptr : &out);
    });
  } else {
    // Both at once, so that the relief figures are made once; a failure
    // while they are made leaves both previous files.
    WriteFileAtomically(csvName, [&](const ByteSink& csvSink) {
      WriteFileAtomically(geojsonName, [&](const ByteSink& geojsonSink) {
        BlockWriter csv(csvSink), geojson(geojsonSink);
        Emit(figures, relief, &csv, &geojson);
      });
    });
  }
}

}  // namespace skarvel
