#pragma once
// The main window: the menu, the tool bar and the start-up picture. At start
// it fills the screen with the picture; the first task command shrinks it to
// a strip of menu and tool bar in the top left corner, once and for all.

#include "shell/picture_view.h"

#include <QDialog>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenu>
#include <QToolButton>

namespace skarvel {

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  TMainForm();

  // The compact size: 375 x 115 outer pixels at (30, 30), the picture
  // hidden; from then on the window has a fixed size and is never maximised.
  void CompactMainWindow();
  bool Compacted() const { return compacted_; }
  QString StartDir() const { return startDir_; }

  void N24Click();  // "Выход"
  void N7Click();   // "Шаблон"
  void N9Click();   // "Расчетные таблицы"
  void N42Click();  // angular-resolution modelling
  void N6Click();   // fragment extraction
  void N8Click();   // colour composition
  void N10Click();  // field of view
  void N11Click();  // scaling
  void N4Click();   // "Справка"
  void N3Click();   // "О программе"

  QWidget* ControlBar1;
  QWidget* ToolBar3;
  QList<QToolButton*> toolButtons;  // ToolButton1 ... ToolButton6
  PictureView* Image3;
  QFileDialog* XlsOpenDialog;
  QFileDialog* XltOpenDialog;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QAction* addItem(QMenu* menu, const char* name, const QString& caption, void (TMainForm::*handler)());
  void openDocument(QFileDialog* dialog);
  void showTask(QWidget* window);
  void FitCompactBounds();
  // Fits the compact bounds now and again while a window manager tells the
  // restored window's frame.
  void FollowCompactFrame();

  bool compacted_ = false;
  QString startDir_;
};

// The name of the help file as the main window passes it to the help viewer.
inline const QString kHelpFileName = QStringLiteral("SkarvelHelp\\Skarvel_01.HLP");

class TSkarvelAboutBox : public QDialog {
  Q_OBJECT
 public:
  TSkarvelAboutBox();
};

}  // namespace skarvel
