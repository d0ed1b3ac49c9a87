#include "app/forest_unit_dialog.h"

#include "app/main_window.h"
#include "common/failure.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "import/forest_unit.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace converter {

ForestUnitDialog::ForestUnitDialog(Ui& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
    setObjectName(QStringLiteral("frmInput"));
    setWindowTitle(QStringLiteral("Введите данные"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Modal over the main window only: the help window beside it stays usable.
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    Label1 = new QLabel(QStringLiteral("Введите код &лесхоза"));
    Label1->setObjectName(QStringLiteral("Label1"));
    txtLeshoz = new QLineEdit;
    txtLeshoz->setObjectName(QStringLiteral("txtLeshoz"));
    Label2 = new QLabel(QStringLiteral("Введите код лес&ничества"));
    Label2->setObjectName(QStringLiteral("Label2"));
    txtLesnich = new QLineEdit;
    txtLesnich->setObjectName(QStringLiteral("txtLesnich"));
    Label1->setBuddy(txtLeshoz);
    Label2->setBuddy(txtLesnich);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(txtLeshoz, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(txtLesnich, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addStretch();

    auto* buttons = new QHBoxLayout;
    cmdOk = new QPushButton(QStringLiteral("&Ok"));
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("О&тмена"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addStretch();
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);

    connect(cmdOk, &QPushButton::clicked, this, &ForestUnitDialog::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &ForestUnitDialog::cmdCancel_Click);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &ForestUnitDialog::helpRequested);
    txtLeshoz->installEventFilter(this);
    txtLesnich->installEventFilter(this);

    setFixedSize(TwipsToPixels(5190), TwipsToPixels(2205));

    try {
        txtLeshoz->setText(LastLeshozCode());
    } catch (...) {
        ShowErrorBox(ui_, CurrentFailure());
    }
}

void ForestUnitDialog::cmdOk_Click() {
    try {
        if (const auto problem = CheckForestUnitInput(txtLeshoz->text(), txtLesnich->text())) {
            ui_.showMessage(problem->message, {}, problem->icon);
            return;
        }
        accept();
    } catch (...) {
        // A wrong entry never closes the dialog: the user corrects it or cancels.
    }
}

void ForestUnitDialog::cmdCancel_Click() {
    reject();
}

void ForestUnitDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The cursor waits in the first box still to be filled (the enterprise code is usually
    // there from the last import).
    QLineEdit* first =
        !txtLeshoz->text().isEmpty() && txtLesnich->text().isEmpty() ? txtLesnich : txtLeshoz;
    first->setFocus();
}

bool ForestUnitDialog::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (event->type() != QEvent::KeyPress || (box != txtLeshoz && box != txtLesnich)) {
        return QDialog::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers();
    ctrlKeyDown_ =
        IsCtrlAlone(modifiers.testFlag(Qt::ControlModifier), modifiers.testFlag(Qt::ShiftModifier),
                    modifiers.testFlag(Qt::AltModifier));
    const QString text = key->text();
    if (text.size() != 1) {
        return false;  // keys that type nothing (arrows, Delete, Home) are not filtered
    }
    QChar typed = text.at(0);
    if (key->key() == Qt::Key_Backspace) {
        typed = QChar(8);
    } else if (typed.category() == QChar::Other_Control) {
        return false;  // shortcuts such as Ctrl+V arrive as control characters
    }
    const int limit = box == txtLeshoz ? kLeshozMaxLength : kLesnichMaxLength;
    const bool accepted =
        AcceptKeyPress(typed, int(box->text().size()), box->hasSelectedText(), ctrlKeyDown_, limit);
    return !accepted;  // a rejected character is swallowed without a sound
}

}  // namespace converter
