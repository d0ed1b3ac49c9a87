#pragma once

#include "storage/paradox/code_page.h"
#include "storage/paradox/key_index.h"
#include "storage/paradox/paradox_collation.h"
#include "storage/paradox/value_bytes.h"
#include "storage/recordset.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace converter::paradox {

// Field type codes as they stand in the field descriptors.
enum TypeCode : std::uint8_t {
    kAlpha = 0x01,
    kDate = 0x02,
    kShort = 0x03,
    kLong = 0x04,
    kCurrency = 0x05,
    kNumber = 0x06,
    kLogical = 0x09,
    kMemo = 0x0C,
    kBlob = 0x0D,
    kFormattedMemo = 0x0E,
    kOle = 0x0F,
    kGraphic = 0x10,
    kTime = 0x14,
    kTimestamp = 0x15,
    kAutoIncrement = 0x16,
    kBcd = 0x17,
    kBytes = 0x18,
};

struct ParadoxField {
    QString name;
    std::uint8_t type = kAlpha;
    std::uint8_t sizeByte = 0;  // as in the descriptor (decimals for BCD)
    int length = 0;             // bytes in the record
    int offset = 0;             // within the record
    FieldInfo info;
};

// Bytes a field of this type and descriptor size takes in a record, or 0 when the pair is
// invalid.
int FieldLength(std::uint8_t type, std::uint8_t sizeByte);
ParadoxField MakeField(const QString& name, std::uint8_t type, std::uint8_t sizeByte);

// Language driver of a table: sort byte, code page and driver name travel together.
struct LanguageDriver {
    std::uint8_t sortOrder = 0x8F;
    int codePage = 1251;
    QByteArray id = "ancyrr";
};
LanguageDriver CyrillicDriver();

// One Paradox table held in memory: its fields and its records as raw record bytes, in the
// order the recordset shows them (chain order when read, new records appended). Writing sorts
// keyed tables by key.
class ParadoxTable {
public:
    // Records to keep when a table is read for a query: those whose numeric `field` (named
    // regardless of case) holds `value`.
    struct NumberFilter {
        QString field;
        double value = 0;
    };

    // Reads and validates a .db file (and its .mb for memo text). Failure on any damage. With
    // `keep`, only the matching records are held, the whole file still validated; when the field
    // is missing or not numeric, every record is. A table so read can never be saved.
    // With `wanted`, likewise only the records it accepts (and `keep` matches).
    static ParadoxTable Load(const QString& dbPath, const NumberFilter* keep = nullptr,
                             const RowFilter* wanted = nullptr) {
        return Read(dbPath, keep, nullptr, wanted);
    }
    // The same holding no record: each is handed to `visit` as it is read, for a caller that
    // needs a little of each (or only the fields) of a table that may be large.
    using Visit = std::function<void(const ParadoxTable& table, const char* record)>;
    static ParadoxTable LoadVisiting(const QString& dbPath, const Visit& visit) {
        return Read(dbPath, nullptr, &visit, nullptr);
    }
    // A new, empty, unkeyed table; not written until save().
    ParadoxTable(const QString& dbPath, std::vector<ParadoxField> fields);

    const QString& path() const { return path_; }
    const std::vector<ParadoxField>& fields() const { return fields_; }
    int fieldCount() const { return static_cast<int>(fields_.size()); }
    int recordSize() const { return recordSize_; }
    int keyFieldCount() const { return keyFields_; }
    int keySize() const;
    int rowCount() const { return rowCount_; }
    int version() const { return version_; }
    const LanguageDriver& driver() const { return driver_; }
    bool hasBlobFields() const { return hasBlobFields_; }
    bool hasAutoIncrementFields() const { return !autoIncrementFields_.empty(); }

    const char* row(int index) const {
        return rows_.data() + static_cast<qsizetype>(index) * recordSize_;
    }

    // The value of a field of a record (a row or an edit buffer).
    QVariant decodeValue(const char* record, int field) const;
    // Converts `value` to the field's type and stores it in `record`; Failure when it cannot.
    void encodeValue(char* record, int field, const QVariant& value) const;
    // The same for a number, without a QVariant: false, and nothing written, when the field is
    // not numeric (short, long, autoincrement, number, currency).
    bool encodeNumber(char* record, int field, double value) const {
        return encodeNumberFast(record, field, value) || encodeNumberChecked(record, field, value);
    }
    // Whole numbers into shorts and longs and finite ones into numbers, nearly every value of a
    // table, stored without a call; false, nothing written, for everything else.
    bool encodeNumberFast(char* record, int field, double value) const {
        if (field >= 0 && field < fieldCount()) {
            const ParadoxField& f = fields_[static_cast<size_t>(field)];
            char* p = record + f.offset;
            switch (f.type) {
                case kShort:
                    if (value >= -32767.0 && value <= 32767.0 && static_cast<int>(value) == value) {
                        const auto bits = static_cast<std::uint16_t>(
                            static_cast<std::uint16_t>(static_cast<int>(value)) ^ 0x8000u);
                        p[0] = static_cast<char>(bits >> 8);
                        p[1] = static_cast<char>(bits);
                        return true;
                    }
                    break;
                case kLong:
                    if (value >= -2147483647.0 && value <= 2147483647.0 &&
                        static_cast<int>(value) == value) {
                        EncodeInt32(p, static_cast<int>(value));
                        return true;
                    }
                    break;
                case kNumber:
                case kCurrency:
                    if (std::isfinite(value)) {
                        EncodeDouble(p, value);
                        return true;
                    }
                    break;
                default:
                    break;
            }
        }
        return false;
    }
    // The number in a numeric field, none when blank or when the field is not numeric.
    // Inline, as every number read passes through it; a blank field is all zero bytes.
    OptionalNumber decodeNumber(const char* record, int field) const {
        const ParadoxField& f = fields_[static_cast<size_t>(field)];
        const char* p = record + f.offset;
        switch (f.type) {
            case kShort: {
                const auto bits = static_cast<std::uint16_t>(
                    (static_cast<unsigned char>(p[0]) << 8) | static_cast<unsigned char>(p[1]));
                if (bits == 0) {
                    return {};
                }
                return static_cast<std::int16_t>(bits ^ 0x8000u);
            }
            case kLong:
            case kAutoIncrement:
                if (ReadBe32(p) == 0) {
                    return {};
                }
                return DecodeInt32(p);
            case kNumber:
            case kCurrency:
                if (ReadBe32(p) == 0 && ReadBe32(p + 4) == 0) {
                    return {};
                }
                return DecodeDouble(p);
            default:
                return {};
        }
    }
    static bool IsNumberField(std::uint8_t type) {
        return type == kShort || type == kLong || type == kAutoIncrement || type == kNumber ||
               type == kCurrency;
    }

    // Makes the table keyed on its first `count` fields; Failure on duplicate keys.
    void setKeyFieldCount(int count);
    // Gives blank autoincrement fields of a new record the next number.
    void assignAutoIncrement(char* record);
    // Appends a record or replaces row `index`; Failure (nothing changed) on a duplicate key.
    void appendRow(const char* record);
    void replaceRow(int index, const char* record);

    // Writes .db (and .px when keyed) through temporary files renamed over the old ones.
    void save() const;

private:
    ParadoxTable() = default;
    static ParadoxTable Read(const QString& dbPath, const NumberFilter* keep, const Visit* visit,
                             const RowFilter* wanted);
    void computeLayout();
    void buildKeyIndex();
    void sortByKeyIfNeeded();
    void catchUpAutoIncrement();
    // The field `keep` names if it can filter while reading, else -1.
    int filterField(const NumberFilter* keep) const;
    // Where the index finds the keys of the rows as they are now.
    KeyIndex::Keys keys() const { return {rows_.constData(), recordSize_, keySize()}; }
    QVariant decodeMemo(const char* bytes, int length) const;
    // encodeNumber() for every case: fractions rounded, refusals, autoincrement fields.
    bool encodeNumberChecked(char* record, int field, double value) const;

    QString path_;
    std::vector<ParadoxField> fields_;
    int recordSize_ = 0;
    int keyFields_ = 0;
    int version_ = 0x0C;
    LanguageDriver driver_ = CyrillicDriver();
    QByteArray rows_;
    int rowCount_ = 0;
    bool partial_ = false;  // read with a filter: saving it would drop the other records
    QString memoPath_;      // read a value at a time
    bool memoFileFound_ = false;
    KeyIndex keyIndex_;
    bool keyIndexBuilt_ = false;
    bool hasBlobFields_ = false;
    std::vector<int> autoIncrementFields_;  // so that rows without one pay nothing for them
    qint64 autoIncrement_ = 0;              // the largest number given out, as the header keeps it
    const CodePage* codePage_ = &CodePageFor(1251);
};

// A file beside `path` with the same base name and another extension, found regardless of
// letter case; the lower-case name when none exists.
QString SiblingFile(const QString& path, const QString& extension);

}  // namespace converter::paradox
