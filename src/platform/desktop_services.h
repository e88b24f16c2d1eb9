#pragma once
// What the program asks of the desktop it runs on: open a document in the
// application the desktop associates with its type, and show a help file.
//
// Both sit behind small interfaces so that the windows can be driven in tests
// with a recording fake; the program installs the desktop's implementations.

#include <QString>

class QWidget;

namespace skarvel {

// Opens a document as the desktop's file manager would (the verb "open").
class DocumentOpener {
 public:
  virtual ~DocumentOpener() = default;
  // The result is not looked at: a document the desktop cannot open is the
  // desktop's business.
  virtual void Open(QWidget* owner, const QString& fileName) = 0;
};

// The desktop's opener (xdg-open through Qt's desktop services).
class DesktopDocumentOpener : public DocumentOpener {
 public:
  void Open(QWidget* owner, const QString& fileName) override;
};

// The help command that shows the help topics window, and its data.
inline constexpr unsigned kHelpFinder = 0x000B;

// Shows a help file. The name is passed as the program holds it (a relative
// name with "\" between folders); the viewer decides where to look for it.
class HelpViewer {
 public:
  virtual ~HelpViewer() = default;
  virtual void ShowHelp(QWidget* owner, const QString& helpFile, unsigned command, unsigned long data) = 0;
};

// Installs the opener or viewer (nullptr restores the desktop's own); returns the previous one.
DocumentOpener* SetDocumentOpener(DocumentOpener* opener);
DocumentOpener& CurrentDocumentOpener();
HelpViewer* SetHelpViewer(HelpViewer* viewer);
// The installed viewer; there is no default (the windowing layer installs one).
HelpViewer* CurrentHelpViewer();

}  // namespace skarvel
