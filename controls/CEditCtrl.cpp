#include "controls/CEditCtrl.h"

#include "controls/CMessageEvent.h"
#include "controls/CSuperApp.h"
#include "res/CDialogBuilder.h"
#include "res/Resource.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QTimer>

CEditCtrl::CEditCtrl(QWidget* pParent) : QLineEdit(pParent)
{
    HookWindow();
}

CEditCtrl::~CEditCtrl() = default;

bool CEditCtrl::Attach(int nId, QWidget* pParent)
{
    auto* pTemplate = qobject_cast<QLineEdit*>(CDialogBuilder::FindControl(pParent, nId));
    if (pTemplate != nullptr) {
        setReadOnly(pTemplate->isReadOnly());
        // Setting the length limit writes the text again, which moves the caret to the end.
        const int nCaret = cursorPosition();
        setMaxLength(pTemplate->maxLength());
        setCursorPosition(nCaret);
    }
    if (!AttachToTemplate(nId, pParent))
        return false;
    OnAttached();
    return true;
}

void CEditCtrl::Clear()
{
    clear();
}

bool CEditCtrl::event(QEvent* pEvent)
{
    if (pEvent->type() == WM_VALIDVALUE) {
        auto* pMessage = static_cast<CMessageEvent*>(pEvent);
        if (IsValueValid()) {
            pMessage->SetAnswer(1);
        } else {
            if (int* pnId = pMessage->LParamAs<int>())
                *pnId = GetControlId();
            pMessage->SetAnswer(0);
        }
        return true;
    }
    return QLineEdit::event(pEvent);
}

void CEditCtrl::focusOutEvent(QFocusEvent* pEvent)
{
    // A popup (this edit's own context menu) does not take the focus away for good.
    if (pEvent->reason() != Qt::PopupFocusReason)
        ValidateOnFocusLoss(QApplication::focusWidget());
    OnFocusLossChecked();
    QLineEdit::focusOutEvent(pEvent);
}

void CEditCtrl::ValidateOnFocusLoss(QWidget* pNewFocus)
{
    if (IsValueValid())
        return;
    const bool bToCancel = pNewFocus != nullptr &&
                           qobject_cast<QAbstractButton*>(pNewFocus) != nullptr &&
                           CDialogBuilder::GetControlId(pNewFocus) == IDCANCEL;
    const bool bApplies = pNewFocus != nullptr && !bToCancel && pNewFocus != this &&
                          !isAncestorOf(pNewFocus) && parentWidget() != nullptr &&
                          parentWidget()->window() == pNewFocus->window();
    if (bApplies && isVisible()) {
        CSuperApp::ErrorBeep();
        int nInvalidId = 0;
        SendMessage(pNewFocus, WM_VALIDVALUE, 0, reinterpret_cast<qintptr>(&nInvalidId));
        if (nInvalidId != 0) {
            // Both values are invalid: give way, so the two never take the focus from each
            // other.
            Clear();
        } else {
            QTimer::singleShot(0, this, [this]() { setFocus(Qt::OtherFocusReason); });
        }
    } else if (!bApplies && bToCancel) {
        Clear();
    }
}
