#pragma once

#include "jet4/jet4_writer.h"

#include <QString>
#include <QVariant>

#include <initializer_list>
#include <vector>

namespace converter::testing {

// Builds a sprav.mdb for a test with exactly the tables, columns and rows it wants:
//
//     DictionaryBuilder b;
//     b.table("Fields", {{"Tarvel", Jet4Type::Text, 20}, {"Maket", Jet4Type::Integer}})
//         .row({"POR", 10})
//         .row({"VOZ", QVariant()});  // NULL
//     b.writeInto(folder);            // folder/sprav.mdb
//
// or starts from the shipped dictionary and breaks it on purpose:
//
//     DictionaryBuilder::Standard().removeColumn("Nsi", "LenShort").writeInto(folder);
//
// Table and column names given to the editing calls match regardless of case. Every failure is a
// Jet4Error (std::runtime_error).
class DictionaryBuilder {
public:
    // The tables of data/dictionary in the source tree.
    static DictionaryBuilder Standard();
    // The tables of a folder of CSVs in the dictionary's CSV form.
    static DictionaryBuilder FromCsvFolder(const QString& folder);

    // Adds a table (or replaces one of that name, rows included); later row() calls add to it.
    DictionaryBuilder& table(const QString& name, std::vector<Jet4Column> columns);
    DictionaryBuilder& row(std::vector<QVariant> values);
    DictionaryBuilder& row(std::initializer_list<QVariant> values);

    // Editing: the last table touched by table() stays the one row() adds to.
    DictionaryBuilder& removeTable(const QString& name);
    DictionaryBuilder& removeColumn(const QString& tableName, const QString& columnName);
    DictionaryBuilder& renameColumn(const QString& tableName, const QString& columnName,
                                    const QString& newName);
    // Moves a column (with its values) to the end of the table.
    DictionaryBuilder& moveColumnToEnd(const QString& tableName, const QString& columnName);
    DictionaryBuilder& clearRows(const QString& tableName);

    Jet4Table& tableNamed(const QString& name);  // Jet4Error when absent
    const std::vector<Jet4Table>& tables() const { return tables_; }

    // Writes the file; writeInto writes folder/sprav.mdb and returns that path.
    void write(const QString& path) const;
    QString writeInto(const QString& folder) const;

private:
    std::vector<Jet4Table> tables_;
    int current_ = -1;
};

// Writes the shipped dictionary into folder/sprav.mdb and returns the path.
QString WriteStandardDictionary(const QString& folder);

}  // namespace converter::testing
