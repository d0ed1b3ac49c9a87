#pragma once

#include "storage/memory_recordset.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace converter {

// One Access (Jet3 or Jet4) file, read whole into memory when opened and read only. The opening
// checks the header, the system catalog and every user table's definition and page map; a table's
// rows are read when asked for. Anything pointing outside the file or its pages, a cut file, or a
// table whose rows disagree with its definition is the Failure "... повреждён или не является
// базой данных Access", and nothing of the file is returned.
class AccessFile {
public:
    explicit AccessFile(const QString& path);  // Failure when missing or not an Access file
    // The same over the file's bytes; `path` only names the file in messages.
    AccessFile(QByteArray bytes, const QString& path);
    ~AccessFile();
    AccessFile(const AccessFile&) = delete;
    AccessFile& operator=(const AccessFile&) = delete;

    // Names of the user tables in catalog order.
    QStringList tableNames() const;
    // The table named `name`: the exact spelling first, else the first match regardless of case.
    // Failure when there is none or the table is damaged.
    std::unique_ptr<MemoryRecordset> readTable(const QString& name) const;

    bool isJet3() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace converter
