// skarvel-batch --help and --version, and how every subcommand reads its
// options: the usage of every subcommand on standard output, the parsing
// errors with their usage on standard error.

#include "cli_test_support.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

TEST(HelpTest, PrintsEverySubcommandWithItsOptionsAndTheExitCodes) {
  // Each subcommand with options of its own that the help must describe.
  const QList<QStringList> commands = {
      {"scale", "--bench TEXT", "--real TEXT"},
      {"fov", "--system bench|photogrammetric|mathematical", "--output FILE", "--legend FILE", "--csv FILE",
       "--geojson FILE", "--relief FILE", "--relief-z-scale S", "--relief-surface bilinear|blocks",
       "--coverage FILE", "--coverage-cell SIZE"},
      {"resample", "--width TEXT", "--height TEXT", "--method nearest|bilinear"},
      {"cut", "--w1 TEXT", "--h1 TEXT", "--w2 TEXT", "--h2 TEXT"},
      {"grey", "--r N", "--g N", "--b N", "--contrast N"},
  };
  for (const char* flag : {"--help", "-h"}) {
    const testing::CommandResult r = testing::RunBatch({flag});
    EXPECT_EQ(r.exitCode, 0) << flag;
    const QStringList lines = r.out.split(u'\n');
    for (const QStringList& command : commands) {
      const qsizetype at =
          lines.indexOf(QRegularExpression(QStringLiteral("^skarvel-batch %1 .*").arg(command[0])));
      ASSERT_GE(at, 0) << command[0].toStdString();
      // The synopsis names every option; a line each follows with a description.
      for (const QString& option : command.mid(1) + QStringList{"--decimal-separator C"}) {
        EXPECT_TRUE(lines[at].contains(QStringLiteral("[%1]").arg(option))) << option.toStdString();
        bool described = false;
        for (qsizetype i = at + 1; i < lines.size() && !lines[i].isEmpty(); ++i)
          described = described ||
                      QRegularExpression(QStringLiteral("^ +%1 +\\w").arg(QRegularExpression::escape(option)))
                          .match(lines[i])
                          .hasMatch();
        EXPECT_TRUE(described) << command[0].toStdString() << " " << option.toStdString();
      }
    }
    EXPECT_TRUE(r.out.contains("2 wrong usage"));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    // A subcommand's own help is its block of the whole help; after "--" the
    // flag is a file name.
    for (const QStringList& command : commands) {
      const testing::CommandResult own = testing::RunBatch({command[0], "--w1", "x", flag});
      EXPECT_EQ(own.exitCode, 0) << command[0].toStdString();
      const qsizetype at = r.out.indexOf(QStringLiteral("skarvel-batch %1 ").arg(command[0]));
      ASSERT_GE(at, 0);
      EXPECT_EQ(own.out, r.out.mid(at, r.out.indexOf(QStringLiteral("\n\n"), at) + 2 - at))
          << command[0].toStdString();
      EXPECT_NE(testing::RunBatch({command[0], "--", flag}).exitCode, 0) << command[0].toStdString();
    }
  }
  const testing::CommandResult version = testing::RunBatch({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, QStringLiteral("skarvel-batch 1.0.0\n"));
  EXPECT_TRUE(version.err.isEmpty()) << version.err.toStdString();
  // Without arguments the usage is an error.
  EXPECT_EQ(testing::RunBatch({}).exitCode, 2);
}

TEST(HelpTest, WrongOptionsAreUsageErrorsThatNameThem) {
  struct Case {
    QStringList args;
    const char* message;
  };
  const Case cases[] = {
      {{"cut", "--zoom", "2", "a.bmp"}, "skarvel-batch cut: unknown option --zoom"},
      {{"cut", "--zoom=2", "a.bmp"}, "skarvel-batch cut: unknown option --zoom"},
      {{"cut", "-w1", "2", "-x", "a.bmp"}, "skarvel-batch cut: unknown option -x"},
      // An option of another subcommand.
      {{"scale", "--w1", "2", "a.ort"}, "skarvel-batch scale: unknown option --w1"},
      {{"grey", "a.bmp", "--contrast"}, "skarvel-batch grey: option --contrast needs a value"},
      {{"resample", "a.bmp", "--decimal-separator"},
       "skarvel-batch resample: option --decimal-separator needs a value"},
      {{"cut", "--decimal-separator=", "a.bmp"},
       "skarvel-batch cut: --decimal-separator takes exactly one character"},
      {{"fov", "--decimal-separator", ".", "--decimal-separator", ",,", "a.lst"},
       "skarvel-batch fov: --decimal-separator takes exactly one character"},
  };
  for (const Case& c : cases) {
    const testing::CommandResult r = testing::RunBatch(c.args);
    EXPECT_EQ(r.exitCode, 2) << c.args.join(' ').toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    const QStringList lines = r.err.split(u'\n');
    EXPECT_EQ(lines.value(0), QString::fromUtf8(c.message));
    EXPECT_TRUE(lines.value(1).startsWith(QStringLiteral("usage: skarvel-batch %1 [--").arg(c.args[0])))
        << r.err.toStdString();
  }
}

TEST(HelpTest, ValuesAndPositionalArgumentsInEveryForm) {
  // "--name=VALUE", a value that looks like an option, and "--" before a
  // file name that does: each reaches the subcommand as given (the file
  // named is missing, which the load reports, not the parser).
  const QList<QStringList> cases = {
      {"cut", "--w1=--5", "missing.bmp"},
      {"cut", "--", "--w1"},
      {"grey", "--r", "-100", "--", "-", "missing.bmp"},
      {"resample", "--method=nearest", "--width", "--height", "missing.bmp"},
  };
  for (const QStringList& args : cases) {
    const testing::CommandResult r = testing::RunBatch(args, QDir::tempPath());
    EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("usage")) << r.err.toStdString();
  }
}

}  // namespace
}  // namespace skarvel
