#pragma once

#include <QString>

namespace converter {

class Ui;

// Builds a fresh pair of reference tables SPTAB.DB and SPFIELD.DB in `targetFolder` from the
// Dovi value books in `referenceFolder` and the dictionary beside the program; they replace
// older tables and report there only once complete. On success `report` holds "Загружено
// показателей: <n>", CR LF, "Загружено справочников значений: <m>" (and, on a line of its own,
// the per-user folder a report's copy went to), and `hadErrors` tells whether faults were
// reported (the report sptab_rep.txt is then written beside the tables). False after a message;
// the old files are then as they were.
bool FormReferenceTables(Ui& ui, const QString& targetFolder, const QString& referenceFolder,
                         QString& report, bool& hadErrors);

}  // namespace converter
