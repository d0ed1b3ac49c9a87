#pragma once

#include "cli/console_ui.h"

#include <QString>
#include <QStringList>

#include <cstdio>

namespace converter {

// Exit statuses shared by the commands.
inline constexpr int kExitDone = 0;
inline constexpr int kExitDoneWithFaults = 1;
inline constexpr int kExitFailed = 2;

// Each runs the same steps as its tab, with the console answering the dialogs.
int CliImport(ConsoleUi& ui, const QString& doviFile, const QString& mainDb, const QString& leshoz,
              const QString& lesnich);
int CliYears(ConsoleUi& ui, const QString& mainDb, std::FILE* out);
int CliExport(ConsoleUi& ui, const QString& mainDb, int year, const QString& outputFile,
              QChar decimalSeparator);
int CliForm(ConsoleUi& ui, const QString& nsiFolder, const QString& targetFolder);
int CliCheck(ConsoleUi& ui, const QString& mainDb, const QString& referenceFolder);
// Runs the import of each file into a temporary database that is removed afterwards and prints,
// per file, the report the import would write (headed by the file's path instead of the
// database's) and the stand count as its last line; blocks are parted by an empty line. The
// worst status of the files: 0 clean, 1 faults in the report, 2 not read or not converted.
int CliValidate(ConsoleUi& ui, const QStringList& doviFiles, std::FILE* out);

}  // namespace converter
