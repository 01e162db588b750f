#include "cli/MatchLines.h"

#include <algorithm>

CScriptLines::CScriptLines(std::u16string_view script) : m_script(script)
{
    m_starts.push_back(0);
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (script[i] == u'\n' && i + 1 < script.size()) {
            m_starts.push_back(i + 1);
        }
    }
}

std::size_t CScriptLines::LineOf(std::size_t position) const
{
    const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), position);
    return static_cast<std::size_t>(it - m_starts.begin());
}

std::u16string_view CScriptLines::Text(std::size_t line) const
{
    if (line == 0 || line > m_starts.size()) {
        return {};
    }
    const std::size_t start = m_starts[line - 1];
    std::size_t end = line < m_starts.size() ? m_starts[line] : m_script.size();
    if (end > start && m_script[end - 1] == u'\n') {
        --end;
        if (end > start && m_script[end - 1] == u'\r') {
            --end;
        }
    }
    return m_script.substr(start, end - start);
}

std::vector<SMatchLine> SelectMatchLines(const CScriptLines& lines,
                                         const std::vector<SMatchSpan>& spans, std::size_t context)
{
    std::vector<SMatchLine> selected;
    const std::size_t count = lines.Count();
    std::size_t printedUpTo = 0; // the last line printed so far; 0: none
    // Spans come left to right, so their lines never go back.
    for (const SMatchSpan& span : spans) {
        const std::size_t line = lines.LineOf(span.m_nStart);
        if (line <= printedUpTo) {
            // Printed already as context, or a second match on a printed line.
            for (auto it = selected.rbegin(); it != selected.rend() && it->m_nLine >= line; ++it) {
                if (it->m_nLine == line) {
                    it->m_bMatch = true;
                }
            }
        }
        const std::size_t first =
            std::max(line > context ? line - context : std::size_t(1), printedUpTo + 1);
        const std::size_t last = std::min(count, line + context);
        for (std::size_t n = first; n <= last; ++n) {
            SMatchLine entry;
            entry.m_nLine = n;
            entry.m_bMatch = n == line;
            entry.m_bGroupStart =
                context > 0 && n == first && printedUpTo != 0 && first > printedUpTo + 1;
            selected.push_back(entry);
        }
        printedUpTo = std::max(printedUpTo, last);
    }
    return selected;
}

namespace {

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendEscape(std::string& out, char16_t c)
{
    static const char kHex[] = "0123456789abcdef";
    out += "\\u";
    out += kHex[(c >> 12) & 0xF];
    out += kHex[(c >> 8) & 0xF];
    out += kHex[(c >> 4) & 0xF];
    out += kHex[c & 0xF];
}

} // namespace

void AppendJsonString(std::string& out, std::u16string_view text)
{
    out += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        switch (c) {
        case u'"':
            out += "\\\"";
            continue;
        case u'\\':
            out += "\\\\";
            continue;
        case u'\n':
            out += "\\n";
            continue;
        case u'\r':
            out += "\\r";
            continue;
        case u'\t':
            out += "\\t";
            continue;
        case u'\b':
            out += "\\b";
            continue;
        case u'\f':
            out += "\\f";
            continue;
        default:
            break;
        }
        if (c < 0x20) {
            AppendEscape(out, c);
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            const char32_t code =
                0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            AppendUtf8(out, code);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendEscape(out, c);
        } else {
            AppendUtf8(out, c);
        }
    }
    out += '"';
}
