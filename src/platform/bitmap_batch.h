#pragma once
// What a batch over the selected bitmaps of a folder tells its caller.
//
// The processing buttons walk the selected entries of a folder in list order,
// load each picture, compute one result and write it beside the source. The
// window shows each loaded picture and a progress display counts them; the
// command line prints each written file. Any callback may be empty.

#include "platform/bitmap.h"

#include <QString>

#include <functional>

namespace skarvel {

struct BatchObserver {
  // Each picture as soon as it is loaded, with its entry name.
  std::function<void(const QString& entryName, const Bitmap& picture)> loaded;
  // Each file once it is in place, with the picture written into it.
  std::function<void(const QString& fileName, const Bitmap& result)> written;
  // Each file once it is in place, by name alone. Without a `written`
  // callback no result picture is needed, and a batch may compute the result
  // straight into its file instead of building the whole picture first.
  std::function<void(const QString& fileName)> saved;
};

}  // namespace skarvel
