#include "import/dovi_number.h"

#include <charconv>

namespace converter {

namespace {

bool IsDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The text without the blanks that pad it on either side.
QStringView WithoutBlanks(QStringView text) {
    while (!text.isEmpty() && text.front() == QLatin1Char(' ')) {
        text = text.mid(1);
    }
    while (!text.isEmpty() && text.back() == QLatin1Char(' ')) {
        text.chop(1);
    }
    return text;
}

// Adds one to a run of decimal digits, growing it on a carry out of the first digit.
void Increment(QString& digits) {
    for (auto i = digits.size() - 1; i >= 0; --i) {
        if (digits[i] != QLatin1Char('9')) {
            digits[i] = QChar(digits[i].unicode() + 1);
            return;
        }
        digits[i] = QLatin1Char('0');
    }
    digits.prepend(QLatin1Char('1'));
}

}  // namespace

std::optional<DoviNumber> ParseDoviNumber(QStringView text) {
    text = WithoutBlanks(text);
    qsizetype i = 0;
    const qsizetype end = text.size();
    DoviNumber number;
    if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        number.negative = text[i] == QLatin1Char('-');
        ++i;
    }
    bool separatorSeen = false;
    number.digits.reserve(end - i);
    for (; i < end; ++i) {
        const QChar c = text[i];
        if (IsDigit(c)) {
            number.digits += c;
            if (separatorSeen) {
                ++number.scale;
            }
        } else if ((c == QLatin1Char('.') || c == QLatin1Char(',')) && !separatorSeen) {
            separatorSeen = true;
        } else {
            return std::nullopt;
        }
    }
    if (number.digits.isEmpty()) {
        return std::nullopt;
    }
    return number;
}

std::optional<double> PlainDecimalValue(QStringView text) {
    text = WithoutBlanks(text);
    qsizetype i = 0;
    const qsizetype end = text.size();
    char buffer[32];
    int length = 0;
    if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        if (text[i] == QLatin1Char('-')) {
            buffer[length++] = '-';
        }
        ++i;
    }
    if (end - i > 31 - length) {
        return std::nullopt;
    }
    bool digitSeen = false;
    bool separatorSeen = false;
    for (; i < end; ++i) {
        const QChar c = text[i];
        if (IsDigit(c)) {
            digitSeen = true;
            buffer[length++] = static_cast<char>(c.unicode());
        } else if ((c == QLatin1Char('.') || c == QLatin1Char(',')) && !separatorSeen) {
            separatorSeen = true;
            buffer[length++] = '.';
        } else {
            return std::nullopt;
        }
    }
    if (!digitSeen) {
        return std::nullopt;
    }
    double value = 0;
    const auto [last, error] =
        std::from_chars(buffer, buffer + length, value, std::chars_format::fixed);
    if (error != std::errc() || last != buffer + length) {
        return std::nullopt;
    }
    // DoviNumberText never writes "-0".
    return value == 0 ? 0.0 : value;
}

std::optional<double> PlainDecimalTenth(QStringView text) {
    text = WithoutBlanks(text);
    qsizetype i = 0;
    const qsizetype end = text.size();
    bool negative = false;
    if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    qint64 mantissa = 0;
    int digits = 0;
    int scale = 0;
    bool separatorSeen = false;
    for (; i < end; ++i) {
        const QChar c = text[i];
        if (IsDigit(c)) {
            // Fifteen digits stay exact in a double, so that the division below is exact too.
            if (++digits > 15) {
                return std::nullopt;
            }
            mantissa = mantissa * 10 + (c.unicode() - '0');
            scale += separatorSeen ? 1 : 0;
        } else if ((c == QLatin1Char('.') || c == QLatin1Char(',')) && !separatorSeen) {
            separatorSeen = true;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    // A tenth keeps one decimal: the `scale` digits beyond it go, a half to the even neighbour.
    if (scale > 0) {
        qint64 power = 1;
        for (int d = 0; d < scale; ++d) {
            power *= 10;
        }
        const qint64 rest = mantissa % power;
        mantissa /= power;
        if (2 * rest > power || (2 * rest == power && mantissa % 2 == 1)) {
            ++mantissa;
        }
    }
    // Both operands are exact, so the quotient is the double nearest to the decimal tenth, as
    // reading its text would give.
    const double value = static_cast<double>(mantissa) / 10.0;
    return value == 0 ? 0.0 : (negative ? -value : value);
}

DoviNumber RoundHalfEven(const DoviNumber& number, int decimals) {
    if (number.scale <= decimals) {
        return number;
    }
    const int dropped = number.scale - decimals;
    QString digits = number.digits;
    // Leading zeros so that at least one digit stays in front of the dropped ones.
    if (digits.size() <= dropped) {
        digits.prepend(QString(dropped - digits.size() + 1, QLatin1Char('0')));
    }
    const QString kept = digits.left(digits.size() - dropped);
    const QStringView rest = QStringView(digits).right(dropped);
    bool up = false;
    if (rest[0] > QLatin1Char('5')) {
        up = true;
    } else if (rest[0] == QLatin1Char('5')) {
        bool beyondHalf = false;
        for (qsizetype i = 1; i < rest.size(); ++i) {
            if (rest[i] != QLatin1Char('0')) {
                beyondHalf = true;
                break;
            }
        }
        const bool lastOdd = (kept.back().unicode() - '0') % 2 == 1;
        up = beyondHalf || lastOdd;
    }
    DoviNumber rounded;
    rounded.negative = number.negative;
    rounded.digits = kept;
    rounded.scale = decimals;
    if (up) {
        Increment(rounded.digits);
    }
    return rounded;
}

DoviNumber DivideByTenRounded(const DoviNumber& number) {
    DoviNumber tenth = number;
    ++tenth.scale;
    return RoundHalfEven(tenth, 1);
}

QString DoviNumberText(const DoviNumber& number) {
    QString digits = number.digits;
    int scale = number.scale;
    while (scale > 0 && digits.endsWith(QLatin1Char('0'))) {
        digits.chop(1);
        --scale;
    }
    if (digits.size() <= scale) {
        digits.prepend(QString(scale - digits.size() + 1, QLatin1Char('0')));
    }
    QString whole = digits.left(digits.size() - scale);
    qsizetype zeros = 0;
    while (zeros < whole.size() - 1 && whole.at(zeros) == QLatin1Char('0')) {
        ++zeros;
    }
    whole.remove(0, zeros);
    QString text = whole;
    if (scale > 0) {
        text += QLatin1Char('.') + digits.right(scale);
    }
    const bool zero = text == QLatin1String("0");
    if (number.negative && !zero) {
        text.prepend(QLatin1Char('-'));
    }
    return text;
}

std::optional<qint32> DoviNumberToInt32(const DoviNumber& number) {
    const DoviNumber whole = RoundHalfEven(number, 0);
    bool ok = false;
    const qlonglong value = whole.digits.toLongLong(&ok, 10);
    if (!ok) {
        return std::nullopt;
    }
    const qlonglong signedValue = whole.negative ? -value : value;
    if (signedValue < INT32_MIN || signedValue > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<qint32>(signedValue);
}

}  // namespace converter
