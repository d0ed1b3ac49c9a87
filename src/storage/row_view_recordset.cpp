#include "storage/row_view_recordset.h"

#include "common/failure.h"

#include <algorithm>

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
    if (index < 0 || index >= fieldCount()) {
        throw Failure(QStringLiteral("Неверный номер поля: %1").arg(index));
    }
    return source_->field(columns_[static_cast<size_t>(index)]);
}

void RowViewRecordset::moveNext() {
    if (position_ < recordCount()) {
        ++position_;
    }
}

void RowViewRecordset::movePrevious() {
    if (position_ >= 0) {
        --position_;
    }
}

void RowViewRecordset::moveTo(int row) {
    position_ = std::clamp(row, -1, recordCount());
}

QVariant RowViewRecordset::value(int index) const {
    if (!open_ || bof() || eof()) {
        throw Failure(QStringLiteral("Нет текущей записи"));
    }
    field(index);
    source_->moveTo(rows_[static_cast<size_t>(position_)]);
    return source_->value(columns_[static_cast<size_t>(index)]);
}

std::optional<double> RowViewRecordset::numberValue(int index) const {
    if (!open_ || bof() || eof()) {
        throw Failure(QStringLiteral("Нет текущей записи"));
    }
    field(index);
    source_->moveTo(rows_[static_cast<size_t>(position_)]);
    return source_->numberValue(columns_[static_cast<size_t>(index)]);
}

void RowViewRecordset::close() {
    if (open_) {
        open_ = false;
        source_->close();
    }
}

}  // namespace converter
