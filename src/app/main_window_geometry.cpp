#include "app/main_window.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace converter {

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

void MainWindow::setOuterHeight(int twips, bool centre) {
    heightTwips_ = twips;
    // The frame is known only once the window manager has framed the shown window; until then
    // the client area takes the whole height, and eventFilter() corrects it when it appears.
    frameHeight_ = frameHeight();
    const int clientHeight = TwipsToPixels(twips) - frameHeight_;
    // A long report reads better in a taller window: the tall height is only the least.
    const int maximum = twips > kShortHeightTwips ? QWIDGETSIZE_MAX : clientHeight;
    // The limits first take in both the old and the new height, no more (the window manager
    // sees each change), so that the new size is asked for in one request, with the place when
    // it is given.
    setMinimumHeight(std::min(clientHeight, height()));
    setMaximumHeight(std::max(maximum, height()));
    const QSize size(width(), clientHeight);
    if (centre && windowHandle() != nullptr) {
        setGeometry(centredClientRect(size, windowHandle()->frameMargins()));
    } else {
        resize(size);
    }
    setMinimumHeight(clientHeight);
    setMaximumHeight(maximum);
    // Without a window frame (no window manager) the short height would show the top of the
    // report panel; it belongs to the tall height only.
    setReportPanelVisible(twips > kShortHeightTwips);
}

QRect MainWindow::centredClientRect(const QSize& clientSize, const QMargins& frame) const {
    const QScreen* shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (shown == nullptr) {
        return QRect(pos(), clientSize);
    }
    QRect outer(QPoint(), clientSize.grownBy(frame));
    outer.moveCenter(shown->availableGeometry().center());
    return QRect(outer.topLeft() + QPoint(frame.left(), frame.top()), clientSize);
}

void MainWindow::setVisible(bool visible) {
    if (visible && !placed_) {
        // Placed before the window exists on the screen: the window manager gets the centre with
        // the request to map it, and nothing moves the window after it was framed.
        placed_ = true;
        placementPending_ = true;
        move(centredClientRect(size(), {}).topLeft());
    }
    const bool first = visible && !isVisible() && !filterInstalled_;
    QWidget::setVisible(visible);
    if (first) {
        focusFirstBox();
    }
    if (visible) {
        if (QWindow* window = windowHandle(); window != nullptr && !filterInstalled_) {
            filterInstalled_ = true;
            window->installEventFilter(this);
        }
        setOuterHeight(heightTwips_);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The window manager frames the window after it was shown and says so without an event of
    // its own; the frame is known by the time the window is first exposed, and the height loses
    // it before that first paint.
    if (watched == windowHandle() && isVisible() && frameHeight() != frameHeight_) {
        // While the window manager frames the window, Qt may briefly take the frame's corner
        // for the window's place, and a resize alone would ask for that place (the window then
        // sits in the screen's corner with its title bar off the screen). The first framing
        // asks for the whole geometry, centred with the frame.
        setOuterHeight(heightTwips_, placementPending_);
        placementPending_ = false;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutReportPanel();
}

}  // namespace converter
