#pragma once

#include <QString>

namespace converter {

class Ui;

// The two reference tables of a target folder. The folder may end with a separator or not.
QString SptabPath(const QString& targetFolder);
QString SpfieldPath(const QString& targetFolder);

// Create the empty, keyed tables in the target folder; false after the error box.
bool CreateSptabTable(Ui& ui, const QString& targetFolder);
bool CreateSpfieldTable(Ui& ui, const QString& targetFolder);

}  // namespace converter
