#pragma once

#include "storage/memory_recordset.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace converter {

// One Access (Jet3 or Jet4) file opened read-only through libmdb. Its list of tables is read
// from the system catalog directly, without the library's property parser, and every table is
// checked before its rows are fetched, so a damaged file ends in a Failure instead of a hang or
// a crash. Only one thread may use libmdb at a time.
class AccessFile {
public:
    explicit AccessFile(const QString& path);  // Failure when missing or not an Access file
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
