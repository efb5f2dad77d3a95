#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QStringList>
#include <QTranslator>

#include "Version.h"
#include "app/Fonts.h"
#include "app/Form1.h"
#include "app/Translations.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vorlet"));
  QApplication::setOrganizationName(QStringLiteral("Vorlet"));
  QApplication::setApplicationVersion(QStringLiteral(VORLET_VERSION_DOTTED));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vorlet.svg")));
  vorlet::app::installProgramFonts();
  // Qt's own dialogs and buttons in Japanese, like the rest of the program.
  QTranslator qtTexts;
  vorlet::app::installQtTranslations(qtTexts);

  vorlet::app::Form1 window;
  window.show();
  // `vorlet FILE` opens FILE, through the open command's checks and messages.
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) window.openFile(QFileInfo(arguments.at(1)).absoluteFilePath());
  return QApplication::exec();
}
