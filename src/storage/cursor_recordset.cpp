#include "storage/cursor_recordset.h"

#include "common/failure.h"

#include <algorithm>

namespace converter {

void CursorRecordset::moveNext() {
    if (position_ < recordCount()) {
        ++position_;
    }
}

void CursorRecordset::movePrevious() {
    if (position_ >= 0) {
        --position_;
    }
}

void CursorRecordset::moveTo(int row) {
    position_ = std::clamp(row, -1, recordCount());
}

void CursorRecordset::checkFieldIndex(int index) const {
    if (index < 0 || index >= fieldCount()) {
        throw Failure(QStringLiteral("Неверный номер поля: %1").arg(index));
    }
}

size_t CursorRecordset::currentRow(int field) const {
    if (!open_ || bof() || eof()) {
        throw Failure(QStringLiteral("Нет текущей записи"));
    }
    checkFieldIndex(field);
    return static_cast<size_t>(position_);
}

}  // namespace converter
