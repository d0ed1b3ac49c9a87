#pragma once

#include "import/dovi_file.h"
#include "import/field_map.h"

#include <QString>

#include <vector>

namespace converter {

class Ui;

// Line number of the first stand line: lines 1 to 7 are the header, line 8 the empty line in
// front of the first stand.
inline constexpr int kFirstStandLine = 9;

// Writes the stands of `lines` into the new database of `mainPath` (main and elements tables,
// created with their lookups before). Asks for the forest unit first: a cancel deletes the new
// database and returns false silently. Data faults go into the error sections and, at the end,
// into the report "<mainPath without extension>_rep.txt". On success `countText` is
// "Количество выделов: " and the number of stands in the main table, followed on a line of its
// own by the per-user folder the report's copy went to, if it did. Any other failure ends the
// conversion with a message naming the line; rows saved before it stay in the tables.
// With `reportSections` the sections are handed back there instead of being written as a report
// (a validation, whose database is thrown away). The lines are cleared once converted.
bool ConvertStands(Ui& ui, ImportState& state, DoviLines& lines, const QString& mainPath,
                   QString& countText, std::vector<ReportSection>* reportSections = nullptr);

}  // namespace converter
