#include "findwnd/TreeImages.h"

#include <QPainter>
#include <QPixmap>
#include <array>

namespace {

// A small cylinder: the usual picture of a database.
void DrawDatabase(QPainter& painter)
{
    const QColor body(0x5b, 0x7d, 0xb1);
    const QColor top(0x9c, 0xb8, 0xe0);
    const QColor edge(0x2c, 0x44, 0x6b);
    painter.setPen(edge);
    painter.setBrush(body);
    painter.drawRect(QRectF(2.5, 3.5, 10, 9));
    painter.drawEllipse(QRectF(2.5, 9.5, 10, 4));
    painter.setPen(Qt::NoPen);
    painter.drawRect(QRectF(3, 5, 9, 8.5));
    painter.setPen(edge);
    painter.setBrush(top);
    painter.drawEllipse(QRectF(2.5, 1.5, 10, 4));
}

void DrawMark(QPainter& painter, const QColor& colour)
{
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(9.5, 9.5, 6, 6));
}

QIcon Make(int nIndex)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawDatabase(painter);
    if (nIndex == TreeImages::kConnectedServer)
        DrawMark(painter, QColor(0x2e, 0xb8, 0x3c));
    else if (nIndex == TreeImages::kUnavailableServer)
        DrawMark(painter, QColor(0xd8, 0x2a, 0x2a));
    painter.end();
    return QIcon(pixmap);
}

} // namespace

namespace TreeImages {

QIcon Get(int nIndex)
{
    static const std::array<QIcon, kCount> images = {Make(0), Make(1), Make(2)};
    if (nIndex < 0 || nIndex >= kCount)
        return {};
    return images[static_cast<std::size_t>(nIndex)];
}

} // namespace TreeImages
