#include "reference/reference_tables.h"

#include "common/ui.h"
#include "reference/dictionary_table_check.h"
#include "storage/database.h"

#include <QDir>
#include <QFileInfo>

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
        ui.showMessage(
            check.notFoundText + QStringLiteral("\rПуть: ") + QDir::toNativeSeparators(folder),
            QString(), MessageIcon::Warning);
        return false;
    }
    return CheckTableColumns(ui,
                             {BuildConnectionString(kParadoxFolder, path), check.tableName, path,
                              check.missingPrefix, check.failureText},
                             columns);
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
