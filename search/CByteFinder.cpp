#include "search/CByteFinder.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

unsigned char FoldByte(unsigned char c)
{
    return static_cast<unsigned char>(c - (static_cast<unsigned>(c - 'a') < 26u ? 32 : 0));
}

bool IsFoldedLetter(unsigned char c)
{
    return c >= 'A' && c <= 'Z';
}

// How often a byte turns up in T-SQL scripts, roughly: lower is rarer. Letters count both
// cases; the probes are the needle's rarest bytes, so fewer candidates need a full compare.
int Commonness(unsigned char c)
{
    static constexpr const char* kByFrequency = " ETAOINSRLDCUHMFPGWYBVKXJQZ";
    if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
        return 100;
    }
    const unsigned char upper = FoldByte(c);
    if (IsFoldedLetter(upper)) {
        const char* at = std::strchr(kByFrequency, upper);
        return at ? 90 - static_cast<int>(at - kByFrequency) * 3 : 50;
    }
    if (c >= '0' && c <= '9') {
        return 40;
    }
    switch (c) {
    case '.':
    case ',':
    case '(':
    case ')':
    case '_':
    case '@':
    case '=':
    case ';':
    case '[':
    case ']':
        return 60;
    default:
        return 20;
    }
}

} // namespace

bool CByteFinder::IsAscii(std::u16string_view text)
{
    for (char16_t c : text) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

CByteFinder::CByteFinder(std::string_view needle, bool fold) : m_strNeedle(needle), m_bFold(fold)
{
    if (m_bFold) {
        for (char& c : m_strNeedle) {
            c = static_cast<char>(FoldByte(static_cast<unsigned char>(c)));
        }
    }
    const std::size_t n = m_strNeedle.size();
    if (n == 0) {
        return;
    }
    // The rarest byte, then the rarest at another offset (ties: the later one, which spreads
    // the probes apart).
    auto rank = [&](std::size_t i) {
        return Commonness(static_cast<unsigned char>(m_strNeedle[i]));
    };
    m_nProbe1 = 0;
    for (std::size_t i = 1; i < n; ++i) {
        if (rank(i) <= rank(m_nProbe1)) {
            m_nProbe1 = i;
        }
    }
    m_nProbe2 = m_nProbe1;
    for (std::size_t i = 0; i < n; ++i) {
        if (i != m_nProbe1 && (m_nProbe2 == m_nProbe1 || rank(i) <= rank(m_nProbe2))) {
            m_nProbe2 = i;
        }
    }
    auto probe = [&](std::size_t i, std::uint8_t& orBits, std::uint8_t& value) {
        const auto c = static_cast<unsigned char>(m_strNeedle[i]);
        orBits = m_bFold && IsFoldedLetter(c) ? 0x20 : 0;
        value = static_cast<std::uint8_t>(c | orBits);
    };
    probe(m_nProbe1, m_nOr1, m_nValue1);
    probe(m_nProbe2, m_nOr2, m_nValue2);
}

bool CByteFinder::Equal(const unsigned char* at) const
{
    const auto* needle = reinterpret_cast<const unsigned char*>(m_strNeedle.data());
    const std::size_t n = m_strNeedle.size();
    if (!m_bFold) {
        return std::memcmp(at, needle, n) == 0;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (FoldByte(at[i]) != needle[i]) {
            return false;
        }
    }
    return true;
}

bool CByteFinder::Contains(std::string_view haystack) const
{
    const std::size_t n = m_strNeedle.size();
    if (n == 0) {
        return true;
    }
    if (haystack.size() < n) {
        return false;
    }
    const auto* text = reinterpret_cast<const unsigned char*>(haystack.data());
    const std::size_t size = haystack.size();
    std::size_t p = 0;
#if defined(__SSE2__)
    // Sixteen candidate starts at a time: both probes' loads stay inside the haystack while
    // p + n + 15 <= size, since each probe lies before offset n.
    const __m128i or1 = _mm_set1_epi8(static_cast<char>(m_nOr1));
    const __m128i or2 = _mm_set1_epi8(static_cast<char>(m_nOr2));
    const __m128i value1 = _mm_set1_epi8(static_cast<char>(m_nValue1));
    const __m128i value2 = _mm_set1_epi8(static_cast<char>(m_nValue2));
    for (; p + n + 15 <= size; p += 16) {
        const __m128i block1 =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p + m_nProbe1));
        const __m128i block2 =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p + m_nProbe2));
        const __m128i hit = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(block1, or1), value1),
                                          _mm_cmpeq_epi8(_mm_or_si128(block2, or2), value2));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        while (mask != 0) {
            const auto k = static_cast<std::size_t>(__builtin_ctz(mask));
            if (Equal(text + p + k)) {
                return true;
            }
            mask &= mask - 1;
        }
    }
#endif
    for (; p + n <= size; ++p) {
        if ((text[p + m_nProbe1] | m_nOr1) == m_nValue1 && Equal(text + p)) {
            return true;
        }
    }
    return false;
}
