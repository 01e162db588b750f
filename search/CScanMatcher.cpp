#include "search/CScanMatcher.h"

#include "platform/Utf.h"
#include "search/CreationDate.h"

bool SObjectCriteria::SizePasses(std::int64_t length) const
{
    switch (m_nSizeMode) {
    case 0:
        return length == m_nSize;
    case 1:
        return length >= m_nSize;
    case 2:
        return length <= m_nSize;
    default:
        return true;
    }
}

bool SObjectCriteria::DatePasses(std::u16string_view dateText) const
{
    const CDate created = ParseCreationDate(m_flavour, dateText);
    // An object whose date cannot be read fails every bound in force.
    return created.IsValid() && !(m_bDateFrom && created < m_dateFrom) &&
           !(m_bDateTo && created > m_dateTo);
}

CScanMatcher::CScanMatcher(const SObjectCriteria& criteria)
    : m_criteria(criteria),
      m_bScriptNeeded(criteria.m_nSizeMode != -1 || !criteria.m_strText.empty())
{
    if (criteria.m_bRegExp) {
        if (!criteria.m_strName.empty()) {
            m_namePattern.emplace(criteria.m_strName, criteria.m_bFold);
            m_namePattern->SetCancelFlag(criteria.m_pCancel);
        }
        if (!criteria.m_strText.empty()) {
            m_textPattern.emplace(criteria.m_strText, criteria.m_bFold);
            m_textPattern->SetCancelFlag(criteria.m_pCancel);
        }
    } else if (!criteria.m_strText.empty()) {
        if (CByteFinder::IsAscii(criteria.m_strText)) {
            m_byteFinder.emplace(quarrow::ToUtf8(criteria.m_strText), criteria.m_bFold);
        } else {
            m_textFinder.emplace(criteria.m_strText);
        }
    }
}

EScanOutcome CScanMatcher::Test(IObjectScanCursor& cursor)
{
    const bool fold = m_criteria.m_bFold;
    if (!m_criteria.m_strName.empty()) {
        cursor.GetName(m_strObjectName);
        if (fold) {
            FoldUpper(m_strObjectName);
        }
        const bool nameOk = m_namePattern ? m_namePattern->Match(m_strObjectName)
                                          : m_strObjectName == m_criteria.m_strName;
        if (!nameOk) {
            return EScanOutcome::Rejected;
        }
    }

    std::string_view script;
    if (m_bScriptNeeded ? !cursor.ScriptBytes(script) : !cursor.HasScript()) {
        if (m_criteria.HasDateTest()) {
            cursor.GetCreateDate(m_strDate);
            if (!m_criteria.DatePasses(m_strDate)) {
                return EScanOutcome::Rejected;
            }
        }
        return EScanOutcome::Unread;
    }
    // Counted from the bytes: a script of ASCII only is as long as its bytes.
    bool pass = m_criteria.m_nSizeMode == -1 ||
                m_criteria.SizePasses(static_cast<std::int64_t>(quarrow::Utf16Length(script)));
    if (m_criteria.HasDateTest()) {
        cursor.GetCreateDate(m_strDate);
        pass = m_criteria.DatePasses(m_strDate) && pass;
    }
    if (!pass) {
        return EScanOutcome::Rejected;
    }

    if (m_byteFinder) {
        return m_byteFinder->Contains(script) ? EScanOutcome::Matched : EScanOutcome::Rejected;
    }
    if (m_textPattern || m_textFinder) {
        quarrow::AssignFromUtf8(m_strScript, script);
        if (fold) {
            FoldUpper(m_strScript);
        }
        const bool found =
            m_textPattern ? m_textPattern->Match(m_strScript) : m_textFinder->Contains(m_strScript);
        return found ? EScanOutcome::Matched : EScanOutcome::Rejected;
    }
    return EScanOutcome::Matched;
}
