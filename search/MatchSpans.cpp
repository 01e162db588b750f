#include "search/MatchSpans.h"

#include "search/CRegPattern.h"
#include "search/CTextFinder.h"

#include <string>

namespace {

std::vector<SMatchSpan> FindText(std::u16string_view script, std::u16string_view needle,
                                 std::size_t maxSpans)
{
    std::vector<SMatchSpan> spans;
    std::size_t from = 0;
    while (spans.size() < maxSpans) {
        const std::size_t at = script.find(needle, from);
        if (at == std::u16string_view::npos)
            break;
        spans.push_back({at, needle.size()});
        from = at + needle.size();
    }
    return spans;
}

std::vector<SMatchSpan> FindPattern(const std::u16string& subject, const std::u16string& pattern,
                                    bool fold, std::size_t maxSpans)
{
    std::vector<SMatchSpan> spans;
    CRegPattern regex(pattern, fold);
    if (!regex.IsCompiled())
        return spans;
    // The engine stops at the first NUL, as it does in the search.
    const std::size_t length = std::char_traits<char16_t>::length(subject.c_str());
    const char16_t* const text = subject.c_str();
    bool firstEmptySeen = false;
    std::size_t firstEmpty = 0;
    std::size_t from = 0;
    while (spans.size() < maxSpans && from <= length && regex.MatchFrom(text, length, from)) {
        const auto start = static_cast<std::size_t>(regex.GetMatchStart());
        const auto end = static_cast<std::size_t>(regex.GetMatchEnd());
        if (end > start) {
            spans.push_back({start, end - start});
            from = end;
        } else {
            if (!firstEmptySeen) {
                firstEmptySeen = true;
                firstEmpty = start;
            }
            from = start + 1;
        }
    }
    if (spans.empty() && firstEmptySeen && maxSpans > 0)
        spans.push_back({firstEmpty, 0});
    return spans;
}

} // namespace

std::vector<SMatchSpan> FindMatchSpans(std::u16string_view script, std::u16string_view text,
                                       bool regExp, bool matchCase, std::size_t maxSpans)
{
    if (text.empty() || maxSpans == 0)
        return {};
    // Folding keeps every unit where it was, so positions in the folded copy are the
    // script's own.
    std::u16string needle(text);
    std::u16string subject(script);
    if (!matchCase) {
        FoldUpper(needle);
        FoldUpper(subject);
    }
    if (!regExp)
        return FindText(subject, needle, maxSpans);
    return FindPattern(subject, needle, !matchCase, maxSpans);
}
