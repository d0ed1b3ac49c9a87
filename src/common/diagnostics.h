#pragma once

namespace converter {

// Qt's own warnings and debug lines (a lock file it could not remove, a file it could not
// open) are not addressed to the user, who hears of every failure in the program's own words:
// they reach standard error only when DOVI2TARVEL_DEBUG is set. Fatal ones still end the program.
void KeepQtDiagnosticsQuiet();

}  // namespace converter
