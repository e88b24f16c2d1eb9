#include "shell/help_viewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QVBoxLayout>

namespace skarvel {

QStringList HelpFileCandidates(const QString& helpFile) {
  QString name = QString(helpFile).replace(u'\\', u'/');
  const QFileInfo info(name);
  const QString html = info.completeSuffix().isEmpty()
                           ? name + QStringLiteral(".html")
                           : name.left(name.size() - info.suffix().size()) + QStringLiteral("html");
  const QString program = QCoreApplication::applicationDirPath();
  return {QDir::current().absoluteFilePath(html), QDir(program).absoluteFilePath(html),
          QDir::cleanPath(program + QStringLiteral("/../share/skarvel/") + html)};
}

HelpWindow::HelpWindow() : QWidget(nullptr, Qt::Window), browser_(new QTextBrowser(this)) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Справка"));
  resize(820, 700);
  browser_->setObjectName(QStringLiteral("HelpBrowser"));
  browser_->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
}

void HelpWindow::showHelpFile(const QString& helpFile) {
  const QStringList candidates = HelpFileCandidates(helpFile);
  shownFile_.clear();
  for (const QString& candidate : candidates) {
    if (QFileInfo(candidate).isFile()) {
      shownFile_ = candidate;
      break;
    }
  }
  if (!shownFile_.isEmpty()) {
    browser_->setSource(QUrl::fromLocalFile(shownFile_));
    return;
  }
  QString text = QStringLiteral("<h3>Справка не найдена</h3><p>Файл справки «%1» не найден. Искали:</p><ul>")
                     .arg(helpFile.toHtmlEscaped());
  for (const QString& candidate : candidates)
    text += QStringLiteral("<li>%1</li>").arg(candidate.toHtmlEscaped());
  browser_->setHtml(text + QStringLiteral("</ul>"));
}

QtHelpViewer::~QtHelpViewer() { delete window_; }

void QtHelpViewer::ShowHelp(QWidget*, const QString& helpFile, unsigned, unsigned long) {
  // The help topics command: the manual from its beginning.
  if (window_ == nullptr) window_ = new HelpWindow;
  window_->showHelpFile(helpFile);
  window_->show();
  window_->raise();
  window_->activateWindow();
}

}  // namespace skarvel
