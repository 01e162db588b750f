#include "controls/CNumberEdit.h"

#include "controls/CSuperApp.h"
#include "platform/CRegionalSettings.h"

#include <QMetaObject>
#include <QPointer>
#include <QValidator>
#include <cmath>

namespace {

bool HasDigit(const QString& strText)
{
    for (const QChar ch : strText) {
        if (ch.isDigit())
            return true;
    }
    return false;
}

int CountDigits(const QString& strText)
{
    int n = 0;
    for (const QChar ch : strText) {
        if (ch.isDigit())
            ++n;
    }
    return n;
}

// Keeps edits the line edit makes by itself (deletion, its context menu's cut) within
// the shape the typing rules allow: an optional minus, digits, one separator.
class CNumberValidator : public QValidator
{
public:
    explicit CNumberValidator(CNumberEdit* pEdit) : QValidator(pEdit), m_pEdit(pEdit) {}

    State validate(QString& strInput, int& /*nPos*/) const override
    {
        bool bSeparator = false;
        int nDigits = 0;
        for (qsizetype i = 0; i < strInput.size(); ++i) {
            const QChar ch = strInput.at(i);
            if (ch.isDigit()) {
                ++nDigits;
            } else if (ch == u'-' && i == 0 && m_pEdit->GetMinimum() < 0) {
            } else if (ch == m_pEdit->GetDecimalSeparator() && !m_pEdit->GetIntegerMode() &&
                       !bSeparator) {
                bSeparator = true;
            } else {
                return Invalid;
            }
        }
        return nDigits > m_pEdit->GetMaxDigits() ? Invalid : Acceptable;
    }

private:
    CNumberEdit* m_pEdit;
};

} // namespace

CNumberEdit::CNumberEdit(QWidget* pParent) : CSpinEdit(pParent)
{
    m_chDecimal = QChar(CRegionalSettings::GetDecimal());
    setValidator(new CNumberValidator(this));
    m_nSettingsListener = CRegionalSettings::AddListener([this]() {
        QMetaObject::invokeMethod(this, &CNumberEdit::OnSettingChange, Qt::AutoConnection);
    });
}

CNumberEdit::~CNumberEdit()
{
    CRegionalSettings::RemoveListener(m_nSettingsListener);
}

void CNumberEdit::SetRange(double dMinimum, double dMaximum)
{
    m_dMinimum = dMinimum;
    m_dMaximum = dMaximum;
}

int CNumberEdit::GetMaxDigits() const
{
    const double dInteger = std::floor(std::fabs(m_dMaximum));
    return static_cast<int>(QString::number(dInteger, 'f', 0).size());
}

bool CNumberEdit::ReadNumber(const QString& strText, double& dValue) const
{
    QString strNumber = strText;
    strNumber.replace(m_chDecimal, u'.');
    bool bOk = false;
    dValue = strNumber.toDouble(&bOk);
    return bOk;
}

QString CNumberEdit::FormatNumber(double dValue, bool bKeepNegativeZero) const
{
    if (!std::isfinite(dValue))
        return QString();
    const bool bNegative = dValue < 0 || (bKeepNegativeZero && std::signbit(dValue));
    const QString strFixed = QString::number(std::fabs(dValue), 'f', qMax(0, m_nDecimals));
    const qsizetype nPoint = strFixed.indexOf(u'.');
    QString strResult = nPoint < 0 ? strFixed : strFixed.left(nPoint);
    if (!m_bIntegerMode && nPoint >= 0)
        strResult += m_chDecimal + strFixed.mid(nPoint + 1);
    if (bNegative)
        strResult.prepend(u'-');
    return strResult;
}

bool CNumberEdit::IsValueValid() const
{
    const QString strText = text();
    if (!HasDigit(strText))
        return strText.isEmpty();
    double dValue = 0;
    if (!ReadNumber(strText, dValue))
        return false;
    return dValue >= m_dMinimum && dValue <= m_dMaximum;
}

bool CNumberEdit::GetNumber(double& dValue) const
{
    const QString strText = text();
    if (!IsValueValid() || !HasDigit(strText))
        return false;
    return ReadNumber(strText, dValue);
}

bool CNumberEdit::GetValueText(QString& strValue) const
{
    const QString strText = text();
    if (!HasDigit(strText) || !IsValueValid())
        return false;
    strValue = strText;
    strValue.replace(m_chDecimal, u'.');
    return true;
}

void CNumberEdit::SetNumber(double dValue)
{
    setText(FormatNumber(dValue, false));
}

void CNumberEdit::Clear()
{
    clear();
}

void CNumberEdit::OnChar(QChar ch)
{
    QString strText = text();
    int nCaret = cursorPosition();
    if (hasSelectedText()) {
        nCaret = selectionStart();
        strText.remove(nCaret, selectedText().size());
    }
    const bool bNegative = strText.startsWith(u'-');

    if (ch.isDigit()) {
        if (CountDigits(strText) >= GetMaxDigits())
            return;
        if (bNegative && nCaret == 0)
            nCaret = 1;
        strText.insert(nCaret, ch);
        ++nCaret;
    } else if (ch == u'-' || ch == u'+') {
        if (m_dMinimum >= 0)
            return;
        if (ch == u'-' && !bNegative) {
            strText.prepend(u'-');
            ++nCaret;
        } else if (ch == u'+' && bNegative) {
            strText.remove(0, 1);
            nCaret = qMax(0, nCaret - 1);
        }
    } else if (!m_bIntegerMode && m_nDecimals > 0 && ch == m_chDecimal &&
               !strText.contains(m_chDecimal)) {
        strText.insert(nCaret, ch);
        ++nCaret;
    } else {
        return;
    }

    // Read the text and write it again, so that leading zeros go; the caret stays after the
    // character typed (counted from the end, which the rewriting leaves alone).
    double dValue = 0;
    if (HasDigit(strText) && ReadNumber(strText, dValue)) {
        const int nAfter = static_cast<int>(strText.size()) - nCaret;
        QString strNew = FormatNumber(dValue, true);
        // Decimals typed so far stay as typed.
        if (!m_bIntegerMode && strText.contains(m_chDecimal)) {
            const qsizetype nSep = strText.indexOf(m_chDecimal);
            const qsizetype nNewSep = strNew.indexOf(m_chDecimal);
            strNew = (nNewSep < 0 ? strNew : strNew.left(nNewSep)) + strText.mid(nSep);
        }
        strText = strNew;
        nCaret =
            qBound(0, static_cast<int>(strText.size()) - nAfter, static_cast<int>(strText.size()));
    }
    setText(strText);
    setCursorPosition(nCaret);
}

void CNumberEdit::Step(bool bUp)
{
    const int nCaret = cursorPosition();
    const QString strText = text();
    double dValue = 0;
    if (HasDigit(strText) && !ReadNumber(strText, dValue))
        dValue = 0;
    const double dStep = m_bIntegerMode ? 1.0 : std::pow(10.0, -qMax(0, m_nDecimals));
    double dResult = bUp ? dValue + dStep : dValue - dStep;
    if (dResult < m_dMinimum || dResult > m_dMaximum) {
        if (!GetWrapAround()) {
            CSuperApp::ErrorBeep();
            return;
        }
        dResult = dResult < m_dMinimum ? m_dMaximum : m_dMinimum;
    }
    SetNumber(dResult);
    setCursorPosition(qMin(nCaret, static_cast<int>(text().size())));
}

void CNumberEdit::OnSettingChange()
{
    double dValue = 0;
    const bool bHasValue = GetNumber(dValue);
    m_chDecimal = QChar(CRegionalSettings::GetDecimal());
    if (bHasValue)
        SetNumber(dValue);
    else
        Clear();
}
