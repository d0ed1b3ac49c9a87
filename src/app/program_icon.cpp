#include "app/program_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace converter {

namespace {

QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    // A sheet of tabular data behind the tree.
    painter.setPen(QPen(QColor(90, 110, 130), 2));
    painter.setBrush(QColor(245, 248, 252));
    painter.drawRoundedRect(QRectF(22, 6, 36, 46), 3, 3);
    painter.setPen(QPen(QColor(150, 170, 190), 2));
    for (int y = 16; y <= 42; y += 8) {
        painter.drawLine(QPointF(30, y), QPointF(52, y));
    }

    // The fir tree: three tiers and a trunk.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(110, 70, 40));
    painter.drawRect(QRectF(20, 50, 8, 10));
    painter.setBrush(QColor(30, 120, 50));
    for (int tier = 0; tier < 3; ++tier) {
        const qreal top = 8 + tier * 13;
        const qreal half = 10 + tier * 5;
        QPainterPath path;
        path.moveTo(24, top);
        path.lineTo(24 + half, top + 20);
        path.lineTo(24 - half, top + 20);
        path.closeSubpath();
        painter.drawPath(path);
    }
    return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
    static const QIcon icon = [] {
        QIcon drawn;
        for (int size : {16, 24, 32, 48, 64}) {
            drawn.addPixmap(DrawIcon(size));
        }
        return drawn;
    }();
    return icon;
}

}  // namespace converter
