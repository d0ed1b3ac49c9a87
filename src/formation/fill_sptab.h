#pragma once

#include <QString>

namespace converter {

class Ui;
struct FormationErrors;

// Fills the freshly created SPTAB.DB of the target folder from the value books listed in the
// dictionary's Nsi table, then adds the program's own fixed books. Faults go to `errors`; the
// report text becomes the value-book count line. The sptab column positions must have been
// recorded by CheckSptabTable. False after a message. A value book must be a regular file of at
// most kMaxValueBookSize bytes.
inline constexpr qint64 kMaxValueBookSize = qint64{64} * 1024 * 1024;
bool FillSptab(Ui& ui, const QString& targetFolder, const QString& referenceFolder, QString& report,
               FormationErrors& errors);

}  // namespace converter
