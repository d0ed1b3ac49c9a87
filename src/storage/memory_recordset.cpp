#include "storage/memory_recordset.h"

#include "common/failure.h"

namespace converter {

MemoryRecordset::MemoryRecordset(std::vector<FieldInfo> fields, std::vector<Row> rows)
    : fields_(std::move(fields)), rows_(std::move(rows)) {}

const FieldInfo& MemoryRecordset::field(int index) const {
    if (index < 0 || index >= fieldCount()) {
        throw Failure(QStringLiteral("Неверный номер поля: %1").arg(index));
    }
    return fields_[static_cast<size_t>(index)];
}

void MemoryRecordset::moveNext() {
    if (position_ < recordCount()) {
        ++position_;
    }
}

void MemoryRecordset::movePrevious() {
    if (position_ >= 0) {
        --position_;
    }
}

QVariant MemoryRecordset::value(int index) const {
    if (!open_ || bof() || eof()) {
        throw Failure(QStringLiteral("Нет текущей записи"));
    }
    field(index);
    const Row& row = rows_[static_cast<size_t>(position_)];
    return static_cast<size_t>(index) < row.size() ? row[static_cast<size_t>(index)] : QVariant();
}

}  // namespace converter
