#include "export/export_commands.h"

#include "common/failure.h"
#include "common/program_folder.h"
#include "common/safe_write.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "export/export_values.h"
#include "export/export_writer.h"
#include "import/stand_database.h"
#include "storage/database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace converter {

namespace {

const QString kErrorTitle = QStringLiteral("Ошибка");

void ShowMissingElementsFile(Ui& ui, const QString& elementsPath) {
    ui.showMessage(QStringLiteral("Не найден файл по элементам леса:\r") + elementsPath,
                   kErrorTitle, MessageIcon::Warning);
}

}  // namespace

bool TableFileExists(const QString& path) {
    const QFileInfo info(path);
    if (info.isFile()) {
        return true;
    }
    const QDir folder = info.dir();
    if (!folder.exists()) {
        return false;
    }
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (name.compare(info.fileName(), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

YearEntry YearEntryFor(const QVariant& aktm, int currentYear) {
    if (aktm.isNull()) {
        return {QStringLiteral("Не определен"), kUndefinedYear};
    }
    std::optional<double> number = ValueNumber(aktm);
    std::optional<int> year = number ? RoundToInt(*number) : std::nullopt;
    if (!year) {
        throw Failure(
            QStringLiteral("Недопустимое значение поля AKTM: \"%1\"").arg(ValueText(aktm)));
    }
    // Two digits name a year of this century up to the current one and of the last century
    // beyond it; a value already of three or more digits is a year as it stands.
    QString prefix;
    if (*year < 10) {
        prefix = QStringLiteral("200");
    } else if (*year <= currentYear % 100) {
        prefix = QStringLiteral("20");
    } else if (*year < 100) {
        prefix = QStringLiteral("19");
    }
    return {prefix + ValueText(aktm), *year};
}

std::optional<YearList> GetYearsList(Ui& ui, const QString& mainPath) {
    RecordsetPtr recordset;
    YearList list;
    bool cleared = false;
    try {
        QString columns = QStringLiteral("[AKTM]");
        QString orderBy;
        const QString sql =
            BuildSelect(SplitPath(mainPath, kPathBaseName), columns, QString(), true, orderBy);
        recordset = OpenRecordset(BuildConnectionString(kParadoxFolder, mainPath), sql, kSourceSql);
        if (!recordset) {
            ui.showMessage(QStringLiteral("База данных недоступна"), kErrorTitle,
                           MessageIcon::Warning);
            return YearList{};
        }
        cleared = true;
        if (recordset->recordCount() > 0) {
            for (recordset->moveFirst(); !recordset->eof(); recordset->moveNext()) {
                ui.processEvents();
                list.entries.push_back(YearEntryFor(recordset->value(0)));
            }
        }
        if (!list.entries.empty()) {
            list.selected = 0;
        }
        CloseRecordset(recordset);
        return list;
    } catch (...) {
        CloseRecordset(recordset);
        ui.showMessage(QStringLiteral("Ошибка подключения к базе.\rВозможной причиной может быть "
                                      "слишком длинный путь к файлу."),
                       kErrorTitle, MessageIcon::Warning);
        if (!cleared) {
            return std::nullopt;
        }
        list.selected = -1;
        return list;
    }
}

OpenExportOutcome ChooseExportDatabase(Ui& ui) {
    try {
        const QString path = ShowOpenDialog(ui, GetFileFilter(kTarvelDatabaseFile));
        if (!path.isEmpty()) {
            return OpenExportDatabase(ui, path);
        }
    } catch (...) {
        ui.showMessage(QStringLiteral("Ошибка при открытии базы"), kErrorTitle,
                       MessageIcon::Warning);
    }
    return {};
}

OpenExportOutcome OpenExportDatabase(Ui& ui, const QString& path) {
    OpenExportOutcome outcome;
    bool busy = false;
    try {
        // What a killed run left is completed or dropped before the years are read.
        FolderRecovery recovery;
        if (!recovery.recover(ui, QFileInfo(path).absolutePath(), {StagingKey(path)})) {
            return outcome;
        }
        if (!QFileInfo(path).isFile()) {
            ui.showMessage(QStringLiteral("Файл не существует: \r") + path, QString(),
                           MessageIcon::Warning);
            return outcome;
        }
        const QString elementsPath = ElementsTablePath(path);
        if (!TableFileExists(elementsPath)) {
            ShowMissingElementsFile(ui, elementsPath);
            return outcome;
        }
        outcome.databasePath = path;
        busy = true;
        ui.setBusy(true);
        ui.setStatusVisible(StatusLabel::Export, true);
        ui.setStatus(StatusLabel::Export, QStringLiteral("Построение списка лет..."));
        outcome.years = GetYearsList(ui, path);
    } catch (...) {
        ui.showMessage(QStringLiteral("Ошибка при открытии базы"), kErrorTitle,
                       MessageIcon::Warning);
    }
    ui.setStatusVisible(StatusLabel::Export, false);
    ui.setStatus(StatusLabel::Export, QString());
    if (busy) {
        ui.setBusy(false);
    }
    return outcome;
}

QString ProposedExportFile(const QString& databasePath, const QString& yearText) {
    return ProgramFile(SplitPath(databasePath, kPathBaseName) + QLatin1Char('_') + yearText +
                       QStringLiteral(".txt"));
}

bool ChooseExportFile(Ui& ui, const QString& databasePath, const QString& yearText,
                      QString& outputPath) {
    try {
        const QString path = ShowSaveDialog(ui, GetFileFilter(kTextFile),
                                            ProposedExportFile(databasePath, yearText));
        if (path.isEmpty()) {
            return false;
        }
        // Refused before the question, so that Yes never leads to a refusal.
        if (RefuseExportOntoInput(ui, path, databasePath, ElementsTablePath(databasePath))) {
            return false;
        }
        if (QFileInfo::exists(path)) {
            if (!ui.askYesNo(QStringLiteral("Файл с выбранным именем существует.\rПерезаписать?"),
                             QStringLiteral("Перезаписать файл?"))) {
                return false;
            }
            // The old file stays until the new one is complete: the writer replaces it then.
        }
        outputPath = path;
        return true;
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure(), QStringLiteral("Ошибка при сохранении файла"));
        return false;
    }
}

bool RunExport(Ui& ui, const QString& databasePath, std::optional<int> year,
               const QString& yearText, QChar decimalSeparator) {
    if (databasePath.isEmpty()) {
        ui.showMessage(QStringLiteral("Выберите базу данных для экспорта"), QString(),
                       MessageIcon::Information);
        return false;
    }
    bool busy = false;
    bool result = false;
    try {
        const QString elementsPath = ElementsTablePath(databasePath);
        QString outputPath;
        // Recovery's locks go before the export takes its own.
        if (!FolderRecovery().recover(ui, QFileInfo(databasePath).absolutePath(),
                                      {StagingKey(databasePath)})) {
            return false;
        }
        if (!TableFileExists(elementsPath)) {
            ShowMissingElementsFile(ui, elementsPath);
        } else if (ChooseExportFile(ui, databasePath, yearText, outputPath)) {
            ExportRequest request{outputPath, databasePath,          elementsPath,
                                  year,       StartOperationClock(), decimalSeparator};
            busy = true;
            ui.setBusy(true);
            result = ExportCurrentChanges(ui, request);
        }
    } catch (...) {
        ui.showMessage(QStringLiteral("Ошибка при экспорте"), QString(), MessageIcon::Warning);
        result = false;
    }
    if (busy) {
        ui.setBusy(false);
    }
    return result;
}

}  // namespace converter
