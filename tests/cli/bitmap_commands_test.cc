// skarvel-batch resample, cut and grey as a user runs them: defaults, usage
// errors, exit codes, one line per written file, and runs that fail midway.

#include "cli/cli_test_support.h"
#include "platform/bitmap_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>

namespace skarvel {
namespace {

using testing::TempDir;

struct Result {
  int exitCode;
  QStringList out;
  QString err;
};

Result Batch(const QStringList& args) {
  const testing::CommandResult r = testing::RunBatch(args);
  return {r.exitCode, r.outLines(), r.err.trimmed()};
}

// The project's samples, copied into a fresh folder.
void CopySamples(const TempDir& dir) {
  for (const char* name : {"aerial.bmp", "relief_grey.bmp"})
    ASSERT_TRUE(QFile::copy(testing::SourceDir() + "/samples/bitmaps/" + name, dir.file(name))) << name;
}

TEST(BatchCommands, WorkOnTheSamplesWithTheWindowsDefaults) {
  TempDir dir;
  CopySamples(dir);
  const QStringList files = {dir.file("aerial.bmp"), dir.file("relief_grey.bmp")};

  const Result resample = Batch(QStringList{"resample"} + files);
  EXPECT_EQ(resample.exitCode, 0) << resample.err.toStdString();
  EXPECT_EQ(resample.out,
            (QStringList{dir.file("aerial_transform.bmp"), dir.file("relief_grey_transform.bmp")}));
  const Bitmap r = LoadBitmap(dir.file("relief_grey_transform.bmp"));
  EXPECT_EQ(r.width, 512);
  EXPECT_EQ(r.height, 512);
  EXPECT_EQ(r.fileBitCount, 24);

  const Result cut =
      Batch(QStringList{"cut", "--w1", "300", "--h1", "-20", "--w2=330", "--h2", "10"} + files);
  EXPECT_EQ(cut.exitCode, 0) << cut.err.toStdString();
  EXPECT_EQ(cut.out, (QStringList{dir.file("aerial_cut.bmp"), dir.file("relief_grey_cut.bmp")}));
  const Bitmap c = LoadBitmap(dir.file("relief_grey_cut.bmp"));
  const Bitmap source = LoadBitmap(dir.file("relief_grey.bmp"));
  ASSERT_EQ(c.width, 30);
  ASSERT_EQ(c.height, 30);
  EXPECT_EQ(c.fileBitCount, 24);
  EXPECT_EQ(c.colour(0, 20), source.colour(300, 0));
  EXPECT_EQ(c.colour(19, 29), source.colour(319, 9));
  EXPECT_EQ(c.colour(20, 29), (Bgr{255, 255, 255})) << "right of the picture";
  EXPECT_EQ(c.colour(0, 19), (Bgr{255, 255, 255})) << "above the picture";

  // All three weights at -100 and contrast 25: every level is trunc((0 - 127) * 0.5 + 127) = 63.
  const Result grey =
      Batch(QStringList{"grey", "--r", "-100", "--g=-100", "--b", "-100", "--contrast", "25"} + files);
  EXPECT_EQ(grey.exitCode, 0) << grey.err.toStdString();
  EXPECT_EQ(grey.out, (QStringList{dir.file("aerial_mod.bmp"), dir.file("relief_grey_mod.bmp")}));
  const Bitmap g = LoadBitmap(dir.file("relief_grey_mod.bmp"));
  EXPECT_EQ(g.fileBitCount, 8);
  EXPECT_EQ(g.palette, GreyPalette());
  EXPECT_EQ(g.pixels, PixelBuffer(320 * 240, 63));
  const Bitmap a = LoadBitmap(dir.file("aerial_mod.bmp"));
  EXPECT_EQ(a.width, 320);
  EXPECT_EQ(a.height, 240);
  EXPECT_EQ(a.pixels, PixelBuffer(320 * 240, 63));
}

TEST(BatchCommands, WrongUsageExitsWithTwoAndWritesNothing) {
  TempDir dir;
  CopySamples(dir);
  const QString file = dir.file("aerial.bmp");
  const QList<QStringList> wrong = {
      {"resample"},
      {"resample", "--method", "cubic", file},
      {"resample", "--size", "5", file},
      {"cut", "--w1"},
      {"grey", "--r", "201", file},
      {"grey", "--g", "-101", file},
      {"grey", "--contrast", "501", file},
      {"grey", "--contrast", "fifty", file},
      {"grey", "--b", "$10", file},
      {"grey"},
  };
  for (const QStringList& args : wrong) {
    const Result r = Batch(args);
    EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("usage")) << r.err.toStdString();
  }
  EXPECT_EQ(dir.entries(), (QStringList{"aerial.bmp", "relief_grey.bmp"}));
  // The slider range ends are accepted.
  EXPECT_EQ(Batch({"grey", "--r", "-100", "--g", "200", "--b", "0", "--contrast", "500", file}).exitCode, 0);
  EXPECT_EQ(Batch({"grey", "--contrast", "0", file}).exitCode, 0);
}

TEST(BatchCommands, AFailureMidwayKeepsEarlierOutputsAndLeavesNoPartialFile) {
  TempDir dir;
  CopySamples(dir);
  dir.write("broken.bmp", QByteArray("BM") + QByteArray(100, '\x7f'));
  const QStringList files = {dir.file("aerial.bmp"), dir.file("broken.bmp"), dir.file("relief_grey.bmp")};
  for (const QStringList& command : {QStringList{"resample", "--width", "64", "--height", "48"},
                                     QStringList{"cut"}, QStringList{"grey"}}) {
    const Result r = Batch(command + files);
    EXPECT_EQ(r.exitCode, 1) << command[0].toStdString();
    EXPECT_EQ(r.out.size(), 1) << command[0].toStdString();
    // The core's text, naming the file it came from.
    EXPECT_EQ(r.err.trimmed(), dir.file("broken.bmp") + QStringLiteral(": Bitmap image is not valid"));
  }
  EXPECT_EQ(dir.entries(), (QStringList{"aerial.bmp", "aerial_cut.bmp", "aerial_mod.bmp",
                                        "aerial_transform.bmp", "broken.bmp", "relief_grey.bmp"}));
}

TEST(BatchCommands, RunErrorsGiveClearMessagesBeforeWriting) {
  TempDir dir;
  CopySamples(dir);
  const QString file = dir.file("aerial.bmp");
  const Result empty = Batch({"cut", "--w1", "100", "--w2", "0", file});
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_TRUE(empty.err.startsWith(QStringLiteral("Пустой фрагмент"))) << empty.err.toStdString();
  const Result zero = Batch({"resample", "--width", "0", file});
  EXPECT_EQ(zero.exitCode, 1);
  EXPECT_EQ(zero.err.trimmed(), QStringLiteral("Floating point division by zero"));
  const Result negative = Batch({"resample", "--height", "-4", file});
  EXPECT_EQ(negative.exitCode, 1);
  EXPECT_TRUE(negative.err.contains(QStringLiteral("не меньше 1"))) << negative.err.toStdString();
  const Result text = Batch({"resample", "--height", "5,0", file});
  EXPECT_EQ(text.exitCode, 1);
  EXPECT_EQ(text.err.trimmed(), QStringLiteral("'5,0' is not a valid integer value"));
  const Result missing = Batch({"grey", dir.file("none.bmp")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err.trimmed(), QStringLiteral("Cannot open file ") + dir.file("none.bmp"));
  EXPECT_EQ(dir.entries(), (QStringList{"aerial.bmp", "relief_grey.bmp"}));
  // The decimal separator option is accepted by every subcommand.
  EXPECT_EQ(Batch({"cut", "--decimal-separator", ",", "--w2", "10", "--h2", "10", file}).exitCode, 0);
}

}  // namespace
}  // namespace skarvel
