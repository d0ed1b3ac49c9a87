#include "reference/reference_tables.h"

#include "common/database.h"
#include "common/failure.h"
#include "common/ui.h"
#include "common/utilities.h"

#include <QDir>
#include <QFileInfo>

#include <optional>
#include <vector>

namespace converter {

namespace {

SpfieldColumns& SpfieldRecord() {
    static SpfieldColumns columns;
    return columns;
}

SptabColumns& SptabRecord() {
    static SptabColumns columns;
    return columns;
}

// One required column: the name looked up, the name as messages write it, where its position goes.
struct RequiredColumn {
    QString lookupName;
    QString messageName;
    int* position;
};

// What differs between the two checks.
struct TableCheck {
    QString fileName;
    QString tableName;
    QString notFoundText;
    QString missingPrefix;
    QString failureText;
};

bool CheckReferenceTable(Ui& ui, const QString& folder, const TableCheck& check,
                         const std::vector<RequiredColumn>& columns) {
    const QString path = ReferenceTablePath(folder, check.fileName);
    if (FindFileIgnoringCase(path).isEmpty()) {
        ui.showMessage(check.notFoundText + QStringLiteral("\rПуть: ") + folder, QString(),
                       MessageIcon::Warning);
        return false;
    }

    bool result = false;
    std::optional<Failure> failure;
    RecordsetPtr recordset;
    try {
        recordset = OpenRecordset(BuildConnectionString(kParadoxFolder, path), check.tableName,
                                  kSourceTable);
        if (CheckConnected(ui, recordset.get())) {
            for (const RequiredColumn& column : columns) {
                *column.position = FindFieldIndex(column.lookupName, recordset.get());
            }
            // Every missing column on a line of its own, so that one message tells the whole fix.
            QString missing;
            for (const RequiredColumn& column : columns) {
                if (*column.position < 0) {
                    missing += column.messageName + QLatin1Char('\r');
                }
            }
            if (missing.isEmpty()) {
                result = true;
            } else {
                ui.showMessage(check.missingPrefix + missing + QStringLiteral("Путь: ") + path,
                               QStringLiteral("Ошибка"), MessageIcon::Warning);
            }
        }
    } catch (...) {
        failure = CurrentFailure();
        result = false;
    }
    CloseRecordset(recordset);
    ShowErrorBox(ui, failure, check.failureText);
    return result;
}

}  // namespace

SpfieldColumns& CurrentSpfieldColumns() {
    return SpfieldRecord();
}
SptabColumns& CurrentSptabColumns() {
    return SptabRecord();
}

void ResetReferenceColumns() {
    SpfieldRecord() = SpfieldColumns();
    SptabRecord() = SptabColumns();
}

QString ReferenceTablePath(const QString& folder, const QString& fileName) {
    return folder + QLatin1Char('/') + fileName;
}

QString FindFileIgnoringCase(const QString& path) {
    const QFileInfo info(path);
    if (info.isFile()) {
        return path;
    }
    const QString name = info.fileName();
    if (name.isEmpty()) {
        return {};
    }
    const QDir folder = info.dir();
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0) {
            return folder.filePath(entry);
        }
    }
    return {};
}

bool CheckSpfieldTable(Ui& ui, const QString& folder) {
    static const TableCheck check{kSpfieldFileName, kSpfieldTable,
                                  QStringLiteral("Не найден файл справочника SPFIELD.DB"),
                                  QStringLiteral("Отсутствуют поля справочника SPFIELD.DB: "),
                                  QStringLiteral("Ошибка при проверке справочника SPFIELD.DB")};
    SpfieldColumns& record = SpfieldRecord();
    // Listed in the order the message names them.
    return CheckReferenceTable(
        ui, folder, check,
        {{QStringLiteral("FieldName"), QStringLiteral("FIELDNAME"), &record.FieldName},
         {QStringLiteral("SpNum"), QStringLiteral("SPNUM"), &record.SpNum},
         {QStringLiteral("Text"), QStringLiteral("TEXT"), &record.Text},
         {QStringLiteral("EdIzm"), QStringLiteral("EDIZM"), &record.EdIzm},
         {QStringLiteral("ShortText"), QStringLiteral("SHORTTEXT"), &record.ShortText}});
}

bool CheckSptabTable(Ui& ui, const QString& folder) {
    static const TableCheck check{kSptabFileName, kSptabTable,
                                  QStringLiteral("Не найден файл справочника SPTAB.DB"),
                                  QStringLiteral("Отсутствуют поля справочника SPTAB.DB: "),
                                  QStringLiteral("Ошибка при проверке справочника SPTAB.DB")};
    SptabColumns& record = SptabRecord();
    return CheckReferenceTable(
        ui, folder, check,
        {{QStringLiteral("Name"), QStringLiteral("NAME"), &record.Name},
         {QStringLiteral("Code"), QStringLiteral("CODE"), &record.Code},
         {QStringLiteral("SpNum"), QStringLiteral("SPNUM"), &record.SpNum},
         {QStringLiteral("ShortName"), QStringLiteral("SHORTNAME"), &record.ShortName}});
}

}  // namespace converter
