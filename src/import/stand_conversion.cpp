#include "import/stand_conversion.h"

#include "common/failure.h"
#include "common/report.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "import/dovi_number.h"
#include "import/forest_unit.h"
#include "import/stand_database.h"
#include "reference/code_lists.h"
#include "storage/database.h"
#include "storage/recordset.h"

#include <QSet>

#include <array>

namespace converter {

namespace {

constexpr int kLayoutCount = 100;
constexpr int kProgressStep = 50;

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

RecordsetPtr OpenStandTable(const QString& path) {
    return OpenRecordset(BuildConnectionString(kParadoxFolder, path),
                         QLatin1Char('[') + SplitPath(path, kPathBaseName) + QLatin1Char(']'),
                         kSourceTable);
}

int RequireColumn(const Recordset& table, const QString& name) {
    const int index = table.indexOf(name);
    if (index < 0) {
        throw Failure(QStringLiteral("Нет поля ") + name);
    }
    return index;
}

// The walk over the lines of one file. Columns that received a value in the open row are
// tracked here rather than read back, because the zero-fill and the key checks only ask
// whether a column is still empty.
class StandConverter {
public:
    StandConverter(Ui& ui, ImportState& state, const DoviLines& lines, ForestUnitCodes codes)
        : ui_(ui), state_(state), lines_(lines), codes_(codes) {
        admrPrefix_ = QString::number(codes.enterpriseCode).left(4);
    }

    void open(const QString& mainPath) {
        main_ = OpenStandTable(mainPath);
        elements_ = OpenStandTable(ElementsTablePath(mainPath));
        mainGir_ = RequireColumn(*main_, QStringLiteral("GIR"));
        mainKv_ = RequireColumn(*main_, QStringLiteral("KV"));
        mainSknr_ = RequireColumn(*main_, QStringLiteral("SKNR"));
        mainMuk_ = RequireColumn(*main_, QStringLiteral("MUK"));
        elementGir_ = RequireColumn(*elements_, QStringLiteral("GIR"));
        elementKv_ = RequireColumn(*elements_, QStringLiteral("KV"));
        elementSknr_ = RequireColumn(*elements_, QStringLiteral("SKNR"));
        elementNum_ = RequireColumn(*elements_, QStringLiteral("NUM"));
        elementMuk_ = RequireColumn(*elements_, QStringLiteral("MUK"));
        mainFilled_.assign(static_cast<size_t>(main_->fieldCount()), false);
        elementFilled_.assign(static_cast<size_t>(elements_->fieldCount()), false);
        mainNumeric_.resize(static_cast<size_t>(main_->fieldCount()));
        for (int c = 0; c < main_->fieldCount(); ++c) {
            mainNumeric_[c] = IsNumericType(main_->field(c).type);
        }
        elementNumeric_.resize(static_cast<size_t>(elements_->fieldCount()));
        for (int c = 0; c < elements_->fieldCount(); ++c) {
            elementNumeric_[c] = IsNumericType(elements_->field(c).type);
            if (elements_->field(c).name.startsWith(QLatin1String("_10"))) {
                elementZeroColumns_.push_back(c);
            }
        }
    }

    void run() {
        const int n = static_cast<int>(lines_.size());
        for (int i = kFirstStandLine; i <= n; ++i) {
            currentLine_ = i;
            if (i % kProgressStep == 0) {
                ui_.setStatus(StatusLabel::Import, QStringLiteral("Обработано строк: ") +
                                                       QString::number(i) + QLatin1Char('/') +
                                                       QString::number(n));
                ui_.processEvents();
            }
            processLine(i, lines_[i - 1]);
        }
        // At the end of the file the stand is finished before its last element. A failure there
        // quotes the file's last line, not one past it.
        currentLine_ = n;
        if (standOpen_) {
            finishStand(n + 1);
        }
        if (elementOpen_) {
            finishElement(n + 2);
        }
    }

    // Writes both tables; the count is taken before, while the table is still open.
    int close() {
        elements_->close();
        const int count = main_->recordCount();
        main_->close();
        return count;
    }

    // After a failure: drop the rows being edited and write what was saved.
    void abandon() {
        for (RecordsetPtr* table : {&elements_, &main_}) {
            if (*table) {
                try {
                    (*table)->cancelUpdate();
                } catch (...) {
                }
                CloseRecordset(*table);
            }
        }
    }

    int currentLine() const { return currentLine_; }

private:
    void processLine(int i, const QString& text) {
        if (elementOpen_) {
            finishElement(i);
        }
        if (text.isEmpty()) {
            if (standOpen_) {
                finishStand(i);
            }
            // A block that opened no stand (only unknown names, bare "M#10" lines) still ends
            // here: the next stand numbers its elements from 1 and keeps its first in its row.
            startBlock();
            return;
        }
        upper_ = text.toUpper();
        SplitDoviLine(upper_, split_);
        if (split_.elementLine) {
            ++elementNumber_;
        }
        for (const DoviItem& item : split_.items) {
            switch (item.kind) {
                case DoviItem::Kind::MissingEquals:
                    AddImportError(state_, kMissingEquals, LineText(i));
                    break;
                case DoviItem::Kind::MissingTab:
                    AddImportError(state_, kMissingTab, LineText(i));
                    break;
                case DoviItem::Kind::Pair:
                    processPair(i, item.name.toString(), item.value.toString());
                    break;
            }
        }
    }

    void processPair(int i, const QString& name, QString value) {
        const auto target = state_.mainByName.constFind(name);
        if (target == state_.mainByName.constEnd()) {
            if (!unknownNames_.contains(name)) {
                unknownNames_.insert(name);
                AddImportError(state_, kUnknownName, name);
            }
            return;
        }
        const int column = target->column;
        if (!standOpen_) {
            startStand();
        }
        if (target->layout >= kElementLayout && target->layout <= kLayoutCount) {
            layoutSeen_[target->layout - 1] = true;
        }
        if (split_.elementLine && !elementOpen_) {
            startElement();
        }
        if (name == QLatin1String("ADMR")) {
            value.prepend(admrPrefix_);
        }
        const FieldMapEntry& entry = state_.fieldMap[target->entry];
        if (entry.decode) {
            encodeWord(i, name, value);
        }
        if (storePlainDecimal(column, name, entry, value)) {
            return;
        }
        std::optional<DoviNumber> number = ParseDoviNumber(value);
        if (!number) {
            AddImportError(state_, kNotNumeric,
                           LineText(i) + QStringLiteral(" - показатель ") + name +
                               QStringLiteral(" - значение ") + Quoted(value));
            return;
        }
        if (entry.multTen) {
            number = DivideByTenRounded(*number);
            value = DoviNumberText(*number);
        }
        if (name == QLatin1String("KV")) {
            currentKv_ = WholeNumber(*number, name);
            kvRead_ = true;
        } else if (name == QLatin1String("VYDEL")) {
            currentSknr_ = WholeNumber(*number, name);
            sknrRead_ = true;
        }
        store(column, name, DoviNumberText(*number), value);
    }

    // A word of a decoded indicator becomes its code; a word without one is reported and kept.
    void encodeWord(int i, const QString& name, QString& value) {
        const QString asRead = value;
        if (!EncodeValue(name, value)) {
            AddImportError(state_, kNotEncoded,
                           QStringLiteral("Строка ") + QString::number(i) +
                               QStringLiteral(" - показатель ") + name +
                               QStringLiteral(" - значение ") + Quoted(asRead));
        }
    }

    // Most values are plain decimals stored as they stand: read them once, straight into the
    // number the table keeps. False when the value takes the long way.
    bool storePlainDecimal(int column, const QString& name, const FieldMapEntry& entry,
                           const QString& value) {
        if (name == QLatin1String("KV") || name == QLatin1String("VYDEL") ||
            (entry.multTen && !onlyNumericTargets(column, name))) {
            return false;
        }
        const std::optional<double> plain =
            entry.multTen ? PlainDecimalTenth(value) : PlainDecimalValue(value);
        if (!plain) {
            return false;
        }
        try {
            store(column, name, *plain, value);
            return true;
        } catch (const Failure&) {
            // A value the column refuses: the long way refuses it again, with the value written
            // as the message has always shown it.
            return false;
        }
    }

    // Whether the value goes only to numeric columns, which need no text of it.
    bool onlyNumericTargets(int column, const QString& name) const {
        if (!mainNumeric_[column]) {
            return false;
        }
        if (!split_.elementLine) {
            return true;
        }
        const auto elementColumn = state_.elementColumnByName.constFind(name);
        return elementColumn == state_.elementColumnByName.constEnd() ||
               elementNumeric_[*elementColumn];
    }

    // Numeric columns get `number`, text columns the value as read.
    void store(int column, const QString& name, const QVariant& number, const QString& value) {
        if (!split_.elementLine || elementNumber_ == 1) {
            setMain(column, mainNumeric_[column] ? number : QVariant(value));
        }
        if (split_.elementLine) {
            const auto elementColumn = state_.elementColumnByName.constFind(name);
            if (elementColumn != state_.elementColumnByName.constEnd()) {
                const int c = *elementColumn;
                setElement(c, elementNumeric_[c] ? number : QVariant(value));
            } else if (!unknownElementNames_.contains(name)) {
                unknownElementNames_.insert(name);
                AddImportError(state_, kUnknownElementName, name);
            }
        }
    }

    static qint32 WholeNumber(const DoviNumber& number, const QString& name) {
        const std::optional<qint32> whole = DoviNumberToInt32(number);
        if (!whole) {
            throw Failure(QStringLiteral("Значение ") + name + QStringLiteral(" вне диапазона: ") +
                          DoviNumberText(number));
        }
        return *whole;
    }

    static QString LineText(int i) { return QStringLiteral("строка ") + QString::number(i); }

    void setMain(int column, const QVariant& value) {
        main_->setValue(column, value);
        mainFilled_[column] = true;
    }

    void setElement(int column, const QVariant& value) {
        elements_->setValue(column, value);
        elementFilled_[column] = true;
    }

    void startStand() {
        main_->addNew();
        std::fill(mainFilled_.begin(), mainFilled_.end(), false);
        layoutSeen_.fill(false);
        setMain(mainGir_, codes_.forestryCode);
        setMain(mainMuk_, codes_.enterpriseCode);
        standOpen_ = true;
    }

    // An element takes the stand's keys read so far. Without them (its line comes before the
    // stand's key line) they stay empty and the row is reported when finished, not stored under
    // keys of 0, where it would belong to no stand and clash with the next such element.
    void startElement() {
        elements_->addNew();
        std::fill(elementFilled_.begin(), elementFilled_.end(), false);
        setElement(elementGir_, codes_.forestryCode);
        if (kvRead_) {
            setElement(elementKv_, currentKv_);
        }
        if (sknrRead_) {
            setElement(elementSknr_, currentSknr_);
        }
        setElement(elementNum_, elementNumber_);
        setElement(elementMuk_, codes_.enterpriseCode);
        for (const int c : elementZeroColumns_) {
            setElement(c, 0);
        }
        elementOpen_ = true;
    }

    void finishElement(int line) {
        elementOpen_ = false;
        if (!elementFilled_[elementKv_] || !elementFilled_[elementSknr_]) {
            AddImportError(state_, kElementKeysMissing, LineText(line));
            elements_->cancelUpdate();
        } else {
            elements_->update();
        }
    }

    // The running element number and keys belong to one block of lines between empty lines.
    void startBlock() {
        elementNumber_ = 0;
        currentKv_ = 0;
        currentSknr_ = 0;
        kvRead_ = false;
        sknrRead_ = false;
    }

    void finishStand(int line) {
        // Layouts of 10 and above that occurred get 0 in their columns left empty.
        for (int layout = kElementLayout; layout <= kSlotLayouts; ++layout) {
            if (!layoutSeen_[layout - 1]) {
                continue;
            }
            for (const int column : state_.layoutColumnSlots[layout - 1]) {
                if (column == 0) {
                    break;
                }
                if (!mainFilled_[column]) {
                    setMain(column, 0);
                }
            }
        }
        standOpen_ = false;
        startBlock();
        if (!mainFilled_[mainKv_] || !mainFilled_[mainSknr_]) {
            AddImportError(state_, kStandKeysMissing, LineText(line));
            main_->cancelUpdate();
        } else {
            main_->update();
        }
    }

    Ui& ui_;
    ImportState& state_;
    const DoviLines& lines_;
    const ForestUnitCodes codes_;
    QString admrPrefix_;

    RecordsetPtr main_;
    RecordsetPtr elements_;
    int mainGir_ = 0, mainKv_ = 0, mainSknr_ = 0, mainMuk_ = 0;
    int elementGir_ = 0, elementKv_ = 0, elementSknr_ = 0, elementNum_ = 0, elementMuk_ = 0;
    std::vector<bool> mainNumeric_, elementNumeric_;
    std::vector<bool> mainFilled_, elementFilled_;
    std::vector<int> elementZeroColumns_;

    int currentLine_ = 0;
    bool standOpen_ = false;
    bool elementOpen_ = false;
    int elementNumber_ = 0;
    qint32 currentKv_ = 0;
    qint32 currentSknr_ = 0;
    bool kvRead_ = false;  // the stand's KV and VYDEL items met so far
    bool sknrRead_ = false;
    std::array<bool, kLayoutCount> layoutSeen_{};
    QSet<QString> unknownNames_;
    QSet<QString> unknownElementNames_;

    QString upper_;
    DoviLine split_;
};

}  // namespace

bool ConvertStands(Ui& ui, ImportState& state, DoviLines& lines, const QString& mainPath,
                   QString& countText, std::vector<ReportSection>* reportSections) {
    std::optional<ForestUnitCodes> codes;
    {
        const UserWait wait;
        codes = GetInput(ui);
    }
    if (!codes) {
        DeleteTarvelDatabase(ui, mainPath);
        return false;
    }
    StandConverter converter(ui, state, lines, *codes);
    int count = 0;
    try {
        converter.open(mainPath);
        InitImportErrors(state);
        converter.run();
        lines.checkUnchanged();
        // The lines are done with: the tables are written without them beside.
        lines.clear();
        count = converter.close();
    } catch (...) {
        const Failure failure = CurrentFailure();
        converter.abandon();
        ShowErrorBox(ui, failure,
                     QStringLiteral("Ошибка при обработке при обработке выдела: ") +
                         QString::number(converter.currentLine()));
        return false;
    }
    // A report that cannot be written fails the import (its Failure goes to the driver).
    QString reportsLine;
    if (reportSections != nullptr) {
        *reportSections = state.importErrors;
    } else if (state.importHadErrors) {
        const QString shownMain = state.shownMainPath.isEmpty() ? mainPath : state.shownMainPath;
        reportsLine = WriteReport(
            ui, SplitPath(mainPath, kPathFolderAndBaseName) + QStringLiteral("_rep.txt"), shownMain,
            state.importErrors, kReportImport,
            SplitPath(shownMain, kPathFolderAndBaseName) + QStringLiteral("_rep.txt"));
    }
    countText = QStringLiteral("Количество выделов: ") + QString::number(count);
    if (!reportsLine.isEmpty()) {
        countText += QLatin1Char('\r') + reportsLine;
    }
    return true;
}

}  // namespace converter
