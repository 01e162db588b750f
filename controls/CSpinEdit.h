#pragma once
// A single-line edit with a spin button inside its right edge. Up and Down arrows and the
// spin button step the value; F2 clears it. None of these act on a read-only edit.

#include "controls/CSingleLineEdit.h"

#include <QClipboard>

class CSpinButton;

class CSpinEdit : public CSingleLineEdit
{
    Q_OBJECT

public:
    explicit CSpinEdit(QWidget* pParent = nullptr);
    ~CSpinEdit() override;

    // Steps the value one unit up or down.
    virtual void Step(bool bUp);

    // The spin button (null while it is not shown).
    CSpinButton* GetSpinButton() const { return m_pSpin; }
    bool GetShowSpinButton() const { return m_pSpin != nullptr; }
    void SetShowSpinButton(bool bShow);

    // A step past one end of the range continues at the other end; off: beep, no change.
    bool GetWrapAround() const { return m_bWrapAround; }
    void SetWrapAround(bool bWrap) { m_bWrapAround = bWrap; }

    // Pastes the clipboard's text through the typing rules, character by character; every
    // paste (keys, context menu, middle button) comes here. Nothing on a read-only edit.
    void Paste(QClipboard::Mode mode = QClipboard::Clipboard);

protected:
    bool event(QEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    // A key the derived edit handles before the spin edit; true when handled.
    virtual bool OnSpecialKey(QKeyEvent* pEvent);
    // A printable character typed (or pasted); the derived edit accepts or refuses it.
    virtual void OnChar(QChar ch);
    // Backspace and Delete; false leaves them to the line edit.
    virtual bool OnDeleteKey(bool bBackspace);

private:
    void PlaceSpinButton();

    CSpinButton* m_pSpin = nullptr;
    bool m_bWrapAround = true;
};
