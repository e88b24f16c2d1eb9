#include "platform/desktop_services.h"

#include <QDesktopServices>
#include <QUrl>

namespace skarvel {
namespace {

DesktopDocumentOpener g_desktopOpener;
DocumentOpener* g_opener = nullptr;
HelpViewer* g_helpViewer = nullptr;

}  // namespace

void DesktopDocumentOpener::Open(QWidget*, const QString& fileName) {
  // An empty name opens nothing; the desktop reports a missing file itself.
  if (fileName.isEmpty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(fileName));
}

DocumentOpener* SetDocumentOpener(DocumentOpener* opener) {
  DocumentOpener* previous = g_opener;
  g_opener = opener;
  return previous;
}

DocumentOpener& CurrentDocumentOpener() { return g_opener != nullptr ? *g_opener : g_desktopOpener; }

HelpViewer* SetHelpViewer(HelpViewer* viewer) {
  HelpViewer* previous = g_helpViewer;
  g_helpViewer = viewer;
  return previous;
}

HelpViewer* CurrentHelpViewer() { return g_helpViewer; }

}  // namespace skarvel
