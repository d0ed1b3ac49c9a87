#include "import/field_map.h"

#include "common/failure.h"
#include "common/program_folder.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "reference/code_lists.h"
#include "reference/dictionary_checks.h"
#include "storage/database.h"
#include "storage/recordset.h"

namespace converter {

namespace {

const QString kLookupFailure = QStringLiteral(
    "Ошибка при построении списка полей.Возможной причиной может быть слишком длинное имя файла.");

bool IsPresent(const QVariant& value) {
    return !value.isNull() && !value.toString().isEmpty();
}

// Where a recorded column is -1 the check has already refused the table; a stray value must not
// crash the reader.
QVariant ValueAt(const Recordset& table, int column) {
    return column >= 0 ? table.value(column) : QVariant();
}

// Open table, closed on every path.
class OpenTable {
public:
    explicit OpenTable(const QString& path)
        : recordset_(OpenRecordset(
              BuildConnectionString(kParadoxFolder, path),
              QLatin1Char('[') + SplitPath(path, kPathBaseName) + QLatin1Char(']'), kSourceTable)) {
    }
    ~OpenTable() { CloseRecordset(recordset_); }
    OpenTable(const OpenTable&) = delete;
    OpenTable& operator=(const OpenTable&) = delete;

    const Recordset& operator*() const { return *recordset_; }

private:
    RecordsetPtr recordset_;
};

// Opens a new table and records its columns; a table the engine cannot open (a path too long,
// for one) and a repeated name get the same warning.
template <typename RecordColumns>
bool BuildLookup(Ui& ui, const QString& path, RecordColumns recordColumns) {
    try {
        const OpenTable table(path);
        recordColumns(*table);
        return true;
    } catch (...) {
        ui.showMessage(kLookupFailure, QString(), MessageIcon::Warning);
        return false;
    }
}

}  // namespace

bool LoadFieldMap(Ui& ui, ImportState& state) {
    if (!CheckFieldsTable(ui)) {
        return false;
    }
    RecordsetPtr table;
    try {
        const FieldsColumns columns = CurrentDictionaryColumns().fields;
        table = OpenRecordset(BuildConnectionString(kAccessFile, DictionaryPath()), kFieldsTable,
                              kSourceTable);
        state.fieldMap.clear();
        if (table->recordCount() > 0) {
            table->moveFirst();
        }
        for (; !table->eof(); table->moveNext()) {
            const QVariant tarvel = ValueAt(*table, columns.Tarvel);
            const QVariant dovi = ValueAt(*table, columns.Dovi);
            if (!IsPresent(tarvel) || !IsPresent(dovi)) {
                continue;
            }
            FieldMapEntry entry;
            entry.tarvel = tarvel.toString();
            entry.dovi = dovi.toString();
            entry.layout = ValueAt(*table, columns.Maket).toInt();
            entry.multTen = ValueAt(*table, columns.MultTen).toBool();
            entry.decode = ValueAt(*table, columns.Decode).toBool();
            entry.type = ValueAt(*table, columns.Type).toString();
            entry.position = ValueAt(*table, columns.Position).toInt();
            state.fieldMap.push_back(entry);
        }
        CloseRecordset(table);
        return true;
    } catch (...) {
        const Failure failure = CurrentFailure();
        CloseRecordset(table);
        ShowErrorBox(ui, failure, QStringLiteral("Ошибка при построении списка полей"));
        return false;
    }
}

void RecordMainColumns(ImportState& state, const Recordset& table) {
    state.mainByName.clear();
    for (auto& layoutSlots : state.layoutColumnSlots) {
        layoutSlots.fill(0);
    }
    const int columnCount = table.fieldCount();
    for (int k = 0; k < static_cast<int>(state.fieldMap.size()); ++k) {
        const FieldMapEntry& entry = state.fieldMap[k];
        int column = -1;
        for (int c = 0; c < columnCount; ++c) {
            if (table.field(c).name.compare(entry.tarvel, Qt::CaseInsensitive) == 0) {
                column = c;
                break;
            }
        }
        if (column < 0) {
            continue;
        }
        const QString key = UpperCaseText(entry.dovi);
        if (state.mainByName.contains(key)) {
            throw Failure(QStringLiteral("Показатель ") + key + QStringLiteral(" повторяется"));
        }
        state.mainByName.insert(key, MainTarget{column, k, entry.layout});
        if (entry.layout >= 1 && entry.layout <= kSlotLayouts) {
            for (int& slot : state.layoutColumnSlots[entry.layout - 1]) {
                if (slot == 0) {
                    slot = column;
                    break;
                }
            }
        }
    }
}

void RecordElementColumns(ImportState& state, const Recordset& table) {
    state.elementColumnByName.clear();
    for (int c = 0; c < table.fieldCount(); ++c) {
        const QString& name = table.field(c).name;
        for (const FieldMapEntry& entry : state.fieldMap) {
            if (entry.tarvel.compare(name, Qt::CaseInsensitive) == 0) {
                const QString key = UpperCaseText(entry.dovi);
                if (state.elementColumnByName.contains(key)) {
                    throw Failure(QStringLiteral("Показатель ") + key +
                                  QStringLiteral(" повторяется"));
                }
                state.elementColumnByName.insert(key, c);
                break;
            }
        }
    }
}

bool BuildMainLookups(Ui& ui, ImportState& state, const QString& mainPath) {
    return BuildLookup(ui, mainPath,
                       [&state](const Recordset& table) { RecordMainColumns(state, table); });
}

bool BuildElementLookup(Ui& ui, ImportState& state, const QString& elementsPath) {
    return BuildLookup(ui, elementsPath,
                       [&state](const Recordset& table) { RecordElementColumns(state, table); });
}

void InitImportErrors(ImportState& state) {
    static const char* const kCaptions[] = {
        "В справочнике не оказалось показателей",
        "Пропущен знак равенства",
        "Пропущен знак табуляции",
        "Недопустимые (нечисловые) значения",
        "Не определены ключевые поля",
        "Не опредены ключевые поля для таблицы с элементами леса",
        "Не оказалось показателей по элементам леса",
        "Не удалось закодировать значение",
    };
    state.importErrors.clear();
    for (const char* caption : kCaptions) {
        ReportSection section;
        section.caption = QString::fromUtf8(caption);
        state.importErrors.push_back(section);
    }
}

void AddImportError(ImportState& state, int section, const QString& itemText) {
    state.importHadErrors = true;
    state.importErrors.at(static_cast<size_t>(section - 1)).add(itemText);
}

}  // namespace converter
