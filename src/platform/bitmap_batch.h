#pragma once
// What a batch over the selected bitmaps of a folder tells its caller.
//
// The processing buttons walk the selected entries of a folder in list order,
// load each picture, compute one result and write it beside the source. The
// window shows each loaded picture and a progress display counts them; the
// command line prints each written file. Either callback may be empty.

#include "platform/bitmap.h"

#include <QString>

#include <functional>

namespace skarvel {

struct BatchObserver {
  // Each picture as soon as it is loaded, with its entry name.
  std::function<void(const QString& entryName, const Bitmap& picture)> loaded;
  // Each file once it is in place, with the picture written into it.
  std::function<void(const QString& fileName, const Bitmap& result)> written;
};

}  // namespace skarvel
