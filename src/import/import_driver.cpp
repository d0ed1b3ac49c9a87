#include "import/import_driver.h"

#include "common/failure.h"
#include "common/report.h"
#include "common/safe_write.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "import/dovi_file.h"
#include "import/field_map.h"
#include "import/stand_conversion.h"
#include "import/stand_database.h"
#include "reference/code_lists.h"
#include "reference/dictionary_checks.h"

#include <QFileInfo>

namespace converter {

namespace {

// The status label is shown from the creation of the database on and hidden when the driver
// returns, whatever happened.
class StatusShown {
public:
    explicit StatusShown(Ui& ui) : ui_(ui) {}
    ~StatusShown() { ui_.setStatusVisible(StatusLabel::Import, false); }
    StatusShown(const StatusShown&) = delete;
    StatusShown& operator=(const StatusShown&) = delete;

    void show(const QString& text) {
        ui_.setStatus(StatusLabel::Import, text);
        ui_.setStatusVisible(StatusLabel::Import, true);
        ui_.processEvents();
    }

private:
    Ui& ui_;
};

bool RunSteps(Ui& ui, const QString& textPath, const QString& mainPath, const QString& elementsPath,
              const QString& shownMainPath, QString& countText, bool& hadErrors,
              StatusShown& status, std::vector<ReportSection>* reportSections) {
    ImportState state;
    state.importHadErrors = false;
    state.shownMainPath = shownMainPath;
    if (!CheckFieldsTable(ui)) {
        return false;
    }
    DoviLines lines;
    switch (ReadDoviFile(ui, textPath, lines)) {
        case DoviReadResult::Read:
            break;
        case DoviReadResult::Empty:
            // Nothing to import: say so instead of ending without a word.
            ui.showMessage(QStringLiteral("Файл не содержит данных\rПуть: ") + textPath,
                           QStringLiteral("Ошибка"), MessageIcon::Warning);
            return false;
        case DoviReadResult::Missing:
        case DoviReadResult::Failed:
            return false;
    }
    if (!LoadFieldMap(ui, state)) {
        return false;
    }
    status.show(QStringLiteral("Создание базы данных..."));
    if (!CreateMainTable(ui, state, mainPath)) {
        return false;
    }
    ui.processEvents();
    if (!CreateElementsTable(ui, state, elementsPath)) {
        return false;
    }
    ui.processEvents();
    if (!CreateChangesTable(ui, mainPath)) {
        return false;
    }
    ui.processEvents();
    if (!BuildCodeLists(ui)) {
        return false;
    }
    if (!ConvertStands(ui, state, lines, mainPath, countText, reportSections)) {
        return false;
    }
    hadErrors = state.importHadErrors;
    return true;
}

}  // namespace

bool CheckImportPaths(Ui& ui, const QString& textPath, const QString& mainPath) {
    const QString problem = InputFileProblem(textPath, -1, true);
    if (!problem.isEmpty()) {
        ui.showMessage(problem, QStringLiteral("Ошибка"), MessageIcon::Warning);
        return false;
    }
    const QString folder = QFileInfo(mainPath).absolutePath();
    QStringList outputs;
    for (const QString& name : StandDatabaseFileNames(mainPath)) {
        outputs.append(folder + QLatin1Char('/') + name);
    }
    return !RefuseOutputsAmongInputs(ui, outputs, {textPath, DictionaryPath()}) &&
           !RefuseFoldersNamedLikeOutputs(ui, outputs);
}

bool ImportDoviFile(Ui& ui, const QString& textPath, const QString& mainPath,
                    const QString& elementsPath, QString& countText, bool& hadErrors,
                    std::vector<ReportSection>* reportSections) {
    StatusShown status(ui);
    try {
        if (!CheckImportPaths(ui, textPath, mainPath)) {
            return false;
        }
        OperationLock lock;
        if (!lock.acquire(ui, DatabaseLockPath(mainPath))) {
            return false;
        }
        // The old database stays until the new one is complete in a staging folder beside it.
        const QFileInfo main(mainPath);
        StagedReplacement staging(main.absolutePath(), StagingKey(mainPath));
        if (!RunSteps(ui, textPath, staging.folder() + main.fileName(),
                      staging.folder() + QFileInfo(elementsPath).fileName(), mainPath, countText,
                      hadErrors, status, reportSections)) {
            return false;
        }
        staging.commit(StandDatabaseFileNames(mainPath));
        if (hadErrors && reportSections == nullptr) {
            CopyPlacedReport(
                SplitPath(mainPath, kPathFolderAndBaseName) + QStringLiteral("_rep.txt"),
                kReportImport);
        }
        return true;
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure());
        return false;
    }
}

}  // namespace converter
