#pragma once

#include <QString>

#include <optional>

namespace converter {

class Ui;

// The browse button of the import tab: the chosen text file, or nullopt when the box should
// keep its text (cancelled, or the file does not exist).
std::optional<QString> ChooseImportFile(Ui& ui);

// The import button with the text of the file box: checks the file, asks for the new database's
// main file (proposing the text file's name with ".db"), asks before overwriting, runs the import
// in the busy state and shows the outcome with the time spent. True when a database was built.
bool RunImport(Ui& ui, const QString& sourcePath);

}  // namespace converter
