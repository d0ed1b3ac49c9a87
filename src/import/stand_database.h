#pragma once

#include "import/field_map.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace converter {

class Ui;

// One row of the dictionary table Ti_Fields: a column of the current-changes table.
struct TiFieldEntry {
    QString name;
    QString text;
    QString type;
    int length = 0;  // 0 when the dictionary leaves it empty
};

// Dictionary type word -> column type of the CREATE TABLE text (compared in lower case):
// integer -> smallint, long -> integer, double -> float, string -> string, else integer.
QString MapColumnType(const QString& typeWord);

// The statements exactly as the stand database is created with them; `table` is the SQL name.
QString BuildMainTableSql(const QString& table, const std::vector<FieldMapEntry>& fieldMap);
QString BuildElementsTableSql(const QString& table, const std::vector<FieldMapEntry>& fieldMap);
QString BuildChangesTableSql(const QString& table, const std::vector<TiFieldEntry>& tiFields);
QString BuildPrimaryIndexSql(const QString& table, bool main);
QString BuildChangesIndexSql(const QString& table);

// The creators take the .db path of their table (the main path for the main and the changes
// table, the elements path for the elements table), create it in that folder with its primary
// index, and return false after a message. Files already created stay on disk.
bool CreateMainTable(Ui& ui, ImportState& state, const QString& mainPath);
bool CreateElementsTable(Ui& ui, ImportState& state, const QString& elementsPath);
bool CreateChangesTable(Ui& ui, const QString& mainPath);
bool CreatePrimaryIndex(Ui& ui, const QString& path, bool main);

// Path of the elements table beside a main table: the main path without its extension followed
// by "Сост.db".
QString ElementsTablePath(const QString& mainPath);

// Names of every file of a stand database given its main path, its report included: what
// replacing the database replaces.
QStringList StandDatabaseFileNames(const QString& mainPath);

}  // namespace converter
