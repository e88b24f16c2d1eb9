// skarvel-batch where its outputs cannot be written or its pictures do not
// fit the memory: a really full disk, a pipe or a folder as the output name,
// a run killed while it writes, and pictures too large for the memory at
// hand. Every failure ends with its message and exit status 1, the file is
// not printed as written, the earlier output of its name stays as it was and
// no temporary file is left.

#include "cli/cli_test_support.h"
#include "platform/bitmap_file.h"
#include "support/output_faults.h"
#include "support/test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>

namespace skarvel {
namespace {

using testing::AllEntries;
using testing::ReadBytes;
using testing::RunBatch;
using testing::TempDir;
using testing::WriteBytes;

const QByteArray kEarlier = "the earlier output\r\n";

QString Sample(const QString& name) { return testing::SourceDir() + "/samples/" + name; }

TEST(BatchFaults, AFullDiskEndsEachCommandWithItsErrorAndKeepsTheEarlierOutput) {
  const QString why = testing::WhyNoTmpfs();
  if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();
  const testing::ScratchTmpfs fs(8 << 20);
  ASSERT_TRUE(fs.mounted());
  auto in = [&](const QString& name) { return fs.path() + "/" + name; };
  ASSERT_TRUE(QFile::copy(Sample("bitmaps/aerial.bmp"), in("aerial.bmp")));
  ASSERT_TRUE(QFile::copy(Sample("bench/shot01.ort"), in("shot01.ort")));
  struct Command {
    QStringList args;
    QString output;
  };
  const QList<Command> commands = {
      {{"resample", "--width", "64", "--height", "48", in("aerial.bmp")}, in("aerial_transform.bmp")},
      {{"cut", in("aerial.bmp")}, in("aerial_cut.bmp")},
      {{"grey", in("aerial.bmp")}, in("aerial_mod.bmp")},
      {{"scale", "--decimal-separator", ".", in("shot01.ort")}, in("shot01_real.ort")},
      {{"fov", "--decimal-separator", ".", Sample("fov/scene.lst"), "--output", in("scene_fov.bmp")},
       in("scene_fov.bmp")},
  };
  for (const Command& c : commands) WriteBytes(c.output, kEarlier);
  fs.Fill("filler");
  const QStringList before = AllEntries(fs.path());
  for (const Command& c : commands) {
    SCOPED_TRACE(c.args.front().toStdString());
    const testing::CommandResult r = RunBatch(c.args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.trimmed().endsWith("Cannot create file " + c.output)) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(c.output)) << "printed as written";
    EXPECT_EQ(ReadBytes(c.output), kEarlier);
  }
  EXPECT_EQ(AllEntries(fs.path()), before);
}

TEST(BatchFaults, APipeOrAFolderAsTheOutputNameIsRefused) {
  TempDir dir;
  const QString pipe = dir.file("pipe.bmp");
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.bmp"));
  for (const QStringList& where : {QStringList{"--output", pipe},
                                   {"--output", dir.file("folder.bmp")},
                                   {"--output", dir.file("ok.bmp"), "--legend", pipe}}) {
    SCOPED_TRACE(where.join(' ').toStdString());
    const testing::CommandResult r =
        RunBatch(QStringList{"fov", "--decimal-separator", ".", Sample("fov/scene.lst")} + where);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.trimmed().startsWith("Cannot create file " + dir.path())) << r.err.toStdString();
  }
  struct stat st;
  ASSERT_EQ(::lstat(QFile::encodeName(pipe).constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_TRUE(QFileInfo(dir.file("folder.bmp")).isDir());
}

TEST(BatchFaults, ExportsAndCoverageAreWrittenAllOrNone) {
  // The coverage cannot be put in place: the CSV and the GeoJSON of the run
  // are not either, and the earlier ones stay; the drawing comes before them.
  TempDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir("c.asc"));
  WriteBytes(dir.file("f.csv"), kEarlier);
  WriteBytes(dir.file("f.geojson"), kEarlier);
  const testing::CommandResult r =
      RunBatch({"fov", "--decimal-separator", ".", Sample("fov/scene.lst"), "--relief",
                Sample("fov/relief.asc"), "--output", dir.file("drawing.bmp"), "--csv", dir.file("f.csv"),
                "--geojson", dir.file("f.geojson"), "--coverage", dir.file("c.asc")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.trimmed().endsWith("Cannot create file " + dir.file("c.asc"))) << r.err.toStdString();
  EXPECT_EQ(ReadBytes(dir.file("f.csv")), kEarlier);
  EXPECT_EQ(ReadBytes(dir.file("f.geojson")), kEarlier);
  EXPECT_EQ(AllEntries(dir.path()), QStringList({"c.asc", "drawing.bmp", "f.csv", "f.geojson"}));
}

// The size of the unnamed file a process has open in `folder`, or -1.
long long UnnamedFileSize(qint64 pid, const QString& folder) {
  const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
  for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
    const QString link = QFile::symLinkTarget(fds + "/" + fd);
    if (!link.startsWith(folder + "/#")) continue;
    struct stat st;
    if (::stat(QFile::encodeName(fds + "/" + fd).constData(), &st) == 0) return st.st_size;
  }
  return -1;
}

TEST(BatchFaults, ARunKilledWhileWritingLeavesTheEarlierOutputAndNoTemporaryFile) {
  TempDir dir;
  {
    const int probe = ::open(QFile::encodeName(dir.path()).constData(), O_TMPFILE | O_WRONLY, 0600);
    if (probe < 0)
      GTEST_SKIP() << "the temporary folder has no unnamed files: a killed run leaves one behind";
    ::close(probe);
  }
  std::mt19937 random(8);
  Bitmap source = Bitmap::Colour(1500, 1000);
  for (auto& p : source.pixels) p = static_cast<std::uint8_t>(random());
  SaveBitmap(source, dir.file("s.bmp"));
  WriteBytes(dir.file("s_transform.bmp"), kEarlier);
  // A 324 MB result, written band by band.
  QProcess process;
  process.start(QStringLiteral(SKARVEL_BATCH_PATH), {"resample", "--method", "nearest", "--width", "12000",
                                                     "--height", "9000", dir.file("s.bmp")});
  ASSERT_TRUE(process.waitForStarted());
  QElapsedTimer timer;
  timer.start();
  long long size = -1;
  while (size <= 0 && timer.elapsed() < 60000 && process.state() == QProcess::Running) {
    size = UnnamedFileSize(process.processId(), dir.path());
    QThread::msleep(5);
  }
  ASSERT_GT(size, 0) << "the run never began to write";
  ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
  process.waitForFinished();
  EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
  EXPECT_EQ(AllEntries(dir.path()), (QStringList{"s.bmp", "s_transform.bmp"}));
  EXPECT_EQ(ReadBytes(dir.file("s_transform.bmp")), kEarlier);
}

// A valid uncompressed bitmap of the reader's largest size whose pixels are
// a hole in the file: nothing on the disk, 16384 x 16384 pixels in memory.
QString SparseBitmap(const TempDir& dir, int bitCount) {
  const std::int64_t width = 16384, height = 16384, rowBytes = BmpRowBytes(width, bitCount);
  QByteArray header(54, '\0');
  auto put = [&](int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  header[0] = 'B', header[1] = 'M';
  put(2, static_cast<std::uint32_t>(54 + rowBytes * height));
  put(10, 54);
  put(14, 40);
  put(18, width);
  put(22, height);
  header[26] = 1;
  header[28] = static_cast<char>(bitCount);
  put(34, static_cast<std::uint32_t>(rowBytes * height));
  const QString name = dir.file(QStringLiteral("big%1.bmp").arg(bitCount));
  WriteBytes(name, header);
  EXPECT_TRUE(QFile(name).resize(54 + rowBytes * height));
  return name;
}

void LimitAddressSpace() {
  const rlimit limit{rlim_t{512} << 20, rlim_t{512} << 20};
  ::setrlimit(RLIMIT_AS, &limit);
}

TEST(BatchFaults, PicturesBeyondTheMemoryAtHandEndInAClearMessage) {
  // 512 MB of address space: the 16384 x 16384 pictures (768 MB as colour
  // pixels) cannot be held, whatever the file's bit count.
  TempDir dir;
  for (int bitCount : {16, 24, 32}) {
    SCOPED_TRACE(bitCount);
    const QString file = SparseBitmap(dir, bitCount);
    const testing::CommandResult r = RunBatch({"cut", file}, {}, {}, LimitAddressSpace);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.trimmed(),
              file + QStringLiteral(": Недостаточно памяти для изображения 16384 × 16384 пикс."));
    EXPECT_TRUE(r.out.isEmpty());
  }
  // A result one pixel wide and 2^26 high is refused before its tables are made.
  SaveBitmap(Bitmap::Colour(4, 4), dir.file("small.bmp"));
  const testing::CommandResult r = RunBatch(
      {"resample", "--width", "1", "--height", "67108864", dir.file("small.bmp")}, {}, {}, LimitAddressSpace);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.contains(QStringLiteral("Изображение 1 × 67108864 пикс. слишком велико")))
      << r.err.toStdString();
  EXPECT_EQ(QDir(dir.path()).entryList({"*_cut.bmp", "*_transform.bmp"}, QDir::Files), QStringList());
}

}  // namespace
}  // namespace skarvel
