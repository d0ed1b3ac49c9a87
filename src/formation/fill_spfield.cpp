#include "formation/fill_spfield.h"

#include "common/failure.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "formation/formation_errors.h"
#include "formation/formation_tables.h"
#include "reference/dictionary_checks.h"
#include "reference/reference_tables.h"
#include "storage/database.h"

#include <QSet>

namespace converter {

namespace {

struct SpfieldRow {
    QVariant FieldName, Text, SpNum, EdIzm, ShortText;
};

// Writes rows into the open spfield recordset. The reference check upper-cases the names and
// refuses a table with two equal ones, so the writer compares them the same way: a later row
// whose name equals an earlier one after upper-casing is a repeat, however the table compares.
class SpfieldWriter {
public:
    enum class Outcome { Stored, Repeated, Refused };

    SpfieldWriter(Recordset& table, const SpfieldColumns& columns, FormationErrors& errors)
        : table_(table), columns_(columns), errors_(errors) {}

    // A row of Fields: a repeat or a refusal is a failure of the run.
    void store(const SpfieldRow& row) {
        if (isRepeat(row)) {
            throw Failure(QStringLiteral("Значение поля FieldName повторяется: ") +
                          row.FieldName.toString());
        }
        write(row);
    }

    // A fixed, Makets or Ti_Fields row: a repeat is dropped quietly; a row the table refuses for
    // another reason is abandoned, so that it never affects the next one, and reported (with
    // `reportRefusal`), since its indicator would otherwise vanish without a word.
    Outcome storeIgnoringRefusal(const SpfieldRow& row, bool reportRefusal = true) {
        if (isRepeat(row)) {
            return Outcome::Repeated;
        }
        try {
            write(row);
            return Outcome::Stored;
        } catch (...) {
            try {
                table_.cancelUpdate();
            } catch (...) {
                // Nothing left to abandon.
            }
            if (reportRefusal) {
                AddFormationError(errors_, kRefusedRowSection,
                                  QStringLiteral("SPFIELD.DB - ") + row.FieldName.toString() +
                                      QStringLiteral(" - ") + row.Text.toString());
            }
            return Outcome::Refused;
        }
    }

private:
    bool isRepeat(const SpfieldRow& row) const {
        return names_.contains(row.FieldName.toString().toUpper());
    }

    void write(const SpfieldRow& row) {
        table_.addNew();
        table_.setValue(columns_.FieldName, row.FieldName);
        table_.setValue(columns_.Text, row.Text);
        table_.setValue(columns_.SpNum, row.SpNum);
        table_.setValue(columns_.EdIzm, row.EdIzm);
        table_.setValue(columns_.ShortText, row.ShortText);
        table_.update();
        names_.insert(row.FieldName.toString().toUpper());
    }

    Recordset& table_;
    const SpfieldColumns& columns_;
    FormationErrors& errors_;
    QSet<QString> names_;
};

RecordsetPtr OpenDictionaryTable(const QString& table) {
    return OpenRecordset(BuildConnectionString(kAccessFile, DictionaryPath()), table, kSourceTable);
}

// A row refused by the table must not be written with the rows saved before it.
void AbandonPendingRow(Recordset* table) {
    try {
        if (table != nullptr) {
            table->cancelUpdate();
        }
    } catch (...) {
        // No row was pending.
    }
}

bool IsEmptyValue(const QVariant& value) {
    return value.isNull() || value.toString().trimmed().isEmpty();
}

// A dictionary row without a Tarvel name describes no column of a stand database.
bool IsNameless(const Recordset& source, int nameColumn) {
    return IsEmptyValue(source.value(nameColumn));
}

// Checks one dictionary table, then hands each of its rows to `store`, with the table open in
// `source` so that a failure on the way closes it. False after a message.
template <typename Store>
bool StoreDictionaryRows(Ui& ui, bool (*check)(Ui&), const QString& table, RecordsetPtr& source,
                         Store store) {
    if (!check(ui)) {
        return false;
    }
    source = OpenDictionaryTable(table);
    if (!CheckConnected(ui, source.get())) {
        return false;
    }
    for (source->moveFirst(); !source->eof(); source->moveNext()) {
        store(*source);
    }
    CloseRecordset(source);
    return true;
}

// Every named row of Fields is a column of the stand database; a repeated name fails the run.
bool StoreFields(Ui& ui, SpfieldWriter& writer, RecordsetPtr& source, int& count) {
    const FieldsColumns& fields = CurrentDictionaryColumns().fields;
    return StoreDictionaryRows(ui, CheckFieldsTable, kFieldsTable, source, [&](Recordset& row) {
        if (IsNameless(row, fields.Tarvel)) {
            return;
        }
        const QVariant spCode = row.value(fields.SpCode);
        writer.store({row.value(fields.Tarvel), row.value(fields.Name),
                      IsEmptyValue(spCode) ? QVariant(0) : spCode, row.value(fields.EdIzm),
                      row.value(fields.ShortText)});
        ++count;
    });
}

// The forest district and enterprise columns come from the forest-unit dialog, not from the
// dictionary; a dictionary row of the same name wins, and the row counts either way.
void StoreForestUnitColumns(SpfieldWriter& writer, int& count) {
    writer.storeIgnoringRefusal({QStringLiteral("GIR"), QStringLiteral("Лесничество"),
                                 QStringLiteral("13000002"), QVariant(), QStringLiteral("лесн")},
                                false);
    ++count;
    writer.storeIgnoringRefusal({QStringLiteral("MUK"), QStringLiteral("Лесхоз"),
                                 QStringLiteral("15500009"), QVariant(), QStringLiteral("лсхз")},
                                false);
    ++count;
}

// Makets rows are stored but, as always, not counted.
bool StoreMakets(Ui& ui, SpfieldWriter& writer, RecordsetPtr& source) {
    const MaketsColumns& makets = CurrentDictionaryColumns().makets;
    return StoreDictionaryRows(ui, CheckMaketsTable, kMaketsTable, source, [&](Recordset& row) {
        if (!IsNameless(row, makets.Name)) {
            writer.storeIgnoringRefusal({row.value(makets.Name), row.value(makets.Text),
                                         QVariant(0), QVariant(), row.value(makets.ShortText)});
        }
    });
}

// A repeated name counts, as it always has; a row the table refused is not loaded.
bool StoreTiFields(Ui& ui, SpfieldWriter& writer, RecordsetPtr& source, int& count) {
    const TiFieldsColumns& tiFields = CurrentDictionaryColumns().tiFields;
    return StoreDictionaryRows(ui, CheckTiFieldsTable, kTiFieldsTable, source, [&](Recordset& row) {
        if (IsNameless(row, tiFields.Name)) {
            return;
        }
        const auto outcome = writer.storeIgnoringRefusal(
            {row.value(tiFields.Name), row.value(tiFields.Text), row.value(tiFields.SpCode),
             row.value(tiFields.EdIzm), row.value(tiFields.ShortText)});
        if (outcome != SpfieldWriter::Outcome::Refused) {
            ++count;
        }
    });
}

}  // namespace

bool FillSpfield(Ui& ui, const QString& targetFolder, QString& report, FormationErrors& errors) {
    RecordsetPtr spfield;
    RecordsetPtr source;
    try {
        const QString path = FindFileIgnoringCase(SpfieldPath(targetFolder));
        if (path.isEmpty()) {
            throw Failure(QStringLiteral("Не найден файл справочника SPFIELD.DB"));
        }
        spfield = OpenRecordset(BuildConnectionString(kParadoxFolder, path),
                                SplitPath(path, kPathBaseName), kSourceTable);
        if (!CheckConnected(ui, spfield.get())) {
            return false;
        }
        SpfieldWriter writer(*spfield, CurrentSpfieldColumns(), errors);
        int count = 0;
        if (!StoreFields(ui, writer, source, count)) {
            CloseRecordset(spfield);
            return false;
        }
        StoreForestUnitColumns(writer, count);
        if (!StoreMakets(ui, writer, source) || !StoreTiFields(ui, writer, source, count)) {
            CloseRecordset(spfield);
            return false;
        }

        // The table is written when it closes: a failure there must not pass for success.
        spfield->close();
        CloseRecordset(spfield);

        report = QStringLiteral("Загружено показателей: ") + QString::number(count) +
                 QStringLiteral("\r\n") + report;
        return true;
    } catch (...) {
        const Failure failure = CurrentFailure();
        CloseRecordset(source);
        AbandonPendingRow(spfield.get());
        CloseRecordset(spfield);
        ShowErrorBox(ui, failure, QStringLiteral("Ошибка при заполнении справочника SPFIELD.DB"));
        return false;
    }
}

}  // namespace converter
