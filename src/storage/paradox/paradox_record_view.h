#pragma once

#include "storage/cursor_recordset.h"
#include "storage/paradox/paradox_table.h"

namespace converter::paradox {

// One record of a table being read, shown as a recordset of that one row: a scan of a large
// table hands its records over one at a time and holds none of them.
class ParadoxRecordView final : public CursorRecordset {
public:
    explicit ParadoxRecordView(const ParadoxTable& table) : table_(table) {}

    void show(const char* record) {
        record_ = record;
        moveFirst();
    }

    int fieldCount() const override { return table_.fieldCount(); }
    const FieldInfo& field(int index) const override {
        checkFieldIndex(index);
        return table_.fields()[static_cast<size_t>(index)].info;
    }
    int recordCount() const override { return record_ != nullptr ? 1 : 0; }

    QVariant value(int index) const override {
        currentRow(index);
        return table_.decodeValue(record_, index);
    }
    OptionalNumber numberValue(int index) const override {
        currentRow(index);
        if (!ParadoxTable::IsNumberField(table_.fields()[static_cast<size_t>(index)].type)) {
            return Recordset::numberValue(index);
        }
        return table_.decodeNumber(record_, index);
    }

private:
    const ParadoxTable& table_;
    const char* record_ = nullptr;
};

}  // namespace converter::paradox
