#include "formation/fill_spfield.h"

#include "common/database.h"
#include "common/failure.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "formation/formation_errors.h"
#include "formation/formation_tables.h"
#include "reference/dictionary_checks.h"
#include "reference/reference_tables.h"

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
        const DictionaryColumns& dictionary = CurrentDictionaryColumns();
        int count = 0;

        if (!CheckFieldsTable(ui)) {
            CloseRecordset(spfield);
            return false;
        }
        source = OpenDictionaryTable(kFieldsTable);
        if (!CheckConnected(ui, source.get())) {
            CloseRecordset(spfield);
            return false;
        }
        const FieldsColumns& fields = dictionary.fields;
        for (source->moveFirst(); !source->eof(); source->moveNext()) {
            if (IsNameless(*source, fields.Tarvel)) {
                continue;
            }
            const QVariant spCode = source->value(fields.SpCode);
            writer.store({source->value(fields.Tarvel), source->value(fields.Name),
                          IsEmptyValue(spCode) ? QVariant(0) : spCode, source->value(fields.EdIzm),
                          source->value(fields.ShortText)});
            ++count;
        }
        CloseRecordset(source);

        // The forest district and enterprise columns come from the forest-unit dialog, not from
        // the dictionary; a dictionary row of the same name wins, and the row counts either way.
        writer.storeIgnoringRefusal(
            {QStringLiteral("GIR"), QStringLiteral("Лесничество"), QStringLiteral("13000002"),
             QVariant(), QStringLiteral("лесн")},
            false);
        ++count;
        writer.storeIgnoringRefusal(
            {QStringLiteral("MUK"), QStringLiteral("Лесхоз"), QStringLiteral("15500009"),
             QVariant(), QStringLiteral("лсхз")},
            false);
        ++count;

        if (!CheckMaketsTable(ui)) {
            CloseRecordset(spfield);
            return false;
        }
        source = OpenDictionaryTable(kMaketsTable);
        if (!CheckConnected(ui, source.get())) {
            CloseRecordset(spfield);
            return false;
        }
        const MaketsColumns& makets = dictionary.makets;
        for (source->moveFirst(); !source->eof(); source->moveNext()) {
            if (!IsNameless(*source, makets.Name)) {
                writer.storeIgnoringRefusal({source->value(makets.Name), source->value(makets.Text),
                                             QVariant(0), QVariant(),
                                             source->value(makets.ShortText)});
            }
        }
        CloseRecordset(source);

        if (!CheckTiFieldsTable(ui)) {
            CloseRecordset(spfield);
            return false;
        }
        source = OpenDictionaryTable(kTiFieldsTable);
        if (!CheckConnected(ui, source.get())) {
            CloseRecordset(spfield);
            return false;
        }
        const TiFieldsColumns& tiFields = dictionary.tiFields;
        for (source->moveFirst(); !source->eof(); source->moveNext()) {
            if (IsNameless(*source, tiFields.Name)) {
                continue;
            }
            // A repeated name counts, as it always has; a row the table refused is not loaded.
            const auto outcome = writer.storeIgnoringRefusal(
                {source->value(tiFields.Name), source->value(tiFields.Text),
                 source->value(tiFields.SpCode), source->value(tiFields.EdIzm),
                 source->value(tiFields.ShortText)});
            if (outcome != SpfieldWriter::Outcome::Refused) {
                ++count;
            }
        }
        CloseRecordset(source);

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
