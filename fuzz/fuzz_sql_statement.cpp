// The SQL subset: any text either parses or is refused with a Failure; a SELECT that parses runs
// over a small table of mixed values.
#include "fuzz_support.h"

#include "common/failure.h"
#include "common/memory_recordset.h"
#include "storage/sql/sql_select.h"
#include "storage/sql/sql_statement.h"

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
        }
    } catch (const Failure&) {
    }
    return 0;
}
