#include "app/help_window.h"

#include <QFileInfo>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace converter {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Справка"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("helpBrowser"));
    browser->setOpenExternalLinks(true);
    browser->document()->setDocumentMargin(12);
    layout->addWidget(browser);
    // The pages set their own title; the window follows the page shown.
    connect(browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = browser->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Справка")
                                       : QStringLiteral("Справка: ") + title);
    });
    resize(640, 560);
}

void HelpWindow::showPage(const QString& path) {
    browser->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    show();
    raise();
    activateWindow();
}

void HelpWindow::placeBeside(const QRect& occupied) {
    const QScreen* shown = screen();
    if (shown == nullptr) {
        return;
    }
    const QRect free = shown->availableGeometry();
    QRect place(QPoint(0, 0), size());
    place.moveTop(std::max(free.top(), occupied.top() - 40));
    if (occupied.right() + place.width() < free.right()) {
        place.moveLeft(occupied.right() + 8);
    } else if (occupied.left() - place.width() > free.left()) {
        place.moveRight(occupied.left() - 8);
    } else {
        place.moveLeft(free.left() + (free.width() - place.width()) / 2);
    }
    if (place.bottom() > free.bottom()) {
        place.moveBottom(free.bottom());
    }
    move(place.topLeft());
}

QString HelpWindow::currentPage() const {
    return browser->source().toLocalFile();
}

}  // namespace converter
