#pragma once

class QCoreApplication;
class QTranslator;

namespace vorlet::app {

// Loads Qt's own Japanese texts (file dialogs, standard buttons, their messages) into
// `translator` and installs it. False when the translation is not installed; Qt's dialogs then
// speak English.
bool installQtTranslations(QTranslator& translator);

}  // namespace vorlet::app
