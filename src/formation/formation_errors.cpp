#include "formation/formation_errors.h"

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

}  // namespace converter
