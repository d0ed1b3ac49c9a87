#pragma once

#include "storage/cursor_recordset.h"

#include <vector>

namespace converter {

// A read-only query result that keeps the table it was selected from and the numbers of the
// chosen rows, and decodes a value only when it is asked for: a query over a large table that
// the caller reads a few rows of costs a few rows.
class RowViewRecordset : public CursorRecordset {
public:
    // `columns` are the source columns shown, in order; `rows` the source rows, in order.
    RowViewRecordset(RecordsetPtr source, std::vector<int> columns, std::vector<int> rows);
    ~RowViewRecordset() override;

    int fieldCount() const override { return static_cast<int>(columns_.size()); }
    const FieldInfo& field(int index) const override;
    int recordCount() const override { return static_cast<int>(rows_.size()); }

    QVariant value(int index) const override;
    OptionalNumber numberValue(int index) const override;

    void close() override;

private:
    RecordsetPtr source_;
    std::vector<int> columns_;
    std::vector<int> rows_;
};

}  // namespace converter
