#include "findwnd/ProgramIcon.h"

#include <QPainter>
#include <QPixmap>

namespace {

QPixmap Draw(int nSize)
{
    QPixmap pixmap(nSize, nSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(nSize / 32.0, nSize / 32.0);
    // The database.
    const QColor edge(0x2c, 0x44, 0x6b);
    painter.setPen(QPen(edge, 1.2));
    painter.setBrush(QColor(0x5b, 0x7d, 0xb1));
    painter.drawRect(QRectF(3, 6, 18, 18));
    painter.drawEllipse(QRectF(3, 20, 18, 8));
    painter.setPen(Qt::NoPen);
    painter.drawRect(QRectF(3.6, 9, 16.8, 15));
    painter.setPen(QPen(edge, 1.2));
    painter.setBrush(QColor(0x9c, 0xb8, 0xe0));
    painter.drawEllipse(QRectF(3, 2, 18, 8));
    // The magnifying glass.
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(24, 24), QPointF(30, 30));
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    painter.setBrush(QColor(255, 255, 255, 170));
    painter.drawEllipse(QRectF(13, 13, 13, 13));
    painter.end();
    return pixmap;
}

} // namespace

namespace ProgramIcon {

QIcon Get()
{
    static const QIcon icon = [] {
        QIcon made;
        for (const int nSize : {16, 32, 48})
            made.addPixmap(Draw(nSize));
        return made;
    }();
    return icon;
}

} // namespace ProgramIcon
