#pragma once

#include "storage/paradox/paradox_table.h"
#include "storage/recordset.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace converter::paradox {

// The folder's `<tableName>.db`, found regardless of letter case (Cyrillic included); empty when
// there is none.
QString FindTableFile(const QString& folder, const QString& tableName);

// Loads the named table of a folder, with `keep` and `wanted` only the records they accept;
// Failure when it is missing or damaged.
ParadoxTable LoadTable(const QString& folder, const QString& tableName,
                       const ParadoxTable::NumberFilter* keep = nullptr,
                       const RowFilter* wanted = nullptr);

// Opens the named table as a recordset; an updatable one writes the table back on close. A
// read-only one holds only the records `keep` and `wanted` accept, when given: a query over a
// year of a large table then holds that year.
RecordsetPtr OpenTable(const QString& folder, const QString& tableName, bool updatable,
                       const ParadoxTable::NumberFilter* keep = nullptr,
                       const RowFilter* wanted = nullptr);

// Opens the named table's fields as a read-only recordset without rows.
RecordsetPtr OpenTableFields(const QString& folder, const QString& tableName);

// Reads the named table once without holding its rows: `begin` gets its fields (a recordset
// without a current row, called before the first record), then `each` every record in the order
// stored, as a recordset of that one row. Failure, possibly after some records, on damage.
void ScanTable(const QString& folder, const QString& tableName,
               const std::function<void(const Recordset& fields)>& begin,
               const std::function<void(const Recordset& row)>& each);

// Writes a new, empty, unkeyed table; Failure when the table exists, a name repeats or is too
// long, or the fields do not fit a record.
void CreateTable(const QString& folder, const QString& tableName, std::vector<ParadoxField> fields);

// Makes an existing table keyed on `columns`, which must be its leading fields in order.
void CreatePrimaryIndex(const QString& folder, const QString& tableName,
                        const QStringList& columns);

}  // namespace converter::paradox
