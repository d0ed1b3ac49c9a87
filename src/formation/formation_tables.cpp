#include "formation/formation_tables.h"

#include "common/failure.h"
#include "common/utilities.h"
#include "storage/database.h"

namespace converter {

namespace {

bool EndsWithSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'));
}

QString JoinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty() || EndsWithSeparator(folder)) {
        return folder + name;
    }
    return folder + QLatin1Char('/') + name;
}

// Both statements on the table file's own connection, one after the other. The table (and its
// primary index) is named after the file.
bool CreateTable(Ui& ui, const QString& path, const QString& columns, const QString& indexTail,
                 const QString& failureText) {
    try {
        const QString connection = BuildConnectionString(kParadoxFolder, path);
        const QString table = SplitPath(path, kPathBaseName);
        ExecuteStatement(connection, QStringLiteral("CREATE TABLE ") + QStringLiteral("[") + table +
                                         QStringLiteral("] ") + columns);
        ExecuteStatement(connection, QStringLiteral("CREATE INDEX ") + QStringLiteral("[") + table +
                                         QStringLiteral("]") + QStringLiteral(" ON [") + table +
                                         indexTail);
        return true;
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure(), failureText);
        return false;
    }
}

}  // namespace

QString SptabPath(const QString& targetFolder) {
    return JoinPath(targetFolder, QStringLiteral("sptab.db"));
}

QString SpfieldPath(const QString& targetFolder) {
    return JoinPath(targetFolder, QStringLiteral("spfield.db"));
}

bool CreateSptabTable(Ui& ui, const QString& targetFolder) {
    return CreateTable(
        ui, SptabPath(targetFolder),
        QStringLiteral(
            "([SpNum] INTEGER, [Code] INTEGER, [ShortName] CHAR (10) , [NAME] CHAR (55))"),
        QStringLiteral("] ([SpNum], [Code]) WITH PRIMARY"),
        QStringLiteral("Ошибка при создании файла SPTAB.DB"));
}

bool CreateSpfieldTable(Ui& ui, const QString& targetFolder) {
    return CreateTable(ui, SpfieldPath(targetFolder),
                       QStringLiteral("([FieldName] CHAR (20), [Text] CHAR (40), [EdIzm] CHAR "
                                      "(10), [SpNum] INTEGER, [ShortText] CHAR (25))"),
                       QStringLiteral("] ([FieldName]) WITH PRIMARY"),
                       QStringLiteral("Ошибка при создании файла SPFIELD.DB"));
}

}  // namespace converter
