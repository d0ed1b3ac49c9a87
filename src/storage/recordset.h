#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace converter {

// Column types of the tables we read and write. Paradox types map one to one; Access columns map
// to the nearest (text, short, long, number, logical, timestamp).
enum class FieldType {
    Text,           // alpha / Access text; size = maximum length in characters
    Short,          // 16-bit signed
    Long,           // 32-bit signed
    AutoIncrement,  // 32-bit signed, read-only
    Number,         // double
    Currency,       // double
    Bcd,            // double
    Logical,
    Date,
    Time,
    Timestamp,
    Memo,   // text held outside the record
    Bytes,  // raw bytes
    Blob    // other binary large objects, read as NULL
};

bool IsNumericType(FieldType type);

// A number read from a row, or blank. Used as std::optional<double> would be; it exists because
// GCC returns that through the stack with a partial write, a stall on every number of a table
// read, while this plain pair comes back in registers.
struct OptionalNumber {
    constexpr OptionalNumber() = default;
    constexpr OptionalNumber(double value) : number(value), present(true) {}  // NOLINT: as optional

    explicit operator bool() const { return present; }
    double operator*() const { return number; }
    double value_or(double blank) const { return present ? number : blank; }

    double number = 0;
    bool present = false;
};

struct FieldInfo {
    QString name;
    FieldType type = FieldType::Text;
    int size = 0;
};

// A scrollable recordset: table rows or a query result. Values are QVariant; a null QVariant is
// NULL (blank). Integers are int, numbers double, text QString, logical bool, dates QDate, times
// QTime, timestamps QDateTime.
//
// Updatable recordsets (a Paradox table opened by name) accept AddNew / setValue / Update: after
// addNew() the new row is edited; without it setValue edits the current row. update() checks and
// stores the row (a Failure refuses it and leaves the table as it was); close() writes the table.
class Recordset {
public:
    virtual ~Recordset() = default;

    virtual int fieldCount() const = 0;
    virtual const FieldInfo& field(int index) const = 0;
    virtual int recordCount() const = 0;

    virtual bool bof() const = 0;
    virtual bool eof() const = 0;
    virtual void moveFirst() = 0;
    virtual void moveLast() = 0;
    virtual void moveNext() = 0;
    virtual void movePrevious() = 0;
    // The current row's number from 0 (recordCount() past the last), and a jump to a row, so
    // that rows known to be in order can be searched instead of walked.
    virtual int position() const = 0;
    virtual void moveTo(int row) = 0;
    // How many leading columns the rows are known to ascend by, in the order CompareValues
    // gives: a keyed table read from its file is in the order of its numeric key.
    virtual int orderedColumnCount() const { return 0; }

    // The current row's value; a Failure when there is no current row or no such field.
    virtual QVariant value(int index) const = 0;
    QVariant valueByName(const QString& name) const;
    // The current row's value of a numeric column (short, long, autoincrement, number,
    // currency) as a number, none when blank; a value of another column when it converts to
    // a number. Tables override it to skip the QVariant.
    virtual OptionalNumber numberValue(int index) const;

    virtual bool isUpdatable() const { return false; }
    virtual void addNew();
    // Converts `value` to the column type: text is parsed (a decimal point or comma), an empty
    // text or a null QVariant is NULL. A value the column cannot hold is a Failure.
    virtual void setValue(int index, const QVariant& value);
    void setValueByName(const QString& name, const QVariant& value);
    // setValue for a number, which tables store without a QVariant.
    virtual void setNumber(int index, double value) { setValue(index, value); }
    virtual void update();
    virtual void cancelUpdate();

    virtual bool isOpen() const = 0;
    virtual void close() = 0;

    // Position of the first field named `name` regardless of case, or -1.
    int indexOf(const QString& name) const;
};

using RecordsetPtr = std::unique_ptr<Recordset>;

// Tells which rows of a table a caller needs, each shown as a recordset of that one row.
using RowFilter = std::function<bool(const Recordset& row)>;

}  // namespace converter
