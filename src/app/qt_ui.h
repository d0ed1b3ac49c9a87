#pragma once

#include "common/ui.h"

#include <QElapsedTimer>

#include <array>
#include <functional>
#include <memory>

class QLabel;
class QWidget;

namespace converter {

class MainWindow;
class ForestUnitDialog;

// Qt's form of a "description|pattern" filter (pairs may repeat): "description (pattern)" with
// ";;" between the pairs.
QString QtFileFilter(const QString& filter);
// Message texts separate their lines by a lone CR; Qt wants LF.
QString DisplayText(const QString& text);

// The Ui port over the main window: message boxes, file dialogs, the forest-unit dialog, the
// tabs' status labels, the report panel and the busy state.
class QtUi : public Ui {
public:
    explicit QtUi(MainWindow& window);
    ~QtUi() override;

    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    bool askYesNo(const QString& text, const QString& title) override;
    QString chooseOpenFile(const QString& filter, const QString& initialName) override;
    QString chooseSaveFile(const QString& filter, const QString& initialName) override;
    std::optional<ForestUnitInput> askForestUnit() override;
    void setStatus(StatusLabel label, const QString& text) override;
    void setStatusVisible(StatusLabel label, bool visible) override;
    void showReport(const QString& text, const QString& path) override;
    void setBusy(bool busy) override;
    void processEvents() override;

    bool isBusy() const { return busy_; }
    // The window's runner for RunResponsively: `work` (which touches no widget and throws
    // nothing) runs on a thread of its own while the window, busy, keeps answering the system.
    void runWhileAnswering(const std::function<void()>& work);
    // The forest-unit dialog while it is kept between calls (after a cancel); null otherwise.
    ForestUnitDialog* forestUnitDialog() const { return dialog_.get(); }

private:
    QLabel* statusLabel(StatusLabel label) const;
    QWidget* dialogParent() const;
    bool repaintDue() const;
    void showPendingStatus();

    MainWindow& window_;
    bool busy_ = false;
    // Progress comes far more often than the eye can follow; the window repaints at most every
    // kRepaintIntervalMs, and the newest caption of each label waits here until then.
    QElapsedTimer sinceRepaint_;
    std::array<std::optional<QString>, 4> pendingStatus_;
    std::unique_ptr<ForestUnitDialog> dialog_;
};

}  // namespace converter
