// skarvel-batch --help: the usage of every subcommand on standard output.

#include "cli_test_support.h"

#include <gtest/gtest.h>

namespace skarvel {
namespace {

TEST(HelpTest, PrintsEverySubcommandAndTheExitCodes) {
  for (const char* flag : {"--help", "-h"}) {
    const testing::CommandResult r = testing::RunBatch({flag});
    EXPECT_EQ(r.exitCode, 0) << flag;
    for (const char* command : {"scale", "fov", "resample", "cut", "grey"})
      EXPECT_TRUE(r.out.contains(QStringLiteral("skarvel-batch %1 ").arg(command))) << command;
    EXPECT_TRUE(r.out.contains("--decimal-separator"));
    EXPECT_TRUE(r.out.contains("2 wrong usage"));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
  }
  // Without arguments the usage is an error.
  EXPECT_EQ(testing::RunBatch({}).exitCode, 2);
}

}  // namespace
}  // namespace skarvel
