#pragma once

#include <QString>

namespace converter {

class Ui;

// Positions (0-based) of the required columns of the two Tarvel reference tables as their checks
// last opened them; -1 when the table lacks the column. Formation writes rows and the reference
// check reads them through these positions, so each runs the check in the same operation first.
struct SpfieldColumns {
    int FieldName = 0;
    int Text = 0;
    int SpNum = 0;
    int EdIzm = 0;
    int ShortText = 0;
};

struct SptabColumns {
    int SpNum = 0;
    int Code = 0;
    int Name = 0;  // the column NAME
    int ShortName = 0;
};

// The program-wide records. A check rewrites its table's record each time it opens the table;
// when the file is missing or the table cannot be opened, the record keeps its earlier values.
SpfieldColumns& CurrentSpfieldColumns();
SptabColumns& CurrentSptabColumns();
// Back to all zeros (as before the first check); for tests.
void ResetReferenceColumns();

// File and table names: the files are addressed in lower case and found regardless of case.
inline const QString kSpfieldTable = QStringLiteral("spfield");
inline const QString kSptabTable = QStringLiteral("sptab");
inline const QString kSpfieldFileName = QStringLiteral("spfield.db");
inline const QString kSptabFileName = QStringLiteral("sptab.db");

// The statements that create the two tables and their primary indexes.
inline const QString kCreateSptabTable = QStringLiteral(
    "CREATE TABLE [sptab] ([SpNum] INTEGER, [Code] INTEGER, [ShortName] CHAR (10) , [NAME] CHAR "
    "(55))");
inline const QString kCreateSptabIndex =
    QStringLiteral("CREATE INDEX [sptab] ON [sptab] ([SpNum], [Code]) WITH PRIMARY");
inline const QString kCreateSpfieldTable = QStringLiteral(
    "CREATE TABLE [spfield] ([FieldName] CHAR (20), [Text] CHAR (40), [EdIzm] CHAR (10), [SpNum] "
    "INTEGER, [ShortText] CHAR (25))");
inline const QString kCreateSpfieldIndex =
    QStringLiteral("CREATE INDEX [spfield] ON [spfield] ([FieldName]) WITH PRIMARY");

// The table file of `folder`: the folder, "/" and the lower-case file name. A folder that already
// ends with a separator gives a doubled one, which names the same file.
QString ReferenceTablePath(const QString& folder, const QString& fileName);

// The file that `path` names, found without regard to the letter case of its file name (tables
// copied from Windows are often SPTAB.DB), or an empty text when there is none.
QString FindFileIgnoringCase(const QString& path);

// Each check: true when the folder holds the table file, the table opens and every required
// column is present; otherwise it has shown its message (the file not found, naming the folder;
// the missing columns, one per line, naming the file; or the error box with its failure text)
// and returns false.
bool CheckSpfieldTable(Ui& ui, const QString& folder);
bool CheckSptabTable(Ui& ui, const QString& folder);

}  // namespace converter
