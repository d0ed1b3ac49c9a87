#include "storage/access/access_table.h"

#include "common/failure.h"

namespace converter {

RecordsetPtr OpenAccessTable(const QString& mdbPath, const QString&) {
    throw Failure(QStringLiteral("Чтение файлов Access ещё не поддерживается: ") + mdbPath);
}

}  // namespace converter
