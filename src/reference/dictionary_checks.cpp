#include "reference/dictionary_checks.h"

#include "common/program_folder.h"
#include "common/ui.h"
#include "reference/dictionary_table_check.h"
#include "reference/reference_tables.h"
#include "storage/database.h"

#include <QDir>
#include <vector>

namespace converter {

namespace {

DictionaryColumns& Record() {
    static DictionaryColumns columns;
    return columns;
}

struct DictionaryTable {
    QString tableName;
    QString missingPrefix;
    QString failureText;
};

// The required columns are given in the order the message names them.
bool CheckDictionaryTable(Ui& ui, const DictionaryTable& table,
                          const std::vector<RequiredColumn>& columns) {
    if (!DictionaryPresent(ui)) {
        return false;
    }
    const QString path = DictionaryPath();
    return CheckTableColumns(ui,
                             {BuildConnectionString(kAccessFile, path), table.tableName, path,
                              table.missingPrefix, table.failureText},
                             columns);
}

// A column whose message name is its own name.
RequiredColumn Same(const QString& name, int* position) {
    return {name, name, position};
}

}  // namespace

bool DictionaryPresent(Ui& ui) {
    if (!FindFileIgnoringCase(DictionaryPath()).isEmpty()) {
        return true;
    }
    ui.showMessage(QStringLiteral("Не найден файл справочника: SPRAV.MDB\rПуть: ") +
                       QDir::toNativeSeparators(ProgramFolder()),
                   QStringLiteral("Ошибка"), MessageIcon::Warning);
    return false;
}

DictionaryColumns& CurrentDictionaryColumns() {
    return Record();
}

void ResetDictionaryColumns() {
    Record() = DictionaryColumns();
}

QString DictionaryPath() {
    for (const QString& folder : DictionaryFolders()) {
        const QString found = FindFileIgnoringCase(folder + QStringLiteral("/sprav.mdb"));
        if (!found.isEmpty()) {
            return found;
        }
    }
    return ProgramFile(QStringLiteral("sprav.mdb"));
}

bool CheckNsiTable(Ui& ui) {
    static const DictionaryTable table{kNsiTable,
                                       QStringLiteral("Отсутствуют поля справочника NSI: "),
                                       QStringLiteral("Ошибка при проверке справочника NSI")};
    NsiColumns& c = Record().nsi;
    return CheckDictionaryTable(
        ui, table,
        {{QStringLiteral("Code"), QStringLiteral("CODE"), &c.Code},
         {QStringLiteral("Name"), QStringLiteral("NAME"), &c.Name},
         {QStringLiteral("Type"), QStringLiteral("TYPE"), &c.Type},
         {QStringLiteral("PosCode"), QStringLiteral("POSCODE"), &c.PosCode},
         {QStringLiteral("LenCode"), QStringLiteral("LENCODE"), &c.LenCode},
         {QStringLiteral("PosText"), QStringLiteral("POSTEXT"), &c.PosText},
         {QStringLiteral("LenText"), QStringLiteral("LENTEXT"), &c.LenText},
         {QStringLiteral("PosShort"), QStringLiteral("POSSHORT"), &c.PosShort},
         {QStringLiteral("LenShort"), QStringLiteral("LENSHORT"), &c.LenShort}});
}

bool CheckFieldsTable(Ui& ui) {
    static const DictionaryTable table{kFieldsTable,
                                       QStringLiteral("Отсутствуют поля справочника FIELDS: "),
                                       QStringLiteral("Ошибка при проверке справочника FIELDS")};
    FieldsColumns& c = Record().fields;
    return CheckDictionaryTable(
        ui, table,
        {Same(QStringLiteral("EdIzm"), &c.EdIzm), Same(QStringLiteral("Tarvel"), &c.Tarvel),
         Same(QStringLiteral("Maket"), &c.Maket), Same(QStringLiteral("MultTen"), &c.MultTen),
         Same(QStringLiteral("Name"), &c.Name), Same(QStringLiteral("ShortText"), &c.ShortText),
         Same(QStringLiteral("Dovi"), &c.Dovi), Same(QStringLiteral("SpCode"), &c.SpCode),
         Same(QStringLiteral("Type"), &c.Type), Same(QStringLiteral("Decode"), &c.Decode),
         Same(QStringLiteral("Position"), &c.Position)});
}

bool CheckCodeValuesTable(Ui& ui) {
    // This table is called VALUES in its messages.
    static const DictionaryTable table{kCodeValuesTable,
                                       QStringLiteral("Отсутствуют поля справочника VALUES: "),
                                       QStringLiteral("Ошибка при проверке справочника VALUES")};
    CodeValuesColumns& c = Record().codeValues;
    return CheckDictionaryTable(ui, table,
                                {Same(QStringLiteral("Field"), &c.Field),
                                 {QStringLiteral("Code"), QStringLiteral("CODE"), &c.Code},
                                 {QStringLiteral("Name"), QStringLiteral("NAME"), &c.Name}});
}

bool CheckMaketsTable(Ui& ui) {
    static const DictionaryTable table{kMaketsTable,
                                       QStringLiteral("Отсутствуют поля справочника MAKETS: "),
                                       QStringLiteral("Ошибка при проверке справочника MAKETS")};
    MaketsColumns& c = Record().makets;
    return CheckDictionaryTable(
        ui, table,
        {Same(QStringLiteral("Name"), &c.Name), Same(QStringLiteral("ShortText"), &c.ShortText),
         Same(QStringLiteral("Text"), &c.Text)});
}

bool CheckTiFieldsTable(Ui& ui) {
    static const DictionaryTable table{kTiFieldsTable,
                                       QStringLiteral("Отсутствуют поля справочника TI_FIELDS: "),
                                       QStringLiteral("Ошибка при проверке справочника TI_FIELDS")};
    TiFieldsColumns& c = Record().tiFields;
    return CheckDictionaryTable(
        ui, table,
        {Same(QStringLiteral("Name"), &c.Name), Same(QStringLiteral("Type"), &c.Type),
         Same(QStringLiteral("Text"), &c.Text), Same(QStringLiteral("SpCode"), &c.SpCode),
         Same(QStringLiteral("EdIzm"), &c.EdIzm), Same(QStringLiteral("ShortText"), &c.ShortText),
         Same(QStringLiteral("Length"), &c.Length)});
}

}  // namespace converter
