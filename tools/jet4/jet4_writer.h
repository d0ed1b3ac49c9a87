#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace converter {

// Column types the writer can store. Text holds up to 255 UTF-16 units of the Basic Multilingual
// Plane; DateTime takes a QDate or QDateTime; Currency a number (4 decimals kept); Guid a QUuid
// or its text; Memo a text and Ole a QByteArray of any length (in the row when short, else on
// long-value pages: one row, or a chain of rows).
enum class Jet4Type {
    Boolean,
    Byte,
    Integer,
    Long,
    Double,
    DateTime,
    Text,
    Decimal,
    Single,
    Currency,
    Guid,
    Memo,
    Ole
};

struct Jet4Column {
    QString name;
    Jet4Type type = Jet4Type::Text;
    // Text: maximum length in characters (1..255); Decimal: digits after the point (0..18, the
    // precision is 18); ignored otherwise
    int size = 0;
};

// One table: column names unique regardless of case, rows with one value per column (a row may be
// shorter: missing values are NULL). A null QVariant is NULL; Boolean columns store NULL as false.
struct Jet4Table {
    QString name;
    std::vector<Jet4Column> columns;
    std::vector<std::vector<QVariant>> rows;
};

class Jet4Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Builds the image of a minimal Jet4 (Access 2000) file holding `tables`, with no indexes and no
// property data; our reader, mdbtools and other readers read it back value for value. Table names
// must be unique regardless of case. A row must fit a 4 KiB page; a table of more than 512 data
// pages gets a map of bitmap pages. A non-zero `databaseKey` encodes every page after the header
// as Access does for a file with a database key. Throws Jet4Error when a table, column or value
// does not fit.
QByteArray BuildJet4Database(const std::vector<Jet4Table>& tables, uint32_t databaseKey = 0);

// BuildJet4Database written to `path` through a temporary file renamed over the target.
void WriteJet4Database(const std::vector<Jet4Table>& tables, const QString& path,
                       uint32_t databaseKey = 0);

// Reads a folder of table CSVs (UTF-8, one file per table named after it, "Name.csv"). The first
// line names the columns, each as "Name:Type" with Type one of Text(n), Boolean, Byte, Integer,
// Long, Double, DateTime (yyyy-MM-dd); the other lines are rows. Cells are separated by commas;
// a cell in double quotes may hold commas, line breaks and doubled quotes. An empty unquoted cell
// is NULL, "" is an empty text. Tables come sorted by name.
std::vector<Jet4Table> ReadCsvTables(const QString& folder);
Jet4Table ReadCsvTable(const QString& path);

}  // namespace converter
