#include "controls/CCellGridBox.h"

#include <QHeaderView>
#include <QMouseEvent>

CCellGridBox::CCellGridBox(QWidget* parent) : CGridBox(parent) {}

CCellGridBox::~CCellGridBox() = default;

void CCellGridBox::RecordCurrentCell(QPoint point)
{
    // Right of the rows' extent still hits the last column.
    const int nRight = header()->length() - header()->offset();
    if (nRight > 0 && point.x() >= nRight)
        point.setX(nRight - 1);
    const QModelIndex index = indexAt(point);
    if (!index.isValid())
        return;
    m_nCurrentRow = index.row();
    m_nCurrentColumn = index.column();
}

void CCellGridBox::mousePressEvent(QMouseEvent* pEvent)
{
    const QPoint point = pEvent->position().toPoint();
    if (pEvent->button() == Qt::RightButton) {
        RecordCurrentCell(point);
        CGridBox::mousePressEvent(pEvent);
        return;
    }
    CGridBox::mousePressEvent(pEvent);
    if (pEvent->button() == Qt::LeftButton)
        RecordCurrentCell(point);
}
