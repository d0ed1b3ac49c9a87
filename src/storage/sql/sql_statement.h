#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>
#include <vector>

namespace converter::sql {

enum class ColumnType { Short, Long, Number, Currency, Text, Logical, Date, Time, Timestamp };

struct ColumnDefinition {
    QString name;
    ColumnType type = ColumnType::Long;
    int length = 0;  // text columns only; 255 when the text gives none
};

struct CreateTableStatement {
    QString table;
    std::vector<ColumnDefinition> columns;
};

struct CreateIndexStatement {
    QString index;
    QString table;
    QStringList columns;
    bool primary = false;
};

struct OrderTerm {
    QString column;
    bool descending = false;
};

// WHERE [column] = number
struct Condition {
    QString column;
    double number = 0;
};

struct SelectStatement {
    bool distinct = false;
    QStringList columns;  // empty for *
    QString table;
    std::optional<Condition> where;
    std::vector<OrderTerm> orderBy;
};

using Statement = std::variant<CreateTableStatement, CreateIndexStatement, SelectStatement>;

// Parses one statement of the subset, keywords in any letter case; a Failure names what was
// expected and where.
Statement ParseStatement(const QString& text);

}  // namespace converter::sql
