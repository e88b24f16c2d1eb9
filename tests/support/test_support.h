#pragma once
// Helpers shared by the test executables.

#include "platform/messages.h"
#include "platform/numbers.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

namespace skarvel::testing {

// A fresh, empty folder per test, removed afterwards.
class TempDir {
 public:
  TempDir();
  QString path() const { return dir_.path(); }
  // Full name of an entry of the folder.
  QString file(const QString& name) const { return dir_.filePath(name); }
  // Writes raw bytes to an entry and returns its full name.
  QString write(const QString& name, const QByteArray& bytes) const;
  // Entry names of the folder, sorted.
  QStringList entries() const;

 private:
  QTemporaryDir dir_;
};

QByteArray ReadBytes(const QString& fileName);
// Writes raw bytes to a file (replacing it), failing the test when it cannot.
void WriteBytes(const QString& fileName, const QByteArray& bytes);

// Records what the readers would have shown in their message box.
class RecordingMessageSink : public MessageSink {
 public:
  RecordingMessageSink() : scope_(this) {}
  void Show(const QString& caption, const QString& text) override { shown.emplace_back(caption, text); }
  std::vector<std::pair<QString, QString>> shown;

 private:
  ScopedMessageSink scope_;
};

// Sets the decimal separator for the lifetime of the object.
class SeparatorScope {
 public:
  explicit SeparatorScope(QChar separator) { SetDecimalSeparatorOverride(separator); }
  ~SeparatorScope() { SetDecimalSeparatorOverride(std::nullopt); }
};

// The message of the skarvel::Error that `f` raises; "(no error)" when it raises none.
QString ErrorOf(const std::function<void()>& f);

// Folder of the project's sources (for samples).
QString SourceDir();
// Folder of the shared external test data, empty when it is absent.
QString TestDataDir();
// How a test that needs that data begins its skip message when the data is
// absent; ctest reports such tests as skipped (skarvel_add_test DATA_TESTS).
inline constexpr const char* kTestDataAbsent = "external test data is not present: ";

}  // namespace skarvel::testing

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
