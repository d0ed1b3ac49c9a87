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

// The folder `name` beside the program where files are made (reports/, sprav/), or the same name
// under the per-user application-data folder when the program folder takes no files (an
// installed program). Not created here.
QString WritableProgramFolder(const QString& name);

}  // namespace converter
