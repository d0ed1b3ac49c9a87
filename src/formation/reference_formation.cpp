#include "formation/reference_formation.h"

#include "common/failure.h"
#include "common/utilities.h"
#include "formation/fill_spfield.h"
#include "formation/fill_sptab.h"
#include "formation/formation_errors.h"
#include "formation/formation_tables.h"
#include "reference/dictionary_checks.h"
#include "reference/reference_tables.h"

namespace converter {

bool FormReferenceTables(Ui& ui, const QString& targetFolder, const QString& referenceFolder,
                         QString& report, bool& hadErrors) {
    try {
        FormationErrors errors;
        if (!CheckFieldsTable(ui) || !CheckNsiTable(ui)) {
            return false;
        }
        if (!CreateSptabTable(ui, targetFolder) || !CreateSpfieldTable(ui, targetFolder)) {
            return false;
        }
        // Run on the new empty tables, the checks record the positions the rows are written by.
        if (!CheckSpfieldTable(ui, targetFolder) || !CheckSptabTable(ui, targetFolder)) {
            return false;
        }
        errors.reset();
        if (!FillSptab(ui, targetFolder, referenceFolder, report, errors)) {
            return false;
        }
        // The report holds the refusals of both tables, so it is written after both are filled,
        // and also when the indicator table failed, as the value table's faults stand.
        const bool filled = FillSpfield(ui, targetFolder, report, errors);
        WriteFormationReport(ui, targetFolder, errors);
        if (!filled) {
            return false;
        }
        hadErrors = errors.hadErrors;
        return true;
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure());
        return false;
    }
}

}  // namespace converter
