// Entry point of the window tests: the program's own application object
// (its error report and its readers' boxes), on Qt's offscreen platform
// unless the environment names another.

#include "shell/application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  skarvel::SkarvelApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
