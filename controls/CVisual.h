#pragma once
// The part every library control shares with the database framework's views: it knows its
// window, and whether data messages are blocked for it.

class QWidget;

class CVisual
{
public:
    CVisual() = default;
    virtual ~CVisual();
    CVisual(const CVisual&) = delete;
    CVisual& operator=(const CVisual&) = delete;

    // The window of this control (the widget of the same object).
    QWidget* GetWindow() const { return Window(); }
    virtual QWidget* Window() const = 0;

    bool GetDataMessagesBlocked() const { return m_bDataMessagesBlocked; }
    void SetDataMessagesBlocked(bool bBlocked) { m_bDataMessagesBlocked = bBlocked; }

private:
    bool m_bDataMessagesBlocked = false;
};
