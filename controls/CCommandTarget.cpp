#include "controls/CCommandTarget.h"

#include "res/MenuTable.h"
#include "res/Resource.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QWidget>

// --- CCmdUI ------------------------------------------------------------------------------

void CCmdUI::Enable(bool bEnable)
{
    if (m_pAction != nullptr)
        m_pAction->setEnabled(bEnable);
}

void CCmdUI::SetCheck(int nCheck)
{
    if (m_pAction == nullptr)
        return;
    m_pAction->setCheckable(true);
    m_pAction->setChecked(nCheck != 0);
}

void CCmdUI::SetText(const QString& strText)
{
    if (m_pAction != nullptr)
        m_pAction->setText(strText);
}

bool CCmdUI::IsEnabled() const
{
    return m_pAction != nullptr && m_pAction->isEnabled();
}

// --- CCommandTable -----------------------------------------------------------------------

void CCommandTable::OnCommand(int nId, Handler handler)
{
    m_handlers[{nId, 0}] = std::move(handler);
}

void CCommandTable::OnControl(int nId, int nCode, Handler handler)
{
    m_handlers[{nId, nCode}] = std::move(handler);
}

void CCommandTable::OnUpdate(int nId, UpdateRule rule)
{
    m_updateRules[nId] = std::move(rule);
}

bool CCommandTable::HasHandler(int nId, int nCode) const
{
    return m_handlers.contains({nId, nCode});
}

bool CCommandTable::HasUpdateRule(int nId) const
{
    return m_updateRules.contains(nId);
}

bool CCommandTable::Execute(int nId, int nCode) const
{
    const auto it = m_handlers.find({nId, nCode});
    if (it == m_handlers.end() || !it->second)
        return false;
    // A copy: the handler may change the table.
    const Handler handler = it->second;
    handler();
    return true;
}

bool CCommandTable::Update(CCmdUI& cmdUI) const
{
    const auto it = m_updateRules.find(cmdUI.GetId());
    if (it == m_updateRules.end() || !it->second)
        return false;
    const UpdateRule rule = it->second;
    rule(cmdUI);
    return true;
}

// --- CCommandTarget ----------------------------------------------------------------------

CCommandTarget::~CCommandTarget() = default;

CCommandTable& CCommandTarget::Application()
{
    static CCommandTable table;
    return table;
}

bool CCommandTarget::OnCmdMsg(int nId, int nCode)
{
    if (m_commands.Execute(nId, nCode))
        return true;
    return Application().Execute(nId, nCode);
}

bool CCommandTarget::OnUpdateCmdUI(CCmdUI& cmdUI)
{
    if (m_commands.Update(cmdUI) || Application().Update(cmdUI))
        return true;
    const int nId = cmdUI.GetId();
    if (nId < ID_FIRST_SYSTEM_COMMAND && !m_commands.HasHandler(nId) &&
        !Application().HasHandler(nId))
        cmdUI.Enable(false);
    else
        cmdUI.Enable(true);
    return false;
}

CCommandTarget* CCommandTarget::FromWidget(QWidget* pWidget)
{
    return dynamic_cast<CCommandTarget*>(pWidget);
}

CCommandTarget* CCommandTarget::FindFor(QWidget* pWidget)
{
    for (QWidget* p = pWidget; p != nullptr; p = p->parentWidget()) {
        if (CCommandTarget* pTarget = FromWidget(p))
            return pTarget;
    }
    return nullptr;
}

bool CCommandTarget::SendCommand(QWidget* pTarget, int nId, int nCode)
{
    CCommandTarget* pCommandTarget = FindFor(pTarget);
    if (pCommandTarget == nullptr)
        return Application().Execute(nId, nCode);
    return pCommandTarget->OnCmdMsg(nId, nCode);
}

void CCommandTarget::PostCommand(QWidget* pTarget, int nId, int nCode)
{
    if (pTarget == nullptr)
        return;
    const QPointer<QWidget> pGuard(pTarget);
    QMetaObject::invokeMethod(
        pTarget,
        [pGuard, nId, nCode]() {
            if (pGuard)
                SendCommand(pGuard.data(), nId, nCode);
        },
        Qt::QueuedConnection);
}

void CCommandTarget::UpdateMenu(QMenu* pMenu, CCommandTarget* pOwner)
{
    if (pMenu == nullptr || pOwner == nullptr)
        return;
    // An update rule may add or remove items: walk by index over a fresh list each step.
    for (int i = 0; i < pMenu->actions().size(); ++i) {
        QAction* pAction = pMenu->actions().at(i);
        if (pAction->isSeparator())
            continue;
        if (QMenu* pSub = pAction->menu()) {
            const QList<QAction*> subActions = pSub->actions();
            QAction* pFirst = nullptr;
            for (QAction* pCandidate : subActions) {
                if (!pCandidate->isSeparator()) {
                    pFirst = pCandidate;
                    break;
                }
            }
            if (pFirst != nullptr) {
                const int nFirstId = MenuBuilder::GetCommandId(pFirst);
                CCmdUI entryUI(nFirstId, pAction);
                // The entry follows the first item's rule, never a missing handler.
                if (!pOwner->GetCommandTable().Update(entryUI))
                    Application().Update(entryUI);
            }
            UpdateMenu(pSub, pOwner);
            continue;
        }
        const int nId = MenuBuilder::GetCommandId(pAction);
        if (nId == 0)
            continue;
        CCmdUI cmdUI(nId, pAction);
        pOwner->OnUpdateCmdUI(cmdUI);
    }
}

// --- MenuBuilder -------------------------------------------------------------------------

namespace {

constexpr const char* kCommandIdProperty = "quarrowCommandId";

void FillMenu(QMenu* pMenu, std::span<const SMenuEntry> entries, const QPointer<QWidget>& pTarget)
{
    for (const SMenuEntry& entry : entries) {
        switch (entry.kind) {
        case SMenuEntry::Separator:
            pMenu->addSeparator();
            break;
        case SMenuEntry::Popup: {
            QMenu* pSub = pMenu->addMenu(QString::fromUtf16(entry.pszText));
            FillMenu(pSub, entry.children, pTarget);
            break;
        }
        case SMenuEntry::Item: {
            QAction* pAction = pMenu->addAction(QString::fromUtf16(entry.pszText));
            pAction->setData(entry.nId);
            pAction->setProperty(kCommandIdProperty, entry.nId);
            const int nId = entry.nId;
            // The command runs from the event loop once the menu has finished with the
            // click: a command that opens a dialog runs a nested loop, which may delete a
            // context menu that is still on the stack.
            QObject::connect(pAction, &QAction::triggered, pMenu, [pTarget, nId]() {
                if (pTarget) {
                    CCommandTarget::PostCommand(pTarget.data(), nId);
                } else {
                    QMetaObject::invokeMethod(
                        QCoreApplication::instance(),
                        [nId]() { CCommandTarget::Application().Execute(nId); },
                        Qt::QueuedConnection);
                }
            });
            break;
        }
        }
    }
}

void ConnectUpdates(QMenu* pMenu, const QPointer<QWidget>& pOwner)
{
    QObject::connect(pMenu, &QMenu::aboutToShow, pMenu, [pMenu, pOwner]() {
        if (pOwner)
            CCommandTarget::UpdateMenu(pMenu, CCommandTarget::FindFor(pOwner.data()));
    });
}

} // namespace

namespace MenuBuilder {

int GetCommandId(const QAction* pAction)
{
    if (pAction == nullptr)
        return 0;
    const QVariant id = pAction->property(kCommandIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

QAction* FindAction(const QMenu* pMenu, int nId)
{
    if (pMenu == nullptr)
        return nullptr;
    const QList<QAction*> actions = pMenu->actions();
    for (QAction* pAction : actions) {
        if (GetCommandId(pAction) == nId)
            return pAction;
        if (QAction* pFound = FindAction(pAction->menu(), nId))
            return pFound;
    }
    return nullptr;
}

QMenu* CreatePopup(const SMenuResource& menu, int nPopup, QWidget* pCommandWindow, bool bUpdate,
                   QWidget* pParent)
{
    if (nPopup < 0 || static_cast<std::size_t>(nPopup) >= menu.entries.size())
        return nullptr;
    const SMenuEntry& popup = menu.entries[static_cast<std::size_t>(nPopup)];
    if (popup.kind != SMenuEntry::Popup)
        return nullptr;
    auto* pMenu = new QMenu(pParent);
    pMenu->setTitle(QString::fromUtf16(popup.pszText));
    const QPointer<QWidget> pTarget(pCommandWindow);
    FillMenu(pMenu, popup.children, pTarget);
    if (bUpdate)
        ConnectUpdates(pMenu, pTarget);
    return pMenu;
}

QMenuBar* CreateMenuBar(const SMenuResource& menu, QWidget* pOwnerWindow)
{
    auto* pBar = new QMenuBar(pOwnerWindow);
    for (std::size_t i = 0; i < menu.entries.size(); ++i) {
        QMenu* pMenu = CreatePopup(menu, static_cast<int>(i), pOwnerWindow, true, pBar);
        if (pMenu != nullptr)
            pBar->addMenu(pMenu);
    }
    return pBar;
}

} // namespace MenuBuilder
