#include "controls/CDateEdit.h"

#include "controls/CSuperApp.h"
#include "platform/CRegionalSettings.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <algorithm>
#include <iterator>

using namespace Qt::StringLiterals;

namespace {

QString ToQString(const std::u16string& str)
{
    return QString::fromUtf16(str.data(), static_cast<qsizetype>(str.size()));
}

std::u16string ToU16(const QString& str)
{
    return std::u16string(reinterpret_cast<const char16_t*>(str.utf16()),
                          static_cast<std::size_t>(str.size()));
}

bool HasDigit(const QString& strText)
{
    for (const QChar ch : strText) {
        if (ch.isDigit())
            return true;
    }
    return false;
}

enum class EField
{
    Day,
    Month,
    Year,
};

} // namespace

CDateEdit::CDateEdit(QWidget* pParent)
    : CMaskEdit(pParent), m_earliest(CDate::FromDayNumber(CDate::kEarliestDay)),
      m_latest(CDate::FromDayNumber(CDate::kLatestDay))
{
    ApplyPattern(ToQString(CDate::GetShortDatePattern()));
    m_nSettingsListener = CRegionalSettings::AddListener([this]() {
        QMetaObject::invokeMethod(this, &CDateEdit::OnSettingChange, Qt::AutoConnection);
    });
}

CDateEdit::~CDateEdit()
{
    CRegionalSettings::RemoveListener(m_nSettingsListener);
}

QString CDateEdit::NormalizePattern(const QString& strPattern)
{
    QString strResult = strPattern;
    if (!strResult.contains(u"DD"_s))
        strResult.replace(u"D"_s, u"DD"_s);
    if (!strResult.contains(u"MM"_s))
        strResult.replace(u"M"_s, u"MM"_s);
    if (!strResult.contains(u"YYYY"_s))
        strResult.replace(u"YY"_s, u"YYYY"_s);
    return strResult;
}

QString CDateEdit::MaskFromPattern(const QString& strPattern)
{
    QString strMask = strPattern;
    strMask.replace(u"DD"_s, u"99"_s);
    strMask.replace(u"MM"_s, u"99"_s);
    strMask.replace(u"YYYY"_s, u"9999"_s);
    return strMask;
}

void CDateEdit::ApplyPattern(const QString& strPattern)
{
    m_strPattern = NormalizePattern(strPattern);
    m_chSeparator = QChar(CDate::GetPatternSeparator(ToU16(m_strPattern)));
    SetMask(MaskFromPattern(m_strPattern));
}

void CDateEdit::SetPattern(const QString& strPattern)
{
    CDate date;
    const bool bHasDate = GetDate(date);
    m_bFollowUser = false;
    ApplyPattern(strPattern);
    if (bHasDate)
        SetDate(date);
}

void CDateEdit::SetRange(const CDate& earliest, const CDate& latest)
{
    m_earliest = earliest;
    m_latest = latest;
}

bool CDateEdit::IsValueValid() const
{
    const QString strValue = GetValueText();
    if (!HasDigit(strValue))
        return true;
    return CDate::IsValidDateText(ToU16(strValue), ToU16(m_strPattern), m_earliest, m_latest);
}

bool CDateEdit::GetDate(CDate& date) const
{
    const QString strValue = GetValueText();
    if (!IsValueValid() || !HasDigit(strValue))
        return false;
    const std::u16string strKey =
        CDate::DateTextToKey(ToU16(strValue), ToU16(m_strPattern), m_earliest, m_latest);
    if (strKey.empty())
        return false;
    date.SetKey(strKey);
    return date.IsValid();
}

void CDateEdit::SetDate(const CDate& date)
{
    if (!date.IsValid()) {
        Clear();
        return;
    }
    QString strText = ToQString(date.FormatPattern(ToU16(m_strPattern)));
    if (strText.size() != GetMask().size()) {
        // Fill the digit positions in order, should the pattern's text not fit the mask.
        QString strDigits;
        for (const QChar ch : strText) {
            if (ch.isDigit())
                strDigits += ch;
        }
        strText = EmptyText();
        qsizetype nDigit = 0;
        for (qsizetype i = 0; i < strText.size() && nDigit < strDigits.size(); ++i) {
            if (IsDigitPosition(static_cast<int>(i)))
                strText[i] = strDigits.at(nDigit++);
        }
    }
    setText(strText);
}

void CDateEdit::Step(bool bUp)
{
    const int nCaret = cursorPosition();
    CDate date;
    if (!GetDate(date)) {
        const CDate today = CDate::Today();
        SetDate(today < m_earliest ? m_earliest : today);
        setCursorPosition(qMin(nCaret, static_cast<int>(text().size())));
        return;
    }

    // The field under the caret: the first whose digits, or the place right after them,
    // hold the caret.
    struct SFieldPos
    {
        EField field;
        qsizetype nStart;
        qsizetype nLength;
    };
    SFieldPos fields[] = {
        {EField::Day, m_strPattern.indexOf(u"DD"_s), 2},
        {EField::Month, m_strPattern.indexOf(u"MM"_s), 2},
        {EField::Year, m_strPattern.indexOf(u"YYYY"_s), 4},
    };
    std::sort(std::begin(fields), std::end(fields),
              [](const SFieldPos& a, const SFieldPos& b) { return a.nStart < b.nStart; });
    EField field = EField::Day;
    for (const SFieldPos& pos : fields) {
        if (pos.nStart >= 0 && nCaret >= pos.nStart && nCaret <= pos.nStart + pos.nLength) {
            field = pos.field;
            break;
        }
    }

    const int nDelta = bUp ? 1 : -1;
    int nYear = date.GetYear();
    int nMonth = date.GetMonth();
    const int nDay = date.GetDay();
    CDate result;
    switch (field) {
    case EField::Day:
        result = CDate::FromDayNumber(date.GetDayNumber() + nDelta);
        break;
    case EField::Month:
        nMonth += nDelta;
        if (nMonth > 12) {
            nMonth = 1;
            ++nYear;
        } else if (nMonth < 1) {
            nMonth = 12;
            --nYear;
        }
        // A day the month lacks carries into the next month.
        result = CDate(nYear, nMonth, nDay);
        break;
    case EField::Year:
        nYear += nDelta;
        if (nYear > m_latest.GetYear())
            nYear = m_earliest.GetYear();
        else if (nYear < m_earliest.GetYear())
            nYear = m_latest.GetYear();
        result = CDate(nYear, nMonth, nDay);
        break;
    }
    if (result < m_earliest || result > m_latest) {
        if (!GetWrapAround()) {
            CSuperApp::ErrorBeep();
            return;
        }
        result = result < m_earliest ? m_latest : m_earliest;
    }
    SetDate(result);
    setCursorPosition(qMin(nCaret, static_cast<int>(text().size())));
}

bool CDateEdit::OnSpecialKey(QKeyEvent* pEvent)
{
    if (pEvent->key() == Qt::Key_F3 && pEvent->modifiers() == Qt::NoModifier) {
        SetDate(CDate::Today());
        return true;
    }
    return false;
}

void CDateEdit::OnFocusLossChecked()
{
    // A date typed in short form is written again in the pattern (5/3/14 -> 05/03/2014).
    CDate date;
    if (GetDate(date))
        SetDate(date);
}

void CDateEdit::OnSettingChange()
{
    if (!m_bFollowUser)
        return;
    CDate date;
    const bool bHasDate = GetDate(date);
    ApplyPattern(ToQString(CDate::GetShortDatePattern()));
    if (bHasDate)
        SetDate(date);
}
