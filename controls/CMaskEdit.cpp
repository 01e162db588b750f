#include "controls/CMaskEdit.h"

#include "controls/CSuperApp.h"

#include <QValidator>

namespace {

constexpr QChar kDigitPosition = u'9';

// Keeps changes the line edit makes by itself (its context menu's cut and delete) in the mask.
class CMaskValidator : public QValidator
{
public:
    explicit CMaskValidator(CMaskEdit* pEdit) : QValidator(pEdit), m_pEdit(pEdit) {}

    State validate(QString& strInput, int& /*nPos*/) const override
    {
        const QString strMask = m_pEdit->GetMask();
        if (strInput.size() != strMask.size())
            return Invalid;
        for (qsizetype i = 0; i < strMask.size(); ++i) {
            const QChar ch = strInput.at(i);
            if (strMask.at(i) == kDigitPosition) {
                if (!ch.isDigit() && ch != CMaskEdit::kUnfilled)
                    return Invalid;
            } else if (ch != strMask.at(i)) {
                return Invalid;
            }
        }
        return Acceptable;
    }

private:
    CMaskEdit* m_pEdit;
};

} // namespace

CMaskEdit::CMaskEdit(QWidget* pParent) : CSpinEdit(pParent)
{
    setValidator(new CMaskValidator(this));
    connect(this, &QLineEdit::cursorPositionChanged, this, [this](int /*nOld*/, int nNew) {
        if (nNew != m_nConfirmCaret)
            m_nConfirmCaret = -1;
    });
}

CMaskEdit::~CMaskEdit() = default;

void CMaskEdit::SetMask(const QString& strMask)
{
    m_strMask = strMask;
    Clear();
}

QString CMaskEdit::EmptyText() const
{
    QString strText = m_strMask;
    strText.replace(kDigitPosition, kUnfilled);
    return strText;
}

void CMaskEdit::Clear()
{
    setText(EmptyText());
    setCursorPosition(0);
}

QString CMaskEdit::GetValueText() const
{
    const QString strText = text();
    QString strValue;
    strValue.reserve(strText.size());
    for (qsizetype i = 0; i < strText.size(); ++i) {
        if (IsDigitPosition(static_cast<int>(i)) && strText.at(i) == kUnfilled)
            continue;
        strValue += strText.at(i);
    }
    return strValue;
}

bool CMaskEdit::IsDigitPosition(int nPos) const
{
    return nPos >= 0 && nPos < m_strMask.size() && m_strMask.at(nPos) == kDigitPosition;
}

int CMaskEdit::NextDigitPosition(int nPos) const
{
    for (int i = qMax(0, nPos); i < m_strMask.size(); ++i) {
        if (m_strMask.at(i) == kDigitPosition)
            return i;
    }
    return -1;
}

void CMaskEdit::OnChar(QChar ch)
{
    QString strText = text();
    if (strText.size() != m_strMask.size())
        strText = EmptyText();
    int nCaret = cursorPosition();
    if (hasSelectedText())
        nCaret = selectionStart();
    const bool bConfirms =
        m_nConfirmCaret >= 0 && m_nConfirmCaret == cursorPosition() && !hasSelectedText();
    m_nConfirmCaret = -1;
    const QChar chSeparator = GetSeparator();

    if (ch.isDigit()) {
        const int nPos = NextDigitPosition(nCaret);
        if (nPos < 0) {
            CSuperApp::ErrorBeep();
            return;
        }
        strText[nPos] = ch;
        const int nNext = NextDigitPosition(nPos + 1);
        setText(strText);
        setCursorPosition(nNext < 0 ? nPos + 1 : nNext);
        // The field is full and the caret already stands behind its separator: the separator
        // the user types next belongs to this field and must not skip the following one.
        if (nNext > nPos + 1 && !chSeparator.isNull() &&
            m_strMask.mid(nPos + 1, nNext - nPos - 1).contains(chSeparator))
            m_nConfirmCaret = nNext;
        return;
    }
    if (!chSeparator.isNull() && ch == chSeparator) {
        if (bConfirms)
            return;
        const qsizetype nLiteral = m_strMask.indexOf(chSeparator, nCaret);
        if (nLiteral >= 0) {
            deselect();
            setCursorPosition(static_cast<int>(nLiteral) + 1);
            return;
        }
    }
    CSuperApp::ErrorBeep();
}

bool CMaskEdit::OnDeleteKey(bool bBackspace)
{
    QString strText = text();
    if (strText.size() != m_strMask.size())
        return false;
    if (hasSelectedText()) {
        const int nStart = selectionStart();
        const int nEnd = nStart + static_cast<int>(selectedText().size());
        for (int i = nStart; i < nEnd; ++i) {
            if (IsDigitPosition(i))
                strText[i] = kUnfilled;
        }
        setText(strText);
        setCursorPosition(nStart);
        return true;
    }
    const int nCaret = cursorPosition();
    if (bBackspace) {
        int nPos = nCaret - 1;
        while (nPos >= 0 && !IsDigitPosition(nPos))
            --nPos;
        if (nPos < 0)
            return true;
        strText[nPos] = kUnfilled;
        setText(strText);
        setCursorPosition(nPos);
    } else {
        const int nPos = NextDigitPosition(nCaret);
        if (nPos < 0)
            return true;
        strText[nPos] = kUnfilled;
        setText(strText);
        setCursorPosition(nCaret);
    }
    return true;
}
