#include "controls/CToolTip.h"

#include <QMouseEvent>
#include <QToolTip>
#include <QWidget>

CToolTip::CToolTip(QWidget* pWindow, const QString& strText)
    : m_pWindow(pWindow), m_strText(strText)
{
    // Mouse moves without a button pressed must reach the tooltip too.
    if (m_pWindow != nullptr)
        m_pWindow->setMouseTracking(true);
}

CToolTip::~CToolTip()
{
    if (m_pWindow != nullptr && QToolTip::isVisible() && QToolTip::text() == m_strText)
        QToolTip::hideText();
}

void CToolTip::UpdateTipText(const QString& strText)
{
    m_strText = strText;
}

void CToolTip::RelayEvent(const QEvent* pEvent)
{
    if (m_pWindow == nullptr || pEvent == nullptr)
        return;
    switch (pEvent->type()) {
    case QEvent::MouseMove: {
        const auto* pMouse = static_cast<const QMouseEvent*>(pEvent);
        // Initial delay 0: the tip shows at once and stays for the automatic pop-up delay.
        QToolTip::showText(pMouse->globalPosition().toPoint(), m_strText, m_pWindow, QRect(),
                           kAutoPopDelay);
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        QToolTip::hideText();
        break;
    default:
        break;
    }
}
