#pragma once

#include "common/ui.h"

#include <QChar>
#include <QString>

#include <optional>

namespace converter {

// Length limits of the dialog's two boxes while typing (pasted text is not limited).
inline constexpr int kLeshozMaxLength = 8;
inline constexpr int kLesnichMaxLength = 2;

// True when `text` is not empty and every character is a decimal digit 0-9.
bool IsDigitsOnly(const QString& text);

// What the OK button shows when a check fails; the dialog then stays open.
struct ForestUnitProblem {
    QString message;
    MessageIcon icon = MessageIcon::Information;
};

// The four checks of the OK button in their order: the first that fails, or nullopt when the
// input may be accepted. The message box carries the application's title.
std::optional<ForestUnitProblem> CheckForestUnitInput(const QString& leshoz,
                                                      const QString& lesnich);

// Key-down in either box: true when Ctrl is the only modifier held.
bool IsCtrlAlone(bool ctrl, bool shift, bool alt);

// Key-press filter of one box. `character` is the typed character (Backspace as U+0008);
// keys that type no character are not filtered. `length` is the box's text length, `limit`
// kLeshozMaxLength or kLesnichMaxLength. A rejected character is dropped silently.
bool AcceptKeyPress(QChar character, int length, bool hasSelection, bool ctrlKeyDown, int limit);

// The forestry code: the enterprise code without its first two characters followed by the
// forestry number as two digits. 12345678 and "5" give 34567805. nullopt when the texts do not
// make a 32-bit number (the dialog's checks make sure they do).
std::optional<qint32> ForestryCode(const QString& leshoz, const QString& lesnich);

// The enterprise code of the last accepted dialog in this run of the program; the dialog
// pre-fills its enterprise box with it when it is loaded afresh.
QString LastLeshozCode();
void SetLastLeshozCode(const QString& code);

struct ForestUnitCodes {
    qint32 enterpriseCode = 0;
    qint32 forestryCode = 0;
};

// Asks for the forest unit through the Ui port and turns the two texts into codes. nullopt
// when the user cancelled. Input that does not make two codes (a front end that skipped the
// checks) shows "Ошибка при выводе окна параметров" and also gives nullopt, so that no import
// runs with codes nobody entered. An accepted input becomes LastLeshozCode.
std::optional<ForestUnitCodes> GetInput(Ui& ui);

}  // namespace converter
