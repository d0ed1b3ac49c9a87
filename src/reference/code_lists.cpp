#include "reference/code_lists.h"

#include "common/failure.h"
#include "common/ui.h"
#include "reference/dictionary_checks.h"
#include "storage/database.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace converter {

namespace {

CodeLists& Lists() {
    static CodeLists lists;
    return lists;
}

}  // namespace

const CodeLists& CurrentCodeLists() {
    return Lists();
}

void ClearCodeLists() {
    Lists() = CodeLists();
}

QString UpperCaseText(const QString& text) {
    return text.toUpper();
}

QString DictionaryValueText(const QVariant& value) {
    if (value.isNull()) {
        return {};
    }
    switch (value.userType()) {
        case QMetaType::Double:
        case QMetaType::Float: {
            const double number = value.toDouble();
            if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 1e15) {
                return QString::number(static_cast<qint64>(number));
            }
            return QLocale::c().toString(number, 'g', QLocale::FloatingPointShortest);
        }
        case QMetaType::Bool:
            return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        case QMetaType::QDate:
            return value.toDate().toString(Qt::ISODate);
        case QMetaType::QDateTime:
            return value.toDateTime().toString(Qt::ISODate);
        default:
            return value.toString();
    }
}

bool BuildCodeLists(Ui& ui) {
    if (!CheckCodeValuesTable(ui)) {
        return false;
    }
    const CodeValuesColumns& columns = CurrentDictionaryColumns().codeValues;
    RecordsetPtr recordset;
    try {
        recordset = OpenRecordset(BuildConnectionString(kAccessFile, DictionaryPath()),
                                  kCodeValuesTable, kSourceTable);
        if (!CheckConnected(ui, recordset.get())) {
            return false;
        }
        CodeLists lists;
        for (recordset->moveFirst(); !recordset->eof(); recordset->moveNext()) {
            const QVariant field = recordset->value(columns.Field);
            const QVariant code = recordset->value(columns.Code);
            const QVariant name = recordset->value(columns.Name);
            // A row without an indicator, a code or a name cannot be looked up either way.
            if (field.isNull() || code.isNull() || name.isNull()) {
                continue;
            }
            const QString fieldKey = UpperCaseText(DictionaryValueText(field));
            const QString codeText = DictionaryValueText(code);
            const QString upperName = UpperCaseText(DictionaryValueText(name));
            // The first row that produces a key keeps it.
            const CodeLists::Key codeKey{fieldKey, UpperCaseText(codeText)};
            if (!lists.nameByCode.contains(codeKey)) {
                lists.nameByCode.insert(codeKey, upperName);
            }
            const CodeLists::Key nameKey{fieldKey, upperName};
            if (!lists.codeByName.contains(nameKey)) {
                lists.codeByName.insert(nameKey, codeText);
            }
        }
        CloseRecordset(recordset);
        Lists() = std::move(lists);
        return true;
    } catch (...) {
        CloseRecordset(recordset);
        ui.showMessage(QStringLiteral("Ошибка при построение списков значений для раскодирования"),
                       QStringLiteral("Ошибка"), MessageIcon::Warning);
        return false;
    }
}

bool DecodeValue(const QString& fieldKey, QString& value) {
    const auto found = Lists().nameByCode.constFind({UpperCaseText(fieldKey), value});
    if (found == Lists().nameByCode.cend()) {
        value = QStringLiteral("0");
        return false;
    }
    value = found.value();
    return true;
}

bool EncodeValue(const QString& name, QString& value) {
    const auto found = Lists().codeByName.constFind({name, value});
    if (found == Lists().codeByName.cend()) {
        value = QStringLiteral("0");
        return false;
    }
    value = found.value();
    return true;
}

}  // namespace converter
