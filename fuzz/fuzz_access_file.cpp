// An Access file read the way the dictionary is read: its catalog, then every table.
#include "fuzz_support.h"

#include "common/failure.h"
#include "storage/access/access_file.h"

using namespace converter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = fuzz::WriteScratchFile(
        QStringLiteral("sprav.mdb"),
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    try {
        const AccessFile file(path);
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
