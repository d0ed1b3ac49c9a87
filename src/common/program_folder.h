#pragma once

#include <QStringList>

#include <optional>

namespace converter {

// The folder of the program's own executable (without a trailing separator), where sprav.mdb,
// help/, nsi/ and reports/ are found or made; for an installed program (a data folder
// share/dovi2tarvel beside the executable's bin/) that data folder. Tests and the console front
// end may point it elsewhere.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);

// ProgramFolder() + "/" + name.
QString ProgramFile(const QString& name);

// The user's own folder of the program's files (~/.local/share/dovi2tarvel,
// %LOCALAPPDATA%\dovi2tarvel). Not created here.
QString UserDataFolder();

// Where the dictionary is looked for, first found first: the office's own folders, which
// installers and packages never touch (the whole machine's, then the user's), then the program
// folder with the sample. A program folder set explicitly is the only one: whoever set it chose
// that folder's dictionary, and an office copy elsewhere on the machine must not replace it.
QStringList DictionaryFolders();
// The office's folders in place of the system's, also before an explicit program folder (for
// tests); std::nullopt restores the system's.
void SetOfficeFolders(std::optional<QStringList> folders);

// The folder `name` beside the program where files are made (reports/, sprav/), or the same name
// under the per-user application-data folder when the program folder takes no files (an
// installed program). Not created here.
QString WritableProgramFolder(const QString& name);

}  // namespace converter
