#include "shell/browser_form.h"

#include "shell/mess_form.h"
#include "shell/windows.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace skarvel {
namespace {

constexpr int kPanel3Width = 278;
constexpr int kDirectoryListHeight = 240;
constexpr int kDriveBoxWidth = 118;
constexpr int kSplitterWidth = 3;

// Keeps the drive selector over the top right corner of Panel3.
class DriveBoxPlacer : public QObject {
 public:
  DriveBoxPlacer(QWidget* panel, QWidget* box) : QObject(panel), panel_(panel), box_(box) {
    panel->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Show) place();
    return false;
  }
  void place() {
    box_->setGeometry(panel_->width() - kDriveBoxWidth, 2, kDriveBoxWidth, box_->sizeHint().height());
    box_->raise();
  }

 private:
  QWidget* panel_;
  QWidget* box_;
};

}  // namespace

int ZoomedLength(std::int32_t length, std::int32_t percent) {
  const auto product =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(length) * static_cast<std::uint32_t>(percent));
  return product / 100;
}

TBrowserForm::TBrowserForm(const QString& name, const QString& caption, const BrowserFrameLayout& layout)
    : QWidget(nullptr, Qt::Window), layout_(layout) {
  setObjectName(name);
  setWindowTitle(caption);
  resize(layout.size);
  setMinimumSize(layout.minimumSize);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  Splitter2 = new QSplitter(Qt::Vertical, this);
  Splitter2->setObjectName(QStringLiteral("Splitter2"));
  Splitter2->setHandleWidth(kSplitterWidth);
  Splitter2->setChildrenCollapsible(false);
  outer->addWidget(Splitter2);

  Panel2 = new QWidget(Splitter2);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  auto* top = new QVBoxLayout(Panel2);
  top->setContentsMargins(0, 0, 0, 0);
  Splitter3 = new QSplitter(Qt::Horizontal, Panel2);
  Splitter3->setObjectName(QStringLiteral("Splitter3"));
  Splitter3->setHandleWidth(kSplitterWidth);
  Splitter3->setChildrenCollapsible(false);
  top->addWidget(Splitter3);

  if (layout.pictureArea) {
    ScrollBox1 = new ScrollBox(Splitter3);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
  }

  Panel3 = new QWidget(Splitter3);
  Panel3->setObjectName(QStringLiteral("Panel3"));
  auto* right = new QVBoxLayout(Panel3);
  right->setContentsMargins(0, 0, 0, 0);
  Splitter1 = new QSplitter(Qt::Vertical, Panel3);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setHandleWidth(kSplitterWidth);
  Splitter1->setChildrenCollapsible(false);
  right->addWidget(Splitter1);
  DirectoryListBox1 = new DirectoryListBox(Splitter1);
  DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
  FileListBox1 = new FileListBox(Splitter1);
  FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
  FileListBox1->setMask(layout.mask);
  FileListBox1->setMultiSelect(layout.multiSelect);
  Splitter1->setSizes({kDirectoryListHeight, layout.size.height()});
  Splitter1->setStretchFactor(1, 1);
  DriveComboBox1 = new DriveComboBox(Panel3);
  DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
  new DriveBoxPlacer(Panel3, DriveComboBox1);

  Panel1 = new QWidget(Splitter2);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Splitter2->setStretchFactor(0, 1);
  Splitter2->setSizes({layout.size.height() - layout.bottomHeight, layout.bottomHeight});
  Splitter3->setStretchFactor(0, 1);
  Splitter3->setSizes({layout.size.width() - kPanel3Width, kPanel3Width});

  if (layout.zoomMenu != BrowserFrameLayout::ZoomMenu::kNone) buildZoomMenu();
  if (ScrollBox1 != nullptr && layout.zoomMenu == BrowserFrameLayout::ZoomMenu::kScrollBox)
    ScrollBox1->setPopupMenu(ScalePopupMenu1);

  // The folder browsing: drive -> directory list -> file list -> current directory.
  connect(DriveComboBox1, &DriveComboBox::driveChosen, this,
          [this](const QString& root) { DirectoryListBox1->setDirectory(root); });
  connect(DirectoryListBox1, &DirectoryListBox::directoryChanged, this, [this](const QString& folder) {
    QDir::setCurrent(folder);
    DriveComboBox1->showVolumeOf(folder);
    FileListBox1->setDirectory(folder);
  });
  connect(FileListBox1, &FileListBox::folderRead, this,
          [](const QString& folder) { QDir::setCurrent(folder); });
  connect(FileListBox1, &FileListBox::fileClicked, this, [this] { FileListBox1Click(); });

  // Both lists start at the current directory of the moment of creation; the
  // file list reads it when the window is shown the first time.
  const QString start = QDir::currentPath();
  {
    const QSignalBlocker blocker(DirectoryListBox1);
    DirectoryListBox1->setDirectory(start);
  }
  DriveComboBox1->showVolumeOf(start);

  switch (layout.keys) {
    case BrowserFrameLayout::Keys::kPreview:
      qApp->installEventFilter(this);
      break;
    case BrowserFrameLayout::Keys::kWindowOnly:
      setFocusPolicy(Qt::StrongFocus);
      break;
    case BrowserFrameLayout::Keys::kNone:
      break;
  }
}

TBrowserForm::~TBrowserForm() = default;

void TBrowserForm::buildZoomMenu() {
  ScalePopupMenu1 = new QMenu(this);
  ScalePopupMenu1->setObjectName(QStringLiteral("ScalePopupMenu1"));
  for (size_t i = 0; i < kZoomValues.size(); ++i) {
    const int value = kZoomValues[i];
    QAction* item = ScalePopupMenu1->addAction(QStringLiteral("%1%").arg(value));
    // The zoom value followed by "1": N501 for "50%" ... N4001 for "400%".
    item->setObjectName(QStringLiteral("N%1").arg(value) + u'1');
    item->setCheckable(true);
    item->setChecked(value == 100);
    connect(item, &QAction::triggered, this, [this, value] { SetZoom(value); });
    zoomItems[i] = item;
  }
}

void TBrowserForm::SetZoom(int percent) {
  for (size_t i = 0; i < kZoomValues.size(); ++i)
    if (zoomItems[i] != nullptr) zoomItems[i]->setChecked(percent == kZoomValues[i]);
  ApplyZoom(ZoomedLength(ImageHeight, percent), ZoomedLength(ImageWidth, percent));
}

int TBrowserForm::CheckedZoom() const {
  for (size_t i = 0; i < kZoomValues.size(); ++i)
    if (zoomItems[i] != nullptr && zoomItems[i]->isChecked()) return kZoomValues[i];
  return 0;
}

void TBrowserForm::ApplyZoom(int height, int width) {
  for (QWidget* control : zoomed_) {
    control->resize(control->width(), height);
    control->resize(width, height);
  }
}

void TBrowserForm::placeCentralControl(QWidget* control) {
  Splitter3->insertWidget(0, control);
  Splitter3->setStretchFactor(0, 1);
  Splitter3->setSizes({layout_.size.width() - kPanel3Width, kPanel3Width});
}

void TBrowserForm::fitMinimumToPanel() {
  constexpr int kMargin = 8;
  if (Panel1->layout() == nullptr) {
    QSize needed(0, 0);
    for (QWidget* control : Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (control->isHidden() && control->testAttribute(Qt::WA_WState_ExplicitShowHide)) continue;
      needed = needed.expandedTo(
          QSize(control->geometry().right() + 1 + kMargin, control->geometry().bottom() + 1 + kMargin));
    }
    Panel1->setMinimumSize(needed);
  }
  // The splitter and the window's layout measure their children anew.
  Splitter2->updateGeometry();
  layout()->invalidate();
  setMinimumSize(layout_.minimumSize.expandedTo(layout()->minimumSize()));
}

void TBrowserForm::addStatisticsItem(std::function<QStringList()> lines) {
  statisticsLines_ = std::move(lines);
  ScalePopupMenu1->addSeparator();
  StatisticsItem = ScalePopupMenu1->addAction(QStringLiteral("Статистика по яркости…"));
  StatisticsItem->setObjectName(QStringLiteral("StatisticsItem"));
  connect(StatisticsItem, &QAction::triggered, this, &TBrowserForm::ShowStatistics);
}

void TBrowserForm::ShowStatistics() {
  QStringList lines = statisticsLines_();
  if (lines.isEmpty()) lines = {QStringLiteral("Изображение не загружено")};
  MessForm->SetLines(lines);
  // "Save" starts in the folder this window browses.
  MessForm->TextSaveDialog->setDirectory(Directory());
  MessForm->exec();
  statisticsCancelled_ = MessForm->Cancelled();
}

void TBrowserForm::FormKeyDown(int key, Qt::KeyboardModifiers) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) Button1Click();
}

void TBrowserForm::showEvent(QShowEvent* event) {
  if (!shownBefore_) {
    shownBefore_ = true;
    // In the middle of the desktop the first time; the file list reads its folder now.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect desktop = screen->availableGeometry();
      move(desktop.x() + (desktop.width() - width()) / 2, desktop.y() + (desktop.height() - height()) / 2);
    }
    FileListBox1->setDirectory(DirectoryListBox1->directory());
  }
  fitMinimumToPanel();
  QWidget::showEvent(event);
}

void TBrowserForm::keyPressEvent(QKeyEvent* event) {
  // Without key preview the window sees only keys that reach it while it
  // has the focus itself, not keys its controls passed on.
  if (layout_.keys == BrowserFrameLayout::Keys::kWindowOnly &&
      (focusWidget() == nullptr || focusWidget() == this)) {
    FormKeyDown(event->key(), event->modifiers());
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TBrowserForm::eventFilter(QObject* watched, QEvent* event) {
  // Key preview: every key meant for a control of this window comes here
  // first, once (not again as it travels up to the control's parents), and
  // then goes on to the control.
  if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    QWidget* focus = focusWidget();
    if (widget->window() == this && (widget == focus || (focus == nullptr && widget == this))) {
      auto* key = static_cast<QKeyEvent*>(event);
      FormKeyDown(key->key(), key->modifiers());
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace skarvel
