#pragma once
// The help viewer of the windows. The program names its help file
// "SkarvelHelp\Skarvel_01.HLP", relative to the current directory; the
// manual itself is HTML. The viewer turns "\" into "/" and looks for the
// manual of that name with the extension ".html", first beside that name in
// the current directory, then among the files installed with the program,
// and shows it in a help window. When neither exists the window says so.

#include "platform/desktop_services.h"

#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <QWidget>

namespace skarvel {

// The places the viewer looks for a help file, in order.
QStringList HelpFileCandidates(const QString& helpFile);

class HelpWindow : public QWidget {
  Q_OBJECT
 public:
  HelpWindow();
  // Shows the first candidate that exists, or says that none does.
  void showHelpFile(const QString& helpFile);
  QTextBrowser* browser() const { return browser_; }
  // The file shown, empty when none was found.
  QString shownFile() const { return shownFile_; }

 private:
  QTextBrowser* browser_;
  QString shownFile_;
};

class QtHelpViewer : public HelpViewer {
 public:
  ~QtHelpViewer() override;
  void ShowHelp(QWidget* owner, const QString& helpFile, unsigned command, unsigned long data) override;
  HelpWindow* window() const { return window_; }

 private:
  HelpWindow* window_ = nullptr;
};

}  // namespace skarvel
