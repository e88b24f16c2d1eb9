// skarvel: the desktop program.

#include "app/create_windows.h"
#include "app/main_form.h"
#include "platform/error.h"
#include "platform/memory.h"
#include "shell/application.h"

#include <exception>

int main(int argc, char** argv) {
  skarvel::PrepareHeapForLargeJobs();
  skarvel::SkarvelApplication app(argc, argv);
  skarvel::DesktopServices services;
  try {
    skarvel::CreateWindows();
  } catch (const skarvel::Error& e) {
    // An error while the windows are made is reported, and the program ends.
    skarvel::ShowErrorReport(e.message());
    skarvel::DestroyWindows();
    return 0;
  } catch (const std::exception& e) {
    skarvel::ShowErrorReport(QString::fromLocal8Bit(e.what()));
    skarvel::DestroyWindows();
    return 0;
  }
  skarvel::MainForm->showMaximized();
  app.exec();
  skarvel::DestroyWindows();
  return 0;
}
