#include "cli/console_ui.h"

#include "common/failure.h"
#include "import/forest_unit.h"

#include <algorithm>

namespace converter {

ConsoleUi::ConsoleUi(std::FILE* err) : err_(err), console_(ConsoleKindOf(err)) {}

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
    if (console_ == ConsoleKind::None) {
        return;
    }
    if (console_ == ConsoleKind::Escapes) {
        WriteText(err_, QStringLiteral("\r\033[K") + text);
    } else {
        // Spaces cover what a longer line before left.
        const qsizetype rest = std::max<qsizetype>(progressShown_ - text.size(), 0);
        WriteText(err_, QLatin1Char('\r') + text + QString(rest, QLatin1Char(' ')));
    }
    std::fflush(err_);
    progressShown_ = std::max<qsizetype>({progressShown_, text.size(), 1});
}

void ConsoleUi::setStatusVisible(StatusLabel, bool visible) {
    if (!visible) {
        clearProgress();
    }
}

void ConsoleUi::clearProgress() {
    if (progressShown_ == 0) {
        return;
    }
    if (console_ == ConsoleKind::Escapes) {
        WriteText(err_, QStringLiteral("\r\033[K"));
    } else {
        WriteText(err_, QLatin1Char('\r') + QString(progressShown_, QLatin1Char(' ')) +
                            QLatin1Char('\r'));
    }
    progressShown_ = 0;
}

}  // namespace converter
