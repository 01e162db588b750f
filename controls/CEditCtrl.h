#pragma once
// The library's edit: a QLineEdit joined with CBaseEdit. On focus loss an invalid value is
// caught (WM_VALIDVALUE to the window that receives the focus); it answers WM_VALIDVALUE
// itself.

#include "controls/CBaseEdit.h"

#include <QLineEdit>

class CEditCtrl : public QLineEdit, public CBaseEdit
{
    Q_OBJECT

public:
    explicit CEditCtrl(QWidget* pParent = nullptr);
    ~CEditCtrl() override;

    QWidget* Window() const override { return const_cast<CEditCtrl*>(this); }
    bool Attach(int nId, QWidget* pParent) override;
    bool IsReadOnly() const override { return isReadOnly(); }

    // The edit's empty state.
    virtual void Clear();

protected:
    bool event(QEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;
    // After the focus-loss validation, before the platform's handling.
    virtual void OnFocusLossChecked() {}
    // Set-up after attaching (the template control's text is in the edit already).
    virtual void OnAttached() {}

private:
    void ValidateOnFocusLoss(QWidget* pNewFocus);
};
