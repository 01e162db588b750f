#pragma once
// The regular-expression pattern the search compiles for names and script texts: a
// two-pass compiler to a linear program of 16-bit units and a backtracking matcher.

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class CRegCode;

class CRegPattern
{
public:
    // Compiles at once; a pattern that does not compile leaves no program and never matches.
    CRegPattern(std::u16string_view pattern, bool caseInsensitive);
    ~CRegPattern();
    CRegPattern(const CRegPattern&) = delete;
    CRegPattern& operator=(const CRegPattern&) = delete;

    // True when the program matches somewhere in the NUL-terminated subject.
    bool Match(const char16_t* subject);
    bool Match(const std::u16string& subject) { return Match(subject.c_str()); }
    // The same test with attempts only at from and after, for finding every match in turn:
    // the subject still begins at subject (for ^ and word starts) and holds length units
    // before its NUL. Positions are reported as Match reports them.
    bool MatchFrom(const char16_t* subject, std::size_t length, std::size_t from);

    bool IsCompiled() const;
    // The text of the last error of the pattern, its record or the matcher; empty if none.
    std::u16string GetErrorText() const;

    // A flag the matcher polls every few thousand steps; once it is set, Match gives up
    // and answers false. Not owned; null to stop polling.
    void SetCancelFlag(const std::atomic<bool>* cancel);

    // Where the last successful match (n = 0) or its group n (1-9) began and ended, in
    // units from the start of the subject; -1 for a group that took no part, or when the
    // last Match failed.
    int GetMatchStart(int n = 0) const;
    int GetMatchEnd(int n = 0) const;

    // The compiled record, for inspection.
    const CRegCode* GetCode() const { return m_pCode.get(); }

    // The case-insensitive form of a pattern: outside brackets each letter A-Z or a-z
    // becomes a bracket set of both cases. Every '[' and ']' opens or closes brackets, and
    // a letter after a backslash is rewritten too.
    static std::u16string RewriteCaseInsensitive(std::u16string_view pattern);

private:
    std::unique_ptr<CRegCode> m_pCode;
    const char16_t* m_pSubject = nullptr;
    std::u16string m_strError;
    const std::atomic<bool>* m_pCancel = nullptr;
    bool m_bMatched = false;
};
