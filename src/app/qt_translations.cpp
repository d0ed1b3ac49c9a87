#include "app/qt_translations.h"

#include "common/qt_compat.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace converter {

QString QtTranslationFile() {
    return QtLibraryPath(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ru.qm");
}

bool InstallQtTranslations(QCoreApplication& application) {
    // The window is Russian whatever the system's locale says.
    auto* translator = new QTranslator(&application);
    if (!translator->load(QtTranslationFile()) || !application.installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

}  // namespace converter
