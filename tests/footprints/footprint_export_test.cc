// The CSV and GeoJSON of the footprint figures: the sample scene read back
// by a CSV split and a JSON parser gives the corners the corner lines and
// the footprints hold; quoting, empty fields, ring orientation, atomic files.

#include "footprints/footprint_export.h"
#include "fov/fov_scene.h"

#include "platform/numbers.h"
#include "support/csv_table.h"
#include "support/output_faults.h"
#include "support/test_support.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::CsvTable;
using testing::ErrorOf;
using testing::ReadBytes;
using testing::RecordingMessageSink;
using testing::SeparatorScope;
using testing::TempDir;

const char kHeader[] =
    "frame,name,a_x,a_y,b_x,b_y,c_x,c_y,d_x,d_y,area,gsd_row,gsd_column,not_convex,horizon,behind_camera,"
    "strip_neighbour,strip_overlap_pct,overlap_pct";

double ToNumber(const QString& text) {
  bool ok = false;
  const double value = text.toDouble(&ok);
  EXPECT_TRUE(ok) << text.toStdString();
  return value;
}

// The corner lines of frame n (0-based) as stored (X, Y) pairs.
std::array<std::pair<double, double>, 4> CornerLines(const FovScene& scene, int n) {
  std::array<std::pair<double, double>, 4> corners;
  for (int i = 0; i < 4; ++i) {
    const QStringList parts = scene.CornerLines()[5 * n + i].split(QStringLiteral("  -  "));
    corners[i] = {ToNumber(parts[0]), ToNumber(parts[1])};
  }
  return corners;
}

class SampleScene : public ::testing::Test {
 protected:
  void SetUp() override {
    scene.LoadFovList(testing::SourceDir() + "/samples/fov/scene.lst", TOrientationSystem::Bench);
    figures = ComputeFootprintFigures(scene);
    ASSERT_EQ(6u, figures.frames.size());
  }
  SeparatorScope separator{u'.'};
  RecordingMessageSink sink;
  FovScene scene;
  SceneFigures figures;
};

TEST_F(SampleScene, CsvReadsBackToTheCornersOfTheFootprintsAndTheCornerLines) {
  const CsvTable csv(FootprintsCsv(figures));
  ASSERT_EQ(6, csv.Rows());
  EXPECT_EQ(kHeader, csv.Header().join(u','));
  const char* x[] = {"a_x", "b_x", "c_x", "d_x"};
  const char* y[] = {"a_y", "b_y", "c_y", "d_y"};
  for (int n = 0; n < 6; ++n) {
    EXPECT_EQ(QString::number(n + 1), csv(n, "frame"));
    EXPECT_EQ(QStringLiteral("frame%1.ort").arg(n + 1), csv(n, "name"));
    // The drawn (chained) corners, exactly: scene Y is the stored Y negated.
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(scene.Footprints().At(4 * n + i).X, csv.Number(n, x[i])) << n << i;
      EXPECT_EQ(-scene.Footprints().At(4 * n + i).Y, csv.Number(n, y[i])) << n << i;
    }
    // The corner lines hold the projected corners cut after three
    // significant decimals: frames 1 and 6 are not moved, frames 2 to 5 are
    // moved whole, so their edges are those of the lines.
    const auto lines = CornerLines(scene, n);
    for (int i = 0; i < 4; ++i) {
      const double cx = csv.Number(n, x[i]), cy = -csv.Number(n, y[i]);
      const double x0 = csv.Number(n, "a_x"), y0 = -csv.Number(n, "a_y");
      if (n == 0 || n == 5) {
        EXPECT_NEAR(lines[i].first, cx, 1e-3) << n << i;
        EXPECT_NEAR(lines[i].second, cy, 1e-3) << n << i;
      }
      EXPECT_NEAR(lines[i].first - lines[0].first, cx - x0, 2e-3) << n << i;
      EXPECT_NEAR(lines[i].second - lines[0].second, cy - y0, 2e-3) << n << i;
    }
    // The area is the shoelace sum of the corners the row gives.
    double twice = 0;
    for (int i = 0; i < 4; ++i) {
      const int j = (i + 1) % 4;
      twice += csv.Number(n, x[i]) * csv.Number(n, y[j]) - csv.Number(n, x[j]) * csv.Number(n, y[i]);
    }
    EXPECT_NEAR(std::abs(twice) / 2, csv.Number(n, "area"), 1e-12) << n;
    EXPECT_EQ("0", csv(n, "not_convex"));
    EXPECT_EQ("0", csv(n, "horizon"));
    EXPECT_EQ("0", csv(n, "behind_camera"));
    // Frame 1 looks straight down from 4.25 m at 8200 pixels of principal
    // distance: 2048 x 1536 pixels of 4.25 / 8200 m.
    if (n == 0) {
      EXPECT_NEAR(2048 * 1536 * (4.25 / 8200) * (4.25 / 8200), csv.Number(n, "area"), 1e-12);
      EXPECT_NEAR(4.25 / 8200, csv.Number(n, "gsd_row"), 1e-15);
      EXPECT_NEAR(4.25 / 8200, csv.Number(n, "gsd_column"), 1e-15);
      EXPECT_EQ("", csv(n, "strip_neighbour"));
      EXPECT_EQ("", csv(n, "strip_overlap_pct"));
    }
  }
  // Strip neighbours of frames 2 to 5.
  EXPECT_EQ("1", csv(1, "strip_neighbour"));
  EXPECT_EQ("2", csv(2, "strip_neighbour"));
  EXPECT_EQ("1", csv(3, "strip_neighbour"));
  EXPECT_EQ("4", csv(4, "strip_neighbour"));
}

TEST_F(SampleScene, GeoJsonParsesToTheSameCornersAndFigures) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(FootprintsGeoJson(figures), &error);
  ASSERT_EQ(QJsonParseError::NoError, error.error) << error.errorString().toStdString();
  const QJsonObject collection = document.object();
  EXPECT_EQ("FeatureCollection", collection["type"].toString());
  EXPECT_EQ(figures.unionArea, collection["union_area"].toDouble());
  const QJsonArray features = collection["features"].toArray();
  ASSERT_EQ(6, features.size());
  for (int n = 0; n < 6; ++n) {
    const QJsonObject feature = features[n].toObject();
    EXPECT_EQ("Feature", feature["type"].toString());
    EXPECT_EQ(n + 1, feature["id"].toInt());
    const QJsonObject geometry = feature["geometry"].toObject();
    EXPECT_EQ("Polygon", geometry["type"].toString());
    const QJsonArray ring = geometry["coordinates"].toArray()[0].toArray();
    ASSERT_EQ(5, ring.size());
    EXPECT_EQ(ring[0], ring[4]);
    // Counter-clockwise, as the format wants exterior rings.
    double twiceArea = 0;
    for (int i = 0; i < 4; ++i) {
      const QJsonArray p = ring[i].toArray(), q = ring[i + 1].toArray();
      twiceArea += p[0].toDouble() * q[1].toDouble() - q[0].toDouble() * p[1].toDouble();
    }
    EXPECT_GT(twiceArea, 0) << n;
    const QJsonObject properties = feature["properties"].toObject();
    const FrameFigures& f = figures.frames[static_cast<size_t>(n)];
    EXPECT_NEAR(f.area, twiceArea / 2, 1e-12);
    // Corner A first, then B or D as the order says.
    const QString order = properties["corner_order"].toString();
    ASSERT_TRUE(order == "ABCD" || order == "ADCB") << order.toStdString();
    for (int i = 0; i < 4; ++i) {
      const int corner = order[i].unicode() - 'A';
      const QJsonArray p = ring[i].toArray();
      EXPECT_EQ(scene.Footprints().At(4 * n + corner).X, p[0].toDouble()) << n << i;
      EXPECT_EQ(-scene.Footprints().At(4 * n + corner).Y, p[1].toDouble()) << n << i;
    }
    EXPECT_EQ(f.name, properties["name"].toString());
    EXPECT_EQ(f.area, properties["area"].toDouble());
    EXPECT_EQ(f.gsdRow, properties["gsd_row"].toDouble());
    EXPECT_EQ(f.gsdColumn, properties["gsd_column"].toDouble());
    EXPECT_EQ(*f.overlapPercent, properties["overlap_pct"].toDouble());
    EXPECT_FALSE(properties["horizon"].toBool());
    if (f.stripNeighbour == 0) {
      EXPECT_TRUE(properties["strip_neighbour"].isNull());
      EXPECT_TRUE(properties["strip_overlap_pct"].isNull());
    } else {
      EXPECT_EQ(f.stripNeighbour, properties["strip_neighbour"].toInt());
      EXPECT_EQ(*f.stripOverlapPercent, properties["strip_overlap_pct"].toDouble());
    }
  }
}

TEST_F(SampleScene, FilesAreWrittenWholeOrNotAtAll) {
  TempDir dir;
  const QString csv = dir.file("scene.csv"), json = dir.file("scene.geojson");
  dir.write("scene.csv", "old");
  WriteFootprintsCsv(csv, figures);
  WriteFootprintsGeoJson(json, figures);
  EXPECT_EQ(FootprintsCsv(figures), ReadBytes(csv));
  EXPECT_EQ(FootprintsGeoJson(figures), ReadBytes(json));
  EXPECT_EQ(QStringList({"scene.csv", "scene.geojson"}), dir.entries());
  EXPECT_EQ("Cannot create file " + dir.file("none/a.csv"),
            ErrorOf([&] { WriteFootprintsCsv(dir.file("none/a.csv"), figures); }));
  EXPECT_EQ(QStringList({"scene.csv", "scene.geojson"}), dir.entries());
}

TEST(FootprintsCsv, NamesAreQuotedAndMissingFiguresLeftEmpty) {
  SceneFigures figures;
  FrameFigures f;
  f.frame = 7;
  f.name = QStringLiteral("a,\"b\" кадр.ort");
  f.corners = {{{0, 0}, {1.5, 0}, {1.5, -2}, {0, 1e20}}};
  f.area = 0.1;
  f.gsdRow = 1;
  f.gsdColumn = 2.5;
  f.flags.horizon = true;
  f.flags.notConvex = true;
  figures.frames.push_back(f);
  const QByteArray csv = FootprintsCsv(figures);
  EXPECT_EQ(QByteArray(kHeader) + "\r\n7,\"a,\"\"b\"\" " + QStringLiteral("кадр").toUtf8() +
                ".ort\",0,0,1.5,0,1.5,-2,0,1e+20,0.1,1,2.5,1,1,0,,,\r\n",
            csv);
}

// Relief figures held for some frames only would be read past their end:
// refused, and no file is written.
TEST(ReliefExports, FiguresForSomeFramesOnlyAreRefusedBeforeAnyFileIsWritten) {
  SceneFigures figures;
  figures.frames.resize(3);
  figures.relief.resize(2);
  const TempDir dir;
  const QString csv = dir.file("f.csv"), geojson = dir.file("f.geojson");
  EXPECT_THROW(WriteFootprintExports(csv, geojson, figures, ReliefSource()), std::invalid_argument);
  EXPECT_FALSE(QFileInfo::exists(csv));
  EXPECT_FALSE(QFileInfo::exists(geojson));
}

// Relief outlines in both files: the ring starts at the outline's first
// point and runs counter-clockwise, a clockwise outline read backwards from
// there; a row or feature longer than its first room (a long name) is whole.
TEST(ReliefExports, OutlinesRunCounterClockwiseFromTheirFirstPointAndLongTextsAreWhole) {
  struct Case {
    std::vector<ScenePoint> outline;
    QByteArray name, csvName;
    const char *wkt, *ring, *why;
  } cases[] = {
      {{{0, 0}, {1, 0}, {1, 1}},
       "f.ort",
       "f.ort",
       "\"POLYGON((0 0,1 0,1 1,0 0))\"",
       "[[0,0],[1,0],[1,1],[0,0]]",
       "counter-clockwise, as it is"},
      {{{0.5, 0.5}, {0.5, 1.5}, {1.5, 1.5}, {1.5, 0.5}},
       "f.ort",
       "f.ort",
       "\"POLYGON((0.5 0.5,1.5 0.5,1.5 1.5,0.5 1.5,0.5 0.5))\"",
       "[[0.5,0.5],[1.5,0.5],[1.5,1.5],[0.5,1.5],[0.5,0.5]]",
       "clockwise, backwards from the first point"},
      {{{0, 0}, {1, 0}, {1, 1}},
       QByteArray(3000, 'n') + "\"",
       "\"" + QByteArray(3000, 'n') + "\"\"\"",
       "\"POLYGON((0 0,1 0,1 1,0 0))\"",
       "[[0,0],[1,0],[1,1],[0,0]]",
       "a name of 3,000 characters"},
  };
  for (const Case& c : cases) {
    SceneFigures figures;
    figures.frames.push_back({.frame = 1,
                              .name = QString::fromLatin1(c.name),
                              .corners = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}},
                              .area = 1,
                              .gsdRow = 0.25,
                              .gsdColumn = 0.25});
    figures.relief.push_back({.outline = c.outline, .area = 0.5});
    const QByteArray csv = FootprintsCsv(figures), geojson = FootprintsGeoJson(figures);
    EXPECT_TRUE(
        csv.endsWith("\n1," + c.csvName + ",0,0,1,0,1,1,0,1,1,0.25,0.25,0,0,0,,,,0.5,,,,0," + c.wkt + "\r\n"))
        << c.why;
    EXPECT_TRUE(
        geojson.contains("{\"geometry\":{\"coordinates\":[" + QByteArray(c.ring) + "],\"type\":\"Polygon\"}"))
        << c.why;
    const QJsonObject feature = QJsonDocument::fromJson(geojson)["features"][0].toObject();
    EXPECT_EQ(QString::fromLatin1(c.name), feature["properties"]["name"].toString()) << c.why;
  }
}

TEST(RingReversed, OnlyConvexClockwiseOutlines) {
  EXPECT_FALSE(RingReversed({{{0, 0}, {1, 0}, {1, 1}, {0, 1}}}));
  EXPECT_TRUE(RingReversed({{{0, 0}, {0, 1}, {1, 1}, {1, 0}}}));
  EXPECT_FALSE(RingReversed({{{0, 0}, {1, 1}, {1, 0}, {0, 1}}}));  // crossed: kept as it is
}

}  // namespace
}  // namespace skarvel

namespace skarvel {
namespace {

// The figures of the sample scene, computed once.
const SceneFigures& SampleFigures() {
  static const SceneFigures figures = [] {
    FovScene scene;
    scene.LoadFovList(testing::SourceDir() + "/samples/fov/scene.lst", TOrientationSystem::Bench);
    return ComputeFootprintFigures(scene);
  }();
  return figures;
}

testing::OutputCase ExportedFile(bool csv) {
  return {.prepare = [](const QString&) {},
          .write =
              [csv](const QString& folder) {
                if (csv)
                  WriteFootprintsCsv(folder + "/scene.csv", SampleFigures());
                else
                  WriteFootprintsGeoJson(folder + "/scene.geojson", SampleFigures());
              },
          .output = csv ? "scene.csv" : "scene.geojson"};
}
SKARVEL_OUTPUT_FAULT_TESTS(CsvExportOutput, ExportedFile(true))
SKARVEL_OUTPUT_FAULT_TESTS(GeoJsonExportOutput, ExportedFile(false))

TEST(BothExportsOutput, AreBothPutInPlaceOrNeither) {
  testing::ExpectOutputGroupSurvivesInjectedFaults(
      {.prepare = [](const QString&) {},
       .write =
           [](const QString& folder) {
             WriteFootprintExports(folder + "/scene.csv", folder + "/scene.geojson", SampleFigures(), {});
           },
       .outputs = {"scene.csv", "scene.geojson"}});
}

}  // namespace
}  // namespace skarvel

namespace skarvel {
namespace {

// A feature as Qt's JSON classes make it: the reference for the text the
// export writes directly.
QJsonObject QtFeature(const FrameFigures& f, const FrameRelief* relief) {
  auto optional = [](const std::optional<double>& v) { return v ? QJsonValue(*v) : QJsonValue(); };
  const bool reversed = RingReversed(f.corners);
  QJsonArray ring;
  for (int i : reversed ? std::array{0, 3, 2, 1, 0} : std::array{0, 1, 2, 3, 0})
    ring.append(QJsonArray{f.corners[i].x, f.corners[i].y});
  QJsonObject properties{
      {"area", f.area},
      {"behind_camera", f.flags.behindCamera},
      {"corner_order", reversed ? "ADCB" : "ABCD"},
      {"frame", f.frame},
      {"gsd_column", f.gsdColumn},
      {"gsd_row", f.gsdRow},
      {"horizon", f.flags.horizon},
      {"name", f.name},
      {"not_convex", f.flags.notConvex},
      {"overlap_pct", optional(f.overlapPercent)},
      {"strip_neighbour", f.stripNeighbour > 0 ? QJsonValue(f.stripNeighbour) : QJsonValue()},
      {"strip_overlap_pct", optional(f.stripOverlapPercent)},
  };
  QJsonValue geometry = QJsonObject{{"coordinates", QJsonArray{ring}}, {"type", "Polygon"}};
  if (relief != nullptr) {
    const char* names[] = {"a_x", "a_y", "b_x", "b_y", "c_x", "c_y", "d_x", "d_y"};
    for (int i = 0; i < 8; ++i) properties.insert(names[i], i % 2 ? f.corners[i / 2].y : f.corners[i / 2].x);
    properties.insert("relief_area", optional(relief->area));
    properties.insert("visible_pct", optional(relief->visiblePercent));
    properties.insert("gsd_row_relief", optional(relief->gsdRow));
    properties.insert("gsd_column_relief", optional(relief->gsdColumn));
    properties.insert("misses_surface", relief->missesSurface);
    QJsonArray points;  // the outline given counter-clockwise, closed
    for (const ScenePoint& p : relief->outline) points.append(QJsonArray{p.x, p.y});
    if (!relief->outline.empty()) points.append(QJsonArray{relief->outline[0].x, relief->outline[0].y});
    geometry = relief->outline.empty()
                   ? QJsonValue()
                   : QJsonObject{{"coordinates", QJsonArray{points}}, {"type", "Polygon"}};
  }
  return {{"geometry", geometry}, {"id", f.frame}, {"properties", properties}, {"type", "Feature"}};
}

TEST(GeoJsonText, SpellsEveryValueAsQtsJsonWriter) {
  const SceneQuad square{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}}, turned{{{0, 0}, {0, 1}, {1, 1}, {1, 0}}};
  SceneFigures figures;
  figures.unionArea = 12.5;
  // (corners, area, name, optional figures): whole numbers, signed zeros,
  // huge and tiny values, names that need escapes
  figures.frames = {
      {.frame = 1, .name = "f1.ort", .corners = square, .area = 1, .gsdRow = 0.5, .gsdColumn = -0.0},
      {.frame = 2,
       .name = "quote\" back\\slash",
       .corners = turned,
       .area = 1e20,
       .gsdRow = 1e-7,
       .gsdColumn = 123456789012.25,
       .stripNeighbour = 1,
       .stripOverlapPercent = 60.0,
       .overlapPercent = 33.333333333333336},
      {.frame = 3,
       .name = QString::fromUtf8("тест\tкадр\x01"),
       .corners = {{{-1e300, 5e-324}, {0.1, 0.2}, {1e15, -1e15 - 2}, {0.001, -0.0009765625}}},
       .area = 0.30000000000000004,
       .gsdRow = 1e6,
       .gsdColumn = 100000.5,
       .stripNeighbour = 0,
       .overlapPercent = 0.0},
  };
  auto expected = [&figures](bool withRelief) {
    QByteArray text = R"({"type":"FeatureCollection","union_area":12.5,"features":[)";
    for (size_t i = 0; i < figures.frames.size(); ++i)
      text += (i ? ",\n" : "\n") +
              QJsonDocument(QtFeature(figures.frames[i], withRelief ? &figures.relief[i] : nullptr))
                  .toJson(QJsonDocument::Compact);
    return text + "\n]}\n";
  };
  EXPECT_EQ(FootprintsGeoJson(figures), expected(false));

  figures.relief = {
      {.outline = {{0, 0}, {2.5, 0}, {2.5, 1e-3}}, .area = 1.25, .visiblePercent = 100.0, .gsdRow = 0.1},
      {.missesSurface = true},
      {.outline = {{1, 1}, {3, 1}, {3, 3}}, .area = 2, .gsdColumn = 7.75},
  };
  EXPECT_EQ(FootprintsGeoJson(figures), expected(true));
}

}  // namespace
}  // namespace skarvel
