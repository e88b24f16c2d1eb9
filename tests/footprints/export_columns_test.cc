// The columns of the footprint exports: each one's value is the figure it
// is named after, in both files (four frames whose figures all differ, so
// that two columns written in each other's place fail), and the README's
// list of the fields is the table's.

#include "footprints/footprint_export.h"

#include "support/csv_table.h"
#include "support/test_support.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>

namespace skarvel {
namespace {

using testing::CsvTable;

// Frame 11 has every figure, each a value of its own; 12 runs clockwise
// and misses the relief; 13 sees the horizon and 14 looks away, both with
// crossed corners.
SceneFigures FourFrames() {
  SceneFigures figures;
  figures.frames = {
      {.frame = 11,
       .name = "f11.ort",
       .corners = {{{1, 2}, {7, 3}, {6, 9}, {0.5, 8}}},
       .area = 35.25,
       .gsdRow = 0.0625,
       .gsdColumn = 0.09375,
       .overlapPercent = 40.5},
      {.frame = 12,
       .name = "f12.ort",
       .corners = {{{20, 30}, {20, 36}, {28, 36}, {28, 30}}},
       .area = 48,
       .gsdRow = 0.5,
       .gsdColumn = 0.25,
       .stripNeighbour = 11,
       .stripOverlapPercent = 61.25,
       .overlapPercent = 70.75},
      {.frame = 13,
       .name = "a,\"b\".ort",
       .corners = {{{0, 0}, {1, 1}, {1, 0}, {0, 1}}},
       .gsdRow = 0.3,
       .gsdColumn = 0.4,
       .flags = {.notConvex = true, .horizon = true}},
      {.frame = 14,
       .name = "f14.ort",
       .corners = {{{5, 5}, {6, 6}, {6, 5}, {5, 6}}},
       .gsdRow = 0.7,
       .gsdColumn = 0.8,
       .flags = {.notConvex = true, .behindCamera = true}},
  };
  figures.relief = {
      {.outline = {{0, 0}, {4, 0}, {0, 3}},
       .area = 6,
       .visiblePercent = 87.5,
       .gsdRow = 0.071,
       .gsdColumn = 0.104},
      {.gsdRow = 0.081, .gsdColumn = 0.083, .missesSurface = true},
      {.missesSurface = true},
      {.missesSurface = true},
  };
  return figures;
}

// What each column of FourFrames() holds, as the CSV spells it (empty for
// none), worked out from the figures by hand: the corners as given, the
// order of frame 12's corners clockwise, the relief area that of the
// triangle 4 x 3.
const std::map<QString, QStringList> kExpected = {
    {"frame", {"11", "12", "13", "14"}},
    {"name", {"f11.ort", "f12.ort", "a,\"b\".ort", "f14.ort"}},
    {"a_x", {"1", "20", "0", "5"}},
    {"a_y", {"2", "30", "0", "5"}},
    {"b_x", {"7", "20", "1", "6"}},
    {"b_y", {"3", "36", "1", "6"}},
    {"c_x", {"6", "28", "1", "6"}},
    {"c_y", {"9", "36", "0", "5"}},
    {"d_x", {"0.5", "28", "0", "5"}},
    {"d_y", {"8", "30", "1", "6"}},
    {"corner_order", {"ABCD", "ADCB", "ABCD", "ABCD"}},
    {"area", {"35.25", "48", "0", "0"}},
    {"gsd_row", {"0.0625", "0.5", "0.3", "0.7"}},
    {"gsd_column", {"0.09375", "0.25", "0.4", "0.8"}},
    {"not_convex", {"0", "0", "1", "1"}},
    {"horizon", {"0", "0", "1", "0"}},
    {"behind_camera", {"0", "0", "0", "1"}},
    {"strip_neighbour", {"", "11", "", ""}},
    {"strip_overlap_pct", {"", "61.25", "", ""}},
    {"overlap_pct", {"40.5", "70.75", "", ""}},
    {"relief_area", {"6", "", "", ""}},
    {"visible_pct", {"87.5", "", "", ""}},
    {"gsd_row_relief", {"0.071", "0.081", "", ""}},
    {"gsd_column_relief", {"0.104", "0.083", "", ""}},
    {"misses_surface", {"0", "1", "1", "1"}},
    {"relief_outline", {"POLYGON((0 0,4 0,0 3,0 0))", "", "", ""}},
};

// The expected value of a GeoJSON property.
QJsonValue JsonOf(const QString& name, const QString& csv) {
  if (csv.isEmpty()) return QJsonValue::Null;
  if (name == "name" || name == "corner_order") return csv;
  for (const char* flag : {"not_convex", "horizon", "behind_camera", "misses_surface"})
    if (name == flag) return csv == "1";
  return csv.toDouble();
}

TEST(ExportColumns, EachHoldsItsOwnFigureInBothFiles) {
  for (const bool withRelief : {false, true}) {
    SceneFigures figures = FourFrames();
    if (!withRelief) figures.relief.clear();
    const std::string why = withRelief ? "with a relief" : "without a relief";
    const CsvTable csv(FootprintsCsv(figures));
    ASSERT_EQ(4, csv.Rows()) << why;
    const QJsonObject collection = QJsonDocument::fromJson(FootprintsGeoJson(figures)).object();
    ASSERT_EQ(4, collection["features"].toArray().size()) << why;
    QStringList csvNames;
    int jsonColumns = 0;
    for (const ExportColumn& column : ExportColumns()) {
      const QString name =
          QString::fromLatin1(column.name.data(), static_cast<qsizetype>(column.name.size()));
      ASSERT_TRUE(kExpected.contains(name)) << "no expected values for " << column.name;
      const QStringList& expected = kExpected.at(name);
      if (Written(column.csv, withRelief)) {
        csvNames.append(name);
        for (int row = 0; row < 4; ++row)
          EXPECT_EQ(expected[row], csv(row, name)) << name.toStdString() << " of row " << row << " " << why;
      }
      if (Written(column.geojson, withRelief)) {
        ++jsonColumns;
        for (int row = 0; row < 4; ++row) {
          const QJsonObject properties = collection["features"][row]["properties"].toObject();
          EXPECT_EQ(JsonOf(name, expected[row]), properties[name])
              << name.toStdString() << " of row " << row << " " << why << ": "
              << QJsonDocument(QJsonArray{properties[name]}).toJson(QJsonDocument::Compact).toStdString();
        }
      }
    }
    // The header is the table's, and the properties are those of the table.
    EXPECT_EQ(csvNames, csv.Header()) << why;
    for (int row = 0; row < 4; ++row)
      EXPECT_EQ(jsonColumns, collection["features"][row]["properties"].toObject().size()) << row << why;
  }
}

// The export fields the README lists: the names in backquotes that begin
// each item of the two lists under "--csv FILE and --geojson FILE", the
// plane one before "**Relief.**" and the relief one after it.
std::pair<QStringList, QStringList> ReadmeFields() {
  QFile file(testing::SourceDir() + "/README.md");
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
  const QString text = QString::fromUtf8(file.readAll());
  const qsizetype start = text.indexOf("`--csv FILE` and `--geojson FILE`");
  const qsizetype relief = text.indexOf("**Relief.**", start);
  const qsizetype end = text.indexOf("**Coverage.**", relief);
  EXPECT_TRUE(start >= 0 && relief > start && end > relief) << "the README's export section is not found";
  const QRegularExpression name("`([a-z_]+)`");
  auto fields = [&](qsizetype from, qsizetype to) {
    QStringList names;
    for (const QString& line : text.mid(from, to - from).split(u'\n')) {
      const QString item = line.trimmed();
      if (!item.startsWith("- `")) continue;
      // The names before the item's first colon.
      const QString lead = item.left(item.indexOf(u':'));
      for (const auto& match : name.globalMatch(lead)) names.append(match.captured(1));
    }
    return names;
  };
  return {fields(start, relief), fields(relief, end)};
}

TEST(ExportColumns, TheReadmeListsTheTablesFieldsInItsOrder) {
  QStringList plane, relief;
  for (const ExportColumn& column : ExportColumns()) {
    const bool withReliefOnly = !Written(column.csv, false) && !Written(column.geojson, false);
    (withReliefOnly ? relief : plane).append(QString::fromLatin1(column.name.data(), column.name.size()));
  }
  const auto [readmePlane, readmeRelief] = ReadmeFields();
  EXPECT_EQ(plane, readmePlane);
  EXPECT_EQ(relief, readmeRelief);
}

}  // namespace
}  // namespace skarvel
