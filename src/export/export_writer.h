#pragma once

#include "export/export_field_table.h"

#include <QString>

#include <optional>

namespace converter {

class Ui;

// The decimal separator of the system's number formatting, "." or ","; "." for any other.
QChar SystemDecimalSeparator();

// What one export needs besides the field table: the files, the chosen year (the item value of
// the year list's selected entry; nullopt when none is selected), the operation's start time in
// seconds since midnight, for the completion message, and the separator of fractional numbers.
struct ExportRequest {
    QString outputPath;
    QString mainPath;
    QString elementsPath;
    std::optional<int> year;
    int startTime = 0;
    QChar decimalSeparator = QLatin1Char('.');
};

// The export driver: checks the dictionary, builds the maket list, the field table and the code
// lists, then writes the file. Every failing step has shown its own message; true when the file
// was written completely and the completion message shown.
bool ExportCurrentChanges(Ui& ui, const ExportRequest& request);

// True (after a warning) when the output file is one of the export's inputs: a file of the
// database or the dictionary.
bool RefuseExportOntoInput(Ui& ui, const QString& outputPath, const QString& mainPath,
                           const QString& elementsPath);

// Writes the stands of the chosen year with their forest elements as a Dovi per-stand text file
// (Windows-1251, CR LF) and shows the completion message. The file appears only when it is
// complete: a run that fails leaves no file (and no half of one) behind.
bool WriteExportFile(Ui& ui, const ExportRequest& request, const ExportFieldTable& table);

}  // namespace converter
