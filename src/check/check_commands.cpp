#include "check/check_commands.h"

#include "check/reference_check.h"
#include "common/failure.h"
#include "common/safe_write.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "reference/reference_tables.h"

#include <QFileInfo>

namespace converter {

namespace {

const QString kOpenFailedText = QStringLiteral("Ошибка при открытии файла");

// The elements table file beside a main table, found regardless of letter case (a database
// copied from Windows may spell it "LESСОСТ.DB"); the expected path when there is none.
QString FindElementsTableFile(const QString& databasePath) {
    const QString expected =
        SplitPath(databasePath, kPathFolderAndBaseName) + QStringLiteral("Сост.db");
    const QString found = FindFileIgnoringCase(expected);
    return found.isEmpty() ? expected : found;
}

}  // namespace

std::optional<QString> ChooseCheckDatabase(Ui& ui) {
    try {
        const QString path = ShowOpenDialog(ui, GetFileFilter(kTarvelDatabaseFile));
        if (path.isEmpty()) {
            return std::nullopt;
        }
        FolderRecovery recovery;
        if (!recovery.recover(ui, QFileInfo(path).absolutePath(), {StagingKey(path)})) {
            return std::nullopt;
        }
        if (!QFileInfo(path).isFile()) {
            ui.showMessage(QStringLiteral("Файл не существует: \r") + path, QString(),
                           MessageIcon::Warning);
            return std::nullopt;
        }
        const QString elementsPath = FindElementsTableFile(path);
        if (!QFileInfo(elementsPath).isFile()) {
            ui.showMessage(QStringLiteral("Не найден файл по элементам леса:\r") + elementsPath,
                           QStringLiteral("Ошибка"), MessageIcon::Warning);
            return std::nullopt;
        }
        return path;
    } catch (...) {
        ui.showMessage(kOpenFailedText, QString(), MessageIcon::Warning);
        return std::nullopt;
    }
}

std::optional<QString> ChooseCheckReferenceFolder(Ui& ui) {
    try {
        const QString path = ShowOpenDialog(ui, GetFileFilter(kTarvelDatabaseFile));
        if (path.isEmpty()) {
            return std::nullopt;
        }
        const QString folder = SplitPath(path, kPathFolder);
        FolderRecovery recovery;
        if (!recovery.recover(ui, folder, {QString::fromLatin1(kReferenceTablesKey)})) {
            return std::nullopt;
        }
        if (CheckSpfieldTable(ui, folder) && CheckSptabTable(ui, folder)) {
            return folder;
        }
        return std::nullopt;
    } catch (...) {
        ui.showMessage(kOpenFailedText, QString(), MessageIcon::Warning);
        return std::nullopt;
    }
}

CheckCommandOutcome RunReferenceCheck(Ui& ui, const QString& databasePath,
                                      const QString& referenceFolder) {
    CheckCommandOutcome outcome;
    if (databasePath.isEmpty()) {
        ui.showMessage(QStringLiteral("Выберите базу данных"), QString(), MessageIcon::None);
        return outcome;
    }
    if (referenceFolder.isEmpty()) {
        ui.showMessage(QStringLiteral("Выберите файлы справочника"), QString(),
                       MessageIcon::Warning);
        return outcome;
    }
    {
        // A killed run's leftovers are completed or dropped before the check looks at anything.
        FolderRecovery database;
        FolderRecovery reference;
        if (!database.recover(ui, QFileInfo(databasePath).absolutePath(),
                              {StagingKey(databasePath)}) ||
            !reference.recover(ui, referenceFolder, {QString::fromLatin1(kReferenceTablesKey)})) {
            return outcome;
        }
    }
    if (!QFileInfo(databasePath).isFile()) {
        ui.showMessage(QStringLiteral("Не найдена база данных"), QString(), MessageIcon::None);
        return outcome;
    }

    bool failed = false;
    ui.setStatusVisible(StatusLabel::Check, true);
    ui.setBusy(true);
    try {
        const int startTime = StartOperationClock();
        QString reportText;
        bool deficiencies = false;
        if (CheckTarvelDatabase(ui, databasePath, referenceFolder, reportText, deficiencies)) {
            outcome.completed = true;
            outcome.deficiencies = deficiencies;
            ui.showMessage(QStringLiteral("Файл: ") + databasePath + QLatin1Char('\r') +
                               (reportText.isEmpty() ? QString() : reportText + QLatin1Char('\r')) +
                               FormatElapsedTime(ElapsedSeconds(startTime)),
                           deficiencies ? QStringLiteral("Обнаружены недостатки справочника")
                                        : QStringLiteral("Проверка выполнена успешно"),
                           deficiencies ? MessageIcon::Warning : MessageIcon::Information);
        }
    } catch (...) {
        failed = true;
    }
    ui.setBusy(false);
    ui.setStatusVisible(StatusLabel::Check, false);
    if (failed) {
        ui.showMessage(QStringLiteral("Ошибка"), QString(), MessageIcon::None);
    }
    return outcome;
}

}  // namespace converter
