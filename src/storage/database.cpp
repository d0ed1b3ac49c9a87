#include "storage/database.h"

#include "common/failure.h"
#include "common/ui.h"
#include "storage/access/access_table.h"
#include "storage/memory_recordset.h"
#include "storage/paradox/paradox_folder.h"
#include "storage/paradox/paradox_table.h"
#include "storage/sql/sql_select.h"
#include "storage/sql/sql_statement.h"

#include <QSet>

#include <optional>

namespace converter {

namespace {

const QString kProviderPart = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0; User ID=Admin;");
const QString kDataSourcePart = QStringLiteral("Data Source = ");
const QString kModePart = QStringLiteral(";Mode=Share Deny None;Extended Properties=");
const QString kParadoxProperties = QStringLiteral("Paradox 7.x;");

struct Connection {
    int kind = kAccessFile;
    QString dataSource;
};

// The folder of a path with its final separator; either separator counts.
QString FolderOf(const QString& path) {
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return slash < 0 ? QString() : path.left(slash + 1);
}

Connection ParseConnectionString(const QString& text) {
    const qsizetype start = text.indexOf(kDataSourcePart);
    const qsizetype mode = text.lastIndexOf(kModePart);
    if (start < 0 || mode < start) {
        throw Failure(QStringLiteral("Неверная строка подключения: %1").arg(text));
    }
    Connection connection;
    connection.dataSource =
        text.mid(start + kDataSourcePart.size(), mode - start - kDataSourcePart.size());
    const QString properties = text.mid(mode + kModePart.size()).trimmed();
    if (properties.startsWith(QStringLiteral("Paradox"), Qt::CaseInsensitive)) {
        connection.kind = kParadoxFolder;
    } else if (!properties.isEmpty()) {
        throw Failure(QStringLiteral("Неподдерживаемый тип базы данных: %1").arg(properties));
    }
    if (connection.dataSource.isEmpty()) {
        throw Failure(QStringLiteral("В строке подключения не указан источник данных"));
    }
    return connection;
}

QString TableName(const QString& source) {
    QString name = source.trimmed();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')) && name.size() >= 2) {
        name = name.mid(1, name.size() - 2);
    }
    if (name.isEmpty()) {
        throw Failure(QStringLiteral("Не указано имя таблицы"));
    }
    return name;
}

RecordsetPtr OpenTableOf(const Connection& connection, const QString& name, bool updatable,
                         const paradox::ParadoxTable::NumberFilter* keep = nullptr,
                         const RowFilter* wanted = nullptr) {
    if (connection.kind == kParadoxFolder) {
        return paradox::OpenTable(connection.dataSource, name, updatable, keep, wanted);
    }
    return OpenAccessTable(connection.dataSource, name);
}

// A DISTINCT list of named columns over a Paradox table (the years of a forestry) holds one row
// per distinct combination, collected while the table is read, instead of the table: the query
// then runs over those rows with the same result. Null when the query is not of that kind or
// names a column the table lacks (the ordinary path then says so).
RecordsetPtr DistinctRowsOf(const Connection& connection, const sql::SelectStatement& select) {
    if (connection.kind != kParadoxFolder || !select.distinct || select.where ||
        select.columns.isEmpty()) {
        return nullptr;
    }
    for (const sql::OrderTerm& term : select.orderBy) {
        if (!select.columns.contains(term.column, Qt::CaseInsensitive)) {
            return nullptr;
        }
    }
    std::vector<int> columns;
    std::vector<FieldInfo> fields;
    std::vector<MemoryRecordset::Row> rows;
    QSet<QString> seen;
    paradox::ScanTable(
        connection.dataSource, select.table,
        [&](const Recordset& table) {
            for (const QString& name : select.columns) {
                columns.push_back(table.indexOf(name));
                if (columns.back() >= 0) {
                    fields.push_back(table.field(columns.back()));
                }
            }
        },
        [&](const Recordset& row) {
            if (fields.size() != columns.size()) {
                return;
            }
            MemoryRecordset::Row values;
            QString key;
            for (const int column : columns) {
                values.push_back(row.value(column));
                key += sql::DistinctKey(values.back()) + QChar(0);
            }
            if (!seen.contains(key)) {
                seen.insert(key);
                rows.push_back(std::move(values));
            }
        });
    if (fields.size() != columns.size()) {
        return nullptr;
    }
    return std::make_unique<MemoryRecordset>(std::move(fields), std::move(rows));
}

paradox::ParadoxField FieldOf(const sql::ColumnDefinition& column) {
    using sql::ColumnType;
    switch (column.type) {
        case ColumnType::Short:
            return paradox::MakeField(column.name, paradox::kShort, 2);
        case ColumnType::Long:
            return paradox::MakeField(column.name, paradox::kLong, 4);
        case ColumnType::Number:
            return paradox::MakeField(column.name, paradox::kNumber, 8);
        case ColumnType::Currency:
            return paradox::MakeField(column.name, paradox::kCurrency, 8);
        case ColumnType::Text:
            return paradox::MakeField(column.name, paradox::kAlpha,
                                      static_cast<std::uint8_t>(column.length));
        case ColumnType::Logical:
            return paradox::MakeField(column.name, paradox::kLogical, 1);
        case ColumnType::Date:
            return paradox::MakeField(column.name, paradox::kDate, 4);
        case ColumnType::Time:
            return paradox::MakeField(column.name, paradox::kTime, 4);
        case ColumnType::Timestamp:
            return paradox::MakeField(column.name, paradox::kTimestamp, 8);
    }
    throw Failure(QStringLiteral("Недопустимый тип поля [%1]").arg(column.name));
}

}  // namespace

QString BuildConnectionString(int kind, const QString& path) {
    const QString dataSource = kind == kParadoxFolder ? FolderOf(path) : path;
    return kProviderPart + kDataSourcePart + dataSource + QStringLiteral(";") + kModePart.mid(1) +
           (kind == kParadoxFolder ? kParadoxProperties : QString());
}

RecordsetPtr OpenRecordset(const QString& connectionString, const QString& source, int options,
                           const RowFilter& needed) {
    const Connection connection = ParseConnectionString(connectionString);
    bool isSql = options == kSourceSql;
    if (options != kSourceSql && options != kSourceTable) {
        isSql = source.trimmed().startsWith(QStringLiteral("SELECT"), Qt::CaseInsensitive);
    }
    if (!isSql) {
        return OpenTableOf(connection, TableName(source), true);
    }
    const sql::Statement statement = sql::ParseStatement(source);
    const auto* select = std::get_if<sql::SelectStatement>(&statement);
    if (!select) {
        throw Failure(QStringLiteral("Инструкция не возвращает записей: %1").arg(source));
    }
    if (RecordsetPtr distinct = DistinctRowsOf(connection, *select)) {
        return sql::RunSelect(std::move(distinct), *select);
    }
    // The WHERE is applied while the table is read as well, so that only its rows are held; the
    // query still applies it (and reports a missing column) as for any source.
    std::optional<paradox::ParadoxTable::NumberFilter> keep;
    if (select->where) {
        keep = paradox::ParadoxTable::NumberFilter{select->where->column, select->where->number};
    }
    return sql::RunSelect(OpenTableOf(connection, select->table, false, keep ? &*keep : nullptr,
                                      needed ? &needed : nullptr),
                          *select);
}

RecordsetPtr OpenTableFields(const QString& connectionString, const QString& source) {
    const Connection connection = ParseConnectionString(connectionString);
    if (connection.kind == kParadoxFolder) {
        return paradox::OpenTableFields(connection.dataSource, TableName(source));
    }
    return OpenTableOf(connection, TableName(source), false);
}

void ScanTable(const QString& connectionString, const QString& source,
               const std::function<void(const Recordset& fields)>& begin,
               const std::function<void(const Recordset& row)>& each) {
    const Connection connection = ParseConnectionString(connectionString);
    if (connection.kind == kParadoxFolder) {
        paradox::ScanTable(connection.dataSource, TableName(source), begin, each);
        return;
    }
    RecordsetPtr table = OpenTableOf(connection, TableName(source), false);
    begin(*table);
    for (table->moveFirst(); !table->eof(); table->moveNext()) {
        each(*table);
    }
}

void CloseRecordset(RecordsetPtr& recordset) {
    try {
        if (recordset && recordset->isOpen()) {
            recordset->close();
        }
    } catch (...) {
    }
    try {
        recordset.reset();
    } catch (...) {
    }
}

QString BuildSelect(const QString& table, QString& columns, const QString& tail, bool distinct,
                    QString& orderBy) {
    if (columns.isEmpty()) {
        columns = QStringLiteral("*");
    }
    QString text = QStringLiteral("SELECT ");
    if (distinct) {
        text += QStringLiteral(" DISTINCT ");
    }
    text += columns + QStringLiteral(" FROM ") + QStringLiteral("[") + table + QStringLiteral("]") +
            tail;
    if (!orderBy.isEmpty()) {
        orderBy = QStringLiteral(" ORDER BY ") + orderBy;
        text += orderBy;
    }
    return text;
}

void ExecuteStatement(const QString& connectionString, const QString& sqlText) {
    const Connection connection = ParseConnectionString(connectionString);
    const sql::Statement statement = sql::ParseStatement(sqlText);
    if (std::holds_alternative<sql::SelectStatement>(statement)) {
        throw Failure(
            QStringLiteral("Ожидалась инструкция CREATE TABLE или CREATE INDEX: %1").arg(sqlText));
    }
    if (connection.kind != kParadoxFolder) {
        throw Failure(QStringLiteral("Изменение структуры базы данных Access не поддерживается"));
    }
    if (const auto* create = std::get_if<sql::CreateTableStatement>(&statement)) {
        std::vector<paradox::ParadoxField> fields;
        for (const sql::ColumnDefinition& column : create->columns) {
            fields.push_back(FieldOf(column));
        }
        paradox::CreateTable(connection.dataSource, create->table, std::move(fields));
        return;
    }
    const auto& index = std::get<sql::CreateIndexStatement>(statement);
    if (!index.primary) {
        throw Failure(QStringLiteral("Поддерживаются только первичные индексы (WITH PRIMARY): %1")
                          .arg(sqlText));
    }
    paradox::CreatePrimaryIndex(connection.dataSource, index.table, index.columns);
}

int FindFieldIndex(const QString& name, const Recordset* recordset) {
    if (!recordset) {
        return -1;
    }
    for (int i = 0; i < recordset->fieldCount(); ++i) {
        if (recordset->field(i).name.compare(name, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

bool CheckConnected(Ui& ui, const Recordset* recordset) {
    if (!recordset) {
        ui.showMessage(QStringLiteral("Ошибка при подключении к базе"), QStringLiteral("Ошибка"),
                       MessageIcon::Warning);
        return false;
    }
    return true;
}

}  // namespace converter
