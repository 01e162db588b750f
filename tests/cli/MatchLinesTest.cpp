#include "cli/MatchLines.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::u16string>;

struct SSplitCase
{
    const char* what;
    std::u16string script;
    Texts lines;
};

const SSplitCase kSplitCases[] = {
    {"empty script", u"", {u""}},
    {"LF", u"a\nb", {u"a", u"b"}},
    {"CR LF", u"a\r\nb\r\n", {u"a", u"b"}},
    {"mixed breaks", u"a\r\nb\nc", {u"a", u"b", u"c"}},
    {"a lone CR is text", u"a\rb\nc\r", {u"a\rb", u"c\r"}},
    {"a final break starts no line", u"a\n", {u"a"}},
    {"empty lines count", u"\n\n\nx", {u"", u"", u"", u"x"}},
    {"two breaks at the end", u"a\n\n", {u"a", u""}},
    {"tabs are kept", u"\ta\tb\t\n", {u"\ta\tb\t"}},
    {"non-BMP text", u"\U0001F600\n\U0001F600x", {u"\U0001F600", u"\U0001F600x"}},
};

class ScriptLinesTest : public testing::TestWithParam<SSplitCase>
{
};

TEST_P(ScriptLinesTest, SplitsAtLineBreaks)
{
    const SSplitCase& c = GetParam();
    const CScriptLines lines(c.script);
    Texts texts;
    for (std::size_t n = 1; n <= lines.Count(); ++n) {
        texts.push_back(std::u16string(lines.Text(n)));
    }
    EXPECT_EQ(texts, c.lines) << c.what;
    // Every position lies on the line whose text (with its break) holds it.
    std::size_t line = 1;
    for (std::size_t i = 0; i < c.script.size(); ++i) {
        EXPECT_EQ(lines.LineOf(i), line) << c.what << " at " << i;
        if (c.script[i] == u'\n' && i + 1 < c.script.size()) {
            ++line;
        }
    }
    EXPECT_EQ(lines.LineOf(c.script.size()), lines.Count()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptLinesTest, testing::ValuesIn(kSplitCases));

// Lines printed for matches: number, then '*' for a match line or '-' for context, and '|'
// before a line that starts a new group.
std::string Picture(const std::vector<SMatchLine>& selected)
{
    std::string text;
    for (const auto& line : selected) {
        if (line.m_bGroupStart) {
            text += "| ";
        }
        text += std::to_string(line.m_nLine) + (line.m_bMatch ? "* " : "- ");
    }
    return text;
}

TEST(MatchLines, ContextMergesAsGrepDoes)
{
    // Twelve lines "0".."11" of two characters with their break: line n starts at 3 (n - 1).
    std::u16string script;
    for (int i = 0; i < 12; ++i) {
        script += static_cast<char16_t>(u'a' + i);
        script += u"x\n";
    }
    const CScriptLines lines(script);
    ASSERT_EQ(lines.Count(), 12u);
    const auto at = [](std::size_t line, std::size_t length = 1) {
        return SMatchSpan{3 * (line - 1), length};
    };
    struct
    {
        std::vector<SMatchSpan> spans;
        std::size_t context;
        const char* picture;
    } cases[] = {
        {{}, 3, ""},
        {{at(5)}, 0, "5* "},
        {{at(5), at(9)}, 0, "5* 9* "},
        {{at(1)}, 2, "1* 2- 3- "},
        {{at(12)}, 2, "10- 11- 12* "},
        {{at(5), at(9)}, 1, "4- 5* 6- | 8- 9* 10- "},
        // Ranges that touch merge without a separator, as do ranges that overlap.
        {{at(5), at(8)}, 1, "4- 5* 6- 7- 8* 9- "},
        {{at(5), at(7)}, 2, "3- 4- 5* 6- 7* 8- 9- "},
        // A match on a context line of the one before makes it a match line.
        {{at(5), at(6)}, 3, "2- 3- 4- 5* 6* 7- 8- 9- "},
        // Two matches on one line: one line.
        {{SMatchSpan{12, 1}, SMatchSpan{13, 1}}, 0, "5* "},
        // A match across line breaks counts on its first line only.
        {{SMatchSpan{13, 5}}, 0, "5* "},
        // An empty match at the very end belongs to the last line.
        {{SMatchSpan{36, 0}}, 1, "11- 12* "},
        {{at(1), at(12)}, 20, "1* 2- 3- 4- 5- 6- 7- 8- 9- 10- 11- 12* "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Picture(SelectMatchLines(lines, c.spans, c.context)), c.picture)
            << "case " << (&c - cases);
    }
}

TEST(MatchLines, JsonStringsEscapeWhatJsonRequires)
{
    const struct
    {
        std::u16string text;
        std::string json;
    } cases[] = {
        {u"", "\"\""},
        {u"plain", "\"plain\""},
        {u"q\"b\\s/", "\"q\\\"b\\\\s/\""},
        {u"\n\r\t\b\f", "\"\\n\\r\\t\\b\\f\""},
        {std::u16string{u'\0', u'\x01', u'\x1f', u'\x7f'}, "\"\\u0000\\u0001\\u001f\x7f\""},
        {u"\u00e9\u20ac", "\"\xC3\xA9\xE2\x82\xAC\""},
        {u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
        // A surrogate without its partner cannot be UTF-8: it keeps its escape.
        {std::u16string{u'a', char16_t(0xD83D), u'b'}, "\"a\\ud83db\""},
        {std::u16string{char16_t(0xDE00)}, "\"\\ude00\""},
        {std::u16string{char16_t(0xDE00), char16_t(0xD83D)}, "\"\\ude00\\ud83d\""},
    };
    for (const auto& c : cases) {
        std::string out = "x";
        AppendJsonString(out, c.text);
        EXPECT_EQ(out, "x" + c.json) << c.json;
    }
}

} // namespace
