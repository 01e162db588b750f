#include "search/CRegPattern.h"

#include "search/CRegCode.h"

CRegPattern::CRegPattern(std::u16string_view pattern, bool caseInsensitive)
    : m_pCode(std::make_unique<CRegCode>())
{
    // The pattern ends at its first NUL, as a C string would.
    std::u16string text(pattern.substr(0, pattern.find(u'\0')));
    if (caseInsensitive)
        text = RewriteCaseInsensitive(text);
    m_pCode->regcomp(text.c_str());
}

CRegPattern::~CRegPattern() = default;

std::u16string CRegPattern::RewriteCaseInsensitive(std::u16string_view pattern)
{
    std::u16string out;
    out.reserve(4 * pattern.size() + 1);
    bool inBrackets = false;
    for (const char16_t c : pattern) {
        if (c == 0)
            break;
        // Every '[' and ']' switches, escaped or not, as the engine always has.
        if (c == u'[') {
            inBrackets = true;
            out += c;
        } else if (c == u']') {
            inBrackets = false;
            out += c;
        } else if (!inBrackets && ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))) {
            const char16_t upper = c >= u'a' ? static_cast<char16_t>(c - u'a' + u'A') : c;
            const char16_t lower = c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
            out += u'[';
            out += upper;
            out += lower;
            out += u']';
        } else {
            out += c;
        }
    }
    return out;
}

bool CRegPattern::Match(const char16_t* subject)
{
    m_strError.clear();
    m_bMatched = false;
    if (!m_pCode) {
        m_strError = CRegErrorHandler::TextOf(CRegErrorHandler::ErrNullRegexp);
        return false;
    }
    m_pCode->ClearError();
    m_pCode->ClearMatcherError();
    m_pSubject = subject;
    m_bMatched = m_pCode->regexec(subject, m_pCancel);
    return m_bMatched;
}

bool CRegPattern::MatchFrom(const char16_t* subject, std::size_t length, std::size_t from)
{
    m_strError.clear();
    m_bMatched = false;
    if (!m_pCode) {
        m_strError = CRegErrorHandler::TextOf(CRegErrorHandler::ErrNullRegexp);
        return false;
    }
    if (subject == nullptr || from > length)
        return false;
    m_pCode->ClearError();
    m_pCode->ClearMatcherError();
    m_pSubject = subject;
    m_bMatched = m_pCode->regexecFrom(subject, subject + length, subject + from, m_pCancel);
    return m_bMatched;
}

bool CRegPattern::IsCompiled() const
{
    return m_pCode && m_pCode->IsCompiled();
}

std::u16string CRegPattern::GetErrorText() const
{
    if (!m_strError.empty() || !m_pCode)
        return m_strError;
    if (!m_pCode->GetErrorText().empty())
        return m_pCode->GetErrorText();
    return m_pCode->GetMatcherErrorText();
}

void CRegPattern::SetCancelFlag(const std::atomic<bool>* cancel)
{
    m_pCancel = cancel;
}

int CRegPattern::GetMatchStart(int n) const
{
    if (!m_bMatched || n < 0 || n >= kRegSubexpressions || m_pCode->GetStart(n) == nullptr)
        return -1;
    return static_cast<int>(m_pCode->GetStart(n) - m_pSubject);
}

int CRegPattern::GetMatchEnd(int n) const
{
    if (!m_bMatched || n < 0 || n >= kRegSubexpressions || m_pCode->GetEnd(n) == nullptr)
        return -1;
    return static_cast<int>(m_pCode->GetEnd(n) - m_pSubject);
}
