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

    auto* databaseLabel = new QLabel(QStringLiteral("Выберите &базу данных"));
    layout->addWidget(databaseLabel);
    auto* databaseRow = new QHBoxLayout;
    txtFileNameExport = new QLineEdit;
    txtFileNameExport->setObjectName(QStringLiteral("txtFileNameExport"));
    databaseLabel->setBuddy(txtFileNameExport);
    cmdOpenExport = makeBrowseButton(QStringLiteral("cmdOpenExport"));
    databaseRow->addWidget(txtFileNameExport);
    databaseRow->addWidget(cmdOpenExport);
    layout->addLayout(databaseRow);

    auto* yearLabel = new QLabel(QStringLiteral("Выберите &год внесения изменений"));
    layout->addWidget(yearLabel);
    auto* yearRow = new QHBoxLayout;
    cmbYear = new QComboBox;
    cmbYear->setObjectName(QStringLiteral("cmbYear"));
    yearLabel->setBuddy(cmbYear);
    cmbYear->setMinimumWidth(160);
    yearRow->addWidget(cmbYear);
    yearRow->addStretch();
    layout->addLayout(yearRow);

    lblStatusExport = makeStatusLabel(QStringLiteral("lblStatusExport"));
    layout->addWidget(lblStatusExport);
    layout->addStretch();

    cmdExport = new QPushButton(QStringLiteral("&Экспорт"));
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    layout->addWidget(buildButtonRow(0, 3, 0, cmdExport));
    return page;
}

void MainWindow::showYearList(const YearList& years) {
    cmbYear->clear();
    for (const YearEntry& entry : years.entries) {
        cmbYear->addItem(entry.text, entry.value);
    }
    cmbYear->setCurrentIndex(years.selected);
}

void MainWindow::loadTypedExportDatabase() {
    const QString path = txtFileNameExport->text().trimmed();
    if (path == yearListPath_) {
        return;
    }
    // Remembered first: the messages below take the focus away from the box, which would ask
    // for the same path again.
    yearListPath_ = path;
    yearListReady_ = false;
    if (path.isEmpty()) {
        cmbYear->clear();
        return;
    }
    const OpenExportOutcome outcome = OpenExportDatabase(ui(), path);
    yearListReady_ = outcome.databasePath.has_value();
    if (!outcome.databasePath) {
        // The years of another database must not be exported from this one.
        cmbYear->clear();
    } else if (outcome.years) {
        showYearList(*outcome.years);
    }
}

void MainWindow::connectExportCommands() {
    connect(cmdOpenExport, &QToolButton::clicked, this, [this] {
        const OpenExportOutcome outcome = ChooseExportDatabase(ui());
        if (outcome.databasePath) {
            yearListPath_ = *outcome.databasePath;
            yearListReady_ = true;
            txtFileNameExport->setText(*outcome.databasePath);
        }
        if (outcome.years) {
            showYearList(*outcome.years);
        }
    });
    // A typed or pasted path gets its year list when the box is left or Enter is pressed, as a
    // browsed one does. Enter then moves on to the list, where the year is chosen; the export
    // starts from its button or from Enter in the list.
    connect(txtFileNameExport, &QLineEdit::editingFinished, this,
            &MainWindow::loadTypedExportDatabase);
    connect(txtFileNameExport, &QLineEdit::returnPressed, this, [this] {
        loadTypedExportDatabase();
        if (yearListReady_) {
            cmbYear->setFocus();
        }
    });
    connect(cmdExport, &QPushButton::clicked, this, [this] {
        std::optional<int> year;
        QString yearText;
        if (cmbYear->currentIndex() >= 0) {
            year = cmbYear->currentData().toInt();
            yearText = cmbYear->currentText();
        }
        runCommand([&] { RunExport(ui(), txtFileNameExport->text(), year, yearText); });
    });
    runOnEnter(cmbYear, cmdExport);
}

}  // namespace converter
