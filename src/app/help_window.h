#pragma once

#include <QWidget>

class QTextBrowser;

namespace converter {

// The help viewer: a window of its own (no owner), so the main window stays usable beside it.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the HTML page at `path` and brings the window to the front.
    void showPage(const QString& path);
    QString currentPage() const;
    // Moves the window next to `occupied` (the main window) where the screen has room.
    void placeBeside(const QRect& occupied);

    QTextBrowser* browser = nullptr;
};

}  // namespace converter
