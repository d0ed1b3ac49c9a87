#include "support/fake_ui.h"

#include <stdexcept>

namespace converter::testing {

void FakeUi::showMessage(const QString& text, const QString& title, MessageIcon icon) {
    messages.append(Message{text, title, icon, false, false});
}

bool FakeUi::askYesNo(const QString& text, const QString& title) {
    bool answer = defaultYesNo;
    if (!yesNoAnswers.empty()) {
        answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
    }
    messages.append(Message{text, title, MessageIcon::Question, true, answer});
    return answer;
}

QString FakeUi::chooseOpenFile(const QString& filter, const QString& initialName) {
    openFilters.append(filter);
    openInitialNames.append(initialName);
    if (openFileAnswers.empty()) {
        return {};
    }
    QString answer = openFileAnswers.front();
    openFileAnswers.pop_front();
    return answer;
}

QString FakeUi::chooseSaveFile(const QString& filter, const QString& initialName) {
    saveFilters.append(filter);
    saveInitialNames.append(initialName);
    if (saveFileAnswers.empty()) {
        return {};
    }
    QString answer = saveFileAnswers.front();
    saveFileAnswers.pop_front();
    return answer;
}

std::optional<ForestUnitInput> FakeUi::askForestUnit() {
    ++forestUnitRequests;
    if (forestUnitAnswers.empty()) {
        return std::nullopt;
    }
    // Not the optional copied whole: an optimising GCC warns of it as maybe uninitialised.
    const bool given = forestUnitAnswers.front().has_value();
    const ForestUnitInput answer = given ? *forestUnitAnswers.front() : ForestUnitInput();
    forestUnitAnswers.pop_front();
    if (!given) {
        return std::nullopt;
    }
    return answer;
}

void FakeUi::setStatus(StatusLabel label, const QString& text) {
    status[label] = text;
    statusHistory.append(text);
}

void FakeUi::setStatusVisible(StatusLabel label, bool visible) {
    statusVisible[label] = visible;
}

void FakeUi::showReport(const QString& text, const QString& path) {
    report = text;
    reportPath = path;
    ++reportShown;
}

QStringList FakeUi::messageTexts() const {
    QStringList texts;
    for (const auto& m : messages) {
        texts.append(m.text);
    }
    return texts;
}

const FakeUi::Message& FakeUi::lastMessage() const {
    if (messages.isEmpty()) {
        throw std::logic_error("no message was shown");
    }
    return messages.last();
}

}  // namespace converter::testing
