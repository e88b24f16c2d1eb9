// Closing the main window ends the program. Once the application's event
// loop has ended no other modal window can run in this process, so this test
// has an executable of its own.

#include "app/main_form.h"
#include "fov/fov_form.h"
#include "scaling/scale_form.h"
#include "shell/windows.h"
#include "support/widget_test_support.h"

#include <QTimer>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

TEST(ProgramExitTest, ClosingTheMainWindowEndsTheProgramWithTaskWindowsOpen) {
  testing::TempDir dir;
  testing::ProgramWindows windows(dir.path());
  MainForm->showMaximized();
  MainForm->N10Click();
  MainForm->N11Click();
  QTimer::singleShot(0, [] { testing::Find<QAction>(MainForm, "N24")->trigger(); });
  // A program that does not end here fails the test instead of hanging it.
  QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_FALSE(MainForm->isVisible());
}

}  // namespace
}  // namespace skarvel
