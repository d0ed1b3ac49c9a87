#include "cli/cli_commands.h"

#include "check/check_commands.h"
#include "export/export_commands.h"
#include "formation/formation_commands.h"
#include "import/import_commands.h"

#include <QDir>
#include <QFileInfo>

namespace converter {

namespace {

// The engine splits paths into folder and name, so it gets absolute ones.
QString Absolute(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

QString AbsoluteFolder(const QString& path) {
    QString folder = QDir(path).absolutePath();
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
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
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
    ui.saveFileAnswer = AbsoluteFolder(targetFolder) + QStringLiteral("spfield.db");
    return Outcome(ui, RunReferenceFormation(ui, AbsoluteFolder(nsiFolder)));
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

}  // namespace converter
