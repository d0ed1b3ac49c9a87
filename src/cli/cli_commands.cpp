#include "cli/cli_commands.h"

#include "check/check_commands.h"
#include "common/failure.h"
#include "common/platform_console.h"
#include "common/report.h"
#include "common/safe_write.h"
#include "common/utilities.h"
#include "export/export_commands.h"
#include "formation/formation_commands.h"
#include "import/import_commands.h"
#include "import/import_driver.h"
#include "import/stand_database.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace converter {

namespace {

// The engine splits paths into folder and name, so it gets absolute ones; in the system's own
// form, as the window's file dialogs give them, so that messages show them that way.
QString Absolute(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString AbsoluteFolder(const QString& path) {
    // QFileInfo, unlike QDir, gives "\folder" on Windows its drive.
    QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (!folder.endsWith(QLatin1Char('/'))) {
        folder += QLatin1Char('/');
    }
    return folder;
}

int Outcome(const ConsoleUi& ui, bool succeeded) {
    if (!succeeded) {
        return kExitFailed;
    }
    return ui.lastIcon() == MessageIcon::Warning ? kExitDoneWithFaults : kExitDone;
}

void Print(std::FILE* out, const QString& text) {
    WriteText(out, text);
}

// Forest unit codes only fill GIR and MUK of the thrown-away tables; any accepted input does.
const ForestUnitInput kNeutralForestUnit{QStringLiteral("10000000"), QStringLiteral("1")};

// The throw-away database of a validation: a temporary folder under a name that the next run
// recognises and removes if this one is killed.
struct ValidationFolder {
    QString path;
    QString error;

    ValidationFolder() {
        const QString base = QDir::tempPath();
        RemoveTemporariesOfEndedRuns(base);
        path = TemporaryPathFor(base + QStringLiteral("/dovi2tarvel-validate"));
        QDir(path).removeRecursively();
        if (!QDir().mkdir(path)) {
            error = QStringLiteral("Не удалось создать папку: ") + QDir::toNativeSeparators(base);
        }
    }
    ~ValidationFolder() { QDir(path).removeRecursively(); }
    ValidationFolder(const ValidationFolder&) = delete;
    ValidationFolder& operator=(const ValidationFolder&) = delete;
};

int ValidateFile(ConsoleUi& ui, const QString& doviFile, QStringList& block) {
    block = QStringList{QStringLiteral("Файл: ") + QDir::toNativeSeparators(doviFile)};
    if (!QFileInfo(doviFile).isFile()) {
        ui.showMessage(QStringLiteral("Не найден файл:\r") + QDir::toNativeSeparators(doviFile),
                       QString(), MessageIcon::Warning);
        return kExitFailed;
    }
    const ValidationFolder temporary;
    if (!temporary.error.isEmpty()) {
        ui.showMessage(temporary.error, QString(), MessageIcon::Warning);
        return kExitFailed;
    }
    const QString mainPath = temporary.path + QStringLiteral("/dovi.db");
    ui.forestUnit = kNeutralForestUnit;
    QString countText;
    bool hadErrors = false;
    std::vector<ReportSection> sections;
    if (!ImportDoviFile(ui, doviFile, mainPath, ElementsTablePath(mainPath), countText, hadErrors,
                        &sections)) {
        return kExitFailed;
    }
    block = ReportLines(doviFile, sections);
    block << countText;
    return hadErrors ? kExitDoneWithFaults : kExitDone;
}

}  // namespace

int CliImport(ConsoleUi& ui, const QString& doviFile, const QString& mainDb, const QString& leshoz,
              const QString& lesnich) {
    ui.saveFileAnswer = Absolute(mainDb);
    ui.forestUnit = ForestUnitInput{leshoz, lesnich};
    return Outcome(ui, RunImport(ui, Absolute(doviFile)));
}

int CliYears(ConsoleUi& ui, const QString& mainDb, std::FILE* out) {
    ui.openFileAnswer = Absolute(mainDb);
    const OpenExportOutcome outcome = ChooseExportDatabase(ui);
    if (!outcome.databasePath || !outcome.years) {
        return kExitFailed;
    }
    for (const YearEntry& entry : outcome.years->entries) {
        Print(out,
              entry.text + QLatin1Char('\t') + QString::number(entry.value) + QLatin1Char('\n'));
    }
    std::fflush(out);
    return kExitDone;
}

int CliExport(ConsoleUi& ui, const QString& mainDb, int year, const QString& outputFile,
              QChar decimalSeparator) {
    ui.openFileAnswer = Absolute(mainDb);
    const OpenExportOutcome outcome = ChooseExportDatabase(ui);
    if (!outcome.databasePath || !outcome.years) {
        return kExitFailed;
    }
    // The year's text names nothing but the proposed file; take the list's own when it has it.
    QString yearText;
    for (const YearEntry& entry : outcome.years->entries) {
        if (entry.value == year) {
            yearText = entry.text;
        }
    }
    if (yearText.isEmpty()) {
        yearText = year == kUndefinedYear ? QStringLiteral("Не определен")
                                          : YearEntryFor(QVariant(year)).text;
    }
    ui.saveFileAnswer = Absolute(outputFile);
    return Outcome(ui, RunExport(ui, *outcome.databasePath, year, yearText, decimalSeparator));
}

int CliForm(ConsoleUi& ui, const QString& nsiFolder, const QString& targetFolder) {
    // The window's dialog only offers folders that exist; a folder named on the command line is
    // made, as "mkdir" would, and removed again when the formation leaves nothing in it.
    const QString folder = AbsoluteFolder(targetFolder);
    const bool made = !QFileInfo::exists(folder) && QDir().mkpath(folder);
    ui.saveFileAnswer = folder + QStringLiteral("spfield.db");
    const bool formed = RunReferenceFormation(ui, AbsoluteFolder(nsiFolder));
    if (made && !formed) {
        QDir().rmdir(folder);
    }
    return Outcome(ui, formed);
}

int CliCheck(ConsoleUi& ui, const QString& mainDb, const QString& referenceFolder) {
    ui.openFileAnswer = Absolute(mainDb);
    const auto database = ChooseCheckDatabase(ui);
    if (!database) {
        return kExitFailed;
    }
    const CheckCommandOutcome outcome =
        RunReferenceCheck(ui, *database, AbsoluteFolder(referenceFolder));
    if (!outcome.completed) {
        return kExitFailed;
    }
    return outcome.deficiencies ? kExitDoneWithFaults : kExitDone;
}

int CliValidate(ConsoleUi& ui, const QStringList& doviFiles, std::FILE* out) {
    int worst = kExitDone;
    for (qsizetype i = 0; i < doviFiles.size(); ++i) {
        QStringList block;
        int status = kExitFailed;
        try {
            status = ValidateFile(ui, Absolute(doviFiles[i]), block);
        } catch (...) {
            ShowErrorBox(ui, CurrentFailure());
        }
        worst = std::max(worst, status);
        Print(out, (i > 0 ? QStringLiteral("\n") : QString()) + block.join(QLatin1Char('\n')) +
                       QLatin1Char('\n'));
        std::fflush(out);
    }
    return worst;
}

}  // namespace converter
