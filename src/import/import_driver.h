#pragma once

#include <QString>

namespace converter {

class Ui;

// The import: checks the dictionary, reads the Dovi file, creates the main, elements and
// current-changes tables of the new database and converts the stands. True when the database
// was built; `countText` then holds "Количество выделов: " and the stand count, `hadErrors`
// whether the report lists faults. False after the failing step's own message; an empty file
// gives a warning naming it and creates nothing.
bool ImportDoviFile(Ui& ui, const QString& textPath, const QString& mainPath,
                    const QString& elementsPath, QString& countText, bool& hadErrors);

}  // namespace converter
