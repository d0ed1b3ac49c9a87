#pragma once

#include <QString>

namespace converter {

class Ui;

// Positions (0-based) of the required columns of each dictionary table as the table was last
// opened by its check; -1 when the table lacks the column. The readers take values by these
// positions, so they must run the check of a table in the same operation before reading it.
struct FieldsColumns {
    int Tarvel = 0;
    int Dovi = 0;
    int Maket = 0;
    int Position = 0;
    int MultTen = 0;
    int Type = 0;
    int SpCode = 0;
    int EdIzm = 0;
    int ShortText = 0;
    int Name = 0;
    int Decode = 0;
};

struct NsiColumns {
    int Code = 0;
    int Name = 0;
    int Type = 0;
    int PosCode = 0;
    int LenCode = 0;
    int PosText = 0;
    int LenText = 0;
    int PosShort = 0;
    int LenShort = 0;
};

struct CodeValuesColumns {
    int Field = 0;
    int Code = 0;
    int Name = 0;
};

struct MaketsColumns {
    int Text = 0;
    int ShortText = 0;
    int Name = 0;
};

struct TiFieldsColumns {
    int Name = 0;
    int Type = 0;
    int Length = 0;
    int Text = 0;
    int SpCode = 0;
    int EdIzm = 0;
    int ShortText = 0;
};

struct DictionaryColumns {
    FieldsColumns fields;
    NsiColumns nsi;
    CodeValuesColumns codeValues;
    MaketsColumns makets;
    TiFieldsColumns tiFields;
};

// The program-wide record. A check rewrites its table's part each time it opens the table; when
// the file is missing or the table cannot be opened, the part keeps its earlier values.
DictionaryColumns& CurrentDictionaryColumns();
// Back to all zeros (as before the first check); for tests.
void ResetDictionaryColumns();

// The dictionary file in use: "sprav.mdb", its name in any letter case, in the first of
// DictionaryFolders() that holds one (the office's own before the program folder's sample), or
// ProgramFile("sprav.mdb") when there is none. Every reader of the dictionary opens this one.
QString DictionaryPath();

// True when the dictionary file exists; otherwise shows "Не найден файл справочника" with the
// program folder and returns false.
bool DictionaryPresent(Ui& ui);

// Table names of the dictionary.
inline const QString kNsiTable = QStringLiteral("Nsi");
inline const QString kFieldsTable = QStringLiteral("Fields");
inline const QString kCodeValuesTable = QStringLiteral("CodeValues");
inline const QString kMaketsTable = QStringLiteral("Makets");
inline const QString kTiFieldsTable = QStringLiteral("Ti_Fields");

// Each check: true when sprav.mdb exists, the table opens and every required column is present.
// Otherwise it has shown its message (file not found, missing columns listed one per line, or the
// error box with its failure text) and returns false. Positions go into
// CurrentDictionaryColumns().
bool CheckNsiTable(Ui& ui);
bool CheckFieldsTable(Ui& ui);
bool CheckCodeValuesTable(Ui& ui);
bool CheckMaketsTable(Ui& ui);
bool CheckTiFieldsTable(Ui& ui);

}  // namespace converter
