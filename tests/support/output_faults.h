#pragma once
// Fault tests for the files the system writes.
//
// Whatever writes an output file is run under the atomic writer's injected
// faults, against targets it may not replace, in a read-only folder and (as
// root) onto a really full disk. In every failing case it must raise
// "Cannot create file <folder>/<output>", keep the earlier file of that name
// byte for byte and leave nothing else behind; where a fault is survivable
// (interrupted and short writes) the file must be complete.
//
// An output is described in a few lines and gets four tests:
//
//   testing::OutputCase ScaledFile() {
//     return {.prepare = [](const QString& folder) { /* write the inputs */ },
//             .write = [](const QString& folder) { /* run the core on them */ },
//             .output = "a_real.ort"};
//   }
//   SKARVEL_OUTPUT_FAULT_TESTS(ScaledFileOutput, ScaledFile())

#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>

namespace skarvel::testing {

struct OutputCase {
  // Puts the inputs into an empty folder.
  std::function<void(const QString& folder)> prepare;
  // Makes the output in that folder, through the real file code.
  std::function<void(const QString& folder)> write;
  // The output's name in the folder.
  QString output;
};

// Writes that fail before the first byte, after one, halfway and before the
// last; failing sync, close, link, rename and permission calls; the named
// temporary file of a file system without unnamed ones; a failing sync of
// the folder after the rename (the error is raised, the new file is
// complete); interrupted and short writes (the file is complete).
void ExpectOutputSurvivesInjectedFaults(const OutputCase& output);
// An output name that is a folder or a pipe.
void ExpectOutputRefusesOddTargets(const OutputCase& output);
// A folder that cannot be written (as root a read-only tmpfs, else mode 0555).
void ExpectOutputSurvivesAReadOnlyFolder(const OutputCase& output);
// A real full disk, a small tmpfs: with no room left, then with room for
// half the file; then, with the room back, the file is written whole.
void ExpectOutputSurvivesAFullDisk(const OutputCase& output);

// Outputs written together (a FileCommitGroup): a failure at any one of
// them, also at the rename of a later one after the earlier ones were put in
// place, must raise "Cannot create file <folder>/<that output>" and leave
// every output as it was (the earlier files byte for byte, no file where
// there was none) and nothing else behind.
struct OutputGroupCase {
  std::function<void(const QString& folder)> prepare;
  std::function<void(const QString& folder)> write;
  QStringList outputs;  // in the order the group puts them in place
};

// Every output's rename failing after the ones before it succeeded, with
// and without earlier files, on a file system that exchanges names and on
// one that cannot (the earlier file kept by a hard link); each output's
// sync failing; the earlier file that cannot be kept; then the faults the group survives (no
// way to keep an earlier file, an interrupted sync) and a failing folder sync,
// which leave every new file in place.
void ExpectOutputGroupSurvivesInjectedFaults(const OutputGroupCase& group);

// Why no tmpfs of the tests' own can be mounted here; empty when one can.
QString WhyNoTmpfs();
// Why the read-only folder test cannot run here; empty when it can.
QString WhyNoReadOnlyFolder();

// A small tmpfs on a fresh folder, taken away with the object.
class ScratchTmpfs {
 public:
  explicit ScratchTmpfs(long long bytes);
  ~ScratchTmpfs();
  ScratchTmpfs(const ScratchTmpfs&) = delete;
  ScratchTmpfs& operator=(const ScratchTmpfs&) = delete;
  bool mounted() const { return mounted_; }
  const QString& path() const { return path_; }
  // Fills the free room with a file of this name, leaving `room` bytes free.
  void Fill(const QString& name, long long room = 0) const;
  // Makes the file system read-only.
  bool MakeReadOnly() const;

 private:
  QString path_;
  bool mounted_ = false;
};

// Every entry of a folder (files, folders, pipes, hidden ones), sorted.
QStringList AllEntries(const QString& folder);

}  // namespace skarvel::testing

#define SKARVEL_OUTPUT_FAULT_TESTS(Suite, makeCase)                    \
  TEST(Suite, SurvivesInjectedWriterFaults) {                          \
    ::skarvel::testing::ExpectOutputSurvivesInjectedFaults(makeCase);  \
  }                                                                    \
  TEST(Suite, RefusesAFolderOrAPipeAsItsName) {                        \
    ::skarvel::testing::ExpectOutputRefusesOddTargets(makeCase);       \
  }                                                                    \
  TEST(Suite, SurvivesAReadOnlyFolder) {                               \
    const QString why = ::skarvel::testing::WhyNoReadOnlyFolder();     \
    if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();             \
    ::skarvel::testing::ExpectOutputSurvivesAReadOnlyFolder(makeCase); \
  }                                                                    \
  TEST(Suite, SurvivesAFullDisk) {                                     \
    const QString why = ::skarvel::testing::WhyNoTmpfs();              \
    if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();             \
    ::skarvel::testing::ExpectOutputSurvivesAFullDisk(makeCase);       \
  }
