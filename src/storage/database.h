#pragma once

#include "storage/recordset.h"

#include <QString>

#include <functional>

namespace converter {

class Ui;

// Connection kinds.
inline constexpr int kParadoxFolder = 1;
inline constexpr int kAccessFile = 3;

// Recordset options: what `source` is.
inline constexpr int kSourceSql = 1;
inline constexpr int kSourceTable = 2;

QString BuildConnectionString(int kind, const QString& path);

// Opens a table (name with or without brackets) or runs a SELECT text. Paradox tables opened by
// name are updatable; everything else is read-only. Failures are thrown, never returned.
// `needed`, for a SELECT over a Paradox table, says which of its rows the caller can use: the
// others may be left out as the table is read, so that a large table is not held for a few rows.
// Only a hint: a caller must pass over rows it does not need, which other sources return.
RecordsetPtr OpenRecordset(const QString& connectionString, const QString& source, int options,
                           const RowFilter& needed = {});

// Opens a table (name with or without brackets) read-only for its fields alone: a Paradox table
// holds none of its rows, however large (its file is still read and checked whole).
RecordsetPtr OpenTableFields(const QString& connectionString, const QString& source);

// Reads a table (name with or without brackets) once, record by record: `begin` gets its fields
// before the first record, `each` every record as a recordset of that one row. A Paradox table
// is not held in memory, however large. Failures are thrown, possibly after some records.
void ScanTable(const QString& connectionString, const QString& source,
               const std::function<void(const Recordset& fields)>& begin,
               const std::function<void(const Recordset& row)>& each);

// Closes and releases; swallows every error; harmless on an absent or closed recordset.
void CloseRecordset(RecordsetPtr& recordset);

// Writes the "*" and ORDER BY substitutions back into `columns` and `orderBy`, as callers expect.
QString BuildSelect(const QString& table, QString& columns, const QString& tail, bool distinct,
                    QString& orderBy);

// Runs one CREATE TABLE or CREATE INDEX ... WITH PRIMARY text. Failures are thrown.
void ExecuteStatement(const QString& connectionString, const QString& sqlText);

// Ordinal of the first field named `name` regardless of case; -1 when none or no recordset.
int FindFieldIndex(const QString& name, const Recordset* recordset);

// Shows "Ошибка при подключении к базе" when the recordset is absent.
bool CheckConnected(Ui& ui, const Recordset* recordset);

}  // namespace converter
