#include "storage/access/access_table.h"

#include "storage/access/access_file.h"

namespace converter {

namespace {

QString Unbracketed(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.size() >= 2 && trimmed.startsWith(QLatin1Char('[')) &&
        trimmed.endsWith(QLatin1Char(']'))) {
        return trimmed.mid(1, trimmed.size() - 2);
    }
    return trimmed;
}

}  // namespace

RecordsetPtr OpenAccessTable(const QString& mdbPath, const QString& tableName) {
    const AccessFile file(mdbPath);
    return file.readTable(Unbracketed(tableName));
}

QStringList AccessTableNames(const QString& mdbPath) {
    const AccessFile file(mdbPath);
    return file.tableNames();
}

}  // namespace converter
