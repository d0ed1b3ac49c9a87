#include "export/export_field_table.h"

#include "common/failure.h"
#include "common/utilities.h"
#include "export/export_values.h"
#include "reference/dictionary_checks.h"
#include "storage/database.h"

#include <algorithm>
#include <optional>

namespace converter {

namespace {

// A 16-bit maket number from a dictionary value; a Failure for an empty or non-numeric one.
int MaketNumber(const QVariant& value) {
    std::optional<double> number = ValueNumber(value);
    std::optional<int> rounded = number ? RoundToInt(*number) : std::nullopt;
    if (!rounded || *rounded < -32768 || *rounded > 32767) {
        throw Failure(QStringLiteral("Недопустимый номер макета: \"%1\"").arg(ValueText(value)));
    }
    return *rounded;
}

bool FlagValue(const QVariant& value, const QString& column) {
    if (!value.isNull()) {
        if (value.userType() == QMetaType::Bool) {
            return value.toBool();
        }
        if (std::optional<double> number = ValueNumber(value)) {
            return *number != 0;
        }
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("false")) {
            return text == QLatin1String("true");
        }
    }
    throw Failure(
        QStringLiteral("Недопустимое значение поля %1: \"%2\"").arg(column, ValueText(value)));
}

QString TextValue(const QVariant& value) {
    return value.isNull() ? QString() : ValueText(value);
}

// One empty column per maket number of the list.
void StartColumns(const std::vector<int>& makets, ExportFieldTable& table) {
    table.clear();
    for (int maket : makets) {
        if (maket < -32768 || maket > 32767) {
            throw Failure(QStringLiteral("Недопустимый номер макета: %1").arg(maket));
        }
        table.push_back(ExportFieldColumn{maket, {}});
    }
    if (table.empty()) {
        throw Failure(QStringLiteral("В справочнике нет ни одного числового номера макета"));
    }
}

// The current Fields row joins its maket's column when it names both a Tarvel and a Dovi field
// and the main table has the Tarvel one.
void AddFieldRow(const Recordset& fields, const FieldsColumns& columns, const Recordset& mainTable,
                 ExportFieldTable& table) {
    const QString tarvel = TextValue(fields.value(columns.Tarvel));
    const QString dovi = TextValue(fields.value(columns.Dovi));
    if (tarvel.isEmpty() || dovi.isEmpty()) {
        return;
    }
    const int maket = MaketNumber(fields.value(columns.Maket));
    auto column = std::find_if(table.begin(), table.end(),
                               [maket](const auto& c) { return c.layout == maket; });
    if (column == table.end()) {
        throw Failure(QStringLiteral("Макет %1 отсутствует в списке макетов").arg(maket));
    }
    if (FindFieldIndex(tarvel, &mainTable) == -1) {
        return;
    }
    FieldMapEntry field;
    field.tarvel = tarvel;
    field.dovi = dovi;
    field.layout = maket;
    field.multTen = FlagValue(fields.value(columns.MultTen), QStringLiteral("MultTen"));
    field.decode = FlagValue(fields.value(columns.Decode), QStringLiteral("Decode"));
    if (static_cast<int>(column->fields.size()) >= kMaxExportFieldsPerMaket) {
        throw Failure(QStringLiteral("В макете %1 больше %2 показателей")
                          .arg(maket)
                          .arg(kMaxExportFieldsPerMaket));
    }
    column->fields.push_back(std::move(field));
}

}  // namespace

bool LoadMaketList(Ui& ui, std::vector<int>& makets) {
    RecordsetPtr recordset;
    try {
        QString columns = QStringLiteral("[Maket]");
        QString orderBy;
        const QString sql = BuildSelect(kFieldsTable, columns, QString(), true, orderBy);
        recordset =
            OpenRecordset(BuildConnectionString(kAccessFile, DictionaryPath()), sql, kSourceSql);
        if (!CheckConnected(ui, recordset.get())) {
            return false;
        }
        makets.clear();
        if (recordset->recordCount() > 0) {
            for (recordset->moveFirst(); !recordset->eof(); recordset->moveNext()) {
                std::optional<double> number = ValueNumber(recordset->value(0));
                std::optional<int> maket = number ? RoundToInt(*number) : std::nullopt;
                if (maket) {
                    makets.push_back(*maket);
                }
            }
        }
        // Texts such as "1" and "01" are distinct to the query but one maket to us.
        std::sort(makets.begin(), makets.end());
        makets.erase(std::unique(makets.begin(), makets.end()), makets.end());
        CloseRecordset(recordset);
        return true;
    } catch (...) {
        const Failure failure = CurrentFailure();
        CloseRecordset(recordset);
        ShowErrorBox(ui, failure, QStringLiteral("Ошибка при построении списка макетов"));
        return false;
    }
}

bool LoadExportFieldMap(Ui& ui, const QString& mainPath, const std::vector<int>& makets,
                        ExportFieldTable& table) {
    RecordsetPtr mainTable;
    RecordsetPtr fields;
    bool result = false;
    try {
        StartColumns(makets, table);

        // Only the main table's fields are looked at: its rows are not held.
        mainTable = OpenTableFields(
            BuildConnectionString(kParadoxFolder, mainPath),
            QLatin1Char('[') + SplitPath(mainPath, kPathBaseName) + QLatin1Char(']'));
        if (!CheckConnected(ui, mainTable.get())) {
            return false;
        }
        fields = OpenRecordset(BuildConnectionString(kAccessFile, DictionaryPath()), kFieldsTable,
                               kSourceTable);
        if (CheckConnected(ui, fields.get())) {
            const FieldsColumns& columns = CurrentDictionaryColumns().fields;
            if (fields->recordCount() > 0) {
                for (fields->moveFirst(); !fields->eof(); fields->moveNext()) {
                    AddFieldRow(*fields, columns, *mainTable, table);
                }
            }
            result = true;
        }
    } catch (...) {
        const Failure failure = CurrentFailure();
        CloseRecordset(mainTable);
        CloseRecordset(fields);
        ShowErrorBox(ui, failure, QStringLiteral("Ошибка при чтении справочника FIELDS"));
        return false;
    }
    CloseRecordset(mainTable);
    CloseRecordset(fields);
    return result;
}

}  // namespace converter
