#include "app/main_window.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

#include <algorithm>

namespace converter {

namespace {

constexpr int kPanelGap = 6;

}  // namespace

void MainWindow::buildReportPanel() {
    txtReport = new QPlainTextEdit(this);
    txtReport->setObjectName(QStringLiteral("txtReport"));
    txtReport->setReadOnly(true);
    txtReport->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtReport->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtReport->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtReport->setPlaceholderText(
        QStringLiteral("Здесь показывается отчет последней операции, если она его составила."));

    cmdOpenReportFolder = new QPushButton(QStringLiteral("&Папка отчета"), this);
    cmdOpenReportFolder->setObjectName(QStringLiteral("cmdOpenReportFolder"));
    cmdOpenReportFolder->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    cmdOpenReportFolder->setToolTip(QStringLiteral("Открыть папку с файлом отчета"));
    cmdCopyReport = new QPushButton(QStringLiteral("&Копировать"), this);
    cmdCopyReport->setObjectName(QStringLiteral("cmdCopyReport"));
    cmdCopyReport->setToolTip(QStringLiteral("Копировать текст отчета"));
    connect(cmdOpenReportFolder, &QPushButton::clicked, this, &MainWindow::openReportFolder);
    connect(cmdCopyReport, &QPushButton::clicked, this, &MainWindow::copyReport);
    cmdOpenReportFolder->setEnabled(false);
    cmdCopyReport->setEnabled(false);
}

void MainWindow::setReportPanelVisible(bool visible) {
    txtReport->setVisible(visible);
    cmdOpenReportFolder->setVisible(visible);
    cmdCopyReport->setVisible(visible);
}

void MainWindow::layoutReportPanel() {
    // The text keeps its designed place and width and takes whatever height the window grows
    // by; the two buttons sit under its right end.
    const QRect text(TwipsToPixels(165), TwipsToPixels(3780), TwipsToPixels(6645), 0);
    const QSize open = cmdOpenReportFolder->sizeHint();
    const QSize copy = cmdCopyReport->sizeHint();
    const int buttonHeight = std::max(open.height(), copy.height());
    const int buttonTop = height() - kPanelGap - buttonHeight;
    txtReport->setGeometry(text.left(), text.top(), text.width(),
                           std::max(0, buttonTop - kPanelGap - text.top()));
    const int right = text.left() + text.width();
    cmdCopyReport->setGeometry(right - copy.width(), buttonTop, copy.width(), buttonHeight);
    cmdOpenReportFolder->setGeometry(right - copy.width() - kPanelGap - open.width(), buttonTop,
                                     open.width(), buttonHeight);
}

void MainWindow::showOperationReport(const QString& text, const QString& path) {
    txtReport->setPlainText(text);
    reportPath_ = path;
    cmdOpenReportFolder->setEnabled(!path.isEmpty());
    cmdCopyReport->setEnabled(!text.isEmpty());
    if (!reportVisible_) {
        cmdShowReport_Click(0);
    }
}

void MainWindow::noteBusy() {
    // The report of the last operation would be taken for this one's.
    if (commandRunning_) {
        txtReport->clear();
        reportPath_.clear();
        cmdOpenReportFolder->setEnabled(false);
        cmdCopyReport->setEnabled(false);
    }
}

void MainWindow::openReportFolder() {
    if (!reportPath_.isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(reportPath_).absolutePath()));
    }
}

void MainWindow::copyReport() {
    QGuiApplication::clipboard()->setText(txtReport->toPlainText());
}

}  // namespace converter
