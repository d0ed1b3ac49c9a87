#pragma once

#include "common/report.h"

#include <QString>

#include <vector>

namespace converter {

class Ui;

// Report sections of one reference formation, numbered from 1.
inline constexpr int kMissingFileSection = 1;
inline constexpr int kUnknownTypeSection = 2;
inline constexpr int kRepeatedKeySection = 3;
inline constexpr int kNonNumericCodeSection = 4;
// Rows that SPTAB.DB or SPFIELD.DB refused for a reason other than a key already present (a text
// too long for its column or not representable in the table's code page): without it such a
// value would vanish from the books while the formation reported success.
inline constexpr int kRefusedRowSection = 5;

struct FormationErrors {
    std::vector<ReportSection> sections;
    bool hadErrors = false;

    FormationErrors();
    // Back to empty sections with their captions and no errors.
    void reset();
    const ReportSection& section(int number) const { return sections.at(number - 1); }
};

// Counts the detail in its section; every section except the repeated keys marks the run as
// having had errors.
void AddFormationError(FormationErrors& errors, int section, const QString& detail);

// Writes sptab_rep.txt in the target folder, copies and shows it, when the run had errors or
// repeated keys; otherwise writes nothing. The report names the table as it lies in
// `shownFolder` (the target folder when empty): the tables may be written elsewhere first.
// Returns WriteReport's line naming a per-user folder of the copy, or empty.
QString WriteFormationReport(Ui& ui, const QString& targetFolder, const FormationErrors& errors,
                             const QString& shownFolder = {});

}  // namespace converter
