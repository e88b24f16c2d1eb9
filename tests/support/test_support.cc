#include "support/test_support.h"

#include "platform/error.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace skarvel::testing {

TempDir::TempDir() { EXPECT_TRUE(dir_.isValid()); }

QString TempDir::write(const QString& name, const QByteArray& bytes) const {
  const QString fileName = file(name);
  QFile f(fileName);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << fileName.toStdString();
  f.write(bytes);
  return fileName;
}

QStringList TempDir::entries() const {
  return QDir(path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray ReadBytes(const QString& fileName) {
  QFile f(fileName);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void WriteBytes(const QString& fileName, const QByteArray& bytes) {
  QFile f(fileName);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << fileName.toStdString();
  ASSERT_EQ(f.write(bytes), bytes.size());
}

QString ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.message();
  }
  return QStringLiteral("(no error)");
}

QString SourceDir() { return qEnvironmentVariable("SKARVEL_SOURCE_DIR", QStringLiteral(SKARVEL_SOURCE_DIR)); }

QString TestDataDir() {
  QString dir = qEnvironmentVariable("SKARVEL_TESTDATA_DIR");
  if (dir.isEmpty()) dir = SourceDir() + QStringLiteral("/../shared/testdata");
  return QDir(dir).exists() ? QDir(dir).absolutePath() : QString();
}

}  // namespace skarvel::testing
