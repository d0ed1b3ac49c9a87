#include "app/main_window.h"
#include "check/check_commands.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace converter {

QWidget* MainWindow::buildCheckTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* databaseLabel = new QLabel(QStringLiteral("Выберите &базу данных"));
    layout->addWidget(databaseLabel);
    auto* databaseRow = new QHBoxLayout;
    txtDbForCheck = new QLineEdit;
    txtDbForCheck->setObjectName(QStringLiteral("txtDbForCheck"));
    databaseLabel->setBuddy(txtDbForCheck);
    cmdOpenDbCheck = makeBrowseButton(QStringLiteral("cmdOpenDbCheck"));
    databaseRow->addWidget(txtDbForCheck);
    databaseRow->addWidget(cmdOpenDbCheck);
    layout->addLayout(databaseRow);

    auto* referenceLabel = new QLabel(QStringLiteral("Выберите &справочник Tarvel"));
    layout->addWidget(referenceLabel);
    auto* referenceRow = new QHBoxLayout;
    txtSparvCheck = new QLineEdit;
    txtSparvCheck->setObjectName(QStringLiteral("txtSparvCheck"));
    referenceLabel->setBuddy(txtSparvCheck);
    cmdOpenSpravCheck = makeBrowseButton(QStringLiteral("cmdOpenSpravCheck"));
    referenceRow->addWidget(txtSparvCheck);
    referenceRow->addWidget(cmdOpenSpravCheck);
    layout->addLayout(referenceRow);

    lblStatusCheck = makeStatusLabel(QStringLiteral("lblStatusCheck"));
    layout->addWidget(lblStatusCheck);
    layout->addStretch();

    cmdCheckSprav = new QPushButton(QStringLiteral("Пр&оверить"));
    cmdCheckSprav->setObjectName(QStringLiteral("cmdCheckSprav"));
    layout->addWidget(buildButtonRow(2, 2, 3, cmdCheckSprav));
    return page;
}

// The check commands: the engine's functions ask, check and report; the boxes take what they
// return. A browse answer that was refused leaves its box as it was.
void MainWindow::connectCheckCommands() {
    connect(cmdOpenDbCheck, &QToolButton::clicked, this, [this] {
        if (const std::optional<QString> path = ChooseCheckDatabase(ui())) {
            txtDbForCheck->setText(*path);
        }
    });
    connect(cmdOpenSpravCheck, &QToolButton::clicked, this, [this] {
        if (const std::optional<QString> folder = ChooseCheckReferenceFolder(ui())) {
            txtSparvCheck->setText(*folder);
        }
    });
    connect(cmdCheckSprav, &QPushButton::clicked, this, [this] {
        runCommand(
            [this] { RunReferenceCheck(ui(), txtDbForCheck->text(), txtSparvCheck->text()); });
    });
    runOnEnter(txtDbForCheck, cmdCheckSprav);
    runOnEnter(txtSparvCheck, cmdCheckSprav);
}

}  // namespace converter
