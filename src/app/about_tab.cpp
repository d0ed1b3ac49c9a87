#include "app/main_window.h"
#include "app/program_icon.h"
#include "reference/dictionary_checks.h"
#include "reference/reference_tables.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

namespace converter {

namespace {

// A word-wrapped note in the tab's smaller type.
QLabel* SmallNote(const char* name, const QString& text) {
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    return label;
}

}  // namespace

QWidget* MainWindow::buildAboutTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* grid = new QGridLayout;

    picIcon = new QLabel;
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(ProgramIcon().pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    grid->addWidget(picIcon, 0, 0, 3, 1);

    lblTitle = new QLabel(QStringLiteral("Dovi2Tarvel Converter"));
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setWordWrap(true);
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    grid->addWidget(lblTitle, 0, 1);

    lblVersion = new QLabel(QStringLiteral("Версия"));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    grid->addWidget(lblVersion, 1, 1);

    lblContact =
        new QLabel(QStringLiteral("Вопросы и замечания по работе программы направляйте "
                                  "в отдел обработки данных лесоустройства."));
    lblContact->setObjectName(QStringLiteral("lblContact"));
    lblContact->setWordWrap(true);
    grid->addWidget(lblContact, 2, 1);

    lblMail = new QLabel(QStringLiteral("Приложите к письму файл отчета из папки reports."));
    lblMail->setObjectName(QStringLiteral("lblMail"));
    lblMail->setWordWrap(true);
    grid->addWidget(lblMail, 3, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    lblDictionary = SmallNote("lblDictionary", QString());
    layout->addWidget(lblDictionary);
    // Looked for again whenever the tab is opened: an office may put its copy in place meanwhile.
    connect(SSTab1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == kAboutTab) {
            showDictionaryInUse();
        }
    });

    lblDisclaimer = SmallNote("lblDisclaimer",
                              QStringLiteral("Перед преобразованием сохраните копию исходных "
                                             "данных: программа перезаписывает выбранные файлы."));
    layout->addWidget(lblDisclaimer);
    layout->addStretch();

    layout->addWidget(buildButtonRow(4, -1, 4, nullptr));
    return page;
}

void MainWindow::showDictionaryInUse() {
    const QString path = FindFileIgnoringCase(DictionaryPath());
    lblDictionary->setText(path.isEmpty()
                               ? QStringLiteral("Справочник: не найден")
                               : QStringLiteral("Справочник: ") +
                                     QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

}  // namespace converter
