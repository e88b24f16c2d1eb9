#pragma once
// The three browsing controls of the task windows: the drive selector, the
// directory list and the file list.
//
// - The drive selector lists the mounted volumes, "/" first.
// - The directory list shows the path from the volume's root down to the
//   current folder, then the current folder's sub-folders; activating an item
//   (double click or Enter) opens that folder.
// - The file list shows the plain, non-hidden files of its folder whose names
//   match its mask without regard to letter case, sorted by name without
//   regard to case. It reads the folder synchronously whenever asked, so a
//   re-read after a batch shows the new files at once.

#include <QComboBox>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

namespace skarvel {

// The root folders of the mounted volumes, "/" first, the others by name.
QStringList MountedVolumeRoots();
// The root of the volume that holds `path` (the longest root it starts with).
QString VolumeRootOf(const QString& path, const QStringList& roots);

// Whether a file name matches a mask such as "*.bmp", ignoring letter case;
// a mask of several patterns separated by ";" ("*.bmp;*.jpg") matches a name
// that any of them matches.
bool MatchesMask(const QString& fileName, const QString& mask);
// The names of the plain, non-hidden files of `folder` matching `mask`,
// sorted by name without regard to letter case.
QStringList ListFolderFiles(const QString& folder, const QString& mask);

class DriveComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit DriveComboBox(QWidget* parent = nullptr);
  // Shows the volume that holds `path` as chosen, without raising driveChosen.
  void showVolumeOf(const QString& path);

 signals:
  // The user chose a volume: its root folder.
  void driveChosen(const QString& root);

 private:
  QStringList roots_;
};

class DirectoryListBox : public QTreeWidget {
  Q_OBJECT
 public:
  explicit DirectoryListBox(QWidget* parent = nullptr);
  // The folder shown, absolute, without a trailing "/" (except the root).
  QString directory() const { return directory_; }
  // Opens a folder: shows its path and sub-folders and raises directoryChanged.
  // Raises an error when the folder does not exist.
  void setDirectory(const QString& folder);

 signals:
  void directoryChanged(const QString& folder);

 private:
  void rebuild();

  QString directory_;
};

class FileListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit FileListBox(QWidget* parent = nullptr);

  void setMask(const QString& mask) { mask_ = mask; }
  QString mask() const { return mask_; }
  void setMultiSelect(bool multi);
  // Reads `folder`; the selection is dropped.
  void setDirectory(const QString& folder);
  // Reads the folder again; the selection is dropped.
  void reread();
  // Reads the folder again, keeping the selection of the entries still
  // there, the current entry when it is, and the scroll position.
  void rereadKeepingSelection();
  QString directory() const { return directory_; }

  // The full name of the current item when it is selected; empty otherwise.
  QString fileName() const;
  // The names of the selected items in list order.
  QStringList selectedEntries() const;

  // Makes `name` the current item, selected alone, as a click on it does (no click event).
  bool selectEntry(const QString& name);

 signals:
  // A click on an item, or a move through the list with the keys that
  // changed the current item or the selection.
  void fileClicked();
  // The list read its folder.
  void folderRead(const QString& folder);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString mask_ = QStringLiteral("*.*");
  QString directory_;
};

}  // namespace skarvel
