// The main window, start-up, the about box, the error report and the help
// viewer, driven as a person drives them.

#include "app/create_windows.h"
#include "app/main_form.h"
#include "app/startup_picture.h"
#include "fov/fov_form.h"
#include "platform/error.h"
#include "platform/jpeg.h"
#include "scaling/scale_form.h"
#include "shell/application.h"
#include "shell/help_viewer.h"
#include "support/widget_test_support.h"

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

using testing::Find;
using testing::ModalWatcher;
using testing::ProgramWindows;
using testing::TempDir;

QStringList Names(const QList<QWidget*>& widgets) {
  QStringList names;
  for (const QWidget* w : widgets) names.append(w->objectName());
  return names;
}

// A start-up folder with the calculation tables in Count/.
class StartFolder : public TempDir {
 public:
  StartFolder() {
    QDir(path()).mkdir("Count");
    write("Count/parameters.xls", "table");
    write("Count/template.xlt", "template");
  }
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : windows_(dir_.path()) { MainForm->showMaximized(); }
  StartFolder dir_;
  ProgramWindows windows_;
};

TEST_F(MainWindowTest, WindowsAreCreatedOnceInOrderAndAllButTheMainWindowStartHidden) {
  const QStringList created = Names(CreatedWindows());
  const QStringList order = {"MainForm",  "RGBForm",      "FOVForm", "MessForm",
                             "ScaleForm", "InterpolForm", "CutForm", "SkarvelAboutBox"};
  EXPECT_EQ(created, order);
  EXPECT_EQ(created.size(), 8);
  for (QWidget* window : CreatedWindows())
    EXPECT_EQ(window->isVisible(), window == static_cast<QWidget*>(MainForm))
        << window->objectName().toStdString();
  EXPECT_EQ(MainForm->windowTitle(), "Skarvel");
  EXPECT_EQ(QApplication::applicationName(), "Skarvel");
  EXPECT_EQ(MainForm->StartDir(), QDir(dir_.path()).absolutePath());
}

TEST_F(MainWindowTest, MenuTreeHasItsCaptionsUnderTheirParents) {
  const std::pair<const char*, const char*> items[] = {
      {"N24", "Выход"},
      {"N7", "Шаблон"},
      {"N9", "Расчетные таблицы"},
      {"N42", "Моделирование углового разрешения"},
      {"N6", "Извлечение и сохранение части изображения"},
      {"N8", "Изменение цветового состава изображения"},
      {"N10", "Визуализация полей зрения съемочной аппаратуры"},
      {"N11", "Масштабирование"},
      {"N4", "Справка"},
      {"N3", "О программе"}};
  for (const auto& [name, caption] : items) {
    auto* item = Find<QAction>(MainForm, name);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QString::fromUtf8(caption));
    EXPECT_TRUE(item->icon().isNull()) << "the menu shows no pictures: " << name;
  }
  QMenuBar* bar = MainForm->menuBar();
  EXPECT_EQ(bar->objectName(), "MainMenu1");
  QStringList top;
  for (QAction* a : bar->actions()) top.append(a->text());
  EXPECT_EQ(top, QStringList({"Файл", "Задачи", "Помощь"}));
  auto* tasks = Find<QMenu>(MainForm, "N38");
  QStringList underTasks;
  for (QAction* a : tasks->actions()) underTasks.append(a->objectName());
  EXPECT_EQ(underTasks, QStringList({"N5", "N42", "N6", "N8", "N10", "N11"}));
  auto* n5 = Find<QMenu>(MainForm, "N5");
  EXPECT_EQ(n5->title(), "Расчет параметров трансформации изображений");
}

TEST_F(MainWindowTest, ToolButtonsStandInTheirOrderWithTheirHints) {
  const std::tuple<const char*, int, const char*> expected[] = {
      {"ToolButton6", 0, "Расчетные таблицы"},
      {"ToolButton1", 35, "Моделирование углового разрешения"},
      {"ToolButton2", 70, "Извлечение и сохранение части изображения"},
      {"ToolButton3", 105, "Изменение цветового состава изображения"},
      {"ToolButton4", 140, "Визуализация полей зрения"},
      {"ToolButton5", 175, "Масштабирование"}};
  for (const auto& [name, left, hint] : expected) {
    auto* button = Find<QToolButton>(MainForm, name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->geometry(), QRect(left, 0, 35, 30)) << name;
    EXPECT_EQ(button->toolTip(), QString::fromUtf8(hint));
    EXPECT_EQ(button->iconSize(), QSize(22, 24));
    EXPECT_FALSE(button->icon().isNull());
  }
  EXPECT_EQ(Find<QWidget>(MainForm, "ControlBar1")->height(), 36);
}

TEST_F(MainWindowTest, FirstTaskCompactsTheMainWindowOnceAndForAll) {
  // As on a desktop: the maximised window is on the screen, framed by the
  // window manager as a maximised window, when the user picks a task.
  ASSERT_TRUE(QTest::qWaitForWindowExposed(MainForm));
  QTest::qWait(300);
  ModalWatcher watcher;
  EXPECT_TRUE(MainForm->isMaximized());
  // "Расчетные таблицы" before any task leaves the window as it was.
  MainForm->N9Click();
  EXPECT_EQ(watcher.fileDialogs, QStringList({"XlsOpenDialog"}));
  EXPECT_TRUE(MainForm->isMaximized());
  EXPECT_TRUE(MainForm->Image3->isVisible());

  QTest::mouseClick(Find<QToolButton>(MainForm, "ToolButton4"), Qt::LeftButton);
  EXPECT_TRUE(FOVForm->isVisible());
  EXPECT_FALSE(MainForm->isMaximized());
  EXPECT_FALSE(MainForm->Image3->isVisible());
  // Under a window manager the frame of the restored window is told later
  // (and until then Qt reports the maximised window's frame).
  const QRect compact(30, 30, 375, 115);
  QTest::qWait(1000);
  (void)QTest::qWaitFor([&] { return MainForm->frameGeometry() == compact; }, 3000);
  EXPECT_EQ(MainForm->frameGeometry(), compact);
  EXPECT_EQ(MainForm->minimumSize(), MainForm->size());
  // The tool bar band sits right under the menu, not in the middle of the strip.
  auto* band = Find<QWidget>(MainForm, "ControlBar1");
  EXPECT_EQ(band->mapTo(MainForm, QPoint(0, 0)).y(), MainForm->menuBar()->geometry().bottom() + 1);
  EXPECT_EQ(Find<QWidget>(MainForm, "ToolButton6")->mapTo(band, QPoint(0, 0)), QPoint(11, 3));

  // Once compact, the strip keeps its size: it has a fixed size.
  QTest::qWait(2100);
  EXPECT_EQ(MainForm->minimumSize(), MainForm->maximumSize());
  MainForm->resize(600, 300);
  QTest::qWait(100);
  MainForm->N11Click();
  QTest::qWait(100);
  EXPECT_EQ(MainForm->frameGeometry(), compact);
  EXPECT_TRUE(ScaleForm->isVisible());
  EXPECT_TRUE(FOVForm->isVisible()) << "a second task opens beside the first";
}

// The window manager's view of the strip: the actions it offers on the
// window (a double click on the caption maximises only where maximising is
// offered). Empty without a window manager.
QStringList AllowedActions(const QWidget* window) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return {};
  QProcess xprop;
  xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window->winId()),
                                        QStringLiteral("_NET_WM_ALLOWED_ACTIONS")});
  if (!xprop.waitForFinished(5000)) return {};
  const QString out = QString::fromLatin1(xprop.readAllStandardOutput());
  if (!out.contains(u'=')) return {};
  QStringList actions = out.section(u'=', 1).split(u',', Qt::SkipEmptyParts);
  for (QString& action : actions) action = action.trimmed();
  return actions;
}

TEST_F(MainWindowTest, TheCompactStripIsNeverMaximised) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(MainForm));
  MainForm->N8Click();
  const QRect compact(30, 30, 375, 115);
  (void)QTest::qWaitFor([&] { return MainForm->frameGeometry() == compact; }, 3000);
  QTest::qWait(2100);
  ASSERT_EQ(MainForm->frameGeometry(), compact);
  const QStringList actions = AllowedActions(MainForm);
  if (!actions.isEmpty()) {
    // Under a window manager: neither maximising nor resizing is offered.
    EXPECT_TRUE(actions.contains("_NET_WM_ACTION_CLOSE")) << actions.join(" ").toStdString();
    for (const char* refused :
         {"_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT", "_NET_WM_ACTION_RESIZE"})
      EXPECT_FALSE(actions.contains(QLatin1String(refused))) << refused;
  }
  // Maximising or full screen asked for all the same (as a key of the
  // window manager would) leaves the strip where and as it is.
  for (const bool full : {false, true, false}) {
    SCOPED_TRACE(full ? "full screen" : "maximised");
    if (full) {
      MainForm->showFullScreen();
    } else {
      MainForm->showMaximized();
    }
    QTest::qWait(500);
    (void)QTest::qWaitFor([&] { return MainForm->frameGeometry() == compact; }, 3000);
    EXPECT_FALSE(MainForm->isMaximized());
    EXPECT_FALSE(MainForm->isFullScreen());
    EXPECT_EQ(MainForm->frameGeometry(), compact);
    auto* band = Find<QWidget>(MainForm, "ControlBar1");
    EXPECT_EQ(band->mapTo(MainForm, QPoint(0, 0)).y(), MainForm->menuBar()->geometry().bottom() + 1);
    EXPECT_FALSE(MainForm->Image3->isVisible()) << "the picture stays hidden";
  }
}

TEST_F(MainWindowTest, ATaskCommandTwiceBringsTheSameWindowBackUnchanged) {
  MainForm->N10Click();
  FOVForm->N2001Click();
  FOVForm->hide();
  TFOVForm* first = FOVForm;
  MainForm->N10Click();
  EXPECT_EQ(FOVForm, first);
  EXPECT_TRUE(FOVForm->isVisible());
  EXPECT_EQ(FOVForm->CheckedZoom(), 200);
  EXPECT_EQ(FOVForm->Image1->size(), QSize(2048, 2048));
}

TEST_F(MainWindowTest, CalculationTablesGoToTheDesktopAndTheDialogRemembersTheFile) {
  const QString table = dir_.file("Count/parameters.xls");
  testing::RecordingOpener opener;
  ModalWatcher watcher;
  EXPECT_EQ(QDir(MainForm->XlsOpenDialog->directory()).absolutePath(),
            QDir(dir_.file("Count")).absolutePath());
  EXPECT_EQ(MainForm->XlsOpenDialog->nameFilters(), QStringList({"Excel Files (*.xls)"}));
  EXPECT_EQ(MainForm->XltOpenDialog->nameFilters(), QStringList({"Excel Template Files (*.xlt)"}));

  watcher.answerFileDialog(table);
  MainForm->N9Click();
  ASSERT_EQ(opener.opened.size(), 1);
  EXPECT_EQ(QFileInfo(opener.opened[0]).canonicalFilePath(), QFileInfo(table).canonicalFilePath());
  EXPECT_EQ(QDir::current().canonicalPath(), QDir(dir_.file("Count")).canonicalPath());
  EXPECT_EQ(QFileInfo(MainForm->XlsOpenDialog->selectedFiles().value(0)).fileName(), "parameters.xls");

  // A cancelled dialog does nothing.
  MainForm->N7Click();
  EXPECT_EQ(opener.opened.size(), 1);
  EXPECT_EQ(watcher.fileDialogs, QStringList({"XlsOpenDialog", "XltOpenDialog"}));
}

TEST_F(MainWindowTest, HelpGoesToTheViewerUnchanged) {
  testing::RecordingHelpViewer viewer;
  Find<QAction>(MainForm, "N4")->trigger();
  EXPECT_EQ(viewer.requests, QStringList({"SkarvelHelp\\Skarvel_01.HLP 11 0"}));
  EXPECT_TRUE(MainForm->isMaximized()) << "help does not compact the window";
}

TEST_F(MainWindowTest, AboutBoxIsLaidOutAndClosesWithOk) {
  ModalWatcher watcher;
  QStringList seen;
  watcher.onOtherModal = [&](QWidget* modal) {
    seen.append(modal->objectName());
    EXPECT_EQ(modal->windowTitle(), "О программе");
    EXPECT_EQ(modal->size(), QSize(319, 193));
    EXPECT_EQ(Find<QLabel>(modal, "ProductName")->text(), "Skarvel");
    EXPECT_EQ(Find<QLabel>(modal, "Version")->text(), "Version 1.0.0");
    EXPECT_EQ(Find<QLabel>(modal, "Version")->pos(), QPoint(108, 58));
    EXPECT_EQ(Find<QWidget>(modal, "Panel1")->geometry(), QRect(11, 10, 295, 127));
    // A fixed dialog border: a close box, no minimise or maximise.
    const Qt::WindowFlags flags = modal->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    // The panel's bevels: a lowered outer edge (dark above, light below) and
    // a raised inner one (light above, dark below).
    const QImage panel = Find<QWidget>(modal, "Panel1")->grab().toImage();
    const auto lightness = [&](int x, int y) { return QColor(panel.pixel(x, y)).lightness(); };
    const int face = lightness(150, 100);
    EXPECT_LT(lightness(150, 0), face) << "outer top";
    EXPECT_GT(lightness(150, 1), face) << "inner top";
    EXPECT_LT(lightness(150, 125), face) << "inner bottom";
    EXPECT_GT(lightness(150, 126), face) << "outer bottom";
    auto* ok = Find<QPushButton>(modal, "OKButton");
    EXPECT_EQ(ok->geometry(), QRect(110, 151, 92, 30));
    ok->click();
  };
  MainForm->N3Click();
  EXPECT_EQ(seen, QStringList({"SkarvelAboutBox"}));
  EXPECT_TRUE(MainForm->isMaximized());
}

TEST(ErrorReportTest, AnErrorEndsItsEventInTheReportAndTheProgramGoesOn) {
  ModalWatcher watcher;
  QPushButton button;
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&] {
    ++clicks;
    if (clicks == 1) throw Error("Bitmap image is not valid");
    if (clicks == 2) throw Error("Cannot open file ");
    throw std::runtime_error("Ошибка.");
  });
  button.show();
  for (int i = 0; i < 3; ++i) QTest::mouseClick(&button, Qt::LeftButton);
  ASSERT_EQ(watcher.boxes.size(), 3u);
  EXPECT_EQ(watcher.boxes[0].caption, "Skarvel");
  EXPECT_EQ(watcher.boxes[0].text, "Bitmap image is not valid.");
  EXPECT_EQ(watcher.boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(watcher.boxes[1].text, "Cannot open file ") << "a blank sorts before the full stop";
  EXPECT_EQ(watcher.boxes[2].text, "Ошибка.");
  EXPECT_EQ(clicks, 3);
}

TEST(ErrorReportTest, FullStopRule) {
  EXPECT_EQ(ErrorReportText("abc"), "abc.");
  EXPECT_EQ(ErrorReportText("(1)"), "(1)") << "')' sorts before '.'";
  EXPECT_EQ(ErrorReportText("value 7"), "value 7.");
  EXPECT_EQ(ErrorReportText("Готово!"), "Готово!");
  EXPECT_EQ(ErrorReportText("файл"), "файл.");
  EXPECT_EQ(ErrorReportText(""), "");
}

TEST(ReaderBoxTest, ReadersShowAModalBoxWithOneOkAndTheirCaption) {
  ModalWatcher watcher;
  MessageBoxA(QStringLiteral("Ошибка чтения cam-файла!"), kReaderErrorCaption);
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].caption, "Ошибка!");
  EXPECT_EQ(watcher.boxes[0].text, "Ошибка чтения cam-файла!");
  EXPECT_EQ(watcher.boxes[0].buttons, 1);
}

TEST(StartupPictureTest, IsAProgressiveThreeComponentJpegOfItsSize) {
  JpegInfo info;
  const QImage picture = DecodeJpeg(StartupPictureData(), &info);
  EXPECT_EQ(picture.size(), QSize(640, 452));
  EXPECT_EQ(info.components, 3);
  EXPECT_TRUE(info.progressive);
  // Terrain, not a flat fill: the picture holds many colours.
  QSet<QRgb> colours;
  for (int y = 0; y < picture.height(); y += 7)
    for (int x = 0; x < picture.width(); x += 7) colours.insert(picture.pixel(x, y));
  EXPECT_GT(colours.size(), 500);
  EXPECT_EQ(testing::ErrorOf([] { DecodeJpeg("not a jpeg"); }).left(5), "JPEG:");
}

TEST(HelpViewerTest, FindsTheManualBesideTheNameInTheCurrentFolderOrSaysItIsMissing) {
  TempDir dir;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());
  HelpWindow window;
  window.showHelpFile(kHelpFileName);
  EXPECT_TRUE(window.shownFile().isEmpty());
  EXPECT_TRUE(window.browser()->toPlainText().contains("Справка не найдена"));

  QDir(dir.path()).mkdir("SkarvelHelp");
  dir.write("SkarvelHelp/Skarvel_01.html", "<html><body><h1>Руководство</h1></body></html>");
  window.showHelpFile(kHelpFileName);
  EXPECT_EQ(QFileInfo(window.shownFile()).canonicalFilePath(),
            QFileInfo(dir.file("SkarvelHelp/Skarvel_01.html")).canonicalFilePath());
  EXPECT_TRUE(window.browser()->toPlainText().contains("Руководство"));
  QDir::setCurrent(previous);
}

}  // namespace
}  // namespace skarvel
