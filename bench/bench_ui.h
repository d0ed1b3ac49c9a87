#pragma once

#include "common/ui.h"

#include <QString>

#include <cstdio>

namespace converter::bench {

// A Ui for benchmarks: answers the forest-unit dialog with 12345678 / 5, says Yes, chooses no
// file and prints every message to stderr.
class QuietUi : public Ui {
public:
    void showMessage(const QString& text, const QString& title, MessageIcon) override {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(title),
                     qPrintable(QString(text).replace(QLatin1Char('\r'), QLatin1Char('\n'))));
    }
    bool askYesNo(const QString&, const QString&) override { return true; }
    QString chooseOpenFile(const QString&, const QString&) override { return {}; }
    QString chooseSaveFile(const QString&, const QString&) override { return {}; }
    std::optional<ForestUnitInput> askForestUnit() override {
        return ForestUnitInput{QStringLiteral("12345678"), QStringLiteral("5")};
    }
    void setStatus(StatusLabel, const QString&) override {}
    void setStatusVisible(StatusLabel, bool) override {}
    void showReport(const QString&, const QString&) override {}
    void setBusy(bool) override {}
    void processEvents() override {}
};

}  // namespace converter::bench
