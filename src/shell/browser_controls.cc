#include "shell/browser_controls.h"

#include "platform/error.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>

namespace skarvel {
namespace {

bool NameLess(const QString& a, const QString& b) {
  const int c = QString::compare(a, b, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a < b;
}

QString CleanFolder(const QString& folder) { return QDir::cleanPath(QFileInfo(folder).absoluteFilePath()); }

}  // namespace

QStringList MountedVolumeRoots() {
  QStringList roots;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const QString root = volume.rootPath();
    if (!roots.contains(root)) roots.append(root);
  }
  roots.removeAll(QStringLiteral("/"));
  std::sort(roots.begin(), roots.end(), NameLess);
  roots.prepend(QStringLiteral("/"));
  return roots;
}

QString VolumeRootOf(const QString& path, const QStringList& roots) {
  QString best = QStringLiteral("/");
  for (const QString& root : roots) {
    const bool inside = path == root || path.startsWith(root.endsWith(u'/') ? root : root + u'/');
    if (inside && root.size() > best.size()) best = root;
  }
  return best;
}

namespace {

// One expression for all the patterns of a mask ("*.bmp;*.jpg").
QRegularExpression MaskExpression(const QString& mask) {
  QStringList alternatives;
  for (const QString& part : mask.split(u';', Qt::SkipEmptyParts))
    alternatives.append(QRegularExpression::wildcardToRegularExpression(part.trimmed()));
  if (alternatives.isEmpty()) alternatives.append(QRegularExpression::wildcardToRegularExpression(mask));
  return QRegularExpression(QStringLiteral("(?:%1)").arg(alternatives.join(u'|')),
                            QRegularExpression::CaseInsensitiveOption);
}

}  // namespace

bool MatchesMask(const QString& fileName, const QString& mask) {
  return MaskExpression(mask).match(fileName).hasMatch();
}

QStringList ListFolderFiles(const QString& folder, const QString& mask) {
  const QRegularExpression pattern = MaskExpression(mask);
  QStringList names;
  // Plain files only: no folders, no hidden files, no dangling links.
  for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort))
    if (pattern.match(info.fileName()).hasMatch()) names.append(info.fileName());
  std::sort(names.begin(), names.end(), NameLess);
  return names;
}

DriveComboBox::DriveComboBox(QWidget* parent) : QComboBox(parent), roots_(MountedVolumeRoots()) {
  addItems(roots_);
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (index >= 0 && index < roots_.size()) emit driveChosen(roots_[index]);
  });
}

void DriveComboBox::showVolumeOf(const QString& path) {
  const int index = static_cast<int>(roots_.indexOf(VolumeRootOf(path, roots_)));
  if (index >= 0 && index != currentIndex()) setCurrentIndex(index);
}

DirectoryListBox::DirectoryListBox(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setIndentation(12);
  connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    if (item != nullptr) setDirectory(item->data(0, Qt::UserRole).toString());
  });
}

void DirectoryListBox::setDirectory(const QString& folder) {
  const QString clean = CleanFolder(folder);
  if (!QFileInfo(clean).isDir()) throw Error(QStringLiteral("Папка %1 не найдена").arg(folder));
  directory_ = clean;
  rebuild();
  emit directoryChanged(directory_);
}

void DirectoryListBox::rebuild() {
  clear();
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  // The path from the root down: "/", then one item per folder.
  QStringList parts = directory_.split(u'/', Qt::SkipEmptyParts);
  QTreeWidgetItem* parent = new QTreeWidgetItem(this, QStringList(QStringLiteral("/")));
  parent->setData(0, Qt::UserRole, QStringLiteral("/"));
  parent->setIcon(0, open);
  QString path;
  for (const QString& part : parts) {
    path += u'/' + part;
    auto* item = new QTreeWidgetItem(parent, QStringList(part));
    item->setData(0, Qt::UserRole, path);
    item->setIcon(0, open);
    parent->setExpanded(true);
    parent = item;
  }
  QTreeWidgetItem* current = parent;
  const QDir dir(directory_);
  for (const QString& name :
       dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
    auto* item = new QTreeWidgetItem(current, QStringList(name));
    item->setData(0, Qt::UserRole, dir.filePath(name));
    item->setIcon(0, closed);
  }
  current->setExpanded(true);
  setCurrentItem(current);
  scrollToItem(current);
}

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) { setMultiSelect(false); }

void FileListBox::setMultiSelect(bool multi) {
  setSelectionMode(multi ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void FileListBox::setDirectory(const QString& folder) {
  directory_ = CleanFolder(folder);
  reread();
}

void FileListBox::reread() {
  clear();
  addItems(ListFolderFiles(directory_, mask_));
  emit folderRead(directory_);
}

void FileListBox::rereadKeepingSelection() {
  const QStringList selected = selectedEntries();
  const QString current = currentItem() != nullptr ? currentItem()->text() : QString();
  const int scrolled = verticalScrollBar()->value();
  const int shifted = horizontalScrollBar()->value();
  reread();
  // Setting the selection raises no click: nothing is loaded.
  const QSet<QString> keep(selected.begin(), selected.end());
  for (int i = 0; i < count(); ++i)
    if (keep.contains(item(i)->text())) item(i)->setSelected(true);
  for (int i = 0; i < count() && !current.isEmpty(); ++i)
    if (item(i)->text() == current) {
      selectionModel()->setCurrentIndex(indexFromItem(item(i)), QItemSelectionModel::NoUpdate);
      break;
    }
  // The scroll range follows the new items only once they are laid out.
  executeDelayedItemsLayout();
  updateGeometries();
  verticalScrollBar()->setValue(scrolled);
  horizontalScrollBar()->setValue(shifted);
}

QString FileListBox::fileName() const {
  const QListWidgetItem* item = currentItem();
  if (item == nullptr || !item->isSelected()) return QString();
  return directory_ == QStringLiteral("/") ? directory_ + item->text() : directory_ + u'/' + item->text();
}

QStringList FileListBox::selectedEntries() const {
  QStringList names;
  for (int i = 0; i < count(); ++i)
    if (item(i)->isSelected()) names.append(item(i)->text());
  return names;
}

bool FileListBox::selectEntry(const QString& name) {
  const QList<QListWidgetItem*> found = findItems(name, Qt::MatchExactly);
  if (found.isEmpty()) return false;
  setCurrentItem(found.front(), QItemSelectionModel::ClearAndSelect);
  return true;
}

void FileListBox::mousePressEvent(QMouseEvent* event) {
  QListWidget::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && itemAt(event->position().toPoint()) != nullptr) emit fileClicked();
}

void FileListBox::keyPressEvent(QKeyEvent* event) {
  const int row = currentRow();
  const QStringList selected = selectedEntries();
  QListWidget::keyPressEvent(event);
  if (currentRow() != row || selectedEntries() != selected) emit fileClicked();
}

}  // namespace skarvel
