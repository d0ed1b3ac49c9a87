#include "formation/formation_commands.h"

#include "common/failure.h"
#include "common/program_folder.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "formation/formation_tables.h"
#include "formation/reference_formation.h"
#include "reference/reference_tables.h"

#include <QDir>

namespace converter {

namespace {

// Step 1 to 4 of the run button: the target folder, or nullopt when the user backed out.
std::optional<QString> ChooseTargetFolder(Ui& ui) {
    // Proposed beside the program, or in the user's data folder when the program folder is
    // read-only; made only when the answer lies in it, so that a target named elsewhere leaves
    // the program folder alone.
    const QString spravFolder = WritableProgramFolder(QStringLiteral("sprav"));
    const QString answer =
        ShowSaveDialog(ui, GetFileFilter(kTarvelDatabaseFile),
                       spravFolder + QLatin1Char('/') + QStringLiteral("spfield.db"));
    if (answer.isEmpty()) {
        return std::nullopt;
    }
    // Only the folder of the answer counts.
    const QString targetFolder = SplitPath(answer, kPathFolder);
    if (QDir::cleanPath(targetFolder) == QDir::cleanPath(spravFolder) &&
        !QDir(spravFolder).exists() && !QDir().mkpath(spravFolder)) {
        throw Failure(QStringLiteral("Не удалось создать папку: ") + spravFolder);
    }

    const QString spfield = FindFileIgnoringCase(SpfieldPath(targetFolder));
    const QString sptab = FindFileIgnoringCase(SptabPath(targetFolder));
    if (!spfield.isEmpty() || !sptab.isEmpty()) {
        if (!ui.askYesNo(QStringLiteral("Файлы справочников в указанной папке уже существуют.") +
                             QLatin1Char('\r') + QStringLiteral("Перезаписать?"),
                         QStringLiteral("Перезаписать?"))) {
            return std::nullopt;
        }
        // The old tables are replaced only when the new ones are complete.
    }
    return targetFolder;
}

}  // namespace

std::optional<QString> ChooseReferenceFolder(Ui& ui) {
    try {
        const QString path = ShowOpenDialog(ui, GetFileFilter(kDoviReferenceFile));
        if (path.isEmpty()) {
            return std::nullopt;
        }
        return SplitPath(path, kPathFolder);
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure());
        return std::nullopt;
    }
}

bool RunReferenceFormation(Ui& ui, const QString& nsiPath) {
    bool busy = false;
    bool formed = false;
    std::optional<Failure> failure;
    try {
        // An empty box would make the books be looked for at the root of the file system.
        if (nsiPath.trimmed().isEmpty()) {
            ui.showMessage(QStringLiteral("Не выбрана папка со справочниками ДОВИ"), QString(),
                           MessageIcon::Information);
            return false;
        }
        const auto targetFolder = ChooseTargetFolder(ui);
        if (!targetFolder) {
            return false;
        }
        ui.setBusy(true);
        busy = true;
        const int startTime = StartOperationClock();

        QString report;
        bool hadErrors = false;
        formed = FormReferenceTables(ui, *targetFolder, nsiPath, report, hadErrors);
        if (formed) {
            const QString text = QStringLiteral("Файл: ") + SpfieldPath(*targetFolder) +
                                 QLatin1Char('\r') + report + QLatin1Char('\r') +
                                 FormatElapsedTime(ElapsedSeconds(startTime));
            if (hadErrors) {
                ui.showMessage(text, QStringLiteral("Импорт выполнен с ошибками"),
                               MessageIcon::Warning);
            } else {
                ui.showMessage(text, QStringLiteral("Создание успешно завершено"),
                               MessageIcon::Information);
            }
        }
    } catch (...) {
        failure = CurrentFailure();
    }
    if (busy) {
        ui.setBusy(false);
    }
    ShowErrorBox(ui, failure);
    return formed;
}

}  // namespace converter
