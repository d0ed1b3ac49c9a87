#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace converter {

// Reads a text as a number the way the Dovi side writes them: optional sign, digits, a decimal
// point or comma, surrounding blanks allowed. nullopt for anything else, empty text included.
std::optional<double> ReadNumber(const QString& text);

// A number as the export writes it: whole numbers without a fraction, others with a decimal
// point, never an exponent. Rounded to 15 significant digits first, so that 1.1 x 10 is "11" and
// not the binary neighbour "11.000000000000002".
QString NumberText(double number);

// NULL as the stand tables deliver it (an invalid QVariant, or a null of its type).
bool IsNullValue(const QVariant& value);

// The text of a stored value: "" for NULL, NumberText for numbers, text as it is.
QString ValueText(const QVariant& value);

// The number a stored value holds (a numeric column, or text that reads as a number).
std::optional<double> ValueNumber(const QVariant& value);

// Rounds to a whole number the way the stored values are converted everywhere in the program:
// a half goes to the even neighbour. nullopt when the result leaves the range of `int`.
std::optional<int> RoundToInt(double number);

}  // namespace converter
