#include "shell/application.h"

#include "platform/error.h"

#include "shell/artwork.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include <exception>
#include <new>

namespace skarvel {
namespace {

GuiMessageSink g_guiSink;

}  // namespace

SkarvelApplication::SkarvelApplication(int& argc, char** argv)
    : QApplication(argc, argv), previousSink_(SetMessageSink(&g_guiSink)) {
  setApplicationName(kApplicationTitle);
  setApplicationVersion(QStringLiteral("1.0.0"));
  // The windows' font: a sans serif at 13 pixels, whatever the desktop's setting.
  QFont font(QStringLiteral("Liberation Sans"));
  font.setFamilies(
      {QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  font.setPixelSize(13);
  setFont(font);
  setWindowIcon(QIcon(QPixmap::fromImage(ProgramIconPicture())));
  // Qt's own dialogs, buttons and edit menus speak the user's language, as
  // the rest of the program speaks Russian.
  auto* translator = new QTranslator(this);
  if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    installTranslator(translator);
}

SkarvelApplication::~SkarvelApplication() { SetMessageSink(previousSink_); }

bool SkarvelApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const Error& e) {
    ShowErrorReport(e.message());
  } catch (const std::bad_alloc&) {
    ShowErrorReport(QStringLiteral("Недостаточно памяти для выполнения операции"));
  } catch (const std::exception& e) {
    ShowErrorReport(QString::fromLocal8Bit(e.what()));
  }
  return false;
}

DesktopServices::DesktopServices()
    : previousOpener_(SetDocumentOpener(&opener_)), previousViewer_(SetHelpViewer(&helpViewer_)) {}

DesktopServices::~DesktopServices() {
  SetDocumentOpener(previousOpener_);
  SetHelpViewer(previousViewer_);
}

void ShowErrorReport(const QString& message) {
  QMessageBox box(QMessageBox::Critical, kApplicationTitle, ErrorReportText(message), QMessageBox::Ok);
  box.setObjectName(QStringLiteral("ErrorReport"));
  box.exec();
}

void GuiMessageSink::Show(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
  box.setObjectName(QStringLiteral("ReaderMessage"));
  box.exec();
}

}  // namespace skarvel
