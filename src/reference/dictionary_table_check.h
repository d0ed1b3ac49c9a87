#pragma once

#include <QString>

#include <vector>

namespace converter {

class Ui;

// One column a table must have: the name looked up (regardless of case), the name as the
// missing-columns message writes it, and where its position (or -1) is recorded.
struct RequiredColumn {
    QString lookupName;
    QString messageName;
    int* position;
};

// What a table check opens and how it reports.
struct TableColumnsCheck {
    QString connectionString;
    QString tableName;
    QString path;           // named after "Путь: " in the missing-columns message
    QString missingPrefix;  // "Отсутствуют поля справочника ...: "
    QString failureText;    // the error box's headline for any other failure
};

// The steps the dictionary and reference-table checks share once their file is known to exist:
// opens the table, records the position of every required column, and shows the missing ones
// (given in message order), each on a line of its own, followed by "Путь: " and the path, with
// the title "Ошибка". Any failure (the table cannot be opened, say) shows the error box with the
// failure text. True only when every column is present.
bool CheckTableColumns(Ui& ui, const TableColumnsCheck& check,
                       const std::vector<RequiredColumn>& columns);

}  // namespace converter
