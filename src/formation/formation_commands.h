#pragma once

#include <QString>

#include <optional>

namespace converter {

class Ui;

// The " Справочник" tab's commands, over the Ui port; the window only passes its field texts in
// and shows what comes back.

// cmdOpenDoviSprav: asks for any value-book file of the wanted folder. Returns the folder (with
// its final separator) for txtNsiPath, or nullopt when the field stays as it is.
std::optional<QString> ChooseReferenceFolder(Ui& ui);

// cmdFormSprav: asks where to put the reference tables (proposing spfield.db in the program's
// "sprav" folder), asks before replacing existing tables, forms them from the value books in
// `nsiPath` (txtNsiPath as typed) in the busy state and shows the outcome. True when the tables
// were formed.
bool RunReferenceFormation(Ui& ui, const QString& nsiPath);

}  // namespace converter
