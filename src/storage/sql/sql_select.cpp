#include "storage/sql/sql_select.h"

#include "common/failure.h"
#include "storage/memory_recordset.h"
#include "storage/row_view_recordset.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QSet>
#include <QTime>

#include <algorithm>

namespace converter::sql {

namespace {

bool IsNumber(const QVariant& v) {
    switch (v.userType()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::UChar:
        case QMetaType::SChar:
        case QMetaType::Bool:
            return true;
        default:
            return false;
    }
}

double NumberOf(const QVariant& v) {
    // The original engine's true is -1.
    return v.userType() == QMetaType::Bool ? (v.toBool() ? -1.0 : 0.0) : v.toDouble();
}

bool ReadsAsNumber(const QVariant& v, double& number) {
    if (IsNumber(v)) {
        number = NumberOf(v);
        return true;
    }
    if (v.userType() != QMetaType::QString) {
        return false;
    }
    QString text = v.toString().trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    number = QLocale::c().toDouble(text, &ok);
    return ok;
}

int FindColumn(const Recordset& source, const QString& name, const QString& table) {
    const int index = source.indexOf(name);
    if (index < 0) {
        throw Failure(QStringLiteral("Поле [%1] не найдено в таблице [%2]").arg(name, table));
    }
    return index;
}

}  // namespace

QString DistinctKey(const QVariant& v) {
    if (v.isNull() || !v.isValid()) {
        return QStringLiteral("N");
    }
    if (IsNumber(v)) {
        return QLatin1Char('D') + QString::number(NumberOf(v), 'g', 17);
    }
    switch (v.userType()) {
        case QMetaType::QDate:
        case QMetaType::QTime:
        case QMetaType::QDateTime:
            return QLatin1Char('T') + v.toString();
        case QMetaType::QByteArray:
            return QLatin1Char('B') + QString::fromLatin1(v.toByteArray().toHex());
        default:
            return QLatin1Char('S') + v.toString().toCaseFolded();
    }
}

int CompareValues(const QVariant& a, const QVariant& b) {
    const bool aNull = a.isNull() || !a.isValid();
    const bool bNull = b.isNull() || !b.isValid();
    if (aNull || bNull) {
        return aNull == bNull ? 0 : (aNull ? -1 : 1);
    }
    if (IsNumber(a) && IsNumber(b)) {
        const double x = NumberOf(a);
        const double y = NumberOf(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.userType() == b.userType()) {
        switch (a.userType()) {
            case QMetaType::QDate:
                return a.toDate() < b.toDate() ? -1 : (b.toDate() < a.toDate() ? 1 : 0);
            case QMetaType::QTime:
                return a.toTime() < b.toTime() ? -1 : (b.toTime() < a.toTime() ? 1 : 0);
            case QMetaType::QDateTime:
                return a.toDateTime() < b.toDateTime() ? -1
                                                       : (b.toDateTime() < a.toDateTime() ? 1 : 0);
            case QMetaType::QByteArray:
                return a.toByteArray().compare(b.toByteArray());
            default:
                break;
        }
    }
    const int result = a.toString().compare(b.toString(), Qt::CaseInsensitive);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

namespace {

using Row = MemoryRecordset::Row;
// An ORDER BY term: the column it sorts by and whether descending.
using OrderColumn = std::pair<int, bool>;

// The source columns the statement selects, in the order it names them (all for `*`).
std::vector<int> SelectedColumns(const Recordset& source, const SelectStatement& statement) {
    std::vector<int> columns;
    if (statement.columns.isEmpty()) {
        for (int i = 0; i < source.fieldCount(); ++i) {
            columns.push_back(i);
        }
    } else {
        for (const QString& name : statement.columns) {
            columns.push_back(FindColumn(source, name, statement.table));
        }
    }
    return columns;
}

bool MatchesWhere(const Recordset& source, int whereColumn, const SelectStatement& statement) {
    if (whereColumn < 0) {
        return true;
    }
    double number = 0;
    return ReadsAsNumber(source.value(whereColumn), number) && number == statement.where->number;
}

// Order terms address a selected column or, without DISTINCT, a hidden extra one added to
// `columns`.
std::vector<OrderColumn> OrderColumns(const Recordset& source, const SelectStatement& statement,
                                      std::vector<int>& columns) {
    std::vector<OrderColumn> order;
    for (const OrderTerm& term : statement.orderBy) {
        const int sourceColumn = FindColumn(source, term.column, statement.table);
        auto found = std::find(columns.begin(), columns.end(), sourceColumn);
        if (found == columns.end()) {
            if (statement.distinct) {
                throw Failure(
                    QStringLiteral(
                        "Поле [%1] из ORDER BY должно быть в списке полей запроса с DISTINCT")
                        .arg(term.column));
            }
            columns.push_back(sourceColumn);
            found = columns.end() - 1;
        }
        order.emplace_back(static_cast<int>(found - columns.begin()), term.descending);
    }
    return order;
}

// The rows the WHERE keeps, their `columns` read; with DISTINCT a repeat of the first `shown`
// values is dropped as it is read.
std::vector<Row> ReadRows(Recordset& source, const SelectStatement& statement,
                          const std::vector<int>& columns, int shown) {
    const int whereColumn =
        statement.where ? FindColumn(source, statement.where->column, statement.table) : -1;
    std::vector<Row> rows;
    QSet<QString> seen;
    if (!statement.distinct) {
        rows.reserve(static_cast<size_t>(std::max(0, source.recordCount())));
    }
    if (source.recordCount() != 0) {
        source.moveFirst();
    }
    for (; !source.eof(); source.moveNext()) {
        if (!MatchesWhere(source, whereColumn, statement)) {
            continue;
        }
        Row row;
        row.reserve(columns.size());
        for (int column : columns) {
            row.push_back(source.value(column));
        }
        if (statement.distinct) {
            QString key;
            for (int i = 0; i < shown; ++i) {
                key += DistinctKey(row[static_cast<size_t>(i)]) + QChar(0);
            }
            if (seen.contains(key)) {
                continue;
            }
            seen.insert(key);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// DISTINCT: rows in ascending order of all `shown` values, equal ones once.
void SortDistinct(std::vector<Row>& rows, int shown) {
    auto byAll = [shown](const Row& a, const Row& b) {
        for (int i = 0; i < shown; ++i) {
            const int c = CompareValues(a[static_cast<size_t>(i)], b[static_cast<size_t>(i)]);
            if (c != 0) {
                return c;
            }
        }
        return 0;
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&byAll](const Row& a, const Row& b) { return byAll(a, b) < 0; });
    rows.erase(std::unique(rows.begin(), rows.end(),
                           [&byAll](const Row& a, const Row& b) { return byAll(a, b) == 0; }),
               rows.end());
}

// The order terms as source columns; `inTableOrder` tells whether they ask for the order the
// source's rows already have (its leading ordered columns, ascending).
std::vector<OrderColumn> SourceOrder(const Recordset& source, const SelectStatement& statement,
                                     bool& inTableOrder) {
    std::vector<OrderColumn> order;
    inTableOrder = true;
    for (const OrderTerm& term : statement.orderBy) {
        const int column = FindColumn(source, term.column, statement.table);
        inTableOrder = inTableOrder && !term.descending &&
                       column == static_cast<int>(order.size()) &&
                       column < source.orderedColumnCount();
        order.emplace_back(column, term.descending);
    }
    return order;
}

// The numbers of the rows the WHERE keeps; only its column is decoded.
std::vector<int> MatchingRows(Recordset& source, const SelectStatement& statement) {
    const int whereColumn =
        statement.where ? FindColumn(source, statement.where->column, statement.table) : -1;
    std::vector<int> rows;
    const int count = source.recordCount();
    for (int row = 0; row < count; ++row) {
        if (whereColumn >= 0) {
            source.moveTo(row);
            if (!MatchesWhere(source, whereColumn, statement)) {
                continue;
            }
        }
        rows.push_back(row);
    }
    return rows;
}

// Puts `rows` in the terms' order; only the ordering columns are decoded, once per row.
void SortRowNumbers(Recordset& source, const std::vector<OrderColumn>& order,
                    std::vector<int>& rows) {
    std::vector<std::vector<QVariant>> keys(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        source.moveTo(rows[i]);
        for (const auto& term : order) {
            keys[i].push_back(source.value(term.first));
        }
    }
    std::vector<size_t> sequence(rows.size());
    for (size_t i = 0; i < sequence.size(); ++i) {
        sequence[i] = i;
    }
    auto before = [&order, &keys](size_t a, size_t b) {
        for (size_t t = 0; t < order.size(); ++t) {
            const int c = CompareValues(keys[a][t], keys[b][t]);
            if (c != 0) {
                return order[t].second ? c > 0 : c < 0;
            }
        }
        return false;
    };
    if (!std::is_sorted(sequence.begin(), sequence.end(), before)) {
        std::stable_sort(sequence.begin(), sequence.end(), before);
        std::vector<int> sorted;
        sorted.reserve(rows.size());
        for (const size_t i : sequence) {
            sorted.push_back(rows[i]);
        }
        rows = std::move(sorted);
    }
}

}  // namespace

RecordsetPtr RunSelect(Recordset& source, const SelectStatement& statement) {
    std::vector<int> columns = SelectedColumns(source, statement);
    std::vector<FieldInfo> fields;
    for (int column : columns) {
        fields.push_back(source.field(column));
    }
    const int shown = static_cast<int>(columns.size());
    const std::vector<OrderColumn> order = OrderColumns(source, statement, columns);
    std::vector<Row> rows = ReadRows(source, statement, columns, shown);
    if (statement.distinct) {
        SortDistinct(rows, shown);
    }
    if (!order.empty()) {
        auto before = [&order](const Row& a, const Row& b) {
            for (const auto& [column, descending] : order) {
                const int c =
                    CompareValues(a[static_cast<size_t>(column)], b[static_cast<size_t>(column)]);
                if (c != 0) {
                    return descending ? c > 0 : c < 0;
                }
            }
            return false;
        };
        // Keyed tables already come in key order, which is what callers mostly ask for.
        if (!std::is_sorted(rows.begin(), rows.end(), before)) {
            std::stable_sort(rows.begin(), rows.end(), before);
        }
    }
    if (static_cast<int>(columns.size()) > shown) {
        for (Row& row : rows) {
            row.resize(static_cast<size_t>(shown));
        }
    }
    return std::make_unique<MemoryRecordset>(std::move(fields), std::move(rows));
}
RecordsetPtr RunSelect(RecordsetPtr source, const SelectStatement& statement) {
    if (statement.distinct) {
        RecordsetPtr result = RunSelect(*source, statement);
        source->close();
        return result;
    }
    std::vector<int> columns = SelectedColumns(*source, statement);
    bool inTableOrder = true;
    const std::vector<OrderColumn> order = SourceOrder(*source, statement, inTableOrder);
    std::vector<int> rows = MatchingRows(*source, statement);
    if (!order.empty() && !inTableOrder) {
        SortRowNumbers(*source, order, rows);
    }
    return std::make_unique<RowViewRecordset>(std::move(source), std::move(columns),
                                              std::move(rows));
}

}  // namespace converter::sql
