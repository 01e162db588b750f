#pragma once
// Command routing. A window that handles commands derives from CCommandTarget and fills its
// command table: id -> handler (menu items, buttons), (id, notification code) -> handler
// (notifications of controls), id -> update rule (enable, check and text of menu items).
// A process-wide table of the application is asked after the window's own.

#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <utility>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;
struct SMenuResource;

// One menu item as an update rule sees it.
class CCmdUI
{
public:
    CCmdUI(int nId, QAction* pAction) : m_nId(nId), m_pAction(pAction) {}

    int GetId() const { return m_nId; }
    void Enable(bool bEnable = true);
    void SetCheck(int nCheck = 1);
    void SetText(const QString& strText);

    bool IsEnabled() const;
    QAction* GetAction() const { return m_pAction; }

private:
    int m_nId;
    QAction* m_pAction; // null for an item that has no menu entry
};

class CCommandTable
{
public:
    using Handler = std::function<void()>;
    using UpdateRule = std::function<void(CCmdUI&)>;

    // Command (notification code 0): menu items and button clicks.
    void OnCommand(int nId, Handler handler);
    // A control's notification code other than 0.
    void OnControl(int nId, int nCode, Handler handler);
    void OnUpdate(int nId, UpdateRule rule);

    bool HasHandler(int nId, int nCode = 0) const;
    bool HasUpdateRule(int nId) const;
    // Runs the handler; false when there is none.
    bool Execute(int nId, int nCode = 0) const;
    // Runs the update rule; false when there is none.
    bool Update(CCmdUI& cmdUI) const;

private:
    std::map<std::pair<int, int>, Handler> m_handlers;
    std::map<int, UpdateRule> m_updateRules;
};

class CCommandTarget
{
public:
    CCommandTarget() = default;
    virtual ~CCommandTarget();
    CCommandTarget(const CCommandTarget&) = delete;
    CCommandTarget& operator=(const CCommandTarget&) = delete;

    CCommandTable& GetCommandTable() { return m_commands; }
    const CCommandTable& GetCommandTable() const { return m_commands; }

    // WM_COMMAND: the window's table, then the application's. False when no one handled it.
    virtual bool OnCmdMsg(int nId, int nCode = 0);
    // The update rule of the window or the application; with neither, items below 61440
    // that have no handler are disabled. False when no rule ran.
    virtual bool OnUpdateCmdUI(CCmdUI& cmdUI);

    // The application's table, asked after every window's.
    static CCommandTable& Application();

    // The command target a widget is, or null.
    static CCommandTarget* FromWidget(QWidget* pWidget);
    // The nearest command target from pWidget up its parent chain (pWidget included).
    static CCommandTarget* FindFor(QWidget* pWidget);

    // Sends WM_COMMAND (id, code) to the target at once; false when it was not handled.
    static bool SendCommand(QWidget* pTarget, int nId, int nCode = 0);
    // Posts WM_COMMAND (id, code): it runs from the event loop, and not at all when the
    // target is gone by then.
    static void PostCommand(QWidget* pTarget, int nId, int nCode = 0);

    // Runs every item's update rule of the popup against the owner, in order: separators are
    // skipped; a submenu's entry takes its first item's rule (never disabled for lack of a
    // handler) and the submenu is walked too.
    static void UpdateMenu(QMenu* pMenu, CCommandTarget* pOwner);

private:
    CCommandTable m_commands;
};

// Menus built from the menu resources. Every item's QAction carries its command id as data.
namespace MenuBuilder {

// The action's command id; 0 for separators and submenus.
int GetCommandId(const QAction* pAction);
// The action with this command id in the menu or its submenus, or null.
QAction* FindAction(const QMenu* pMenu, int nId);

// A popup made from the resource's popup at index nPopup (context menus use 0); null when
// the resource has no such popup. The chosen command goes to pCommandWindow as WM_COMMAND;
// with bUpdate the owner's update rules run each time before the popup shows.
QMenu* CreatePopup(const SMenuResource& menu, int nPopup, QWidget* pCommandWindow, bool bUpdate,
                   QWidget* pParent = nullptr);
// A menu bar with every top-level popup of the resource, updated against pOwnerWindow before
// each popup shows; commands go to pOwnerWindow.
QMenuBar* CreateMenuBar(const SMenuResource& menu, QWidget* pOwnerWindow);

} // namespace MenuBuilder
