#pragma once

#include "storage/paradox/paradox_table.h"
#include "storage/recordset.h"

#include <QByteArray>

#include <vector>

namespace converter::paradox {

// A Paradox table opened by name. Rows show in the table's order with new rows after them;
// close() writes the table when it was changed (sorted by key). A pending AddNew or edit that
// was not saved with update() is dropped by addNew(), a move or close(), never saved implicitly:
// callers that ignore a refused row simply go on with the next one.
class ParadoxRecordset final : public Recordset {
public:
    ParadoxRecordset(ParadoxTable table, bool updatable);
    ~ParadoxRecordset() override;

    int fieldCount() const override { return table_.fieldCount(); }
    const FieldInfo& field(int index) const override;
    int recordCount() const override { return table_.rowCount(); }

    bool bof() const override { return position_ < 0 || table_.rowCount() == 0; }
    bool eof() const override { return position_ >= table_.rowCount() || table_.rowCount() == 0; }
    void moveFirst() override;
    void moveLast() override;
    void moveNext() override;
    void movePrevious() override;
    int position() const override { return position_; }
    void moveTo(int row) override;
    int orderedColumnCount() const override;

    QVariant value(int index) const override;
    OptionalNumber numberValue(int index) const override {
        // A numeric field of a stored row, nearly every value read, costs no further call.
        if (mode_ == EditMode::None && open_ && position_ >= 0 && position_ < table_.rowCount() &&
            index >= 0 && index < table_.fieldCount() &&
            ParadoxTable::IsNumberField(table_.fields()[static_cast<size_t>(index)].type)) {
            return table_.decodeNumber(table_.row(position_), index);
        }
        return numberValueChecked(index);
    }

    bool isUpdatable() const override { return updatable_ && !table_.hasBlobFields(); }
    void addNew() override;
    void setValue(int index, const QVariant& value) override;
    void setNumber(int index, double value) override;
    void update() override;
    void cancelUpdate() override;

    bool isOpen() const override { return open_; }
    void close() override;

    const ParadoxTable& table() const { return table_; }

private:
    enum class EditMode { None, Adding, Editing };
    void checkOpen() const {
        if (!open_) {
            refuseClosed();
        }
    }
    [[noreturn]] static void refuseClosed();
    void checkUpdatable() const {
        if (!open_ || !updatable_ || table_.hasBlobFields()) {
            refuseUpdate();
        }
    }
    [[noreturn]] void refuseUpdate() const;
    const char* currentRecord() const;
    // numberValue() for every case: an edit under way, no current row, fields of other types.
    OptionalNumber numberValueChecked(int index) const;
    // The record being edited; once an edit is under way no check is repeated, as every value
    // of a new row comes through here.
    char* editBuffer() { return mode_ != EditMode::None ? buffer_.data() : startEditing(); }
    char* startEditing();
    // setNumber() for every case: the edit started, fractions rounded, refusals, texts.
    void setNumberChecked(int index, double value);

    ParadoxTable table_;
    bool updatable_;
    bool open_ = true;
    bool dirty_ = false;
    int position_ = 0;
    EditMode mode_ = EditMode::None;
    std::vector<char> buffer_;  // kept between rows, so that a row costs no allocation
};

}  // namespace converter::paradox
