#include "cli/command_line.h"

#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/numbers.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace skarvel::cli {

namespace {

QCommandLineOption ParserOption(const CommandOption& option) {
  return QCommandLineOption(QString::fromUtf8(option.name), QString::fromUtf8(option.description),
                            QString::fromUtf8(option.valueName));
}

// An option as the user wrote it: "-name" or "--name".
QString AsWritten(const QStringList& args, const QString& name) {
  const QString single = u'-' + name;
  for (const QString& arg : args) {
    if (arg == QLatin1String("--")) break;
    if (arg == single || arg.startsWith(single + u'=')) return single;
  }
  return QStringLiteral("--") + name;
}

}  // namespace

ParsedArguments ParseArguments(const QStringList& args, std::span<const CommandOption> options) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const CommandOption& option : options) parser.addOption(ParserOption(option));
  const QString separator = QString::fromUtf8(kDecimalSeparatorOption.name);
  parser.addOption(ParserOption(kDecimalSeparatorOption));
  // The parser takes the program's name first.
  if (!parser.parse(QStringList{QStringLiteral("skarvel-batch")} + args)) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty())
      throw UsageError(
          QStringLiteral("unknown option %1").arg(AsWritten(args, unknown.front())).toStdString());
    // Every option takes a value, so only the last argument can lack one.
    const QString last = args.isEmpty() ? QString() : args.back();
    throw UsageError(QStringLiteral("option %1 needs a value").arg(last).toStdString());
  }
  for (const QString& value : parser.values(separator))
    if (value.size() != 1) throw UsageError("--decimal-separator takes exactly one character");
  if (parser.isSet(separator)) SetDecimalSeparatorOverride(parser.value(separator).at(0));
  ParsedArguments parsed;
  for (const CommandOption& option : options) {
    const QString name = QString::fromUtf8(option.name);
    if (parser.isSet(name)) parsed.options.insert(name, parser.value(name));
  }
  parsed.positional = parser.positionalArguments();
  return parsed;
}

QString Synopsis(const Command& command) {
  QStringList parts;
  for (const CommandOption& option : command.options)
    parts << QStringLiteral("[--%1 %2]").arg(QLatin1String(option.name), QLatin1String(option.valueName));
  parts << QStringLiteral("[--%1 %2]")
               .arg(QLatin1String(kDecimalSeparatorOption.name),
                    QLatin1String(kDecimalSeparatorOption.valueName));
  parts << QLatin1String(command.arguments);
  return parts.join(u' ');
}

QStringList CommandHelp(std::span<const Command> commands) {
  const auto written = [](const CommandOption& option) {
    return QStringLiteral("--%1 %2").arg(QLatin1String(option.name), QLatin1String(option.valueName));
  };
  QStringList lines;
  for (const Command& command : commands) {
    qsizetype width = written(kDecimalSeparatorOption).size();
    for (const CommandOption& option : command.options) width = std::max(width, written(option).size());
    lines << QStringLiteral("skarvel-batch %1 %2").arg(QLatin1String(command.name), Synopsis(command));
    const auto line = [&](const CommandOption& option) {
      lines << QStringLiteral("    %1  %2")
                   .arg(written(option).leftJustified(width), QString::fromUtf8(option.description));
    };
    for (const CommandOption& option : command.options) line(option);
    line(kDecimalSeparatorOption);
    lines << QString();
  }
  return lines;
}

void ForEachFolderRun(const QStringList& files,
                      const std::function<void(const QString& folder, const QStringList& entries)>& run) {
  QString folder;
  QStringList entries;
  for (const QString& file : files) {
    const QFileInfo info(file);
    const QString dir = info.absolutePath();
    if (!entries.isEmpty() && dir != folder) {
      run(folder, entries);
      entries.clear();
    }
    folder = dir;
    entries.append(info.fileName());
  }
  if (!entries.isEmpty()) run(folder, entries);
}

void RunBitmapBatch(const QStringList& files, const BitmapBatch& batch) {
  ForEachFolderRun(files, [&](const QString& folder, const QStringList& entries) {
    // Each entry is loaded, then saved, before the next: an error before the
    // load of entry `done` was reported came from reading that entry's file.
    qsizetype done = 0;
    bool loaded = false;
    BatchObserver observer;
    observer.loaded = [&](const QString&, const std::shared_ptr<const Bitmap>&) { loaded = true; };
    observer.saved = [&](const QString& fileName) {
      PrintOut(fileName);
      ++done;
      loaded = false;
    };
    try {
      batch(folder, entries, observer);
    } catch (const Error& e) {
      if (loaded || done >= entries.size()) throw;
      const QString file = JoinPath(folder, entries[done]);
      if (e.message().contains(file)) throw;
      throw Error(file + QStringLiteral(": ") + e.message());
    }
  });
}

void PrintOut(const QString& line) {
  const QByteArray bytes = (line + u'\n').toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  std::fflush(stdout);
}

void PrintOutLines(const QStringList& lines) {
  QByteArray block;
  auto flush = [&] {
    std::fwrite(block.constData(), 1, static_cast<size_t>(block.size()), stdout);
    std::fflush(stdout);
    block.clear();
  };
  for (const QString& line : lines) {
    block += line.toUtf8();
    block += '\n';
    if (block.size() >= (1 << 16)) flush();
  }
  if (!block.isEmpty()) flush();
}

void PrintErr(const QString& line) {
  const QByteArray bytes = (line + u'\n').toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
  std::fflush(stderr);
}

}  // namespace skarvel::cli
