#pragma once
// The application object: its title and its error report.
//
// The error report is the one place where errors that no handler catches
// end: an event handler that raises skarvel::Error (or any std::exception)
// ends there, the report shows the message in a modal box captioned with the
// application title, and the program goes on with the next event.

#include "platform/messages.h"
#include "shell/help_viewer.h"

#include <QApplication>
#include <QString>

namespace skarvel {

inline const QString kApplicationTitle = QStringLiteral("Skarvel");

class SkarvelApplication : public QApplication {
  Q_OBJECT
 public:
  SkarvelApplication(int& argc, char** argv);
  ~SkarvelApplication() override;

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  MessageSink* previousSink_;
};

// The desktop's document opener and help viewer, installed for the
// lifetime of the object (the program's; tests install fakes instead).
class DesktopServices {
 public:
  DesktopServices();
  ~DesktopServices();
  DesktopServices(const DesktopServices&) = delete;
  DesktopServices& operator=(const DesktopServices&) = delete;
  QtHelpViewer& helpViewer() { return helpViewer_; }

 private:
  DesktopDocumentOpener opener_;
  QtHelpViewer helpViewer_;
  DocumentOpener* previousOpener_;
  HelpViewer* previousViewer_;
};

// The error report: a modal box with the error icon, caption "Skarvel" and
// the message with its full stop (ErrorReportText).
void ShowErrorReport(const QString& message);

// The readers' box in the windows: modal, without owner, one OK button,
// caption given (the readers' "Ошибка!").
class GuiMessageSink : public MessageSink {
 public:
  void Show(const QString& caption, const QString& text) override;
};

}  // namespace skarvel
