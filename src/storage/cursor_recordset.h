#pragma once

#include "storage/recordset.h"

namespace converter {

// The cursor of a read-only recordset whose rows are numbered 0..recordCount()-1 in memory:
// query results and Access tables. Subclasses hold the rows and read the current one.
class CursorRecordset : public Recordset {
public:
    bool bof() const override { return position_ < 0 || recordCount() == 0; }
    bool eof() const override { return position_ >= recordCount() || recordCount() == 0; }
    void moveFirst() override { position_ = 0; }
    void moveLast() override { position_ = recordCount() - 1; }
    void moveNext() override;
    void movePrevious() override;
    int position() const override { return position_; }
    // Clamped to one before the first row and one past the last, as walking would leave it.
    void moveTo(int row) override;

    bool isOpen() const override { return open_; }
    void close() override { open_ = false; }

protected:
    // The current row's number after checking that there is one and that `field` exists; a
    // Failure otherwise.
    size_t currentRow(int field) const;
    // A Failure unless `index` names a field.
    void checkFieldIndex(int index) const;

private:
    int position_ = 0;
    bool open_ = true;
};

}  // namespace converter
