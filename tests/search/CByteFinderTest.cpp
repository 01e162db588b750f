#include "search/CByteFinder.h"

#include "platform/Utf.h"
#include "search/CTextFinder.h"

#include <gtest/gtest.h>
#include <random>

namespace {

TEST(CByteFinder, FindsTheNeedleWithAndWithoutFolding)
{
    struct SCase
    {
        const char* needle;
        bool fold;
        std::string haystack;
        bool expected;
    };
    const std::string longText(100, '.');
    const SCase cases[] = {
        {"LEDGER", true, "exec dbo.usp_ReconcileLedger", true},
        {"LEDGER", false, "exec dbo.usp_ReconcileLedger", false},
        {"Ledger", false, "exec dbo.usp_ReconcileLedger", true},
        {"LEDGER", true, "LEDGE", false}, // shorter than the needle
        {"LEDGER", true, "LEDGER", true}, // exactly the haystack
        {"A", true, "xyz a", true},       // one byte, folded
        {"A", false, "xyz a", false},
        {"@ID", true, "WHERE x = @id", true},  // a non-letter probe compares exactly
        {"@ID", true, "WHERE x = `id", false}, // '`' is '@' | 0x20: not a match
        {"[X]", true, "{x}", false},           // '{' is '[' | 0x20: not a match
        {"E", true, "caf\xc3\xa9", false},     // bytes of e-acute never fold to E
        {"", true, "", true},                  // an empty needle is everywhere
        {"GER", true, longText + "ger", true}, // at the very end, past the blocks
        {"GER", true, "ger" + longText, true}, // at the very start
        {"GER", true, longText + "ge", false},
        {"AB", true, std::string("a\0b ab", 6), true}, // NUL bytes are ordinary bytes
    };
    for (const auto& c : cases) {
        CByteFinder finder(c.needle, c.fold);
        EXPECT_EQ(finder.Contains(c.haystack), c.expected)
            << "'" << c.needle << "' in '" << c.haystack << "' fold " << c.fold;
    }
}

TEST(CByteFinder, AgreesWithTheUtf16SearchOnRandomText)
{
    // Every start offset and every block boundary: haystacks of up to 49 pieces of a small
    // alphabet (with bytes beyond ASCII), needles cut from them or made up. The reference is
    // the search on the decoded, folded UTF-16 text.
    std::mt19937 random(5);
    const std::string alphabet[] = {"a", "A", "b", "B", "z", "@", "`", "\xc3\xa9", "\xff", " "};
    auto text = [&](std::size_t pieces) {
        std::string out;
        for (std::size_t i = 0; i < pieces; ++i) {
            out += alphabet[random() % std::size(alphabet)];
        }
        return out;
    };
    for (int round = 0; round < 4000; ++round) {
        const std::string haystack = text(random() % 50);
        std::string needle;
        do {
            needle = text(1 + random() % 4);
        } while (!CByteFinder::IsAscii(quarrow::FromUtf8(needle)));
        const bool fold = random() % 2 == 0;
        std::u16string wideNeedle = quarrow::FromUtf8(needle);
        std::u16string wideHaystack = quarrow::FromUtf8(haystack);
        if (fold) {
            FoldUpper(wideNeedle);
            FoldUpper(wideHaystack);
        }
        const bool expected = CTextFinder(wideNeedle).Contains(wideHaystack);
        ASSERT_EQ(CByteFinder(needle, fold).Contains(haystack), expected)
            << "'" << needle << "' in '" << haystack << "' fold " << fold;
    }
}

TEST(CByteFinder, OnlyAsciiNeedlesAreSearchedAsBytes)
{
    EXPECT_TRUE(CByteFinder::IsAscii(u"SELECT [x] @id\t"));
    EXPECT_TRUE(CByteFinder::IsAscii(u""));
    EXPECT_FALSE(CByteFinder::IsAscii(u"caf\u00e9"));
    EXPECT_FALSE(CByteFinder::IsAscii(u"\u0080"));
    EXPECT_FALSE(CByteFinder::IsAscii(u"\ufffd"));
}

} // namespace
