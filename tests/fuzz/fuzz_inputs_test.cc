// Every stored input of every fuzz target, run through the target's entry
// function: the seeds (fuzz/seeds/<target>/), the inputs a fuzzer found
// faults with (tests/fuzz/regressions/<target>/, one file each), and for the
// bitmap target the sample bitmaps and the external BMP suite when present.
// An input fails when a property of the target does not hold for it or an
// exception other than the system's refusal escapes.

#include "fuzz/fuzz_support.h"
#include "fuzz/targets.h"

#include "support/test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

namespace skarvel::fuzz {
namespace {

using skarvel::testing::SourceDir;
using skarvel::testing::TestDataDir;

QStringList FilesUnder(const QString& folder) {
  QStringList files;
  QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) files << it.next();
  files.sort();
  return files;
}

// The input's outcome: empty when every property held.
std::string RunInput(const Target& target, const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return "cannot read the input";
  const QByteArray bytes = file.readAll();
  try {
    target.run(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
               static_cast<std::size_t>(bytes.size()));
  } catch (const Finding& finding) {
    return std::string("finding: ") + finding.what();
  } catch (const std::exception& e) {
    return std::string("exception escaped: ") + e.what();
  }
  return {};
}

}  // namespace

// Targets by name in the test's messages.
void PrintTo(const Target& target, std::ostream* os) { *os << target.name; }

namespace {

class StoredInputs : public ::testing::TestWithParam<Target> {};

TEST_P(StoredInputs, SeedsAndFindingsHoldEveryProperty) {
  const Target& target = GetParam();
  const QString name = QString::fromLatin1(target.name);
  QStringList inputs = FilesUnder(SourceDir() + QStringLiteral("/fuzz/seeds/") + name);
  ASSERT_FALSE(inputs.isEmpty()) << "target " << target.name << " has no seeds";
  inputs << FilesUnder(SourceDir() + QStringLiteral("/tests/fuzz/regressions/") + name);
  if (name == QLatin1String("bitmap")) {
    inputs << FilesUnder(SourceDir() + QStringLiteral("/samples/bitmaps"));
    const QString suite = TestDataDir().isEmpty() ? QString() : TestDataDir() + QStringLiteral("/bmpsuite");
    if (!suite.isEmpty() && QDir(suite).exists())
      inputs << FilesUnder(suite).filter(QStringLiteral(".bmp"));
    else
      std::printf(
          "note: the external BMP suite (../shared/testdata/bmpsuite) is absent; its files are skipped\n");
  }
  for (const QString& input : inputs) EXPECT_EQ(RunInput(target, input), "") << input.toStdString();
}

INSTANTIATE_TEST_SUITE_P(EveryTarget, StoredInputs, ::testing::ValuesIn(Targets().begin(), Targets().end()),
                         [](const ::testing::TestParamInfo<Target>& info) {
                           return std::string(info.param.name);
                         });

TEST(FuzzInput, PartsEndAtTheRecordSeparator) {
  const std::string input = "list\x1egeometry\x1e\x1erest\x1ewith\x1eseparators";
  const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
  const QList<QByteArray> four = SplitParts(data, input.size(), 4);
  ASSERT_EQ(four.size(), 4);
  EXPECT_EQ(four[0], "list");
  EXPECT_EQ(four[1], "geometry");
  EXPECT_EQ(four[2], "");
  EXPECT_EQ(four[3], "rest\x1ewith\x1eseparators");
  // Parts the input does not reach are absent, not empty.
  EXPECT_EQ(SplitParts(data, 4, 4), QList<QByteArray>{"list"});
  EXPECT_EQ(SplitParts(data, 5, 4), (QList<QByteArray>{"list", ""}));
  EXPECT_EQ(SplitParts(data, 0, 2), QList<QByteArray>{""});
}

TEST(FuzzInput, NamesLeadingOutOfTheScratchFolderAreSkipped) {
  EXPECT_TRUE(ReachesOutside("a/../b", false));
  EXPECT_TRUE(ReachesOutside("frame.ort ;\r\n/proc/kcore ;", true));
  EXPECT_TRUE(ReachesOutside("\\etc\\passwd ;", true));
  EXPECT_TRUE(ReachesOutside(":/resource ;", true));
  EXPECT_FALSE(ReachesOutside("// a comment\r\nframe.ort ; x/y\r\ncameras\\camera.cam ;", true));
  EXPECT_FALSE(ReachesOutside("/proc/kcore ; a camera file names its companion below its folder", false));
}

}  // namespace
}  // namespace skarvel::fuzz
