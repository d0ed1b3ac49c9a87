#include "storage/access/jet_values.h"

#include "storage/access/jet_text.h"

#include <QDateTime>

#include <array>
#include <cmath>
#include <cstring>

namespace converter::access {

namespace {

constexpr int kMaxExactDigits = 15;  // what a double carries through decimal text and back

int64_t Get64(const unsigned char* p) {
    return static_cast<int64_t>(static_cast<uint64_t>(Get32(p)) |
                                static_cast<uint64_t>(Get32(p + 4)) << 32);
}

double GetDouble(const unsigned char* p) {
    const auto bits = static_cast<uint64_t>(Get64(p));
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

float GetSingle(const unsigned char* p) {
    const uint32_t bits = Get32(p);
    float v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

QString GuidText(const unsigned char* p) {
    // The first three groups are little-endian numbers, the rest bytes in order.
    static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    QString text = QStringLiteral("{");
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += QLatin1Char('-');
        }
        text += QStringLiteral("%1").arg(p[order[i]], 2, 16, QLatin1Char('0')).toUpper();
    }
    return text + QLatin1Char('}');
}

// The Decimal as a number when a double holds it exactly enough, else as its exact text.
QVariant DecimalValue(const unsigned char* p, int scale) {
    Require(scale <= 28);
    const QString text = JetDecimalText(p, scale);
    int digits = 0;
    bool leading = true;
    for (const QChar c : text) {
        if (c.isDigit() && !(leading && c == QLatin1Char('0'))) {
            leading = false;
            ++digits;
        }
    }
    if (digits <= kMaxExactDigits) {
        return text.toDouble();
    }
    return text;
}

}  // namespace

QString JetDecimalText(const unsigned char* bytes, int scale) {
    std::array<uint32_t, 4> words{};
    bool negative = false;
    for (int i = 0; i < 4; ++i) {
        words[static_cast<size_t>(i)] = Get32(bytes + 1 + 4 * i);
        negative = negative || (bytes[0] != 0 && words[static_cast<size_t>(i)] != 0);
    }
    QString digits;
    bool zero = false;
    while (!zero) {
        // Divide the 128-bit magnitude by ten, most significant word first.
        uint64_t remainder = 0;
        zero = true;
        for (uint32_t& word : words) {
            const uint64_t current = remainder << 32 | word;
            word = static_cast<uint32_t>(current / 10);
            remainder = current % 10;
            zero = zero && word == 0;
        }
        digits.prepend(QChar(u'0' + static_cast<char16_t>(remainder)));
    }
    if (digits.size() <= scale) {
        digits = QString(scale + 1 - digits.size(), QLatin1Char('0')) + digits;
    }
    if (scale > 0) {
        digits.insert(digits.size() - scale, QLatin1Char('.'));
    }
    return negative ? QLatin1Char('-') + digits : digits;
}

QVariant JetDate(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6) {
        return {};
    }
    const double whole = std::trunc(days);
    auto ms = static_cast<qint64>(std::llround(std::fabs(days - whole) * 86400000.0));
    QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
    if (ms >= 86400000) {
        ms -= 86400000;
        date = date.addDays(1);
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)), Qt::UTC);
}

QVariant JetScalar(const JetColumn& column, const unsigned char* p, int size, bool jet3,
                   int codePage) {
    auto need = [&](int width) { Require(size >= width); };
    switch (column.type) {
        case kJetByte:
            need(1);
            return static_cast<int>(p[0]);
        case kJetInteger:
            need(2);
            return static_cast<int>(static_cast<int16_t>(Get16(p)));
        case kJetLong:
            need(4);
            return static_cast<int>(static_cast<int32_t>(Get32(p)));
        case kJetCurrency:
            need(8);
            return static_cast<double>(Get64(p)) / 10000.0;
        case kJetSingle:
            need(4);
            return static_cast<double>(GetSingle(p));
        case kJetDouble:
            need(8);
            return GetDouble(p);
        case kJetDateTime:
            need(8);
            return JetDate(GetDouble(p));
        case kJetGuid:
            need(16);
            return GuidText(p);
        case kJetNumeric:
            need(17);
            return DecimalValue(p, column.scale);
        case kJetText:
            return JetText(p, size, jet3, codePage);
        case kJetBinary:
            return QByteArray(reinterpret_cast<const char*>(p), size);
        default:
            return {};
    }
}

}  // namespace converter::access
