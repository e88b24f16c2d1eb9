#pragma once
// The command-line front end's shared parts: argument parsing, the grouping
// of files by folder, and the conventions every subcommand follows.
//
// Conventions: option values are texts converted exactly as the windows'
// edits convert them; files are processed in the order given; each written
// file is printed on its own line on standard output; messages go to standard
// error; exit status 0 on success, 1 when an error ended the run (or a file
// was skipped), 2 on wrong usage.

#include "platform/bitmap_batch.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <span>
#include <stdexcept>

namespace skarvel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Wrong usage: the message is printed with the usage text, exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ParsedArguments {
  QMap<QString, QString> options;  // option name (without "--") to value
  QStringList positional;

  QString value(const QString& name, const QString& fallback) const { return options.value(name, fallback); }
};

// An option of a subcommand: "--name VALUE", with a line of help.
struct CommandOption {
  const char* name;       // without "--"
  const char* valueName;  // the value's placeholder in the usage
  const char* description;
};

// Taken by every subcommand besides its own options.
inline constexpr CommandOption kDecimalSeparatorOption = {
    "decimal-separator", "C", "the decimal separator of numbers, in place of the locale's"};

// Parses "--name VALUE" / "--name=VALUE" options, all of which take a value,
// and positional arguments ("--" ends the options; "-" alone is positional).
// A word with a single dash is an option too ("-name VALUE"). Raises
// UsageError for an unknown option or one without its value; of an option
// given more than once the last value counts. "--decimal-separator C" is
// accepted besides `options` and applied at once.
ParsedArguments ParseArguments(const QStringList& args, std::span<const CommandOption> options);

// Splits files into runs of consecutive files in the same folder, keeping the
// order given, and calls `run` with each folder (absolute) and entry names.
void ForEachFolderRun(const QStringList& files,
                      const std::function<void(const QString& folder, const QStringList& entries)>& run);

// Runs a bitmap batch (resample, cut, grey) over the files, one folder run
// at a time, printing each written file as the batch goes. An error raised
// while a file was being loaded names that file ("<file>: Bitmap image is
// not valid") unless its message names it already: the core's texts, which
// the windows show as they are, do not. Other errors pass unchanged.
using BitmapBatch =
    std::function<void(const QString& folder, const QStringList& entries, const BatchObserver& observer)>;
void RunBitmapBatch(const QStringList& files, const BitmapBatch& batch);

// Prints a line (UTF-8) on standard output or standard error.
void PrintOut(const QString& line);
void PrintErr(const QString& line);
// Prints lines on standard output, a block of them per write.
void PrintOutLines(const QStringList& lines);

// A subcommand: its options (besides --decimal-separator), which both its
// parsing and the help come from, and its function, called with the parsed
// arguments.
struct Command {
  const char* name;
  const char* arguments;  // the positional arguments' synopsis
  std::span<const CommandOption> options;
  int (*run)(const ParsedArguments& parsed);
};

// "[--bench TEXT] [--real TEXT] [--decimal-separator C] FILE...".
QString Synopsis(const Command& command);
// The help of the commands: each one's "skarvel-batch NAME SYNOPSIS" line,
// then a line per option with its description.
QStringList CommandHelp(std::span<const Command> commands);

}  // namespace skarvel::cli
