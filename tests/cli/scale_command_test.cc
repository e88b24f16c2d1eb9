#include "cli/cli_test_support.h"
#include "platform/files.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>

#include <locale.h>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::ReadBytes;
using testing::RunBatch;
using testing::TempDir;

// Copies the bench samples into a fresh folder.
void CopySamples(const TempDir& dir) {
  const QDir samples(testing::SourceDir() + "/samples/bench");
  for (const QString& name : samples.entryList(QDir::Files))
    QFile::copy(samples.filePath(name), dir.file(name));
}

TEST(ScaleCommand, ScalesTheSampleFilesAndPrintsEachOutput) {
  TempDir dir;
  CopySamples(dir);
  const auto r =
      RunBatch({"scale", "--decimal-separator", ".", dir.file("shot01.ort"), dir.file("shot03.day2.ort")});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(r.outLines(), QStringList({dir.file("shot01_real.ort"), dir.file("shot03_real.ort")}));
  const QList<QByteArray> out = SplitLines(ReadBytes(dir.file("shot01_real.ort")));
  ASSERT_EQ(out.size(), 21);
  // The sample's distance is 4.2500 bench metres: 500000 real metres.
  EXPECT_EQ(out[5], "500000" + EncodeCp1251(" ; Расстояние от центра проекции до точки визирования"));
  EXPECT_EQ(out.mid(6), SplitLines(ReadBytes(dir.file("shot01.ort"))).mid(6, 15));
}

TEST(ScaleCommand, TextsAreConvertedWithTheGivenSeparator) {
  TempDir dir;
  CopySamples(dir);
  // The sample files use "." and read with "," in force too; the default
  // bench text and the results are written with the separator in force.
  auto r = RunBatch({"scale", "--decimal-separator", ",", dir.file("shot01.ort")});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(ReadBytes(dir.file("shot01_real.ort")).startsWith("23729,"));
  // An edit text converts with the separator in force alone.
  QFile::remove(dir.file("shot01_real.ort"));
  r = RunBatch({"scale", "--decimal-separator", ",", "--bench", "4.25", dir.file("shot01.ort")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains("'4.25' is not a valid floating point value")) << r.err.toStdString();
  EXPECT_FALSE(QFileInfo::exists(dir.file("shot01_real.ort")));
  r = RunBatch({"scale", "--decimal-separator=.", "--bench", "0.5", "--real", "1", dir.file("shot01.ort")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(ReadBytes(dir.file("shot01_real.ort")).contains("\r\n8.500 ; "));  // 4.25 x 2
}

TEST(ScaleCommand, TheSeparatorComesFromTheLocaleUnlessGiven) {
  if (newlocale(LC_NUMERIC_MASK, "ru_RU.UTF-8", nullptr) == nullptr)
    GTEST_SKIP() << "the ru_RU.UTF-8 locale is not installed (scripts/install-deps.sh makes it)";
  TempDir dir;
  CopySamples(dir);
  const QStringList russian{"LC_ALL=ru_RU.UTF-8"};
  // The Russian separator is ",": the default bench text is "4,25" and the
  // results are written with ",".
  auto r = RunBatch({"scale", dir.file("shot01.ort")}, {}, russian);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(ReadBytes(dir.file("shot01_real.ort")).startsWith("23729,"));
  r = RunBatch({"scale", "--decimal-separator", ".", dir.file("shot01.ort")}, {}, russian);
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(ReadBytes(dir.file("shot01_real.ort")).startsWith("23729."));
}

TEST(ScaleCommand, TheFactorIsTakenFromBothTextsInExtendedPrecision) {
  // 1.7 / 4.25 is 0.4: a line 1 of 1 reads 0.400, not 0.399.
  TempDir dir;
  QList<QByteArray> lines = SplitLines(ReadBytes(testing::SourceDir() + "/samples/bench/shot01.ort"));
  lines[0] = "1 ; X";
  dir.write("one.ort", JoinLinesCrLf(lines));
  const auto r = RunBatch(
      {"scale", "--bench", "4.25", "--real", "1.7", "--decimal-separator", ".", dir.file("one.ort")});
  EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(SplitLines(ReadBytes(dir.file("one_real.ort"))).value(0),
            "0.400" + EncodeCp1251(" ; Координата X центра проекции в системе координат сцены"));
}

TEST(ScaleCommand, ASkippedFileDoesNotStopTheRunButFailsIt) {
  TempDir dir;
  CopySamples(dir);
  dir.write("bad.ort", "1;\r\n");
  const auto r = RunBatch({"scale", "--decimal-separator", ".", dir.file("bad.ort"), dir.file("shot02.ort")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.outLines(), QStringList({dir.file("shot02_real.ort")}));
  EXPECT_TRUE(r.err.contains(QStringLiteral("Ошибка!")));
}

TEST(ScaleCommand, WrongUsageExitsWithTwo) {
  EXPECT_EQ(RunBatch({}).exitCode, 2);
  EXPECT_EQ(RunBatch({"scale"}).exitCode, 2);
  EXPECT_EQ(RunBatch({"scale", "--unknown", "1", "a.ort"}).exitCode, 2);
  EXPECT_EQ(RunBatch({"scale", "--decimal-separator", "ab", "a.ort"}).exitCode, 2);
  EXPECT_EQ(RunBatch({"scale", "a.ort", "--bench"}).exitCode, 2);
  EXPECT_EQ(RunBatch({"nosuchcommand"}).exitCode, 2);
}

}  // namespace
}  // namespace skarvel
