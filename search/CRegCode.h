#pragma once
// A compiled regular expression: the program, its hints and the positions of the last match.

#include "search/CRegErrorHandler.h"
#include "search/CRegMatcher.h"
#include "search/CRegProgramAccessor.h"
#include "search/CRegScanner.h"

#include <atomic>
#include <memory>

class CRegCode : public CRegErrorHandler
{
public:
    CRegCode() = default;
    CRegCode(const CRegCode&) = delete;
    CRegCode& operator=(const CRegCode&) = delete;

    // Compiles a NUL-terminated pattern in two passes; false with an error text on failure,
    // which leaves no program. A parse error's text stays readable here after the compile.
    bool regcomp(const char16_t* pattern);
    // Searches a NUL-terminated subject for the first position where the program matches.
    // A set cancel flag ends the search with false.
    bool regexec(const char16_t* subject, const std::atomic<bool>* pCancel = nullptr);
    // The same search with attempts only at from and after, for finding every match in
    // turn: the subject still begins at subject (for ^ and word starts) and ends at end, its
    // terminating NUL. Successive calls on one subject with a growing from look for the
    // required literal only once it lies behind from, so a scan stays linear.
    bool regexecFrom(const char16_t* subject, const char16_t* end, const char16_t* from,
                     const std::atomic<bool>* pCancel = nullptr);

    bool IsCompiled() const { return m_bCompiled == 1; }
    int GetProgramLength() const { return m_nProgramLength; }
    const char16_t* GetProgram() const { return m_pProgram.get(); }
    char16_t GetFirstChar() const { return m_chFirst; }
    bool IsAnchored() const { return m_bAnchored != 0; }
    const char16_t* GetRequiredLiteral() const { return m_pMust; }
    int GetRequiredLength() const { return m_nMustLength; }

    // Where the whole match (0) and groups 1-9 began and ended; null for a group that took
    // no part.
    const char16_t* GetStart(int n) const { return m_startp[n]; }
    const char16_t* GetEnd(int n) const { return m_endp[n]; }

    // The error of the last search's matcher (corrupted programs only), and whether the
    // last search was cancelled.
    const std::u16string& GetMatcherErrorText() const { return m_matcherError.GetErrorText(); }
    void ClearMatcherError() { m_matcherError.ClearError(); }
    bool WasCancelled() const { return m_bCancelled; }

private:
    friend class CRegMatcher;

    void Reset();
    void CollectHints(int flags);
    void ClearPositions();
    bool Search(CRegMatcher& matcher, const char16_t* subject, const char16_t* end);
    bool Prepare(const char16_t* subject);
    bool Finish(CRegMatcher& matcher, bool found);

    int m_nProgramLength = 0;
    const char16_t* m_startp[kRegSubexpressions] = {};
    const char16_t* m_endp[kRegSubexpressions] = {};
    char16_t m_chFirst = 0;
    char16_t m_bAnchored = 0;
    const char16_t* m_pMust = nullptr;
    int m_nMustLength = 0;
    std::unique_ptr<char16_t[]> m_pProgram;
    int m_bCompiled = 0;

    CRegScanner m_scanner;
    SRegScratch m_scratch;
    CRegErrorHandler m_matcherError;
    bool m_bCancelled = false;
    // Where regexecFrom last saw the required literal, in m_pMustSubject.
    const char16_t* m_pMustSubject = nullptr;
    const char16_t* m_pMustSeen = nullptr;
};
