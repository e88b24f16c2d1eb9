#include "platform/files.h"

#include "platform/error.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace skarvel {
namespace {

// Converts with iconv; bytes or characters the target cannot take are
// replaced by `replacement` (given in the target encoding) and skipped.
QByteArray Iconv(const char* to, const char* from, const QByteArray& input, const QByteArray& replacement,
                 int skipOnError) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1))
    throw Error(QStringLiteral("iconv cannot convert %1 to %2").arg(from, to));
  std::unique_ptr<void, int (*)(iconv_t)> guard(cd, iconv_close);
  QByteArray out;
  out.reserve(input.size() * 2 + 16);
  char* in = const_cast<char*>(input.constData());
  size_t inLeft = static_cast<size_t>(input.size());
  char buffer[4096];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, outPtr - buffer);
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINCOMPLETE: replace one unit and go on.
      out.append(replacement);
      int skip = skipOnError;
      if (skipOnError == 0) {
        // Skip one UTF-8 sequence.
        const auto lead = static_cast<unsigned char>(*in);
        skip = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      }
      if (static_cast<size_t>(skip) > inLeft) skip = static_cast<int>(inLeft);
      in += skip;
      inLeft -= static_cast<size_t>(skip);
    }
  }
  return out;
}

}  // namespace

QByteArray ReadWholeFile(const QString& fileName) {
  QFile file(fileName);
  if (fileName.isEmpty() || !QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
    throw Error(messages::CannotOpenFile(fileName));
  QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) throw Error(messages::CannotOpenFile(fileName));
  return data;
}

QList<QByteArray> SplitLines(const QByteArray& bytes) {
  QList<QByteArray> lines;
  qsizetype end = bytes.indexOf('\0');
  if (end < 0) end = bytes.size();
  qsizetype start = 0;
  qsizetype i = 0;
  while (i < end) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.append(bytes.mid(start, i - start));
      if (c == '\r' && i + 1 < end && bytes[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < end) lines.append(bytes.mid(start, end - start));
  return lines;
}

QString DecodeCp1251(const QByteArray& bytes) {
  return QString::fromUtf8(Iconv("UTF-8", "CP1251", bytes, QByteArray("\xEF\xBF\xBD"), 1));
}

QString DecodeText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return DecodeCp1251(bytes);
}

QByteArray EncodeCp1251(const QString& text) { return Iconv("CP1251", "UTF-8", text.toUtf8(), "?", 0); }

QString FirstCharacterOutsideCp1251(const QString& text) {
  if (DecodeCp1251(EncodeCp1251(text)) == text) return QString();
  // One character (a surrogate pair counting as one) at a time, to name it.
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    const QString character = text.mid(i, length);
    if (DecodeCp1251(EncodeCp1251(character)) != character) return character;
    i += length;
  }
  return text;  // not reached: some character differs
}

QStringList ReadTextLines(const QString& fileName) { return TextLines(ReadWholeFile(fileName)); }

QStringList TextLines(QByteArray bytes) {
  const qsizetype nul = bytes.indexOf('\0');
  if (nul >= 0) bytes.truncate(nul);
  // The encoding is decided for the file as a whole, then the text is split.
  const QString text = DecodeText(bytes);
  QStringList lines;
  qsizetype start = 0;
  const qsizetype n = text.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines.append(text.mid(start, i - start));
      if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < n) lines.append(text.mid(start));
  return lines;
}

QByteArray JoinLinesCrLf(const QList<QByteArray>& lines) {
  QByteArray out;
  qsizetype size = 0;
  for (const auto& line : lines) size += line.size() + 2;
  out.reserve(size);
  for (const auto& line : lines) {
    out.append(line);
    out.append("\r\n", 2);
  }
  return out;
}

namespace {

// ---- Faults for tests ----

std::vector<WriterFault> g_faults;
long long g_faultBytesWritten = 0;

WriterFault* FaultOf(WriterStep step) {
  for (WriterFault& fault : g_faults)
    if (fault.step == step && fault.times != 0) return &fault;
  return nullptr;
}

// Whether an installed fault makes this call of `step` fail (errno is then set).
bool Faulted(WriterStep step) {
  WriterFault* fault = FaultOf(step);
  if (fault == nullptr) return false;
  if (step == WriterStep::kWrite && g_faultBytesWritten < fault->afterBytes) return false;
  if (step != WriterStep::kWrite && fault->skip > 0) {
    --fault->skip;
    return false;
  }
  if (fault->times > 0) --fault->times;
  errno = fault->error;
  return true;
}

ssize_t WriteCall(int fd, const char* data, std::size_t size) {
  if (Faulted(WriterStep::kWrite)) return -1;
  if (const WriterFault* fault = FaultOf(WriterStep::kWrite))
    size = static_cast<std::size_t>(
        std::min<long long>(static_cast<long long>(size), fault->afterBytes - g_faultBytesWritten));
  const ssize_t n = ::write(fd, data, size);
  if (n > 0) g_faultBytesWritten += n;
  return n;
}

// ---- The atomic writer ----

// The folder part of a path ("." for a bare name) and the name after it.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What a write to `path` replaces: symbolic links followed to the file they
// point to, which need not exist yet. Empty after a loop or an unreadable link.
std::string FollowLinks(std::string path) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return {};
    std::string link(target.data(), static_cast<std::size_t>(n));
    path = link.front() == '/' ? link : FolderOf(path) + "/" + link;
  }
  return {};
}

// A name for the temporary file that is hidden from the file lists.
std::string TemporaryName() {
  static const char hex[] = "0123456789abcdef";
  std::string name = ".skarvel-";
  quint64 bits = QRandomGenerator::global()->generate64();
  for (int i = 0; i < 12; ++i, bits >>= 4) name += hex[bits & 15];
  return name + ".tmp";
}

// Unnamed files are given a name through /proc, which a sandbox may lack.
bool CanLinkUnnamedFiles() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can;
}

// One file being written. Every failure raises "Cannot create file %s" for
// the name the caller gave; the destructor takes away whatever an unfinished
// write left.
class AtomicFile {
 public:
  explicit AtomicFile(const QString& fileName) : fileName_(fileName) {}

  // Checks the target and opens the temporary file.
  void Open() {
    const std::string target = FollowLinks(QFile::encodeName(fileName_).toStdString());
    if (target.empty()) Fail();
    name_ = NameOf(target);
    struct stat st;
    bool replacing = false;
    if (::stat(target.c_str(), &st) == 0) {
      // Never replace a folder, a device or a pipe with a regular file.
      if (!S_ISREG(st.st_mode)) Fail();
      replacing = true;
    } else if (errno != ENOENT) {
      Fail();
    }
    folder_ = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) Fail();
    if (CanLinkUnnamedFiles()) {
      fd_ = Faulted(WriterStep::kOpenUnnamed)
                ? -1
                : ::openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
      // EISDIR comes from kernels older than unnamed files, EOPNOTSUPP from
      // file systems without them.
      if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) Fail();
    }
    if (fd_ < 0) OpenNamed();
    if (replacing && (Faulted(WriterStep::kPermissions) || ::fchmod(fd_, st.st_mode & 07777) != 0)) Fail();
  }

  ~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlinkat(folder_, temporary_.c_str(), 0);
    if (folder_ >= 0) ::close(folder_);
  }

  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  void Write(const char* data, qint64 size) {
    if (size < 0) Fail();
    while (size > 0) {
      const ssize_t n =
          WriteCall(fd_, data, static_cast<std::size_t>(std::min<qint64>(size, qint64{1} << 30)));
      if (n < 0 && errno == EINTR) continue;
      // A write that takes nothing is as final as one that fails.
      if (n <= 0) Fail();
      data += n;
      size -= n;
      written_ += n;
    }
    // Long files are handed to the disk as they grow rather than all at the
    // sync: the kernel would otherwise hold gigabytes of them in memory and
    // the final sync would wait for all of it. Only a request; the sync at
    // the commit still decides.
    if (written_ - started_ >= kWriteBackStep) {
      ::sync_file_range(fd_, started_, written_ - started_, SYNC_FILE_RANGE_WRITE);
      started_ = written_;
    }
  }

  // Puts the data in place of the target. A failure to sync the folder comes
  // after the rename: the new content is then in place, yet the error is
  // reported, as the change may not survive a crash.
  void Commit() {
    Prepare();
    Place(false);
    SyncFolder();
  }

  // The data synced and the temporary file named and closed: all that can
  // fail before the rename.
  void Prepare() {
    while (Faulted(WriterStep::kSync) || ::fsync(fd_) != 0)
      if (errno != EINTR) Fail();
    if (temporary_.empty()) {
      const std::string self = "/proc/self/fd/" + std::to_string(fd_);
      for (int attempt = 0; temporary_.empty(); ++attempt) {
        const std::string name = TemporaryName();
        if (!Faulted(WriterStep::kLink) &&
            ::linkat(AT_FDCWD, self.c_str(), folder_, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
          temporary_ = name;
        else if (errno != EEXIST || attempt == 100)
          Fail();
      }
    }
    const int fd = std::exchange(fd_, -1);
    if (Faulted(WriterStep::kClose)) {
      ::close(fd);
      Fail();
    }
    if (::close(fd) != 0 && errno != EINTR) Fail();
  }

  // Renames the temporary file over the target. With `keep` the file it
  // replaces is kept under a hidden name until Drop or Undo: the two names
  // are exchanged in one step, or, where the file system cannot, the earlier
  // file is given a second name first. Where neither can be done the target
  // is replaced without a way back.
  void Place(bool keep) {
    bool earlier = false;
    if (keep) {
      if (!Faulted(WriterStep::kExchange) &&
          ::renameat2(folder_, temporary_.c_str(), folder_, name_.c_str(), RENAME_EXCHANGE) == 0) {
        kept_ = std::exchange(temporary_, std::string());
        return;
      }
      // ENOENT: there is no earlier file; the others: no exchange here.
      if (errno != ENOENT && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) Fail();
      earlier = errno != ENOENT && KeepEarlier();
    }
    if (Faulted(WriterStep::kRename) ||
        ::renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0) {
      if (!kept_.empty()) ::unlinkat(folder_, std::exchange(kept_, std::string()).c_str(), 0);
      Fail();
    }
    temporary_.clear();
    created_ = keep && !earlier;
  }

  // Puts back what Place replaced: the earlier file under its name, or no
  // file where there was none. An earlier file that cannot be put back stays
  // under its hidden name rather than be lost.
  void Undo() {
    if (!kept_.empty()) {
      if (::renameat(folder_, kept_.c_str(), folder_, name_.c_str()) == 0) kept_.clear();
    } else if (created_) {
      ::unlinkat(folder_, name_.c_str(), 0);
    }
    created_ = false;
    ::fsync(folder_);
  }

  // Takes away the earlier file Place kept.
  void Drop() {
    if (!kept_.empty()) ::unlinkat(folder_, std::exchange(kept_, std::string()).c_str(), 0);
    created_ = false;
  }

  void SyncFolder() {
    while (Faulted(WriterStep::kSyncFolder) || ::fsync(folder_) != 0)
      if (errno != EINTR) Fail();
  }

 private:
  [[noreturn]] void Fail() const { throw Error(messages::CannotCreateFile(fileName_)); }

  // A second, hidden name for the file at the target's name; whether there
  // is such a file. A file system without hard links keeps nothing.
  bool KeepEarlier() {
    for (int attempt = 0; kept_.empty(); ++attempt) {
      const std::string name = TemporaryName();
      if (!Faulted(WriterStep::kKeep) && ::linkat(folder_, name_.c_str(), folder_, name.c_str(), 0) == 0)
        kept_ = name;
      else if (errno == ENOENT)
        return false;
      else if (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK)
        return true;
      else if (errno != EEXIST || attempt == 100)
        Fail();
    }
    return true;
  }

  void OpenNamed() {
    for (int attempt = 0; fd_ < 0; ++attempt) {
      const std::string name = TemporaryName();
      fd_ = Faulted(WriterStep::kOpenNamed)
                ? -1
                : ::openat(folder_, name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
      if (fd_ >= 0)
        temporary_ = name;
      else if (errno != EEXIST || attempt == 100)
        Fail();
    }
  }

  QString fileName_;
  std::string name_;  // of the target in its folder
  int folder_ = -1;
  int fd_ = -1;
  // Bytes written, and those handed to the disk so far.
  off_t written_ = 0;
  off_t started_ = 0;
  static constexpr off_t kWriteBackStep = off_t{32} << 20;
  std::string temporary_;  // the temporary file's name, once it has one
  std::string kept_;       // the hidden name of the earlier file Place replaced
  bool created_ = false;   // Place made a file where there was none
};

}  // namespace

void InjectWriterFaults(const std::vector<WriterFault>& faults) {
  g_faults = faults;
  g_faultBytesWritten = 0;
}

struct FileCommitGroup::Members {
  std::vector<std::unique_ptr<AtomicFile>> files;
};

FileCommitGroup::FileCommitGroup() : members_(std::make_unique<Members>()) {}

FileCommitGroup::~FileCommitGroup() = default;

ByteSink FileCommitGroup::Add(const QString& fileName) {
  if (fileName.isEmpty()) throw Error(messages::CannotCreateFile(fileName));
  auto file = std::make_unique<AtomicFile>(fileName);
  file->Open();
  AtomicFile* member = file.get();
  members_->files.push_back(std::move(file));
  return [member](const char* data, qint64 size) { member->Write(data, size); };
}

void FileCommitGroup::Add(const QString& fileName, const std::function<void(const ByteSink&)>& produce) {
  produce(Add(fileName));
}

void FileCommitGroup::Add(const QString& fileName, const QByteArray& data) {
  Add(fileName)(data.constData(), data.size());
}

void FileCommitGroup::Commit() {
  std::vector<std::unique_ptr<AtomicFile>> files = std::move(members_->files);
  members_->files.clear();
  for (const auto& file : files) file->Prepare();
  // The last one needs no way back: nothing after it can fail but the
  // folders' syncs, which leave the new files in place.
  for (size_t i = 0; i < files.size(); ++i) {
    try {
      files[i]->Place(i + 1 < files.size());
    } catch (...) {
      for (size_t j = i; j-- > 0;) files[j]->Undo();
      throw;
    }
  }
  for (const auto& file : files) file->Drop();
  std::exception_ptr failure;
  for (const auto& file : files) {
    try {
      file->SyncFolder();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void WriteFileAtomically(const QString& fileName, const std::function<void(const ByteSink&)>& produce) {
  if (fileName.isEmpty()) throw Error(messages::CannotCreateFile(fileName));
  AtomicFile file(fileName);
  file.Open();
  produce([&](const char* data, qint64 size) { file.Write(data, size); });
  file.Commit();
}

void WriteFileAtomically(const QString& fileName, const QByteArray& data) {
  WriteFileAtomically(fileName, [&](const ByteSink& sink) { sink(data.constData(), data.size()); });
}

void WriteTextLines(const QString& fileName, const QList<QByteArray>& lines) {
  WriteFileAtomically(fileName, JoinLinesCrLf(lines));
}

void WriteTextLines(const QString& fileName, const QStringList& lines) {
  QList<QByteArray> encoded;
  encoded.reserve(lines.size());
  for (const auto& line : lines) {
    const QString outside = FirstCharacterOutsideCp1251(line);
    if (!outside.isEmpty())
      throw Error(QStringLiteral("Файл %1 не записан: в строке «%2» есть знак «%3», которого нет в кодировке "
                                 "Windows-1251")
                      .arg(fileName, line, outside));
    encoded.append(EncodeCp1251(line));
  }
  WriteTextLines(fileName, encoded);
}

}  // namespace skarvel
