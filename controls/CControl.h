#pragma once
// The control mix-in: a Qt widget class joined with CControl in the same object. It attaches
// to a template control by id (taking its place, geometry and tab position), shows a prompt
// while it has the focus, keeps an optional tooltip, shows its context menu from a menu
// resource, answers whether its value is valid, and reports to its parent with WM_COMMAND
// notification codes.

#include "controls/CVisual.h"
#include "res/Resource.h"

#include <QPoint>
#include <QPointer>
#include <QString>
#include <memory>

class QEvent;
class QMenu;
class QObject;
class CControlHook;
class CToolTip;

class CControl : public CVisual
{
public:
    // Notification codes a control sends to its parent (as the list box's).
    static constexpr int kNotifySelChange = 1;
    static constexpr int kNotifyDblClk = 2;
    static constexpr int kNotifySetFocus = 4;
    static constexpr int kNotifyKillFocus = 5;

    CControl();
    ~CControl() override;

    // Binds the control to the template control nId below pParent. Each control class
    // implements it, as a rule with AttachToTemplate and then its own set-up.
    virtual bool Attach(int nId, QWidget* pParent) = 0;

    // Shows the prompt; answers whether one was displayed.
    virtual bool OnFocusGained();
    // Restores the idle prompt.
    virtual void OnFocusLost();

    int GetPromptId() const { return m_nPromptId; }
    void SetPromptId(int nId);
    QString GetPromptText() const { return m_strPrompt; }
    void SetPromptText(const QString& strText);
    bool IsPromptShown() const { return m_bPromptShown; }

    int GetContextMenuId() const { return m_nContextMenuId; }
    void SetContextMenuId(int nId) { m_nContextMenuId = nId; }

    // Whether the control's current value is valid (edits check their text).
    virtual bool IsValueValid() const { return true; }

    // Shows the context menu at a screen point; (-1, -1) means the menu key: the control's
    // client point (-1, -1) is used.
    virtual void ShowContextMenu(QWidget* pWindow, QPoint screenPoint);
    // Mouse events reach the tooltip through here.
    void RelayToTooltip(const QEvent* pEvent);

    // Tooltip: off by default; the text is the prompt (text or string id).
    void EnableTooltip(bool bEnable);
    bool IsTooltipEnabled() const { return m_bTooltipEnabled; }
    const CToolTip* GetTooltip() const { return m_pToolTip.get(); }

    // The window that receives the context menu's commands; null: the parent chain decides.
    void SetCommandWindow(QWidget* pWindow) { m_pCommandWindow = pWindow; }
    QWidget* GetCommandWindow() const { return m_pCommandWindow; }

    // The control id (from the template), 0 before attaching.
    int GetControlId() const;
    // WM_COMMAND with this control's id and the code, to the parent's command target.
    bool NotifyParent(int nCode) const;

    // The library control a widget is, or null.
    static CControl* FromWidget(QWidget* pWidget);

protected:
    // Takes the place of the template control nId below pParent: parent, geometry, id,
    // enabled and visible state, tab position and stacking; the template control is deleted.
    // Also hooks the window (below). False when there is no such control.
    bool AttachToTemplate(int nId, QWidget* pParent);
    // Watches the window's focus, context-menu and mouse events for the mix-in. Controls made
    // without a template call it once their window exists.
    void HookWindow();
    // Called for every event of the window before the window sees it; true eats the event.
    virtual bool OnWindowEvent(QObject* pWatched, QEvent* pEvent);
    // Shows the popup at the screen point (its update rules run as it shows) and deletes it
    // when it hides.
    void TrackPopup(QMenu* pMenu, QPoint screenPoint);

private:
    friend class CControlHook;
    bool RefreshTooltip();

    bool m_bPromptShown = false;
    int m_nPromptId = AFX_IDS_IDLEMESSAGE;
    QString m_strPrompt;
    int m_nContextMenuId = 0;
    bool m_bTooltipEnabled = false;
    std::unique_ptr<CToolTip> m_pToolTip;
    QPointer<QWidget> m_pCommandWindow;
    CControlHook* m_pHook = nullptr; // owned by the window
};
