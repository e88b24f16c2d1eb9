// The three bitmap tasks on photographs give the same bytes as on the bitmap
// file of the same 8-bit pixels, made from each sample photograph by netpbm's
// converters (an independent decoder; orientation by pamflip, 16-bit
// channels by pamdepth, palettes kept in order by ppmtobmp -mapfile).

#include "cli/cli_test_support.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace skarvel {
namespace {

using testing::TempDir;

struct Sample {
  const char* file;
  const char* toBitmap;  // a shell pipeline from $IN to a bitmap file on standard output
};

// $GREY is a map of the 256 grey levels in order, so that grey pictures become
// 8-bit bitmaps whose indices are their levels.
const Sample kSamples[] = {
    {"aerial.jpg", "jpegtopnm \"$IN\" | ppmtobmp -bpp 24"},
    {"aerial_progressive.jpg", "jpegtopnm \"$IN\" | ppmtobmp -bpp 24"},
    {"relief_grey.jpg", "jpegtopnm \"$IN\" | ppmtobmp -mapfile=\"$GREY\""},
    {"IMG_0042.JPG", "jpegtopnm \"$IN\" | pamflip -cw | ppmtobmp -bpp 24"},
    {"aerial_palette.png", "pngtopam \"$IN\" | ppmtobmp -bpp 8 -mapfile=\"${IN%.png}.map.ppm\""},
    {"aerial_rgb.png", "pngtopam \"$IN\" | ppmtobmp -bpp 24"},
    {"relief_grey16.png", "pngtopam \"$IN\" | pamdepth 255 | ppmtobmp -mapfile=\"$GREY\""},
    {"aerial16.tif", "tifftopnm \"$IN\" | pamdepth 255 | ppmtobmp -bpp 24"},
};

bool RunShell(const QString& script, const QStringList& environment, const QString& output) {
  QProcess shell;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const QString& setting : environment)
    env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
  shell.setProcessEnvironment(env);
  shell.setStandardOutputFile(output);
  shell.setStandardErrorFile(QProcess::nullDevice());
  shell.start(QStringLiteral("/bin/bash"),
              {QStringLiteral("-o"), QStringLiteral("pipefail"), QStringLiteral("-ec"), script});
  return shell.waitForFinished(60000) && shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0;
}

// Resample (to an uneven size), cut (a window partly outside the picture) and grey
// (uneven weights and a contrast): every output of the folder's one picture.
void RunTasks(const QString& file) {
  const QList<QStringList> runs = {
      {"resample", "--width", "200", "--height", "333", file},
      {"cut", "--w1", "17", "--h1", "-9", "--w2", "260", "--h2", "300", file},
      {"grey", "--r", "35", "--g", "-20", "--b", "12", "--contrast", "70", file},
  };
  for (const QStringList& args : runs) {
    const testing::CommandResult r = testing::RunBatch(args);
    ASSERT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << ": " << r.err.toStdString();
  }
}

TEST(PhotoOutputs, EqualThoseOfTheBitmapOfTheSamePixels) {
  for (const char* tool : {"jpegtopnm", "pngtopam", "tifftopnm", "pamflip", "pamdepth", "ppmtobmp", "pamseq"})
    if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << tool << " is not installed (netpbm)";
  TempDir dir;
  const QString grey = dir.file("grey.pgm");
  ASSERT_TRUE(RunShell("pamseq 1 255", {}, grey));
  for (const Sample& s : kSamples) {
    const QString name = QString::fromUtf8(s.file);
    const QString base = name.section(u'.', 0, 0);
    const QString photoDir = dir.file(base + "-photo"), bitmapDir = dir.file(base + "-bitmap");
    ASSERT_TRUE(QDir().mkpath(photoDir) && QDir().mkpath(bitmapDir));
    const QString source = testing::SourceDir() + "/samples/photos/" + name;
    const QString photo = photoDir + "/" + name;
    ASSERT_TRUE(QFile::copy(source, photo)) << s.file;
    const QString bitmap = bitmapDir + "/" + base + ".bmp";
    ASSERT_TRUE(RunShell(QString::fromUtf8(s.toBitmap), {"IN=" + source, "GREY=" + grey}, bitmap)) << s.file;
    RunTasks(photo);
    RunTasks(bitmap);
    for (const char* suffix : {"_transform.bmp", "_cut.bmp", "_mod.bmp"}) {
      const QByteArray fromPhoto = testing::ReadBytes(photoDir + "/" + base + suffix);
      const QByteArray fromBitmap = testing::ReadBytes(bitmapDir + "/" + base + suffix);
      EXPECT_FALSE(fromBitmap.isEmpty()) << s.file << suffix;
      EXPECT_TRUE(fromPhoto == fromBitmap) << s.file << suffix << " differs from the bitmap's";
    }
  }
}

TEST(PhotoOutputs, ABadPhotographStopsTheBatchWithItsNameAndNoOutput) {
  TempDir dir;
  const QByteArray jpeg = testing::ReadBytes(testing::SourceDir() + "/samples/photos/aerial.jpg");
  const QString good = dir.write("a.jpg", jpeg);
  const QString cut = dir.write("b.JPG", jpeg.left(jpeg.size() / 3));
  const testing::CommandResult r = testing::RunBatch({"grey", good, cut});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_TRUE(r.err.startsWith(cut + ": JPEG: ")) << r.err.toStdString();
  EXPECT_EQ(r.err.count(cut), 1) << "named once";
  EXPECT_TRUE(QFile::exists(dir.file("a_mod.bmp")));
  EXPECT_FALSE(QFile::exists(dir.file("b_mod.bmp")));
  EXPECT_EQ(dir.entries(), QStringList({"a.jpg", "a_mod.bmp", "b.JPG"})) << "no partial or temporary file";
}

}  // namespace
}  // namespace skarvel
