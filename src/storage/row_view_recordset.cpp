#include "storage/row_view_recordset.h"

#include "common/failure.h"

namespace converter {

RowViewRecordset::RowViewRecordset(RecordsetPtr source, std::vector<int> columns,
                                   std::vector<int> rows)
    : source_(std::move(source)), columns_(std::move(columns)), rows_(std::move(rows)) {}

RowViewRecordset::~RowViewRecordset() {
    try {
        close();
    } catch (...) {
    }
}

const FieldInfo& RowViewRecordset::field(int index) const {
    checkFieldIndex(index);
    return source_->field(columns_[static_cast<size_t>(index)]);
}

QVariant RowViewRecordset::value(int index) const {
    source_->moveTo(rows_[currentRow(index)]);
    return source_->value(columns_[static_cast<size_t>(index)]);
}

OptionalNumber RowViewRecordset::numberValue(int index) const {
    source_->moveTo(rows_[currentRow(index)]);
    return source_->numberValue(columns_[static_cast<size_t>(index)]);
}

void RowViewRecordset::close() {
    if (isOpen()) {
        CursorRecordset::close();
        source_->close();
    }
}

}  // namespace converter
