#pragma once

#include "common/recordset.h"

#include <QString>

namespace converter {

// Reads one table of an Access (.mdb) file into a read-only recordset. The table name matches
// without regard to case, Cyrillic included. A missing file or table, or a damaged file, is a
// Failure.
RecordsetPtr OpenAccessTable(const QString& mdbPath, const QString& tableName);

}  // namespace converter
