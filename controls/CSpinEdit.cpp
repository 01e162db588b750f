#include "controls/CSpinEdit.h"

#include "controls/CMessageEvent.h"
#include "controls/CSpinButton.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>

CSpinEdit::CSpinEdit(QWidget* pParent) : CSingleLineEdit(pParent)
{
    SetShowSpinButton(true);
}

CSpinEdit::~CSpinEdit() = default;

void CSpinEdit::SetShowSpinButton(bool bShow)
{
    if (bShow == (m_pSpin != nullptr))
        return;
    if (bShow) {
        m_pSpin = new CSpinButton(this);
        m_pSpin->SetBuddy(this);
        m_pSpin->setCursor(Qt::ArrowCursor);
        PlaceSpinButton();
        m_pSpin->show();
    } else {
        delete m_pSpin;
        m_pSpin = nullptr;
        setTextMargins(0, 0, 0, 0);
    }
}

void CSpinEdit::PlaceSpinButton()
{
    if (m_pSpin == nullptr)
        return;
    const int nFrame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int nHeight = qMax(0, height() - 2 * nFrame);
    const int nWidth = qMin(qMax(10, nHeight * 3 / 4), qMax(0, width() / 2));
    m_pSpin->setGeometry(width() - nFrame - nWidth, nFrame, nWidth, nHeight);
    setTextMargins(0, 0, nWidth, 0);
}

void CSpinEdit::resizeEvent(QResizeEvent* pEvent)
{
    CSingleLineEdit::resizeEvent(pEvent);
    PlaceSpinButton();
}

void CSpinEdit::Step(bool /*bUp*/) {}

bool CSpinEdit::event(QEvent* pEvent)
{
    if (pEvent->type() == WM_SPINUP || pEvent->type() == WM_SPINDOWN) {
        if (!IsReadOnly())
            Step(pEvent->type() == WM_SPINUP);
        static_cast<CMessageEvent*>(pEvent)->SetAnswer(1);
        return true;
    }
    return CSingleLineEdit::event(pEvent);
}

bool CSpinEdit::OnSpecialKey(QKeyEvent* /*pEvent*/)
{
    return false;
}

void CSpinEdit::OnChar(QChar /*ch*/) {}

bool CSpinEdit::OnDeleteKey(bool /*bBackspace*/)
{
    return false;
}

void CSpinEdit::keyPressEvent(QKeyEvent* pEvent)
{
    if (IsReadOnly()) {
        CSingleLineEdit::keyPressEvent(pEvent);
        return;
    }
    if (OnSpecialKey(pEvent)) {
        pEvent->accept();
        return;
    }
    const Qt::KeyboardModifiers modifiers =
        pEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    switch (pEvent->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (m_pSpin != nullptr && modifiers == Qt::NoModifier) {
            Step(pEvent->key() == Qt::Key_Up);
            pEvent->accept();
            return;
        }
        break;
    case Qt::Key_F2:
        Clear();
        pEvent->accept();
        return;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (modifiers == Qt::NoModifier && OnDeleteKey(pEvent->key() == Qt::Key_Backspace)) {
            pEvent->accept();
            return;
        }
        break;
    default:
        break;
    }
    if (pEvent->matches(QKeySequence::Paste)) {
        Paste();
        pEvent->accept();
        return;
    }
    const QString strText = pEvent->text();
    if (modifiers == Qt::NoModifier && !strText.isEmpty() && strText.at(0).isPrint()) {
        for (const QChar ch : strText)
            OnChar(ch);
        pEvent->accept();
        return;
    }
    CSingleLineEdit::keyPressEvent(pEvent);
}

void CSpinEdit::Paste(QClipboard::Mode mode)
{
    if (IsReadOnly())
        return;
    const QString strText = QGuiApplication::clipboard()->text(mode);
    for (const QChar ch : strText)
        OnChar(ch);
}

void CSpinEdit::contextMenuEvent(QContextMenuEvent* pEvent)
{
    // The line edit's own Paste would insert the text past the typing rules.
    QPointer<QMenu> pMenu = createStandardContextMenu();
    if (pMenu == nullptr)
        return;
    pMenu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* pAction : pMenu->actions()) {
        // The menu's Paste is the item wired to the line edit's own paste; the line edit
        // wires it by signature, so only a disconnect by signature finds it.
        const bool bPaste = disconnect(pAction, SIGNAL(triggered()), this, SLOT(paste())) ||
                            disconnect(pAction, SIGNAL(triggered(bool)), this, SLOT(paste())) ||
                            disconnect(pAction, &QAction::triggered, this, &QLineEdit::paste);
        if (bPaste)
            connect(pAction, &QAction::triggered, this, [this]() { Paste(); });
    }
    pMenu->popup(pEvent->globalPos());
    pEvent->accept();
}

void CSpinEdit::mouseReleaseEvent(QMouseEvent* pEvent)
{
    // The middle button pastes the selection on X11: the same rules apply.
    if (pEvent->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        if (!IsReadOnly()) {
            deselect();
            setCursorPosition(cursorPositionAt(pEvent->position().toPoint()));
            Paste(QClipboard::Selection);
        }
        pEvent->accept();
        return;
    }
    CSingleLineEdit::mouseReleaseEvent(pEvent);
}
