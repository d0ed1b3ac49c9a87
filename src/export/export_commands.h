#pragma once

#include "export/export_writer.h"

#include <QDate>
#include <QString>
#include <QVariant>

#include <optional>
#include <vector>

namespace converter {

class Ui;

// One entry of the year list: what the list shows and the AKTM value it selects.
struct YearEntry {
    QString text;
    int value = 0;
};

struct YearList {
    std::vector<YearEntry> entries;
    int selected = -1;  // index of the selected entry, -1 for none
};

// The item value of the entry for stands without a change year.
inline constexpr int kUndefinedYear = 9999;

// The entry for one stored AKTM value: NULL is "Не определен" (9999); below 10 is "200" followed
// by the value (5 -> 2005); 10 up to the last two digits of `currentYear` is "20" followed by the
// value (21 -> 2021), larger two-digit values "19" followed by it (98 -> 1998); 100 and above are
// shown as they are. The item value is the stored value. A Failure when it is not a whole number.
YearEntry YearEntryFor(const QVariant& aktm, int currentYear = QDate::currentDate().year());

// The distinct AKTM values of the main table `mainPath`, in the order the query returns them, the
// first one selected. nullopt when the list must stay as it was (the query could not be run;
// the message has been shown). When a value cannot be read, the entries before it come back
// with none selected, after the message.
std::optional<YearList> GetYearsList(Ui& ui, const QString& mainPath);

// What the " Экспорт" tab shows after the database button: a new text for the database box and
// a new year list, each only when it changes.
struct OpenExportOutcome {
    std::optional<QString> databasePath;
    std::optional<YearList> years;
};

// The database button: asks for a stand database, checks that it and its elements file exist,
// and builds its year list (busy meanwhile, with "Построение списка лет..." in the status label).
OpenExportOutcome ChooseExportDatabase(Ui& ui);
// The same for a path the user typed: checks it and its elements file, builds its year list.
OpenExportOutcome OpenExportDatabase(Ui& ui, const QString& path);

// The proposed output file: the program folder (the user's data folder when the program folder
// takes no files), the database's name, "_", the year text, ".txt".
QString ProposedExportFile(const QString& databasePath, const QString& yearText);

// Asks for the output file with the proposal; an existing file is removed once the user agrees
// to overwrite it. True with `outputPath` set when the export may write there.
bool ChooseExportFile(Ui& ui, const QString& databasePath, const QString& yearText,
                      QString& outputPath);

// The export button: `databasePath` is the database box, `year` the item value of the selected
// year entry (nullopt when none is selected) and `yearText` its text; fractional numbers are
// written with `decimalSeparator`. Asks for the output file and runs the export while busy. True
// when the file was written.
bool RunExport(Ui& ui, const QString& databasePath, std::optional<int> year,
               const QString& yearText, QChar decimalSeparator = SystemDecimalSeparator());

// True when the file exists, its name matched without regard to letter case (tables copied from
// Windows often carry upper-case names).
bool TableFileExists(const QString& path);

}  // namespace converter
