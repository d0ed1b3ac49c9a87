#include "import/import_commands.h"

#include "common/failure.h"
#include "common/safe_write.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "import/import_driver.h"
#include "import/stand_database.h"

#include <QFileInfo>

namespace converter {

namespace {

// The busy state ends on every path, also when a step fails.
class BusyState {
public:
    explicit BusyState(Ui& ui) : ui_(ui) {
        ui_.setBusy(true);
        ui_.processEvents();
    }
    ~BusyState() { ui_.setBusy(false); }
    BusyState(const BusyState&) = delete;
    BusyState& operator=(const BusyState&) = delete;

private:
    Ui& ui_;
};

// The source path without its extension followed by ".db"; a name without extension keeps its
// whole name.
QString ProposedDatabasePath(const QString& sourcePath) {
    const QFileInfo info(sourcePath);
    if (info.suffix().isEmpty()) {
        return sourcePath + QStringLiteral(".db");
    }
    return sourcePath.left(sourcePath.size() - info.suffix().size()) + QStringLiteral("db");
}

}  // namespace

std::optional<QString> ChooseImportFile(Ui& ui) {
    try {
        const QString path = ShowOpenDialog(ui, GetFileFilter(kTextFile));
        if (path.isEmpty() || !QFileInfo::exists(path)) {
            return std::nullopt;
        }
        return path;
    } catch (...) {
        ui.showMessage(QStringLiteral("Ошибка при открытии файла"), QString(),
                       MessageIcon::Warning);
        return std::nullopt;
    }
}

namespace {

// Runs the driver in the busy state and shows the outcome; the busy state ends after the
// outcome or the error box.
bool RunImportDriver(Ui& ui, const QString& sourcePath, const QString& target,
                     const QString& elementsPath) {
    const BusyState busy(ui);
    try {
        const int startTime = StartOperationClock();
        QString countText;
        bool hadErrors = false;
        if (!ImportDoviFile(ui, sourcePath, target, elementsPath, countText, hadErrors)) {
            return false;
        }
        const QString text = QStringLiteral("Файл: ") + target + QLatin1Char('\r') + countText +
                             QLatin1Char('\r') + FormatElapsedTime(ElapsedSeconds(startTime));
        if (hadErrors) {
            ui.showMessage(text, QStringLiteral("Импорт выполнен с ошибками"),
                           MessageIcon::Warning);
        } else {
            ui.showMessage(text, QStringLiteral("Импорт успешно завершен"),
                           MessageIcon::Information);
        }
        return true;
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure());
        return false;
    }
}

}  // namespace

bool RunImport(Ui& ui, const QString& sourcePath) {
    QString target;
    QString elementsPath;
    try {
        if (sourcePath.isEmpty()) {
            ui.showMessage(QStringLiteral("Не выбран файл для импорта"), QString(),
                           MessageIcon::Information);
            return false;
        }
        // A typed folder is no text file either: refused before anything is asked.
        if (!QFileInfo(sourcePath).isFile()) {
            ui.showMessage(QStringLiteral("Не найден файл:\r") + sourcePath, QString(),
                           MessageIcon::Warning);
            return false;
        }
        target = ShowSaveDialog(ui, GetFileFilter(kTarvelDatabaseFile),
                                ProposedDatabasePath(sourcePath));
        if (target.isEmpty()) {
            return false;
        }
        // The tables are Paradox files: a name typed without extension gets ".db".
        if (QFileInfo(target).suffix().isEmpty()) {
            target += QStringLiteral(".db");
        }
        elementsPath = ElementsTablePath(target);
        // Refusals come before the question, so that Yes never leads to a refusal.
        if (!CheckImportPaths(ui, sourcePath, target)) {
            return false;
        }
        // The table engine finds "LES.db" for "les.db": so does the question. The old files go
        // only when the new database is complete.
        const QString folder = QFileInfo(target).absolutePath();
        if (!EngineFile(folder, QFileInfo(elementsPath).fileName()).isEmpty() ||
            !EngineFile(folder, QFileInfo(target).fileName()).isEmpty()) {
            if (!ui.askYesNo(QStringLiteral("Файл с таким именем существует: ") +
                                 SplitPath(target, kPathFileName) +
                                 QStringLiteral("\rЖелаете перезаписть?"),
                             QStringLiteral("Перезаписать?"))) {
                return false;
            }
        }
    } catch (...) {
        ShowErrorBox(ui, CurrentFailure());
        return false;
    }
    return RunImportDriver(ui, sourcePath, target, elementsPath);
}

}  // namespace converter
