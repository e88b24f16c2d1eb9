#pragma once
// Whole-file reading, atomic writing and the text-file conventions.
//
// Text files are read whole into lines: CR LF, a lone LF and a lone CR each
// end a line, a NUL byte ends the text, and a final line without a line end
// still counts. A file whose bytes are valid UTF-8 is taken as UTF-8, any
// other as Windows-1251 (the system's own code page). Files are written with
// CR LF after every line, the last included, in Windows-1251.
//
// Every file the system writes is replaced atomically: the data goes to an
// unnamed temporary file in the target's folder (a named, hidden one where the
// file system has no unnamed files), every write is checked, the data is
// synced, and only then is the file renamed over the target and the folder
// synced. A failure at any step leaves the previous file intact and no
// temporary file behind, and so does a process killed while it writes (an
// unnamed file vanishes with its process). A target that is a symbolic link
// is written through: what it points to is replaced and the link stays. A
// replaced file keeps its permissions; a new one gets 0666 less the umask.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace skarvel {

// The whole content of a file. Raises "Cannot open file %s" when the file is
// missing, unreadable or not a plain file.
QByteArray ReadWholeFile(const QString& fileName);

// Splits text bytes into lines by the rules above (the bytes stay as they are).
QList<QByteArray> SplitLines(const QByteArray& bytes);
// The lines of a file, decoded (UTF-8 if valid, otherwise Windows-1251).
QStringList ReadTextLines(const QString& fileName);
// The same for text already read.
QStringList TextLines(QByteArray bytes);

// Decoding and encoding of the system's code page.
QString DecodeText(const QByteArray& bytes);  // UTF-8 if valid, else Windows-1251
QString DecodeCp1251(const QByteArray& bytes);
QByteArray EncodeCp1251(const QString& text);  // characters outside it become '?'
// The first character of `text` that Windows-1251 has no code for, or an
// empty text when every character encodes and decodes back unchanged.
QString FirstCharacterOutsideCp1251(const QString& text);

// Joins lines, each followed by CR LF.
QByteArray JoinLinesCrLf(const QList<QByteArray>& lines);

// Writes a file atomically; `produce` is given a sink to write blocks into.
// Raises "Cannot create file %s" when the file cannot be created, written or
// put in place, and for a target that exists but is not a regular file (a
// folder, a device, a pipe); the target is then left as it was. A sink call
// that fails raises at once, so that nothing more is computed for the file.
using ByteSink = std::function<void(const char* data, qint64 size)>;
void WriteFileAtomically(const QString& fileName, const std::function<void(const ByteSink&)>& produce);
void WriteFileAtomically(const QString& fileName, const QByteArray& data);

// Files replaced together, all of them or none. Each member is written to a
// temporary file of its own as WriteFileAtomically writes one; Commit syncs
// every member and only then renames each over its target, in the order
// they were added. A failure before the renames leaves every target as it
// was; a rename that fails after others succeeded puts those back (each
// earlier file under its name, no file where there was none), so that the
// targets are again as they were. While the group is put in place, the
// earlier file of every member but the last is kept under a hidden name (the
// two names exchanged in one step, or a hard link where the file system
// cannot exchange; on one with neither it is replaced without a way back).
// A failure to sync a folder after the renames is raised with every new file
// in place, as for a single file. A group dropped uncommitted takes its
// temporary files away and changes no target.
class FileCommitGroup {
 public:
  FileCommitGroup();
  ~FileCommitGroup();
  FileCommitGroup(const FileCommitGroup&) = delete;
  FileCommitGroup& operator=(const FileCommitGroup&) = delete;

  // Opens a member and gives the sink its data goes to, valid until Commit
  // or the group's end. Raises as WriteFileAtomically does.
  ByteSink Add(const QString& fileName);
  void Add(const QString& fileName, const std::function<void(const ByteSink&)>& produce);
  void Add(const QString& fileName, const QByteArray& data);
  // Puts every member in place; the group is empty afterwards, also after a
  // failure (which is raised for the member that failed).
  void Commit();

 private:
  struct Members;
  std::unique_ptr<Members> members_;
};

// Writes text lines in Windows-1251 with CR LF line ends, atomically.
void WriteTextLines(const QString& fileName, const QList<QByteArray>& lines);
// A line with a character outside Windows-1251 is not replaced by '?': the
// file is not written and an error names the line and the character.
void WriteTextLines(const QString& fileName, const QStringList& lines);

// ---- Faults for tests ---------------------------------------------------------
//
// The system calls of the atomic writer, which a test can make fail to show
// that every output survives a full disk or a failing device.
enum class WriterStep {
  kOpenUnnamed,  // the unnamed temporary file (EOPNOTSUPP: the file system has none)
  kOpenNamed,    // the named temporary file used instead
  kPermissions,  // giving the new file the permissions of the one it replaces
  kWrite,
  kSync,  // of the file
  kLink,  // giving the unnamed file its temporary name
  kClose,
  kRename,
  kSyncFolder,
  // In a group: the rename that keeps the replaced file under the
  // temporary name (EINVAL: the file system cannot exchange names), and the
  // hard link that keeps it where the exchange cannot.
  kExchange,
  kKeep,
};

// Step `step` fails with errno `error`. Writes fail once `afterBytes` bytes
// have been written in all (a write that crosses that point is cut short
// there, as a short write on a nearly full disk is); other steps fail at
// their first call. `times` calls fail, then the step works again; a
// negative count fails every call from then on (EINTR with a small count
// shows that interrupted calls are retried). `skip` calls of a step other
// than writing work before the first that fails (the second rename of a
// group fails with a skip of one).
struct WriterFault {
  WriterStep step = WriterStep::kWrite;
  int error = 0;
  long long afterBytes = 0;
  int times = -1;
  int skip = 0;
};

// Installs faults for the writes that follow (no fault: none). For tests
// only: one writer at a time.
void InjectWriterFaults(const std::vector<WriterFault>& faults);

}  // namespace skarvel
