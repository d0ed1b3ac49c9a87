#pragma once

#include "common/report.h"

#include <QHash>
#include <QString>

#include <array>
#include <vector>

namespace converter {

class Recordset;
class Ui;

// One row of the dictionary table Fields as the import (and the export) uses it.
struct FieldMapEntry {
    QString tarvel;  // column name in the Tarvel tables
    QString dovi;    // indicator name in the Dovi file
    int layout = 0;  // Maket; 10 = forest elements
    bool multTen = false;
    bool decode = false;
    QString type;      // type word for MapColumnType
    int position = 0;  // order of the column within its layout
};

// Layout 10 holds the forest elements.
inline constexpr int kElementLayout = 10;
// Layouts whose main-table columns may be zero-filled, and columns remembered per layout.
inline constexpr int kSlotLayouts = 50;
inline constexpr int kSlotsPerLayout = 40;

// Main-table columns per layout 1..50 (index 0..49), slots filled from the first without gaps;
// 0 marks an empty slot.
using LayoutColumnSlots = std::array<std::array<int, kSlotsPerLayout>, kSlotLayouts>;

// Where an indicator of the Dovi file goes in the main table: its column ordinal, its entry in
// the field map (0-based) and its layout.
struct MainTarget {
    int column = -1;
    int entry = -1;
    int layout = 0;
};

// The eight sections of the import report.
enum ImportErrorSection {
    kUnknownName = 1,
    kMissingEquals = 2,
    kMissingTab = 3,
    kNotNumeric = 4,
    kStandKeysMissing = 5,
    kElementKeysMissing = 6,
    kUnknownElementName = 7,
    kNotEncoded = 8,
};

// Everything one import builds and reads: the field map, the lookups keyed by the upper-case
// Dovi name, the slot table and the error sections. A fresh value per import.
struct ImportState {
    std::vector<FieldMapEntry> fieldMap;
    QHash<QString, MainTarget> mainByName;    // the main column, entry and layout lookups
    QHash<QString, int> elementColumnByName;  // ordinal in the elements table
    LayoutColumnSlots layoutColumnSlots{};
    std::vector<ReportSection> importErrors;  // sections 1..8 at index 0..7
    bool importHadErrors = false;
    QString shownMainPath;  // the database as the user named it, while it is written elsewhere
};

// Runs CheckFieldsTable, then reads Fields in table order into state.fieldMap, keeping rows whose
// Tarvel and Dovi values are both present and not empty. False after a message.
bool LoadFieldMap(Ui& ui, ImportState& state);

// Opens the new main table and records, per field map entry whose Tarvel name has a column, the
// lookups and its slot. False after a warning when the table cannot be opened or one upper-case
// Dovi name would get two columns.
bool BuildMainLookups(Ui& ui, ImportState& state, const QString& mainPath);
// The same for the elements table: upper-case Dovi name -> ordinal of its column there.
bool BuildElementLookup(Ui& ui, ImportState& state, const QString& elementsPath);

// The lookup steps over the columns of an open table; a Failure on a repeated name.
void RecordMainColumns(ImportState& state, const Recordset& table);
void RecordElementColumns(ImportState& state, const Recordset& table);

// The eight empty sections with their captions.
void InitImportErrors(ImportState& state);
void AddImportError(ImportState& state, int section, const QString& itemText);

}  // namespace converter
