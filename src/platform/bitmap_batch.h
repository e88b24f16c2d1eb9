#pragma once
// What a batch over the selected bitmaps of a folder tells its caller, and
// how it walks them.
//
// The processing buttons walk the selected entries of a folder in list order,
// load each picture, compute one result and write it beside the source. The
// window shows each loaded picture and a progress display counts them; the
// command line prints each written file. Any callback may be empty.

#include "platform/bitmap.h"
#include "platform/file_names.h"
#include "platform/picture_file.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace skarvel {

struct BatchObserver {
  // Each picture as soon as it is loaded, with its entry name.
  std::function<void(const QString& entryName, const std::shared_ptr<const Bitmap>& picture)> loaded;
  // Each file once it is in place, with the picture written into it.
  std::function<void(const QString& fileName, const Bitmap& result)> written;
  // Each file once it is in place, by name alone. Without a `written`
  // callback no result picture is needed, and a batch may compute the result
  // straight into its file instead of building the whole picture first.
  std::function<void(const QString& fileName)> saved;
  // Before each entry: how many are done, of how many, and the next entry.
  std::function<void(qsizetype done, qsizetype total, const QString& entryName)> progress;
  // Asked last before each entry starts (after `progress`): true ends the
  // batch there, the files written before it staying in place.
  std::function<bool()> cancelled;
};

// Calls `each` for the entries in order, telling the observer the progress
// and stopping early when it asks.
template <typename Each>
void ForEachBatchEntry(const QStringList& entries, const BatchObserver& observer, Each&& each) {
  for (qsizetype i = 0; i < entries.size(); ++i) {
    if (observer.progress) observer.progress(i, entries.size(), entries[i]);
    // Asked after the progress display has had its say, so that a request to
    // stop made while the previous entry ran stops the batch before this one.
    if (observer.cancelled && observer.cancelled()) return;
    each(entries[i]);
  }
}

// Loads an entry of the folder and shows it to the observer.
inline std::shared_ptr<const Bitmap> LoadBatchPicture(const QString& directory, const QString& entry,
                                                      const BatchObserver& observer) {
  auto picture = std::make_shared<const Bitmap>(LoadPicture(JoinPath(directory, entry)));
  if (observer.loaded) observer.loaded(entry, picture);
  return picture;
}

}  // namespace skarvel
