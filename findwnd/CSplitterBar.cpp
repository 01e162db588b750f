#include "findwnd/CSplitterBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

CSplitterBar::CSplitterBar(QWidget* pParent) : QWidget(pParent)
{
    setCursor(Qt::SplitVCursor);
    setFixedHeight(kHeight);
}

QSize CSplitterBar::sizeHint() const
{
    return {kHeight, kHeight};
}

void CSplitterBar::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(pEvent);
    m_bDragging = true;
    m_nPressY = pEvent->globalPosition().toPoint().y();
    Q_EMIT dragStarted();
}

void CSplitterBar::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (!m_bDragging)
        return QWidget::mouseMoveEvent(pEvent);
    Q_EMIT dragged(pEvent->globalPosition().toPoint().y() - m_nPressY);
}

void CSplitterBar::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::LeftButton)
        m_bDragging = false;
    QWidget::mouseReleaseEvent(pEvent);
}

void CSplitterBar::paintEvent(QPaintEvent*)
{
    // The platform's own splitter handle, so the bar looks like every other one.
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    option.state |= QStyle::State_Horizontal;
    style()->drawControl(QStyle::CE_Splitter, &option, &painter, this);
}
