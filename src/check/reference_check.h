#pragma once

#include "common/report.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>

#include <vector>

namespace converter {

class Ui;

// One loaded row of SPFIELD.DB.
struct SpfieldEntry {
    QString FieldName;
    QString Text;
    qint32 SpNum = 0;  // 0: the column is not coded
};

// The sections of the check report, numbered from 1 as the report lists them.
inline constexpr int kCheckMissingField = 1;
inline constexpr int kCheckEmptyBook = 2;
inline constexpr int kCheckMissingValue = 3;
inline constexpr int kCheckNoDistinctValues = 4;

// Everything one run of the check loads and finds; a run starts from a fresh one.
struct ReferenceCheckState {
    std::vector<SpfieldEntry> spfield;  // in table order
    QHash<QString, int> spfieldIndex;   // upper-cased FieldName -> position in `spfield`
    // Each book's codes, gathered once per load so that a coded column costs one lookup.
    QHash<qint32, QSet<qint32>> codesByBook;
    std::vector<ReportSection> errors;  // the four sections, captions set
    bool deficienciesFound = false;

    ReferenceCheckState();
};

// The four empty sections with their captions.
std::vector<ReportSection> EmptyCheckErrors();

// Checks the coded values of the stand database's main table against the reference tables of
// `referenceFolder`. True when the check ran to its end; `deficienciesFound` is then set, and
// when there were deficiencies the report "проверка.txt" has been written into reports/ beside
// the program and shown, and `reportText` set to the line naming the per-user reports/ it went
// to when the program folder takes no files, else emptied. False after the failing step's
// message.
bool CheckTarvelDatabase(Ui& ui, const QString& databasePath, const QString& referenceFolder,
                         QString& reportText, bool& deficienciesFound);

// Load the reference rows from the full path of spfield.db / sptab.db, through the column
// positions their checks recorded. An empty SpNum of SPFIELD.DB reads as 0 (an uncoded column,
// as formation writes it) and an empty Text as empty text; an empty FieldName, two FieldNames
// equal after upper-casing, an empty Code or SpNum of SPTAB.DB, or a value that is not a whole
// number stop the load with its message. False after the message.
bool LoadSpfield(Ui& ui, const QString& spfieldPath, ReferenceCheckState& state);
bool LoadSptab(Ui& ui, const QString& sptabPath, ReferenceCheckState& state);

// The codes of book `bookNumber`; empty when the book has no rows.
QSet<qint32> CodesOfBook(const ReferenceCheckState& state, qint32 bookNumber);

// Walks the columns of the database's main table and fills the sections; writes and shows the
// report when something was found. False, after the error box, when the table cannot be read.
bool CompareWithReferences(Ui& ui, const QString& databasePath, const QString& referenceFolder,
                           QString& reportText, ReferenceCheckState& state);

// Adds one detail line to a section (1 to 4) and marks the run as having found deficiencies.
void AddCheckError(ReferenceCheckState& state, int section, const QString& detail);

// Whether a value stored in a coded column is one of the book's codes: a number when it equals a
// code, a text when it reads as the integer of a code.
bool IsKnownCode(const QVariant& value, const QSet<qint32>& codes);

}  // namespace converter
