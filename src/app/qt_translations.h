#pragma once

#include <QString>

class QCoreApplication;

namespace converter {

// Qt's own Russian texts, so that its file dialogs, question buttons and context menus speak the
// window's language. The file comes with the system's Qt translations package.
QString QtTranslationFile();

// Installs the Russian texts of Qt into `application`. False when the file is missing or cannot
// be loaded: the window then works on with Qt's English texts.
bool InstallQtTranslations(QCoreApplication& application);

}  // namespace converter
