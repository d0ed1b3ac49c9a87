// The SQL subset: any text either parses or is refused with a Failure. A SELECT that parses runs
// over a small table of mixed values; CREATE TABLE and CREATE INDEX run in a folder that holds a
// small table [t], and every table there must read afterwards.
#include "fuzz_support.h"

#include "common/failure.h"
#include "storage/database.h"
#include "storage/memory_recordset.h"
#include "storage/paradox/paradox_table.h"
#include "storage/sql/sql_select.h"
#include "storage/sql/sql_statement.h"

#include <QDir>

#include <cstdlib>

using namespace converter;

namespace {

MemoryRecordset& SampleTable() {
    static MemoryRecordset* table = [] {
        std::vector<MemoryRecordset::Row> rows = {{2001, QStringLiteral("b"), 1.5},
                                                  {QVariant(), QStringLiteral("A"), QVariant()},
                                                  {2001, QStringLiteral("12"), -0.0},
                                                  {-5, QVariant(), 1e300}};
        auto* made = new MemoryRecordset({{QStringLiteral("AKTM"), FieldType::Short, 0},
                                          {QStringLiteral("Name"), FieldType::Text, 20},
                                          {QStringLiteral("Area"), FieldType::Number, 0}},
                                         std::move(rows));
        return made;
    }();
    return *table;
}

// A folder with the table [t] (a INTEGER, b CHAR (20), c SMALLINT) of three rows, afresh.
QString PrepareFolder() {
    QDir folder(fuzz::ScratchFolder() + QStringLiteral("/sql"));
    if (folder.exists()) {
        folder.removeRecursively();
    }
    QDir().mkpath(folder.path());
    const QString connection =
        BuildConnectionString(kParadoxFolder, folder.filePath(QStringLiteral("t.db")));
    ExecuteStatement(connection,
                     QStringLiteral("CREATE TABLE [t] ([a] INTEGER, [b] CHAR (20), [c] SMALLINT)"));
    RecordsetPtr table = OpenRecordset(connection, QStringLiteral("[t]"), kSourceTable);
    for (int i = 3; i > 0; --i) {
        table->addNew();
        table->setValue(0, i);
        table->setValue(1, QStringLiteral("строка %1").arg(i));
        table->setValue(2, i % 2);
        table->update();
    }
    table->close();
    return connection;
}

void ExpectReadableTables() {
    const QDir folder(fuzz::ScratchFolder() + QStringLiteral("/sql"));
    for (const QString& name : folder.entryList({QStringLiteral("*.db")}, QDir::Files)) {
        try {
            (void)paradox::ParadoxTable::Load(folder.filePath(name));
        } catch (const Failure&) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const sql::Statement statement = sql::ParseStatement(text);
        if (const auto* select = std::get_if<sql::SelectStatement>(&statement)) {
            RecordsetPtr rows = sql::RunSelect(SampleTable(), *select);
            for (rows->moveFirst(); !rows->eof(); rows->moveNext()) {
                for (int i = 0; i < rows->fieldCount(); ++i) {
                    (void)rows->value(i);
                }
            }
            return 0;
        }
    } catch (const Failure&) {
        return 0;
    }
    const QString connection = PrepareFolder();
    try {
        ExecuteStatement(connection, text);
    } catch (const Failure&) {
    }
    ExpectReadableTables();
    return 0;
}
