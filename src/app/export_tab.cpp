#include "app/main_window.h"

#include "export/export_commands.h"

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

void MainWindow::connectExportCommands() {
    connect(cmdOpenExport, &QToolButton::clicked, this, [this] {
        const OpenExportOutcome outcome = ChooseExportDatabase(ui());
        if (outcome.databasePath) {
            txtFileNameExport->setText(*outcome.databasePath);
        }
        if (outcome.years) {
            cmbYear->clear();
            for (const YearEntry& entry : outcome.years->entries) {
                cmbYear->addItem(entry.text, entry.value);
            }
            cmbYear->setCurrentIndex(outcome.years->selected);
        }
    });
    connect(cmdExport, &QPushButton::clicked, this, [this] {
        std::optional<int> year;
        QString yearText;
        if (cmbYear->currentIndex() >= 0) {
            year = cmbYear->currentData().toInt();
            yearText = cmbYear->currentText();
        }
        RunExport(ui(), txtFileNameExport->text(), year, yearText);
    });
}

}  // namespace converter
