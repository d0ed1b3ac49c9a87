#include "app/main_window.h"
#include "import/import_commands.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace converter {

QWidget* MainWindow::buildImportTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* fileLabel = new QLabel(QStringLiteral("&Выберите текстовый файл"));
    layout->addWidget(fileLabel);
    auto* fileRow = new QHBoxLayout;
    txtFileNameImport = new QLineEdit;
    txtFileNameImport->setObjectName(QStringLiteral("txtFileNameImport"));
    fileLabel->setBuddy(txtFileNameImport);
    cmdOpenImport = makeBrowseButton(QStringLiteral("cmdOpenImport"));
    fileRow->addWidget(txtFileNameImport);
    fileRow->addWidget(cmdOpenImport);
    layout->addLayout(fileRow);

    lblStatusImport = makeStatusLabel(QStringLiteral("lblStatusImport"));
    layout->addWidget(lblStatusImport);
    layout->addStretch();

    cmdImport = new QPushButton(QStringLiteral("&Импорт"));
    cmdImport->setObjectName(QStringLiteral("cmdImport"));
    layout->addWidget(buildButtonRow(1, 0, 1, cmdImport));
    return page;
}

// The import commands: cmdOpenImport and cmdImport are connected here to the engine's import
// command functions, which trap their own failures.
void MainWindow::connectImportCommands() {
    connect(cmdOpenImport, &QToolButton::clicked, this, [this] {
        cmdImport->setFocus();
        cmdOpenImport->repaint();
        if (const std::optional<QString> path = ChooseImportFile(ui())) {
            txtFileNameImport->setText(*path);
        }
    });
    connect(cmdImport, &QPushButton::clicked, this,
            [this] { runCommand([this] { RunImport(ui(), txtFileNameImport->text()); }); });
    runOnEnter(txtFileNameImport, cmdImport);
}

}  // namespace converter
