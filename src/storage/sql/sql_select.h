#pragma once

#include "storage/recordset.h"
#include "storage/sql/sql_statement.h"

namespace converter::sql {

// Runs a SELECT over the rows of `source` (a table of any engine) into a read-only recordset.
// DISTINCT returns its rows in ascending order, as the original engine does; NULL sorts first
// and counts as one value. A text compared with a number equals it when it reads as that number.
RecordsetPtr RunSelect(Recordset& source, const SelectStatement& statement);
// The same over a source the result takes over: without DISTINCT the result keeps the source open
// and decodes values only when they are read, so a query costs what its caller reads.
RecordsetPtr RunSelect(RecordsetPtr source, const SelectStatement& statement);

// A text that two values share exactly when CompareValues finds them equal, so that DISTINCT can
// drop repeats while reading instead of sorting every row first.
QString DistinctKey(const QVariant& value);

// Orders two values: NULL first, numbers by value, text without regard to case.
int CompareValues(const QVariant& a, const QVariant& b);

}  // namespace converter::sql
