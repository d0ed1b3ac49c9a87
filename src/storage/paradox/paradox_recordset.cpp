#include "storage/paradox/paradox_recordset.h"

#include "common/failure.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace converter::paradox {

ParadoxRecordset::ParadoxRecordset(ParadoxTable table, bool updatable)
    : table_(std::move(table)), updatable_(updatable) {}

ParadoxRecordset::~ParadoxRecordset() {
    // The destructor writes too, so that a forgotten close() loses nothing; it must not throw.
    try {
        close();
    } catch (...) {
    }
}

void ParadoxRecordset::refuseClosed() {
    throw Failure(QStringLiteral("Набор записей закрыт"));
}

void ParadoxRecordset::refuseUpdate() const {
    checkOpen();
    if (!updatable_) {
        throw Failure(QStringLiteral("Набор записей только для чтения"));
    }
    if (table_.hasBlobFields()) {
        throw Failure(QStringLiteral("Таблица %1 с полями примечаний не может быть изменена")
                          .arg(QFileInfo(table_.path()).completeBaseName()));
    }
    throw Failure(QStringLiteral("Набор записей только для чтения"));
}

const FieldInfo& ParadoxRecordset::field(int index) const {
    if (index < 0 || index >= fieldCount()) {
        throw Failure(QStringLiteral("Неверный номер поля: %1").arg(index));
    }
    return table_.fields()[static_cast<size_t>(index)].info;
}

void ParadoxRecordset::moveFirst() {
    cancelUpdate();
    position_ = 0;
}

void ParadoxRecordset::moveLast() {
    cancelUpdate();
    position_ = table_.rowCount() - 1;
}

void ParadoxRecordset::moveNext() {
    cancelUpdate();
    if (position_ < table_.rowCount()) {
        ++position_;
    }
}

void ParadoxRecordset::movePrevious() {
    cancelUpdate();
    if (position_ >= 0) {
        --position_;
    }
}

void ParadoxRecordset::moveTo(int row) {
    cancelUpdate();
    position_ = std::clamp(row, -1, table_.rowCount());
}

int ParadoxRecordset::orderedColumnCount() const {
    // Loading puts the records of a numeric key in byte order, which the value encoding makes
    // numeric order; rows added since then are appended unsorted.
    if (dirty_) {
        return 0;
    }
    for (int i = 0; i < table_.keyFieldCount(); ++i) {
        switch (table_.fields()[static_cast<size_t>(i)].type) {
            case kShort:
            case kLong:
            case kAutoIncrement:
            case kNumber:
            case kCurrency:
                break;
            default:
                return 0;
        }
    }
    return table_.keyFieldCount();
}

const char* ParadoxRecordset::currentRecord() const {
    checkOpen();
    if (mode_ != EditMode::None) {
        return buffer_.data();
    }
    if (bof() || eof()) {
        throw Failure(QStringLiteral("Нет текущей записи"));
    }
    return table_.row(position_);
}

QVariant ParadoxRecordset::value(int index) const {
    checkOpen();
    field(index);
    return table_.decodeValue(currentRecord(), index);
}

OptionalNumber ParadoxRecordset::numberValueChecked(int index) const {
    checkOpen();
    field(index);
    if (!ParadoxTable::IsNumberField(table_.fields()[static_cast<size_t>(index)].type)) {
        return Recordset::numberValue(index);
    }
    return table_.decodeNumber(currentRecord(), index);
}

void ParadoxRecordset::addNew() {
    checkUpdatable();
    buffer_.assign(static_cast<size_t>(table_.recordSize()), '\0');
    mode_ = EditMode::Adding;
}

char* ParadoxRecordset::startEditing() {
    checkUpdatable();
    if (bof() || eof()) {
        throw Failure(QStringLiteral("Нет текущей записи"));
    }
    const char* row = table_.row(position_);
    buffer_.assign(row, row + table_.recordSize());
    mode_ = EditMode::Editing;
    return buffer_.data();
}

void ParadoxRecordset::setValue(int index, const QVariant& newValue) {
    table_.encodeValue(editBuffer(), index, newValue);
}

void ParadoxRecordset::setNumber(int index, double newValue) {
    // The common case, an edit under way and a number its field stores as it is, calls nothing.
    if (mode_ == EditMode::None || !table_.encodeNumberFast(buffer_.data(), index, newValue)) {
        setNumberChecked(index, newValue);
    }
}

void ParadoxRecordset::setNumberChecked(int index, double newValue) {
    char* record = editBuffer();
    if (!table_.encodeNumber(record, index, newValue)) {
        table_.encodeValue(record, index, newValue);
    }
}

void ParadoxRecordset::update() {
    checkUpdatable();
    if (mode_ == EditMode::Adding) {
        if (table_.hasAutoIncrementFields()) {
            // Numbered on a copy: a refused row leaves the edit as the caller made it.
            std::vector<char> record = buffer_;
            table_.assignAutoIncrement(record.data());
            table_.appendRow(record.data());
        } else {
            table_.appendRow(buffer_.data());
        }
        position_ = table_.rowCount() - 1;
    } else if (mode_ == EditMode::Editing) {
        table_.replaceRow(position_, buffer_.data());
    } else {
        return;
    }
    mode_ = EditMode::None;
    buffer_.clear();
    dirty_ = true;
}

void ParadoxRecordset::cancelUpdate() {
    mode_ = EditMode::None;
    buffer_.clear();
}

void ParadoxRecordset::close() {
    if (!open_) {
        return;
    }
    cancelUpdate();
    open_ = false;
    if (dirty_) {
        dirty_ = false;
        table_.save();
    }
}

}  // namespace converter::paradox
