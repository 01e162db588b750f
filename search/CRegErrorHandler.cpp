#include "search/CRegErrorHandler.h"

namespace {

struct SErrorEntry
{
    int nCode;
    std::u16string_view strText;
};

constexpr SErrorEntry g_errorTable[] = {
    {1, u"NULL argument to regexec"},
    {2, u"corrupted regexp"},
    {3, u"regexp corruption"},
    {4, u"corrupted pointers"},
    {5, u"internal error: bad call of regrepeat"},
    {10, u"NULL argument to regcomp"},
    {11, u"regexp too big"},
    {12, u"too many ()"},
    {13, u"unterminated ()"},
    {14, u"unmatched ()"},
    {15, u"internal error: junk on end"},
    {16, u"*+ operand could be empty"},
    {17, u"nested *?+"},
    {18, u"invalid [] range"},
    {19, u"unmatched []"},
    {20, u"internal error: \\0|) unexpected"},
    {21, u"?+* follows nothing"},
    {22, u"trailing \\"},
    {24, u"NULL regexp"},
};

} // namespace

std::u16string_view CRegErrorHandler::TextOf(int code)
{
    for (const SErrorEntry& entry : g_errorTable) {
        if (entry.nCode == code)
            return entry.strText;
    }
    return u"Unknown error";
}

void CRegErrorHandler::SetError(int code)
{
    m_strError = TextOf(code);
    m_nError = code;
}

void CRegErrorHandler::SetErrorText(const std::u16string& text, int code)
{
    m_strError = text;
    m_nError = code;
}

void CRegErrorHandler::ClearError()
{
    m_strError.clear();
    m_nError = 0;
}
