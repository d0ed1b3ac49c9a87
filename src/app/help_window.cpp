#include "app/help_window.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace converter {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Справка"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("helpBrowser"));
    browser->setOpenExternalLinks(true);
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

QString HelpWindow::currentPage() const {
    return browser->source().toLocalFile();
}

}  // namespace converter
