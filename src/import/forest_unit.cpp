#include "import/forest_unit.h"

namespace converter {

namespace {

QString& LastLeshozCodeStore() {
    static QString code;
    return code;
}

// Reads a whole text as a signed 32-bit decimal number, blanks around it allowed.
std::optional<qint32> ReadInt32(const QString& text) {
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok, 10);
    if (!ok) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

bool IsDigitsOnly(const QString& text) {
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

std::optional<ForestUnitProblem> CheckForestUnitInput(const QString& leshoz,
                                                      const QString& lesnich) {
    if (leshoz.size() != kLeshozMaxLength) {
        return ForestUnitProblem{QStringLiteral("Код лесхоза должен состоять из 8 цифр"),
                                 MessageIcon::Information};
    }
    if (!IsDigitsOnly(leshoz)) {
        return ForestUnitProblem{QStringLiteral("Код лесхоза может содержать только цифры"),
                                 MessageIcon::Information};
    }
    if (!IsDigitsOnly(lesnich)) {
        return ForestUnitProblem{QStringLiteral("Код лесничества может содержать только цифры"),
                                 MessageIcon::Information};
    }
    // Digits only by now, but a pasted run of digits may not fit a number at all.
    bool ok = false;
    const qlonglong number = lesnich.toLongLong(&ok, 10);
    if (!ok || number < 1 || number > 25) {
        return ForestUnitProblem{
            QStringLiteral("Номер лесничества должен быть целым числом от 1 до 25"),
            MessageIcon::None};
    }
    return std::nullopt;
}

bool IsCtrlAlone(bool ctrl, bool shift, bool alt) {
    return ctrl && !shift && !alt;
}

bool AcceptKeyPress(QChar character, int length, bool hasSelection, bool ctrlKeyDown, int limit) {
    if (ctrlKeyDown) {
        return true;
    }
    if (character == QLatin1Char('.') || character == QChar(0x08)) {
        return true;
    }
    if (length >= limit && !hasSelection) {
        return false;
    }
    return character >= QLatin1Char('0') && character <= QLatin1Char('9');
}

std::optional<qint32> ForestryCode(const QString& leshoz, const QString& lesnich) {
    QString number = lesnich;
    if (number.trimmed().size() == 1) {
        number.prepend(QLatin1Char('0'));
    }
    return ReadInt32(leshoz.mid(2) + number);
}

QString LastLeshozCode() {
    return LastLeshozCodeStore();
}

void SetLastLeshozCode(const QString& code) {
    LastLeshozCodeStore() = code;
}

std::optional<ForestUnitCodes> GetInput(Ui& ui) {
    const std::optional<ForestUnitInput> input = ui.askForestUnit();
    if (!input) {
        return std::nullopt;
    }
    const std::optional<qint32> enterprise = ReadInt32(input->leshoz);
    const std::optional<qint32> forestry = ForestryCode(input->leshoz, input->lesnich);
    if (!enterprise || !forestry) {
        ui.showMessage(QStringLiteral("Ошибка при выводе окна параметров"), QString(),
                       MessageIcon::Warning);
        return std::nullopt;
    }
    SetLastLeshozCode(input->leshoz);
    return ForestUnitCodes{*enterprise, *forestry};
}

}  // namespace converter
