#include "formation/reference_file.h"

#include "common/failure.h"
#include "reference/dictionary_checks.h"
#include "storage/recordset.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace converter {

namespace {

// Standard layout: characters 1 to 4 are not read, 5 to 17 hold the code, 18 on the name.
constexpr int kStandartCodeStart = 5;
constexpr int kStandartCodeLength = 13;
constexpr int kStandartNameStart = 18;

// Only blanks count as the padding of a field; other characters (tabs, the DOS non-breaking
// space) belong to the value.
QString TrimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && text.at(last - 1) == QLatin1Char(' ')) {
        --last;
    }
    return text.mid(first, last - first);
}

// A 1-based substring: a start beyond the end gives empty text, a length running past the end
// gives the rest. The callers have checked start >= 1 and length >= 0.
QString Mid(const QString& line, int start, int length) {
    if (start > line.size()) {
        return {};
    }
    return line.mid(start - 1, length);
}

QString Mid(const QString& line, int start) {
    if (start > line.size()) {
        return {};
    }
    return line.mid(start - 1);
}

double RoundHalfToEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction > 0.5) {
        return floor + 1;
    }
    if (fraction < 0.5) {
        return floor;
    }
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

qint32 ToInt32(double value, const QString& what) {
    const double rounded = RoundHalfToEven(value);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<qint32>::min() ||
        rounded > std::numeric_limits<qint32>::max()) {
        throw Failure(what + QStringLiteral(": число вне допустимого диапазона"));
    }
    return static_cast<qint32>(rounded);
}

std::optional<double> ReadNumber(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)([eE][+-]?\\d+)?$"));
    if (!number.match(text).hasMatch()) {
        return std::nullopt;
    }
    QString c = text;
    c.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(c, &ok);
    if (!ok) {
        // Only an exponent too large for a double gets here: a number, but far out of range.
        return std::numeric_limits<double>::infinity();
    }
    return value;
}

// A dictionary value that must be a whole number: numbers as stored, texts as the code texts.
std::optional<qint32> DictionaryInteger(const QVariant& value, const QString& what) {
    if (value.isNull()) {
        return std::nullopt;
    }
    bool ok = false;
    double number = 0;
    switch (value.userType()) {
        case QMetaType::QString: {
            const auto parsed = ReadNumber(TrimBlanks(value.toString()));
            ok = parsed.has_value();
            number = parsed.value_or(0);
            break;
        }
        case QMetaType::Bool:
            // Access stores yes as -1.
            return value.toBool() ? -1 : 0;
        default:
            number = value.toDouble(&ok);
            break;
    }
    if (!ok) {
        throw Failure(what + QStringLiteral(": значение не является числом: ") + value.toString());
    }
    return ToInt32(number, what);
}

struct CustomLayout {
    int posCode = 1, lenCode = 0, posText = 1;
    std::optional<int> lenText;
    int posShort = 1;
    std::optional<int> lenShort;
};

CustomLayout ResolveCustomLayout(const NsiBook& book) {
    const QString where = QStringLiteral("Справочник NSI, код ") + QString::number(book.Code);
    auto required = [&](const QVariant& value, const char* column, int lowest) {
        const QString what = where + QStringLiteral(", поле ") + QLatin1String(column);
        const auto number = DictionaryInteger(value, what);
        if (!number) {
            throw Failure(what + QStringLiteral(": значение не задано"));
        }
        if (*number < lowest) {
            throw Failure(what + QStringLiteral(": недопустимое значение ") +
                          QString::number(*number));
        }
        return *number;
    };
    auto optional = [&](const QVariant& value, const char* column) -> std::optional<int> {
        if (value.isNull()) {
            return std::nullopt;
        }
        return required(value, column, 0);
    };

    CustomLayout layout;
    layout.posCode = required(book.PosCode, "PosCode", 1);
    layout.lenCode = required(book.LenCode, "LenCode", 0);
    layout.posText = required(book.PosText, "PosText", 1);
    layout.lenText = optional(book.LenText, "LenText");
    layout.lenShort = optional(book.LenShort, "LenShort");
    if (layout.lenShort) {
        layout.posShort = required(book.PosShort, "PosShort", 1);
    }
    return layout;
}

}  // namespace

NsiBook ReadNsiBook(const Recordset& nsi, const NsiColumns& columns) {
    NsiBook book;
    const QString what = QStringLiteral("Справочник NSI, поле Code");
    const auto code = DictionaryInteger(nsi.value(columns.Code), what);
    if (!code) {
        throw Failure(what + QStringLiteral(": значение не задано"));
    }
    book.Code = *code;
    book.Type = nsi.value(columns.Type).toString();
    book.PosCode = nsi.value(columns.PosCode);
    book.LenCode = nsi.value(columns.LenCode);
    book.PosText = nsi.value(columns.PosText);
    book.LenText = nsi.value(columns.LenText);
    book.PosShort = nsi.value(columns.PosShort);
    book.LenShort = nsi.value(columns.LenShort);
    return book;
}

std::optional<BookLayout> BookLayoutOf(const NsiBook& book) {
    const QString type = book.Type.toLower();
    if (type == QLatin1String("standart")) {
        return BookLayout::Standart;
    }
    if (type == QLatin1String("custom")) {
        return BookLayout::Custom;
    }
    return std::nullopt;
}

QString ReferenceFilePath(const QString& referenceFolder, qint32 bookNumber) {
    return referenceFolder + QLatin1Char('/') + QString::number(bookNumber) +
           QStringLiteral(".000");
}

ReferenceLine ReadReferenceLine(const QString& line, const NsiBook& book, BookLayout layout,
                                int lineNumber) {
    ReferenceLine result;
    SptabEntry& entry = result.entry;
    QString codeText;
    if (layout == BookLayout::Standart) {
        codeText = Mid(line, kStandartCodeStart, kStandartCodeLength);
        entry.Name = TrimBlanks(Mid(line, kStandartNameStart));
    } else {
        const CustomLayout custom = ResolveCustomLayout(book);
        if (custom.lenShort) {
            entry.ShortName = TrimBlanks(Mid(line, custom.posShort, *custom.lenShort));
        }
        codeText = Mid(line, custom.posCode, custom.lenCode);
        int nameLength = 0;
        if (custom.lenText) {
            nameLength = *custom.lenText;
        } else {
            const qsizetype rest = line.size() - custom.posText + 1;
            if (rest < 0) {
                throw Failure(QStringLiteral("Справочник ") + QString::number(book.Code) +
                              QStringLiteral(", строка ") + QString::number(lineNumber) +
                              QStringLiteral(": строка короче начала наименования"));
            }
            nameLength = static_cast<int>(rest);
        }
        entry.Name = TrimBlanks(Mid(line, custom.posText, nameLength));
    }
    codeText = TrimBlanks(codeText);

    entry.SpNum = book.Code;
    const auto code = ReadCodeNumber(codeText);
    if (code) {
        entry.Code = *code;
    } else {
        entry.Code = 0;
        result.codeFault = QString::number(book.Code) + QStringLiteral(" - строка ") +
                           QString::number(lineNumber) + QStringLiteral(" - ") + codeText;
    }
    return result;
}

std::optional<qint32> ReadCodeNumber(const QString& text) {
    const auto number = ReadNumber(text);
    if (!number) {
        return std::nullopt;
    }
    return ToInt32(*number, QStringLiteral("Код значения ") + text);
}

}  // namespace converter
