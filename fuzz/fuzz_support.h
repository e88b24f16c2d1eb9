#pragma once
// What the entry functions share: splitting one input into several files, a
// scratch folder, a silent message sink, the decimal separator in force and
// the outcome of loading a picture.

#include "fuzz/targets.h"
#include "platform/bitmap.h"
#include "platform/error.h"
#include "platform/messages.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace skarvel::fuzz {

// Inputs made of several files hold them one after the other, each ended by
// the byte 0x1E (the ASCII record separator). At most `parts` parts are
// taken: the last one keeps any further separators. Parts the input does not
// reach are absent (their files are then not written).
inline constexpr char kPartSeparator = '\x1e';
QList<QByteArray> SplitParts(const std::uint8_t* data, std::size_t size, int parts);

// A folder of the process's own, emptied of the files a previous input left.
class Scratch {
 public:
  // The folder for this input; its entries from earlier inputs are removed.
  static Scratch& Fresh();
  QString path(const QString& name) const;
  // Writes `bytes` to `name`, or makes sure no such file is there when the
  // part is absent.
  QString write(const QString& name, const std::optional<QByteArray>& bytes) const;

 private:
  Scratch();
  QTemporaryDir dir_;
};

// Whether a text names files outside the scratch folder (a parent folder,
// an absolute name at the start of a line). Inputs that do are skipped, so
// that a fuzzer never reads the machine's own files.
bool ReachesOutside(const QByteArray& text, bool namesStartLines);

// Records what the readers would show, silently.
class SilentSink : public MessageSink {
 public:
  SilentSink() : previous_(SetMessageSink(this)) {}
  ~SilentSink() override { SetMessageSink(previous_); }
  SilentSink(const SilentSink&) = delete;
  SilentSink& operator=(const SilentSink&) = delete;
  void Show(const QString& caption, const QString& text) override;

  int count = 0;
  QString caption;  // of the last message
  QString text;

 private:
  MessageSink* previous_;
};

// The user's decimal separator for the lifetime of the object.
class Separator {
 public:
  explicit Separator(QChar separator);
  ~Separator();
  Separator(const Separator&) = delete;
  Separator& operator=(const Separator&) = delete;
};

inline constexpr QChar kSeparators[] = {u'.', u','};

// A picture loaded, or the message it was refused with.
struct Outcome {
  std::optional<Bitmap> bitmap;
  QString error;
};

template <typename Load>
Outcome Attempt(Load&& load) {
  try {
    return {load(), {}};
  } catch (const Error& e) {
    return {std::nullopt, e.message()};
  }
}

}  // namespace skarvel::fuzz
