// An Access file read the way the dictionary is read: its catalog, then every table.
#include "common/failure.h"
#include "storage/access/access_file.h"

#include <cstddef>
#include <cstdint>

using namespace converter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const AccessFile file(
            QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
            QStringLiteral("sprav.mdb"));
        for (const QString& name : file.tableNames()) {
            try {
                const auto table = file.readTable(name);
                const int fields = table->fieldCount();
                for (table->moveFirst(); !table->eof(); table->moveNext()) {
                    for (int i = 0; i < fields; ++i) {
                        (void)table->value(i).toString();
                    }
                }
            } catch (const Failure&) {
            }
        }
    } catch (const Failure&) {
    }
    return 0;
}
