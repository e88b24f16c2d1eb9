#include "geometry/readers.h"
#include "platform/files.h"
#include "support/test_support.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cmath>

namespace skarvel {
namespace {

using testing::RecordingMessageSink;
using testing::SeparatorScope;
using testing::TempDir;

// 21 value lines "<value> ; comment <n>" with the given separator.
QByteArray GeometryFile(QChar separator, int lines = 21) {
  QByteArray out;
  for (int i = 0; i < lines; ++i) {
    QString value = QString::number(i) + separator + QStringLiteral("5");
    out += EncodeCp1251(value + QStringLiteral(" ; значение %1").arg(i + 1)) + "\r\n";
  }
  return out;
}

TImageGeometry Filled(double value) {
  TImageGeometry g;
  g.Values.fill(value);
  return g;
}

TEST(ImageGeometryReader, ReadsAPointOrACommaWhateverTheSeparatorInForce) {
  TempDir dir;
  const QString comma = dir.write("c.ort", GeometryFile(u','));
  const QString point = dir.write("p.ort", GeometryFile(u'.'));
  const QString colon = dir.write("k.ort", GeometryFile(u':'));
  QByteArray mixed = GeometryFile(u'.');
  mixed.replace("3.5 ;", "3.5,0 ;");
  const QString both = dir.write("m.ort", mixed);
  // (separator in force, file, reads, why)
  const std::tuple<QChar, QString, bool, const char*> rows[] = {
      {u',', comma, true, "the Russian desktop's own files"},
      {u',', point, true, "a file made on a machine set to '.'"},
      {u'.', point, true, "the C locale's own files"},
      {u'.', comma, true, "a file made on a Russian desktop"},
      {u':', colon, true, "an unusual separator in force still reads"},
      {u':', comma, true, "and so do the two usual ones"},
      {u'.', colon, false, "':' is a point only where it is in force"},
      {u',', both, false, "a value with two points is no number"},
  };
  for (const auto& [separator, file, reads, why] : rows) {
    SeparatorScope scope(separator);
    RecordingMessageSink sink;
    TImageGeometry g;
    EXPECT_EQ(ReadImageGeometry(file, g), reads) << why;
    if (!reads) {
      ASSERT_EQ(sink.shown.size(), 1u) << why;
      EXPECT_EQ(sink.shown[0].first, QStringLiteral("Ошибка!"));
      EXPECT_EQ(sink.shown[0].second, QStringLiteral("Ошибка чтения файла геометрии изображения!"));
      continue;
    }
    EXPECT_TRUE(sink.shown.empty()) << why;
    EXPECT_EQ(g[0], 0.5) << why;
    EXPECT_EQ(g[5], 5.5) << why;
    EXPECT_EQ(g[12], 12.5) << why;
    EXPECT_EQ(g[6], static_cast<double>(6.5L * kDegreesToRadians)) << why;
  }
}

TEST(ImageGeometryReader, FailureAtLineKKeepsEarlierValuesAndLeavesTheRest) {
  SeparatorScope scope(u'.');
  TempDir dir;
  for (int k = 1; k <= 21; ++k) {
    QList<QByteArray> lines = SplitLines(GeometryFile(u'.'));
    lines[k - 1] = "17";  // no ";": an empty number text
    const QString name = dir.write(QStringLiteral("f%1.ort").arg(k), JoinLinesCrLf(lines));
    RecordingMessageSink sink;
    TImageGeometry g = Filled(-99);
    EXPECT_FALSE(ReadImageGeometry(name, g));
    for (int i = 0; i < 21; ++i) {
      const double fresh =
          (i >= 6 && i <= 11) ? static_cast<double>((i + 0.5L) * kDegreesToRadians) : i + 0.5;
      EXPECT_EQ(g[i], i < k - 1 ? fresh : -99) << "k=" << k << " i=" << i;
    }
    EXPECT_EQ(sink.shown.size(), 1u);
  }
}

TEST(ImageGeometryReader, LineCountsAndNumberForms) {
  SeparatorScope scope(u',');
  TempDir dir;
  RecordingMessageSink sink;
  TImageGeometry g;
  EXPECT_FALSE(ReadImageGeometry(dir.write("20.ort", GeometryFile(u',', 20)), g));
  EXPECT_TRUE(ReadImageGeometry(dir.write("25.ort", GeometryFile(u',', 25)), g));

  QList<QByteArray> lines = SplitLines(GeometryFile(u','));
  lines[0] = "  -3,5E2   ;";
  lines[1] = "7;";
  lines[6] = "180 ; фи";
  lines[9] = "90;";
  lines[12] = "0,25 ; matrix";
  ASSERT_TRUE(ReadImageGeometry(dir.write("forms.ort", JoinLinesCrLf(lines)), g));
  EXPECT_EQ(g[0], -350.0);
  EXPECT_EQ(g[1], 7.0);
  EXPECT_EQ(g[6], 3.141592653589793);
  EXPECT_EQ(g[9], 1.5707963267948966);
  EXPECT_EQ(g[12], 0.25);
  EXPECT_EQ(sink.shown.size(), 1u);
}

TEST(ImageGeometryReader, MissingBinaryAndHugeValuesAreReportedNotFatal) {
  SeparatorScope scope(u'.');
  TempDir dir;
  RecordingMessageSink sink;
  TImageGeometry g = Filled(1);
  EXPECT_FALSE(ReadImageGeometry(dir.file("missing.ort"), g));
  QByteArray binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
  EXPECT_FALSE(ReadImageGeometry(dir.write("binary.ort", binary), g));
  QList<QByteArray> lines = SplitLines(GeometryFile(u'.'));
  lines[3] = "1e309;";
  EXPECT_FALSE(ReadImageGeometry(dir.write("huge.ort", JoinLinesCrLf(lines)), g));
  EXPECT_EQ(g[3], 1.0);
  EXPECT_EQ(sink.shown.size(), 3u);
}

// The bytes reader must give exactly what the text reader gives, or decline.
TEST(ImageGeometryReader, BytesGiveTheTextReadersValuesOrDecline) {
  const QByteArray plain = GeometryFile(u'.');
  auto with = [&](int line, const QByteArray& text) {
    QList<QByteArray> lines = SplitLines(plain);
    lines[line] = text;
    return JoinLinesCrLf(lines);
  };
  QByteArray lfOnly = plain, crOnly = plain, unended = plain, mixedEnds = plain;
  lfOnly.replace("\r\n", "\n");
  crOnly.replace("\r\n", "\r");
  unended.chop(2);
  qsizetype third = -1;
  for (int k = 0; k < 3; ++k) third = mixedEnds.indexOf("\r\n", third + 1);
  mixedEnds.replace(third, 2, "\n\r");  // LF then CR: an empty line between
  QByteArray nulLate = plain + QByteArray("\0 ; tail", 8);
  QByteArray nulEarly = plain;
  nulEarly[nulEarly.indexOf("7.5")] = '\0';
  // (bytes, the bytes reader reads them, why)
  const std::tuple<QByteArray, bool, const char*> rows[] = {
      {plain, true, "CR LF lines with Windows-1251 comments"},
      {GeometryFile(u','), true, "',' as the point"},
      {lfOnly, true, "LF lines"},
      {crOnly, true, "CR lines"},
      {unended, true, "the last line without an end"},
      {plain + "extra ; lines\r\n", true, "lines after the 21st"},
      {mixedEnds, false, "an empty line where a value should stand"},
      {nulLate, true, "a NUL after the values"},
      {nulEarly, false, "a NUL ends the text before line 8"},
      {GeometryFile(u'.', 20), false, "20 lines"},
      {with(0, "  -3.5E2   ;"), true, "blanks, sign and exponent"},
      {with(4, "17"), false, "no ';'"},
      {with(4, "1.5,0 ;"), false, "two points"},
      {with(4, "1e309 ;"), false, "beyond a double"},
      {with(4, "\t1.5 ;"), false, "a tab is no blank"},
      {with(4, QByteArray("\xef\xbc\x95 ;")), false, "a full-width digit in UTF-8"},
      {QByteArray("\xef\xbb\xbf") + plain, false, "a byte-order mark"},
      {with(4, QByteArray("1\xb7"
                          "5 ;")),
       false, "a point outside ASCII"},
  };
  for (const QChar separator : {QChar(u'.'), QChar(u','), QChar(u'\u00b7')}) {
    SeparatorScope scope(separator);
    for (const auto& [bytes, reads, why] : rows) {
      TImageGeometry fast = Filled(-7), full = Filled(-7);
      const bool fastRead = ParseImageGeometryBytes(bytes, fast);
      bool fullRead = true;
      try {
        ParseImageGeometry(TextLines(bytes), full);
      } catch (const std::exception&) {
        fullRead = false;
      }
      const char* inForce = separator == u'.' ? "." : separator == u',' ? "," : "middle dot";
      EXPECT_EQ(fastRead, reads) << why << ", separator " << inForce;
      if (fastRead) {
        EXPECT_TRUE(fullRead) << why;
        for (int i = 0; i < 21; ++i) EXPECT_EQ(fast[i], full[i]) << why << ", value " << i;
      } else {
        EXPECT_EQ(fast.Values, Filled(-7).Values) << why << ": nothing changes";
      }
    }
  }
}

TEST(FormatShortNumber, CutsAfterTheThirdSignificantDecimal) {
  SeparatorScope scope(u'.');
  const std::pair<double, const char*> cases[] = {
      {500000, "500000"},
      {4.25, "4.250"},
      {-2.5, "-2.500"},
      {0.1, "0.100"},
      {0.000123456, "0.000123"},
      {-0.0004, "-0.000400"},
      {500000 / 4.25, "117647.0588"},
      {1.2 * (500000 / 4.25), "141176.470"},
      {-0.5 * (500000 / 4.25), "-58823.529"},
      {12, "12"},
      {1e-20, "0"},
      {-1e-20, "0"},
      {0.0, "0"},
      {-0.0, "0"},
      {-7, "-7"},
      {0.999, "0.998"},  // the double lies below 0.999: digits are cut, never rounded
      {0.9999999, "0.999"},
      {123.0001, "123.000100"},
      {999999.9999, "999999.999"},
      {1e-18, "0.000000000000000001"},  // one significant digit, then the decimals run out
      {5e-19, "0"},                     // beyond the 18th decimal
      {0.00000000000000012, "0.000000000000000120"},
      {2147483648.0, "2147483648"},  // integral beyond 32 bits: written whole
      {-3e12, "-3000000000000"},
      {1e18, "1000000000000000000"},
      {123456789012345.6, "123456789012345.594"},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(FormatShortNumber(value), expected) << value;
}

TEST(FormatShortNumber, UsesTheSeparatorInForce) {
  SeparatorScope scope(u',');
  EXPECT_EQ(FormatShortNumber(4.25), "4,250");
  EXPECT_EQ(FormatShortNumber(-0.0004), "-0,000400");
  EXPECT_EQ(FormatShortNumber(12), "12");
}

TEST(FormatShortNumber, CutsOnlyAtAPointOrAComma) {
  // With any other separator the text has neither: the fixed notation with
  // its 18 decimals stands, integral values included.
  SeparatorScope scope(u':');
  EXPECT_EQ(FormatShortNumber(4.25), "4:250000000000000000");
  EXPECT_EQ(FormatShortNumber(12), "12:000000000000000000");
  EXPECT_EQ(FormatShortNumber(-0.0004), "-0:000400000000000000");
  // 117647.0588235294126... rounded to 18 significant digits.
  EXPECT_EQ(FormatShortNumber(500000 / 4.25), "117647:058823529413000000");
}

class CameraReader : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    QDir(dir_.path()).mkdir("cams");
    dir_.write("cams/k.txt", "2\r\nrest\r\n");
    dir_.write("k.txt", "3\r\n");
  }
  void TearDown() override { QDir::setCurrent(previous_); }

  // Reads into fields preset to -5 and returns the result.
  int Read(const QString& name) {
    principalColumn = principalRow = focal = width = height = -5;
    companion = QStringList{"old"};
    return ReadCameraFile(name, principalColumn, principalRow, companion, focal, width, height);
  }

  testing::TempDir dir_;
  QString previous_;
  SeparatorScope scope_{u'.'};
  RecordingMessageSink sink;
  double principalColumn, principalRow, focal, width, height;
  QStringList companion;
};

TEST_F(CameraReader, ReadsTheSixLinesAndTheCompanionBesideTheCameraFile) {
  dir_.write("cams/a.cam",
             "512 ; column\r\n384;row\r\nk.txt ; companion\r\n1000 ;f\r\n1024;w\r\n768;h\r\nextra\r\n");
  ASSERT_EQ(Read(QStringLiteral("cams\\a.cam")), 1);  // "\" as written in list files
  EXPECT_EQ(principalColumn, 512);
  EXPECT_EQ(principalRow, 384);
  EXPECT_EQ(companion, QStringList({"2", "rest"}));
  EXPECT_EQ(focal, 1000);
  EXPECT_EQ(width, 1024);
  EXPECT_EQ(height, 768);
  ASSERT_EQ(Read(QStringLiteral("cams/a.cam")), 1);
  EXPECT_EQ(companion, QStringList({"2", "rest"}));
  EXPECT_TRUE(sink.shown.empty());

  // Without a folder, the companion comes from the current directory.
  dir_.write("a.cam", "1;\r\n2;\r\nk.txt;\r\n*\r\n5;\r\n6;\r\n");
  ASSERT_EQ(Read(QStringLiteral("a.cam")), 1);
  EXPECT_EQ(companion, QStringList({"3"}));
}

TEST_F(CameraReader, AnAsteriskOrEmptyFocalLineMeansNoFocalLength) {
  for (const char* line : {"*", "*abc ; x", ""}) {
    dir_.write("f.cam", QByteArray("1;\r\n2;\r\nk.txt;\r\n") + line + "\r\n5;\r\n6;\r\n");
    ASSERT_EQ(Read(QStringLiteral("f.cam")), 1) << line;
    EXPECT_EQ(focal, -1.0) << line;
  }
  // A blank before the asterisk makes it a number field, which fails.
  dir_.write("f.cam", "1;\r\n2;\r\nk.txt;\r\n *\r\n5;\r\n6;\r\n");
  EXPECT_EQ(Read(QStringLiteral("f.cam")), 0);
  EXPECT_EQ(focal, -5);
  EXPECT_EQ(width, -5);
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].second, QStringLiteral("Ошибка чтения cam-файла!"));
}

TEST_F(CameraReader, FailuresKeepWhatWasConvertedBefore) {
  dir_.write("five.cam", "1;\r\n2;\r\nk.txt;\r\n4;\r\n5;\r\n");
  EXPECT_EQ(Read(QStringLiteral("five.cam")), 0);
  EXPECT_EQ(principalColumn, 1);
  EXPECT_EQ(focal, 4);
  EXPECT_EQ(width, 5);
  EXPECT_EQ(height, -5);
  EXPECT_EQ(companion, QStringList({"3"}));

  // A missing companion leaves the companion lines and the later values alone.
  dir_.write("nocomp.cam", "1;\r\n2;\r\nnone.txt;\r\n4;\r\n5;\r\n6;\r\n");
  EXPECT_EQ(Read(QStringLiteral("nocomp.cam")), 0);
  EXPECT_EQ(principalRow, 2);
  EXPECT_EQ(companion, QStringList({"old"}));
  EXPECT_EQ(focal, -5);

  // A number with the other usual point reads; one with both does not.
  dir_.write("comma.cam", "1,5;\r\n2;\r\nk.txt;\r\n4,25;\r\n5;\r\n6;\r\n");
  EXPECT_EQ(Read(QStringLiteral("comma.cam")), 1);
  EXPECT_EQ(principalColumn, 1.5);
  EXPECT_EQ(focal, 4.25);
  dir_.write("mixed.cam", "1.5,0;\r\n2;\r\nk.txt;\r\n4;\r\n5;\r\n6;\r\n");
  EXPECT_EQ(Read(QStringLiteral("mixed.cam")), 0);
  EXPECT_EQ(principalColumn, -5);

  EXPECT_EQ(Read(QStringLiteral("missing.cam")), 0);
  EXPECT_EQ(sink.shown.size(), 4u);
}

TEST(CompanionDirectory, CutsBackToTheLastSeparator) {
  EXPECT_EQ(CompanionDirectory("cams\\a.cam"), "cams\\");
  EXPECT_EQ(CompanionDirectory("x/y/a.cam"), "x/y/");
  EXPECT_EQ(CompanionDirectory("a.cam"), "");
  EXPECT_EQ(CompanionDirectory("/a.cam"), "");  // a one-character directory part counts as none
  EXPECT_EQ(CompanionDirectory(""), "");
}

}  // namespace
}  // namespace skarvel
