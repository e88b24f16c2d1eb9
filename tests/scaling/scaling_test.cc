#include "scaling/scaling.h"
#include "platform/error.h"
#include "platform/files.h"
#include "support/output_faults.h"
#include "support/test_support.h"

#include <QDir>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::ErrorOf;
using testing::ReadBytes;
using testing::RecordingMessageSink;
using testing::SeparatorScope;
using testing::TempDir;

// A bench file: lines 1-6 given, then angles and matrix with their own
// comments, then `extra` further lines.
QByteArray BenchFile(const QList<QByteArray>& lengths, int extra = 0) {
  QList<QByteArray> lines = lengths;
  for (int i = 6; i < 21; ++i)
    lines.append(QByteArray::number(i) + ".25 ; " +
                 EncodeCp1251(QStringLiteral("угол или матрица %1").arg(i)));
  for (int i = 0; i < extra; ++i) lines.append("99 ; extra");
  return JoinLinesCrLf(lines);
}

TEST(ScaleFactor, ConvertsRealThenBenchAndDividesInExtendedPrecision) {
  SeparatorScope scope(u'.');
  EXPECT_EQ(ScaleFactor("4.25", "500000"), 117647.05882352941);
  EXPECT_EQ(ScaleFactor("4.25", "0"), 0.0);
  EXPECT_EQ(ErrorOf([] { ScaleFactor("0", "500000"); }), "Floating point division by zero");
  EXPECT_EQ(ErrorOf([] { ScaleFactor("0", "0"); }), "Invalid floating point operation");
  EXPECT_EQ(ErrorOf([] { ScaleFactor("1e-300", "1e300"); }), "Floating point overflow");
  // The real distance is converted first.
  EXPECT_EQ(ErrorOf([] { ScaleFactor("x", "y"); }), "'y' is not a valid floating point value");
}

TEST(ScaleFactor, BothTextsAreConvertedInExtendedPrecisionBeforeTheDivision) {
  SeparatorScope scope(u'.');
  // Each quotient is exact in decimals; rounding the real distance to a double
  // before dividing would give the double just below it.
  EXPECT_EQ(ScaleFactor("4.25", "1.7"), 0.4);
  EXPECT_EQ(ScaleFactor("4.25", "0.85"), 0.2);
  EXPECT_EQ(ScaleFactor("4.25", "3.4"), 0.8);
  EXPECT_EQ(ScaleFactor("0.1", "0.3"), 3.0);
  EXPECT_EQ(ScaleFactor("0.1", "0.7"), 7.0);
  // Texts beyond the range of a double are not numbers, as in the files.
  EXPECT_EQ(ErrorOf([] { ScaleFactor("1", "1e400"); }), "'1e400' is not a valid floating point value");
  // A bench distance too small for a double is still not 0 in extended
  // precision; the quotient is then too large for a double.
  EXPECT_EQ(ErrorOf([] { ScaleFactor("1e-400", "1"); }), "Floating point overflow");

  // A length of 1 then reads 0.400, and an integral factor writes integers.
  TempDir dir;
  dir.write("a.ort", BenchFile({"1;", "-1;", "2.5;", "0;", "1;", "1;"}));
  RecordingMessageSink sink;
  TImageGeometry g;
  RunScaling(dir.path(), {"a.ort"}, "4.25", "1.7", g);
  const QList<QByteArray> out = SplitLines(ReadBytes(dir.file("a_real.ort")));
  ASSERT_EQ(out.size(), 21);
  EXPECT_TRUE(out[0].startsWith("0.400 ; ")) << out[0].toStdString();
  EXPECT_TRUE(out[1].startsWith("-0.400 ; ")) << out[1].toStdString();
  EXPECT_TRUE(out[2].startsWith("1 ; ")) << out[2].toStdString();
  RunScaling(dir.path(), {"a.ort"}, "0.1", "0.3", g);
  EXPECT_TRUE(ReadBytes(dir.file("a_real.ort")).startsWith("3 ; "));
}

TEST(ScaleFactor, DefaultBenchTextFailsWithACommaSeparator) {
  SeparatorScope scope(u',');
  EXPECT_EQ(ErrorOf([] { ScaleFactor("4.25", "500000"); }), "'4.25' is not a valid floating point value");
  EXPECT_EQ(ScaleFactor("4,25", "500000"), 117647.05882352941);
}

TEST(ScalingRun, ScalesLengthsAndCopiesTheRestByteForByte) {
  SeparatorScope scope(u'.');
  TempDir dir;
  const QByteArray ownComment9 =
      "8.25 ; " + QStringLiteral("свой комментарий ё").toUtf8();  // UTF-8 bytes stay UTF-8
  QList<QByteArray> source =
      SplitLines(BenchFile({"1.2 ; old comment", "-0.5;", "0;", "3;", "4;", "4.25 ; d"}, 9));
  source[8] = ownComment9;
  dir.write("scene.day2.ort", JoinLinesCrLf(source));

  RecordingMessageSink sink;
  TImageGeometry g;
  const ScalingResult result = RunScaling(dir.path(), {"scene.day2.ort"}, "4.25", "500000", g);
  ASSERT_EQ(result.written, QStringList({dir.file("scene_real.ort")}));
  EXPECT_TRUE(result.skipped.isEmpty());
  EXPECT_TRUE(sink.shown.empty());

  const QByteArray bytes = ReadBytes(dir.file("scene_real.ort"));
  ASSERT_TRUE(bytes.endsWith("\r\n"));
  const QList<QByteArray> out = SplitLines(bytes);
  ASSERT_EQ(out.size(), 21);  // a 30-line source gives 21 lines
  EXPECT_EQ(out[0], "141176.470" + EncodeCp1251(" ; Координата X центра проекции в системе координат сцены"));
  EXPECT_EQ(out[1], "-58823.529" + EncodeCp1251(" ; Координата Y центра проекции в системе координат сцены"));
  EXPECT_EQ(out[2], "0" + EncodeCp1251(" ; Координата Z центра проекции в системе координат сцены"));
  EXPECT_EQ(out[5], "500000" + EncodeCp1251(" ; Расстояние от центра проекции до точки визирования"));
  for (int i = 6; i < 21; ++i) EXPECT_EQ(out[i], source[i]) << i;
  EXPECT_EQ(out[8], ownComment9);
  EXPECT_EQ(bytes.count("\r\n"), 21);
  // The window's record holds the file read last.
  EXPECT_EQ(g[5], 4.25);
}

TEST(ScalingRun, ARejectedFileIsSkippedAndTheRunGoesOn) {
  SeparatorScope scope(u'.');
  TempDir dir;
  dir.write("a.ort", BenchFile({"1;", "1;", "1;", "1;", "1;", "1;"}));
  dir.write("b.ort", "1;\r\n2;\r\n");  // too short
  dir.write("b_real.ort", "earlier output");
  dir.write("c.ort", BenchFile({"2;", "2;", "2;", "2;", "2;", "2;"}));
  RecordingMessageSink sink;
  TImageGeometry g;
  const ScalingResult result =
      RunScaling(dir.path(), {"a.ort", "b.ort", "missing.ort", "c.ort"}, "1", "10", g);
  EXPECT_EQ(result.written, QStringList({dir.file("a_real.ort"), dir.file("c_real.ort")}));
  EXPECT_EQ(result.skipped, QStringList({"b.ort", "missing.ort"}));
  EXPECT_EQ(sink.shown.size(), 2u);
  EXPECT_EQ(ReadBytes(dir.file("b_real.ort")), QByteArray("earlier output"));
  EXPECT_TRUE(ReadBytes(dir.file("c_real.ort")).startsWith("20 ; "));
}

TEST(ScalingRun, AnUnwritableOutputEndsTheRunAndKeepsEarlierOutputs) {
  SeparatorScope scope(u'.');
  TempDir dir;
  dir.write("a.ort", BenchFile({"1;", "1;", "1;", "1;", "1;", "1;"}));
  dir.write("b.ort", BenchFile({"1;", "1;", "1;", "1;", "1;", "1;"}));
  dir.write("c.ort", BenchFile({"1;", "1;", "1;", "1;", "1;", "1;"}));
  QDir(dir.path()).mkdir("b_real.ort");  // a folder stands where the output goes
  RecordingMessageSink sink;
  TImageGeometry g;
  EXPECT_EQ(ErrorOf([&] {
              RunScaling(dir.path(), {"a.ort", "b.ort", "c.ort"}, "1", "2", g);
            }),
            "Cannot create file " + dir.file("b_real.ort"));
  EXPECT_TRUE(QFileInfo(dir.file("a_real.ort")).isFile());
  EXPECT_FALSE(QFileInfo::exists(dir.file("c_real.ort")));
  EXPECT_EQ(dir.entries(), QStringList({"a.ort", "a_real.ort", "b.ort", "c.ort"}));
}

TEST(ScalingRun, ABadEditTextEndsTheRunBeforeAnyFileIsRead) {
  SeparatorScope scope(u'.');
  TempDir dir;
  dir.write("a.ort", "broken");
  RecordingMessageSink sink;
  TImageGeometry g;
  EXPECT_EQ(ErrorOf([&] { RunScaling(dir.path(), {"a.ort"}, "4,25", "500000", g); }),
            "'4,25' is not a valid floating point value");
  EXPECT_TRUE(sink.shown.empty());
  EXPECT_EQ(dir.entries(), QStringList({"a.ort"}));
}

// The scaled copy, about 1.5 KB: smaller than any write buffer, so a full
// disk shows only in the result of the write or the sync.
testing::OutputCase ScaledFile() {
  return {
      .prepare =
          [](const QString& folder) {
            testing::WriteBytes(folder + "/a.ort", BenchFile({"1.2;", "-0.5;", "0;", "3;", "4;", "4.25;"}));
          },
      .write =
          [](const QString& folder) {
            SeparatorScope scope(u'.');
            RecordingMessageSink sink;
            TImageGeometry g;
            RunScaling(folder, {"a.ort"}, "4.25", "500000", g);
            EXPECT_TRUE(sink.shown.empty());
          },
      .output = "a_real.ort"};
}
SKARVEL_OUTPUT_FAULT_TESTS(ScaledFileOutput, ScaledFile())

}  // namespace
}  // namespace skarvel
