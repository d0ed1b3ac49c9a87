#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace converter {

// A decimal number exactly as written: value = digits * 10^-scale, with a sign. Kept as digits
// so that dividing by ten and rounding half to even never meet binary fractions.
struct DoviNumber {
    bool negative = false;
    QString digits;  // at least one digit, no sign
    int scale = 0;   // digits after the decimal separator
};

// Blanks, an optional sign, digits with at most one decimal point or comma, blanks. At least one
// digit; letters, exponents and empty text are not numbers.
std::optional<DoviNumber> ParseDoviNumber(QStringView text);

// The value of a plain decimal of up to 31 characters (blanks around, a sign, digits with at most
// one point or comma), read straight into a double: the same number that ParseDoviNumber and the
// text of DoviNumberText give, without building either. nullopt for anything else, which the
// caller then reads the long way.
std::optional<double> PlainDecimalValue(QStringView text);

// The same for a ten-fold value of at most 15 digits: the number DivideByTenRounded gives.
std::optional<double> PlainDecimalTenth(QStringView text);

// Rounds to `decimals` places (0 or more), a half going to the even neighbour.
DoviNumber RoundHalfEven(const DoviNumber& number, int decimals);

// number / 10 rounded to one decimal place, half to even.
DoviNumber DivideByTenRounded(const DoviNumber& number);

// Plain text with a point: no leading zeros, no trailing fractional zeros, no "-0".
QString DoviNumberText(const DoviNumber& number);

// The number rounded half to even to a whole number; nullopt when it does not fit 32 bits.
std::optional<qint32> DoviNumberToInt32(const DoviNumber& number);

}  // namespace converter
