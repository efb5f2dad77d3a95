#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "Version.h"
#include "app/Fonts.h"
#include "app/Form1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vorlet"));
  QApplication::setApplicationVersion(QStringLiteral(VORLET_VERSION_DOTTED));
  // The interval error notice may outlive the main window; the run ends with the last window.
  QApplication::setQuitOnLastWindowClosed(true);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vorlet.svg")));
  vorlet::app::installProgramFonts();

  // Qt's own dialogs and buttons in Japanese, like the rest of the program.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTexts);
  }

  vorlet::app::Form1 window;
  window.show();
  return QApplication::exec();
}
