#include "search/CRegPattern.h"

#include "search/CRegCode.h"

#include <chrono>
#include <cstddef>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct SErrorCase
{
    std::u16string pattern;
    std::u16string error; // empty: compiles
};

class CRegErrorTest : public testing::TestWithParam<SErrorCase>
{
};

TEST_P(CRegErrorTest, CompilesOrReportsItsError)
{
    const SErrorCase& c = GetParam();
    CRegPattern pattern(c.pattern, false);
    EXPECT_EQ(pattern.IsCompiled(), c.error.empty());
    EXPECT_EQ(pattern.GetErrorText(), c.error);
}

std::u16string FullRange()
{
    std::u16string p = u"[";
    p += char16_t(1);
    p += u'-';
    p += char16_t(0xFFFF);
    p += u']';
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, CRegErrorTest,
    testing::Values(
        SErrorCase{u"(a)(b)(c)(d)(e)(f)(g)(h)(i)", u""},
        SErrorCase{u"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", u"too many ()"},
        SErrorCase{u"((((((((((a))))))))))", u"too many ()"},
        SErrorCase{u"*a", u"?+* follows nothing"}, SErrorCase{u"a|+b", u"?+* follows nothing"},
        SErrorCase{u"(?)", u"?+* follows nothing"}, SErrorCase{u"a**", u"nested *?+"},
        SErrorCase{u"a*?", u"nested *?+"}, SErrorCase{u"(ab)+*", u"nested *?+"},
        SErrorCase{u"^*", u"*+ operand could be empty"},
        SErrorCase{u"$+", u"*+ operand could be empty"},
        SErrorCase{u"\\<*", u"*+ operand could be empty"},
        SErrorCase{u"(a?)*", u"*+ operand could be empty"},
        SErrorCase{u"(a|)+", u"*+ operand could be empty"},
        SErrorCase{u"()*", u"*+ operand could be empty"}, SErrorCase{u"^?", u""},
        SErrorCase{u"(a?)?", u""}, SErrorCase{u"(a|b?c)*", u""}, SErrorCase{u"a\\", u"trailing \\"},
        SErrorCase{u"\\", u"trailing \\"}, SErrorCase{u"[z-a]", u"invalid [] range"},
        SErrorCase{u"[a-a]", u""}, SErrorCase{u"[abc", u"unmatched []"},
        SErrorCase{u"[", u"unmatched []"}, SErrorCase{u"[]", u"unmatched []"},
        SErrorCase{u"[^]", u"unmatched []"}, SErrorCase{u"[]a]", u""}, SErrorCase{u"[-a-]", u""},
        SErrorCase{u"a)", u"unmatched ()"}, SErrorCase{u")", u"unmatched ()"},
        SErrorCase{u"(a", u"unterminated ()"}, SErrorCase{u"a(", u"unterminated ()"},
        SErrorCase{u"(a|b", u"unterminated ()"},
        // The first error from the left wins.
        SErrorCase{u"[z-a](", u"invalid [] range"}, SErrorCase{FullRange(), u"regexp too big"},
        SErrorCase{FullRange() + u"(", u"unterminated ()"}, SErrorCase{u"", u""},
        SErrorCase{u"|", u""}, SErrorCase{u"()", u""}, SErrorCase{u"a||b", u""}));

struct SMatchCase
{
    std::u16string pattern;
    bool caseInsensitive;
    std::u16string subject;
    int start; // -1: no match
    int end;
};

class CRegMatchTest : public testing::TestWithParam<SMatchCase>
{
};

TEST_P(CRegMatchTest, FindsTheFirstMatch)
{
    const SMatchCase& c = GetParam();
    CRegPattern pattern(c.pattern, c.caseInsensitive);
    ASSERT_TRUE(pattern.IsCompiled()) << std::string(c.pattern.begin(), c.pattern.end());
    EXPECT_EQ(pattern.Match(c.subject), c.start >= 0);
    EXPECT_EQ(pattern.GetMatchStart(), c.start);
    EXPECT_EQ(pattern.GetMatchEnd(), c.end);
    EXPECT_EQ(pattern.GetErrorText(), u"");
}

INSTANTIATE_TEST_SUITE_P(
    Subjects, CRegMatchTest,
    testing::Values(
        // A literal run backs off so the star takes only the last character.
        SMatchCase{u"abc*", false, u"ab", 0, 2}, SMatchCase{u"abc*", false, u"xabccd", 1, 5},
        SMatchCase{u"a$b", false, u"a$b", -1, -1}, SMatchCase{u"a$b", false, u"ab", -1, -1},
        SMatchCase{u"", false, u"", 0, 0}, SMatchCase{u"", false, u"xyz", 0, 0},
        SMatchCase{u"$", false, u"abc", 3, 3}, SMatchCase{u"^", false, u"abc", 0, 0},
        SMatchCase{u"[^a]", false, u"aaa", -1, -1}, SMatchCase{u"[^a]", false, u"", -1, -1},
        SMatchCase{u"[^a]", false, u"aab", 2, 3},
        SMatchCase{u"\\<word\\>", false, u"a word here", 2, 6},
        SMatchCase{u"\\<word\\>", false, u"swordfish", -1, -1},
        SMatchCase{u"\\<word\\>", false, u"word", 0, 4},
        SMatchCase{u"\\<word\\>", false, u"words word_ word", 12, 16},
        // The word end looks only at the character ahead.
        SMatchCase{u"\\>", false, u"  ", 0, 0}, SMatchCase{u"\\>", false, u"ab", 2, 2},
        SMatchCase{u"a\\>", false, u"ab a", 3, 4},
        // Characters above U+007F are no word characters.
        SMatchCase{u"\\<x", false, u"\u00e9x", 1, 2}, SMatchCase{u"abc", true, u"xxABCx", 2, 5},
        SMatchCase{u"abc", true, u"aBc", 0, 3}, SMatchCase{u"ABC", true, u"abc", 0, 3},
        SMatchCase{u"[a-c]x", true, u"bX", 0, 2}, SMatchCase{u"[a-c]x", true, u"BX", -1, -1},
        // Only A-Z and a-z fold.
        SMatchCase{u"\u00e9", true, u"\u00c9", -1, -1},
        // A backslash escapes the '[' of the rewritten letter.
        SMatchCase{u"\\d", true, u"d", -1, -1}, SMatchCase{u"\\d", true, u"x[Dd]", 1, 5},
        SMatchCase{u"\\.", false, u"a.b", 1, 2}, SMatchCase{u"\\.", false, u"ab", -1, -1},
        SMatchCase{u"\\n", false, u"\n", -1, -1}, SMatchCase{u"\\n", false, u"n", 0, 1},
        SMatchCase{u"a|ab", false, u"ab", 0, 1}, SMatchCase{u"(a|ab)c", false, u"abc", 0, 3},
        SMatchCase{u"a.*b", false, u"xaxbxbx", 1, 6}, SMatchCase{u"a.*b", false, u"a", -1, -1},
        SMatchCase{u"b+", false, u"aaabbc", 3, 5}, SMatchCase{u"[0-9]+", false, u"abc123x", 3, 6},
        SMatchCase{u"x|^a", false, u"ba", -1, -1}, SMatchCase{u"x|^a", false, u"ab", 0, 1},
        SMatchCase{u"a(|b)c", false, u"ac", 0, 2}, SMatchCase{u"[]a]", false, u"x]", 1, 2},
        SMatchCase{u"[a-]", false, u"x-", 1, 2}, SMatchCase{u"[^]a]", false, u"]ab", 2, 3},
        SMatchCase{u"[\\]", false, u"a\\", 1, 2}, SMatchCase{u"a]", false, u"a]", 0, 2},
        // Ranges are taken from the character written before the hyphen.
        SMatchCase{u"[a-c-e]", false, u"d", 0, 1}, SMatchCase{u"[a-c-e]", false, u"-", -1, -1},
        // A character outside the BMP counts as two.
        SMatchCase{u"^..$", false, u"\U0001F600", 0, 2},
        SMatchCase{u"x\\\\*y", false, u"ax\\\\\\yb", 1, 6},
        SMatchCase{u"(ab)+c", false, u"xababc", 1, 6}, SMatchCase{u"a?b", false, u"ccb", 2, 3},
        SMatchCase{u"(x*)y", false, u"y", 0, 1}, SMatchCase{u"sp_", true, u"xSP_", 1, 4},
        SMatchCase{u"^sp_", true, u"Sp_who", 0, 3}, SMatchCase{u"^sp_", true, u"x sp_", -1, -1}));

struct SGroupCase
{
    std::u16string pattern;
    std::u16string subject;
    std::vector<std::pair<int, int>> groups; // index 0: the whole match
};

class CRegGroupTest : public testing::TestWithParam<SGroupCase>
{
};

TEST_P(CRegGroupTest, RecordsTheLastPassOfEachGroup)
{
    const SGroupCase& c = GetParam();
    CRegPattern pattern(c.pattern, false);
    ASSERT_TRUE(pattern.Match(c.subject));
    for (int n = 0; n < 10; ++n) {
        const std::pair<int, int> expected =
            n < static_cast<int>(c.groups.size()) ? c.groups[n] : std::pair<int, int>(-1, -1);
        EXPECT_EQ(pattern.GetMatchStart(n), expected.first) << "group " << n;
        EXPECT_EQ(pattern.GetMatchEnd(n), expected.second) << "group " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Groups, CRegGroupTest,
    testing::Values(
        SGroupCase{u"(a)*", u"aaa", {{0, 3}, {2, 3}}},
        SGroupCase{u"((a)|b)+", u"ab", {{0, 2}, {1, 2}, {0, 1}}},
        SGroupCase{u"x(y)?z", u"xz", {{0, 2}, {-1, -1}}},
        SGroupCase{u"(a|ab)(c|bcd)(d*)", u"abcd", {{0, 4}, {0, 1}, {1, 4}, {4, 4}}},
        SGroupCase{u"(a(b)c)", u"abc", {{0, 3}, {0, 3}, {1, 2}}},
        SGroupCase{
            u"(.)(.)(.)(.)(.)(.)(.)(.)(.)",
            u"123456789",
            {{0, 9}, {0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 9}}}));

TEST(CRegPatternTest, FailedCompileAnswersEveryMatchWithCorruptedRegexp)
{
    CRegPattern pattern(u"[abc", false);
    EXPECT_FALSE(pattern.IsCompiled());
    EXPECT_EQ(pattern.GetErrorText(), u"unmatched []");
    EXPECT_FALSE(pattern.Match(u"abc"));
    EXPECT_EQ(pattern.GetErrorText(), u"corrupted regexp");
}

TEST(CRegPatternTest, NullSubjectIsAnError)
{
    CRegPattern pattern(u"a", false);
    EXPECT_FALSE(pattern.Match(static_cast<const char16_t*>(nullptr)));
    EXPECT_EQ(pattern.GetErrorText(), u"NULL argument to regexec");
    EXPECT_TRUE(pattern.Match(u"a"));
    EXPECT_EQ(pattern.GetErrorText(), u"");
}

TEST(CRegPatternTest, PatternEndsAtItsFirstNul)
{
    CRegPattern pattern(std::u16string_view(u"ab\0cd", 5), false);
    EXPECT_TRUE(pattern.Match(u"xab"));
}

TEST(CRegPatternTest, SubjectEndsAtItsFirstNul)
{
    CRegPattern pattern(u"b$", false);
    EXPECT_TRUE(pattern.Match(std::u16string(u"ab\0cd", 5)));
}

TEST(CRegPatternTest, CaseInsensitiveRewrite)
{
    EXPECT_EQ(CRegPattern::RewriteCaseInsensitive(u"aZ1"), u"[Aa][Zz]1");
    EXPECT_EQ(CRegPattern::RewriteCaseInsensitive(u"[a-c]x"), u"[a-c][Xx]");
    // Every bracket toggles, escaped or not; a letter after a backslash is rewritten.
    EXPECT_EQ(CRegPattern::RewriteCaseInsensitive(u"\\[a\\]b"), u"\\[a\\][Bb]");
    EXPECT_EQ(CRegPattern::RewriteCaseInsensitive(u"[\\]a]"), u"[\\][Aa]]");
    EXPECT_EQ(CRegPattern::RewriteCaseInsensitive(u"\\w"), u"\\[Ww]");
    EXPECT_EQ(CRegPattern::RewriteCaseInsensitive(u"\u00e9_"), u"\u00e9_");
}

TEST(CRegPatternTest, RepeatedGroupOverALongScriptDoesNotExhaustTheStack)
{
    std::u16string script;
    for (int i = 0; i < 50000; ++i)
        script += (i % 7 == 3) ? u'b' : u'a';
    CRegPattern pattern(u"((a|b)c?)*$", false);
    ASSERT_TRUE(pattern.Match(script));
    EXPECT_EQ(pattern.GetMatchStart(), 0);
    EXPECT_EQ(pattern.GetMatchEnd(), 50000);
    EXPECT_EQ(pattern.GetMatchStart(1), 49999);

    // Backtracking out of the whole repetition at the end.
    CRegPattern fails(u"^((a|b)c?)*x", false);
    EXPECT_FALSE(fails.Match(script));
    EXPECT_EQ(fails.GetErrorText(), u"");
}

TEST(CRegPatternTest, CancelFlagStopsAPathologicalMatch)
{
    std::u16string script(50000, u'a');
    script += u"!b";
    CRegPattern pattern(u"(a+)+b", false);
    ASSERT_TRUE(pattern.IsCompiled());
    std::atomic<bool> cancel(false);
    pattern.SetCancelFlag(&cancel);

    const auto started = std::chrono::steady_clock::now();
    std::thread stopper([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        cancel.store(true);
    });
    const bool matched = pattern.Match(script);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    stopper.join();
    EXPECT_FALSE(matched);
    EXPECT_TRUE(pattern.GetCode()->WasCancelled());
    // Only a sanity bound: without the flag this match would run for ages.
    EXPECT_LT(elapsed, std::chrono::seconds(20));

    // A set flag answers false at once; clearing it lets matches through again.
    EXPECT_FALSE(pattern.Match(u"ab"));
    cancel.store(false);
    EXPECT_TRUE(pattern.Match(u"ab"));
    pattern.SetCancelFlag(nullptr);
    EXPECT_TRUE(pattern.Match(u"aab"));
}

// Scanning on after a match: attempts start at from, while ^ and word starts still see the
// subject's own start; one pattern serves subject after subject, even in one buffer.
TEST(CRegPattern, MatchFromScansOnWithTheSubjectsStart)
{
    struct SCase
    {
        const char16_t* pattern;
        std::u16string subject;
        std::size_t from;
        int start; // -1: no match
        int end;
    };
    const SCase cases[] = {
        {u"ab", u"ab ab", 0, 0, 2},     {u"ab", u"ab ab", 1, 3, 5},
        {u"ab", u"ab ab", 4, -1, -1},   {u"^ab", u"ab ab", 1, -1, -1},
        {u"\\<ab", u"xab ab", 1, 4, 6}, {u"[a-z]FOO", u"aFOO bFOO", 1, 5, 9},
        {u"b*", u"abb", 1, 1, 3},       {u"b*", u"abb", 3, 3, 3},
        {u"$", u"abc", 2, 3, 3},        {u"x", u"abc", 4, -1, -1}, // past the end
    };
    for (const auto& c : cases) {
        CRegPattern pattern(c.pattern, false);
        ASSERT_TRUE(pattern.IsCompiled());
        const bool matched = pattern.MatchFrom(c.subject.c_str(), c.subject.size(), c.from);
        EXPECT_EQ(matched, c.start >= 0) << (&c - cases);
        EXPECT_EQ(pattern.GetMatchStart(), c.start) << (&c - cases);
        EXPECT_EQ(pattern.GetMatchEnd(), c.end) << (&c - cases);
    }

    // The required literal remembered for one text must not decide for the next text in the
    // same buffer: found there, or not found there.
    CRegPattern pattern(u"[a-z]FOO", false);
    std::u16string buffer = u"xxxxxxxxxx";
    EXPECT_FALSE(pattern.MatchFrom(buffer.c_str(), buffer.size(), 1));
    buffer.replace(5, 4, u"aFOO");
    EXPECT_TRUE(pattern.MatchFrom(buffer.c_str(), buffer.size(), 1));
    EXPECT_EQ(pattern.GetMatchStart(), 5);
    buffer.replace(5, 4, u"aFOX");
    EXPECT_FALSE(pattern.MatchFrom(buffer.c_str(), buffer.size(), 2));
}

} // namespace
