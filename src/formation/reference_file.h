#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace converter {

class Recordset;
struct NsiColumns;

// One value-book entry, the in-memory form of a row of SPTAB.DB.
struct SptabEntry {
    qint32 SpNum = 0;
    qint32 Code = 0;
    QString Name;
    QString ShortName;
};

// One row of the dictionary table Nsi: which book, and how its file is laid out. The layout
// columns are kept as read; they are only interpreted for "custom" books, and bad values there
// stop the formation when a line of the book is cut.
struct NsiBook {
    qint32 Code = 0;
    QString Type;  // as stored; compared without regard to case
    QVariant PosCode, LenCode, PosText, LenText, PosShort, LenShort;
};

enum class BookLayout { Standart, Custom };

// The Nsi row at the recordset's current position, read through the recorded column positions.
// A book number that is not a 32-bit integer is a Failure.
NsiBook ReadNsiBook(const Recordset& nsi, const NsiColumns& columns);

// The layout named by Type, or nullopt when it is neither "standart" nor "custom".
std::optional<BookLayout> BookLayoutOf(const NsiBook& book);

// The file of a book: folder, a separator, the book number and ".000". A folder that already
// ends with a separator gives a doubled one, which names the same file; the name is used and
// reported exactly as formed.
QString ReferenceFilePath(const QString& referenceFolder, qint32 bookNumber);

// Lines shorter than this are skipped (but still counted).
inline constexpr int kShortestReferenceLine = 11;

struct ReferenceLine {
    SptabEntry entry;
    // Empty when the code was a number; otherwise the detail of the non-numeric-code fault.
    QString codeFault;
};

// Cuts one decoded line of a book by its layout and converts the code. A non-numeric code gives
// code 0 and the fault detail "<book> - строка <line> - <code text>". Bad layout values of the
// Nsi row, a code outside the 32-bit range and a negative name length are Failures.
ReferenceLine ReadReferenceLine(const QString& line, const NsiBook& book, BookLayout layout,
                                int lineNumber);

// The code text as a number rounded to the nearest integer (halves to the even neighbour), or
// nullopt when the text is not a number. A decimal point or comma, a sign and an exponent are
// accepted; blank text is not a number. A number outside the 32-bit range is a Failure.
std::optional<qint32> ReadCodeNumber(const QString& text);

}  // namespace converter
