#include "platform/files.h"
#include "platform/error.h"
#include "platform/file_names.h"
#include "support/output_faults.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::ReadBytes;
using testing::TempDir;

QList<QByteArray> L(std::initializer_list<const char*> lines) {
  QList<QByteArray> out;
  for (const char* line : lines) out.append(QByteArray(line));
  return out;
}

TEST(TextLines, SplitAtCrLfLfAndCrAndEndAtNul) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), L({"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), L({"a"}));
  EXPECT_EQ(SplitLines(""), L({}));
  EXPECT_EQ(SplitLines("a\r\n\r\n"), L({"a", ""}));
  EXPECT_EQ(SplitLines("\r\r\n\n"), L({"", "", ""}));
  EXPECT_EQ(SplitLines(QByteArray("a\0b\nc", 5)), L({"a"}));
  EXPECT_EQ(SplitLines(QByteArray("x\r\ny\0\r\nz", 8)), L({"x", "y"}));
}

TEST(TextLines, Utf8AndWindows1251FilesReadAlike) {
  TempDir dir;
  const QString text = QStringLiteral("Ошибка!;Трасса КА");
  const QString utf8 = dir.write("u.txt", (text + "\r\n2\n").toUtf8());
  const QString cp1251 = dir.write("w.txt", EncodeCp1251(text) + "\r\n2\r\n");
  EXPECT_EQ(ReadTextLines(utf8), QStringList({text, "2"}));
  EXPECT_EQ(ReadTextLines(cp1251), QStringList({text, "2"}));
  // The encoding is decided for the file as a whole: one stray byte makes it
  // Windows-1251 throughout.
  const QString mixed = dir.write("m.txt", text.toUtf8() + "\n\xC0");
  EXPECT_EQ(ReadTextLines(mixed).at(1), QStringLiteral("А"));
}

TEST(TextLines, Windows1251EncodingRoundTripsAndReplacesForeignCharacters) {
  const QString russian = QStringLiteral("Координата X центра проекции ёЁ №");
  const QByteArray bytes = EncodeCp1251(russian);
  EXPECT_EQ(bytes.size(), russian.size());
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xCA);  // К
  EXPECT_EQ(DecodeCp1251(bytes), russian);
  EXPECT_EQ(EncodeCp1251(QStringLiteral("a漢b")), QByteArray("a?b"));
}

TEST(TextLines, WrittenWithCrLfAfterEveryLineInWindows1251) {
  TempDir dir;
  WriteTextLines(dir.file("out.txt"), QStringList{QStringLiteral("Да"), QString(), QStringLiteral("x")});
  EXPECT_EQ(ReadBytes(dir.file("out.txt")), QByteArray("\xC4\xE0\r\n\r\nx\r\n"));
  WriteTextLines(dir.file("empty.txt"), QStringList{});
  EXPECT_EQ(ReadBytes(dir.file("empty.txt")).size(), 0);
}

TEST(TextLines, ALineOutsideWindows1251IsAnErrorAndWritesNothing) {
  const struct {
    const char16_t* line;
    const char16_t* outside;  // the character named, empty when the line encodes
  } rows[] = {
      {u"Размер: 320 x 240 пикс.", u""},
      {u"Зелёный: среднее 12,50 ± 1 № «»", u""},  // all of them have codes
      {u"Размер: 320 × 240 пикс.", u"×"},
      {u"a漢b", u"漢"},
      {u"смайл 😀 конец", u"😀"},  // a surrogate pair counts as one character
  };
  TempDir dir;
  const QString file = dir.file("out.txt");
  for (const auto& row : rows) {
    const QString line = QString::fromUtf16(row.line);
    const QString outside = QString::fromUtf16(row.outside);
    EXPECT_EQ(FirstCharacterOutsideCp1251(line), outside) << line.toStdString();
    WriteTextLines(file, QStringList{QStringLiteral("before")});
    if (outside.isEmpty()) {
      WriteTextLines(file, QStringList{line});
      EXPECT_EQ(ReadTextLines(file), QStringList{line}) << "saved unchanged";
      continue;
    }
    try {
      WriteTextLines(file, QStringList{QStringLiteral("ok"), line});
      ADD_FAILURE() << "written: " << line.toStdString();
    } catch (const Error& e) {
      EXPECT_TRUE(e.message().contains(QStringLiteral("«%1»").arg(outside))) << e.message().toStdString();
      EXPECT_TRUE(e.message().contains(line)) << e.message().toStdString();
    }
    EXPECT_EQ(ReadTextLines(file), QStringList{QStringLiteral("before")}) << "the previous file stays";
  }
}

TEST(Files, MissingOrOddFilesGiveTheOpenError) {
  TempDir dir;
  QDir(dir.path()).mkdir("sub");
  for (const QString& name : {dir.file("missing.txt"), dir.file("sub"), QString()}) {
    try {
      ReadWholeFile(name);
      FAIL() << name.toStdString();
    } catch (const Error& e) {
      EXPECT_EQ(e.message(), "Cannot open file " + name);
    }
  }
}

TEST(Files, AFailedWriteLeavesThePreviousFileAndNoLeftovers) {
  TempDir dir;
  const QString target = dir.write("result.ort", "previous");
  EXPECT_THROW(WriteFileAtomically(target,
                                   [](const ByteSink& sink) {
                                     sink("partial", 7);
                                     throw Error("interrupted");
                                   }),
               Error);
  EXPECT_EQ(ReadBytes(target), QByteArray("previous"));
  EXPECT_EQ(dir.entries(), QStringList({"result.ort"}));

  WriteFileAtomically(target, QByteArray("new"));
  EXPECT_EQ(ReadBytes(target), QByteArray("new"));
  EXPECT_EQ(dir.entries(), QStringList({"result.ort"}));
}

TEST(Files, AnUncreatableFileGivesTheCreateError) {
  TempDir dir;
  const QString inMissingFolder = dir.file("no/such/folder/out.bmp");
  try {
    WriteFileAtomically(inMissingFolder, QByteArray("x"));
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "Cannot create file " + inMissingFolder);
  }
  // A folder standing where the file should go is not replaced.
  QDir(dir.path()).mkdir("taken.bmp");
  EXPECT_THROW(WriteFileAtomically(dir.file("taken.bmp"), QByteArray("x")), Error);
  EXPECT_TRUE(QFileInfo(dir.file("taken.bmp")).isDir());
}

QByteArray Native(const QString& name) { return QFile::encodeName(name); }

mode_t ModeOf(const QString& name) {
  struct stat st;
  EXPECT_EQ(::lstat(Native(name).constData(), &st), 0) << name.toStdString();
  return st.st_mode;
}

TEST(Files, ASymbolicLinkIsWrittenThroughAndStays) {
  TempDir dir;
  QDir(dir.path()).mkdir("real");
  const QString target = dir.write("real/out.bmp", "previous");
  // An absolute link, a relative one to it, and one to a file not there yet.
  ASSERT_EQ(::symlink(Native(target).constData(), Native(dir.file("abs.bmp")).constData()), 0);
  ASSERT_EQ(::symlink("abs.bmp", Native(dir.file("rel.bmp")).constData()), 0);
  ASSERT_EQ(::symlink("real/new.bmp", Native(dir.file("dangling.bmp")).constData()), 0);
  WriteFileAtomically(dir.file("rel.bmp"), QByteArray("through two links"));
  WriteFileAtomically(dir.file("dangling.bmp"), QByteArray("made"));
  EXPECT_EQ(ReadBytes(target), QByteArray("through two links"));
  EXPECT_EQ(ReadBytes(dir.file("real/new.bmp")), QByteArray("made"));
  for (const char* link : {"abs.bmp", "rel.bmp", "dangling.bmp"})
    EXPECT_TRUE(S_ISLNK(ModeOf(dir.file(link))));
  EXPECT_EQ(testing::AllEntries(dir.path()), (QStringList{"abs.bmp", "dangling.bmp", "real", "rel.bmp"}));
  EXPECT_EQ(testing::AllEntries(dir.file("real")), (QStringList{"new.bmp", "out.bmp"}));
  // A loop of links is refused.
  ASSERT_EQ(::symlink("loop2", Native(dir.file("loop1")).constData()), 0);
  ASSERT_EQ(::symlink("loop1", Native(dir.file("loop2")).constData()), 0);
  EXPECT_EQ(testing::ErrorOf([&] { WriteFileAtomically(dir.file("loop1"), QByteArray("x")); }),
            "Cannot create file " + dir.file("loop1"));
}

TEST(Files, AReplacedFileKeepsItsPermissionsAndANewOneFollowsTheUmask) {
  TempDir dir;
  const QString old = dir.write("old.ort", "previous");
  ASSERT_EQ(::chmod(Native(old).constData(), 0604), 0);
  WriteFileAtomically(old, QByteArray("new"));
  EXPECT_EQ(ModeOf(old) & 07777, 0604u);
  const mode_t mask = ::umask(027);
  WriteFileAtomically(dir.file("fresh.ort"), QByteArray("new"));
  ::umask(mask);
  EXPECT_EQ(ModeOf(dir.file("fresh.ort")) & 07777, 0640u);
}

TEST(Files, OnlyARegularFileIsReplaced) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(Native(dir.file("pipe")).constData(), 0644), 0);
  ASSERT_EQ(::symlink("pipe", Native(dir.file("to-pipe")).constData()), 0);
  QDir(dir.path()).mkdir("folder");
  QStringList odd = {"pipe", "to-pipe", "folder"};
  // A device node, where it can be made: the memory device's numbers, in the
  // test's own folder.
  if (::mknod(Native(dir.file("device")).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0) odd << "device";
  for (const QString& name : odd) {
    EXPECT_EQ(testing::ErrorOf([&] { WriteFileAtomically(dir.file(name), QByteArray("x")); }),
              "Cannot create file " + dir.file(name));
  }
  EXPECT_TRUE(S_ISFIFO(ModeOf(dir.file("pipe"))));
  EXPECT_TRUE(S_ISLNK(ModeOf(dir.file("to-pipe"))));
  EXPECT_TRUE(S_ISDIR(ModeOf(dir.file("folder"))));
  if (odd.contains("device")) {
    EXPECT_TRUE(S_ISCHR(ModeOf(dir.file("device"))));
  }
  EXPECT_EQ(testing::AllEntries(dir.path()).size(), odd.size());
}

// A file streamed in blocks of many sizes, as the bitmap writer streams one.
testing::OutputCase StreamedFile() {
  return {.prepare = [](const QString&) {},
          .write =
              [](const QString& folder) {
                WriteFileAtomically(folder + "/stream.bin", [](const ByteSink& sink) {
                  QByteArray block;
                  for (int i = 0; i < 700; ++i) {
                    block.fill(static_cast<char>(i), 1 + (i * 7919) % 9000);
                    sink(block.constData(), block.size());
                  }
                });
              },
          .output = "stream.bin"};
}
SKARVEL_OUTPUT_FAULT_TESTS(StreamedFileOutput, StreamedFile())

TEST(FileNames, OutputNamesUseTheBaseNameBeforeTheFirstDot) {
  EXPECT_EQ(MakeOutputName("/data", "scene.day2.ort", "_real.ort"), "/data/scene_real.ort");
  EXPECT_EQ(MakeOutputName("/data", "scene_real.ort", "_real.ort"), "/data/scene_real_real.ort");
  EXPECT_EQ(MakeOutputName("/data", "noext", "_cut.bmp"), "/data/noext_cut.bmp");
  EXPECT_EQ(MakeOutputName("/data", ".hidden.bmp", "_mod.bmp"), "/data/_mod.bmp");
  // The separator is added even after a folder that ends in one.
  EXPECT_EQ(MakeOutputName("/", "a.bmp", "_cut.bmp"), "//a_cut.bmp");
  EXPECT_EQ(NativeFileName("data\\frames\\f1.ort"), "data/frames/f1.ort");
  EXPECT_EQ(NativeFileName(" k.txt  "), " k.txt");
}

}  // namespace
}  // namespace skarvel
