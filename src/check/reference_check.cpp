#include "check/reference_check.h"

#include "common/failure.h"
#include "common/program_folder.h"
#include "common/safe_write.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "reference/reference_tables.h"
#include "storage/database.h"
#include "storage/sql/sql_select.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <unordered_set>
#include <vector>

namespace converter {

namespace {

const QString kReportsFolder = QStringLiteral("reports");
const QString kCheckReportName = QStringLiteral("проверка.txt");

bool IsNumberVariant(const QVariant& value) {
    switch (value.userType()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Double:
        case QMetaType::Float:
            return true;
        default:
            return false;
    }
}

std::optional<qint32> WholeNumberOf(double number) {
    if (!std::isfinite(number) || number != std::floor(number) ||
        number < std::numeric_limits<qint32>::min() ||
        number > std::numeric_limits<qint32>::max()) {
        return std::nullopt;
    }
    return static_cast<qint32>(number);
}

// A text that reads as a whole number: digits with an optional sign, blanks around allowed.
std::optional<qint32> WholeNumberOf(const QString& text) {
    bool ok = false;
    const qlonglong number = text.trimmed().toLongLong(&ok, 10);
    if (!ok || number < std::numeric_limits<qint32>::min() ||
        number > std::numeric_limits<qint32>::max()) {
        return std::nullopt;
    }
    return static_cast<qint32>(number);
}

bool IsEmptyValue(const QVariant& value) {
    return value.isNull() ||
           (value.userType() == QMetaType::QString && value.toString().trimmed().isEmpty());
}

// A reference value that must be a whole number: nullopt when empty, a Failure naming the column
// and row when it is anything but a whole number.
std::optional<qint32> ReadWholeNumber(const QVariant& value, const QString& column, int row) {
    if (IsEmptyValue(value)) {
        return std::nullopt;
    }
    std::optional<qint32> number;
    if (IsNumberVariant(value)) {
        number = WholeNumberOf(value.toDouble());
    } else if (value.userType() == QMetaType::QString) {
        number = WholeNumberOf(value.toString());
    }
    if (!number) {
        throw Failure(QStringLiteral("Значение поля %1 в строке %2 не является целым числом: %3")
                          .arg(column, QString::number(row), value.toString()));
    }
    return number;
}

qint32 ReadRequiredNumber(const QVariant& value, const QString& column, int row) {
    const std::optional<qint32> number = ReadWholeNumber(value, column, row);
    if (!number) {
        throw Failure(QStringLiteral("Пустое значение поля %1 в строке %2")
                          .arg(column, QString::number(row)));
    }
    return *number;
}

// A stored value as the report writes it: whole numbers without a fraction, other numbers with a
// point whatever the locale, text as stored.
QString StoredValueText(const QVariant& value) {
    if (IsNumberVariant(value)) {
        const double number = value.toDouble();
        if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15) {
            return QString::number(static_cast<qint64>(number));
        }
        return QString::number(number, 'g', QLocale::FloatingPointShortest);
    }
    return value.toString();
}

QString ReadText(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}

// Opens a reference table by the full path of its file and hands each row to `readRow`, with
// the row number from 1. False after the error box headed `failureText`.
template <typename ReadRow>
bool LoadReferenceTable(Ui& ui, const QString& path, const QString& failureText, ReadRow readRow) {
    bool result = false;
    std::optional<Failure> failure;
    RecordsetPtr table;
    try {
        table = OpenRecordset(BuildConnectionString(kParadoxFolder, path),
                              SplitPath(path, kPathBaseName), kSourceTable);
        if (CheckConnected(ui, table.get())) {
            int row = 1;
            for (table->moveFirst(); !table->eof(); table->moveNext()) {
                readRow(*table, row++);
            }
            result = true;
        }
    } catch (...) {
        failure = CurrentFailure();
        result = false;
    }
    CloseRecordset(table);
    ShowErrorBox(ui, failure, failureText);
    return result;
}

// A name the column query could not have named: brackets cannot hold "]" or a blank name.
bool CannotBeBracketed(const QString& name) {
    return name.contains(QLatin1Char(']')) || name.trimmed().isEmpty();
}

// The distinct values one coded column holds, gathered in the single scan of the table. Numbers
// are kept as such, so that the usual whole-number column costs a hash insert per row; anything
// else (text, a NaN) is kept once per distinct key, as a DISTINCT query would.
struct ColumnValues {
    int column = 0;  // where the values are read from
    QString name;
    const SpfieldEntry* entry = nullptr;
    const QSet<qint32>* codes = nullptr;
    std::unordered_set<double> numbers;
    std::vector<QVariant> others;
    QSet<QString> otherKeys;

    bool numeric = false;  // read through numberValue()

    void add(const QVariant& value) {
        if (IsNumberVariant(value) && addNumber(value.toDouble())) {
            return;
        }
        if (IsEmptyValue(value)) {
            return;
        }
        const QString key = sql::DistinctKey(value);
        if (!otherKeys.contains(key)) {
            otherKeys.insert(key);
            others.push_back(value);
        }
    }

    bool addNumber(double number) {
        if (std::isnan(number)) {
            return false;
        }
        numbers.insert(number == 0 ? 0.0 : number);
        return true;
    }

    // The values in the order a DISTINCT query returns them: ascending, numbers before text.
    std::vector<QVariant> sorted() const {
        std::vector<double> ordered(numbers.begin(), numbers.end());
        std::sort(ordered.begin(), ordered.end());
        std::vector<QVariant> values;
        values.reserve(ordered.size() + others.size());
        for (const double number : ordered) {
            values.emplace_back(number);
        }
        std::vector<QVariant> rest = others;
        const auto less = [](const QVariant& a, const QVariant& b) {
            return sql::CompareValues(a, b) < 0;
        };
        std::stable_sort(rest.begin(), rest.end(), less);
        rest.erase(std::unique(rest.begin(), rest.end(),
                               [](const QVariant& a, const QVariant& b) {
                                   return sql::CompareValues(a, b) == 0;
                               }),
                   rest.end());
        std::vector<QVariant> merged;
        merged.reserve(values.size() + rest.size());
        std::merge(values.begin(), values.end(), rest.begin(), rest.end(),
                   std::back_inserter(merged), less);
        return merged;
    }
};

// One pass over the rows feeds every coded column at once: the table is read and decoded once
// however many columns are coded.
// Adds the current row's value of every coded column.
void CollectValues(const Recordset& row, std::vector<ColumnValues>& columns) {
    for (ColumnValues& values : columns) {
        if (!values.numeric) {
            values.add(row.value(values.column));
        } else if (const OptionalNumber number = row.numberValue(values.column)) {
            if (!values.addNumber(*number)) {
                values.add(QVariant(*number));
            }
        }
    }
}

void ReportUnknownValues(const ColumnValues& values, ReferenceCheckState& state) {
    for (const QVariant& value : values.sorted()) {
        if (IsKnownCode(value, *values.codes)) {
            continue;
        }
        AddCheckError(state, kCheckMissingValue,
                      values.name + QStringLiteral(" - ") + values.entry->Text +
                          QStringLiteral(" - ") + StoredValueText(value));
    }
}

// Column `i` of the table when its values are to be checked against a value book; otherwise
// the reason it is not (undescribed, an empty book, a name a query cannot bracket) goes to the
// report, and a column without a book passes silently.
std::optional<ColumnValues> CodedColumn(const Recordset& table, int i, const QString& tableName,
                                        ReferenceCheckState& state) {
    // The index holds upper-cased names and the column is looked up as the table names it, so a
    // column spelled in lower case is reported as undescribed.
    const QString name = table.field(i).name;
    const auto found = state.spfieldIndex.constFind(name);
    if (found == state.spfieldIndex.cend()) {
        AddCheckError(state, kCheckMissingField, name);
        return std::nullopt;
    }
    const SpfieldEntry& entry = state.spfield.at(static_cast<size_t>(*found));
    if (entry.SpNum == 0) {
        return std::nullopt;
    }
    const auto codes = state.codesByBook.constFind(entry.SpNum);
    if (codes == state.codesByBook.cend() || codes->isEmpty()) {
        AddCheckError(state, kCheckEmptyBook,
                      name + QStringLiteral(" - ") + QString::number(entry.SpNum));
        return std::nullopt;
    }
    if (CannotBeBracketed(name) || CannotBeBracketed(tableName)) {
        AddCheckError(state, kCheckNoDistinctValues, name);
        return std::nullopt;
    }
    // Columns are found by name regardless of case, as the query found them.
    ColumnValues values;
    values.column = table.indexOf(name);
    const FieldType type = table.field(values.column).type;
    values.numeric = IsNumericType(type) && type != FieldType::Bcd;
    values.name = name;
    values.entry = &entry;
    values.codes = &*codes;
    return values;
}

}  // namespace

std::vector<ReportSection> EmptyCheckErrors() {
    std::vector<ReportSection> sections(4);
    sections[kCheckMissingField - 1].caption =
        QStringLiteral("Отсутствуют поля в справочнике spfield.db");
    sections[kCheckEmptyBook - 1].caption =
        QStringLiteral("В справочнике sptab.db нет значений для показателя");
    sections[kCheckMissingValue - 1].caption =
        QStringLiteral("В справочнике sptab.db отсутствут значение");
    sections[kCheckNoDistinctValues - 1].caption =
        QStringLiteral("Не получен список уникальных значений для показателя");
    return sections;
}

ReferenceCheckState::ReferenceCheckState() : errors(EmptyCheckErrors()) {}

void AddCheckError(ReferenceCheckState& state, int section, const QString& detail) {
    state.errors.at(static_cast<size_t>(section - 1)).add(detail);
    state.deficienciesFound = true;
}

QSet<qint32> CodesOfBook(const ReferenceCheckState& state, qint32 bookNumber) {
    return state.codesByBook.value(bookNumber);
}

bool IsKnownCode(const QVariant& value, const QSet<qint32>& codes) {
    std::optional<qint32> code;
    if (IsNumberVariant(value)) {
        code = WholeNumberOf(value.toDouble());
    } else if (value.userType() == QMetaType::QString) {
        code = WholeNumberOf(value.toString());
    }
    return code && codes.contains(*code);
}

bool LoadSpfield(Ui& ui, const QString& spfieldPath, ReferenceCheckState& state) {
    state.spfield.clear();
    state.spfieldIndex.clear();
    const SpfieldColumns columns = CurrentSpfieldColumns();
    return LoadReferenceTable(
        ui, spfieldPath, QStringLiteral("Ошибка при чтении справочника SPFIELD.DB"),
        [&](const Recordset& table, int row) {
            SpfieldEntry entry;
            entry.FieldName = ReadText(table.value(columns.FieldName));
            if (entry.FieldName.trimmed().isEmpty()) {
                throw Failure(
                    QStringLiteral("Пустое значение поля FieldName в строке %1").arg(row));
            }
            entry.Text = ReadText(table.value(columns.Text));
            entry.SpNum = ReadWholeNumber(table.value(columns.SpNum), QStringLiteral("SpNum"), row)
                              .value_or(0);
            const QString key = entry.FieldName.toUpper();
            if (state.spfieldIndex.contains(key)) {
                throw Failure(QStringLiteral("Значение поля FieldName повторяется в строке %1: %2")
                                  .arg(QString::number(row), entry.FieldName));
            }
            state.spfieldIndex.insert(key, static_cast<int>(state.spfield.size()));
            state.spfield.push_back(std::move(entry));
        });
}

bool LoadSptab(Ui& ui, const QString& sptabPath, ReferenceCheckState& state) {
    state.codesByBook.clear();
    const SptabColumns columns = CurrentSptabColumns();
    return LoadReferenceTable(
        ui, sptabPath, QStringLiteral("Ошибка при чтении справочника SPTAB.DB"),
        [&](const Recordset& table, int row) {
            const qint32 code =
                ReadRequiredNumber(table.value(columns.Code), QStringLiteral("Code"), row);
            const qint32 book =
                ReadRequiredNumber(table.value(columns.SpNum), QStringLiteral("SpNum"), row);
            state.codesByBook[book].insert(code);
        });
}

bool CompareWithReferences(Ui& ui, const QString& databasePath, const QString& referenceFolder,
                           QString& reportText, ReferenceCheckState& state) {
    try {
        const QString connection = BuildConnectionString(kParadoxFolder, databasePath);
        const QString tableName = SplitPath(databasePath, kPathBaseName);
        std::vector<ColumnValues> coded;
        // One pass over the table that holds none of its rows: the coded columns are chosen from
        // its fields before the first record, then each record adds its values.
        const auto chooseColumns = [&](const Recordset& table) {
            const int columnCount = table.fieldCount();
            for (int i = 0; i < columnCount; ++i) {
                ui.setStatus(StatusLabel::Check, QStringLiteral("Обработано полей: ") +
                                                     QString::number(i + 1) + QLatin1Char('/') +
                                                     QString::number(columnCount));
                ui.processEvents();

                if (std::optional<ColumnValues> values = CodedColumn(table, i, tableName, state)) {
                    coded.push_back(std::move(*values));
                }
            }
        };
        ScanTable(connection, QLatin1Char('[') + tableName + QLatin1Char(']'), chooseColumns,
                  [&coded](const Recordset& row) { CollectValues(row, coded); });
        for (const ColumnValues& values : coded) {
            ReportUnknownValues(values, state);
        }

        if (state.deficienciesFound) {
            const QString reports = WritableProgramFolder(kReportsFolder);
            QDir().mkpath(reports);
            reportText = WriteReport(
                ui, reports + QLatin1Char('/') + kCheckReportName,
                databasePath + QStringLiteral("\r\nПуть к справочнику: ") + referenceFolder,
                state.errors, kReportCheck);
        }
        return true;
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure());
        return false;
    }
}

bool CheckTarvelDatabase(Ui& ui, const QString& databasePath, const QString& referenceFolder,
                         QString& reportText, bool& deficienciesFound) {
    try {
        ReferenceCheckState state;
        // Neither the database nor the reference tables may be replaced while they are read.
        OperationLock databaseLock;
        OperationLock referenceLock;
        if (!databaseLock.acquire(ui, DatabaseLockPath(databasePath)) ||
            !referenceLock.acquire(ui, FolderLockPath(referenceFolder))) {
            return false;
        }
        const QFileInfo database(databasePath);
        if (QFileInfo(database.absolutePath()).isWritable()) {
            RecoverStagedReplacement(database.absolutePath(), StagingKey(databasePath));
        }
        if (QFileInfo(referenceFolder).isWritable()) {
            RecoverStagedReplacement(referenceFolder, QString::fromLatin1(kReferenceTablesKey));
        }
        if (!CheckSpfieldTable(ui, referenceFolder) || !CheckSptabTable(ui, referenceFolder)) {
            return false;
        }
        if (!LoadSpfield(ui, ReferenceTablePath(referenceFolder, kSpfieldFileName), state) ||
            !LoadSptab(ui, ReferenceTablePath(referenceFolder, kSptabFileName), state)) {
            return false;
        }
        if (!CompareWithReferences(ui, databasePath, referenceFolder, reportText, state)) {
            return false;
        }
        deficienciesFound = state.deficienciesFound;
        return true;
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure());
        return false;
    }
}

}  // namespace converter
