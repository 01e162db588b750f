#pragma once
// Where a search's text criterion matches inside one script, for showing the matches: the
// same folding and the same regular-expression engine as the search, so a script shows a
// match exactly when the search finds it.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// One match, in UTF-16 units of the script.
struct SMatchSpan
{
    std::size_t m_nStart = 0;
    std::size_t m_nLength = 0;
};

// Every match of a search's text criterion in a script, left to right, not overlapping.
// Plain text: a contiguous run, a-z folded unless matchCase (as the search does).
// Regular expression: the search's own engine, case-insensitive when !matchCase; an empty
// match is not reported and the scan moves on one unit; a pattern that does not compile gives
// no spans. A script the search finds only through empty matches (say "x*" over "abc") gets
// one span of length 0 where the first of them lies, so a script matches the text test
// exactly when it has a span. An empty text is no criterion and gives no spans. The engine,
// like the search, reads a script only up to its first NUL. Stops after maxSpans spans.
std::vector<SMatchSpan> FindMatchSpans(std::u16string_view script, std::u16string_view text,
                                       bool regExp, bool matchCase,
                                       std::size_t maxSpans = SIZE_MAX);
