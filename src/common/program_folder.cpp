#include "common/program_folder.h"

#include "common/platform_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <utility>

namespace converter {

namespace {
QString& OverriddenFolder() {
    static QString folder;
    return folder;
}
std::optional<QStringList>& OfficeFolders() {
    static std::optional<QStringList> folders;
    return folders;
}
}  // namespace

QString ProgramFolder() {
    if (!OverriddenFolder().isEmpty()) {
        return OverriddenFolder();
    }
    const QString executableFolder = QCoreApplication::applicationDirPath();
#ifdef INSTALLED_DATA_FOLDER
    // An installed program keeps its data apart from the executable (bin/ and share/); the
    // folder is found relative to the executable so that any installation prefix works.
    const QString installed =
        QDir::cleanPath(executableFolder + QStringLiteral("/" INSTALLED_DATA_FOLDER));
    if (QFileInfo(installed).isDir()) {
        return installed;
    }
#endif
    return executableFolder;
}

void SetProgramFolder(const QString& folder) {
    QString cleaned = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
    OverriddenFolder() = cleaned;
}

QString ProgramFile(const QString& name) {
    return ProgramFolder() + QLatin1Char('/') + name;
}

QString UserDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/dovi2tarvel");
}

QStringList DictionaryFolders() {
    QStringList folders;
    if (OfficeFolders()) {
        folders = *OfficeFolders();
    } else if (OverriddenFolder().isEmpty()) {
        folders = QStringList{platform::MachineWideFolder(), UserDataFolder()};
    }
    folders.removeAll(QString());
    folders.append(ProgramFolder());
    return folders;
}

void SetOfficeFolders(std::optional<QStringList> folders) {
    OfficeFolders() = std::move(folders);
}

QString WritableProgramFolder(const QString& name) {
    const QFileInfo beside(ProgramFile(name));
    if (platform::FolderTakesFiles(beside.isDir() ? beside.filePath() : ProgramFolder())) {
        return beside.filePath();
    }
    return UserDataFolder() + QLatin1Char('/') + name;
}

}  // namespace converter
