#include "findwnd/ProgramIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

namespace {

void Paint(QPainter& painter, const QRectF& rect)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.topLeft());
    painter.scale(rect.width() / 32.0, rect.height() / 32.0);
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
    // The magnifying glass; a pale rim keeps the dark handle visible on dark panels.
    painter.setPen(QPen(QColor(255, 255, 255, 150), 4.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(24, 24), QPointF(30, 30));
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(24, 24), QPointF(30, 30));
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    painter.setBrush(QColor(255, 255, 255, 170));
    painter.drawEllipse(QRectF(13, 13, 13, 13));
    painter.restore();
}

// Draws at the size asked, so no scaled bitmap ever stands in.
class CProgramIconEngine : public QIconEngine
{
public:
    void paint(QPainter* pPainter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        Paint(*pPainter, QRectF(rect));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode, QIcon::State, qreal scale) override
    {
        const int nSide = qMax(1, qRound(qMin(size.width(), size.height()) * scale));
        QPixmap pixmap = ProgramIcon::Draw(nSide);
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int nSide = qMin(size.width(), size.height());
        return {nSide, nSide};
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int nSize : ProgramIcon::kListedSizes)
            sizes << QSize(nSize, nSize);
        return sizes;
    }
    QIconEngine* clone() const override { return new CProgramIconEngine; }
    QString key() const override { return QStringLiteral("quarrow-program-icon"); }
};

} // namespace

namespace ProgramIcon {

QIcon Get()
{
    static const QIcon icon(new CProgramIconEngine);
    return icon;
}

QPixmap Draw(int nSize)
{
    QPixmap pixmap(nSize, nSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    Paint(painter, QRectF(0, 0, nSize, nSize));
    return pixmap;
}

} // namespace ProgramIcon
