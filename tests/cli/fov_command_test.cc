#include "cli/cli_test_support.h"
#include "support/csv_table.h"
#include "support/frame_files.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::ReadBytes;
using testing::RunBatch;
using testing::TempDir;

// Copies the field-of-view sample scene into a fresh folder.
void CopyScene(const TempDir& dir) {
  const QString from = testing::SourceDir() + "/samples/fov";
  QDir(dir.path()).mkpath("cameras");
  for (const QString& sub : {QString(), QStringLiteral("cameras")}) {
    const QDir samples(from + "/" + sub);
    for (const QString& name : samples.entryList(QDir::Files))
      QFile::copy(samples.filePath(name), dir.file(sub.isEmpty() ? name : sub + "/" + name));
  }
}

QImage ReadBmp(const QString& fileName) {
  QImageReader reader(fileName, "bmp");
  return reader.read().convertToFormat(QImage::Format_RGB32);
}

TEST(FovCommand, DrawsTheSampleSceneBesideTheList) {
  TempDir dir;
  CopyScene(dir);
  const auto r = RunBatch({"fov", "--decimal-separator", ".", dir.file("scene.lst")});
  EXPECT_EQ(0, r.exitCode) << r.err.toStdString();
  EXPECT_EQ("", r.err);
  // Six frames of four corner lines and an empty line; frame 1 looks
  // straight down from 4.25 m with 2048 x 1536 pixels at 8200: 1.0615 by
  // 0.796 m, turned a quarter round, so its corners are (+-0.398, -+0.530).
  const QStringList lines = r.out.split(u'\n');
  ASSERT_EQ(31, lines.size());  // the last line end leaves an empty element
  EXPECT_EQ(QStringList({"0.398  -  -0.530", "0.398  -  0.530", "-0.398  -  0.530", "-0.398  -  -0.530", ""}),
            lines.mid(0, 5));
  for (int frame = 0; frame < 6; ++frame) {
    EXPECT_EQ("", lines[5 * frame + 4]);
    for (int corner = 0; corner < 4; ++corner) EXPECT_TRUE(lines[5 * frame + corner].contains("  -  "));
  }
  const QImage drawing = ReadBmp(dir.file("scene_fov.bmp"));
  EXPECT_EQ(QSize(1024, 1024), drawing.size());
  EXPECT_EQ(24, static_cast<unsigned char>(ReadBytes(dir.file("scene_fov.bmp"))[28]));
  EXPECT_FALSE(QFile::exists(dir.file("legend.bmp")));
}

TEST(FovCommand, AllSystemsAndBothListFormsWriteTheSameBitmap) {
  TempDir dir;
  CopyScene(dir);
  QByteArray first;
  QString firstOut;
  for (const char* list : {"scene.lst", "scene_blocks.lst"}) {
    for (const char* system : {"bench", "photogrammetric", "mathematical"}) {
      const QString out = dir.file(QStringLiteral("%1_%2.bmp").arg(list, system));
      const auto r = RunBatch({"fov", dir.file(list), "--system", system, "--output", out, "--legend",
                               out + ".legend.bmp", "--decimal-separator", "."});
      ASSERT_EQ(0, r.exitCode) << r.err.toStdString();
      const QByteArray bytes = ReadBytes(out) + ReadBytes(out + ".legend.bmp");
      if (first.isEmpty()) {
        first = bytes;
        firstOut = r.out;
        EXPECT_EQ(QSize(650, 150), ReadBmp(out + ".legend.bmp").size());
      }
      EXPECT_TRUE(bytes == first) << list << " " << system;
      EXPECT_EQ(firstOut, r.out) << list << " " << system;
    }
  }
}

TEST(FovCommand, WindowPlatformDrawsWhatTheOffscreenOneDraws) {
  const QString xvfb = QStandardPaths::findExecutable("xvfb-run");
  if (xvfb.isEmpty()) GTEST_SKIP() << "xvfb-run is not installed";
  TempDir dir;
  CopyScene(dir);
  const QString offscreen = dir.file("offscreen.bmp"), window = dir.file("window.bmp");
  ASSERT_EQ(
      0,
      RunBatch({"fov", dir.file("scene.lst"), "--output", offscreen, "--decimal-separator", "."}).exitCode);
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "xcb");
  process.setProcessEnvironment(env);
  process.start(xvfb, {"-a", SKARVEL_BATCH_PATH, "fov", dir.file("scene.lst"), "--output", window,
                       "--decimal-separator", "."});
  ASSERT_TRUE(process.waitForFinished(120000));
  ASSERT_EQ(0, process.exitCode()) << process.readAllStandardError().toStdString();
  EXPECT_TRUE(ReadBytes(offscreen) == ReadBytes(window));
}

TEST(FovCommand, AFailedLoadWritesNoPictureAndExitsOne) {
  TempDir dir;
  CopyScene(dir);
  // The first camera is missing: the reader's message and the end of the
  // load go to standard error, nothing to standard output.
  QFile::rename(dir.file("cameras/camera_a.cam"), dir.file("cameras/gone.cam"));
  dir.write("broken.lst", ReadBytes(dir.file("scene.lst")));
  const auto r = RunBatch({"fov", dir.file("broken.lst"), "--decimal-separator", "."});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
  EXPECT_TRUE(r.err.contains("Ошибка чтения cam-файла!")) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains("Кадр 1: файл «cameras/camera_a.cam» не прочитан")) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.file("broken_fov.bmp")));

  // A list that cannot be read.
  const auto missing = RunBatch({"fov", dir.file("none.lst")});
  EXPECT_EQ(1, missing.exitCode);
  EXPECT_EQ("Cannot open file " + dir.file("none.lst") + "\n", missing.err);

  // A geometry file whose first value has two decimal points, "." and ",".
  QByteArray first = ReadBytes(dir.file("frame1.ort"));
  first.replace(0, first.indexOf(';'), "0.2,1 ");
  dir.write("frame1.ort", first);
  const auto comma = RunBatch({"fov", dir.file("scene.lst"), "--decimal-separator", ","});
  EXPECT_EQ(1, comma.exitCode);
  EXPECT_TRUE(comma.err.contains("Ошибка чтения файла геометрии изображения!")) << comma.err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.file("scene_fov.bmp")));
  for (const QString& name : dir.entries()) EXPECT_FALSE(name.endsWith(".bmp")) << name.toStdString();
}

TEST(FovCommand, CornerLinesBeforeAFailureArePrinted) {
  TempDir dir;
  CopyScene(dir);
  // A zero row scale for the second camera: frames 1 to 5 project, frame 6
  // divides by zero.
  dir.write("cameras/camera_b_rows.txt", "0\r\n");
  const auto r = RunBatch({"fov", dir.file("scene.lst"), "--decimal-separator", "."});
  EXPECT_EQ(1, r.exitCode);
  EXPECT_EQ(25, r.out.count(u'\n'));
  EXPECT_EQ("Floating point division by zero\n", r.err);
  EXPECT_FALSE(QFile::exists(dir.file("scene_fov.bmp")));
}

TEST(FovCommand, WritesTheFiguresAndWarnsOfEachFlaggedFrame) {
  TempDir dir;
  CopyScene(dir);
  // The sample scene and a seventh frame tilted 85 degrees: camera A's half
  // field across is 7.1 degrees, so its far corners see the horizon.
  testing::FrameGeometry tilted;
  tilted.distance = 4.25;
  tilted.aboutY = 85;
  dir.write("tilted.ort", testing::GeometryFile(tilted));
  dir.write("tilted.lst", ReadBytes(dir.file("scene.lst")) + "tilted.ort ;\r\ncameras\\camera_a.cam ;\r\n");
  const auto plain = RunBatch({"fov", dir.file("scene.lst"), "--decimal-separator", ".", "--csv",
                               dir.file("scene.csv"), "--geojson", dir.file("scene.geojson")});
  EXPECT_EQ(0, plain.exitCode) << plain.err.toStdString();
  EXPECT_EQ("", plain.err);
  const QStringList csv = QString::fromUtf8(ReadBytes(dir.file("scene.csv"))).split("\r\n");
  ASSERT_EQ(8, csv.size());  // header, six rows, nothing after the last line end
  EXPECT_TRUE(csv[0].startsWith("frame,name,a_x,a_y"));
  EXPECT_TRUE(csv[1].startsWith("1,frame1.ort,"));
  const QJsonDocument json = QJsonDocument::fromJson(ReadBytes(dir.file("scene.geojson")));
  EXPECT_EQ(6, json.object()["features"].toArray().size());

  const auto flagged = RunBatch({"fov", dir.file("tilted.lst"), "--decimal-separator", ".", "--csv",
                                 dir.file("tilted.csv"), "--output", dir.file("tilted.bmp")});
  EXPECT_EQ(0, flagged.exitCode) << flagged.err.toStdString();
  EXPECT_EQ(
      "Предупреждение: кадр 7 (tilted.ort): кадр захватывает горизонт, контур не выпуклый; "
      "в перекрытия не включён\n",
      flagged.err);
  const QStringList rows = QString::fromUtf8(ReadBytes(dir.file("tilted.csv"))).split("\r\n");
  ASSERT_EQ(9, rows.size());
  EXPECT_TRUE(rows[7].startsWith("7,tilted.ort,"));
  const testing::CsvTable flaggedCsv(ReadBytes(dir.file("tilted.csv")));
  for (const char* name : {"not_convex", "horizon"}) EXPECT_EQ("1", flaggedCsv(6, name)) << name;
  EXPECT_EQ("0", flaggedCsv(6, "behind_camera"));
  for (const char* name : {"strip_neighbour", "strip_overlap_pct", "overlap_pct"})
    EXPECT_EQ("", flaggedCsv(6, name));
  // The other frames' rows are those of the scene without it.
  EXPECT_EQ(csv.mid(1, 6), rows.mid(1, 6));
  // Without an export the warning is given all the same.
  const auto drawingOnly = RunBatch({"fov", dir.file("tilted.lst"), "--decimal-separator", "."});
  EXPECT_EQ(flagged.err, drawingOnly.err);
}

TEST(FovCommand, ALongListNeedsNoLegendPicture) {
  TempDir dir;
  CopyScene(dir);
  // 30,000 frames: as one picture the legend would be 650 x 450,060 pixels,
  // beyond the memory limit; it is only painted when asked for.
  QByteArray list;
  for (int n = 0; n < 30000; ++n) list += "frame1.ort ;\r\ncameras\\camera_a.cam ;\r\n";
  dir.write("long.lst", list);
  const auto r = RunBatch({"fov", dir.file("long.lst"), "--decimal-separator", "."});
  EXPECT_EQ(0, r.exitCode) << r.err.toStdString();
  EXPECT_EQ(150000, r.out.count(u'\n'));
  EXPECT_TRUE(QFile::exists(dir.file("long_fov.bmp")));
}

// A height map of the sample scene's ground (X and Y -1.5 to 1.5 in cells of
// 0.05): flat at 0 with a ridge of height 1 along Y over X 0.25 to 0.30,
// under frame 1 (which looks straight down from 4.25 over X -0.40 to 0.40).
QByteArray RidgeAsc() {
  QByteArray text = "ncols 60\nnrows 60\nxllcorner -1.5\nyllcorner -1.5\ncellsize 0.05\nNODATA_value -9999\n";
  for (int row = 0; row < 60; ++row) {
    for (int column = 0; column < 60; ++column) text += column == 35 ? "1 " : "0 ";
    text += "\n";
  }
  return text;
}

TEST(FovCommand, AReliefAddsItsFiguresAndACoverageMap) {
  TempDir dir;
  CopyScene(dir);
  dir.write("ridge.asc", RidgeAsc());
  const auto r = RunBatch({"fov", dir.file("scene.lst"), "--decimal-separator", ".", "--relief",
                           dir.file("ridge.asc"), "--csv", dir.file("r.csv"), "--geojson",
                           dir.file("r.geojson"), "--coverage", dir.file("cover.asc")});
  ASSERT_EQ(0, r.exitCode) << r.err.toStdString();
  const QStringList csv = QString::fromUtf8(ReadBytes(dir.file("r.csv"))).split("\r\n");
  ASSERT_EQ(8, csv.size());
  EXPECT_TRUE(csv[0].endsWith(
      ",overlap_pct,relief_area,visible_pct,gsd_row_relief,gsd_column_relief,misses_surface,relief_outline"));
  // Frame 1 (X -0.398 to 0.398): the ridge, 1 high and 3.25 below the
  // camera, hides the ground behind it out to X = 0.30 * 4.25 / 3.25 = 0.392
  // (similar triangles), 0.092 of the 0.796 across: 88.4 percent seen, to
  // within one cell (0.05) of the map.
  const testing::CsvTable table(ReadBytes(dir.file("r.csv")));
  EXPECT_NEAR(100 * (1 - 0.092 / 0.796), table.Number(0, "visible_pct"), 100 * 0.05 / 0.796);
  EXPECT_EQ("0", table(0, "misses_surface"));
  EXPECT_TRUE(table(0, "relief_outline").startsWith("POLYGON(("));
  const QJsonObject feature =
      QJsonDocument::fromJson(ReadBytes(dir.file("r.geojson"))).object()["features"].toArray()[0].toObject();
  EXPECT_EQ("Polygon", feature["geometry"].toObject()["type"].toString());
  EXPECT_EQ(table.Number(0, "a_x"), feature["properties"].toObject()["a_x"].toDouble());
  // The coverage map lies on the relief's grid.
  const QByteArray cover = ReadBytes(dir.file("cover.asc"));
  EXPECT_TRUE(cover.startsWith("ncols        60\nnrows        60\n")) << cover.left(80).toStdString();

  // Wrong combinations are usage errors; a bad height map ends the run with
  // its message before anything is written.
  for (const QStringList& extra :
       {QStringList{"--coverage", dir.file("c.tif")}, QStringList{"--relief-z-scale", "2"},
        QStringList{"--coverage-cell", "0.1"},
        QStringList{"--relief", dir.file("ridge.asc"), "--coverage", dir.file("c.tif"), "--coverage-cell",
                    "1"},
        QStringList{"--relief-surface", "blocks"},
        QStringList{"--relief", dir.file("ridge.asc"), "--relief-surface", "cubic"}}) {
    const auto wrong =
        RunBatch(QStringList{"fov", dir.file("scene.lst"), "--output", dir.file("x.bmp")} + extra);
    EXPECT_EQ(2, wrong.exitCode) << extra.join(' ').toStdString();
  }
  // The surface: the ridge's blocks hide the ground out to X = 0.392 (the
  // cell centred at 0.375 among it), its bilinear tent from the crest at
  // 0.275 out to 0.275 * 4.25 / 3.25 = 0.360 only.
  const auto columnCount = [&](const QStringList& surface, int column) {
    const auto run =
        RunBatch(QStringList{"fov", dir.file("scene.lst"), "--output", dir.file("s.bmp"), "--relief",
                             dir.file("ridge.asc"), "--coverage", dir.file("s.asc")} +
                 surface);
    EXPECT_EQ(0, run.exitCode) << run.err.toStdString();
    int sum = 0;
    const QStringList lines = QString::fromUtf8(ReadBytes(dir.file("s.asc"))).split('\n', Qt::SkipEmptyParts);
    for (int n = 6; n < lines.size(); ++n)
      sum += lines[n].split(' ', Qt::SkipEmptyParts).value(column).toInt();
    return sum;
  };
  EXPECT_EQ(columnCount({}, 37), columnCount({"--relief-surface", "bilinear"}, 37));
  EXPECT_GT(columnCount({}, 37), columnCount({"--relief-surface", "blocks"}, 37));

  dir.write("bad.asc", "ncols 2\nnrows\n");
  const auto bad = RunBatch({"fov", dir.file("scene.lst"), "--output", dir.file("x.bmp"), "--relief",
                             dir.file("bad.asc"), "--csv", dir.file("x.csv")});
  EXPECT_EQ(1, bad.exitCode);
  EXPECT_TRUE(bad.err.contains("Ошибка чтения карты высот")) << bad.err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.file("x.bmp")) || QFile::exists(dir.file("x.csv")));

  // Without a relief: a grid on the plane, every cell a count.
  const auto plane = RunBatch({"fov", dir.file("scene.lst"), "--decimal-separator", ".", "--coverage",
                               dir.file("plane.tif"), "--coverage-cell", "0.1"});
  EXPECT_EQ(0, plane.exitCode) << plane.err.toStdString();
  EXPECT_TRUE(ReadBytes(dir.file("plane.tif")).startsWith("II*"));
}

TEST(FovCommand, WrongUsageExitsTwo) {
  TempDir dir;
  CopyScene(dir);
  for (const QStringList& args :
       {QStringList{"fov"}, QStringList{"fov", dir.file("scene.lst"), "--system", "polar"},
        QStringList{"fov", dir.file("scene.lst"), dir.file("scene_blocks.lst")},
        QStringList{"fov", dir.file("scene.lst"), "--zoom", "2"}}) {
    const auto r = RunBatch(args);
    EXPECT_EQ(2, r.exitCode) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains("usage: skarvel-batch fov")) << r.err.toStdString();
  }
  EXPECT_FALSE(QFile::exists(dir.file("scene_fov.bmp")));
}

}  // namespace
}  // namespace skarvel
