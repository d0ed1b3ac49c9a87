#pragma once

#include "storage/recordset.h"

#include <QString>
#include <QStringList>

namespace converter {

// Reads one table of an Access (.mdb) file into a read-only recordset. The table name matches
// without regard to case, Cyrillic included. A missing file or table, or a damaged file, is a
// Failure.
RecordsetPtr OpenAccessTable(const QString& mdbPath, const QString& tableName);

// The names of the user tables of an Access file, in catalog order. Failures as above.
QStringList AccessTableNames(const QString& mdbPath);

}  // namespace converter
