#include "cli/console_ui.h"

#include "common/failure.h"
#include "common/platform_console.h"
#include "import/forest_unit.h"

namespace converter {

ConsoleUi::ConsoleUi(std::FILE* err) : err_(err), terminal_(IsConsole(err)) {}

void ConsoleUi::writeBlock(const QString& kind, const QString& title, const QString& text,
                           const QString& answer) {
    clearProgress();
    QString block = QLatin1Char('[') + kind + QStringLiteral("] ") +
                    (title.isEmpty() ? kApplicationTitle : title) + QLatin1Char('\n');
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    block += body + QLatin1Char('\n');
    if (!answer.isEmpty()) {
        block += QStringLiteral("-> ") + answer + QLatin1Char('\n');
    }
    block += QLatin1Char('\n');
    WriteText(err_, block);
    std::fflush(err_);
}

void ConsoleUi::showMessage(const QString& text, const QString& title, MessageIcon icon) {
    QString kind = QStringLiteral("message");
    switch (icon) {
        case MessageIcon::Information:
            kind = QStringLiteral("information");
            break;
        case MessageIcon::Warning:
        case MessageIcon::Critical:
            kind = QStringLiteral("warning");
            ++warnings_;
            break;
        case MessageIcon::Question:
            kind = QStringLiteral("question");
            break;
        case MessageIcon::None:
            break;
    }
    lastIcon_ = icon;
    writeBlock(kind, title, text, {});
}

bool ConsoleUi::askYesNo(const QString& text, const QString& title) {
    writeBlock(QStringLiteral("question"), title, text,
               overwrite ? QStringLiteral("Yes") : QStringLiteral("No"));
    return overwrite;
}

QString ConsoleUi::chooseOpenFile(const QString&, const QString&) {
    return openFileAnswer;
}

QString ConsoleUi::chooseSaveFile(const QString&, const QString&) {
    return saveFileAnswer;
}

std::optional<ForestUnitInput> ConsoleUi::askForestUnit() {
    if (!forestUnit) {
        return std::nullopt;
    }
    if (const auto problem = CheckForestUnitInput(forestUnit->leshoz, forestUnit->lesnich)) {
        showMessage(problem->message, QString(), problem->icon);
        return std::nullopt;
    }
    return forestUnit;
}

void ConsoleUi::setStatus(StatusLabel, const QString& text) {
    if (!terminal_) {
        return;
    }
    WriteText(err_, QStringLiteral("\r\033[K") + text);
    std::fflush(err_);
    progressShown_ = true;
}

void ConsoleUi::setStatusVisible(StatusLabel, bool visible) {
    if (!visible) {
        clearProgress();
    }
}

void ConsoleUi::clearProgress() {
    if (progressShown_) {
        std::fputs("\r\033[K", err_);
        progressShown_ = false;
    }
}

}  // namespace converter
