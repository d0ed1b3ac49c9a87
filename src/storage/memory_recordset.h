#pragma once

#include "storage/cursor_recordset.h"

#include <QList>
#include <vector>

namespace converter {

// A read-only recordset over rows held in memory: query results and Access tables.
class MemoryRecordset : public CursorRecordset {
public:
    using Row = std::vector<QVariant>;

    MemoryRecordset(std::vector<FieldInfo> fields, std::vector<Row> rows);

    int fieldCount() const override { return static_cast<int>(fields_.size()); }
    const FieldInfo& field(int index) const override;
    int recordCount() const override { return static_cast<int>(rows_.size()); }

    QVariant value(int index) const override;

    const std::vector<FieldInfo>& fields() const { return fields_; }
    const std::vector<Row>& rows() const { return rows_; }

private:
    std::vector<FieldInfo> fields_;
    std::vector<Row> rows_;
};

}  // namespace converter
