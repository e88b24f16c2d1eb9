#include "cli/command_line.h"

#include "platform/error.h"
#include "platform/file_names.h"
#include "platform/numbers.h"

#include <QFileInfo>

#include <cstdio>

namespace skarvel::cli {

ParsedArguments ParseArguments(const QStringList& args, const QStringList& optionNames) {
  ParsedArguments parsed;
  bool optionsEnded = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (optionsEnded || !arg.startsWith(QStringLiteral("--")) || arg == QStringLiteral("-")) {
      parsed.positional.append(arg);
      continue;
    }
    if (arg == QStringLiteral("--")) {
      optionsEnded = true;
      continue;
    }
    QString name = arg.mid(2);
    QString value;
    const qsizetype eq = name.indexOf(u'=');
    if (eq >= 0) {
      value = name.mid(eq + 1);
      name = name.left(eq);
    } else {
      if (i + 1 >= args.size())
        throw UsageError(QStringLiteral("option --%1 needs a value").arg(name).toStdString());
      value = args[++i];
    }
    if (name == QStringLiteral("decimal-separator")) {
      if (value.size() != 1) throw UsageError("--decimal-separator takes exactly one character");
      SetDecimalSeparatorOverride(value.at(0));
      continue;
    }
    if (!optionNames.contains(name))
      throw UsageError(QStringLiteral("unknown option --%1").arg(name).toStdString());
    parsed.options.insert(name, value);
  }
  return parsed;
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
