#include "controls/CControl.h"

#include "controls/CCommandTarget.h"
#include "controls/CSuperApp.h"
#include "controls/CToolTip.h"
#include "res/CDialogBuilder.h"
#include "res/MenuTable.h"
#include "res/StringTable.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QWidget>

// Watches a control's window (and the viewport of a scroll area) for the mix-in.
class CControlHook : public QObject
{
public:
    CControlHook(CControl* pControl, QWidget* pWindow) : QObject(pWindow), m_pControl(pControl) {}

    void Detach() { m_pControl = nullptr; }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (m_pControl == nullptr)
            return false;
        return m_pControl->OnWindowEvent(pWatched, pEvent);
    }

private:
    CControl* m_pControl;
};

CControl::CControl() = default;

CControl::~CControl()
{
    // The window outlives the mix-in by a moment; its hook must not call back into it.
    if (m_pHook != nullptr)
        m_pHook->Detach();
}

int CControl::GetControlId() const
{
    return CDialogBuilder::GetControlId(Window());
}

CControl* CControl::FromWidget(QWidget* pWidget)
{
    return dynamic_cast<CControl*>(pWidget);
}

bool CControl::NotifyParent(int nCode) const
{
    QWidget* pWindow = Window();
    if (pWindow == nullptr || pWindow->parentWidget() == nullptr)
        return false;
    return CCommandTarget::SendCommand(pWindow->parentWidget(), GetControlId(), nCode);
}

bool CControl::AttachToTemplate(int nId, QWidget* pParent)
{
    QWidget* pWindow = Window();
    QWidget* pOld = CDialogBuilder::FindControl(pParent, nId);
    if (pWindow == nullptr || pOld == nullptr || pOld == pWindow)
        return false;

    QWidget* pContainer = pOld->parentWidget();
    const bool bVisible = !pOld->isHidden();
    pWindow->setParent(pContainer);
    pWindow->setGeometry(pOld->geometry());
    CDialogBuilder::SetControlId(pWindow, nId);
    pWindow->setProperty(CDialogBuilder::kStyleProperty,
                         pOld->property(CDialogBuilder::kStyleProperty));
    pWindow->setProperty(CDialogBuilder::kPageProperty,
                         pOld->property(CDialogBuilder::kPageProperty));
    pWindow->setEnabled(!pOld->testAttribute(Qt::WA_ForceDisabled));
    QWidget::setTabOrder(pOld, pWindow);
    pWindow->stackUnder(pOld);
    // Labels whose mnemonic led to the template control lead here now.
    const QList<QLabel*> labels = pContainer->findChildren<QLabel*>();
    for (QLabel* pLabel : labels) {
        if (pLabel->buddy() == pOld)
            pLabel->setBuddy(pWindow);
    }
    pOld->setObjectName(QString());
    pOld->setProperty(CDialogBuilder::kIdProperty, QVariant());
    delete pOld;
    pWindow->setVisible(bVisible);
    HookWindow();
    return true;
}

void CControl::HookWindow()
{
    QWidget* pWindow = Window();
    if (pWindow == nullptr || m_pHook != nullptr)
        return;
    m_pHook = new CControlHook(this, pWindow);
    pWindow->installEventFilter(m_pHook);
    if (auto* pArea = qobject_cast<QAbstractScrollArea*>(pWindow))
        pArea->viewport()->installEventFilter(m_pHook);
}

bool CControl::OnWindowEvent(QObject* /*pWatched*/, QEvent* pEvent)
{
    switch (pEvent->type()) {
    case QEvent::FocusIn:
        OnFocusGained();
        return false;
    case QEvent::FocusOut:
        OnFocusLost();
        return false;
    case QEvent::ContextMenu: {
        // Without a menu resource the window's own handling applies.
        if (m_nContextMenuId == 0)
            return false;
        const auto* pMenuEvent = static_cast<QContextMenuEvent*>(pEvent);
        const QPoint point = pMenuEvent->reason() == QContextMenuEvent::Keyboard
                                 ? QPoint(-1, -1)
                                 : pMenuEvent->globalPos();
        ShowContextMenu(Window(), point);
        return true;
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        RelayToTooltip(pEvent);
        return false;
    default:
        return false;
    }
}

bool CControl::OnFocusGained()
{
    if (!CSuperApp::PromptsEnabled())
        return false;
    QString strText = m_strPrompt;
    if (strText.isEmpty() && m_nPromptId != 0)
        StringTable::Load(m_nPromptId, strText);
    if (strText.isEmpty())
        return false;
    m_bPromptShown = true;
    CSuperApp::ShowPrompt(strText);
    return true;
}

void CControl::OnFocusLost()
{
    if (CSuperApp::PromptsEnabled() && m_bPromptShown) {
        m_bPromptShown = false;
        CSuperApp::ShowPrompt(QString());
    }
}

void CControl::SetPromptId(int nId)
{
    m_nPromptId = nId;
    RefreshTooltip();
}

void CControl::SetPromptText(const QString& strText)
{
    m_strPrompt = strText;
    RefreshTooltip();
}

void CControl::EnableTooltip(bool bEnable)
{
    m_bTooltipEnabled = bEnable;
    RefreshTooltip();
}

bool CControl::RefreshTooltip()
{
    QWidget* pWindow = Window();
    if (pWindow == nullptr)
        return false;
    if (!m_bTooltipEnabled) {
        m_pToolTip.reset();
        return true;
    }
    QString strText = m_strPrompt;
    if (strText.isEmpty() && m_nPromptId != 0)
        StringTable::Load(m_nPromptId, strText);
    if (m_pToolTip) {
        if (strText.isEmpty())
            m_pToolTip.reset();
        else
            m_pToolTip->UpdateTipText(strText);
        return true;
    }
    if (!strText.isEmpty())
        m_pToolTip = std::make_unique<CToolTip>(pWindow, strText);
    return true;
}

void CControl::RelayToTooltip(const QEvent* pEvent)
{
    if (!m_pToolTip || pEvent == nullptr)
        return;
    switch (pEvent->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        m_pToolTip->RelayEvent(pEvent);
        break;
    default:
        // Double clicks never reach the tooltip.
        break;
    }
}

void CControl::ShowContextMenu(QWidget* pWindow, QPoint screenPoint)
{
    QWidget* pSelf = Window();
    if (pSelf == nullptr)
        return;
    if (QApplication::focusWidget() != pSelf) {
        pSelf->setFocus(Qt::OtherFocusReason);
        if (QApplication::focusWidget() != pSelf)
            return;
    }
    if (m_nContextMenuId == 0)
        return;
    const SMenuResource* pResource = CSuperApp::LoadMenu(m_nContextMenuId);
    if (pResource == nullptr)
        return;

    // The owner receives the commands; a command target among the parents also decides the
    // items' states, the main window does not.
    QWidget* pOwner = nullptr;
    bool bUpdate = false;
    if (m_pCommandWindow) {
        pOwner = m_pCommandWindow.data();
        bUpdate = true;
    } else if (CCommandTarget* pTarget = CCommandTarget::FindFor(pSelf->parentWidget())) {
        pOwner = dynamic_cast<QWidget*>(pTarget);
        bUpdate = pOwner != nullptr;
    }
    if (pOwner == nullptr) {
        pOwner = CSuperApp::GetMainWindow();
        bUpdate = false;
    }

    QMenu* pMenu = MenuBuilder::CreatePopup(*pResource, 0, pOwner, bUpdate, pSelf);
    if (pMenu == nullptr)
        return;
    if (screenPoint == QPoint(-1, -1))
        screenPoint = (pWindow != nullptr ? pWindow : pSelf)->mapToGlobal(QPoint(-1, -1));
    TrackPopup(pMenu, screenPoint);
}

void CControl::TrackPopup(QMenu* pMenu, QPoint screenPoint)
{
    QObject::connect(pMenu, &QMenu::aboutToHide, pMenu, &QObject::deleteLater);
    pMenu->popup(screenPoint);
}
