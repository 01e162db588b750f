#include "search/MatchSpans.h"

#include "search/CDatabaseObjectFind.h"
#include "tests/support/CMemoryLibrary.h"

#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

bool operator==(const SMatchSpan& a, const SMatchSpan& b)
{
    return a.m_nStart == b.m_nStart && a.m_nLength == b.m_nLength;
}

std::ostream& operator<<(std::ostream& out, const SMatchSpan& span)
{
    return out << '{' << span.m_nStart << ',' << span.m_nLength << '}';
}

namespace {

using Spans = std::vector<SMatchSpan>;

struct SSpanCase
{
    const char* what;
    std::u16string script;
    std::u16string text;
    bool regExp;
    bool matchCase;
    Spans expected;
};

const std::u16string kNul(1, u'\0');

const SSpanCase kSpanCases[] = {
    {"plain text folds a-z",
     u"select SELECT Select",
     u"select",
     false,
     false,
     {{0, 6}, {7, 6}, {14, 6}}},
    {"plain text with match case", u"select SELECT Select", u"SELECT", false, true, {{7, 6}}},
    {"plain matches do not overlap", u"aaaaa", u"aa", false, false, {{0, 2}, {2, 2}}},
    {"plain folding leaves other letters", u"\u00C4 \u00E4 a", u"\u00E4", false, false, {{2, 1}}},
    {"plain text across a line break", u"end\r\nselect", u"end\r\nsel", false, false, {{0, 8}}},
    {"plain non-BMP counts units",
     u"x\U0001F600y\U0001F600",
     u"\U0001F600",
     false,
     false,
     {{1, 2}, {4, 2}}},
    {"plain text reads past a NUL", u"ab" + kNul + u"ab", u"ab", false, true, {{0, 2}, {3, 2}}},
    {"plain no match", u"select 1", u"update", false, false, {}},
    {"empty text is no criterion", u"anything", u"", false, false, {}},
    {"empty regular expression is no criterion", u"anything", u"", true, false, {}},
    {"regex with groups over CR LF",
     u"a\r\nfoo(1)\r\nfoo(22)",
     u"foo\\(([0-9]+)\\)",
     true,
     false,
     {{3, 6}, {11, 7}}},
    {"regex folds unless match case",
     u"Foo fOO foo",
     u"foo",
     true,
     false,
     {{0, 3}, {4, 3}, {8, 3}}},
    {"regex with match case", u"Foo fOO foo", u"foo", true, true, {{8, 3}}},
    {"caret holds only at the script's start", u"AS x AS", u"^AS", true, true, {{0, 2}}},
    {"dollar holds only at the end", u"go go", u"go$", true, true, {{3, 2}}},
    {"word starts look behind the scan position",
     u"ab cab ab",
     u"\\<ab",
     true,
     true,
     {{0, 2}, {7, 2}}},
    {"required literal found more than once",
     u"aFOO bFOO cFOX",
     u"[a-z]FOO",
     true,
     true,
     {{0, 4}, {5, 4}}},
    {"greedy runs end where the next scan starts", u"xxaxx", u"x+", true, true, {{0, 2}, {3, 2}}},
    {"empty matches are stepped over", u"abbcb", u"b*", true, true, {{1, 2}, {4, 1}}},
    {"only empty matches give one empty span", u"abc", u"x*", true, true, {{0, 0}}},
    {"an empty match at the end", u"abc", u"$", true, true, {{3, 0}}},
    {"an empty script", u"", u"^$", true, true, {{0, 0}}},
    {"a pattern that does not compile", u"x [ y", u"[", true, false, {}},
    {"the engine stops at a NUL", u"ab" + kNul + u"ab", u"ab", true, true, {{0, 2}}},
    {"regex over non-BMP text", u"\U0001F600a\U0001F600", u"a\U0001F600", true, true, {{2, 3}}},
};

class MatchSpansTest : public testing::TestWithParam<SSpanCase>
{
};

TEST_P(MatchSpansTest, FindsEveryMatchLeftToRight)
{
    const SSpanCase& c = GetParam();
    EXPECT_EQ(FindMatchSpans(c.script, c.text, c.regExp, c.matchCase), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Scripts, MatchSpansTest, testing::ValuesIn(kSpanCases));

TEST(MatchSpans, StopsAfterTheLimit)
{
    const struct
    {
        bool regExp;
        std::size_t limit;
        Spans expected;
    } cases[] = {
        {false, 2, {{0, 1}, {1, 1}}},
        {true, 2, {{0, 1}, {1, 1}}},
        {true, 0, {}},
        {false, 0, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindMatchSpans(u"aaaa", u"a", c.regExp, false, c.limit), c.expected)
            << c.regExp << ' ' << c.limit;
    }
    EXPECT_EQ(FindMatchSpans(u"abc", u"x*", true, false, 0), Spans{});
}

TEST(MatchSpans, ManyMatchesInALargeScript)
{
    // A required literal that recurs throughout: every match is found, in order.
    std::u16string script;
    const std::size_t count = 20000;
    for (std::size_t i = 0; i < count; ++i)
        script += u"exec proc_x 1\r\n";
    const Spans spans = FindMatchSpans(script, u"[a-z]+_X", true, false);
    ASSERT_EQ(spans.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(spans[i], (SMatchSpan{i * 15 + 5, 6})) << i;
    }
}

// The search, asked the same question over a one-object database.
bool SearchFinds(const std::u16string& script, const std::u16string& text, bool regExp,
                 bool matchCase)
{
    auto catalog = std::make_shared<CMemoryCatalog>();
    SMemoryServer server;
    server.name = u"SRV1";
    server.acceptsModern = true;
    server.databases.push_back(
        {u"pubs", {MemObject(u"p1", ObjectType::StoredProcedure, script)}, false, {}, {}});
    catalog->servers.push_back(std::move(server));
    CMemoryLibrary library(EFlavour::Modern, catalog);
    auto databases = ConnectAndListDatabases(library, u"SRV1");
    CDatabaseObjectFind find;
    find.AttachSQLDMODatabase(databases.at(0)->QueryDatabase(EFlavour::Modern));
    find.m_strText = text;
    find.m_bRegExp = regExp;
    find.m_bMatchCase = matchCase;
    DatabaseObjectList matches;
    EXPECT_EQ(find.FindSQLDMOObjects(ObjectType::All, matches), 1);
    return !matches.empty();
}

TEST(MatchSpans, AScriptHasASpanExactlyWhenTheSearchFindsIt)
{
    // Every pair of these, both ways of matching case: the search and the spans must agree.
    const std::u16string scripts[] = {
        u"",
        u"create procedure p1 as\r\nselect * from Orders\r\n",
        u"CREATE VIEW v AS SELECT 1",
        u"abc",
        u"ab" + kNul + u"word",
        u"\U0001F600 emoji \u00E9t\u00E9",
        u"xx\n\nyy",
    };
    const std::pair<std::u16string, bool> texts[] = {
        {u"select", false},
        {u"orders\r\n", false},
        {u"\u00C9T\u00C9", false},
        {u"word", false},
        {u"x*", true},
        {u"^$", true},
        {u"$", true},
        {u"\\<orders\\>", true},
        {u"^create", true},
        {u"\\w+", true},
        {u"[", true},
        {u"(a|b)c", true},
        {u"\\n\\n", true},
        {u"word", true},
        {u"\U0001F600", true},
        {u"sel.ct \\*", true},
        {u"^$|zz", true},
        {u"y+$", true},
    };
    int agreements = 0;
    for (std::size_t s = 0; s < std::size(scripts); ++s) {
        for (std::size_t t = 0; t < std::size(texts); ++t) {
            const auto& [text, regExp] = texts[t];
            for (const bool matchCase : {false, true}) {
                const bool found = SearchFinds(scripts[s], text, regExp, matchCase);
                const Spans spans = FindMatchSpans(scripts[s], text, regExp, matchCase);
                EXPECT_EQ(found, !spans.empty()) << "script " << s << " text " << t << " regExp "
                                                 << regExp << " matchCase " << matchCase;
                agreements += found ? 1 : 0;
            }
        }
    }
    // The table must exercise both answers, not only one.
    EXPECT_GT(agreements, 20);
    EXPECT_LT(agreements, static_cast<int>(2 * std::size(scripts) * std::size(texts)) - 20);
}

} // namespace
