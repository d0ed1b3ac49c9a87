#include "app/qt_ui.h"

#include "app/forest_unit_dialog.h"
#include "app/main_window.h"
#include "common/failure.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QThread>

#include <atomic>
#include <system_error>
#include <thread>

namespace converter {

QString QtFileFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        const QString pattern = parts.at(i + 1).trimmed();
        // Qt reads the patterns from the last parentheses of the description.
        const QString shown = QStringLiteral("(") + pattern + QStringLiteral(")");
        filters.append(description.endsWith(shown) ? description
                                                   : description + QLatin1Char(' ') + shown);
    }
    if (filters.isEmpty() && !filter.isEmpty()) {
        filters.append(filter);
    }
    return filters.join(QStringLiteral(";;"));
}

QString DisplayText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

namespace {

constexpr qint64 kRepaintIntervalMs = 50;

// QMessageBox sizes itself by its text alone, and the window manager shortens a title that does
// not fit ("Обнаружены ... справочника"). A spacer row keeps the box as wide as its title in a
// bold frame font plus the frame's buttons.
void MakeRoomForTitle(QMessageBox& box) {
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int wanted = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + 120;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
}

// Runs a box or a dialog. When it closes its owner takes the keyboard back, at the box that had
// it: a window manager may activate some other window instead, or none at all.
int RunModal(QDialog& dialog) {
    const int result = dialog.exec();
    if (QWidget* owner = dialog.parentWidget(); owner != nullptr && owner->isVisible()) {
        owner->activateWindow();
    }
    return result;
}

}  // namespace

QtUi::QtUi(MainWindow& window) : window_(window) {}

QtUi::~QtUi() = default;

QWidget* QtUi::dialogParent() const {
    // A box asked for while a dialog is open (the forest-unit dialog's checks) belongs to that
    // dialog: it is centred over it, and when it closes the system hands the keyboard back to the
    // dialog rather than to the main window behind it.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    // Before the window is shown (the dictionary warning at start-up) a box centres on screen.
    return window_.isVisible() ? &window_ : nullptr;
}

void QtUi::showMessage(const QString& text, const QString& title, MessageIcon icon) {
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
        case MessageIcon::Information:
            boxIcon = QMessageBox::Information;
            break;
        case MessageIcon::Warning:
            boxIcon = QMessageBox::Warning;
            break;
        case MessageIcon::Question:
            boxIcon = QMessageBox::Question;
            break;
        case MessageIcon::Critical:
            boxIcon = QMessageBox::Critical;
            break;
        case MessageIcon::None:
            break;
    }
    QMessageBox box(boxIcon, title.isEmpty() ? kApplicationTitle : title, DisplayText(text),
                    QMessageBox::Ok, dialogParent());
    box.setObjectName(QStringLiteral("messageBox"));
    MakeRoomForTitle(box);
    // While an operation runs the cursor is the hourglass; the box needs the pointer.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    RunModal(box);
    QApplication::restoreOverrideCursor();
}

bool QtUi::askYesNo(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title.isEmpty() ? kApplicationTitle : title,
                    DisplayText(text), QMessageBox::Yes | QMessageBox::No, dialogParent());
    box.setObjectName(QStringLiteral("messageBox"));
    box.setDefaultButton(QMessageBox::Yes);
    MakeRoomForTitle(box);
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = RunModal(box);
    QApplication::restoreOverrideCursor();
    return answer == QMessageBox::Yes;
}

namespace {

// The file as the user knows it: the system's own separators, in the boxes and in every message
// that names it.
QString ChosenFile(QFileDialog& dialog, QWidget& window) {
    const bool chosen = RunModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    window.repaint();
    return chosen ? QDir::toNativeSeparators(dialog.selectedFiles().constFirst()) : QString();
}

}  // namespace

QString QtUi::chooseOpenFile(const QString& filter, const QString& initialName) {
    QFileDialog dialog(dialogParent());
    dialog.setWindowTitle(QStringLiteral("Открыть"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);  // a missing file cannot be chosen
    dialog.setNameFilter(QtFileFilter(filter));
    if (!initialName.isEmpty()) {
        dialog.selectFile(initialName);
    }
    return ChosenFile(dialog, window_);
}

QString QtUi::chooseSaveFile(const QString& filter, const QString& initialName) {
    QFileDialog dialog(dialogParent());
    dialog.setWindowTitle(QStringLiteral("Сохранить как"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The commands ask about existing files themselves, in their own words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(QtFileFilter(filter));
    if (!initialName.isEmpty()) {
        const QFileInfo info(initialName);
        // A proposed folder that does not exist yet (the reference tables' "sprav") is made for
        // the dialog to open in; the commands make nothing before the user has chosen.
        if (!info.path().isEmpty() && (info.dir().exists() || QDir().mkpath(info.path()))) {
            dialog.setDirectory(info.dir());
        }
        dialog.selectFile(info.fileName());
    }
    return ChosenFile(dialog, window_);
}

std::optional<ForestUnitInput> QtUi::askForestUnit() {
    // The dialog is made afresh after an accepted input (its enterprise box then holds the last
    // accepted code) and kept with whatever both boxes held after a cancel.
    if (!dialog_) {
        dialog_ = std::make_unique<ForestUnitDialog>(*this, &window_);
        QObject::connect(dialog_.get(), &ForestUnitDialog::helpRequested, &window_,
                         [this] { window_.ShowHelpTopic(QStringLiteral("import.htm")); });
    }
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool accepted = RunModal(*dialog_) == QDialog::Accepted;
    QApplication::restoreOverrideCursor();
    if (!accepted) {
        return std::nullopt;
    }
    ForestUnitInput input{dialog_->txtLeshoz->text(), dialog_->txtLesnich->text()};
    dialog_.reset();
    return input;
}

QLabel* QtUi::statusLabel(StatusLabel label) const {
    switch (label) {
        case StatusLabel::Import:
            return window_.lblStatusImport;
        case StatusLabel::Sprav:
            return window_.lblStatusSprav;
        case StatusLabel::Check:
            return window_.lblStatusCheck;
        case StatusLabel::Export:
            return window_.lblStatusExport;
    }
    return nullptr;
}

bool QtUi::repaintDue() const {
    return !sinceRepaint_.isValid() || sinceRepaint_.elapsed() >= kRepaintIntervalMs;
}

void QtUi::showPendingStatus() {
    for (std::size_t i = 0; i < pendingStatus_.size(); ++i) {
        if (pendingStatus_[i]) {
            if (QLabel* shown = statusLabel(static_cast<StatusLabel>(i))) {
                shown->setText(DisplayText(*pendingStatus_[i]));
            }
            pendingStatus_[i].reset();
        }
    }
}

void QtUi::setStatus(StatusLabel label, const QString& text) {
    pendingStatus_.at(static_cast<std::size_t>(label)) = text;
    if (repaintDue()) {
        showPendingStatus();
    }
}

void QtUi::setStatusVisible(StatusLabel label, bool visible) {
    showPendingStatus();
    if (QLabel* shown = statusLabel(label)) {
        shown->setVisible(visible);
    }
}

void QtUi::showReport(const QString& text, const QString& path) {
    window_.showOperationReport(DisplayText(text), path);
}

void QtUi::setBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    showPendingStatus();
    if (busy) {
        window_.noteBusy();
    }
    // The window's content is disabled rather than the window itself: a disabled window would
    // also disable the dialogs and message boxes it owns while the operation asks something.
    window_.SSTab1->setEnabled(!busy);
    window_.txtReport->setEnabled(!busy);
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
        window_.noteIdle();
    }
}

void QtUi::runWhileAnswering(const std::function<void()>& work) {
    // Only the window's own thread may show the busy state and wait in its event loop.
    if (QThread::currentThread() != window_.thread()) {
        work();
        return;
    }
    // Busy for the wait, so that nothing the user clicks meanwhile starts another operation.
    const bool wasBusy = busy_;
    setBusy(true);
    QEventLoop loop;
    std::atomic<bool> finished = false;
    const auto body = [&] {
        work();
        finished = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    };
    std::optional<std::thread> worker;
    try {
        worker.emplace(body);
    } catch (const std::system_error&) {
        body();  // no thread to be had: the work is done all the same, the window waits for it
    }
    if (worker) {
        // The loop also ends when the application quits; a loop started after that returns at
        // once (-1), and the work is then waited for without events.
        while (!finished) {
            if (loop.exec() < 0) {
                break;
            }
        }
        worker->join();
    }
    if (!wasBusy) {
        setBusy(false);
    }
}

void QtUi::processEvents() {
    if (!repaintDue()) {
        return;
    }
    showPendingStatus();
    QApplication::processEvents();
    sinceRepaint_.start();
}

}  // namespace converter
