#include "export/export_values.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace converter {

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
    // 15 significant digits is what a double holds reliably; the round trip through text drops
    // the noise of the last binary digits before the shortest exact form is written.
    double rounded = QString::number(number, 'g', 15).toDouble();
    if (rounded == 0) {
        return QStringLiteral("0");  // also for -0
    }
    return QString::number(rounded, 'f', QLocale::FloatingPointShortest);
}

QString ValueText(const QVariant& value) {
    if (value.isNull()) {
        return {};
    }
    switch (value.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
            return NumberText(value.toDouble());
        case QMetaType::Bool:
            return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        default:
            return value.toString();
    }
}

std::optional<double> ValueNumber(const QVariant& value) {
    if (value.isNull()) {
        return std::nullopt;
    }
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Double:
        case QMetaType::Float:
            return value.toDouble();
        case QMetaType::QString:
            return ReadNumber(value.toString());
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
