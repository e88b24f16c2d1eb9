// skarvel-batch: the system's batch operations without the windows.

#include "cli/command_line.h"
#include "cli/commands.h"
#include "platform/error.h"
#include "platform/memory.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <exception>
#include <iterator>
#include <memory>
#include <new>

namespace {

using skarvel::cli::Command;
using skarvel::cli::CommandOption;
using skarvel::cli::Synopsis;

// Each subcommand's options, besides --decimal-separator, with a line of
// help each: the parser and the help both come from these.
constexpr CommandOption kScaleOptions[] = {
    {"bench", "TEXT", "the bench distance, as the window's edit takes it (default 4.25)"},
    {"real", "TEXT", "the real distance (default 500000)"},
};
constexpr CommandOption kResampleOptions[] = {
    {"width", "TEXT", "the new width in pixels (default 512)"},
    {"height", "TEXT", "the new height in pixels (default 512)"},
    {"method", "nearest|bilinear", "nearest neighbour or bilinear weighting (default bilinear)"},
};
constexpr CommandOption kCutOptions[] = {
    {"w1", "TEXT", "the fragment's first column (default 0)"},
    {"h1", "TEXT", "the fragment's first row (default 0)"},
    {"w2", "TEXT", "the column after the fragment (default 100)"},
    {"h2", "TEXT", "the row after the fragment (default 100)"},
};
constexpr CommandOption kGreyOptions[] = {
    {"r", "N", "the weight of a pixel's first byte (blue), -100 to 200 (default 0)"},
    {"g", "N", "the weight of its second byte (green), -100 to 200 (default 0)"},
    {"b", "N", "the weight of its third byte (red), -100 to 200 (default 0)"},
    {"contrast", "N", "the contrast, 0 to 500, 50 for 1.0 (default 50)"},
};
constexpr CommandOption kFovOptions[] = {
    {"system", "bench|photogrammetric|mathematical", "the orientation system (default bench)"},
    {"output", "FILE", "the drawing, a 24-bit bitmap (default <list folder>/<base name>_fov.bmp)"},
    {"legend", "FILE", "also the legend panel, a 24-bit bitmap"},
    {"csv", "FILE", "also the footprint figures, as CSV"},
    {"geojson", "FILE", "also the footprint figures, as GeoJSON"},
    {"relief", "FILE", "a height map: the exports also tell what each frame sees of it"},
    {"relief-z-scale", "S", "the factor of the height map's values (default 1; needs --relief)"},
    {"relief-surface", "bilinear|blocks",
     "the surface of the height map: bilinear patches between the cell centres or a flat block per cell "
     "(default bilinear; needs --relief)"},
    {"coverage", "FILE", "the number of frames that see each cell, .tif or .asc"},
    {"coverage-cell", "SIZE", "the cell of a coverage on the scene plane, without --relief"},
};

// Subcommand name -> function; each calls the core the windows call.
constexpr Command kCommands[] = {
    {"scale", "FILE...", kScaleOptions, skarvel::cli::RunScale},
    {"resample", "FILE...", kResampleOptions, skarvel::cli::RunResample},
    {"cut", "FILE...", kCutOptions, skarvel::cli::RunCut},
    {"grey", "FILE...", kGreyOptions, skarvel::cli::RunGrey},
    {"fov", "LIST", kFovOptions, skarvel::cli::RunFov},
};

// The usage, on standard error after a wrong call or on standard output when asked for.
void PrintUsage(void (*print)(const QString&) = skarvel::cli::PrintErr) {
  print(QStringLiteral("usage:"));
  for (const Command& command : kCommands)
    print(QStringLiteral("  skarvel-batch %1 %2").arg(QLatin1String(command.name), Synopsis(command)));
  print(QStringLiteral("  skarvel-batch --help | --version"));
}

void PrintHelp() {
  using skarvel::cli::PrintOut;
  PrintOut(QStringLiteral("skarvel-batch: the batch operations of Skarvel's windows, without the windows."));
  PrintOut(QString());
  skarvel::cli::PrintOutLines(skarvel::cli::CommandHelp(kCommands));
  PrintOut(QStringLiteral("skarvel-batch --help      this help"));
  PrintOut(QStringLiteral("skarvel-batch --version   the program's version"));
  PrintOut(QString());
  PrintOut(
      QStringLiteral("Numbers use the decimal separator of the locale (LC_NUMERIC) unless "
                     "--decimal-separator C names one."));
  PrintOut(
      QStringLiteral("Options take their value as \"--name VALUE\" or \"--name=VALUE\"; \"--\" ends them."));
  PrintOut(QStringLiteral("Each written file is printed on its own line; messages go to standard error."));
  PrintOut(QStringLiteral(
      "Exit status: 0 success, 1 an error ended the run or a file was skipped, 2 wrong usage."));
  PrintOut(QStringLiteral("See skarvel-batch(1) for every option."));
}

// Whether a subcommand's arguments ask for its help: --help or -h before any
// "--" (after it, a file may be named so).
bool AsksForHelp(const QStringList& args) {
  for (const QString& arg : args) {
    if (arg == QLatin1String("--")) return false;
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) return true;
  }
  return false;
}

// Qt's own chatter about the session (no XDG_RUNTIME_DIR under a batch job)
// is not the user's business; everything else Qt says goes to standard error.
void FilterQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (message.startsWith(QLatin1String("QStandardPaths: "))) return;
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  skarvel::cli::PrintErr(message);
}

// The bitmap commands only read and write files: a core application starts
// in a fraction of the time of a GUI one and holds less memory (no platform
// plugin, no fonts), which counts when each file is a process of its own.
bool NeedsGui(int argc, char** argv) {
  if (argc < 2) return true;
  const QByteArray name(argv[1]);
  return name != "resample" && name != "cut" && name != "grey" && name != "--help" && name != "-h" &&
         name != "--version";
}

}  // namespace

int main(int argc, char** argv) {
  skarvel::PrepareHeapForLargeJobs();
  qInstallMessageHandler(FilterQtMessages);
  // Drawing text needs a GUI application object; the offscreen platform
  // gives one without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication::setApplicationName(QStringLiteral("skarvel-batch"));
  QCoreApplication::setApplicationVersion(QStringLiteral(SKARVEL_VERSION));
  std::unique_ptr<QCoreApplication> app;
  if (NeedsGui(argc, argv)) {
    app = std::make_unique<QGuiApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  QStringList args = QCoreApplication::arguments();
  args.removeFirst();
  if (args.isEmpty()) {
    PrintUsage();
    return skarvel::cli::kExitUsage;
  }
  const QString name = args.takeFirst();
  if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
    PrintHelp();
    return skarvel::cli::kExitOk;
  }
  if (name == QLatin1String("--version")) {
    skarvel::cli::PrintOut(QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(),
                                                       QCoreApplication::applicationVersion()));
    return skarvel::cli::kExitOk;
  }
  for (const Command& command : kCommands) {
    if (name != QLatin1String(command.name)) continue;
    if (AsksForHelp(args)) {
      skarvel::cli::PrintOutLines(skarvel::cli::CommandHelp(std::span(&command, 1)));
      return skarvel::cli::kExitOk;
    }
    try {
      return command.run(skarvel::cli::ParseArguments(args, command.options));
    } catch (const skarvel::cli::UsageError& e) {
      skarvel::cli::PrintErr(QStringLiteral("skarvel-batch %1: %2").arg(name, QString::fromUtf8(e.what())));
      skarvel::cli::PrintErr(
          QStringLiteral("usage: skarvel-batch %1 %2").arg(name, skarvel::cli::Synopsis(command)));
      return skarvel::cli::kExitUsage;
    } catch (const skarvel::Error& e) {
      skarvel::cli::PrintErr(e.message());
      return skarvel::cli::kExitFailure;
    } catch (const std::bad_alloc&) {
      // Memory that ran out where no picture size was at hand.
      skarvel::cli::PrintErr(QStringLiteral("Недостаточно памяти"));
      return skarvel::cli::kExitFailure;
    } catch (const std::exception& e) {
      skarvel::cli::PrintErr(QString::fromLocal8Bit(e.what()));
      return skarvel::cli::kExitFailure;
    }
  }
  skarvel::cli::PrintErr(QStringLiteral("skarvel-batch: unknown command '%1'").arg(name));
  PrintUsage();
  return skarvel::cli::kExitUsage;
}
