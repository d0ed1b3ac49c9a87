#include "formation/formation_commands.h"

#include "common/failure.h"
#include "common/program_folder.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "formation/formation_tables.h"
#include "formation/reference_formation.h"
#include "reference/reference_tables.h"

#include <QDir>
#include <QFile>

namespace converter {

namespace {

void RemoveFile(const QString& path) {
    if (!path.isEmpty() && !QFile::remove(path)) {
        throw Failure(QStringLiteral("Не удалось удалить файл: ") + path);
    }
}

// Step 1 to 4 of the run button: the target folder, or nullopt when the user backed out.
std::optional<QString> ChooseTargetFolder(Ui& ui) {
    const QString spravFolder = ProgramFile(QStringLiteral("sprav"));
    if (!QDir(spravFolder).exists() && !QDir().mkpath(spravFolder)) {
        throw Failure(QStringLiteral("Не удалось создать папку: ") + spravFolder);
    }
    const QString answer =
        ShowSaveDialog(ui, GetFileFilter(kTarvelDatabaseFile),
                       spravFolder + QLatin1Char('/') + QStringLiteral("spfield.db"));
    if (answer.isEmpty()) {
        return std::nullopt;
    }
    // Only the folder of the answer counts.
    const QString targetFolder = SplitPath(answer, kPathFolder);

    const QString spfield = FindFileIgnoringCase(SpfieldPath(targetFolder));
    const QString sptab = FindFileIgnoringCase(SptabPath(targetFolder));
    if (!spfield.isEmpty() || !sptab.isEmpty()) {
        if (!ui.askYesNo(QStringLiteral("Файлы справочников в указанной папке уже существуют.") +
                             QLatin1Char('\r') + QStringLiteral("Перезаписать?"),
                         QStringLiteral("Перезаписать?"))) {
            return std::nullopt;
        }
        RemoveFile(spfield);
        RemoveFile(sptab);
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
        const int startTime = SecondsSinceMidnight();

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
