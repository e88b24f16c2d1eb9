#pragma once
// The file readers' message box as a replaceable sink.
//
// The readers of image geometry and camera files report their own failures
// in a modal box (caption "Ошибка!", one OK button) and go on. Where that box
// appears depends on the front end: a modal box in the windows, standard
// error on the command line, a recording in tests. The front end installs
// its sink; without one, messages go to standard error.

#include <QString>

namespace skarvel {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Shows the text under the caption and returns when the user has seen it.
  virtual void Show(const QString& caption, const QString& text) = 0;
};

// Writes each message as one line on standard error: the caption, a space,
// the text ("Ошибка! Ошибка чтения cam-файла!").
class StderrMessageSink : public MessageSink {
 public:
  void Show(const QString& caption, const QString& text) override;
};

// Installs a sink (nullptr restores the standard error sink); returns the previous one.
MessageSink* SetMessageSink(MessageSink* sink);
MessageSink& CurrentMessageSink();

// The readers' box: shows `text` under `caption` through the current sink.
void MessageBoxA(const QString& text, const QString& caption);

// Caption of the readers' box.
inline const QString kReaderErrorCaption = QStringLiteral("Ошибка!");

// Installs a sink for the lifetime of the object.
class ScopedMessageSink {
 public:
  explicit ScopedMessageSink(MessageSink* sink) : previous_(SetMessageSink(sink)) {}
  ~ScopedMessageSink() { SetMessageSink(previous_); }
  ScopedMessageSink(const ScopedMessageSink&) = delete;
  ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

 private:
  MessageSink* previous_;
};

}  // namespace skarvel
