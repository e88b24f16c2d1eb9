#include "app/main_form.h"

#include "app/startup_picture.h"
#include "colour/rgb_form.h"
#include "cut/cut_form.h"
#include "fov/fov_form.h"
#include "platform/desktop_services.h"
#include "resampling/interpol_form.h"
#include "scaling/scale_form.h"
#include "shell/application.h"
#include "shell/artwork.h"
#include "shell/windows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace skarvel {
namespace {

constexpr int kCompactWidth = 375;
constexpr int kCompactHeight = 115;
constexpr int kCompactLeft = 30;
constexpr int kCompactTop = 30;
// How often and how many times the compact bounds are checked against the
// frame a window manager reports after restoring the window (2 s in all).
constexpr int kFitCheckMilliseconds = 50;
constexpr int kFitChecks = 40;

// The frame around a window's client area, as the window system tells it.
QMargins FrameMargins(const QWidget* window) {
  const QRect frame = window->frameGeometry();
  const QRect client = window->geometry();
  return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                  frame.bottom() - client.bottom());
}
constexpr int kButtonWidth = 35;
constexpr int kButtonHeight = 30;

}  // namespace

TMainForm::TMainForm() : startDir_(QDir::currentPath()) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(kApplicationTitle);
  setWindowIcon(QIcon(QPixmap::fromImage(ProgramIconPicture())));
  // The restored bounds; the window starts maximised.
  setGeometry(187, 52, 807, 674);
  setMinimumSize(kCompactWidth, kCompactHeight);

  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  auto submenu = [](QMenu* menu, const char* name) {
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    return menu;
  };
  QMenu* n1 = submenu(bar->addMenu(QStringLiteral("Файл")), "N1");
  addItem(n1, "N24", QStringLiteral("Выход"), &TMainForm::N24Click);
  QMenu* n38 = submenu(bar->addMenu(QStringLiteral("Задачи")), "N38");
  QMenu* n5 = submenu(n38->addMenu(QStringLiteral("Расчет параметров трансформации изображений")), "N5");
  addItem(n5, "N7", QStringLiteral("Шаблон"), &TMainForm::N7Click);
  QAction* n9 = addItem(n5, "N9", QStringLiteral("Расчетные таблицы"), &TMainForm::N9Click);
  QAction* n42 =
      addItem(n38, "N42", QStringLiteral("Моделирование углового разрешения"), &TMainForm::N42Click);
  QAction* n6 =
      addItem(n38, "N6", QStringLiteral("Извлечение и сохранение части изображения"), &TMainForm::N6Click);
  QAction* n8 =
      addItem(n38, "N8", QStringLiteral("Изменение цветового состава изображения"), &TMainForm::N8Click);
  QAction* n10 = addItem(n38, "N10", QStringLiteral("Визуализация полей зрения съемочной аппаратуры"),
                         &TMainForm::N10Click);
  QAction* n11 = addItem(n38, "N11", QStringLiteral("Масштабирование"), &TMainForm::N11Click);
  QMenu* n2 = submenu(bar->addMenu(QStringLiteral("Помощь")), "N2");
  addItem(n2, "N4", QStringLiteral("Справка"), &TMainForm::N4Click);
  addItem(n2, "N3", QStringLiteral("О программе"), &TMainForm::N3Click);

  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("MainClient"));
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  ControlBar1 = new QFrame(central);
  ControlBar1->setObjectName(QStringLiteral("ControlBar1"));
  ControlBar1->setFixedHeight(36);
  layout->addWidget(ControlBar1);
  ToolBar3 = new QWidget(ControlBar1);
  ToolBar3->setObjectName(QStringLiteral("ToolBar3"));

  // Left to right: item, hint, picture index of ImageList1.
  struct ButtonSpec {
    const char* name;
    QAction* item;
    QString hint;
    int picture;
  };
  const ButtonSpec buttons[] = {
      {"ToolButton6", n9, QStringLiteral("Расчетные таблицы"), 8},
      {"ToolButton1", n42, QStringLiteral("Моделирование углового разрешения"), 5},
      {"ToolButton2", n6, QStringLiteral("Извлечение и сохранение части изображения"), 1},
      {"ToolButton3", n8, QStringLiteral("Изменение цветового состава изображения"), 0},
      {"ToolButton4", n10, QStringLiteral("Визуализация полей зрения"), 7},
      {"ToolButton5", n11, QStringLiteral("Масштабирование"), 2},
  };
  const QList<QImage> pictures = ToolPictures();
  int left = 0;
  for (const ButtonSpec& entry : buttons) {
    auto* button = new QToolButton(ToolBar3);
    button->setObjectName(QLatin1String(entry.name));
    button->setGeometry(left, 0, kButtonWidth, kButtonHeight);
    button->setIcon(QIcon(QPixmap::fromImage(pictures.at(entry.picture))));
    button->setIconSize(QSize(kToolPictureWidth, kToolPictureHeight));
    button->setToolTip(entry.hint);
    button->setText(entry.item->text());
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setAutoRaise(true);
    // A click on the button chooses its menu item.
    connect(button, &QToolButton::clicked, entry.item, &QAction::trigger);
    toolButtons.append(button);
    left += kButtonWidth;
  }
  ToolBar3->setGeometry(11, 3, left, kButtonHeight);

  Image3 = new PictureView(central);
  Image3->setObjectName(QStringLiteral("Image3"));
  Image3->setSmooth(true);
  Image3->setImage(StartupPicture());
  layout->addWidget(Image3, 1);
  // The band is aligned to the top: with the picture hidden, the rest of the
  // client area stays empty below it instead of centring it.
  layout->addStretch(0);
  setCentralWidget(central);

  XlsOpenDialog = new QFileDialog(this, QString(), startDir_ + QStringLiteral("/Count"),
                                  QStringLiteral("Excel Files (*.xls)"));
  XlsOpenDialog->setObjectName(QStringLiteral("XlsOpenDialog"));
  XlsOpenDialog->setDefaultSuffix(QStringLiteral("xls"));
  XltOpenDialog = new QFileDialog(this, QString(), startDir_ + QStringLiteral("/Count"),
                                  QStringLiteral("Excel Template Files (*.xlt)"));
  XltOpenDialog->setObjectName(QStringLiteral("XltOpenDialog"));
  XltOpenDialog->setDefaultSuffix(QStringLiteral("xlt"));
  for (QFileDialog* dialog : {XlsOpenDialog, XltOpenDialog}) {
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
  }
}

QAction* TMainForm::addItem(QMenu* menu, const char* name, const QString& caption,
                            void (TMainForm::*handler)()) {
  QAction* item = menu->addAction(caption);
  item->setObjectName(QLatin1String(name));
  connect(item, &QAction::triggered, this, handler);
  return item;
}

void TMainForm::CompactMainWindow() {
  if (compacted_) return;
  Image3->hide();
  showNormal();
  compacted_ = true;
  FollowCompactFrame();
}

void TMainForm::FollowCompactFrame() {
  const QMargins previousFrame = FrameMargins(this);
  FitCompactBounds();
  // A window manager frames a normal window otherwise than a maximised (or
  // full screen) one and tells the new frame some time after it has
  // restored the window, without an event of its own: until then the frame
  // known is the old one. The outer bounds are checked for a while and
  // fitted again while they are off.
  auto* check = new QTimer(this);
  check->setInterval(kFitCheckMilliseconds);
  connect(check, &QTimer::timeout, this, [this, check, previousFrame, left = kFitChecks]() mutable {
    const bool fits = frameGeometry() == QRect(kCompactLeft, kCompactTop, kCompactWidth, kCompactHeight);
    if (!fits && windowState() == Qt::WindowNoState) FitCompactBounds();
    // Done once the normal window's own frame is known and fitted.
    if (--left == 0 || (fits && FrameMargins(this) != previousFrame)) check->deleteLater();
  });
  check->start();
}

void TMainForm::FitCompactBounds() {
  // The compact size is the window's outer size, frame, caption and menu
  // included. The strip has a fixed size: a window manager then offers no
  // resizing and no maximising (a double click on the caption maximised it
  // into an empty grey screen, the picture being hidden for good).
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize client(kCompactWidth - frame.width(), kCompactHeight - frame.height());
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  resize(width(), client.height());
  resize(client.width(), client.height());
  setFixedSize(client);
  move(kCompactLeft, kCompactTop);
}

void TMainForm::changeEvent(QEvent* event) {
  // A maximising asked for by other means (the window menu, a key of the
  // window manager) is undone: the strip is never maximised.
  if (event->type() == QEvent::WindowStateChange && compacted_ &&
      (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
    QTimer::singleShot(0, this, [this] {
      if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) return;
      setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
      FollowCompactFrame();
    });
  }
  QMainWindow::changeEvent(event);
}

void TMainForm::openDocument(QFileDialog* dialog) {
  if (dialog->exec() != QDialog::Accepted) return;
  const QString chosen = dialog->selectedFiles().value(0);
  // The dialog starts in this file's folder with its name filled in next
  // time, and leaves the current directory at that folder.
  dialog->selectFile(chosen);
  if (!chosen.isEmpty()) QDir::setCurrent(QFileInfo(chosen).absolutePath());
  CurrentDocumentOpener().Open(this, chosen);
}

void TMainForm::showTask(QWidget* window) {
  CompactMainWindow();
  window->show();
  window->raise();
  window->activateWindow();
}

void TMainForm::N24Click() { close(); }
void TMainForm::N7Click() { openDocument(XltOpenDialog); }
void TMainForm::N9Click() { openDocument(XlsOpenDialog); }
void TMainForm::N42Click() { showTask(InterpolForm); }
void TMainForm::N6Click() { showTask(CutForm); }
void TMainForm::N8Click() { showTask(RGBForm); }
void TMainForm::N10Click() { showTask(FOVForm); }
void TMainForm::N11Click() { showTask(ScaleForm); }

void TMainForm::N4Click() {
  // The name goes to the viewer unchanged; whether the file exists is the viewer's business.
  if (HelpViewer* viewer = CurrentHelpViewer()) viewer->ShowHelp(this, kHelpFileName, kHelpFinder, 0);
}

void TMainForm::N3Click() { SkarvelAboutBox->exec(); }

void TMainForm::closeEvent(QCloseEvent* event) {
  // Closing the main window in any way ends the program without a question,
  // whatever task windows are open.
  event->accept();
  QCoreApplication::quit();
}

TSkarvelAboutBox::TSkarvelAboutBox() : QDialog(nullptr) {
  setObjectName(QStringLiteral("SkarvelAboutBox"));
  setWindowTitle(QStringLiteral("О программе"));
  // A fixed dialog border: a caption with a close box, neither minimise
  // nor maximise.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(319, 193);
  QFont font = this->font();
  font.setPixelSize(14);
  setFont(font);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desktop = screen->geometry();
    move(desktop.x() + (desktop.width() - width()) / 2, desktop.y() + (desktop.height() - height()) / 2);
  }

  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setGeometry(11, 10, 295, 127);
  panel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  auto* icon = new QLabel(panel);
  icon->setObjectName(QStringLiteral("ProgramIcon"));
  icon->setGeometry(10, 10, 80, 70);
  icon->setScaledContents(true);
  icon->setPixmap(QPixmap::fromImage(ProgramIconPicture()));
  auto* product = new QLabel(QStringLiteral("Skarvel"), panel);
  product->setObjectName(QStringLiteral("ProductName"));
  product->move(108, 13);
  auto* version = new QLabel(QStringLiteral("Version 1.0.0"), panel);
  version->setObjectName(QStringLiteral("Version"));
  version->move(108, 58);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("OKButton"));
  ok->setGeometry(110, 151, 92, 30);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace skarvel
