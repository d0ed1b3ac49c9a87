#include "storage/recordset.h"

#include "common/failure.h"

namespace converter {

bool IsNumericType(FieldType type) {
    switch (type) {
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoIncrement:
        case FieldType::Number:
        case FieldType::Currency:
        case FieldType::Bcd:
            return true;
        default:
            return false;
    }
}

int Recordset::indexOf(const QString& name) const {
    for (int i = 0; i < fieldCount(); ++i) {
        if (field(i).name.compare(name, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

QVariant Recordset::valueByName(const QString& name) const {
    const int index = indexOf(name);
    if (index < 0) {
        throw Failure(QStringLiteral("Поле не найдено: ") + name);
    }
    return value(index);
}

OptionalNumber Recordset::numberValue(int index) const {
    const QVariant current = value(index);
    bool ok = false;
    const double number = current.isNull() ? 0 : current.toDouble(&ok);
    return ok ? OptionalNumber(number) : OptionalNumber();
}

void Recordset::setValueByName(const QString& name, const QVariant& newValue) {
    const int index = indexOf(name);
    if (index < 0) {
        throw Failure(QStringLiteral("Поле не найдено: ") + name);
    }
    setValue(index, newValue);
}

static Failure ReadOnly() {
    return Failure(QStringLiteral("Набор записей только для чтения"));
}

void Recordset::addNew() {
    throw ReadOnly();
}
void Recordset::setValue(int, const QVariant&) {
    throw ReadOnly();
}
void Recordset::update() {
    throw ReadOnly();
}
void Recordset::cancelUpdate() {}

}  // namespace converter
