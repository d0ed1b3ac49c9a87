#include "formation/formation_errors.h"

#include "common/utilities.h"
#include "formation/formation_tables.h"

namespace converter {

FormationErrors::FormationErrors() {
    reset();
}

void FormationErrors::reset() {
    sections.assign(kRefusedRowSection, ReportSection{});
    sections[kMissingFileSection - 1].caption = QStringLiteral("Не найдены файлы");
    sections[kUnknownTypeSection - 1].caption = QStringLiteral("Не определен тип файлов");
    sections[kRepeatedKeySection - 1].caption =
        QStringLiteral("Повторяющиеся значения ключевого поля");
    sections[kNonNumericCodeSection - 1].caption =
        QStringLiteral("Код значения не является числом");
    sections[kRefusedRowSection - 1].caption = QStringLiteral("Не удалось записать значения");
    hadErrors = false;
}

void AddFormationError(FormationErrors& errors, int section, const QString& detail) {
    errors.sections.at(section - 1).add(detail);
    if (section != kRepeatedKeySection) {
        errors.hadErrors = true;
    }
}

QString WriteFormationReport(Ui& ui, const QString& targetFolder, const FormationErrors& errors,
                             const QString& shownFolder) {
    if (errors.hadErrors || errors.section(kRepeatedKeySection).count > 0) {
        const QString reportTarget = SptabPath(targetFolder);
        const QString shownTarget = SptabPath(shownFolder.isEmpty() ? targetFolder : shownFolder);
        return WriteReport(
            ui, SplitPath(reportTarget, kPathFolderAndBaseName) + QStringLiteral("_rep.txt"),
            shownTarget, errors.sections, kReportFormation,
            SplitPath(shownTarget, kPathFolderAndBaseName) + QStringLiteral("_rep.txt"));
    }
    return {};
}

}  // namespace converter
