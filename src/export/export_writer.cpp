#include "export/export_writer.h"

#include <QFileInfo>
#include "common/failure.h"
#include "common/safe_write.h"
#include "common/text_file.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "export/export_values.h"
#include "import/stand_database.h"
#include "reference/code_lists.h"
#include "reference/dictionary_checks.h"
#include "storage/database.h"
#include "storage/paradox/paradox_table.h"
#include "storage/recordset.h"

#include <QDir>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <compare>
#include <memory>
#include <optional>
#include <vector>

namespace converter {

namespace {

const QString kTab = QStringLiteral("\t");
constexpr int kProgressStep = 25;

struct StandKey {
    int gir = 0;
    int kv = 0;
    int sknr = 0;
    auto operator<=>(const StandKey&) const = default;
};

// Positions of one field in the two queries, resolved once per run.
struct FieldSlot {
    const FieldMapEntry* field = nullptr;
    QString item;  // "NAME=", the start of the field's item
    int standColumn = -1;
    int elementColumn = -1;
    bool admr = false;
};

struct LayoutPlan {
    int layout = 0;
    QString marker;  // "M#12" and a tab for layouts of 10 and above, empty below
    std::vector<FieldSlot> entries;
};

struct KeyColumns {
    int gir = -1;
    int kv = -1;
    int sknr = -1;
};

KeyColumns FindKeyColumns(const Recordset& recordset) {
    return {FindFieldIndex(QStringLiteral("GIR"), &recordset),
            FindFieldIndex(QStringLiteral("KV"), &recordset),
            FindFieldIndex(QStringLiteral("SKNR"), &recordset)};
}

int WholeValue(const Recordset& recordset, int column, const QString& name) {
    if (column < 0) {
        throw Failure(QStringLiteral("Нет поля %1").arg(name));
    }
    const QVariant value = recordset.value(column);
    std::optional<double> number = ValueNumber(value);
    std::optional<int> whole = number ? RoundToInt(*number) : std::nullopt;
    if (!whole) {
        throw Failure(
            QStringLiteral("Недопустимое значение поля %1: \"%2\"").arg(name, ValueText(value)));
    }
    return *whole;
}

// The current row's key read as ReadKey reads it, for key columns that are all numeric; none
// when one is not, is missing or holds no whole number.
std::optional<StandKey> NumericKey(const Recordset& row, const KeyColumns& columns) {
    int whole[3] = {};
    const int keys[3] = {columns.gir, columns.kv, columns.sknr};
    for (int i = 0; i < 3; ++i) {
        if (keys[i] < 0 || !IsNumericType(row.field(keys[i]).type)) {
            return std::nullopt;
        }
        // For a numeric column the number value() holds.
        const OptionalNumber number = row.numberValue(keys[i]);
        const std::optional<int> rounded = number ? RoundToInt(*number) : std::nullopt;
        if (!rounded) {
            return std::nullopt;
        }
        whole[i] = *rounded;
    }
    return StandKey{whole[0], whole[1], whole[2]};
}

StandKey ReadKey(const Recordset& recordset, const KeyColumns& columns) {
    return {WholeValue(recordset, columns.gir, QStringLiteral("GIR")),
            WholeValue(recordset, columns.kv, QStringLiteral("KV")),
            WholeValue(recordset, columns.sknr, QStringLiteral("SKNR"))};
}

// The missing key columns of a query, one per line, each ended by CR; empty when all are there.
QString MissingKeyText(const Recordset& recordset, const QStringList& keysInMessageOrder) {
    QString text;
    for (const QString& key : keysInMessageOrder) {
        if (FindFieldIndex(key, &recordset) == -1) {
            text += key + QLatin1Char('\r');
        }
    }
    return text;
}

// Opens a query over `table` ordered by `orderColumns` and checks it: rows where the caller needs
// them, then the key columns. The merge of stands and elements needs both in key order.
RecordsetPtr OpenKeyOrderedQuery(Ui& ui, const QString& connection, const QString& table,
                                 const QString& tail, const QStringList& orderColumns,
                                 const QStringList& keysInMessageOrder, const QString& tablePath,
                                 bool needsRows, const RowFilter& needed = {}) {
    QString columns;
    QString orderBy =
        QLatin1Char('[') + orderColumns.join(QStringLiteral("], [")) + QLatin1Char(']');
    RecordsetPtr recordset;
    std::optional<Failure> orderedFailure;
    try {
        recordset = OpenRecordset(connection, BuildSelect(table, columns, tail, false, orderBy),
                                  kSourceSql, needed);
    } catch (const Failure& failure) {
        // A missing key column fails the ordered query; the plain one lets us say which.
        orderedFailure = failure;
        QString noOrder;
        recordset = OpenRecordset(connection, BuildSelect(table, columns, tail, false, noOrder),
                                  kSourceSql, needed);
    }
    if (!CheckConnected(ui, recordset.get())) {
        return nullptr;
    }
    if (needsRows && recordset->recordCount() == 0) {
        ui.showMessage(QStringLiteral("Не обнаружено записей в таблице"), QString(),
                       MessageIcon::Warning);
        return nullptr;
    }
    const QString missing = MissingKeyText(*recordset, keysInMessageOrder);
    if (!missing.isEmpty()) {
        ui.showMessage(QStringLiteral("Отсутствуют ключевые поля: ") + missing +
                           QStringLiteral("Путь: ") + QDir::toNativeSeparators(tablePath),
                       QStringLiteral("Ошибка"), MessageIcon::Warning);
        return nullptr;
    }
    if (orderedFailure) {
        throw *orderedFailure;
    }
    return recordset;
}

std::vector<LayoutPlan> PlanLayouts(const ExportFieldTable& table, const Recordset& stands,
                                    const Recordset& elements) {
    std::vector<LayoutPlan> plans;
    plans.reserve(table.size());
    for (const ExportFieldColumn& column : table) {
        LayoutPlan plan;
        plan.layout = column.layout;
        if (column.layout > 9) {
            plan.marker = QStringLiteral("M#") + QString::number(column.layout) + kTab;
        }
        for (const FieldMapEntry& field : column.fields) {
            FieldSlot slot{&field, field.dovi + QLatin1Char('='),
                           FindFieldIndex(field.tarvel, &stands), -1,
                           field.tarvel.toLower() == QLatin1String("admr")};
            if (slot.standColumn == -1) {
                throw Failure(QStringLiteral("Нет поля %1").arg(field.tarvel));
            }
            if (column.layout == kElementLayout) {
                slot.elementColumn = FindFieldIndex(field.tarvel, &elements);
            }
            plan.entries.push_back(slot);
        }
        plans.push_back(std::move(plan));
    }
    return plans;
}

// "0" stands for the absence of a value, as an empty text does.
bool IsZeroOrEmpty(const QString& text) {
    return text.isEmpty() || (text.size() == 1 && text.front() == QLatin1Char('0'));
}

// How values become text on the way out: numbers with the run's decimal separator, and tabs and
// line breaks inside a stored text (a note of several lines) as blanks, since they would cut the
// item or the stand apart in the file. Replaced breaks are counted for the completion message.
class ValueWriter {
public:
    explicit ValueWriter(QChar decimalSeparator) : separator_(decimalSeparator) {}

    QString number(double value) const { return withSeparator(NumberText(value)); }

    QString text(const QVariant& value) const {
        const QString text = ValueText(value);
        const int type = value.userType();
        return type == QMetaType::Double || type == QMetaType::Float ? withSeparator(text) : text;
    }

    void append(QString& line, const QString& item, QString text) {
        for (QChar& c : text) {
            if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                c = QLatin1Char(' ');
                ++replaced_;
            }
        }
        line += item;
        line += text;
        line += QLatin1Char('\t');
    }

    int replacedCount() const { return replaced_; }

private:
    QString withSeparator(QString text) const {
        if (separator_ != QLatin1Char('.')) {
            text.replace(QLatin1Char('.'), separator_);
        }
        return text;
    }

    QChar separator_;
    int replaced_ = 0;
};

// Whether the stand has a line in one layout, built into `line` (the caller's buffer, reused from
// line to line). A value that was present but decoded to nothing still counts: a layout of 10 and
// above then writes its marker alone (the marker of layout 10 numbers the elements that follow).
// A layout below 10 has no marker, and an empty line would end the stand in the file, so such a
// layout left with nothing writes no line.
bool LayoutLine(const LayoutPlan& plan, const Recordset& stands, ValueWriter& values,
                QString& line) {
    line.resize(0);
    line += plan.marker;
    bool hasValue = false;
    for (const FieldSlot& slot : plan.entries) {
        const QVariant value = stands.value(slot.standColumn);
        if (IsNullValue(value)) {
            continue;
        }
        QString text = values.text(value);
        if (IsZeroOrEmpty(text)) {
            continue;
        }
        hasValue = true;
        const FieldMapEntry& field = *slot.field;
        if (field.multTen) {
            if (std::optional<double> number = ValueNumber(value)) {
                text = values.number(*number * 10);
            }
        }
        if (field.decode) {
            DecodeValue(field.dovi, text);
        }
        if (slot.admr && text.size() >= 3) {
            text = text.right(3);
        }
        if (!IsZeroOrEmpty(text)) {
            values.append(line, slot.item, text);
        }
    }
    return hasValue && !line.isEmpty();
}

// Element lines are not decoded and have no "admr"; their ten-fold comes before the zero test, and
// a line is written only when it holds an indicator. That is how Dovi files carry the second and
// later elements: their coded values stay codes.
bool ElementLine(const LayoutPlan& plan, const Recordset& elements, ValueWriter& values,
                 QString& line) {
    line.resize(0);
    line += plan.marker;
    bool hasValue = false;
    for (const FieldSlot& slot : plan.entries) {
        if (slot.elementColumn == -1) {
            throw Failure(
                QStringLiteral("В таблице по элементам леса нет поля %1").arg(slot.field->tarvel));
        }
        const QVariant value = elements.value(slot.elementColumn);
        if (IsNullValue(value)) {
            continue;
        }
        std::optional<double> number =
            slot.field->multTen ? ValueNumber(value) : std::optional<double>();
        QString text = number ? values.number(*number * 10) : values.text(value);
        if (IsZeroOrEmpty(text)) {
            continue;
        }
        values.append(line, slot.item, text);
        hasValue = true;
    }
    return hasValue;
}

// Walks the element rows forward in step with the stands: both are in key order, so the rows of
// one stand follow the rows of the stands before it, and rows of stands not exported are passed
// over by a search rather than read.
class ElementCursor {
public:
    ElementCursor(Recordset& elements, const LayoutPlan& plan, ValueWriter& values)
        : elements_(elements),
          plan_(plan),
          values_(values),
          keys_(FindKeyColumns(elements)),
          numColumn_(FindFieldIndex(QStringLiteral("NUM"), &elements)) {
        if (elements_.recordCount() > 0) {
            elements_.moveFirst();
        }
    }

    void writeElementsOf(const StandKey& stand, TextFileWriter& writer) {
        if (!elements_.eof() && currentKey() < stand) {
            seek(stand);
        }
        while (!elements_.eof() && currentKey() == stand) {
            // Element 1 is the stand's own layout-10 line, written from the main table.
            if (WholeValue(elements_, numColumn_, QStringLiteral("NUM")) > 1) {
                if (ElementLine(plan_, elements_, values_, line_)) {
                    writer.writeLine(line_);
                }
            }
            advance();
        }
    }

private:
    const StandKey& currentKey() {
        if (!key_) {
            key_ = ReadKey(elements_, keys_);
        }
        return *key_;
    }
    void advance() {
        elements_.moveNext();
        key_.reset();
    }
    // The first row at or after `stand`, found by halving the rows ahead: a year holds a few
    // stands of many, and only their rows need decoding.
    void seek(const StandKey& stand) {
        int low = elements_.position() + 1;
        int high = elements_.recordCount();
        while (low < high) {
            const int middle = low + (high - low) / 2;
            elements_.moveTo(middle);
            if (ReadKey(elements_, keys_) < stand) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        elements_.moveTo(low);
        key_.reset();
    }

    Recordset& elements_;
    const LayoutPlan& plan_;
    ValueWriter& values_;
    KeyColumns keys_;
    int numColumn_;
    std::optional<StandKey> key_;
    QString line_;
};

QString CompletionText(int standCount, const QString& outputPath, int seconds, int replaced) {
    QString text = QStringLiteral("Экспортировано выделов: ") + QString::number(standCount) +
                   QLatin1Char('\r') + QStringLiteral("Результаты сохранены в: ") +
                   SplitPath(outputPath, kPathFileName) + QLatin1Char('\r') +
                   QStringLiteral("Путь: ") +
                   QDir::toNativeSeparators(SplitPath(outputPath, kPathFolder)) +
                   QLatin1Char('\r') + QStringLiteral("Затрачено: ") + FormatElapsedTime(seconds);
    if (replaced > 0) {
        text += QLatin1Char('\r') +
                QStringLiteral(
                    "Символов, которых нет в кодировке Windows-1251 (записаны как "
                    "\"?\"), и переводов строки и табуляций в текстах (записаны "
                    "пробелами): ") +
                QString::number(replaced);
    }
    return text;
}

// Which element rows the year's stands need: those of their keys. A year holds a few stands of a
// whole forestry, whose element table need not be held for them. Rows whose key cannot be read
// are kept, so that the merge meets them as it would in the whole table; when a stand's key
// cannot be read, every row is. Leaves the stands at their first row.
RowFilter YearElements(Recordset& stands) {
    // Sorted for a binary search: twelve bytes a stand, should the year hold the whole forestry.
    auto keys = std::make_shared<std::vector<StandKey>>();
    const KeyColumns standKeys = FindKeyColumns(stands);
    for (stands.moveFirst(); !stands.eof(); stands.moveNext()) {
        const std::optional<StandKey> key = NumericKey(stands, standKeys);
        if (!key) {
            stands.moveFirst();
            return {};
        }
        keys->push_back(*key);
    }
    stands.moveFirst();
    std::sort(keys->begin(), keys->end());
    return [keys, columns = std::optional<KeyColumns>()](const Recordset& row) mutable {
        if (!columns) {
            columns = FindKeyColumns(row);
        }
        const std::optional<StandKey> key = NumericKey(row, *columns);
        return !key || std::binary_search(keys->begin(), keys->end(), *key);
    };
}

// The year's stands in key order and the element rows of the same keys in the same order; false
// after a message, with the status line cleared.
bool OpenExportSources(Ui& ui, const ExportRequest& request, RecordsetPtr& stands,
                       RecordsetPtr& elements) {
    const QString connection = BuildConnectionString(kParadoxFolder, request.mainPath);
    const QString mainTable = SplitPath(request.mainPath, kPathBaseName);
    const QString elementsTable = SplitPath(request.elementsPath, kPathBaseName);
    if (!request.year) {
        throw Failure(QStringLiteral("Не выбран год внесения изменений"));
    }
    stands =
        OpenKeyOrderedQuery(ui, connection, mainTable,
                            QStringLiteral(" WHERE [AKTM] = ") + QString::number(*request.year),
                            {QStringLiteral("GIR"), QStringLiteral("KV"), QStringLiteral("SKNR")},
                            {QStringLiteral("KV"), QStringLiteral("GIR"), QStringLiteral("SKNR")},
                            request.mainPath, true);
    if (!stands) {
        ui.setStatus(StatusLabel::Export, QString());
        return false;
    }
    elements =
        OpenKeyOrderedQuery(ui, connection, elementsTable, QString(),
                            {QStringLiteral("GIR"), QStringLiteral("KV"), QStringLiteral("SKNR"),
                             QStringLiteral("NUM")},
                            {QStringLiteral("GIR"), QStringLiteral("KV"), QStringLiteral("SKNR")},
                            request.elementsPath, false, YearElements(*stands));
    if (!elements) {
        CloseRecordset(stands);
        ui.setStatus(StatusLabel::Export, QString());
        return false;
    }
    return true;
}

// The file's seven header lines: the third names the enterprise and the forest district of the
// first stand.
void WriteFileHeader(TextFileWriter& writer, const Recordset& stands, int mukColumn,
                     const KeyColumns& standKeys) {
    writer.writeLine(kTab);
    writer.writeLine(kTab);
    writer.writeLine(QStringLiteral("MUK=") + ValueText(stands.value(mukColumn)) +
                     QStringLiteral("&GIR=0") + ValueText(stands.value(standKeys.gir)).right(2) +
                     kTab);
    for (int i = 4; i <= 7; ++i) {
        writer.writeLine(kTab);
    }
}

// Each stand: an empty line, then its layout lines in layout order, its element lines after the
// element layout's own line.
void WriteStands(Ui& ui, TextFileWriter& writer, Recordset& stands, Recordset& elements,
                 const std::vector<LayoutPlan>& plans, const KeyColumns& standKeys,
                 ValueWriter& values) {
    const int standCount = stands.recordCount();
    std::unique_ptr<ElementCursor> elementCursor;
    QString line;
    int counter = 0;
    for (; !stands.eof(); stands.moveNext()) {
        ++counter;
        if (counter % kProgressStep == 0) {
            ui.setStatus(StatusLabel::Export, QStringLiteral("Обработано: ") +
                                                  QString::number(counter) + QLatin1Char('/') +
                                                  QString::number(standCount));
            ui.processEvents();
        }
        writer.writeLine(QString());
        for (const LayoutPlan& plan : plans) {
            if (LayoutLine(plan, stands, values, line)) {
                writer.writeLine(line);
            }
            if (plan.layout == kElementLayout) {
                if (!elementCursor) {
                    elementCursor = std::make_unique<ElementCursor>(elements, plan, values);
                }
                elementCursor->writeElementsOf(ReadKey(stands, standKeys), writer);
            }
        }
    }
}

}  // namespace

bool WriteExportFile(Ui& ui, const ExportRequest& request, const ExportFieldTable& table) {
    RecordsetPtr stands;
    RecordsetPtr elements;
    try {
        if (!OpenExportSources(ui, request, stands, elements)) {
            return false;
        }
        const std::vector<LayoutPlan> plans = PlanLayouts(table, *stands, *elements);
        const KeyColumns standKeys = FindKeyColumns(*stands);
        const int standCount = stands->recordCount();
        const int mukColumn = FindFieldIndex(QStringLiteral("MUK"), stands.get());
        if (mukColumn == -1) {
            throw Failure(QStringLiteral("Нет поля MUK"));
        }

        TextFileWriter writer(request.outputPath);
        stands->moveFirst();
        WriteFileHeader(writer, *stands, mukColumn, standKeys);
        ValueWriter values(request.decimalSeparator);
        WriteStands(ui, writer, *stands, *elements, plans, standKeys, values);

        writer.commit();
        ui.setStatus(StatusLabel::Export, QString());
        ui.showMessage(
            CompletionText(standCount, request.outputPath, ElapsedSeconds(request.startTime),
                           writer.unmappableCount() + values.replacedCount()),
            QStringLiteral("Экспорт выполнен"), MessageIcon::Information);
        CloseRecordset(stands);
        CloseRecordset(elements);
        return true;
    } catch (...) {
        const Failure failure = CurrentFailure();
        CloseRecordset(stands);
        CloseRecordset(elements);
        ui.setStatus(StatusLabel::Export, QString());
        ShowErrorBox(ui, failure);
        return false;
    }
}

QChar SystemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point == QLatin1String(",") ? QLatin1Char(',') : QLatin1Char('.');
}

bool RefuseExportOntoInput(Ui& ui, const QString& outputPath, const QString& mainPath,
                           const QString& elementsPath) {
    const QString folder = QFileInfo(mainPath).absolutePath();
    QStringList inputs{DictionaryPath(), elementsPath,
                       paradox::SiblingFile(elementsPath, QStringLiteral("px"))};
    for (const QString& name : StandDatabaseFileNames(mainPath)) {
        inputs.append(folder + QLatin1Char('/') + name);
    }
    return RefuseOutputsAmongInputs(ui, {outputPath}, inputs);
}

bool ExportCurrentChanges(Ui& ui, const ExportRequest& request) {
    bool result = false;
    try {
        const QString folder = QFileInfo(request.mainPath).absolutePath();
        if (RefuseExportOntoInput(ui, request.outputPath, request.mainPath, request.elementsPath) ||
            RefuseFoldersNamedLikeOutputs(ui, {request.outputPath})) {
            return false;
        }
        // An import that replaces the database meanwhile would leave stands without elements.
        OperationLock lock;
        if (!lock.acquire(ui, DatabaseLockPath(request.mainPath))) {
            return false;
        }
        if (QFileInfo(folder).isWritable()) {
            RecoverStagedReplacement(folder, StagingKey(request.mainPath));
        }
        std::vector<int> makets;
        ExportFieldTable table;
        if (CheckFieldsTable(ui) && LoadMaketList(ui, makets) &&
            LoadExportFieldMap(ui, request.mainPath, makets, table) && BuildCodeLists(ui)) {
            ui.setStatusVisible(StatusLabel::Export, true);
            result = WriteExportFile(ui, request, table);
        }
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure());
        result = false;
    }
    // A failed run leaves nothing to show in the label either.
    ui.setStatusVisible(StatusLabel::Export, false);
    return result;
}

}  // namespace converter
