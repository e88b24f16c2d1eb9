#pragma once
// Runs the skarvel-batch executable and collects what it printed.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace skarvel::testing {

struct CommandResult {
  int exitCode = -1;
  QString out;
  QString err;
  QStringList outLines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
};

// `childSetup` runs in the child before the program starts (to set limits).
inline CommandResult RunBatch(const QStringList& args, const QString& workingDirectory = {},
                              const QStringList& environment = {},
                              const std::function<void()>& childSetup = {}) {
  QProcess process;
  if (childSetup) process.setChildProcessModifier(childSetup);
  if (!environment.isEmpty()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& setting : environment)
      env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    process.setProcessEnvironment(env);
  }
  if (!workingDirectory.isEmpty()) process.setWorkingDirectory(workingDirectory);
  process.start(QStringLiteral(SKARVEL_BATCH_PATH), args);
  CommandResult result;
  if (!process.waitForFinished(120000)) return result;
  result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.out = QString::fromUtf8(process.readAllStandardOutput());
  result.err = QString::fromUtf8(process.readAllStandardError());
  return result;
}

}  // namespace skarvel::testing
