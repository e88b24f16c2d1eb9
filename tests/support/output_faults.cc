#include "support/output_faults.h"

#include "platform/files.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace skarvel::testing {
namespace {

const QByteArray kEarlier = "the earlier output of this name\r\n";

QString Target(const QString& folder, const OutputCase& output) { return folder + u'/' + output.output; }

void WriteEarlier(const QString& target) {
  QFile file(target);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << target.toStdString();
  file.write(kEarlier);
}

// The output made with nothing in the way, and the size of its inputs.
struct Reference {
  QByteArray bytes;
  long long inputBytes = 0;
};

Reference MakeReference(const OutputCase& output) {
  TempDir dir;
  output.prepare(dir.path());
  Reference reference;
  for (const QFileInfo& file : QDir(dir.path()).entryInfoList(QDir::Files | QDir::Hidden))
    reference.inputBytes += file.size();
  EXPECT_EQ(ErrorOf([&] { output.write(dir.path()); }), "(no error)");
  reference.bytes = ReadBytes(Target(dir.path(), output));
  return reference;
}

// Installs writer faults for its lifetime.
class Faults {
 public:
  explicit Faults(const std::vector<WriterFault>& faults) { InjectWriterFaults(faults); }
  ~Faults() { InjectWriterFaults({}); }
  Faults(const Faults&) = delete;
  Faults& operator=(const Faults&) = delete;
};

bool FolderHasUnnamedFiles(const QString& folder) {
  const int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// Runs the write in `folder`, which holds the inputs and whatever stands at
// the output's name: it must fail with the output's error and leave every
// entry of the folder as it was.
void ExpectRefused(const OutputCase& output, const QString& folder, const char* what) {
  SCOPED_TRACE(what);
  const QStringList before = AllEntries(folder);
  EXPECT_EQ(ErrorOf([&] { output.write(folder); }), "Cannot create file " + Target(folder, output));
  EXPECT_EQ(AllEntries(folder), before) << "the folder changed";
}

long long PageSize() { return ::sysconf(_SC_PAGESIZE); }

}  // namespace

QStringList AllEntries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                QDir::Name);
}

void ExpectOutputSurvivesInjectedFaults(const OutputCase& output) {
  const Reference reference = MakeReference(output);
  const long long size = reference.bytes.size();
  ASSERT_GT(size, 2);
  bool unnamed = false;
  {
    TempDir probe;
    unnamed = FolderHasUnnamedFiles(probe.path());
  }
  using S = WriterStep;
  const WriterFault noUnnamedFiles{S::kOpenUnnamed, EOPNOTSUPP};
  struct Case {
    const char* what;
    std::vector<WriterFault> faults;
    bool needsUnnamedFiles = false;
  };
  const Case failing[] = {
      {"no room for the first byte", {{S::kWrite, ENOSPC, 0}}},
      {"no room after one byte", {{S::kWrite, ENOSPC, 1}}},
      {"no room halfway", {{S::kWrite, ENOSPC, size / 2}}},
      {"no room for the last byte", {{S::kWrite, ENOSPC, size - 1}}},
      {"one write fails halfway, the next would work", {{S::kWrite, EIO, size / 2, 1}}},
      {"the sync fails", {{S::kSync, EIO}}},
      {"the close fails", {{S::kClose, EIO}}},
      {"the permissions cannot be kept", {{S::kPermissions, EPERM}}},
      {"the rename fails", {{S::kRename, EXDEV}}},
      {"no unnamed file can be made", {{S::kOpenUnnamed, ENOSPC}}, true},
      {"the unnamed file cannot be linked", {{S::kLink, ENOSPC}}, true},
      {"named temporary file: no room halfway", {noUnnamedFiles, {S::kWrite, ENOSPC, size / 2}}},
      {"named temporary file: it cannot be made", {noUnnamedFiles, {S::kOpenNamed, EACCES}}},
      {"named temporary file: the rename fails", {noUnnamedFiles, {S::kRename, EIO}}},
  };
  for (const Case& c : failing) {
    if (c.needsUnnamedFiles && !unnamed) continue;
    TempDir dir;
    output.prepare(dir.path());
    const QString target = Target(dir.path(), output);
    WriteEarlier(target);
    {
      Faults faults(c.faults);
      ExpectRefused(output, dir.path(), c.what);
    }
    EXPECT_EQ(ReadBytes(target), kEarlier) << c.what;
  }

  const Case survivable[] = {
      {"interrupted writes after a short one", {{S::kWrite, EINTR, size / 2, 3}}},
      {"an interrupted first write", {{S::kWrite, EINTR, 0, 1}}},
      {"an interrupted sync", {{S::kSync, EINTR, 0, 1}}},
      {"a named temporary file", {noUnnamedFiles}},
  };
  for (const Case& c : survivable) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    output.prepare(dir.path());
    const QString target = Target(dir.path(), output);
    WriteEarlier(target);
    const QStringList before = AllEntries(dir.path());
    {
      Faults faults(c.faults);
      EXPECT_EQ(ErrorOf([&] { output.write(dir.path()); }), "(no error)");
    }
    EXPECT_TRUE(ReadBytes(target) == reference.bytes) << "the file is not complete";
    EXPECT_EQ(AllEntries(dir.path()), before);
  }

  // The folder cannot be synced after the rename: the new file is in place
  // and complete, and the error still reaches the caller.
  TempDir dir;
  output.prepare(dir.path());
  const QString target = Target(dir.path(), output);
  WriteEarlier(target);
  const QStringList before = AllEntries(dir.path());
  {
    Faults faults({{S::kSyncFolder, EIO}});
    EXPECT_EQ(ErrorOf([&] { output.write(dir.path()); }), "Cannot create file " + target);
  }
  EXPECT_TRUE(ReadBytes(target) == reference.bytes);
  EXPECT_EQ(AllEntries(dir.path()), before);
}

void ExpectOutputRefusesOddTargets(const OutputCase& output) {
  {
    TempDir dir;
    output.prepare(dir.path());
    const QString target = Target(dir.path(), output);
    ASSERT_TRUE(QDir(dir.path()).mkdir(output.output));
    ExpectRefused(output, dir.path(), "a folder of that name");
    EXPECT_TRUE(QFileInfo(target).isDir());
  }
  {
    // A pipe is refused without being opened: opening it would wait for a reader.
    TempDir dir;
    output.prepare(dir.path());
    const QString target = Target(dir.path(), output);
    ASSERT_EQ(::mkfifo(QFile::encodeName(target).constData(), 0644), 0);
    ExpectRefused(output, dir.path(), "a pipe of that name");
    struct stat st;
    ASSERT_EQ(::lstat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
  }
}

void ExpectOutputGroupSurvivesInjectedFaults(const OutputGroupCase& group) {
  const int n = static_cast<int>(group.outputs.size());
  ASSERT_GE(n, 2);
  // The outputs made with nothing in the way.
  QList<QByteArray> reference;
  {
    TempDir dir;
    group.prepare(dir.path());
    ASSERT_EQ(ErrorOf([&] { group.write(dir.path()); }), "(no error)");
    for (const QString& name : group.outputs) reference.append(ReadBytes(dir.path() + u'/' + name));
  }
  using S = WriterStep;
  // The file system cannot exchange two names: the earlier file is kept by
  // a hard link instead.
  const WriterFault noExchange{.step = S::kExchange, .error = EINVAL};
  struct Case {
    std::string what;
    std::vector<WriterFault> faults;
    bool earlier;  // earlier outputs stand at the names
    int failing;   // the output named in the error
  };
  std::vector<Case> failing;
  for (int k = 0; k < n; ++k) {
    const std::string output = " of output " + std::to_string(k + 1);
    // Over an earlier file every output but the last is put in place by an
    // exchange, the last by a plain rename; without one each by a rename.
    const WriterFault place = k + 1 < n ? WriterFault{.step = S::kExchange, .error = EIO, .skip = k}
                                        : WriterFault{.step = S::kRename, .error = EIO};
    failing.push_back({"the rename" + output + " fails", {place}, true, k});
    failing.push_back({"the rename" + output + " fails, nothing there before",
                       {{.step = S::kRename, .error = EIO, .skip = k}},
                       false,
                       k});
    failing.push_back({"no exchange: the rename" + output + " fails",
                       {noExchange, {.step = S::kRename, .error = EXDEV, .skip = k}},
                       true,
                       k});
    failing.push_back(
        {"the sync" + output + " fails", {{.step = S::kSync, .error = EIO, .skip = k}}, true, k});
  }
  failing.push_back({"no exchange: the earlier first file cannot be kept",
                     {noExchange, {.step = S::kKeep, .error = EIO}},
                     true,
                     0});
  for (const Case& c : failing) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    group.prepare(dir.path());
    if (c.earlier)
      for (const QString& name : group.outputs) WriteEarlier(dir.path() + u'/' + name);
    const QStringList before = AllEntries(dir.path());
    {
      Faults faults(c.faults);
      EXPECT_EQ(ErrorOf([&] { group.write(dir.path()); }),
                "Cannot create file " + dir.path() + u'/' + group.outputs[c.failing]);
    }
    EXPECT_EQ(AllEntries(dir.path()), before) << "an output came, went or was left behind";
    if (c.earlier) {
      for (const QString& name : group.outputs)
        EXPECT_EQ(ReadBytes(dir.path() + u'/' + name), kEarlier) << name.toStdString();
    }
  }

  // What the group survives: every new file in place, nothing else left.
  const Case survivable[] = {
      {"no exchange: the earlier files kept by hard links", {noExchange}, true, -1},
      {"no exchange and no hard links", {noExchange, {.step = S::kKeep, .error = EPERM}}, true, -1},
      {"an interrupted sync of the second output",
       {{.step = S::kSync, .error = EINTR, .times = 1, .skip = 1}},
       true,
       -1},
      {"the folder cannot be synced", {{.step = S::kSyncFolder, .error = EIO}}, true, 0},
  };
  for (const Case& c : survivable) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    group.prepare(dir.path());
    for (const QString& name : group.outputs) WriteEarlier(dir.path() + u'/' + name);
    const QStringList before = AllEntries(dir.path());
    {
      Faults faults(c.faults);
      EXPECT_EQ(ErrorOf([&] { group.write(dir.path()); }),
                c.failing < 0 ? QString("(no error)")
                              : "Cannot create file " + dir.path() + u'/' + group.outputs[c.failing]);
    }
    EXPECT_EQ(AllEntries(dir.path()), before);
    for (int k = 0; k < n; ++k)
      EXPECT_TRUE(ReadBytes(dir.path() + u'/' + group.outputs[k]) == reference[k])
          << group.outputs[k].toStdString() << " is not the new file";
  }
}

QString WhyNoTmpfs() {
  static const QString why = [] {
    if (::geteuid() != 0)
      return QStringLiteral("not run as root: no tmpfs of the tests' own can be mounted to fill a disk");
    const ScratchTmpfs probe(1 << 20);
    if (!probe.mounted())
      return QStringLiteral("mounting a tmpfs fails here: ") + QString::fromLocal8Bit(std::strerror(errno));
    return QString();
  }();
  return why;
}

QString WhyNoReadOnlyFolder() {
  // Root writes into folders of any mode: it needs a read-only file system.
  return ::geteuid() == 0 ? WhyNoTmpfs() : QString();
}

void ExpectOutputSurvivesAReadOnlyFolder(const OutputCase& output) {
  if (::geteuid() == 0) {
    const Reference reference = MakeReference(output);
    const ScratchTmpfs fs(reference.inputBytes + reference.bytes.size() + (1 << 20));
    ASSERT_TRUE(fs.mounted());
    output.prepare(fs.path());
    WriteEarlier(Target(fs.path(), output));
    ASSERT_TRUE(fs.MakeReadOnly());
    ExpectRefused(output, fs.path(), "a read-only file system");
    EXPECT_EQ(ReadBytes(Target(fs.path(), output)), kEarlier);
    return;
  }
  TempDir dir;
  output.prepare(dir.path());
  WriteEarlier(Target(dir.path(), output));
  const QByteArray folder = QFile::encodeName(dir.path());
  ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
  ExpectRefused(output, dir.path(), "a folder of mode 0555");
  EXPECT_EQ(ReadBytes(Target(dir.path(), output)), kEarlier);
  ::chmod(folder.constData(), 0700);
}

void ExpectOutputSurvivesAFullDisk(const OutputCase& output) {
  const Reference reference = MakeReference(output);
  const long long size = reference.bytes.size();
  const ScratchTmpfs fs(reference.inputBytes + kEarlier.size() + size + (1 << 20));
  ASSERT_TRUE(fs.mounted());
  output.prepare(fs.path());
  const QString target = Target(fs.path(), output);
  WriteEarlier(target);

  fs.Fill(QStringLiteral("filler"));
  ExpectRefused(output, fs.path(), "no room at all");
  EXPECT_EQ(ReadBytes(target), kEarlier);

  // Room for whole pages making up less than half the file: the write
  // begins, then runs out.
  const long long pages = size / 2 / PageSize();
  if (pages > 0) {
    fs.Fill(QStringLiteral("filler"), pages * PageSize());
    ExpectRefused(output, fs.path(), "room for half the file");
    EXPECT_EQ(ReadBytes(target), kEarlier);
  }

  ASSERT_TRUE(QFile::remove(fs.path() + QStringLiteral("/filler")));
  EXPECT_EQ(ErrorOf([&] { output.write(fs.path()); }), "(no error)");
  EXPECT_TRUE(ReadBytes(target) == reference.bytes) << "with room again the file is written whole";
}

ScratchTmpfs::ScratchTmpfs(long long bytes) {
  QByteArray folder = QFile::encodeName(QDir::tempPath()) + "/skarvel-tmpfs-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) return;
  path_ = QFile::decodeName(folder);
  const long long page = PageSize();
  const QByteArray options = "size=" + QByteArray::number((bytes + page - 1) / page * page) + ",mode=0700";
  mounted_ = ::mount("tmpfs", folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
  const int error = errno;
  if (!mounted_) ::rmdir(folder.constData());
  errno = error;
}

ScratchTmpfs::~ScratchTmpfs() {
  if (path_.isEmpty()) return;
  const QByteArray folder = QFile::encodeName(path_);
  if (mounted_) ::umount2(folder.constData(), MNT_DETACH);
  ::rmdir(folder.constData());
}

void ScratchTmpfs::Fill(const QString& name, long long room) const {
  const QByteArray file = QFile::encodeName(path_ + u'/' + name);
  const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  // Whole pages while they fit, then single bytes into the last one.
  const std::vector<char> block(static_cast<std::size_t>(PageSize()), 'f');
  long long written = 0;
  for (std::size_t chunk : {block.size(), std::size_t{1}}) {
    for (;;) {
      const ssize_t n = ::write(fd, block.data(), chunk);
      if (n <= 0) break;
      written += n;
    }
  }
  EXPECT_EQ(errno, ENOSPC);
  if (room > 0) {
    EXPECT_EQ(::ftruncate(fd, written > room ? written - room : 0), 0);
  }
  ::close(fd);
}

bool ScratchTmpfs::MakeReadOnly() const {
  return ::mount(nullptr, QFile::encodeName(path_).constData(), nullptr,
                 MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

}  // namespace skarvel::testing
