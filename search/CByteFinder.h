#pragma once
// Plain-text search on stored UTF-8 bytes, for a needle of ASCII characters only. Folding
// a-z to A-Z gives the same answer on the bytes as on the UTF-16 text they decode to: every
// byte of a multi-byte sequence (and every malformed byte, which decodes to U+FFFD) is 0x80
// or above, so it neither folds nor equals a needle byte, and an ASCII byte decodes to the
// same unit. Candidates are found 16 bytes at a time by the needle's two rarest bytes and
// then compared whole.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CByteFinder
{
public:
    // needle: ASCII text to look for; fold: compare with a-z folded to A-Z on both sides.
    CByteFinder(std::string_view needle, bool fold);
    // True when the needle occurs in the haystack; an empty needle occurs everywhere.
    bool Contains(std::string_view haystack) const;

    // True when every unit is ASCII, so the text can be searched for as bytes.
    static bool IsAscii(std::u16string_view text);

private:
    bool Equal(const unsigned char* at) const;

    std::string m_strNeedle; // folded to upper case when m_bFold
    bool m_bFold;
    // The two probe offsets, and per probe the bits forced on before comparing (0x20 for a
    // folded letter, which makes both cases equal) and the value then expected.
    std::size_t m_nProbe1 = 0;
    std::size_t m_nProbe2 = 0;
    std::uint8_t m_nOr1 = 0;
    std::uint8_t m_nOr2 = 0;
    std::uint8_t m_nValue1 = 0;
    std::uint8_t m_nValue2 = 0;
};
