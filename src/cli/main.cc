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

// Subcommand name -> function; each calls the core the windows call.
constexpr Command kCommands[] = {
    {"scale", "[--bench TEXT] [--real TEXT] [--decimal-separator C] FILE...", skarvel::cli::RunScale},
    {"resample", "[--width TEXT] [--height TEXT] [--method nearest|bilinear] [--decimal-separator C] FILE...",
     skarvel::cli::RunResample},
    {"cut", "[--w1 TEXT] [--h1 TEXT] [--w2 TEXT] [--h2 TEXT] [--decimal-separator C] FILE...",
     skarvel::cli::RunCut},
    {"grey", "[--r N] [--g N] [--b N] [--contrast N] [--decimal-separator C] FILE...", skarvel::cli::RunGrey},
    {"fov",
     "LIST [--system bench|photogrammetric|mathematical] [--output FILE] [--legend FILE] [--csv FILE] "
     "[--geojson FILE] [--relief FILE [--relief-z-scale S]] [--coverage FILE [--coverage-cell SIZE]] "
     "[--decimal-separator C]",
     skarvel::cli::RunFov},
};

// The usage, on standard error after a wrong call or on standard output when asked for.
void PrintUsage(void (*print)(const QString&) = skarvel::cli::PrintErr) {
  print(QStringLiteral("usage:"));
  for (const Command& command : kCommands)
    print(QStringLiteral("  skarvel-batch %1 %2")
              .arg(QLatin1String(command.name), QLatin1String(command.usage)));
}

void PrintHelp() {
  using skarvel::cli::PrintOut;
  PrintOut(QStringLiteral("skarvel-batch: the batch operations of Skarvel's windows, without the windows."));
  PrintUsage(PrintOut);
  PrintOut(QString());
  PrintOut(
      QStringLiteral("Numbers use the decimal separator of the locale (LC_NUMERIC) unless "
                     "--decimal-separator C names one."));
  PrintOut(QStringLiteral("Each written file is printed on its own line; messages go to standard error."));
  PrintOut(QStringLiteral(
      "Exit status: 0 success, 1 an error ended the run or a file was skipped, 2 wrong usage."));
  PrintOut(QStringLiteral("See skarvel-batch(1) for every option."));
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
  return name != "resample" && name != "cut" && name != "grey" && name != "--help" && name != "-h";
}

}  // namespace

int main(int argc, char** argv) {
  skarvel::PrepareHeapForLargeJobs();
  qInstallMessageHandler(FilterQtMessages);
  // Drawing text needs a GUI application object; the offscreen platform
  // gives one without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
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
  for (const Command& command : kCommands) {
    if (name != QLatin1String(command.name)) continue;
    try {
      return command.run(args);
    } catch (const skarvel::cli::UsageError& e) {
      skarvel::cli::PrintErr(QStringLiteral("skarvel-batch %1: %2").arg(name, QString::fromUtf8(e.what())));
      skarvel::cli::PrintErr(
          QStringLiteral("usage: skarvel-batch %1 %2").arg(name, QLatin1String(command.usage)));
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
