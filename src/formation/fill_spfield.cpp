#include "formation/fill_spfield.h"

#include "common/database.h"
#include "common/failure.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "formation/formation_tables.h"
#include "reference/dictionary_checks.h"
#include "reference/reference_tables.h"

namespace converter {

namespace {

struct SpfieldRow {
    QVariant FieldName, Text, SpNum, EdIzm, ShortText;
};

class SpfieldWriter {
public:
    SpfieldWriter(Recordset& table, const SpfieldColumns& columns)
        : table_(table), columns_(columns) {}

    // Failures reach the caller.
    void store(const SpfieldRow& row) {
        table_.addNew();
        table_.setValue(columns_.FieldName, row.FieldName);
        table_.setValue(columns_.Text, row.Text);
        table_.setValue(columns_.SpNum, row.SpNum);
        table_.setValue(columns_.EdIzm, row.EdIzm);
        table_.setValue(columns_.ShortText, row.ShortText);
        table_.update();
    }

    // A refused row is abandoned and forgotten, so that it never affects the next one.
    void storeIgnoringRefusal(const SpfieldRow& row) {
        try {
            store(row);
        } catch (...) {
            try {
                table_.cancelUpdate();
            } catch (...) {
                // Nothing left to abandon.
            }
        }
    }

private:
    Recordset& table_;
    const SpfieldColumns& columns_;
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

}  // namespace

bool FillSpfield(Ui& ui, const QString& targetFolder, QString& report) {
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
        SpfieldWriter writer(*spfield, CurrentSpfieldColumns());
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
            const QVariant spCode = source->value(fields.SpCode);
            writer.store({source->value(fields.Tarvel), source->value(fields.Name),
                          IsEmptyValue(spCode) ? QVariant(0) : spCode, source->value(fields.EdIzm),
                          source->value(fields.ShortText)});
            ++count;
        }
        CloseRecordset(source);

        // The forest district and enterprise columns come from the forest-unit dialog, not from
        // the dictionary; a dictionary row of the same name wins.
        writer.storeIgnoringRefusal({QStringLiteral("GIR"), QStringLiteral("Лесничество"),
                                     QStringLiteral("13000002"), QVariant(),
                                     QStringLiteral("лесн")});
        ++count;
        writer.storeIgnoringRefusal({QStringLiteral("MUK"), QStringLiteral("Лесхоз"),
                                     QStringLiteral("15500009"), QVariant(),
                                     QStringLiteral("лсхз")});
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
            writer.storeIgnoringRefusal({source->value(makets.Name), source->value(makets.Text),
                                         QVariant(0), QVariant(), source->value(makets.ShortText)});
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
            writer.storeIgnoringRefusal({source->value(tiFields.Name), source->value(tiFields.Text),
                                         source->value(tiFields.SpCode),
                                         source->value(tiFields.EdIzm),
                                         source->value(tiFields.ShortText)});
            ++count;
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
