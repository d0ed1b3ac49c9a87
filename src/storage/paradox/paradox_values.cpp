// Value encoding of record fields: integers big-endian with the sign bit flipped, doubles with
// their bits arranged so that byte order is numeric order, all-zero bytes meaning blank.
#include "common/failure.h"
#include "storage/paradox/paradox_table.h"
#include "storage/paradox/value_bytes.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace converter::paradox {

namespace {

constexpr qint64 kJulianDayOfOrdinalZero = 1721425;  // 0001-01-01 is ordinal 1
constexpr double kMsPerDay = 86400000.0;

bool AllZero(const char* bytes, int length) {
    for (int i = 0; i < length; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

QDate DateFromOrdinal(qint64 ordinal) {
    return QDate::fromJulianDay(ordinal + kJulianDayOfOrdinalZero);
}

QVariant DecodeTimestamp(double ms) {
    // Far outside any calendar: report it as an invalid timestamp rather than overflow.
    if (!std::isfinite(ms) || std::fabs(ms) > 1e17) {
        return QVariant(QDateTime());
    }
    const double days = std::floor(ms / kMsPerDay);
    const auto msOfDay = static_cast<int>(ms - days * kMsPerDay);
    const QDate date = DateFromOrdinal(static_cast<qint64>(days));
    return QVariant(QDateTime(date, QTime::fromMSecsSinceStartOfDay(msOfDay), Qt::UTC));
}

QVariant DecodeBcd(const char* p, int decimals) {
    const auto flags = static_cast<unsigned char>(p[0]);
    if (!(flags & 0x40)) {
        return QVariant();
    }
    const bool negative = !(flags & 0x80);
    QByteArray digits;
    digits.reserve(34);
    for (int nibble = 2; nibble < 34; ++nibble) {
        int d = (static_cast<unsigned char>(p[nibble / 2]) >> ((nibble % 2) ? 0 : 4)) & 0x0F;
        if (negative) {
            d ^= 0x0F;
        }
        if (d > 9) {
            return QVariant();
        }
        if (nibble == 34 - decimals) {
            digits.append('.');
        }
        digits.append(static_cast<char>('0' + d));
    }
    const double value = QByteArray(negative ? "-" : "").append(digits).toDouble();
    return QVariant(value == 0 ? 0.0 : value);
}

}  // namespace

int FieldLength(std::uint8_t type, std::uint8_t sizeByte) {
    switch (type) {
        case kAlpha:
        case kBytes:
            return sizeByte >= 1 ? sizeByte : 0;
        case kDate:
        case kLong:
        case kTime:
        case kAutoIncrement:
            return sizeByte == 4 ? 4 : 0;
        case kShort:
            return sizeByte == 2 ? 2 : 0;
        case kCurrency:
        case kNumber:
        case kTimestamp:
            return sizeByte == 8 ? 8 : 0;
        case kLogical:
            return sizeByte == 1 ? 1 : 0;
        case kMemo:
            return sizeByte >= 11 && sizeByte <= 250 ? sizeByte : 0;
        case kBlob:
        case kFormattedMemo:
        case kOle:
        case kGraphic:
            return sizeByte >= 10 && sizeByte <= 250 ? sizeByte : 0;
        case kBcd:
            return sizeByte <= 32 ? 17 : 0;
        default:
            return 0;
    }
}

ParadoxField MakeField(const QString& name, std::uint8_t type, std::uint8_t sizeByte) {
    ParadoxField field;
    field.name = name;
    field.type = type;
    field.sizeByte = sizeByte;
    field.length = FieldLength(type, sizeByte);
    field.info.name = name;
    field.info.size = field.length;
    switch (type) {
        case kAlpha:
            field.info.type = FieldType::Text;
            break;
        case kDate:
            field.info.type = FieldType::Date;
            break;
        case kShort:
            field.info.type = FieldType::Short;
            break;
        case kLong:
            field.info.type = FieldType::Long;
            break;
        case kCurrency:
            field.info.type = FieldType::Currency;
            break;
        case kNumber:
            field.info.type = FieldType::Number;
            break;
        case kLogical:
            field.info.type = FieldType::Logical;
            break;
        case kMemo:
            field.info.type = FieldType::Memo;
            break;
        case kTime:
            field.info.type = FieldType::Time;
            break;
        case kTimestamp:
            field.info.type = FieldType::Timestamp;
            break;
        case kAutoIncrement:
            field.info.type = FieldType::AutoIncrement;
            break;
        case kBcd:
            field.info.type = FieldType::Bcd;
            field.info.size = sizeByte;
            break;
        case kBytes:
            field.info.type = FieldType::Bytes;
            break;
        default:
            field.info.type = FieldType::Blob;
            break;
    }
    return field;
}

LanguageDriver CyrillicDriver() {
    return LanguageDriver{};
}

QVariant ParadoxTable::decodeValue(const char* record, int index) const {
    const ParadoxField& field = fields_[static_cast<size_t>(index)];
    const char* p = record + field.offset;
    if (field.type == kBcd) {
        return DecodeBcd(p, field.sizeByte);
    }
    if (AllZero(p, field.length)) {
        return QVariant();
    }
    switch (field.type) {
        case kAlpha: {
            const auto* end =
                static_cast<const char*>(std::memchr(p, 0, static_cast<size_t>(field.length)));
            const qsizetype length = end ? end - p : field.length;
            return QVariant((*codePage_).decode(p, length));
        }
        case kShort: {
            const auto bits = static_cast<std::uint16_t>((static_cast<unsigned char>(p[0]) << 8) |
                                                         static_cast<unsigned char>(p[1]));
            return QVariant(static_cast<int>(static_cast<qint16>(bits ^ 0x8000u)));
        }
        case kLong:
        case kAutoIncrement:
            return QVariant(static_cast<int>(DecodeInt32(p)));
        case kDate:
            return QVariant(DateFromOrdinal(DecodeInt32(p)));
        case kTime: {
            const qint32 ms = DecodeInt32(p);
            return QVariant(ms >= 0 && ms < 86400000 ? QTime::fromMSecsSinceStartOfDay(ms)
                                                     : QTime());
        }
        case kNumber:
        case kCurrency:
            return QVariant(DecodeDouble(p));
        case kTimestamp:
            return DecodeTimestamp(DecodeDouble(p));
        case kLogical:
            return QVariant(static_cast<unsigned char>(p[0]) != 0x80);
        case kBytes:
            return QVariant(QByteArray(p, field.length));
        case kMemo:
            return decodeMemo(p, field.length);
        default:
            return QVariant();
    }
}

namespace {

[[noreturn]] void Refuse(const ParadoxField& field, const QVariant& value, const QString& reason) {
    QString shown = value.toString();
    if (shown.size() > 60) {
        shown = shown.left(60) + QStringLiteral("...");
    }
    throw Failure(QStringLiteral("Значение \"%1\" не может быть записано в поле [%2]: %3")
                      .arg(shown, field.name, reason));
}

bool IsText(const QVariant& value) {
    return value.userType() == QMetaType::QString || value.userType() == QMetaType::QByteArray;
}

// A number from text with a decimal point or comma, or from a numeric variant.
double ToNumber(const ParadoxField& field, const QVariant& value) {
    double number = 0;
    bool ok = true;
    switch (value.userType()) {
        case QMetaType::Int:
            return *static_cast<const int*>(value.constData());
        case QMetaType::LongLong:
            number = static_cast<double>(*static_cast<const qlonglong*>(value.constData()));
            break;
        case QMetaType::Double:
            number = *static_cast<const double*>(value.constData());
            break;
        case QMetaType::QString:
        case QMetaType::QByteArray: {
            QString text = value.toString().trimmed();
            text.replace(QLatin1Char(','), QLatin1Char('.'));
            number = QLocale::c().toDouble(text, &ok);
            break;
        }
        default:
            number = value.toDouble(&ok);
            break;
    }
    if (!ok) {
        Refuse(field, value, QStringLiteral("не число"));
    }
    if (!std::isfinite(number)) {
        Refuse(field, value, QStringLiteral("число вне допустимого диапазона"));
    }
    return number;
}

// A refused number is shown as the caller gave it (`shown`), or as the number itself.
[[noreturn]] void RefuseNumber(const ParadoxField& field, double number, const QVariant* shown,
                               const QString& reason) {
    Refuse(field, shown ? *shown : QVariant(number), reason);
}

qint64 ToInteger(const ParadoxField& field, double number, const QVariant* shown, qint64 limit) {
    // Whole numbers, nearly all of them, skip the rounding call and its floating-point
    // environment work.
    if (std::fabs(number) <= static_cast<double>(limit)) {
        const auto whole = static_cast<qint64>(number);
        if (static_cast<double>(whole) == number) {
            return whole;
        }
    }
    // Fractions round half to even, as the provider's own conversion does.
    const double rounded = std::nearbyint(number);
    if (std::fabs(rounded) > static_cast<double>(limit)) {
        RefuseNumber(field, number, shown,
                     QStringLiteral("допустимы целые числа от -%1 до %1").arg(limit));
    }
    return static_cast<qint64>(rounded);
}

// Stores a number in a numeric field; false, nothing written, for fields of other types.
bool EncodeNumber(const ParadoxField& field, char* record, double number, const QVariant* shown) {
    if (!ParadoxTable::IsNumberField(field.type)) {
        return false;
    }
    if (!std::isfinite(number)) {
        RefuseNumber(field, number, shown, QStringLiteral("число вне допустимого диапазона"));
    }
    char* p = record + field.offset;
    switch (field.type) {
        case kShort: {
            const auto v = static_cast<std::uint16_t>(ToInteger(field, number, shown, 32767));
            const auto bits = static_cast<std::uint16_t>(v ^ 0x8000u);
            p[0] = static_cast<char>(bits >> 8);
            p[1] = static_cast<char>(bits);
            return true;
        }
        case kLong:
            EncodeInt32(p, static_cast<qint32>(ToInteger(field, number, shown, 2147483647)));
            return true;
        case kAutoIncrement: {
            const qint64 v = ToInteger(field, number, shown, 2147483647);
            if (v < 1) {
                RefuseNumber(field, number, shown,
                             QStringLiteral("счётчик должен быть положительным"));
            }
            EncodeInt32(p, static_cast<qint32>(v));
            return true;
        }
        default:
            EncodeDouble(p, number);
            return true;
    }
}

QDate ToDate(const ParadoxField& field, const QVariant& value) {
    QDate date;
    if (value.userType() == QMetaType::QDate) {
        date = value.toDate();
    } else if (value.userType() == QMetaType::QDateTime) {
        date = value.toDateTime().date();
    } else {
        const QString text = value.toString().trimmed();
        date = QDate::fromString(text, Qt::ISODate);
        if (!date.isValid()) {
            date = QDate::fromString(text, QStringLiteral("dd.MM.yyyy"));
        }
    }
    if (!date.isValid() || date < QDate(100, 1, 1) || date > QDate(9999, 12, 31)) {
        Refuse(field, value, QStringLiteral("не дата от 01.01.0100 до 31.12.9999"));
    }
    return date;
}

QTime ToTime(const ParadoxField& field, const QVariant& value) {
    QTime time;
    if (value.userType() == QMetaType::QTime) {
        time = value.toTime();
    } else if (value.userType() == QMetaType::QDateTime) {
        time = value.toDateTime().time();
    } else {
        time = QTime::fromString(value.toString().trimmed(), Qt::ISODateWithMs);
    }
    if (!time.isValid()) {
        Refuse(field, value, QStringLiteral("не время"));
    }
    return time;
}

QDateTime ToTimestamp(const ParadoxField& field, const QVariant& value) {
    QDateTime stamp;
    if (value.userType() == QMetaType::QDateTime) {
        stamp = value.toDateTime();
    } else if (value.userType() == QMetaType::QDate) {
        stamp = QDateTime(value.toDate(), QTime(0, 0), Qt::UTC);
    } else {
        stamp = QDateTime::fromString(value.toString().trimmed(), Qt::ISODateWithMs);
    }
    if (!stamp.isValid() || stamp.date() < QDate(100, 1, 1) || stamp.date() > QDate(9999, 12, 31)) {
        Refuse(field, value, QStringLiteral("не дата и время"));
    }
    return stamp;
}

bool ToLogical(const ParadoxField& field, const QVariant& value) {
    if (value.userType() == QMetaType::Bool) {
        return value.toBool();
    }
    if (IsText(value)) {
        const QString text = value.toString().trimmed().toLower();
        if (text == u"true" || text == u"yes" || text == u"да" || text == u"on") {
            return true;
        }
        if (text == u"false" || text == u"no" || text == u"нет" || text == u"off") {
            return false;
        }
    }
    return ToNumber(field, value) != 0;
}

void EncodeBcd(const ParadoxField& field, char* p, const QVariant& value) {
    const double number = ToNumber(field, value);
    const int decimals = field.sizeByte;
    QByteArray digits = QByteArray::number(std::fabs(number), 'f', decimals);
    digits.replace(".", "");
    if (digits.size() > 32) {
        Refuse(field, value, QStringLiteral("больше 32 цифр"));
    }
    digits = QByteArray(32 - digits.size(), '0') + digits;
    const bool negative = number < 0 && digits.count('0') != digits.size();
    std::memset(p, 0, 17);
    p[0] = static_cast<char>((negative ? 0x40 : 0xC0) | decimals);
    for (int i = 0; i < 32; ++i) {
        int d = digits[i] - '0';
        if (negative) {
            d ^= 0x0F;
        }
        const int nibble = i + 2;
        p[nibble / 2] = static_cast<char>(p[nibble / 2] | (nibble % 2 ? d : d << 4));
    }
}

// NULL, or a text with nothing in it: an alpha field keeps spaces, other fields do not.
bool IsBlank(const ParadoxField& field, const QVariant& value) {
    return value.isNull() || !value.isValid() ||
           (IsText(value) && (field.type == kAlpha ? value.toString().isEmpty()
                                                   : value.toString().trimmed().isEmpty()));
}

// Text in the table's code page, zero-padded to the field's length; `value` is what the caller
// gave, `text` the same as a text.
void EncodeAlpha(const ParadoxField& field, char* p, const QString& text, const QVariant& value,
                 const CodePage& page, int codePageNumber) {
    // A text that fits is encoded on the stack, so that a refusal leaves the record as it was:
    // most values of a table take this way. A zero character fails the encoding as one outside
    // the code page does; the two are told apart only then.
    if (text.size() <= field.length && field.length <= 255) {
        std::array<char, 255> fitted;  // only the text.size() bytes written are read
        if (!page.encodeInto(text, fitted.data())) {
            if (text.contains(QChar(0))) {
                Refuse(field, value, QStringLiteral("текст содержит нулевой символ"));
            }
            Refuse(field, value,
                   QStringLiteral("символы вне кодовой страницы %1").arg(codePageNumber));
        }
        std::memcpy(p, fitted.data(), static_cast<size_t>(text.size()));
        std::memset(p + text.size(), 0, static_cast<size_t>(field.length - text.size()));
        return;
    }
    if (text.contains(QChar(0))) {
        Refuse(field, value, QStringLiteral("текст содержит нулевой символ"));
    }
    const std::optional<QByteArray> bytes = page.encode(text);
    if (!bytes) {
        Refuse(field, value, QStringLiteral("символы вне кодовой страницы %1").arg(codePageNumber));
    }
    if (bytes->size() > field.length) {
        Refuse(field, value, QStringLiteral("текст длиннее %1 символов").arg(field.length));
    }
    std::memset(p, 0, static_cast<size_t>(field.length));
    std::memcpy(p, bytes->constData(), static_cast<size_t>(bytes->size()));
}

// Milliseconds since the ordinal day zero, as a double.
void EncodeTimestamp(const ParadoxField& field, char* p, const QVariant& value) {
    const QDateTime stamp = ToTimestamp(field, value);
    const qint64 ordinal = stamp.date().toJulianDay() - kJulianDayOfOrdinalZero;
    EncodeDouble(p, static_cast<double>(ordinal) * kMsPerDay + stamp.time().msecsSinceStartOfDay());
}

void EncodeBytes(const ParadoxField& field, char* p, const QVariant& value) {
    const QByteArray bytes = value.toByteArray();
    if (bytes.size() > field.length) {
        Refuse(field, value, QStringLiteral("больше %1 байт").arg(field.length));
    }
    std::memset(p, 0, static_cast<size_t>(field.length));
    std::memcpy(p, bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace

void ParadoxTable::encodeValue(char* record, int index, const QVariant& value) const {
    if (index < 0 || index >= fieldCount()) {
        throw Failure(QStringLiteral("Неверный номер поля: %1").arg(index));
    }
    const ParadoxField& field = fields_[static_cast<size_t>(index)];
    const int typeId = value.userType();
    // Texts into alpha fields and numbers into numeric fields, the bulk of every table, go the
    // short way: a text is read where the variant holds it.
    if (typeId == QMetaType::QString && field.type == kAlpha) {
        const auto& text = *static_cast<const QString*>(value.constData());
        if (text.isEmpty()) {
            std::memset(record + field.offset, 0, static_cast<size_t>(field.length));
        } else {
            EncodeAlpha(field, record + field.offset, text, value, *codePage_, driver_.codePage);
        }
        return;
    }
    if (typeId == QMetaType::Int && !value.isNull()) {
        const int number = *static_cast<const int*>(value.constData());
        if (encodeNumberFast(record, index, number) ||
            EncodeNumber(field, record, number, &value)) {
            return;
        }
    }
    if (typeId == QMetaType::Double && !value.isNull()) {
        const double number = *static_cast<const double*>(value.constData());
        if (encodeNumberFast(record, index, number) ||
            EncodeNumber(field, record, number, &value)) {
            return;
        }
    }
    char* p = record + field.offset;
    if (IsBlank(field, value)) {
        std::memset(p, 0, static_cast<size_t>(field.length));
        return;
    }
    switch (field.type) {
        case kAlpha:
            EncodeAlpha(field, p, value.toString(), value, *codePage_, driver_.codePage);
            return;
        case kShort:
        case kLong:
        case kAutoIncrement:
        case kNumber:
        case kCurrency:
            EncodeNumber(field, record, ToNumber(field, value), &value);
            return;
        case kLogical:
            p[0] = static_cast<char>(ToLogical(field, value) ? 0x81 : 0x80);
            return;
        case kDate:
            EncodeInt32(p, static_cast<qint32>(ToDate(field, value).toJulianDay() -
                                               kJulianDayOfOrdinalZero));
            return;
        case kTime:
            EncodeInt32(p, ToTime(field, value).msecsSinceStartOfDay());
            return;
        case kTimestamp:
            EncodeTimestamp(field, p, value);
            return;
        case kBcd:
            EncodeBcd(field, p, value);
            return;
        case kBytes:
            EncodeBytes(field, p, value);
            return;
        default:
            Refuse(field, value, QStringLiteral("поля этого типа только читаются"));
    }
}

bool ParadoxTable::encodeNumberChecked(char* record, int index, double number) const {
    if (index < 0 || index >= fieldCount()) {
        throw Failure(QStringLiteral("Неверный номер поля: %1").arg(index));
    }
    return EncodeNumber(fields_[static_cast<size_t>(index)], record, number, nullptr);
}

}  // namespace converter::paradox
