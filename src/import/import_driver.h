#pragma once

#include <QString>

#include <vector>

namespace converter {

class Ui;
struct ReportSection;

// The import: checks the dictionary, reads the Dovi file, creates the main, elements and
// current-changes tables of the new database and converts the stands. True when the database
// was built; `countText` then holds "Количество выделов: " and the stand count (and the line
// naming a per-user folder of the report's copy, see ConvertStands), `hadErrors`
// whether the report lists faults. False after the failing step's own message; an empty file
// gives a warning naming it and creates nothing. With `reportSections` the report is not written
// but its sections are handed back (see ConvertStands). The source must be a text file and no
// file of the new database one of the inputs. The new tables are written beside the old
// database, which they replace only once complete; until then the old files stay as they were.
bool ImportDoviFile(Ui& ui, const QString& textPath, const QString& mainPath,
                    const QString& elementsPath, QString& countText, bool& hadErrors,
                    std::vector<ReportSection>* reportSections = nullptr);

// The checks that come before anything is asked or written: the source is a regular text file
// and no file of the database at `mainPath` is the source or the dictionary. False after a
// warning naming the file.
bool CheckImportPaths(Ui& ui, const QString& textPath, const QString& mainPath);

}  // namespace converter
