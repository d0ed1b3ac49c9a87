#pragma once

#include "common/platform_console.h"
#include "common/ui.h"

#include <QString>

#include <cstdio>
#include <optional>

namespace converter {

// The Ui port on a console: every message box becomes a block on standard error, questions are
// answered from the command line, file dialogs return the paths the command line named.
class ConsoleUi : public Ui {
public:
    explicit ConsoleUi(std::FILE* err = stderr);

    // Answers for the dialogs the operation will open.
    bool overwrite = false;
    QString openFileAnswer;
    QString saveFileAnswer;
    // The forest unit from the command line; it passes the dialog's own checks or the dialog
    // counts as cancelled after showing the check's message.
    std::optional<ForestUnitInput> forestUnit;

    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    bool askYesNo(const QString& text, const QString& title) override;
    QString chooseOpenFile(const QString& filter, const QString& initialName) override;
    QString chooseSaveFile(const QString& filter, const QString& initialName) override;
    std::optional<ForestUnitInput> askForestUnit() override;
    void setStatus(StatusLabel label, const QString& text) override;
    void setStatusVisible(StatusLabel label, bool visible) override;
    void showReport(const QString&, const QString&) override {}
    void setBusy(bool) override {}
    void processEvents() override {}

    int warningCount() const { return warnings_; }
    // The icon of the last box shown: an operation that succeeded but ended with a warning box
    // recorded faults.
    MessageIcon lastIcon() const { return lastIcon_; }

private:
    void writeBlock(const QString& kind, const QString& title, const QString& text,
                    const QString& answer);
    void clearProgress();

    std::FILE* err_;
    ConsoleKind console_;
    // The length of the progress line shown, which a plain console clears with spaces.
    qsizetype progressShown_ = 0;
    int warnings_ = 0;
    MessageIcon lastIcon_ = MessageIcon::None;
};

}  // namespace converter
