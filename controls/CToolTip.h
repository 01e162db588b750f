#pragma once
// A control's tooltip: its text and delays. It shows at once when the mouse moves over the
// control (initial delay 0) and stays up for the automatic pop-up delay.

#include <QString>

class QEvent;
class QWidget;

class CToolTip
{
public:
    static constexpr int kAutoPopDelay = 32767; // ms
    static constexpr int kInitialDelay = 0;
    static constexpr int kReshowDelay = 1;

    explicit CToolTip(QWidget* pWindow, const QString& strText);
    ~CToolTip();
    CToolTip(const CToolTip&) = delete;
    CToolTip& operator=(const CToolTip&) = delete;

    QString GetText() const { return m_strText; }
    void UpdateTipText(const QString& strText);
    int GetAutoPopDelay() const { return kAutoPopDelay; }
    int GetInitialDelay() const { return kInitialDelay; }
    int GetReshowDelay() const { return kReshowDelay; }

    // Mouse moves and button presses over the window, except double clicks.
    void RelayEvent(const QEvent* pEvent);

private:
    QWidget* m_pWindow;
    QString m_strText;
};
