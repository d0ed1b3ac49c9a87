#include "app/help_window.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace converter {

namespace {

constexpr int kPreferredWidth = 640;
constexpr int kPreferredHeight = 560;
constexpr int kNarrowestWidth = 300;  // still a readable page
constexpr int kGap = 8;

// A browser that leaves out the links to the pages of hidden tabs, on every page it loads.
class HelpBrowser : public QTextBrowser {
public:
    HelpBrowser(const QStringList& hiddenPages, QWidget* parent)
        : QTextBrowser(parent), hiddenPages_(hiddenPages) {}

    QVariant loadResource(int type, const QUrl& name) override {
        if (type == QTextDocument::HtmlResource && name.isLocalFile() && !hiddenPages_.isEmpty()) {
            QFile page(name.toLocalFile());
            if (page.open(QIODevice::ReadOnly)) {
                return WithoutPassagesOn(QString::fromUtf8(page.readAll()), hiddenPages_);
            }
        }
        return QTextBrowser::loadResource(type, name);
    }

private:
    QStringList hiddenPages_;
};

}  // namespace

QString WithoutPassagesOn(QString html, const QStringList& pages) {
    for (const QString& page : pages) {
        // A passage that speaks of another tab, such as advice to check the database first.
        const QRegularExpression passage(QStringLiteral("<span data-page=\"%1\">[\\s\\S]*?</span>")
                                             .arg(QRegularExpression::escape(page)));
        html.remove(passage);
        // The link with the comma that joins it to its neighbours: a link between two others
        // leaves one comma, a first or last one none.
        const QRegularExpression link(QStringLiteral("(,\\s*)?<a href=\"%1\">[^<]*</a>(,\\s*)?")
                                          .arg(QRegularExpression::escape(page)));
        for (QRegularExpressionMatch match = link.match(html); match.hasMatch();
             match = link.match(html, match.capturedStart())) {
            const bool between = match.capturedLength(1) > 0 && match.capturedLength(2) > 0;
            html.replace(match.capturedStart(), match.capturedLength(),
                         between ? QStringLiteral(", ") : QString());
        }
    }
    static const QRegularExpression emptySeeAlso(QStringLiteral("<p>См\\. также:[^<]*</p>\\s*"));
    html.remove(emptySeeAlso);
    return html;
}

HelpWindow::HelpWindow(const QStringList& hiddenPages, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Справка"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Back and Forward walk the pages seen, as in a web browser (Alt+Left and Alt+Right too).
    auto* history = new QHBoxLayout;
    history->setContentsMargins(4, 4, 4, 4);
    cmdBack =
        new QPushButton(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("&Назад"));
    cmdBack->setObjectName(QStringLiteral("cmdBack"));
    cmdForward =
        new QPushButton(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("&Вперед"));
    cmdForward->setObjectName(QStringLiteral("cmdForward"));
    for (QPushButton* button : {cmdBack, cmdForward}) {
        button->setEnabled(false);
        button->setFocusPolicy(Qt::NoFocus);  // the keys stay with the page
        history->addWidget(button);
    }
    history->addStretch();
    layout->addLayout(history);
    browser = new HelpBrowser(hiddenPages, this);
    browser->setObjectName(QStringLiteral("helpBrowser"));
    browser->setOpenExternalLinks(true);
    browser->document()->setDocumentMargin(12);
    layout->addWidget(browser);
    connect(cmdBack, &QPushButton::clicked, browser, &QTextBrowser::backward);
    connect(cmdForward, &QPushButton::clicked, browser, &QTextBrowser::forward);
    connect(browser, &QTextBrowser::backwardAvailable, cmdBack, &QPushButton::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, cmdForward, &QPushButton::setEnabled);
    // The pages set their own title; the window follows the page shown.
    connect(browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = browser->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Справка")
                                       : QStringLiteral("Справка: ") + title);
    });
    resize(kPreferredWidth, kPreferredHeight);
}

void HelpWindow::showPage(const QString& path) {
    browser->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    show();
    raise();
    activateWindow();
}

bool HelpWindow::placeBeside(const QRect& occupied, const QSize& frame) {
    const QScreen* shown = screen();
    if (shown == nullptr) {
        return false;
    }
    const QRect free = shown->availableGeometry();
    // Whole frames, as the window manager places them.
    const int roomRight = free.right() - occupied.right() - kGap;
    const int roomLeft = occupied.left() - free.left() - kGap;
    const int room = std::max(roomRight, roomLeft);
    const int outerWidth = std::min(kPreferredWidth + frame.width(), room);
    if (outerWidth - frame.width() < kNarrowestWidth) {
        return false;
    }
    const int outerHeight = std::min(kPreferredHeight + frame.height(), free.height());
    resize(outerWidth - frame.width(), outerHeight - frame.height());
    const int left =
        roomRight >= roomLeft ? occupied.right() + 1 + kGap : occupied.left() - kGap - outerWidth;
    const int top = std::clamp(occupied.top(), free.top(), free.bottom() + 1 - outerHeight);
    move(left, top);
    return true;
}

QString HelpWindow::currentPage() const {
    return browser->source().toLocalFile();
}

}  // namespace converter
