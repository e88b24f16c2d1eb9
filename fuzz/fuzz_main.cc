// libFuzzer's entry points for one target, chosen when the executable is
// built (SKARVEL_FUZZ_TARGET names it). A property that does not hold, or an
// exception other than skarvel::Error escaping a reader, is reported and
// aborts, which libFuzzer records as a finding with its input.

#include "fuzz/targets.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

const skarvel::fuzz::Target* g_target = nullptr;

void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_target = skarvel::fuzz::FindTarget(SKARVEL_FUZZ_TARGET);
  if (g_target == nullptr) {
    std::fprintf(stderr, "no fuzz target named %s\n", SKARVEL_FUZZ_TARGET);
    std::abort();
  }
  // Drawing the scene needs fonts, hence a GUI application, without a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "skarvel-fuzz";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
  qInstallMessageHandler(Quiet);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    g_target->run(data, size);
  } catch (const skarvel::fuzz::Finding& finding) {
    std::fprintf(stderr, "finding in %s: %s\n", g_target->name, finding.what());
    std::abort();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "finding in %s: an exception escaped: %s\n", g_target->name, e.what());
    std::abort();
  }
  return 0;
}
