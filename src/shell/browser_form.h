#pragma once
// The image browser frame that the five task windows share: on the right the
// drive selector, the directory list and the file list; on the left the
// scrolling picture area with its zoom pop-up menu; at the bottom the task's
// own controls (Panel1).
//
// Every task window derives from TBrowserForm and keeps the frame's control
// names. The frame owns the zoom (SetZoom and the six zoom items, whose check
// marks are the zoom's only record), the file list's FileName and selection,
// the shared current directory and the Enter key. What a file click and the
// processing button do belongs to each window.
//
// The shared current directory: whenever a directory list changes its
// folder, and whenever a file list reads its folder (when its window is shown
// the first time, after every change of folder or drive, and when a task has
// it read again), the process's current directory becomes that folder.

#include "shell/browser_controls.h"
#include "shell/picture_view.h"

#include <QAction>
#include <QMenu>
#include <QSize>
#include <QSplitter>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

namespace skarvel {

struct BrowserFrameLayout {
  QString mask;             // of FileListBox1
  bool multiSelect = true;  // several files can be selected
  bool pictureArea = true;  // ScrollBox1 on the left (else the window places its own control)
  enum class ZoomMenu { kNone, kScrollBox, kImage1 } zoomMenu = ZoomMenu::kScrollBox;
  // kPreview: the window sees every key before the focused control;
  // kWindowOnly: only keys that reach the window itself, none of its controls
  // having the focus.
  enum class Keys { kNone, kPreview, kWindowOnly } keys = Keys::kPreview;
  QSize size;  // at creation
  QSize minimumSize;
  int bottomHeight = 100;  // of Panel1
};

// 32-bit signed zoom arithmetic: the product first (wrapping as the 32-bit
// product does), then a division truncating toward zero.
int ZoomedLength(std::int32_t length, std::int32_t percent);

class TBrowserForm : public QWidget {
  Q_OBJECT
 public:
  TBrowserForm(const QString& name, const QString& caption, const BrowserFrameLayout& layout);
  ~TBrowserForm() override;

  // The zoom: check marks, then the zoomed controls' height and width.
  void SetZoom(int percent);
  void N501Click() { SetZoom(50); }
  void N751Click() { SetZoom(75); }
  void N1001Click() { SetZoom(100); }
  void N2001Click() { SetZoom(200); }
  void N3001Click() { SetZoom(300); }
  void N4001Click() { SetZoom(400); }
  // The zoom item that carries the check mark (50 ... 400), 0 when none does.
  int CheckedZoom() const;

  std::int32_t ImageWidth = 0;
  std::int32_t ImageHeight = 0;

  // The file list's FileName, its selection in list order, and its folder.
  QString FileName() const { return FileListBox1->fileName(); }
  QStringList SelectedEntries() const { return FileListBox1->selectedEntries(); }
  QString Directory() const { return DirectoryListBox1->directory(); }
  // Opens a folder in the directory list, as the user does.
  void OpenDirectory(const QString& folder) { DirectoryListBox1->setDirectory(folder); }
  // Has the file list read its folder again (the selection is dropped).
  void RereadFileList() { FileListBox1->reread(); }
  // Has it read its folder again after a batch: the entries still there stay
  // selected and current, and the list stays scrolled as it was, so that
  // Enter runs the same batch again (the new files appear unselected).
  void RereadFileListKeepingSelection() { FileListBox1->rereadKeepingSelection(); }

  // The handlers every window has; the frame calls them.
  virtual void FileListBox1Click() {}
  virtual void Button1Click() {}
  // Enter (Return or the keypad's Enter, any modifiers) runs Button1Click.
  virtual void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

 protected:
  // Sets the zoomed controls' size (height first, then width).
  virtual void ApplyZoom(int height, int width);
  // The controls SetZoom resizes, in order.
  void setZoomedControls(QList<QWidget*> controls) { zoomed_ = std::move(controls); }
  // Puts the window's own control where the picture area would be.
  void placeCentralControl(QWidget* control);
  // Raises the bottom panel's minimum size to what its shown controls need
  // (their extent and a margin, or its layout's minimum), and the window's
  // minimum to what its panels then need, so that nothing is cut at the
  // smallest size; the window's own minimum stays where it is larger. Run
  // when the window is shown and after the panel is laid out anew.
  void fitMinimumToPanel();
  // Adds "Статистика по яркости…" below the zoom items: it fills the
  // statistics dialog with the lines given (none while no picture is
  // shown: the dialog then says so), shows it modally and reads afterwards
  // whether the user cancelled it.
  void addStatisticsItem(std::function<QStringList()> lines);

 public:
  // The statistics dialog for the picture shown (the item's action).
  void ShowStatistics();
  // Whether the statistics dialog was cancelled the last time it closed.
  bool StatisticsCancelled() const { return statisticsCancelled_; }
  QAction* StatisticsItem = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 public:
  QSplitter* Splitter2;  // above the bottom panel
  QWidget* Panel2;       // everything above Splitter2
  QSplitter* Splitter3;  // between the picture area and Panel3
  QWidget* Panel3;
  QSplitter* Splitter1;  // between the directory list and the file list
  DirectoryListBox* DirectoryListBox1;
  FileListBox* FileListBox1;
  DriveComboBox* DriveComboBox1;
  ScrollBox* ScrollBox1 = nullptr;
  QWidget* Panel1;  // the task's controls, placed by the window
  QMenu* ScalePopupMenu1 = nullptr;
  std::array<QAction*, 6> zoomItems{};  // N501 ... N4001

 private:
  void buildZoomMenu();
  void placeDriveBox();

  BrowserFrameLayout layout_;
  QList<QWidget*> zoomed_;
  std::function<QStringList()> statisticsLines_;
  bool statisticsCancelled_ = false;
  bool shownBefore_ = false;
};

// The zoom values of the six items, in menu order.
inline constexpr std::array<int, 6> kZoomValues = {50, 75, 100, 200, 300, 400};

}  // namespace skarvel
