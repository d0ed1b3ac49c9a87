#include "import/stand_database.h"

#include "common/failure.h"
#include "common/utilities.h"
#include "reference/dictionary_checks.h"
#include "storage/database.h"
#include "storage/recordset.h"

#include <QFileInfo>
#include <QStringList>

namespace converter {

namespace {

const QString kMainFixedColumns =
    QStringLiteral("[GIR] INTEGER, [KV] SMALLINT, [SKNR] SMALLINT, [MUK] INTEGER,");
const QString kElementsFixedColumns = QStringLiteral(
    "[GIR] INTEGER, [KV] SMALLINT, [SKNR] SMALLINT, [NUM] SMALLINT, [MUK] INTEGER, ");
const QString kChangesFixedColumns = QStringLiteral(
    "[GIR] INTEGER, [KV] INTEGER, [SKNR] INTEGER, [GOD] INTEGER, [MUK] INTEGER, [PL] FLOAT, "
    "[ZK] INTEGER, ");

bool IsOneOf(const QString& name, const QStringList& names) {
    return names.contains(name.toUpper());
}

// "[name] type, " for every field of `layout` that is not a fixed column, in Position order.
void AppendLayoutColumns(QString& list, const std::vector<FieldMapEntry>& fieldMap, int layout,
                         const QStringList& fixedColumns) {
    std::vector<int> positions;
    std::vector<int> entries;
    for (int k = 0; k < static_cast<int>(fieldMap.size()); ++k) {
        const FieldMapEntry& entry = fieldMap[k];
        if (entry.layout == layout && !IsOneOf(entry.tarvel, fixedColumns)) {
            positions.push_back(entry.position);
            entries.push_back(k);
        }
    }
    if (positions.empty()) {
        return;
    }
    SortKeysWithCompanion(positions, entries, true);
    for (const int k : entries) {
        list += QLatin1Char('[') + fieldMap[k].tarvel + QStringLiteral("] ") +
                MapColumnType(fieldMap[k].type) + QStringLiteral(", ");
    }
}

QString CreateTableText(const QString& table, QString columnList) {
    // The list ends in ", ", or in a bare "," when the main table gets no dictionary column.
    columnList.chop(columnList.endsWith(QStringLiteral(", ")) ? 2 : 1);
    return QStringLiteral("CREATE TABLE [") + table + QStringLiteral("] (") + columnList +
           QLatin1Char(')');
}

QString TiLengthText(int length) {
    if (length == 0 || length > 255) {
        return QStringLiteral("50");
    }
    return QString::number(length);
}

std::vector<TiFieldEntry> ReadTiFields(RecordsetPtr& table) {
    const TiFieldsColumns columns = CurrentDictionaryColumns().tiFields;
    const auto valueAt = [&table](int column) {
        return column >= 0 ? table->value(column) : QVariant();
    };
    std::vector<TiFieldEntry> entries;
    for (table->moveFirst(); !table->eof(); table->moveNext()) {
        const QVariant name = valueAt(columns.Name);
        if (name.isNull() || name.toString().isEmpty()) {
            continue;
        }
        TiFieldEntry entry;
        entry.name = name.toString();
        entry.text = valueAt(columns.Text).toString();
        entry.type = valueAt(columns.Type).toString();
        const QVariant length = valueAt(columns.Length);
        if (!length.isNull() && !length.toString().isEmpty()) {
            bool ok = false;
            entry.length = length.toString().trimmed().toInt(&ok);
            if (!ok) {
                throw Failure(QStringLiteral("Недопустимая длина поля ") + entry.name +
                              QStringLiteral(": ") + length.toString());
            }
        }
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace

QString MapColumnType(const QString& typeWord) {
    const QString word = typeWord.toLower();
    if (word == QLatin1String("integer")) {
        return QStringLiteral("smallint");
    }
    if (word == QLatin1String("long")) {
        return QStringLiteral("integer");
    }
    if (word == QLatin1String("double")) {
        return QStringLiteral("float");
    }
    if (word == QLatin1String("string")) {
        return QStringLiteral("string");
    }
    return QStringLiteral("integer");
}

QString BuildMainTableSql(const QString& table, const std::vector<FieldMapEntry>& fieldMap) {
    static const QStringList kFixed = {QStringLiteral("GIR"), QStringLiteral("KV"),
                                       QStringLiteral("SKNR"), QStringLiteral("MUK")};
    QString list = kMainFixedColumns;
    for (int layout = 1; layout <= 100; ++layout) {
        AppendLayoutColumns(list, fieldMap, layout, kFixed);
    }
    return CreateTableText(table, list);
}

QString BuildElementsTableSql(const QString& table, const std::vector<FieldMapEntry>& fieldMap) {
    static const QStringList kFixed = {QStringLiteral("GIR"), QStringLiteral("KV"),
                                       QStringLiteral("SKNR"), QStringLiteral("NUM"),
                                       QStringLiteral("MUK")};
    QString list = kElementsFixedColumns;
    AppendLayoutColumns(list, fieldMap, kElementLayout, kFixed);
    return CreateTableText(table, list);
}

QString BuildChangesTableSql(const QString& table, const std::vector<TiFieldEntry>& tiFields) {
    static const QStringList kFixed = {
        QStringLiteral("GIR"), QStringLiteral("KV"), QStringLiteral("SKNR"), QStringLiteral("GOD"),
        QStringLiteral("MUK"), QStringLiteral("PL"), QStringLiteral("ZK")};
    QString list = kChangesFixedColumns;
    for (const TiFieldEntry& field : tiFields) {
        if (field.name.isEmpty() || IsOneOf(field.name, kFixed)) {
            continue;
        }
        const QString type = MapColumnType(field.type);
        list += QLatin1Char('[') + field.name + QStringLiteral("] ") + type;
        if (type == QLatin1String("string")) {
            list += QStringLiteral(" (") + TiLengthText(field.length) + QLatin1Char(')');
        }
        list += QStringLiteral(", ");
    }
    return CreateTableText(table, list);
}

QString BuildPrimaryIndexSql(const QString& table, bool main) {
    return QStringLiteral("CREATE INDEX [") + table + QStringLiteral("] ON [") + table +
           QStringLiteral("] ") +
           (main ? QStringLiteral("([GIR], [KV], [SKNR])")
                 : QStringLiteral("([GIR], [KV], [SKNR], [NUM])")) +
           QStringLiteral(" WITH PRIMARY");
}

QString BuildChangesIndexSql(const QString& table) {
    return QStringLiteral("CREATE INDEX [") + table + QStringLiteral("] ON [") + table +
           QStringLiteral("] ([GIR], [KV], [SKNR], [GOD]) WITH PRIMARY");
}

QString ElementsTablePath(const QString& mainPath) {
    return SplitPath(mainPath, kPathFolderAndBaseName) + QStringLiteral("Сост.db");
}

QStringList StandDatabaseFileNames(const QString& mainPath) {
    const QFileInfo main(mainPath);
    const QString base = main.completeBaseName();
    QStringList names{main.fileName()};
    for (const char* suffix : {".px", "Сост.db", "Сост.px", "_TI.db", "_TI.px", "_rep.txt"}) {
        names.append(base + QString::fromUtf8(suffix));
    }
    return names;
}

bool CreatePrimaryIndex(Ui& ui, const QString& path, bool main) {
    try {
        ExecuteStatement(BuildConnectionString(kParadoxFolder, path),
                         BuildPrimaryIndexSql(SplitPath(path, kPathBaseName), main));
        return true;
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure(), QStringLiteral("Ошибка при установке индекса таблицы"));
        return false;
    }
}

bool CreateMainTable(Ui& ui, ImportState& state, const QString& mainPath) {
    try {
        ExecuteStatement(BuildConnectionString(kParadoxFolder, mainPath),
                         BuildMainTableSql(SplitPath(mainPath, kPathBaseName), state.fieldMap));
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure(), QStringLiteral("Ошибка при создании основной таблицы"));
        return false;
    }
    return CreatePrimaryIndex(ui, mainPath, true) && BuildMainLookups(ui, state, mainPath);
}

bool CreateElementsTable(Ui& ui, ImportState& state, const QString& elementsPath) {
    try {
        ExecuteStatement(
            BuildConnectionString(kParadoxFolder, elementsPath),
            BuildElementsTableSql(SplitPath(elementsPath, kPathBaseName), state.fieldMap));
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure(),
                     QStringLiteral("Ошибка при создании таблицы по элементам леса"));
        return false;
    }
    return CreatePrimaryIndex(ui, elementsPath, false) &&
           BuildElementLookup(ui, state, elementsPath);
}

bool CreateChangesTable(Ui& ui, const QString& mainPath) {
    if (!CheckTiFieldsTable(ui)) {
        return false;
    }
    RecordsetPtr tiFields;
    try {
        tiFields = OpenRecordset(BuildConnectionString(kAccessFile, DictionaryPath()),
                                 kTiFieldsTable, kSourceTable);
        const std::vector<TiFieldEntry> entries = ReadTiFields(tiFields);
        const QString table = SplitPath(mainPath, kPathBaseName) + QStringLiteral("_TI");
        const QString connection = BuildConnectionString(kParadoxFolder, mainPath);
        ExecuteStatement(connection, BuildChangesTableSql(table, entries));
        ExecuteStatement(connection, BuildChangesIndexSql(table));
        CloseRecordset(tiFields);
        return true;
    } catch (...) {
        const Failure failure = CurrentFailure();
        CloseRecordset(tiFields);
        ShowErrorBox(ui, failure,
                     QStringLiteral("Ошибка при создании таблицы по текущим изменениям"));
        return false;
    }
}

}  // namespace converter
