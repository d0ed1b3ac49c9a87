#include "export/export_values.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <limits>

namespace converter {

namespace {

// Typed reads for the types the stand tables deliver, without QVariant's conversion machinery:
// the export reads every value of every stand.
template <typename T>
const T& Stored(const QVariant& value) {
    return *static_cast<const T*>(value.constData());
}

}  // namespace

std::optional<double> ReadNumber(const QString& text) {
    QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    trimmed.replace(QLatin1Char(','), QLatin1Char('.'));
    // Letters such as "inf", "nan" or an exponent are not numbers on the Dovi side.
    for (QChar c : trimmed) {
        if (!c.isDigit() && c != QLatin1Char('.') && c != QLatin1Char('-') &&
            c != QLatin1Char('+')) {
            return std::nullopt;
        }
    }
    bool ok = false;
    double number = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

QString NumberText(double number) {
    if (!std::isfinite(number)) {
        return QString::number(number);
    }
    if (number == 0) {
        return QStringLiteral("0");  // also for -0
    }
    if (std::fabs(number) < 1e15 && number == std::trunc(number)) {
        return QString::number(static_cast<qint64>(number));
    }
    // 15 significant digits is what a double holds reliably; the round trip through text drops
    // the noise of the last binary digits before the shortest exact form is written.
    char buffer[400];
    auto end =
        std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::scientific, 14)
            .ptr;
    double rounded = number;
    std::from_chars(buffer, end, rounded);
    if (rounded == 0) {
        return QStringLiteral("0");
    }
    end = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed).ptr;
    return QString::fromLatin1(buffer, end - buffer);
}

bool IsNullValue(const QVariant& value) {
    switch (value.userType()) {
        case QMetaType::UnknownType:
            return true;
        case QMetaType::Int:
        case QMetaType::Double:
        case QMetaType::Bool:
            return false;
        default:
            return value.isNull();
    }
}

QString ValueText(const QVariant& value) {
    switch (value.userType()) {
        case QMetaType::UnknownType:
            return {};
        case QMetaType::Int:
            return QString::number(Stored<int>(value));
        case QMetaType::Double:
            return NumberText(Stored<double>(value));
        case QMetaType::QString:
            return Stored<QString>(value);
        case QMetaType::Float:
            return NumberText(value.toDouble());
        case QMetaType::Bool:
            return Stored<bool>(value) ? QStringLiteral("True") : QStringLiteral("False");
        default:
            return value.isNull() ? QString() : value.toString();
    }
}

std::optional<double> ValueNumber(const QVariant& value) {
    switch (value.userType()) {
        case QMetaType::Int:
            return Stored<int>(value);
        case QMetaType::Double:
            return Stored<double>(value);
        case QMetaType::QString:
            return ReadNumber(Stored<QString>(value));
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Float:
            return value.toDouble();
        default:
            return std::nullopt;
    }
}

std::optional<int> RoundToInt(double number) {
    if (!std::isfinite(number)) {
        return std::nullopt;
    }
    double rounded = std::nearbyint(number);  // the default rounding mode: half to even
    if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(rounded);
}

}  // namespace converter
