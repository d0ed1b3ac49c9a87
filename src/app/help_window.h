#pragma once

#include <QStringList>
#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace converter {

// The help viewer: a window of its own (no owner), so the main window stays usable beside it.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // Links to `hiddenPages` (the pages of tabs this edition does not show) are left out.
    explicit HelpWindow(const QStringList& hiddenPages = {}, QWidget* parent = nullptr);

    // Shows the HTML page at `path` and brings the window to the front.
    void showPage(const QString& path);
    QString currentPage() const;
    // Moves the window next to `occupied` (the main window's frame), narrower if need be, never
    // over it; `frame` is what the window manager adds around a window. False when neither side
    // of the screen has room for a readable page.
    bool placeBeside(const QRect& occupied, const QSize& frame = {});

    QTextBrowser* browser = nullptr;
    QPushButton* cmdBack = nullptr;
    QPushButton* cmdForward = nullptr;
};

// `html` without what belongs to `pages` (the pages of tabs not shown): links to them, passages
// marked <span data-page="page">...</span>, and a "См. также" line left with no link.
QString WithoutPassagesOn(QString html, const QStringList& pages);

}  // namespace converter
