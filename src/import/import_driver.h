#pragma once

#include <QString>

#include <vector>

namespace converter {

class Ui;
struct ReportSection;

// The import: checks the dictionary, reads the Dovi file, creates the main, elements and
// current-changes tables of the new database and converts the stands. True when the database
// was built; `countText` then holds "Количество выделов: " and the stand count, `hadErrors`
// whether the report lists faults. False after the failing step's own message; an empty file
// gives a warning naming it and creates nothing. With `reportSections` the report is not written
// but its sections are handed back (see ConvertStands).
bool ImportDoviFile(Ui& ui, const QString& textPath, const QString& mainPath,
                    const QString& elementsPath, QString& countText, bool& hadErrors,
                    std::vector<ReportSection>* reportSections = nullptr);

}  // namespace converter
