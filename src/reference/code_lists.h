#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <utility>

namespace converter {

class Ui;

// The two lookup lists built from the dictionary table CodeValues. Keys are the pair
// (upper-cased indicator, value) and compare exactly, case included; keeping the two parts apart
// stops indicator A1 with code 23 from colliding with indicator A12 with code 3.
struct CodeLists {
    using Key = std::pair<QString, QString>;
    QHash<Key, QString> nameByCode;  // (FIELD, CODE TEXT) -> NAME; for the export
    QHash<Key, QString> codeByName;  // (FIELD, NAME) -> code text as stored; for the import
};

// The program-wide lists, as the last successful BuildCodeLists left them.
const CodeLists& CurrentCodeLists();
// Empties both lists; for tests.
void ClearCodeLists();

// Upper case for the keys and names of the code lists; Cyrillic included, independent of the
// process locale.
QString UpperCaseText(const QString& text);

// Text form of a dictionary value for keys and results: integers and whole doubles as decimal
// digits without grouping or fraction, other doubles with a point, text as it is, NULL as "".
QString DictionaryValueText(const QVariant& value);

// Runs CheckCodeValuesTable, then replaces both lists from the rows of CodeValues in table order.
// The first row that produces a key wins; a later duplicate or an unreadable row is left out
// silently. False after a message when the check fails or the table cannot be read; the lists
// are then left as they were.
bool BuildCodeLists(Ui& ui);

// Export: `value` holds a Tarvel code as text. Looks up (upper case of fieldKey, value as given);
// on a hit `value` becomes the upper-cased name and the result is true, otherwise "0" and false.
bool DecodeValue(const QString& fieldKey, QString& value);

// Import: `value` holds the Dovi text of indicator `name`. Looks up (name, value) as given, no case
// change, no trimming; on a hit `value` becomes the code text and the result is true, otherwise
// "0" and false.
bool EncodeValue(const QString& name, QString& value);

}  // namespace converter
