// A Paradox table folder: the input is the .db file, optionally followed by its .px and .mb
// files after marker lines, so a plain .db is an input of its own. A table that reads must read
// every value, answer a query, and read back the same after our writer saved it.
#include "fuzz_support.h"

#include "common/failure.h"
#include "storage/database.h"
#include "storage/paradox/paradox_table.h"

#include <cstdlib>

using namespace converter;

namespace {

const std::vector<QByteArray> kSeparators = {QByteArrayLiteral("\n--px--\n"),
                                             QByteArrayLiteral("\n--mb--\n")};

void ReadAll(Recordset& recordset) {
    const int fields = recordset.fieldCount();
    for (recordset.moveFirst(); !recordset.eof(); recordset.moveNext()) {
        for (int i = 0; i < fields; ++i) {
            (void)recordset.value(i).toString();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<QByteArray> parts = fuzz::SplitInput(data, size, kSeparators);
    const QString dbPath = fuzz::WriteScratchFile(QStringLiteral("t.db"), parts[0]);
    if (parts[1].isEmpty()) {
        fuzz::RemoveScratchFile(QStringLiteral("t.px"));
    } else {
        fuzz::WriteScratchFile(QStringLiteral("t.px"), parts[1]);
    }
    if (parts[2].isEmpty()) {
        fuzz::RemoveScratchFile(QStringLiteral("t.mb"));
    } else {
        fuzz::WriteScratchFile(QStringLiteral("t.mb"), parts[2]);
    }
    const QString connection = BuildConnectionString(kParadoxFolder, dbPath);

    int rows = 0;
    try {
        RecordsetPtr table = OpenRecordset(connection, QStringLiteral("t"), kSourceTable);
        rows = table->recordCount();
        ReadAll(*table);
        table->close();
    } catch (const Failure&) {
        return 0;
    }
    try {
        RecordsetPtr query =
            OpenRecordset(connection, QStringLiteral("SELECT DISTINCT * FROM t"), kSourceSql);
        ReadAll(*query);
    } catch (const Failure&) {
    }

    // What we read, we must be able to write and read again. Tables with memo or binary fields
    // are left out: their values live in the .mb, which the writer does not carry over.
    paradox::ParadoxTable table = paradox::ParadoxTable::Load(dbPath);
    if (table.hasBlobFields()) {
        return 0;
    }
    try {
        table.save();
    } catch (const Failure&) {
        return 0;  // e.g. a table our writer cannot express; nothing was replaced
    }
    paradox::ParadoxTable again = paradox::ParadoxTable::Load(dbPath);
    if (again.rowCount() != rows || again.fieldCount() != table.fieldCount()) {
        std::abort();
    }
    return 0;
}
