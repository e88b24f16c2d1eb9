#pragma once
// The one error type of the system. Core code throws it with the message the
// user is to see; the application's error report (or the command line) shows
// the text unchanged. Nothing between the throw and that boundary catches it.

#include <QString>

#include <stdexcept>
#include <string>

namespace skarvel {

class Error : public std::runtime_error {
 public:
  explicit Error(const QString& message);
  explicit Error(const char* utf8Message) : std::runtime_error(utf8Message) {}

  // The message as the user sees it.
  QString message() const { return QString::fromUtf8(what()); }
};

// The framework's standard texts, shared by every part that raises them.
namespace messages {
QString CannotOpenFile(const QString& fileName);    // "Cannot open file %s"
QString CannotCreateFile(const QString& fileName);  // "Cannot create file %s"
QString NotAFloat(const QString& text);             // "'%s' is not a valid floating point value"
QString NotAnInteger(const QString& text);          // "'%s' is not a valid integer value"
QString ListIndexOutOfBounds(long long index);      // "List index out of bounds (%d)"
inline constexpr const char* kBitmapNotValid = "Bitmap image is not valid";
inline constexpr const char* kFloatDivideByZero = "Floating point division by zero";
inline constexpr const char* kFloatOverflow = "Floating point overflow";
inline constexpr const char* kFloatInvalid = "Invalid floating point operation";
}  // namespace messages

// The text of the application's error report for an error's message: the
// message with a full stop appended when its last character sorts after "."
// (a letter or a digit, say); an empty message stays empty.
QString ErrorReportText(const QString& message);

}  // namespace skarvel
