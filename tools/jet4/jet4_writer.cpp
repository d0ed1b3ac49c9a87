#include "jet4/jet4_writer.h"

#include <QDate>
#include <QDateTime>
#include <QSaveFile>
#include <QUuid>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

namespace converter {

namespace {

constexpr int kPageSize = 4096;
constexpr int kDataPageHeader = 14;
constexpr int kMaxRowsPerPage = 255;
constexpr int kMapRowSize = 69;
constexpr int kMapPagesCovered = 512;
// A table of more data pages lists bitmap pages instead, each covering this many pages.
constexpr int kBitmapPageCovers = (kPageSize - 4) * 8;
constexpr int kMapRowsPerPage = (kPageSize - kDataPageHeader) / (kMapRowSize + 2);
constexpr int kTablesPerMapPage = kMapRowsPerPage / 2;
constexpr int kColumnEntrySize = 25;
constexpr int kTdefHeaderSize = 0x3F;
constexpr uint32_t kMagic1625 = 1625;
constexpr uint32_t kTablesContainerId = 0x0F000001;
// A fixed creation date keeps the files of one input identical from build to build.
constexpr double kCreationDate = 45292.5;  // 2024-01-01 12:00

enum TypeCode : uint8_t {
    kBoolean = 0x01,
    kByte = 0x02,
    kInteger = 0x03,
    kLong = 0x04,
    kCurrency = 0x05,
    kSingle = 0x06,
    kDouble = 0x07,
    kDateTime = 0x08,
    kText = 0x0A,
    kOle = 0x0B,
    kMemo = 0x0C,
    kGuid = 0x0F,
    kDecimal = 0x10,
};

// Long values: in the row up to this size, else on long-value pages (rows of at most a page).
constexpr int kMaxInlineLong = 64;
constexpr int kMaxLongRow = kPageSize - kDataPageHeader - 2;
constexpr uint32_t kLongInline = 0x80000000u;
constexpr uint32_t kLongOneRow = 0x40000000u;

constexpr int kDecimalPrecision = 18;

[[noreturn]] void Fail(const QString& message) {
    throw Jet4Error(message.toStdString());
}

void Put16(QByteArray& b, int at, uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(QByteArray& b, int at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

void PutDouble(QByteArray& b, int at, double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    Put32(b, at, static_cast<uint32_t>(bits));
    Put32(b, at + 4, static_cast<uint32_t>(bits >> 32));
}

void Append16(QByteArray& b, uint32_t v) {
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>((v >> 8) & 0xFF));
}

QByteArray Ucs2(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar c : text) {
        Append16(bytes, c.unicode());
    }
    return bytes;
}

uint32_t PageRow(int page, int row) {
    return (static_cast<uint32_t>(page) << 8) | static_cast<uint32_t>(row);
}

void Rc4(QByteArray& b, int at, int length, const std::array<uint8_t, 4>& key) {
    std::array<uint8_t, 256> s{};
    for (int i = 0; i < 256; ++i) {
        s[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    }
    for (size_t i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % key.size()]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    size_t i = 0, j = 0;
    for (int n = 0; n < length; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        b[at + n] = static_cast<char>(static_cast<uint8_t>(b[at + n]) ^ s[(s[i] + s[j]) & 0xFF]);
    }
}

double DateToJet(const QVariant& value, bool* ok) {
    QDate date;
    QTime time(0, 0);
    if (value.userType() == QMetaType::QDate) {
        date = value.toDate();
    } else if (value.userType() == QMetaType::QDateTime) {
        date = value.toDateTime().date();
        time = value.toDateTime().time();
    } else {
        date = QDate::fromString(value.toString(), Qt::ISODate);
    }
    *ok = date.isValid() && time.isValid();
    const auto days = static_cast<double>(QDate(1899, 12, 30).daysTo(date));
    const double fraction = time.msecsSinceStartOfDay() / 86400000.0;
    // Before the epoch the time of day still counts away from zero, as Access stores it.
    return days < 0 ? days - fraction : days + fraction;
}

// A column as stored: its code, where it sits in the row and how long its values may be.
struct StoredColumn {
    QString name;
    uint8_t code = kText;
    int number = 0;
    int varIndex = -1;  // -1 for fixed columns
    int fixedOffset = 0;
    int byteLength = 0;
    int scale = 0;  // Decimal only
    bool nullable = true;
};

// A long value kept off the row: the row and place of its 12-byte definition, and its bytes.
struct PendingLong {
    size_t row = 0;
    int at = 0;
    QByteArray data;
};

struct StoredTable {
    QString name;
    bool system = false;
    std::vector<StoredColumn> columns;
    int fixedSize = 0;
    int varCount = 0;
    std::vector<QByteArray> rows;
    std::vector<PendingLong> longs;
    // Filled by the page plan.
    int tdefPage = 0;
    int mapPage = 0;
    int mapRow = 0;  // used-pages map; the free-space map is the next row
    int firstDataPage = 0;
    std::vector<std::pair<int, int>> bitmapPages;  // (stretch of the file, page) for big tables
    std::vector<std::vector<int>> pages;           // row indexes per data page
};

// The type code and stored length of a column of one of the plain fixed-length types.
struct FixedType {
    TypeCode code;
    int byteLength;
};
std::optional<FixedType> PlainFixedType(Jet4Type type) {
    switch (type) {
        case Jet4Type::Byte:
            return FixedType{kByte, 1};
        case Jet4Type::Integer:
            return FixedType{kInteger, 2};
        case Jet4Type::Long:
            return FixedType{kLong, 4};
        case Jet4Type::Double:
            return FixedType{kDouble, 8};
        case Jet4Type::Single:
            return FixedType{kSingle, 4};
        case Jet4Type::Currency:
            return FixedType{kCurrency, 8};
        case Jet4Type::Guid:
            return FixedType{kGuid, 16};
        case Jet4Type::DateTime:
            return FixedType{kDateTime, 8};
        default:
            return std::nullopt;
    }
}

StoredColumn MakeColumn(const Jet4Column& column, int number, int& fixedOffset, int& varCount) {
    StoredColumn c;
    c.name = column.name;
    c.number = number;
    c.fixedOffset = fixedOffset;
    if (const auto fixed = PlainFixedType(column.type)) {
        c.code = fixed->code;
        c.byteLength = fixed->byteLength;
    } else if (column.type == Jet4Type::Boolean) {
        c.code = kBoolean;
        c.byteLength = 1;
        return c;  // lives in the null bitmap
    } else if (column.type == Jet4Type::Memo || column.type == Jet4Type::Ole) {
        c.code = column.type == Jet4Type::Memo ? kMemo : kOle;
        c.varIndex = varCount++;
        return c;
    } else if (column.type == Jet4Type::Decimal) {
        if (column.size < 0 || column.size > kDecimalPrecision) {
            Fail(QStringLiteral("decimal column %1 needs a scale of 0 to %2, not %3")
                     .arg(column.name)
                     .arg(kDecimalPrecision)
                     .arg(column.size));
        }
        c.code = kDecimal;
        c.byteLength = 17;
        c.scale = column.size;
    } else {  // Text
        if (column.size < 1 || column.size > 255) {
            Fail(QStringLiteral("text column %1 needs a length of 1 to 255, not %2")
                     .arg(column.name)
                     .arg(column.size));
        }
        c.code = kText;
        c.byteLength = 2 * column.size;
        c.varIndex = varCount++;
        return c;
    }
    fixedOffset += c.byteLength;
    return c;
}

void CheckName(const QString& name, const QString& what) {
    if (name.isEmpty() || name.size() > 64) {
        Fail(QStringLiteral("%1 name \"%2\" must have 1 to 64 characters").arg(what, name));
    }
    for (QChar c : name) {
        if (c.isSurrogate() || c.unicode() < 0x20) {
            Fail(QStringLiteral("%1 name \"%2\" holds a character that cannot be stored")
                     .arg(what, name));
        }
    }
}

// Where a value sits, for the message that refuses it.
struct CellPlace {
    const StoredTable& table;
    int rowNumber;
    const StoredColumn& column;
};

[[noreturn]] void FailCell(const CellPlace& at, const QString& why) {
    Fail(QStringLiteral("table %1, row %2, column %3: %4")
             .arg(at.table.name)
             .arg(at.rowNumber)
             .arg(at.column.name, why));
}

void PutInteger(QByteArray& fixed, const QVariant& value, const CellPlace& at) {
    const StoredColumn& c = at.column;
    bool ok = true;
    const qlonglong v = value.toLongLong(&ok);
    const qlonglong low = c.code == kByte ? 0 : c.code == kInteger ? -32768 : INT32_MIN;
    const qlonglong high = c.code == kByte ? 255 : c.code == kInteger ? 32767 : INT32_MAX;
    if (!ok || v < low || v > high) {
        FailCell(at, QStringLiteral("\"%1\" is not an integer from %2 to %3")
                         .arg(value.toString())
                         .arg(low)
                         .arg(high));
    }
    const auto bits = static_cast<uint32_t>(static_cast<int32_t>(v));
    if (c.code == kByte) {
        fixed[c.fixedOffset] = static_cast<char>(bits & 0xFF);
    } else if (c.code == kInteger) {
        Put16(fixed, c.fixedOffset, bits & 0xFFFF);
    } else {
        Put32(fixed, c.fixedOffset, bits);
    }
}

// A sign byte, then the scaled magnitude as 128 bits: four little-endian 32-bit words, the most
// significant first. 64 bits are enough here.
// A decimal given as text keeps every digit; a number goes through its double.
bool ScaledDecimal(const QVariant& value, int scale, uint64_t* magnitude, bool* negative) {
    if (value.userType() == QMetaType::QString) {
        QString text = value.toString().trimmed();
        *negative = text.startsWith(QLatin1Char('-'));
        if (*negative || text.startsWith(QLatin1Char('+'))) {
            text.remove(0, 1);
        }
        const qsizetype point = text.indexOf(QLatin1Char('.'));
        QString fraction = point < 0 ? QString() : text.mid(point + 1);
        const QString whole = point < 0 ? text : text.left(point);
        if (fraction.size() > scale || whole.isEmpty() || whole.contains(QLatin1Char('-'))) {
            return false;
        }
        fraction = fraction.leftJustified(scale, QLatin1Char('0'));
        bool ok = false;
        *magnitude = (whole + fraction).toULongLong(&ok);
        return ok && *magnitude < 1000000000000000000ULL;
    }
    bool ok = true;
    const double v = value.toDouble(&ok) * std::pow(10.0, scale);
    *negative = v < 0;
    *magnitude = ok && std::isfinite(v) && std::fabs(v) < 9.2e18
                     ? static_cast<uint64_t>(std::llround(std::fabs(v)))
                     : 0;
    return ok && std::isfinite(v) && std::fabs(v) < 9.2e18;
}

void PutDecimal(QByteArray& fixed, const QVariant& value, const CellPlace& at) {
    const StoredColumn& c = at.column;
    uint64_t magnitude = 0;
    bool negative = false;
    if (!ScaledDecimal(value, c.scale, &magnitude, &negative)) {
        FailCell(at, QStringLiteral("\"%1\" is not a decimal of 18 digits").arg(value.toString()));
    }
    fixed[c.fixedOffset] = static_cast<char>(negative ? 0x80 : 0x00);
    Put32(fixed, c.fixedOffset + 9, static_cast<uint32_t>(magnitude >> 32));
    Put32(fixed, c.fixedOffset + 13, static_cast<uint32_t>(magnitude));
}

QByteArray TextValue(const QVariant& value, const CellPlace& at) {
    const QString text = value.toString();
    if (at.column.code == kText && text.size() * 2 > at.column.byteLength) {
        FailCell(at, QStringLiteral("\"%1\" is longer than %2 characters")
                         .arg(text)
                         .arg(at.column.byteLength / 2));
    }
    for (QChar ch : text) {
        if (ch.isSurrogate() || ch.unicode() == 0) {
            FailCell(at,
                     QStringLiteral("\"%1\" holds a character that cannot be stored").arg(text));
        }
    }
    return Ucs2(text);
}

void PutNumber(QByteArray& fixed, const QVariant& value, const CellPlace& at) {
    bool ok = true;
    const double v = value.toDouble(&ok);
    const int offset = at.column.fixedOffset;
    if (!ok || (at.column.code == kCurrency && !(std::fabs(v) < 9.2e14))) {
        FailCell(at, QStringLiteral("\"%1\" is not a number").arg(value.toString()));
    }
    if (at.column.code == kSingle) {
        const auto f = static_cast<float>(v);
        uint32_t bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        Put32(fixed, offset, bits);
    } else if (at.column.code == kCurrency) {
        const auto scaled = static_cast<uint64_t>(std::llround(v * 10000.0));
        Put32(fixed, offset, static_cast<uint32_t>(scaled));
        Put32(fixed, offset + 4, static_cast<uint32_t>(scaled >> 32));
    } else {
        PutDouble(fixed, offset, v);
    }
}

// A GUID as Access keeps it: three little-endian numbers, then eight bytes in order.
void PutGuid(QByteArray& fixed, const QVariant& value, const CellPlace& at) {
    const QUuid id =
        value.userType() == QMetaType::QUuid ? value.toUuid() : QUuid::fromString(value.toString());
    if (id.isNull()) {
        FailCell(at, QStringLiteral("\"%1\" is not a GUID").arg(value.toString()));
    }
    const int offset = at.column.fixedOffset;
    Put32(fixed, offset, id.data1);
    Put16(fixed, offset + 4, id.data2);
    Put16(fixed, offset + 6, id.data3);
    for (int i = 0; i < 8; ++i) {
        fixed[offset + 8 + i] = static_cast<char>(id.data4[i]);
    }
}

// The 12-byte definition of a memo or OLE value: its length and where it lies, followed by the
// value itself when short. The page and row of a value kept elsewhere come later.
QByteArray LongValue(const QVariant& value, const CellPlace& at, QByteArray* data) {
    *data = at.column.code == kMemo ? TextValue(value, at) : value.toByteArray();
    if (data->size() > 0xFFFFFF) {
        FailCell(at, QStringLiteral("a long value of more than 16 MiB"));
    }
    const auto length = static_cast<uint32_t>(data->size());
    QByteArray definition(12, '\0');
    if (data->size() <= kMaxInlineLong) {
        Put32(definition, 0, length | kLongInline);
        definition.append(*data);
        data->clear();
    } else {
        Put32(definition, 0, length | (data->size() <= kMaxLongRow ? kLongOneRow : 0));
    }
    return definition;
}

// Puts a present, non-Boolean value into the fixed part or its variable slot.
void EncodeValue(const QVariant& value, const CellPlace& at, QByteArray& fixed,
                 std::vector<QByteArray>& variable) {
    const StoredColumn& c = at.column;
    bool ok = true;
    switch (c.code) {
        case kByte:
        case kInteger:
        case kLong:
            PutInteger(fixed, value, at);
            break;
        case kDouble: {
            const double v = value.toDouble(&ok);
            if (!ok) {
                FailCell(at, QStringLiteral("\"%1\" is not a number").arg(value.toString()));
            }
            PutDouble(fixed, c.fixedOffset, v);
            break;
        }
        case kDecimal:
            PutDecimal(fixed, value, at);
            break;
        case kSingle:
        case kCurrency:
            PutNumber(fixed, value, at);
            break;
        case kGuid:
            PutGuid(fixed, value, at);
            break;
        case kDateTime: {
            const double v = DateToJet(value, &ok);
            if (!ok) {
                FailCell(at, QStringLiteral("\"%1\" is not a date").arg(value.toString()));
            }
            PutDouble(fixed, c.fixedOffset, v);
            break;
        }
        default:
            variable[static_cast<size_t>(c.varIndex)] = TextValue(value, at);
            break;
    }
}

// The row as a data page holds it: column count, fixed part, variable values, their end and
// start offsets (last first) and count, then the null bitmap.
QByteArray AssembleRow(const StoredTable& table, const QByteArray& fixed,
                       const std::vector<QByteArray>& variable, const QByteArray& bitmap,
                       std::vector<int>& starts) {
    QByteArray row;
    Append16(row, static_cast<uint32_t>(table.columns.size()));
    row.append(fixed);
    if (table.varCount > 0) {
        for (const QByteArray& v : variable) {
            starts.push_back(static_cast<int>(row.size()));
            row.append(v);
        }
        Append16(row, static_cast<uint32_t>(row.size()));
        for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
            Append16(row, static_cast<uint32_t>(*it));
        }
        Append16(row, static_cast<uint32_t>(table.varCount));
    }
    row.append(bitmap);
    return row;
}

// `longs` gets the long values the row keeps elsewhere, as row `rowNumber` - 1 of the table.
QByteArray EncodeRow(const StoredTable& table, const std::vector<QVariant>& values, int rowNumber,
                     std::vector<PendingLong>* longs = nullptr) {
    const int columnCount = static_cast<int>(table.columns.size());
    if (static_cast<int>(values.size()) > columnCount) {
        Fail(QStringLiteral("row %1 of table %2 has %3 values for %4 columns")
                 .arg(rowNumber)
                 .arg(table.name)
                 .arg(values.size())
                 .arg(columnCount));
    }
    QByteArray fixed(table.fixedSize, '\0');
    std::vector<QByteArray> variable(static_cast<size_t>(table.varCount));
    std::vector<QByteArray> kept(static_cast<size_t>(table.varCount));
    QByteArray bitmap((columnCount + 7) / 8, '\0');
    for (const StoredColumn& c : table.columns) {
        const QVariant value = c.number < static_cast<int>(values.size())
                                   ? values[static_cast<size_t>(c.number)]
                                   : QVariant();
        bool present = !value.isNull();
        if (c.code == kBoolean) {
            present = present && value.toBool();
        } else if (present && (c.code == kMemo || c.code == kOle) && longs != nullptr) {
            variable[static_cast<size_t>(c.varIndex)] =
                LongValue(value, {table, rowNumber, c}, &kept[static_cast<size_t>(c.varIndex)]);
        } else if (present) {
            EncodeValue(value, {table, rowNumber, c}, fixed, variable);
        }
        if (present) {
            bitmap[c.number / 8] = static_cast<char>(bitmap[c.number / 8] | (1 << (c.number % 8)));
        }
    }
    std::vector<int> starts;
    const QByteArray row = AssembleRow(table, fixed, variable, bitmap, starts);
    for (size_t v = 0; v < kept.size(); ++v) {
        if (!kept[v].isEmpty()) {
            longs->push_back({static_cast<size_t>(rowNumber) - 1, starts[v], kept[v]});
        }
    }
    if (row.size() > kPageSize - kDataPageHeader - 2) {
        Fail(QStringLiteral("row %1 of table %2 needs %3 bytes, more than a page holds")
                 .arg(rowNumber)
                 .arg(table.name)
                 .arg(row.size()));
    }
    return row;
}

StoredTable MakeTable(const QString& name, const std::vector<Jet4Column>& columns, bool system) {
    CheckName(name, QStringLiteral("table"));
    if (columns.empty() || columns.size() > 255) {
        Fail(QStringLiteral("table %1 needs 1 to 255 columns").arg(name));
    }
    StoredTable t;
    t.name = name;
    t.system = system;
    int fixedOffset = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        CheckName(columns[i].name, QStringLiteral("column"));
        for (size_t j = 0; j < i; ++j) {
            if (columns[j].name.compare(columns[i].name, Qt::CaseInsensitive) == 0) {
                Fail(
                    QStringLiteral("table %1 has two columns named %2").arg(name, columns[i].name));
            }
        }
        t.columns.push_back(MakeColumn(columns[i], static_cast<int>(i), fixedOffset, t.varCount));
    }
    t.fixedSize = fixedOffset;
    return t;
}

// Splits the rows into pages: packed from the page end, at most 255 a page.
std::vector<std::vector<int>> PlanPages(const StoredTable& t) {
    std::vector<std::vector<int>> pages;
    int used = kDataPageHeader;
    for (size_t i = 0; i < t.rows.size(); ++i) {
        const int need = static_cast<int>(t.rows[i].size()) + 2;
        if (pages.empty() || used + need > kPageSize ||
            static_cast<int>(pages.back().size()) >= kMaxRowsPerPage) {
            pages.emplace_back();
            used = kDataPageHeader;
        }
        pages.back().push_back(static_cast<int>(i));
        used += need;
    }
    return pages;
}

QByteArray DataPage(uint32_t owner, const std::vector<QByteArray>& rows) {
    QByteArray page(kPageSize, '\0');
    page[0] = 0x01;
    page[1] = 0x01;
    Put32(page, 4, owner);
    Put16(page, 0x0C, static_cast<uint32_t>(rows.size()));
    int end = kPageSize;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int start = end - static_cast<int>(rows[i].size());
        std::memcpy(page.data() + start, rows[i].constData(), static_cast<size_t>(rows[i].size()));
        Put16(page, kDataPageHeader + 2 * static_cast<int>(i), static_cast<uint32_t>(start));
        end = start;
    }
    Put16(page, 2,
          static_cast<uint32_t>(end - (kDataPageHeader + 2 * static_cast<int>(rows.size()))));
    return page;
}

QByteArray MapRow(const StoredTable& t) {
    QByteArray row(kMapRowSize, '\0');
    if (!t.bitmapPages.empty()) {
        row[0] = 0x01;
        for (const auto& [stretch, page] : t.bitmapPages) {
            Put32(row, 1 + 4 * stretch, static_cast<uint32_t>(page));
        }
    } else if (!t.pages.empty()) {
        Put32(row, 1, static_cast<uint32_t>(t.firstDataPage));
        for (size_t i = 0; i < t.pages.size(); ++i) {
            row[5 + static_cast<int>(i / 8)] =
                static_cast<char>(row[5 + static_cast<int>(i / 8)] | (1 << (i % 8)));
        }
    }
    return row;
}

QByteArray TdefPage(const StoredTable& t) {
    QByteArray page(kPageSize, '\0');
    const int columnCount = static_cast<int>(t.columns.size());
    page[0] = 0x02;
    page[1] = 0x01;
    Put32(page, 0x0C, kMagic1625);
    Put32(page, 0x10, static_cast<uint32_t>(t.rows.size()));
    page[0x18] = 0x01;
    page[0x28] = static_cast<char>(t.system ? 0x53 : 0x4E);
    Put16(page, 0x29, static_cast<uint32_t>(columnCount));
    Put16(page, 0x2B, static_cast<uint32_t>(t.varCount));
    Put16(page, 0x2D, static_cast<uint32_t>(columnCount));
    Put32(page, 0x37, PageRow(t.mapPage, t.mapRow));
    Put32(page, 0x3B, PageRow(t.mapPage, t.mapRow + 1));

    int at = kTdefHeaderSize;
    for (const StoredColumn& c : t.columns) {
        page[at] = static_cast<char>(c.code);
        Put32(page, at + 1, kMagic1625);
        Put16(page, at + 5, static_cast<uint32_t>(c.number));
        Put16(page, at + 7, static_cast<uint32_t>(c.varIndex < 0 ? 0 : c.varIndex));
        Put16(page, at + 9, static_cast<uint32_t>(c.number));
        if (c.code == kText) {
            Put16(page, at + 11, 0x0409);
        } else if (c.code == kDecimal) {
            page[at + 11] = static_cast<char>(kDecimalPrecision);
            page[at + 12] = static_cast<char>(c.scale);
        }
        const bool fixed = c.varIndex < 0;
        page[at + 15] = static_cast<char>(fixed ? 0x03 : 0x02);
        Put16(page, at + 21, static_cast<uint32_t>(fixed ? c.fixedOffset : 0));
        Put16(page, at + 23, static_cast<uint32_t>(c.byteLength));
        at += kColumnEntrySize;
    }
    QByteArray tail;
    for (const StoredColumn& c : t.columns) {
        const QByteArray name = Ucs2(c.name);
        Append16(tail, static_cast<uint32_t>(name.size()));
        tail.append(name);
    }
    for (const StoredColumn& c : t.columns) {
        if (c.code == kOle || c.code == kMemo) {
            Append16(tail, static_cast<uint32_t>(c.number));
            QByteArray pointers(8, '\0');
            Put32(pointers, 0, PageRow(t.mapPage, t.mapRow));
            Put32(pointers, 4, PageRow(t.mapPage, t.mapRow + 1));
            tail.append(pointers);
        }
    }
    Append16(tail, 0xFFFF);
    const int tdefLength = at + static_cast<int>(tail.size());
    if (tdefLength + 8 > kPageSize) {
        Fail(QStringLiteral("the definition of table %1 does not fit one page").arg(t.name));
    }
    std::memcpy(page.data() + at, tail.constData(), static_cast<size_t>(tail.size()));
    Put16(page, 2, static_cast<uint32_t>(kPageSize - tdefLength - 8));
    Put32(page, 8, static_cast<uint32_t>(tdefLength));
    return page;
}

QByteArray HeaderPage(uint32_t databaseKey) {
    QByteArray page(kPageSize, '\0');
    page[1] = 0x01;
    std::memcpy(page.data() + 4, "Standard Jet DB", 16);
    page[0x14] = 0x01;
    Put16(page, 0x3C, 1252);
    const auto mask = static_cast<uint32_t>(static_cast<int32_t>(std::floor(kCreationDate)));
    for (int i = 0; i < 10; ++i) {
        Put32(page, 0x42 + 4 * i, mask);
    }
    Put32(page, 0x3E, databaseKey);
    Put16(page, 0x6E, 0x0409);
    PutDouble(page, 0x72, kCreationDate);
    Rc4(page, 0x18, 128, {0xC7, 0xDA, 0x39, 0x6B});
    return page;
}

StoredTable SystemCatalog() {
    return MakeTable(QStringLiteral("MSysObjects"),
                     {{QStringLiteral("Id"), Jet4Type::Long},
                      {QStringLiteral("ParentId"), Jet4Type::Long},
                      {QStringLiteral("Name"), Jet4Type::Text, 255},
                      {QStringLiteral("Type"), Jet4Type::Integer},
                      {QStringLiteral("DateCreate"), Jet4Type::DateTime},
                      {QStringLiteral("DateUpdate"), Jet4Type::DateTime},
                      {QStringLiteral("Flags"), Jet4Type::Long},
                      // Readers that walk the full catalog insist on this column; always NULL.
                      {QStringLiteral("LvProp"), Jet4Type::Text, 1}},
                     true);
}

// The catalog first, then each table with its rows encoded.
std::vector<StoredTable> EncodeTables(const std::vector<Jet4Table>& tables) {
    std::vector<StoredTable> stored;
    stored.push_back(SystemCatalog());
    {
        // LvProp is an OLE column of no length; MakeTable only knows the writable types.
        StoredColumn& lvProp = stored[0].columns.back();
        lvProp.code = kOle;
        lvProp.byteLength = 0;
    }
    for (size_t i = 0; i < tables.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (tables[j].name.compare(tables[i].name, Qt::CaseInsensitive) == 0) {
                Fail(QStringLiteral("two tables are named %1").arg(tables[i].name));
            }
        }
        stored.push_back(MakeTable(tables[i].name, tables[i].columns, false));
        StoredTable& t = stored.back();
        t.rows.reserve(tables[i].rows.size());
        for (size_t r = 0; r < tables[i].rows.size(); ++r) {
            t.rows.push_back(EncodeRow(t, tables[i].rows[r], static_cast<int>(r) + 1, &t.longs));
        }
    }
    return stored;
}

struct PagePlan {
    std::vector<int> mapPages;
    int pageCount = 0;
    std::vector<std::vector<QByteArray>> longPages;  // rows of the long-value pages, last pages
};

// Header, first map page, catalog definition, more map pages, user definitions; each table's
// map rows on the map page of its group.
PagePlan PlanDefinitionPages(std::vector<StoredTable>& stored) {
    PagePlan plan;
    const int tableCount = static_cast<int>(stored.size());
    const int mapPageCount = (tableCount + kTablesPerMapPage - 1) / kTablesPerMapPage;
    plan.mapPages.push_back(1);
    for (int i = 1; i < mapPageCount; ++i) {
        plan.mapPages.push_back(2 + i);
    }
    plan.pageCount = 2 + mapPageCount;
    for (int i = 0; i < tableCount; ++i) {
        StoredTable& t = stored[static_cast<size_t>(i)];
        t.tdefPage = i == 0 ? 2 : plan.pageCount++;
        t.mapPage = plan.mapPages[static_cast<size_t>(i / kTablesPerMapPage)];
        t.mapRow = 2 * (i % kTablesPerMapPage);
    }
    return plan;
}

// The catalog rows depend only on the definition pages, so they follow the definition plan.
void AddCatalogRows(std::vector<StoredTable>& stored) {
    StoredTable& catalog = stored[0];
    const QDateTime created(QDate(2024, 1, 1), QTime(12, 0));  // kCreationDate
    for (const StoredTable& t : stored) {
        const auto flags = static_cast<int32_t>(t.system ? 0x80000002u : 0u);
        catalog.rows.push_back(EncodeRow(catalog,
                                         {t.tdefPage, static_cast<qlonglong>(kTablesContainerId),
                                          t.name, 1, created, created, flags},
                                         static_cast<int>(catalog.rows.size()) + 1));
    }
}

// The data pages of the catalog and of each table, after the definitions.
void PlanDataPages(std::vector<StoredTable>& stored, PagePlan& plan) {
    for (StoredTable& t : stored) {
        t.pages = PlanPages(t);
        t.firstDataPage = plan.pageCount;
        plan.pageCount += static_cast<int>(t.pages.size());
    }
    // Bitmap pages, after all data pages, for tables the map row cannot hold.
    for (StoredTable& t : stored) {
        if (static_cast<int>(t.pages.size()) <= kMapPagesCovered) {
            continue;
        }
        const int last = t.firstDataPage + static_cast<int>(t.pages.size()) - 1;
        for (int stretch = t.firstDataPage / kBitmapPageCovers; stretch <= last / kBitmapPageCovers;
             ++stretch) {
            if (1 + 4 * (stretch + 1) > kMapRowSize) {
                Fail(QStringLiteral("table %1 lies beyond what its map can list").arg(t.name));
            }
            t.bitmapPages.emplace_back(stretch, plan.pageCount++);
        }
    }
}

QByteArray BitmapPage(const StoredTable& t, int stretch) {
    QByteArray page(kPageSize, '\0');
    page[0] = 0x05;
    page[1] = 0x01;
    for (size_t i = 0; i < t.pages.size(); ++i) {
        const int bit = t.firstDataPage + static_cast<int>(i) - stretch * kBitmapPageCovers;
        if (bit >= 0 && bit < kBitmapPageCovers) {
            page[4 + bit / 8] = static_cast<char>(page[4 + bit / 8] | (1 << (bit % 8)));
        }
    }
    return page;
}

// Puts every long value kept off its row on long-value pages after the data (one row when it fits
// one, else a chain of rows each starting with the next one's page and row), and writes where it
// went into its definition in the row.
void PlaceLongValues(std::vector<StoredTable>& stored, PagePlan& plan) {
    int used = kPageSize;
    auto addRow = [&](const QByteArray& row) {
        if (plan.longPages.empty() || used + static_cast<int>(row.size()) + 2 > kPageSize ||
            plan.longPages.back().size() >= static_cast<size_t>(kMaxRowsPerPage)) {
            plan.longPages.emplace_back();
            used = kDataPageHeader;
        }
        plan.longPages.back().push_back(row);
        used += static_cast<int>(row.size()) + 2;
        return PageRow(plan.pageCount + static_cast<int>(plan.longPages.size()) - 1,
                       static_cast<int>(plan.longPages.back().size()) - 1);
    };
    for (StoredTable& t : stored) {
        for (const PendingLong& value : t.longs) {
            uint32_t first = 0;
            if (value.data.size() <= kMaxLongRow) {
                first = addRow(value.data);
            } else {
                // The chain is written last chunk first, so each row knows the next.
                const int chunk = kMaxLongRow - 4;
                uint32_t next = 0;
                for (qsizetype from = (value.data.size() - 1) / chunk * chunk; from >= 0;
                     from -= chunk) {
                    QByteArray row(4, '\0');
                    Put32(row, 0, next);
                    row.append(value.data.mid(from, chunk));
                    next = addRow(row);
                }
                first = next;
            }
            Put32(t.rows[value.row], value.at + 4, first);
        }
    }
    plan.pageCount += static_cast<int>(plan.longPages.size());
}

QByteArray WriteImage(const std::vector<StoredTable>& stored, const PagePlan& plan,
                      uint32_t databaseKey) {
    QByteArray file(static_cast<qsizetype>(plan.pageCount) * kPageSize, '\0');
    auto place = [&](int pageNumber, const QByteArray& page) {
        std::memcpy(file.data() + static_cast<qsizetype>(pageNumber) * kPageSize, page.constData(),
                    kPageSize);
    };
    place(0, HeaderPage(databaseKey));
    for (size_t m = 0; m < plan.mapPages.size(); ++m) {
        std::vector<QByteArray> mapRows;
        for (size_t i = m * kTablesPerMapPage; i < stored.size() && i < (m + 1) * kTablesPerMapPage;
             ++i) {
            mapRows.push_back(MapRow(stored[i]));
            mapRows.push_back(MapRow(stored[i]));
        }
        place(plan.mapPages[m], DataPage(0, mapRows));
    }
    for (const StoredTable& t : stored) {
        for (const auto& [stretch, page] : t.bitmapPages) {
            place(page, BitmapPage(t, stretch));
        }
        place(t.tdefPage, TdefPage(t));
        for (size_t p = 0; p < t.pages.size(); ++p) {
            std::vector<QByteArray> rows;
            for (int r : t.pages[p]) {
                rows.push_back(t.rows[static_cast<size_t>(r)]);
            }
            place(t.firstDataPage + static_cast<int>(p),
                  DataPage(static_cast<uint32_t>(t.tdefPage), rows));
        }
    }
    const int firstLongPage = plan.pageCount - static_cast<int>(plan.longPages.size());
    for (size_t p = 0; p < plan.longPages.size(); ++p) {
        QByteArray page = DataPage(0, plan.longPages[p]);
        std::memcpy(page.data() + 4, "LVAL", 4);
        place(firstLongPage + static_cast<int>(p), page);
    }
    // A database key encodes every page after the header with RC4 keyed by the key ^ the page.
    for (int p = 1; databaseKey != 0 && p < plan.pageCount; ++p) {
        const uint32_t k = databaseKey ^ static_cast<uint32_t>(p);
        Rc4(file, p * kPageSize, kPageSize,
            {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k >> 16),
             static_cast<uint8_t>(k >> 24)});
    }
    return file;
}

}  // namespace

QByteArray BuildJet4Database(const std::vector<Jet4Table>& tables, uint32_t databaseKey) {
    std::vector<StoredTable> stored = EncodeTables(tables);
    PagePlan plan = PlanDefinitionPages(stored);
    AddCatalogRows(stored);
    PlanDataPages(stored, plan);
    PlaceLongValues(stored, plan);
    return WriteImage(stored, plan, databaseKey);
}

void WriteJet4Database(const std::vector<Jet4Table>& tables, const QString& path,
                       uint32_t databaseKey) {
    const QByteArray image = BuildJet4Database(tables, databaseKey);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size() || !file.commit()) {
        Fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
}

}  // namespace converter
