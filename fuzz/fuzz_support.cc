#include "fuzz/fuzz_support.h"

#include "platform/numbers.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <stdexcept>

namespace skarvel::fuzz {

void Require(bool condition, const std::string& what) {
  if (!condition) throw Finding(what);
}

QList<QByteArray> SplitParts(const std::uint8_t* data, std::size_t size, int parts) {
  QList<QByteArray> result;
  const char* p = reinterpret_cast<const char*>(data);
  const char* end = p + size;
  while (static_cast<int>(result.size()) < parts) {
    if (static_cast<int>(result.size()) == parts - 1) {
      result.append(QByteArray(p, end - p));
      break;
    }
    const char* cut = std::find(p, end, kPartSeparator);
    result.append(QByteArray(p, cut - p));
    if (cut == end) break;
    p = cut + 1;
  }
  return result;
}

Scratch::Scratch() : dir_(QDir::tempPath() + QStringLiteral("/skarvel-fuzz-XXXXXX")) {
  if (!dir_.isValid()) throw std::runtime_error("no scratch folder for the fuzz target");
}

Scratch& Scratch::Fresh() {
  static Scratch scratch;
  QDir dir(scratch.dir_.path());
  for (const QString& entry : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
    if (!QFile::remove(dir.filePath(entry))) QDir(dir.filePath(entry)).removeRecursively();
  }
  return scratch;
}

QString Scratch::path(const QString& name) const { return dir_.filePath(name); }

QString Scratch::write(const QString& name, const std::optional<QByteArray>& bytes) const {
  const QString fileName = path(name);
  if (!bytes) return fileName;
  QFile file(fileName);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(*bytes) != bytes->size())
    throw std::runtime_error("cannot write the fuzz input to " + fileName.toStdString());
  return fileName;
}

bool ReachesOutside(const QByteArray& text, bool namesStartLines) {
  if (text.contains("..")) return true;
  if (!namesStartLines) return false;
  // Lines end at CR or LF; a line starting with "//" is a comment.
  bool lineStart = true;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (lineStart) {
      if (c == '\\' || c == ':') return true;
      if (c == '/' && (i + 1 >= text.size() || text[i + 1] != '/')) return true;
    }
    lineStart = c == '\r' || c == '\n';
  }
  return false;
}

void SilentSink::Show(const QString& shownCaption, const QString& shownText) {
  ++count;
  caption = shownCaption;
  text = shownText;
}

Separator::Separator(QChar separator) { SetDecimalSeparatorOverride(separator); }
Separator::~Separator() { SetDecimalSeparatorOverride(std::nullopt); }

}  // namespace skarvel::fuzz
