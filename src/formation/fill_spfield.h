#pragma once

#include <QString>

namespace converter {

class Ui;

struct FormationErrors;

// Fills the freshly created SPFIELD.DB of the target folder from the dictionary's Fields,
// Makets and Ti_Fields tables plus the forest-unit columns GIR and MUK. Rows without a name are
// passed over; names are compared upper-cased; Makets and Ti_Fields rows the table refuses go to
// `errors`. On success puts "Загружено показателей: <count>" and CR LF in front of `report`. The
// spfield column positions must have been recorded by CheckSpfieldTable. False after a message.
bool FillSpfield(Ui& ui, const QString& targetFolder, QString& report, FormationErrors& errors);

}  // namespace converter
