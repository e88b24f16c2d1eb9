#include "platform/file_names.h"

namespace skarvel {

QString BaseName(const QString& entryName) {
  const qsizetype dot = entryName.indexOf(u'.');
  return dot < 0 ? entryName : entryName.left(dot);
}

QString MakeOutputName(const QString& directory, const QString& entryName, const QString& suffix) {
  return directory + u'/' + BaseName(entryName) + suffix;
}

QString NativeFileName(const QString& nameFromFile) {
  QString name = nameFromFile;
  name.replace(u'\\', u'/');
  while (name.endsWith(u' ')) name.chop(1);
  return name;
}

QString JoinPath(const QString& directory, const QString& entryName) {
  if (directory.isEmpty()) return entryName;
  if (directory.endsWith(u'/')) return directory + entryName;
  return directory + u'/' + entryName;
}

}  // namespace skarvel
