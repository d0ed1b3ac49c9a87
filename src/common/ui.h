#pragma once

#include <QString>

#include <optional>

namespace converter {

enum class MessageIcon { None, Information, Warning, Question, Critical };

// The status labels of the operation tabs that the drivers write progress into.
enum class StatusLabel { Import, Sprav, Check, Export };

// The raw texts of the forest-unit dialog's two boxes after the dialog's own checks passed.
struct ForestUnitInput {
    QString leshoz;
    QString lesnich;
};

// Everything the engine needs of the person in front of it. The window, the console front end
// and the tests' recording fake implement it; the engine never touches a widget.
class Ui {
public:
    virtual ~Ui() = default;

    // An empty title means the application's title. Lines of `text` are separated by a lone CR.
    virtual void showMessage(const QString& text, const QString& title, MessageIcon icon) = 0;
    // A Yes/No question with the question icon; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& title) = 0;

    // `filter` is "description|pattern" as GetFileFilter gives it. Empty result on cancel.
    // The open dialog refuses files that do not exist.
    virtual QString chooseOpenFile(const QString& filter, const QString& initialName) = 0;
    virtual QString chooseSaveFile(const QString& filter, const QString& initialName) = 0;

    // The modal forest-unit dialog; nullopt when the user cancelled.
    virtual std::optional<ForestUnitInput> askForestUnit() = 0;

    virtual void setStatus(StatusLabel label, const QString& text) = 0;
    virtual void setStatusVisible(StatusLabel label, bool visible) = 0;
    // Replaces the content of the report panel with the running operation's report, read from
    // the file `path` (the window opens the panel to show it).
    virtual void showReport(const QString& text, const QString& path) = 0;
    // Hourglass cursor and disabled main window while an operation runs.
    virtual void setBusy(bool busy) = 0;
    // Lets the window repaint during long work.
    virtual void processEvents() = 0;
};

}  // namespace converter
