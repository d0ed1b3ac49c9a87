#pragma once

#include <QString>

#include <QVariant>

#include <cstdio>

namespace converter {

// One value as the dump prints it: NULL empty, numbers in the C locale with the shortest text
// that reads back exactly, logical true/false, ISO dates and times, control characters escaped.
QString DumpValue(const QVariant& value);

// Prints a Paradox table (.db) or a table of an Access file (.mdb) as tab-separated UTF-8.
// Returns the exit status: 0 done, 2 failed (the failure is on `err`).
int DumpTable(const QString& file, const QString& table, std::FILE* out, std::FILE* err);

}  // namespace converter
