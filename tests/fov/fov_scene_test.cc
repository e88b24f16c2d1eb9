// Loading a field-of-view list: the loop over pairs, chaining, the hidden
// corner lines, the drawing and legend, and every way a load can end.
//
// The frames here look straight down (all angles zero, identity matrix, so
// every orientation system gives the same camera) with the principal
// distance equal to the distance: one pixel of the frame is one scene unit.
// A frame of W x H with principal point (x0, y0) aimed at (ax, ay) then has
// the stored corners A (ax - x0, -ay - y0), B (ax - x0 + W, -ay - y0),
// C (ax - x0 + W, -ay - y0 + H), D (ax - x0, -ay - y0 + H).

#include "fov/fov_scene.h"

#include "fov/scene_drawing.h"
#include "geometry/readers.h"
#include "platform/error.h"
#include "platform/files.h"
#include "support/output_faults.h"
#include "support/test_support.h"

#include <QDir>
#include <QImageReader>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>

namespace skarvel {
namespace {

using testing::ErrorOf;
using testing::ReadBytes;
using testing::RecordingMessageSink;
using testing::SeparatorScope;
using testing::TempDir;

constexpr double kDistance = 100;

QString Number(double value, QChar separator) {
  QString text = QString::number(value, 'g', 17);
  text.replace(u'.', separator);
  return text;
}

QByteArray NadirGeometry(double aimX, double aimY, QChar separator = u'.') {
  const double values[21] = {aimX, aimY, kDistance, aimX, aimY, kDistance, 0, 0, 0, 0, 0,
                             0,    1,    0,         0,    0,    1,         0, 0, 0, 1};
  QList<QByteArray> lines;
  for (double v : values) lines << EncodeCp1251(Number(v, separator) + QStringLiteral(" ; значение"));
  return JoinLinesCrLf(lines);
}

QByteArray CameraFile(double x0, double y0, double width, double height, const QString& companion) {
  return EncodeCp1251(QStringLiteral("%1 ; столбец\r\n%2 ; строка\r\n%3 ; масштаб строк\r\n%4 ; фокус\r\n"
                                     "%5 ; ширина\r\n%6 ; высота\r\n")
                          .arg(x0)
                          .arg(y0)
                          .arg(companion)
                          .arg(kDistance)
                          .arg(width)
                          .arg(height));
}

QByteArray Lines(const QStringList& lines) {
  QByteArray bytes;
  for (const QString& line : lines) bytes += EncodeCp1251(line) + "\r\n";
  return bytes;
}

// A folder with the files of several frames: g<n>.ort and c<n>.cam, all
// cameras sharing rows.txt (row scale 1).
class Workspace {
 public:
  Workspace() { dir.write("rows.txt", "1\r\n"); }
  void AddFrame(int n, double aimX, double aimY, double x0, double y0, double width, double height) {
    dir.write(QStringLiteral("g%1.ort").arg(n), NadirGeometry(aimX, aimY));
    dir.write(QStringLiteral("c%1.cam").arg(n), CameraFile(x0, y0, width, height, "rows.txt"));
  }
  QString Pair(int n) const { return QStringLiteral("g%1.ort ; геометрия\nc%1.cam ; камера").arg(n); }
  QString List(const QString& name, const QStringList& lines) const {
    return dir.write(name, Lines(lines.join(u'\n').split(u'\n')));
  }
  TempDir dir;
};

void ExpectCorners(const FovScene& scene, int frame, const VT_Point (&expected)[4]) {
  for (int i = 0; i < 4; ++i) {
    const VT_Point& p = scene.Footprints().At(4 * frame + i);
    EXPECT_NEAR(expected[i].X, p.X, 1e-9) << "frame " << frame + 1 << " corner "
                                          << "ABCD"[i];
    EXPECT_NEAR(expected[i].Y, p.Y, 1e-9) << "frame " << frame + 1 << " corner "
                                          << "ABCD"[i];
  }
}

bool IsBlank(const QImage& image) {
  for (int row = 0; row < image.height(); ++row)
    for (int column = 0; column < image.width(); ++column)
      if ((image.pixel(column, row) & 0xFFFFFF) != 0xEFEFEF) return false;
  return true;
}

int FrameCount(const FovScene& scene) { return scene.Footprints().Length() / 4; }

// The whole legend panel as one picture.
QImage LegendPicture(const FovScene& scene) {
  return scene.LegendBand(QRect(0, 0, scene.LegendWidth(), scene.LegendHeight()));
}

TEST(SkipCommentLines, FindsTheNextDataLineOrRunsPastTheEnd) {
  const QStringList lines = {"// a", "data", " // not a comment", "//", "/", ""};
  EXPECT_EQ(1, SkipCommentLines(lines, 0));
  EXPECT_EQ(2, SkipCommentLines(lines, 2));
  EXPECT_EQ(4, SkipCommentLines(lines, 3));
  EXPECT_EQ(5, SkipCommentLines(lines, 5));  // a blank line is data
  EXPECT_EQ("List index out of bounds (2)", ErrorOf([] { SkipCommentLines({"//", "//"}, 0); }));
  EXPECT_EQ(-1, NextDataLine({"//", "//"}, 0));
}

TEST(LoadFovList, ChainsFramesTwoToFiveAndLeavesTheSixth) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Workspace ws;
  // Different sizes and aims, so every move shows in the result.
  ws.AddFrame(1, 10, 20, 40, 30, 100, 60);      // A (-30, -50), D (-30, 10)
  ws.AddFrame(2, 500, 500, 20, 10, 80, 50);     // own D (480, -460)
  ws.AddFrame(3, -300, 40, 0, 0, 60, 40);       // own D (-300, 0)
  ws.AddFrame(4, 7, -7, 10, 10, 50, 70);        // own A (-3, -3)
  ws.AddFrame(5, 0, 0, 5, 5, 30, 20);           // own A (-5, -5)
  ws.AddFrame(6, 1000, -200, 50, 25, 100, 50);  // stays where it is
  QStringList lines = {"// шесть кадров"};
  for (int n = 1; n <= 6; ++n) lines << ws.Pair(n);
  const QString list = ws.List("scene.lst", lines);

  FovScene scene;
  scene.LoadFovList(list, TOrientationSystem::Bench);
  EXPECT_TRUE(sink.shown.empty());
  ASSERT_EQ(6, FrameCount(scene));
  ExpectCorners(scene, 0, {{-30, -50}, {70, -50}, {70, 10}, {-30, 10}});
  // Frame 2 (80 x 50): D onto frame 1's A (-30, -50).
  ExpectCorners(scene, 1, {{-30, -100}, {50, -100}, {50, -50}, {-30, -50}});
  // Frame 3 (60 x 40): D onto frame 2's chained A (-30, -100).
  ExpectCorners(scene, 2, {{-30, -140}, {30, -140}, {30, -100}, {-30, -100}});
  // Frame 4 (50 x 70): A onto frame 1's D (-30, 10).
  ExpectCorners(scene, 3, {{-30, 10}, {20, 10}, {20, 80}, {-30, 80}});
  // Frame 5 (30 x 20): A onto frame 4's chained D (-30, 80).
  ExpectCorners(scene, 4, {{-30, 80}, {0, 80}, {0, 100}, {-30, 100}});
  ExpectCorners(scene, 5, {{950, 175}, {1050, 175}, {1050, 225}, {950, 225}});
  // The track point: frame 1's aiming point, in stored coordinates.
  EXPECT_NEAR(10, scene.TrackPoint().X, 1e-9);
  EXPECT_NEAR(-20, scene.TrackPoint().Y, 1e-9);
  EXPECT_EQ(QStringList({"g1.ort ", "g2.ort ", "g3.ort ", "g4.ort ", "g5.ort ", "g6.ort "}),
            scene.GeometryNames());
}

TEST(LoadFovList, CornerLinesAreTheUnchainedCornersAndAccumulate) {
  SeparatorScope separator(u',');
  RecordingMessageSink sink;
  TempDir dir;
  dir.write("g1.ort", NadirGeometry(0.25, 0, u','));
  dir.write("g2.ort", NadirGeometry(500, 0, u','));
  dir.write("c.cam", CameraFile(50, 50, 100, 100, "rows.txt"));
  dir.write("rows.txt", "1\r\n");
  const QString list = dir.write("a.lst", Lines({"g1.ort;", "c.cam;", "g2.ort;", "c.cam;"}));
  FovScene scene;
  scene.LoadFovList(list, TOrientationSystem::Photogrammetric);
  const QStringList once = {"-49,750  -  -50", "50,250  -  -50", "50,250  -  50", "-49,750  -  50", "",
                            "450  -  -50",     "550  -  -50",    "550  -  50",    "450  -  50",     ""};
  EXPECT_EQ(once, scene.CornerLines());
  // Frame 2 was chained after its lines were written.
  EXPECT_NEAR(-49.75, scene.Footprints().At(4).X, 1e-9);
  EXPECT_NEAR(-150, scene.Footprints().At(4).Y, 1e-9);
  scene.LoadFovList(list);
  EXPECT_EQ(once + once, scene.CornerLines());
}

TEST(LoadFovList, DrawsTheTrackFootprintsInPaletteOrderAndTheLegend) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Workspace ws;
  // Three frames of 100 x 100 at their aims; frame 2 is chained above
  // frame 1 (stored Y -150 to -50), frame 3 above frame 2.
  ws.AddFrame(1, 0, 0, 50, 50, 100, 100);
  ws.AddFrame(2, 0, 0, 50, 50, 100, 100);
  ws.AddFrame(3, 0, 0, 50, 50, 100, 100);
  const QString list = ws.List("a.lst", {"// 3", ws.Pair(1), ws.Pair(2), ws.Pair(3)});
  FovScene scene;
  scene.LoadFovList(list, TOrientationSystem::Mathematical);
  ASSERT_EQ(3, FrameCount(scene));
  // Scene X -50..50, stored Y -250..50: ScaleY = 924 / 300 = 3.08 decides;
  // X is centred: 100 units take 308 columns, 358 to 666.
  EXPECT_DOUBLE_EQ(3.08, scene.View().ScaleX);
  const QImage& d = scene.Drawing();
  const QRgb aqua = qRgb(0, 255, 255), black = qRgb(0, 0, 0), blue = qRgb(0, 0, 255);
  // Frame 1 (aqua) from row (-50 + 250) * 3.08 + 50 = 666 to 974.
  EXPECT_EQ(aqua, d.pixel(358, 800));
  EXPECT_EQ(aqua, d.pixel(500, 974));
  // Frame 3 (blue) on top from row 50; frame 2 (black) in between, rows 358
  // to 666, where its edges lie under frames 3 and 1.
  EXPECT_EQ(blue, d.pixel(500, 50));
  EXPECT_EQ(black, d.pixel(358, 500));
  EXPECT_EQ(black, d.pixel(500, 666));  // later footprints are drawn over earlier ones
  EXPECT_EQ(blue, d.pixel(500, 358));
  // The track through frame 1's principal point: stored Y 0, row 820.
  EXPECT_EQ(black, d.pixel(100, 820));
  EXPECT_EQ(black, d.pixel(1000, 819));
  EXPECT_EQ(qRgb(0xEF, 0xEF, 0xEF), d.pixel(100, 822));
  // Legend: two rows, entries in the palette colours.
  const QImage legend = LegendPicture(scene);
  EXPECT_EQ(QSize(650, 90), legend.size());
  EXPECT_EQ(aqua, legend.pixel(100, 30));
  EXPECT_EQ(black, legend.pixel(400, 30));
  EXPECT_EQ(blue, legend.pixel(100, 60));
}

TEST(LoadFovList, EveryCompletePairIsRead) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Workspace ws;
  for (int n = 1; n <= 3; ++n) ws.AddFrame(n, 0, 0, 50, 50, 100, 100);
  FovScene scene;
  struct Case {
    const char* what;
    QStringList lines;
    int frames;
  };
  const Case cases[] = {
      {"one comment, three pairs", {"// c", ws.Pair(1), ws.Pair(2), ws.Pair(3)}, 3},
      {"a bare pair", {ws.Pair(1)}, 1},
      {"blocks of three lines", {"// 1", ws.Pair(1), "// 2", ws.Pair(2), "// 3", ws.Pair(3)}, 3},
      {"trailing comment lines", {ws.Pair(1), ws.Pair(2), "//", "//", "// end"}, 2},
      {"a lone data line at the end", {ws.Pair(1), "g2.ort ; no camera", "// end"}, 1},
      {"comments inside a pair", {"g1.ort ;", "// between", "c1.cam ;"}, 1},
  };
  for (const Case& c : cases) {
    scene.LoadFovList(ws.List("a.lst", c.lines), TOrientationSystem::Bench);
    EXPECT_EQ(c.frames, FrameCount(scene)) << c.what;
    EXPECT_EQ(60 + 30 * (c.frames / 2), scene.LegendHeight()) << c.what;
  }
  EXPECT_TRUE(sink.shown.empty());
}

TEST(LoadFovList, NamesAreTakenFromTheListFolderWithEitherSeparator) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  TempDir dir;
  QDir(dir.path()).mkpath("cams");
  QDir(dir.path()).mkpath("geo");
  dir.write("geo/g.ort", NadirGeometry(0, 0));
  dir.write("cams/a.cam", CameraFile(50, 50, 100, 100, "k.txt"));
  dir.write("cams/k.txt", "2\r\n");  // the companion beside the camera file
  dir.write("k.txt", "1\r\n");       // not this one
  const QString list = dir.write("a.lst", Lines({"geo\\g.ort ; x", "cams/a.cam ; y"}));
  FovScene scene;
  scene.LoadFovList(list, TOrientationSystem::Bench);
  EXPECT_TRUE(sink.shown.empty());
  ASSERT_EQ(1, FrameCount(scene));
  // Row scale 2 halves the frame along y.
  ExpectCorners(scene, 0, {{-50, -25}, {50, -25}, {50, 25}, {-50, 25}});
  // The label keeps the folder as written.
  EXPECT_EQ("geo\\g.ort ", scene.GeometryNames().front());
}

TEST(LoadFovList, AFrameWhoseFileCannotBeReadEndsTheLoad) {
  SeparatorScope separator(u'.');
  Workspace ws;
  ws.AddFrame(1, 0, 0, 50, 50, 100, 100);
  ws.AddFrame(2, 0, 0, 50, 50, 100, 100);
  ws.dir.write("bad.ort", "1 ; only one line\r\n");
  const QString missingCamera = ws.List("c.lst", {ws.Pair(1), "g2.ort ;", "missing.cam ;"});
  const QString badGeometry = ws.List("g.lst", {"bad.ort ;", "c1.cam ;", ws.Pair(2)});
  FovScene scene;
  {
    RecordingMessageSink sink;
    EXPECT_EQ("Кадр 2: файл «missing.cam» не прочитан, загрузка списка прервана.",
              ErrorOf([&] { scene.LoadFovList(missingCamera, TOrientationSystem::Bench); }));
    ASSERT_EQ(1u, sink.shown.size());
    EXPECT_EQ(std::make_pair(QStringLiteral("Ошибка!"), QStringLiteral("Ошибка чтения cam-файла!")),
              sink.shown[0]);
  }
  // Nothing of that load is drawn; frame 1's corner lines stay.
  EXPECT_TRUE(IsBlank(scene.Drawing()));
  EXPECT_TRUE(IsBlank(LegendPicture(scene)));
  EXPECT_EQ(5, scene.CornerLines().size());
  EXPECT_EQ(1, FrameCount(scene));  // frame 2 never reached the array
  {
    RecordingMessageSink sink;
    EXPECT_EQ("Кадр 1: файл «bad.ort» не прочитан, загрузка списка прервана.",
              ErrorOf([&] { scene.LoadFovList(badGeometry, TOrientationSystem::Bench); }));
    ASSERT_EQ(1u, sink.shown.size());
    EXPECT_EQ("Ошибка чтения файла геометрии изображения!", sink.shown[0].second);
  }
  EXPECT_TRUE(IsBlank(scene.Drawing()));
  EXPECT_EQ(5, scene.CornerLines().size());
  EXPECT_EQ(0, FrameCount(scene));
}

// Files are read and frames projected ahead, on every core; a failure must
// still end the load at its own frame as if the frames were taken in turn:
// the corner lines and footprints of the frames before it, the geometry of
// the failing frame, and no message about a later frame's files.
TEST(LoadFovList, AFailureAfterManyFramesEndsTheLoadAtItsFrame) {
  SeparatorScope separator(u'.');
  Workspace ws;
  constexpr int kGood = 1200;  // enough for every core to take a share
  QStringList lines;
  for (int n = 1; n <= kGood; ++n) {
    ws.dir.write(QStringLiteral("g%1.ort").arg(n), NadirGeometry(10.0 * n, 3.0 * (n % 7)));
    lines << QStringLiteral("g%1.ort ;").arg(n) << "c.cam ;";
  }
  ws.dir.write("c.cam", CameraFile(50, 50, 100, 100, "rows.txt"));
  ws.dir.write("flat.ort", NadirGeometry(0, 0).replace("100 ;", "0 ;"));  // centre in the plane
  ws.dir.write("bad.ort", "1 ; only one line\r\n");
  TImageGeometry flat;
  ASSERT_TRUE(ReadImageGeometry(ws.dir.file("flat.ort"), flat));

  struct Case {
    QStringList tail;  // the frames after the good ones
    QString message;
    int messageBoxes;
  };
  const Case cases[] = {
      // The projection fails; the unreadable files after it are never reached.
      {{"flat.ort ;", "c.cam ;", "bad.ort ;", "missing.cam ;"}, "Floating point division by zero", 0},
      {{"bad.ort ;", "c.cam ;", "flat.ort ;", "c.cam ;"},
       "Кадр 1201: файл «bad.ort» не прочитан, загрузка списка прервана.",
       1},
      {{"g1.ort ;", "missing.cam ;", "bad.ort ;", "c.cam ;"},
       "Кадр 1201: файл «missing.cam» не прочитан, загрузка списка прервана.",
       1},
  };
  for (const Case& c : cases) {
    const QString list = ws.List("long.lst", lines + c.tail);
    FovScene scene;
    RecordingMessageSink sink;
    EXPECT_EQ(c.message, ErrorOf([&] { scene.LoadFovList(list, TOrientationSystem::Bench); }));
    EXPECT_EQ(c.messageBoxes, static_cast<int>(sink.shown.size())) << c.message.toStdString();
    EXPECT_EQ(5 * kGood, scene.CornerLines().size());
    ASSERT_EQ(kGood, FrameCount(scene));
    EXPECT_EQ(kGood + 1, scene.GeometryNames().size());
    // Frame n (unchained from 6 on) is the 100 x 100 square around its aim.
    for (int n : {6, 777, kGood}) {
      const VT_Point& a = scene.Footprints().At(4 * (n - 1));
      EXPECT_NEAR(10.0 * n - 50, a.X, 1e-9) << n;
    }
    if (c.messageBoxes == 0) {
      EXPECT_EQ(flat.Values, scene.Geometry().Values);
    }
  }
}

TEST(LoadFovList, AListWithoutFramesEndsWithItsOwnMessage) {
  RecordingMessageSink sink;
  Workspace ws;
  FovScene scene;
  for (const QStringList& lines :
       {QStringList{"// only", "// comments"}, QStringList{}, QStringList{"g1.ort ;"}}) {
    const QString list = ws.List("empty.lst", lines);
    EXPECT_EQ("Список empty.lst не содержит ни одного кадра.",
              ErrorOf([&] { scene.LoadFovList(list, TOrientationSystem::Bench); }));
    EXPECT_TRUE(IsBlank(scene.Drawing()));
  }
}

TEST(LoadFovList, RemainingFailuresEndTheLoadWithTheirMessage) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Workspace ws;
  ws.AddFrame(1, 0, 0, 50, 50, 100, 100);
  const QString good = ws.List("good.lst", {ws.Pair(1)});
  int files = 0;
  auto listWithCompanion = [&](const QByteArray& companion) {
    const QString n = QString::number(++files);
    ws.dir.write("k" + n + ".txt", companion);
    ws.dir.write("k" + n + ".cam", CameraFile(50, 50, 100, 100, "k" + n + ".txt"));
    return ws.List("k" + n + ".lst", {"g1.ort ;", "k" + n + ".cam ;"});
  };
  auto listWithCamera = [&](double width, double height) {
    ws.dir.write("w.cam", CameraFile(50, 50, width, height, "rows.txt"));
    return ws.List("w.lst", {"g1.ort ;", "w.cam ;"});
  };
  ws.dir.write("flat.ort", NadirGeometry(0, 0).replace("100 ;", "0 ;"));  // centre in the plane
  const QString flat = ws.List("flat.lst", {"flat.ort ;", "c1.cam ;"});

  struct Case {
    QString list;
    QString message;
  };
  const Case cases[] = {
      {listWithCompanion(""), "List index out of bounds (0)"},
      {listWithCompanion("1 ; row scale\r\n"), "'1 ; row scale' is not a valid floating point value"},
      {listWithCompanion("0\r\n"), "Floating point division by zero"},
      {flat, "Floating point division by zero"},
      {listWithCamera(0, 100), "Floating point division by zero"},  // no extent in X
  };
  FovScene scene;
  for (const Case& c : cases) {
    scene.LoadFovList(good, TOrientationSystem::Bench);
    ASSERT_FALSE(IsBlank(scene.Drawing()));
    EXPECT_EQ(c.message, ErrorOf([&] { scene.LoadFovList(c.list, TOrientationSystem::Bench); }));
    EXPECT_TRUE(IsBlank(scene.Drawing())) << c.message.toStdString();
    EXPECT_TRUE(IsBlank(LegendPicture(scene))) << c.message.toStdString();
  }
  EXPECT_TRUE(sink.shown.empty());
}

TEST(LoadFovList, AnUnreadableListKeepsThePreviousPicture) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Workspace ws;
  ws.AddFrame(1, 0, 0, 50, 50, 100, 100);
  FovScene scene;
  scene.LoadFovList(ws.List("good.lst", {ws.Pair(1)}), TOrientationSystem::Bench);
  const QImage before = scene.Drawing();
  const QString missing = ws.dir.file("missing.lst");
  EXPECT_EQ("Cannot open file " + missing,
            ErrorOf([&] { scene.LoadFovList(missing, TOrientationSystem::Bench); }));
  EXPECT_EQ(before, scene.Drawing());
  EXPECT_EQ(0, scene.Footprints().Length());
  // An empty name changes nothing at all.
  scene.LoadFovList(QString(), TOrientationSystem::Photogrammetric);
  EXPECT_EQ(before, scene.Drawing());
}

TEST(LoadFovList, LongListsLoadWithoutALegendPicture) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Workspace ws;
  ws.AddFrame(1, 0, 0, 50, 50, 100, 100);
  FovScene scene;
  scene.LoadFovList(ws.List("long.lst", QStringList(2001, ws.Pair(1))), TOrientationSystem::Bench);
  EXPECT_EQ(2001, FrameCount(scene));
  EXPECT_EQ(60 + 30 * 1000, scene.LegendHeight());
  // Entry 2001 (palette index 2000 % 17 = 11, olive) on the last row, whose
  // line lies on pixel row 30 + 30 * 1000.
  EXPECT_EQ(qRgb(128, 128, 0), scene.LegendBand(QRect(0, 30000, 650, 60)).pixel(100, 30));
  // 30000 frames: a legend of 650 x 450060 pixels would take over 1 GiB as a
  // picture; none is made, so the load succeeds.
  scene.LoadFovList(ws.List("huge.lst", QStringList(30000, ws.Pair(1))), TOrientationSystem::Bench);
  EXPECT_EQ(30000, FrameCount(scene));
  EXPECT_EQ(450060, scene.LegendHeight());
  EXPECT_FALSE(IsBlank(scene.Drawing()));
  // The last row: entry 29999 (index 29998 % 17 = 10, navy) in column 1,
  // entry 30000 (index 11, olive) in column 2, on pixel row 30 + 30 * 14999.
  const QImage last = scene.LegendBand(QRect(0, 449970, 650, 90));
  EXPECT_EQ(qRgb(0, 0, 128), last.pixel(100, 30));
  EXPECT_EQ(qRgb(128, 128, 0), last.pixel(400, 30));
  EXPECT_EQ(qRgb(0xEF, 0xEF, 0xEF), last.pixel(400, 89));
}

TEST(LoadFovList, FilesNamedAgainGiveTheirValuesAndAreReadAgainByTheNextLoad) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Workspace ws;
  ws.AddFrame(1, 0, 0, 50, 50, 100, 100);
  ws.AddFrame(2, 0, 0, 10, 10, 20, 20);
  // Frame 6 on: the same geometry file with either camera, never chained.
  QStringList lines = {"// c"};
  for (int n = 0; n < 5; ++n) lines << ws.Pair(1);
  lines << "g1.ort ;"
        << "c2.cam ;"
        << "g1.ort ;"
        << "c1.cam ;"
        << "g1.ort ;"
        << "c2.cam ;";
  const QString list = ws.List("a.lst", lines);
  FovScene scene;
  scene.LoadFovList(list, TOrientationSystem::Bench);
  ASSERT_EQ(8, FrameCount(scene));
  ExpectCorners(scene, 5, {{-10, -10}, {10, -10}, {10, 10}, {-10, 10}});
  ExpectCorners(scene, 6, {{-50, -50}, {50, -50}, {50, 50}, {-50, 50}});
  ExpectCorners(scene, 7, {{-10, -10}, {10, -10}, {10, 10}, {-10, 10}});
  // The files change between loads: the next load reads them again.
  ws.dir.write("g1.ort", NadirGeometry(100, 0));
  ws.dir.write("rows.txt", "2\r\n");
  scene.LoadFovList(list, TOrientationSystem::Bench);
  ExpectCorners(scene, 6, {{50, -25}, {150, -25}, {150, 25}, {50, 25}});
  ExpectCorners(scene, 7, {{90, -5}, {110, -5}, {110, 5}, {90, 5}});
  EXPECT_TRUE(sink.shown.empty());
}

TEST(LoadFovList, RepeatedOutlinesDrawTheSamePictureAsDrawingEveryOne) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Workspace ws;
  ws.AddFrame(1, 0, 0, 50, 50, 100, 100);
  ws.AddFrame(2, 30, 20, 50, 50, 100, 100);
  ws.AddFrame(3, -40, 10, 20, 70, 80, 120);
  // Three outlines and 17 colours: frames n and n + 51 share both, and
  // between them others are drawn over the same pixels.
  QStringList lines;
  for (int n = 0; n < 120; ++n) lines << ws.Pair(n % 3 + 1);
  FovScene scene;
  scene.LoadFovList(ws.List("a.lst", lines), TOrientationSystem::Bench);
  ASSERT_EQ(120, FrameCount(scene));
  QImage expected = BlankPicture(kDrawingWidth, kDrawingHeight);
  DrawTrack(expected, scene.View(), scene.TrackPoint());
  const auto& f = scene.Footprints();
  for (int n = 0; n < 120; ++n)
    DrawFootprint(expected, scene.View(), f.At(4 * n), f.At(4 * n + 1), f.At(4 * n + 2), f.At(4 * n + 3),
                  PaletteColor(n));
  EXPECT_EQ(expected, scene.Drawing());
}

// The legend as a single raster, grown entry by entry as the drawing
// routines define it: what the panel showed before it was painted on demand.
QImage RasterLegend(const QStringList& names) {
  QImage legend = BlankPicture(kLegendWidth, kLegendStartHeight);
  for (int n = 0; n < names.size(); ++n) DrawLegendEntry(legend, PaletteColor(n), names[n], n % 2 + 1);
  return legend;
}

TEST(Legend, PaintedBandsHoldThePixelsOfTheRaster) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  TempDir dir;
  dir.write("rows.txt", "1\r\n");
  dir.write("c.cam", CameraFile(50, 50, 100, 100, "rows.txt"));
  // Labels of every kind: short, Cyrillic, long enough to run under the
  // second column, cut inside a word, empty.
  const QStringList files = {"frame1.ort",
                             "Кадр 2 (Ёжик, съёмка).ort",
                             "a very long label that runs past the second column of the legend.ort",
                             "report.ort",
                             "noext.geo",
                             "W.ort",
                             "длинная подпись кадра номер семь, заходящая во второй столбец.ort"};
  QStringList pairs;
  for (int n = 0; n < files.size(); ++n) {
    dir.write(files[n], NadirGeometry(200 * n, 0));
    pairs << files[n] + " ; геометрия"
          << "c.cam ; камера";
  }
  FovScene scene;
  for (int frames = 1; frames <= files.size(); ++frames) {
    scene.LoadFovList(dir.write("a.lst", Lines(pairs.mid(0, 2 * frames))), TOrientationSystem::Bench);
    const QImage raster = RasterLegend(scene.GeometryNames());
    ASSERT_EQ(raster.size(), QSize(scene.LegendWidth(), scene.LegendHeight())) << frames;
    EXPECT_EQ(raster, LegendPicture(scene)) << frames;
    // Bands starting and ending anywhere, across the entries' rows.
    for (int top : {0, 7, 22, 29, 30, 31, 45, 59, 61, 75})
      for (int height : {1, 9, 30, 47}) {
        const QRect area = QRect(0, top, 650, height) & raster.rect();
        if (area.isEmpty()) continue;
        EXPECT_EQ(raster.copy(area), scene.LegendBand(area)) << frames << " " << top << " " << height;
        const QRect part(123, area.top(), 300, area.height());
        EXPECT_EQ(raster.copy(part), scene.LegendBand(part)) << frames << " " << top << " " << height;
      }
    // The window paints the visible part through its own painter.
    QImage canvas(raster.size(), QImage::Format_RGB32);
    canvas.fill(Qt::red);
    QPainter painter(&canvas);
    const int middle = raster.height() / 2 + 3;
    scene.PaintLegend(painter, QRect(0, 0, 650, middle));
    scene.PaintLegend(painter, QRect(0, middle, 650, raster.height() - middle));
    painter.end();
    EXPECT_EQ(raster, canvas) << frames;
  }
  EXPECT_TRUE(sink.shown.empty());
}

TEST(Legend, ASavedLongLegendIsTheRasterOfTheOldLoad) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  Workspace ws;
  ws.AddFrame(1, 0, 0, 50, 50, 100, 100);
  ws.AddFrame(2, 300, 0, 50, 50, 100, 100);
  QStringList lines;
  for (int n = 0; n < 1001; ++n) lines << ws.Pair(n % 2 + 1);
  FovScene scene;
  scene.LoadFovList(ws.List("long.lst", lines), TOrientationSystem::Bench);
  // The raster as a load made it: sized once, each entry drawn at its height.
  QImage raster = BlankPicture(kLegendWidth, LegendHeight(1001));
  for (int n = 0; n < 1001; ++n)
    DrawLegendEntryAt(raster, LegendHeight(n), PaletteColor(n), scene.GeometryNames()[n], n % 2 + 1);
  // 15060 rows of 1952 bytes: the file is written in several bands.
  const QString file = ws.dir.file("legend.bmp");
  scene.SaveLegend(file);
  QImageReader reader(file, "bmp");
  EXPECT_EQ(raster, reader.read().convertToFormat(QImage::Format_RGB32));
}

// The sample scene: six frames whose files describe each rotation three
// ways. All three systems must draw the same scene.
TEST(SampleScene, ThreeOrientationSystemsAgree) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  const QString folder = testing::SourceDir() + "/samples/fov";
  FovScene bench, photo, math, blocks;
  bench.LoadFovList(folder + "/scene.lst", TOrientationSystem::Bench);
  photo.LoadFovList(folder + "/scene.lst", TOrientationSystem::Photogrammetric);
  math.LoadFovList(folder + "/scene.lst", TOrientationSystem::Mathematical);
  blocks.LoadFovList(folder + "/scene_blocks.lst", TOrientationSystem::Bench);
  EXPECT_TRUE(sink.shown.empty());
  ASSERT_EQ(6, FrameCount(bench));
  for (const FovScene* other : {&photo, &math, &blocks}) {
    ASSERT_EQ(24, other->Footprints().Length());
    for (int i = 0; i < 24; ++i) {
      EXPECT_NEAR(bench.Footprints().At(i).X, other->Footprints().At(i).X, 1e-9) << i;
      EXPECT_NEAR(bench.Footprints().At(i).Y, other->Footprints().At(i).Y, 1e-9) << i;
    }
    EXPECT_EQ(bench.Drawing(), other->Drawing());
    EXPECT_EQ(LegendPicture(bench), LegendPicture(*other));
  }
  // The strip is joined corner to corner; the track passes through frame
  // 1's aiming point (0, 0).
  const auto& f = bench.Footprints();
  EXPECT_NEAR(f.At(0).X, f.At(7).X, 1e-12);
  EXPECT_NEAR(f.At(4).Y, f.At(11).Y, 1e-12);
  EXPECT_NEAR(f.At(3).X, f.At(12).X, 1e-12);
  EXPECT_NEAR(f.At(15).Y, f.At(16).Y, 1e-12);
  EXPECT_NEAR(0, bench.TrackPoint().X, 1e-9);
  EXPECT_NEAR(0, bench.TrackPoint().Y, 1e-9);
  EXPECT_EQ(150, bench.LegendHeight());
  EXPECT_EQ(650, bench.LegendWidth());
}

TEST(SaveDrawing, TheBitmapReadsBackPixelForPixel) {
  SeparatorScope separator(u'.');
  RecordingMessageSink sink;
  FovScene scene;
  scene.LoadFovList(testing::SourceDir() + "/samples/fov/scene.lst", TOrientationSystem::Bench);
  TempDir dir;
  const QString file = dir.file("scene_fov.bmp");
  scene.SaveDrawing(file);
  scene.SaveLegend(dir.file("legend.bmp"));
  EXPECT_EQ(QStringList({"legend.bmp", "scene_fov.bmp"}), dir.entries());  // no temporary left behind
  const QByteArray bytes = ReadBytes(file);
  ASSERT_GE(bytes.size(), 54);
  EXPECT_EQ("BM", bytes.left(2));
  EXPECT_EQ(24, static_cast<unsigned char>(bytes[28]));
  EXPECT_EQ(54 + 1024 * 1024 * 3, bytes.size());
  // Read back by Qt's own reader.
  for (const auto& [name, picture] :
       {std::pair{file, scene.Drawing()}, {dir.file("legend.bmp"), LegendPicture(scene)}}) {
    QImageReader reader(name, "bmp");
    const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.size(), back.size()) << reader.errorString().toStdString();
    int differing = 0;
    for (int row = 0; row < back.height(); ++row)
      for (int column = 0; column < back.width(); ++column)
        differing += (back.pixel(column, row) & 0xFFFFFF) != (picture.pixel(column, row) & 0xFFFFFF);
    EXPECT_EQ(0, differing) << name.toStdString();
  }
  // A folder that does not exist: the error, and nothing written.
  EXPECT_EQ("Cannot create file " + dir.file("none/x.bmp"),
            ErrorOf([&] { scene.SaveDrawing(dir.file("none/x.bmp")); }));
}

// The sample scene, loaded once for the fault tests of its two pictures.
const FovScene& SampleScene() {
  static const FovScene scene = [] {
    FovScene s;
    SeparatorScope scope(u'.');
    s.LoadFovList(testing::SourceDir() + "/samples/fov/scene.lst", TOrientationSystem::Bench);
    return s;
  }();
  return scene;
}

testing::OutputCase SavedPicture(bool legend) {
  return {.prepare = [](const QString&) {},
          .write =
              [legend](const QString& folder) {
                if (legend)
                  SampleScene().SaveLegend(folder + "/legend.bmp");
                else
                  SampleScene().SaveDrawing(folder + "/scene_fov.bmp");
              },
          .output = legend ? "legend.bmp" : "scene_fov.bmp"};
}
SKARVEL_OUTPUT_FAULT_TESTS(DrawingOutput, SavedPicture(false))
SKARVEL_OUTPUT_FAULT_TESTS(LegendOutput, SavedPicture(true))

}  // namespace
}  // namespace skarvel
