#include "storage/memory_recordset.h"

#include "common/failure.h"

namespace converter {

MemoryRecordset::MemoryRecordset(std::vector<FieldInfo> fields, std::vector<Row> rows)
    : fields_(std::move(fields)), rows_(std::move(rows)) {}

const FieldInfo& MemoryRecordset::field(int index) const {
    checkFieldIndex(index);
    return fields_[static_cast<size_t>(index)];
}

QVariant MemoryRecordset::value(int index) const {
    const Row& row = rows_[currentRow(index)];
    return static_cast<size_t>(index) < row.size() ? row[static_cast<size_t>(index)] : QVariant();
}

}  // namespace converter
