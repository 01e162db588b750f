#pragma once
// The tests of one object against the criteria, for a pass over a database's objects
// (IObjectScan): the same tests, in the same order, as the walk over the object list, but
// on the stored bytes wherever that gives the same answer, converting a script to UTF-16
// only for a regular expression or a needle beyond ASCII. One per thread: it keeps buffers
// and compiled patterns.

#include "catalog/ObjectModel.h"
#include "search/CByteFinder.h"
#include "search/CDate.h"
#include "search/CRegPattern.h"
#include "search/CTextFinder.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

// The criteria as the enumeration holds them, texts already folded when m_bFold.
struct SObjectCriteria
{
    EFlavour m_flavour = EFlavour::Modern;
    std::u16string m_strName;
    std::u16string m_strText;
    bool m_bFold = true;
    bool m_bRegExp = false;
    std::int32_t m_nSize = 0;
    std::int32_t m_nSizeMode = -1; // -1 none, 0 equal, 1 at least, 2 at most
    CDate m_dateFrom;
    CDate m_dateTo;
    bool m_bDateFrom = false;
    bool m_bDateTo = false;
    const std::atomic<bool>* m_pCancel = nullptr; // polled by the regular expressions

    bool HasDateTest() const { return m_bDateFrom || m_bDateTo; }
    // Size test with a script of `length` UTF-16 units.
    bool SizePasses(std::int64_t length) const;
    // Date test on a creation-date text (only asked with a bound in force).
    bool DatePasses(std::u16string_view dateText) const;
};

enum class EScanOutcome
{
    Rejected,
    Matched,
    Unread,
};

class CScanMatcher
{
public:
    explicit CScanMatcher(const SObjectCriteria& criteria);
    CScanMatcher(const CScanMatcher&) = delete;
    CScanMatcher& operator=(const CScanMatcher&) = delete;

    // What the tests make of the cursor's current object: Unread when its script could not
    // be read although the name and date tests pass (the list walk's gap in coverage).
    EScanOutcome Test(IObjectScanCursor& cursor);
    // True when the cursor's current object meets every criterion.
    bool Matches(IObjectScanCursor& cursor) { return Test(cursor) == EScanOutcome::Matched; }
    // Every object that passes the name test has its script read: no name test, and a size
    // or text test.
    bool ReadsEveryScript() const { return m_criteria.m_strName.empty() && m_bScriptNeeded; }

private:
    const SObjectCriteria& m_criteria;
    bool m_bScriptNeeded;
    std::optional<CRegPattern> m_namePattern;
    std::optional<CRegPattern> m_textPattern;
    std::optional<CByteFinder> m_byteFinder; // plain ASCII text, searched on the bytes
    std::optional<CTextFinder> m_textFinder; // plain text beyond ASCII, on UTF-16
    std::u16string m_strObjectName;
    std::u16string m_strDate;
    std::u16string m_strScript;
};
