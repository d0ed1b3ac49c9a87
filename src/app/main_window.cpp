#include "app/main_window.h"

#include "app/help_window.h"
#include "app/program_icon.h"
#include "app/qt_ui.h"
#include "common/failure.h"
#include "common/program_folder.h"
#include "common/ui.h"
#include "common/utilities.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
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

}  // namespace

MainWindow::MainWindow(int edition, QWidget* parent)
    : QWidget(parent), edition_(edition), ownUi_(std::make_unique<QtUi>(*this)) {
    ui_ = ownUi_.get();
    build();
    Form_Load();
}

MainWindow::MainWindow(int edition, Ui& ui, QWidget* parent)
    : QWidget(parent), edition_(edition), ui_(&ui) {
    build();
    Form_Load();
}

MainWindow::~MainWindow() {
    // Focus moves while the widgets are destroyed, after this object stopped being a window.
    disconnect(focusConnection_);
}

void MainWindow::build() {
    setObjectName(QStringLiteral("frmMain"));
    // A fixed single border: a title and a close button, nothing to maximise or minimise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
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

    txtReport = new QPlainTextEdit(this);
    txtReport->setObjectName(QStringLiteral("txtReport"));
    txtReport->setGeometry(TwipsToPixels(165), TwipsToPixels(3780), TwipsToPixels(6645),
                           TwipsToPixels(2265));
    txtReport->setReadOnly(true);
    txtReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtReport->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

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
    focusConnection_ = connect(qApp, &QApplication::focusChanged, this,
                               [this](QWidget*, QWidget* now) { markDefaultButton(now); });

    setFixedWidth(TwipsToPixels(kClientWidthTwips));
}

void MainWindow::Form_Load() {
    try {
        // The edition was fixed when the window was made; the dictionary is only looked for
        // here, the operations that need it fail later with their own messages.
        CheckDictionaryPresent();
        txtNsiPath->setText(ProgramFile(QStringLiteral("nsi")));
        setOuterHeight(kShortHeightTwips);
        applyEdition();
    } catch (...) {
        ShowErrorBox(*ui_, CurrentFailure());
    }
}

bool MainWindow::CheckDictionaryPresent() {
    if (QFile::exists(ProgramFile(QStringLiteral("sprav.mdb")))) {
        return true;
    }
    ui_->showMessage(
        QStringLiteral("Не найден файл справочника: SPRAV.MDB\rПуть: ") + ProgramFolder(),
        QStringLiteral("Ошибка"), MessageIcon::Warning);
    return false;
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

int MainWindow::outerHeight() const {
    return height() + frameHeight();
}

int MainWindow::frameHeight() const {
    // Asked of the window itself: the widget's own frame geometry keeps what it learnt when the
    // window was shown, before the window manager had framed it.
    const QWindow* window = windowHandle();
    if (!isVisible() || window == nullptr) {
        return 0;
    }
    const QMargins margins = window->frameMargins();
    return margins.top() + margins.bottom();
}

void MainWindow::setOuterHeight(int twips) {
    heightTwips_ = twips;
    // The frame is known only once the window manager has framed the shown window; until then
    // the client area takes the whole height, and eventFilter() corrects it when it appears.
    frameHeight_ = frameHeight();
    setFixedHeight(TwipsToPixels(twips) - frameHeight_);
    // Without a window frame (no window manager) the short height would show the top of the
    // report panel; it belongs to the tall height only.
    txtReport->setVisible(twips > kShortHeightTwips);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The window manager frames the window after it was shown and says so without an event of
    // its own; the frame is known by the time the window is first exposed, and the height loses
    // it before that first paint.
    if (watched == windowHandle() && isVisible() && frameHeight() != frameHeight_) {
        setOuterHeight(heightTwips_);
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (QWindow* window = windowHandle(); window != nullptr && !centred_) {
        window->installEventFilter(this);
    }
    setOuterHeight(heightTwips_);
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // An operation in progress owns the window until it ends.
    if (ownUi_ && ownUi_->isBusy()) {
        event->ignore();
        return;
    }
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
                          QStringLiteral("\rПуть: ") + path);
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

void MainWindow::showOperationReport(const QString& text) {
    txtReport->setPlainText(text);
    commandReported_ = true;
    if (!reportVisible_) {
        cmdShowReport_Click(0);
    }
}

void MainWindow::runCommand(const std::function<void()>& command) {
    commandWentBusy_ = false;
    commandReported_ = false;
    command();
    if (commandWentBusy_ && !commandReported_) {
        txtReport->clear();
    }
}

void MainWindow::runOnEnter(QLineEdit* box, QPushButton* run, const std::function<bool()>& ready) {
    enterTargets_.emplace_back(box, run);
    connect(box, &QLineEdit::returnPressed, run, [run, ready] {
        if (!ready || ready()) {
            run->click();
        }
    });
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
    auto* close = new QPushButton(QStringLiteral("Закрыть"));
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
