#include "app/main_window.h"
#include "formation/formation_commands.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace converter {

QWidget* MainWindow::buildSpravTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* folderLabel = new QLabel(QStringLiteral("&Выберите папку со справочниками ДОВИ"));
    layout->addWidget(folderLabel);
    auto* folderRow = new QHBoxLayout;
    txtNsiPath = new QLineEdit;
    txtNsiPath->setObjectName(QStringLiteral("txtNsiPath"));
    folderLabel->setBuddy(txtNsiPath);
    cmdOpenDoviSprav = makeBrowseButton(QStringLiteral("cmdOpenDoviSprav"));
    folderRow->addWidget(txtNsiPath);
    folderRow->addWidget(cmdOpenDoviSprav);
    layout->addLayout(folderRow);

    lblStatusSprav = makeStatusLabel(QStringLiteral("lblStatusSprav"));
    layout->addWidget(lblStatusSprav);
    layout->addStretch();

    cmdFormSprav = new QPushButton(QStringLiteral("&Создать"));
    cmdFormSprav->setObjectName(QStringLiteral("cmdFormSprav"));
    layout->addWidget(buildButtonRow(3, 1, 2, cmdFormSprav));
    return page;
}

// Both commands catch their own failures, so nothing escapes the click handlers.
void MainWindow::connectSpravCommands() {
    connect(cmdOpenDoviSprav, &QToolButton::clicked, this, [this] {
        if (const std::optional<QString> folder = ChooseReferenceFolder(ui())) {
            txtNsiPath->setText(*folder);
        }
    });
    connect(cmdFormSprav, &QPushButton::clicked, this,
            [this] { runCommand([this] { RunReferenceFormation(ui(), txtNsiPath->text()); }); });
    runOnEnter(txtNsiPath, cmdFormSprav);
}

}  // namespace converter
