#pragma once

#include "common/ui.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>

namespace converter::testing {

// A Ui that answers from scripts and records everything the engine showed, for assertions.
class FakeUi : public Ui {
public:
    struct Message {
        QString text;
        QString title;  // as passed: empty means the application's title
        MessageIcon icon = MessageIcon::None;
        bool question = false;
        bool answer = false;  // the answer given to a question
    };

    // Scripted answers, taken in order; when a script runs dry the default applies.
    std::deque<bool> yesNoAnswers;
    bool defaultYesNo = false;
    std::deque<QString> openFileAnswers;
    std::deque<QString> saveFileAnswers;
    std::deque<std::optional<ForestUnitInput>> forestUnitAnswers;

    // What happened.
    QList<Message> messages;
    QStringList openFilters, openInitialNames, saveFilters, saveInitialNames;
    int forestUnitRequests = 0;
    std::map<StatusLabel, QString> status;
    std::map<StatusLabel, bool> statusVisible;
    QStringList statusHistory;
    QString report;
    QString reportPath;
    int reportShown = 0;
    QList<bool> busyHistory;
    int eventsProcessed = 0;

    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    bool askYesNo(const QString& text, const QString& title) override;
    QString chooseOpenFile(const QString& filter, const QString& initialName) override;
    QString chooseSaveFile(const QString& filter, const QString& initialName) override;
    std::optional<ForestUnitInput> askForestUnit() override;
    void setStatus(StatusLabel label, const QString& text) override;
    void setStatusVisible(StatusLabel label, bool visible) override;
    void showReport(const QString& text, const QString& path) override;
    void setBusy(bool busy) override { busyHistory.append(busy); }
    // Runs while the engine lets pending events run, as a person could act meanwhile.
    std::function<void()> onProcessEvents;
    void processEvents() override {
        ++eventsProcessed;
        if (onProcessEvents) {
            onProcessEvents();
        }
    }

    // The texts of all messages, in order; handy in QCOMPARE.
    QStringList messageTexts() const;
    const Message& lastMessage() const;
};

}  // namespace converter::testing
