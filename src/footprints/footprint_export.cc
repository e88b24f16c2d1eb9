#include "footprints/footprint_export.h"

#include "geometry/polygon.h"
#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/parallel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace skarvel {

namespace {

// Output is handed on in blocks of about this size.
constexpr size_t kBlockBytes = 1 << 16;
// The relief figures are made this many frames at a time,
constexpr int kFramesPerBlock = 1024;
// and the texts formatted this many at a time, in buffers used again for
// the next ones (kept few, so that they stay in memory the process has).
constexpr int kFramesPerBatch = 128;

class BlockWriter {
 public:
  explicit BlockWriter(const ByteSink& sink) : sink_(sink) { block_.reserve(kBlockBytes); }
  void Add(const char* data, size_t size) {
    if (block_.size() + size >= kBlockBytes) {
      Flush();
      // A text as long as a block goes on as it is, without a copy.
      if (size >= kBlockBytes) {
        sink_(data, static_cast<qint64>(size));
        return;
      }
    }
    block_.append(data, size);
  }
  void Add(const QByteArray& bytes) { Add(bytes.constData(), static_cast<size_t>(bytes.size())); }
  void Flush() {
    if (!block_.empty()) sink_(block_.data(), static_cast<qint64>(block_.size()));
    block_.clear();  // keeps its room
  }

 private:
  const ByteSink& sink_;
  std::string block_;
};

// The text of one row or feature, written in place: room is made once for
// what comes next and the characters are put there through a pointer. It
// keeps its room when cleared, so that a text made again for the next block
// of frames takes no new memory.
class Text {
 public:
  void Clear() { size_ = 0; }
  const char* Data() const { return bytes_.get(); }
  size_t Size() const { return size_; }

  // Where the next `n` characters go; End() marks where they stopped.
  char* Room(size_t n) {
    if (capacity_ - size_ < n) Grow(std::max(2 * capacity_, size_ + n));
    return bytes_.get() + size_;
  }
  void End(const char* end) { size_ = static_cast<size_t>(end - bytes_.get()); }
  // Room for about as much as the whole text takes.
  void Reserve(size_t n) {
    if (capacity_ < n) Grow(n);
  }

  Text& operator<<(char c) {
    *Room(1) = c;
    ++size_;
    return *this;
  }
  Text& operator<<(std::string_view text) {
    std::memcpy(Room(text.size()), text.data(), text.size());
    size_ += text.size();
    return *this;
  }
  Text& operator<<(const char* text) { return *this << std::string_view(text); }
  Text& operator<<(const QByteArray& text) {
    return *this << std::string_view(text.constData(), static_cast<size_t>(text.size()));
  }
  void Integer(int value) {
    char* at = Room(16);
    End(std::to_chars(at, at + 16, value).ptr);
  }
  void Number(double value) { End(WriteShortest(Room(kShortestRoom), value)); }

 private:
  // Left unset: only what was written is ever read.
  void Grow(size_t capacity) {
    std::unique_ptr<char[]> bytes(new char[capacity]);
    if (size_ > 0) std::memcpy(bytes.get(), bytes_.get(), size_);
    bytes_ = std::move(bytes);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> bytes_;
  size_t capacity_ = 0;
  size_t size_ = 0;
};

QByteArray CsvField(const QString& text) {
  QByteArray bytes = text.toUtf8();
  if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') && !bytes.contains('\n'))
    return bytes;
  bytes.replace("\"", "\"\"");
  return '"' + bytes + '"';
}

// Calls point(p, first) for each point of the relief outline as a closed
// ring in the GeoJSON's turning (counter-clockwise), the last one the first
// again: a clockwise outline is read from its first point backwards.
template <typename Point>
void ForEachRingPoint(const std::vector<ScenePoint>& outline, const Point& point) {
  const size_t n = outline.size();
  if (n == 0) return;
  long double twice = 0;
  for (size_t i = 0; i < n; ++i) {
    const ScenePoint& a = outline[i];
    const ScenePoint& b = outline[i + 1 < n ? i + 1 : 0];
    twice += static_cast<long double>(a.x) * b.y - static_cast<long double>(b.x) * a.y;
  }
  point(outline[0], true);
  if (twice < 0)
    for (size_t i = n - 1; i > 0; --i) point(outline[i], false);
  else
    for (size_t i = 1; i < n; ++i) point(outline[i], false);
  point(outline[0], false);
}

// What a text with `relief` takes at most, about: a coordinate pair of the
// outline takes up to about 50 characters.
size_t TextSize(const FrameRelief* relief) {
  return 1024 + (relief != nullptr ? relief->outline.size() * 50 : 0);
}

// JSON texts are written directly, spelled exactly as Qt's compact JSON
// writer spells them: numbers that are not whole in their shortest form,
// plain names as they stand; whole numbers, infinities and names that need
// escapes go through Qt's writer itself.
QByteArray QtJsonText(const QJsonValue& value) {
  QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
  return text.mid(1, text.size() - 2);  // without the brackets
}

// The number at `at`, which has room for kShortestRoom characters; returns
// the end of it.
char* WriteJsonNumber(char* at, double value) {
  if (std::isfinite(value) && value != std::trunc(value)) return WriteShortest(at, value);
  const QByteArray text = QtJsonText(QJsonValue(value));
  const auto size = std::min<qsizetype>(text.size(), kShortestRoom);  // "null", or a whole number
  std::memcpy(at, text.constData(), static_cast<size_t>(size));
  return at + size;
}

void AppendJsonNumber(Text& out, double value) { out.End(WriteJsonNumber(out.Room(kShortestRoom), value)); }

void AppendJsonPoint(Text& out, const ScenePoint& p, bool first) {
  // ",[x,y]"
  char* at = out.Room(2 * kShortestRoom + 4);
  if (!first) *at++ = ',';
  *at++ = '[';
  at = WriteJsonNumber(at, p.x);
  *at++ = ',';
  at = WriteJsonNumber(at, p.y);
  *at++ = ']';
  out.End(at);
}

// A fixed word of plain letters, such as the corner order.
struct Word {
  std::string_view text;
};

// How each kind of value is spelled in the CSV: none is an empty field.
void CsvValue(Text& out, int v) { out.Integer(v); }
void CsvValue(Text& out, std::optional<int> v) {
  if (v) out.Integer(*v);
}
void CsvValue(Text& out, double v) { out.Number(v); }
void CsvValue(Text& out, std::optional<double> v) {
  if (v) out.Number(*v);
}
void CsvValue(Text& out, bool v) { out << (v ? '1' : '0'); }
void CsvValue(Text& out, const QString& v) { out << CsvField(v); }
void CsvValue(Text& out, Word v) { out << v.text; }
// An outline as well-known text, quoted; nothing for none.
void CsvValue(Text& out, const std::vector<ScenePoint>& outline) {
  if (outline.empty()) return;
  out << "\"POLYGON((";
  ForEachRingPoint(outline, [&out](const ScenePoint& p, bool first) {
    // ",x y"
    char* at = out.Room(2 * kShortestRoom + 2);
    if (!first) *at++ = ',';
    at = WriteShortest(at, p.x);
    *at++ = ' ';
    out.End(WriteShortest(at, p.y));
  });
  out << "))\"";
}

// And in the GeoJSON: none is null.
void JsonValue(Text& out, int v) { out.Integer(v); }
void JsonValue(Text& out, std::optional<int> v) {
  if (v)
    out.Integer(*v);
  else
    out << "null";
}
void JsonValue(Text& out, double v) { AppendJsonNumber(out, v); }
void JsonValue(Text& out, std::optional<double> v) {
  if (v)
    AppendJsonNumber(out, *v);
  else
    out << "null";
}
void JsonValue(Text& out, bool v) { out << (v ? "true" : "false"); }
void JsonValue(Text& out, const QString& v) {
  const bool plain = std::all_of(v.begin(), v.end(), [](QChar c) {
    return c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'"' && c != u'\\';
  });
  if (!plain) {
    out << QtJsonText(QJsonValue(v));
    return;
  }
  out << '"' << v.toLatin1() << '"';
}
void JsonValue(Text& out, Word v) { out << '"' << v.text << '"'; }
// An outline as a Polygon geometry; null for none.
void JsonValue(Text& out, const std::vector<ScenePoint>& outline) {
  if (outline.empty()) {
    out << "null";
    return;
  }
  out << "{\"coordinates\":[[";
  ForEachRingPoint(outline, [&out](const ScenePoint& p, bool first) { AppendJsonPoint(out, p, first); });
  out << "]],\"type\":\"Polygon\"}";
}

// What a column's value is read from: one frame's figures and, when the
// figures come with a relief, the frame's relief figures (else none).
struct ExportRow {
  const FrameFigures& frame;
  const FrameRelief* relief;
};
using R = const ExportRow&;

// A column's value written into a row or feature.
using ValueWriter = void (*)(Text&, const ExportRow&);

template <auto Get>
void WriteCsv(Text& out, const ExportRow& row) {
  CsvValue(out, Get(row));
}
template <auto Get>
void WriteJson(Text& out, const ExportRow& row) {
  JsonValue(out, Get(row));
}

struct ColumnWriter {
  ExportColumn column;
  ValueWriter csv, json;
};

// A column whose value `Get` reads; the type it gives says how it is
// spelled.
template <auto Get>
constexpr ColumnWriter Column(std::string_view name, ColumnPresence csv, ColumnPresence geojson) {
  return {{name, csv, geojson}, &WriteCsv<Get>, &WriteJson<Get>};
}

constexpr ColumnPresence kNever = ColumnPresence::kNever, kAlways = ColumnPresence::kAlways,
                         kWithRelief = ColumnPresence::kWithRelief;

std::optional<int> StripNeighbour(const FrameFigures& f) {
  if (f.stripNeighbour > 0) return f.stripNeighbour;
  return std::nullopt;
}

// The columns, in the CSV's order. The plane corners are the GeoJSON's
// geometry without a relief, and the relief outline is its geometry with
// one, so each is in its properties only when the other is the geometry.
constexpr ColumnWriter kColumns[] = {
    Column<[](R r) { return r.frame.frame; }>("frame", kAlways, kAlways),
    Column<[](R r) -> const QString& { return r.frame.name; }>("name", kAlways, kAlways),
    Column<[](R r) { return r.frame.corners[0].x; }>("a_x", kAlways, kWithRelief),
    Column<[](R r) { return r.frame.corners[0].y; }>("a_y", kAlways, kWithRelief),
    Column<[](R r) { return r.frame.corners[1].x; }>("b_x", kAlways, kWithRelief),
    Column<[](R r) { return r.frame.corners[1].y; }>("b_y", kAlways, kWithRelief),
    Column<[](R r) { return r.frame.corners[2].x; }>("c_x", kAlways, kWithRelief),
    Column<[](R r) { return r.frame.corners[2].y; }>("c_y", kAlways, kWithRelief),
    Column<[](R r) { return r.frame.corners[3].x; }>("d_x", kAlways, kWithRelief),
    Column<[](R r) { return r.frame.corners[3].y; }>("d_y", kAlways, kWithRelief),
    Column<[](R r) { return Word{RingReversed(r.frame.corners) ? "ADCB" : "ABCD"}; }>("corner_order", kNever,
                                                                                      kAlways),
    Column<[](R r) { return r.frame.area; }>("area", kAlways, kAlways),
    Column<[](R r) { return r.frame.gsdRow; }>("gsd_row", kAlways, kAlways),
    Column<[](R r) { return r.frame.gsdColumn; }>("gsd_column", kAlways, kAlways),
    Column<[](R r) { return r.frame.flags.notConvex; }>("not_convex", kAlways, kAlways),
    Column<[](R r) { return r.frame.flags.horizon; }>("horizon", kAlways, kAlways),
    Column<[](R r) { return r.frame.flags.behindCamera; }>("behind_camera", kAlways, kAlways),
    Column<[](R r) { return StripNeighbour(r.frame); }>("strip_neighbour", kAlways, kAlways),
    Column<[](R r) { return r.frame.stripOverlapPercent; }>("strip_overlap_pct", kAlways, kAlways),
    Column<[](R r) { return r.frame.overlapPercent; }>("overlap_pct", kAlways, kAlways),
    Column<[](R r) { return r.relief->area; }>("relief_area", kWithRelief, kWithRelief),
    Column<[](R r) { return r.relief->visiblePercent; }>("visible_pct", kWithRelief, kWithRelief),
    Column<[](R r) { return r.relief->gsdRow; }>("gsd_row_relief", kWithRelief, kWithRelief),
    Column<[](R r) { return r.relief->gsdColumn; }>("gsd_column_relief", kWithRelief, kWithRelief),
    Column<[](R r) { return r.relief->missesSurface; }>("misses_surface", kWithRelief, kWithRelief),
    Column<[](R r) -> const std::vector<ScenePoint>& { return r.relief->outline; }>("relief_outline",
                                                                                    kWithRelief, kNever),
};

constexpr auto kColumnList = [] {
  std::array<ExportColumn, std::size(kColumns)> list;
  for (size_t i = 0; i < list.size(); ++i) list[i] = kColumns[i].column;
  return list;
}();

// One column of a row or feature: what goes before its value (the
// separator, and a JSON member's name) and its writer.
struct Field {
  std::string_view name;
  std::string before;
  ValueWriter write;
};

std::vector<Field> MakeFields(bool geojson, bool withRelief) {
  std::vector<const ColumnWriter*> columns;
  for (const ColumnWriter& c : kColumns)
    if (Written(geojson ? c.column.geojson : c.column.csv, withRelief)) columns.push_back(&c);
  // A JSON object keeps its members sorted by name.
  if (geojson)
    std::sort(columns.begin(), columns.end(),
              [](const ColumnWriter* a, const ColumnWriter* b) { return a->column.name < b->column.name; });
  std::vector<Field> fields;
  for (const ColumnWriter* c : columns) {
    std::string before = fields.empty() ? "" : ",";
    if (geojson) before += '"' + std::string(c->column.name) + "\":";
    fields.push_back({c->column.name, std::move(before), geojson ? c->json : c->csv});
  }
  return fields;
}

// The fields of a CSV row or of a feature's properties, made once.
const std::vector<Field>& Fields(bool geojson, bool withRelief) {
  static const std::vector<Field> fields[2][2] = {{MakeFields(false, false), MakeFields(false, true)},
                                                  {MakeFields(true, false), MakeFields(true, true)}};
  return fields[geojson][withRelief];
}

void WriteFields(Text& text, const std::vector<Field>& fields, const ExportRow& row) {
  for (const Field& field : fields) {
    text << field.before;
    field.write(text, row);
  }
}

QByteArray CsvHeader(bool withRelief) {
  QByteArray header;
  for (const Field& field : Fields(false, withRelief))
    header += QByteArray::fromStdString(field.before) + QByteArray(field.name.data(), field.name.size());
  return header + "\r\n";
}

void CsvRow(Text& row, const std::vector<Field>& fields, const FrameFigures& f, const FrameRelief* relief) {
  row.Reserve(TextSize(relief));
  WriteFields(row, fields, {f, relief});
  row << "\r\n";
}

// One feature as compact JSON, its members in sorted order as a JSON object
// keeps them.
void FeatureJson(Text& text, const std::vector<Field>& properties, const FrameFigures& f,
                 const FrameRelief* relief) {
  text.Reserve(TextSize(relief));
  text << "{\"geometry\":";
  if (relief == nullptr) {
    static constexpr int kForward[] = {0, 1, 2, 3, 0}, kBackward[] = {0, 3, 2, 1, 0};
    const int* order = RingReversed(f.corners) ? kBackward : kForward;
    text << "{\"coordinates\":[[";
    for (int i = 0; i < 5; ++i) AppendJsonPoint(text, f.corners[static_cast<size_t>(order[i])], i == 0);
    text << "]],\"type\":\"Polygon\"}";
  } else {
    // The relief outline (none when a border ray misses the surface).
    JsonValue(text, relief->outline);
  }
  text << ",\"id\":";
  text.Integer(f.frame);
  text << ",\"properties\":{";
  WriteFields(text, properties, {f, relief});
  text << "},\"type\":\"Feature\"}";
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
  // Relief figures held are every frame's or none (a caller's fault
  // otherwise, refused before anything is written).
  if (!source && hasRelief && figures.relief.size() != figures.frames.size())
    throw std::invalid_argument("relief figures for some frames only");
  const std::vector<Field>&csvFields = Fields(false, hasRelief), &properties = Fields(true, hasRelief);
  if (csv != nullptr) csv->Add(CsvHeader(hasRelief));
  if (geojson != nullptr) geojson->Add(GeoJsonHead(figures));
  const int count = static_cast<int>(figures.frames.size());
  std::vector<FrameRelief> made;
  // Two sets of texts: while one batch is handed to the writers on a thread
  // of its own, the next is formatted (or the next block's relief figures
  // made) into the other.
  std::vector<Text> rowSets[2], featureSets[2];
  int set = 0;
  std::future<void> writing;  // after the texts: ends before they go
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
    for (int batch = 0; batch < n; batch += kFramesPerBatch) {
      const int end = std::min(n, batch + kFramesPerBatch);
      std::vector<Text>& rows = rowSets[set];
      std::vector<Text>& features = featureSets[set];
      rows.resize(csv != nullptr ? static_cast<size_t>(end - batch) : 0);
      features.resize(geojson != nullptr ? static_cast<size_t>(end - batch) : 0);
      // Each core's thread takes the next frame not yet taken.
      std::atomic<int> next{batch};
      ForEachRange(end - batch, 16, [&](int, int) {
        for (int i = next++; i < end; i = next++) {
          const FrameFigures& f = figures.frames[static_cast<size_t>(start + i)];
          if (csv != nullptr) {
            Text& row = rows[static_cast<size_t>(i - batch)];
            row.Clear();
            CsvRow(row, csvFields, f, reliefOf(i));
          }
          if (geojson != nullptr) {
            Text& feature = features[static_cast<size_t>(i - batch)];
            feature.Clear();
            feature << (start + i == 0 ? "\n" : ",\n");
            FeatureJson(feature, properties, f, reliefOf(i));
          }
        }
      });
      if (writing.valid()) writing.get();  // the batch before, and its failure
      writing = std::async(std::launch::async, [&rows, &features, csv, geojson] {
        for (const Text& row : rows) csv->Add(row.Data(), row.Size());
        for (const Text& feature : features) geojson->Add(feature.Data(), feature.Size());
      });
      set ^= 1;
    }
  }
  if (writing.valid()) writing.get();
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

std::span<const ExportColumn> ExportColumns() { return kColumnList; }

bool RingReversed(const SceneQuad& q) {
  // A convex outline turns the same way at every corner: the first tells.
  return IsConvex(q) && Turn(q[0], q[1], q[2]) < 0;
}

QByteArray FootprintsCsv(const SceneFigures& figures) { return Collect(figures, true); }

QByteArray FootprintsGeoJson(const SceneFigures& figures) { return Collect(figures, false); }

void WriteFootprintsCsv(const QString& fileName, const SceneFigures& figures) {
  WriteFootprintExports(fileName, QString(), figures, {});
}

void WriteFootprintsGeoJson(const QString& fileName, const SceneFigures& figures) {
  WriteFootprintExports(QString(), fileName, figures, {});
}

void AddFootprintExports(FileCommitGroup& group, const QString& csvName, const QString& geojsonName,
                         const SceneFigures& figures, const ReliefSource& relief) {
  // Both at once when both are asked for, so that the relief figures are
  // made once.
  const ByteSink csvSink = csvName.isEmpty() ? ByteSink() : group.Add(csvName);
  const ByteSink geojsonSink = geojsonName.isEmpty() ? ByteSink() : group.Add(geojsonName);
  std::optional<BlockWriter> csv, geojson;
  if (csvSink) csv.emplace(csvSink);
  if (geojsonSink) geojson.emplace(geojsonSink);
  if (csv || geojson) Emit(figures, relief, csv ? &*csv : nullptr, geojson ? &*geojson : nullptr);
}

void WriteFootprintExports(const QString& csvName, const QString& geojsonName, const SceneFigures& figures,
                           const ReliefSource& relief) {
  FileCommitGroup group;
  AddFootprintExports(group, csvName, geojsonName, figures, relief);
  group.Commit();
}

}  // namespace skarvel
