#pragma once

#include <QString>

namespace converter {

// The folder of the program's own executable (without a trailing separator), where sprav.mdb,
// help/, nsi/ and reports/ are found or made; for an installed program (a data folder
// share/dovi2tarvel beside the executable's bin/) that data folder. Tests and the console front
// end may point it elsewhere.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);

// ProgramFolder() + "/" + name.
QString ProgramFile(const QString& name);

}  // namespace converter
