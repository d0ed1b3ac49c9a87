#pragma once

#include "storage/recordset.h"

#include <QList>
#include <vector>

namespace converter {

// A read-only recordset over rows held in memory: query results and Access tables.
class MemoryRecordset : public Recordset {
public:
    using Row = std::vector<QVariant>;

    MemoryRecordset(std::vector<FieldInfo> fields, std::vector<Row> rows);

    int fieldCount() const override { return static_cast<int>(fields_.size()); }
    const FieldInfo& field(int index) const override;
    int recordCount() const override { return static_cast<int>(rows_.size()); }

    bool bof() const override { return position_ < 0 || rows_.empty(); }
    bool eof() const override { return position_ >= recordCount() || rows_.empty(); }
    void moveFirst() override { position_ = 0; }
    void moveLast() override { position_ = recordCount() - 1; }
    void moveNext() override;
    void movePrevious() override;
    int position() const override { return position_; }
    void moveTo(int row) override { position_ = row; }

    QVariant value(int index) const override;

    bool isOpen() const override { return open_; }
    void close() override { open_ = false; }

    const std::vector<FieldInfo>& fields() const { return fields_; }
    const std::vector<Row>& rows() const { return rows_; }

private:
    std::vector<FieldInfo> fields_;
    std::vector<Row> rows_;
    int position_ = 0;
    bool open_ = true;
};

}  // namespace converter
