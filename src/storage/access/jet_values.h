#pragma once

#include "storage/access/jet_table.h"

#include <QVariant>

namespace converter::access {

// The value of a column held in `size` bytes of a row (not a long value). Numbers come as int
// or double; a Decimal with more than 15 significant digits as its exact decimal text, which
// converts to a number like any other; a date as a QDateTime in UTC; a GUID as
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}". JetDamaged when the bytes are too few.
QVariant JetScalar(const JetColumn& column, const unsigned char* bytes, int size, bool jet3,
                   int codePage);

// Days since 1899-12-30 as a moment; the fraction is the time of day, counted away from zero
// before that day. Null for a number no calendar holds.
QVariant JetDate(double days);

// A Decimal: a sign byte, then the unscaled magnitude as four 32-bit little-endian words, the
// most significant first. As "-123.45" with `scale` digits after the point.
QString JetDecimalText(const unsigned char* bytes, int scale);

}  // namespace converter::access
