#include "search/CTextFinder.h"

#include <algorithm>

void FoldUpper(std::u16string& text)
{
    // Branch-free so the compiler can vectorise it: scripts run to tens of kilobytes.
    for (char16_t& c : text) {
        const bool lower = static_cast<std::uint16_t>(c - u'a') < 26;
        c = static_cast<char16_t>(c - (lower ? 32 : 0));
    }
}

CTextFinder::CTextFinder(std::u16string_view needle) : m_strNeedle(needle)
{
    const std::size_t n = m_strNeedle.size();
    m_skip.fill(static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i + 1 < n; ++i) {
        m_skip[m_strNeedle[i] & 0xFF] = static_cast<std::uint32_t>(n - 1 - i);
    }
}

bool CTextFinder::Contains(std::u16string_view haystack) const
{
    const std::size_t n = m_strNeedle.size();
    if (n == 0) {
        return true;
    }
    if (haystack.size() < n) {
        return false;
    }
    const char16_t* const needle = m_strNeedle.data();
    const char16_t last = needle[n - 1];
    const char16_t* p = haystack.data();
    const char16_t* const end = haystack.data() + haystack.size() - n;
    while (p <= end) {
        const char16_t c = p[n - 1];
        if (c == last && std::equal(needle, needle + n - 1, p)) {
            return true;
        }
        p += m_skip[c & 0xFF];
    }
    return false;
}
