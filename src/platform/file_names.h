#pragma once
// File names as the system builds them.
//
// Names read from files may use "\" or "/" between folders; both are
// accepted and "\" is turned into "/" before a name is used on this platform.
// Output names join the folder and the base name with "/".

#include <QString>

namespace skarvel {

// The entry's name before its first "." (the whole name when it has none).
QString BaseName(const QString& entryName);

// directory + "/" + BaseName(entryName) + suffix. The separator is added even
// when the directory already ends in one, as the system always has.
QString MakeOutputName(const QString& directory, const QString& entryName, const QString& suffix);

// A file name read from a file, as the system opens it: "\" turned into "/",
// and trailing blanks dropped (names in list and camera files are commonly
// followed by " ; comment", and the system has always opened them without the
// blanks).
QString NativeFileName(const QString& nameFromFile);

// directory + "/" + entryName, without doubling a separator that is there.
QString JoinPath(const QString& directory, const QString& entryName);

}  // namespace skarvel
