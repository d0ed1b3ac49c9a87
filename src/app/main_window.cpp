#include "app/main_window.h"

#include "app/help_window.h"
#include "app/program_icon.h"
#include "app/qt_ui.h"
#include "common/failure.h"
#include "common/program_folder.h"
#include "common/responsive_call.h"
#include "common/ui.h"
#include "common/utilities.h"
#include "reference/dictionary_checks.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <algorithm>

namespace converter {

namespace {

const QString kShowReportTip = QStringLiteral("Показать отчет");
const QString kHideReportTip = QStringLiteral("Скрыть отчет");
const QString kTarvelName = QStringLiteral("\"Вельтара\"");

// The platform's own look with narrower tab padding.
class CompactTabStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? std::min(value, 12) : value;
    }
};

// Calls `press` for Enter pressed in the widget it watches.
class EnterFilter : public QObject {
public:
    EnterFilter(std::function<void()> press, QObject* parent)
        : QObject(parent), press_(std::move(press)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                press_();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> press_;
};

}  // namespace

MainWindow::MainWindow(int edition, QWidget* parent)
    : QWidget(parent), edition_(edition), ownUi_(std::make_unique<QtUi>(*this)) {
    ui_ = ownUi_.get();
    build();
    Form_Load();
    // A step that waits on the disk (a rename on a share) runs beside the window, which keeps
    // answering: the system would otherwise offer to end the program in the middle of it.
    SetResponsiveRunner(
        [this](const std::function<void()>& work) { ownUi_->runWhileAnswering(work); });
}

MainWindow::MainWindow(int edition, Ui& ui, QWidget* parent)
    : QWidget(parent), edition_(edition), ui_(&ui) {
    build();
    Form_Load();
}

MainWindow::~MainWindow() {
    if (ownUi_) {
        SetResponsiveRunner({});
    }
    // Focus moves while the widgets are destroyed, after this object stopped being a window.
    disconnect(focusConnection_);
}

void MainWindow::build() {
    setObjectName(QStringLiteral("frmMain"));
    // A title and a close button, nothing to maximise or minimise. The border is fixed while the
    // report panel is hidden (setOuterHeight fixes the height), not by a hint that would also
    // keep the report's height from growing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Dovi2Tarvel Converter"));
    setWindowIcon(ProgramIcon());

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->setGeometry(TwipsToPixels(105), TwipsToPixels(90), TwipsToPixels(6750),
                        TwipsToPixels(3585));
    SSTab1->addTab(buildImportTab(), QStringLiteral(" Импорт"));
    SSTab1->addTab(buildSpravTab(), QStringLiteral(" Справочник"));
    SSTab1->addTab(buildCheckTab(), QStringLiteral(" Проверка"));
    SSTab1->addTab(buildExportTab(), QStringLiteral(" Экспорт"));
    SSTab1->addTab(buildAboutTab(), QStringLiteral(" О программе"));
    SSTab1->setCurrentIndex(kImportTab);
    // Five Russian titles must fit the fixed width side by side, without scroll arrows.
    auto* tabStyle = new CompactTabStyle;
    tabStyle->setParent(SSTab1->tabBar());
    SSTab1->tabBar()->setStyle(tabStyle);
    SSTab1->tabBar()->setUsesScrollButtons(false);

    buildReportPanel();

    for (int i = 0; i < int(cmdShowReport.size()); ++i) {
        connect(cmdShowReport[i], &QToolButton::clicked, this,
                [this, i] { cmdShowReport_Click(i); });
    }
    for (int i = 0; i < int(cmdHelp.size()); ++i) {
        connect(cmdHelp[i], &QToolButton::clicked, this, [this, i] { cmdHelp_Click(i); });
    }
    for (int i = 0; i < int(cmdClose.size()); ++i) {
        connect(cmdClose[i], &QPushButton::clicked, this, [this, i] { cmdClose_Click(i); });
    }
    connectImportCommands();
    connectSpravCommands();
    connectCheckCommands();
    connectExportCommands();
    // F1 opens the help page of the tab in front.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { cmdHelp_Click(SSTab1->currentIndex()); });
    focusConnection_ = connect(qApp, &QApplication::focusChanged, this,
                               [this](QWidget*, QWidget* now) { markDefaultButton(now); });

    setFixedWidth(TwipsToPixels(kClientWidthTwips));
}

void MainWindow::Form_Load() {
    try {
        // The edition was fixed when the window was made; the dictionary is only looked for
        // here, the operations that need it fail later with their own messages.
        DictionaryPresent(*ui_);
        showDictionaryInUse();
        txtNsiPath->setText(QDir::toNativeSeparators(ProgramFile(QStringLiteral("nsi"))));
        setOuterHeight(kShortHeightTwips);
        applyEdition();
    } catch (...) {
        ShowErrorBox(*ui_, CurrentFailure());
    }
}

void MainWindow::applyEdition() {
    switch (edition_) {
        case 1:
            hideTab(kExportTab);
            setWindowTitle(QStringLiteral("Dovi to Tarvel Converter"));
            lblTitle->setText(
                QStringLiteral("Преобразование повыдельной базы данных ДОВИ в формат ГИС ") +
                kTarvelName);
            break;
        case 2:
            hideTab(kImportTab);
            hideTab(kSpravTab);
            hideTab(kCheckTab);
            setWindowTitle(QStringLiteral("Экспорт текущих изменений"));
            lblTitle->setText(
                QStringLiteral("Экспорт текущих изменений  повыдельной базы данных ГИС ") +
                kTarvelName + QStringLiteral("  в ДОВИ"));
            break;
        case 3:
            setWindowTitle(QStringLiteral("Dovi2Tarvel Converter"));
            lblTitle->setText(
                QStringLiteral("Создание/проверка/экспорт повыдельной базы данных ГИС ") +
                kTarvelName);
            break;
        default:
            break;
    }
    lblVersion->setText(QStringLiteral("Версия 1.0"));
}

void MainWindow::hideTab(int index) {
    const int current = SSTab1->currentIndex();
    // A hidden tab alone is still reached by Ctrl+Tab and the wheel over the tab bar; a disabled
    // one is skipped by both, and its page takes no input.
    SSTab1->setTabEnabled(index, false);
    SSTab1->setTabVisible(index, false);
    if (current != index) {
        // Qt may have moved the selection on its own; the hidden tab was not the selected one.
        SSTab1->setCurrentIndex(current);
        return;
    }
    // The selection moves to the next visible tab on the right (the About tab always is).
    for (int i = index + 1; i < SSTab1->count(); ++i) {
        if (SSTab1->isTabVisible(i)) {
            SSTab1->setCurrentIndex(i);
            return;
        }
    }
    for (int i = index - 1; i >= 0; --i) {
        if (SSTab1->isTabVisible(i)) {
            SSTab1->setCurrentIndex(i);
            return;
        }
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // An operation in progress owns the window until it ends; the window closes then.
    if (ownUi_ && ownUi_->isBusy()) {
        closeRequested_ = true;
        event->ignore();
        return;
    }
    closeRequested_ = false;
    if (helpWindow_) {
        helpWindow_->close();
    }
    event->accept();
}

void MainWindow::cmdShowReport_Click(int /*index*/) {
    try {
        reportVisible_ = !reportVisible_;
        setOuterHeight(reportVisible_ ? kTallHeightTwips : kShortHeightTwips);
        for (QToolButton* button : cmdShowReport) {
            button->setToolTip(reportVisible_ ? kHideReportTip : kShowReportTip);
        }
    } catch (...) {
        ShowErrorBox(*ui_, CurrentFailure());
    }
}

namespace {

// The help page of each operation tab, by tab index.
const char* const kTopics[] = {"import.htm", "formsprav.htm", "checksprav.htm", "export.htm"};

}  // namespace

void MainWindow::cmdHelp_Click(int index) {
    if (index < 0 || index >= int(std::size(kTopics))) {
        return;
    }
    ShowHelpTopic(QString::fromLatin1(kTopics[index]));
}

QStringList MainWindow::hiddenHelpPages() const {
    QStringList pages;
    for (int tab = 0; tab < int(std::size(kTopics)); ++tab) {
        if (!SSTab1->isTabEnabled(tab)) {
            pages.append(QString::fromLatin1(kTopics[tab]));
        }
    }
    return pages;
}

void MainWindow::placeHelpWindow() {
    const QSize frame = frameGeometry().size() - geometry().size();
    if (helpWindow_->placeBeside(frameGeometry(), frame)) {
        return;
    }
    // No room on either side: the main window moves to the edge of the screen to make some.
    if (const QScreen* shown = screen()) {
        const QRect free = shown->availableGeometry();
        const bool toLeft = frameGeometry().center().x() <= free.center().x();
        move(toLeft ? free.left() : free.right() - frameGeometry().width() + 1, pos().y());
        helpWindow_->placeBeside(frameGeometry(), frame);
    }
}

void MainWindow::ShowHelpTopic(const QString& topic) {
    try {
        const QString path = ProgramFile(QStringLiteral("help/") + topic);
        if (!QFile::exists(path)) {
            throw Failure(QStringLiteral("Не найдена страница справки: ") + topic +
                          QStringLiteral("\rПуть: ") + QDir::toNativeSeparators(path));
        }
        if (!helpWindow_) {
            // No owner: the help lives beside the main window, which stays usable.
            helpWindow_ = std::make_unique<HelpWindow>(hiddenHelpPages());
            helpWindow_->setWindowIcon(windowIcon());
        }
        // Placed each time it opens, not while open: the user may have moved it.
        if (!helpWindow_->isVisible()) {
            placeHelpWindow();
        }
        helpWindow_->showPage(path);
    } catch (...) {
        ShowErrorBox(*ui_, CurrentFailure());
    }
}

void MainWindow::cmdClose_Click(int /*index*/) {
    close();
}

void MainWindow::focusFirstBox() {
    // The first box of each tab, by tab index; the About tab has none.
    QWidget* const firstBoxes[] = {txtFileNameImport, txtNsiPath, txtDbForCheck, txtFileNameExport};
    const int tab = SSTab1->currentIndex();
    if (tab >= 0 && tab < int(std::size(firstBoxes))) {
        firstBoxes[tab]->setFocus();
    }
}

void MainWindow::runCommand(const std::function<void()>& command) {
    commandRunning_ = true;
    command();
    commandRunning_ = false;
    closeIfRequested();
}

void MainWindow::noteIdle() {
    // A command may still show its outcome after the busy state; it closes the window when done.
    if (!commandRunning_) {
        closeIfRequested();
    }
}

void MainWindow::closeIfRequested() {
    // Queued: the code that ended the busy state still runs on this window.
    if (closeRequested_) {
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void MainWindow::runOnEnter(QWidget* box, QPushButton* run, const std::function<bool()>& ready) {
    enterTargets_.emplace_back(box, run);
    const auto press = [run, ready] {
        if (!ready || ready()) {
            run->click();
        }
    };
    if (auto* line = qobject_cast<QLineEdit*>(box)) {
        connect(line, &QLineEdit::returnPressed, run, press);
    } else {
        // A closed drop-down list passes Enter on to its parent: it is taken on the way there.
        box->installEventFilter(new EnterFilter(press, box));
    }
}

void MainWindow::markDefaultButton(QWidget* focus) {
    for (QPushButton* run : {cmdImport, cmdFormSprav, cmdCheckSprav, cmdExport}) {
        bool pressedByEnter = focus == run;
        for (const auto& [box, target] : enterTargets_) {
            pressedByEnter = pressedByEnter || (target == run && box == focus);
        }
        run->setDefault(pressedByEnter);
    }
}

QWidget* MainWindow::buildButtonRow(int reportElement, int helpElement, int closeElement,
                                    QPushButton* runButton) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* report = new QToolButton;
    report->setObjectName(QStringLiteral("cmdShowReport_%1").arg(reportElement));
    report->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    report->setIconSize(QSize(20, 20));
    report->setToolTip(kShowReportTip);
    report->setAutoRaise(false);
    cmdShowReport[reportElement] = report;
    layout->addWidget(report);

    if (helpElement >= 0) {
        auto* help = new QToolButton;
        help->setObjectName(QStringLiteral("cmdHelp_%1").arg(helpElement));
        help->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
        help->setIconSize(QSize(20, 20));
        help->setToolTip(QStringLiteral("Справка"));
        cmdHelp[helpElement] = help;
        layout->addWidget(help);
    }
    layout->addStretch();
    if (runButton != nullptr) {
        runButton->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
        runButton->setMinimumWidth(100);
        layout->addWidget(runButton);
    }
    auto* close = new QPushButton(QStringLiteral("&Закрыть"));
    close->setObjectName(QStringLiteral("cmdClose_%1").arg(closeElement));
    close->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    close->setMinimumWidth(100);
    cmdClose[closeElement] = close;
    layout->addWidget(close);
    return row;
}

QToolButton* MainWindow::makeBrowseButton(const QString& objectName) {
    auto* button = new QToolButton;
    button->setObjectName(objectName);
    button->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    return button;
}

QLabel* MainWindow::makeStatusLabel(const QString& objectName) {
    auto* label = new QLabel(QStringLiteral("Статус..."));
    label->setObjectName(objectName);
    // Hidden between operations, without the tab's layout jumping when it appears.
    QSizePolicy policy = label->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
    // The tabs are disabled while an operation runs, which is exactly when this is read.
    QPalette palette = label->palette();
    palette.setColor(QPalette::Disabled, QPalette::WindowText,
                     palette.color(QPalette::Active, QPalette::WindowText));
    label->setPalette(palette);
    label->hide();
    return label;
}

}  // namespace converter
