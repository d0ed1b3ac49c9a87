#include "common/program_folder.h"

#include <QCoreApplication>
#include <QDir>

namespace converter {

namespace {
QString& OverriddenFolder() {
    static QString folder;
    return folder;
}
}  // namespace

QString ProgramFolder() {
    if (!OverriddenFolder().isEmpty()) {
        return OverriddenFolder();
    }
    return QCoreApplication::applicationDirPath();
}

void SetProgramFolder(const QString& folder) {
    QString cleaned = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
    OverriddenFolder() = cleaned;
}

QString ProgramFile(const QString& name) { return ProgramFolder() + QLatin1Char('/') + name; }

}  // namespace converter
