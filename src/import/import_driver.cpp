#include "import/import_driver.h"

#include "common/failure.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "import/dovi_file.h"
#include "import/field_map.h"
#include "import/stand_conversion.h"
#include "import/stand_database.h"
#include "reference/code_lists.h"
#include "reference/dictionary_checks.h"

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
              QString& countText, bool& hadErrors, StatusShown& status,
              std::vector<ReportSection>* reportSections) {
    ImportState state;
    state.importHadErrors = false;
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

bool ImportDoviFile(Ui& ui, const QString& textPath, const QString& mainPath,
                    const QString& elementsPath, QString& countText, bool& hadErrors,
                    std::vector<ReportSection>* reportSections) {
    StatusShown status(ui);
    try {
        return RunSteps(ui, textPath, mainPath, elementsPath, countText, hadErrors, status,
                        reportSections);
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure());
        return false;
    }
}

}  // namespace converter
