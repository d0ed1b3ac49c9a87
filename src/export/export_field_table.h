#pragma once

#include "import/field_map.h"

#include <QString>

#include <vector>

namespace converter {

class Ui;

// The fields of one maket, in the order of the dictionary table Fields; of each entry the export
// fills tarvel, dovi, layout, multTen and decode. A maket keeps its column even when none of its
// fields exists in the stand database; it then writes no line.
struct ExportFieldColumn {
    int layout = 0;
    std::vector<FieldMapEntry> fields;
};

// One column per entry of the maket list, in that order: the order of a stand's lines.
using ExportFieldTable = std::vector<ExportFieldColumn>;

// A Dovi layout line holds at most this many indicators.
inline constexpr int kMaxExportFieldsPerMaket = 255;

// The distinct numeric values of Fields.Maket in ascending order (a stand's lines go in ascending
// layout order). Null and non-numeric values are skipped. False after a message.
bool LoadMaketList(Ui& ui, std::vector<int>& makets);

// Builds the table from Fields for the stand database whose main table is `mainPath`: rows whose
// Tarvel and Dovi are both given and whose Tarvel column exists in the main table. Needs a
// successful CheckFieldsTable in the same operation. False after a message.
bool LoadExportFieldMap(Ui& ui, const QString& mainPath, const std::vector<int>& makets,
                        ExportFieldTable& table);

}  // namespace converter
