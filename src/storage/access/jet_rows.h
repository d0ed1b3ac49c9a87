#pragma once

#include "storage/access/jet_table.h"
#include "storage/memory_recordset.h"

#include <vector>

namespace converter::access {

// Every live row of the table in page order, one value per column (columns not `wanted` stay
// null and are not decoded; an empty `wanted` means all). JetDamaged for a row, a moved row or a
// long value that points outside its page or the file, a long value read twice, or a row count
// that disagrees with the definition.
std::vector<MemoryRecordset::Row> ReadRows(const JetFile& file, const JetTableDefinition& table,
                                           const std::vector<bool>& wanted = {});

}  // namespace converter::access
