#pragma once
// Plain-text search in scripts: the search folds a-z to A-Z (nothing else) and looks for a
// contiguous run of characters. Horspool's skip table is keyed by the low byte of each unit,
// which keeps it small and still safe: a shift never exceeds that of any unit sharing the byte.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Upper-case folding of the search: a-z to A-Z, nothing else.
void FoldUpper(std::u16string& text);

class CTextFinder
{
public:
    explicit CTextFinder(std::u16string_view needle);
    // True when the needle occurs in the haystack; an empty needle occurs everywhere.
    bool Contains(std::u16string_view haystack) const;

private:
    std::u16string m_strNeedle;
    std::array<std::uint32_t, 256> m_skip{};
};
