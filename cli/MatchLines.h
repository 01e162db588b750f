#pragma once
// The match lines of quarrow-find: a script cut into lines, the lines that hold matches with
// context around them as grep gives it, and JSON text for the jsonl format.

#include "search/MatchSpans.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A script's lines: CR LF and LF end a line, a lone CR does not; a break at the very end
// starts no further line. An empty script has one empty line.
class CScriptLines
{
public:
    explicit CScriptLines(std::u16string_view script);

    std::size_t Count() const { return m_starts.size(); }
    // The line (from 1) that holds a position; the end of the script belongs to the last line.
    std::size_t LineOf(std::size_t position) const;
    // A line's text (from 1) without its break; tabs and everything else kept.
    std::u16string_view Text(std::size_t line) const;

private:
    std::u16string_view m_script;
    std::vector<std::size_t> m_starts; // where each line begins
};

struct SMatchLine
{
    std::size_t m_nLine = 0; // from 1
    bool m_bMatch = false;   // a match starts on it; else a context line
    // With context: a line before it was left out, where grep prints "--".
    bool m_bGroupStart = false;
};

// The lines to print for a script's matches: each line on which a match starts (a match over
// a line break counts on its first line), with up to context lines before and after. Ranges
// that overlap or touch merge into one group, as grep merges them.
std::vector<SMatchLine> SelectMatchLines(const CScriptLines& lines,
                                         const std::vector<SMatchSpan>& spans, std::size_t context);

// Appends text as a JSON string with its quotes: quote, backslash and control characters
// escaped, other characters as UTF-8 (non-BMP ones from their surrogate pairs), and a lone
// surrogate as its \u escape, so no text is lost or turned into invalid UTF-8.
void AppendJsonString(std::string& out, std::u16string_view text);
