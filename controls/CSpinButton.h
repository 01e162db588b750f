#pragma once
// The up-down button of a spin edit. It keeps no position: each press reports its delta to
// the buddy edit, WM_SPINDOWN for a positive delta and WM_SPINUP otherwise (the up arrow
// gives -1, the down arrow +1). It never takes the focus.

#include "controls/CControl.h"

#include <QPointer>
#include <QWidget>

class QToolButton;

class CSpinButton : public QWidget, public CControl
{
    Q_OBJECT

public:
    explicit CSpinButton(QWidget* pParent = nullptr);
    ~CSpinButton() override;

    QWidget* Window() const override { return const_cast<CSpinButton*>(this); }
    bool Attach(int nId, QWidget* pParent) override;

    void SetBuddy(QWidget* pBuddy) { m_pBuddy = pBuddy; }
    QWidget* GetBuddy() const { return m_pBuddy; }

    // The delta-position notification: answers true so that no position changes.
    bool OnDeltaPos(int nDelta);

    QToolButton* GetUpButton() const { return m_pUp; }
    QToolButton* GetDownButton() const { return m_pDown; }

private:
    QPointer<QWidget> m_pBuddy;
    QToolButton* m_pUp;
    QToolButton* m_pDown;
};
