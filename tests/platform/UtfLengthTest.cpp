#include "platform/Utf.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using quarrow::AssignFromUtf8;
using quarrow::FromUtf8;
using quarrow::Utf16Length;

TEST(UtfLength, DecodesAndCountsWellFormedAndMalformedText)
{
    struct SCase
    {
        std::string bytes;
        std::u16string expected;
    };
    const SCase cases[] = {
        {"", u""},
        {"SELECT 1", u"SELECT 1"},
        {"12345678\xc3\xa9", u"12345678\u00e9"}, // beyond ASCII right after a full word
        {"1234567\xc3\xa9", u"1234567\u00e9"},   // ... and inside one
        {"\xe2\x82\xac", u"\u20ac"},             // three bytes, one unit
        {"\xf0\x9d\x84\x9e", u"\U0001D11E"},     // four bytes, two units
        {"\xc3"
         "A",
         u"\ufffd"
         "A"},                                   // a lead byte without its tail
        {"\x80\x80", u"\ufffd\ufffd"},           // stray continuation bytes
        {"\xc0\xaf", u"\ufffd\ufffd"},           // an overlong '/'
        {"\xed\xa0\x80", u"\ufffd\ufffd\ufffd"}, // an encoded surrogate
        {"\xf0\x9d\x84", u"\ufffd\ufffd\ufffd"}, // cut short at the end
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    std::u16string buffer = u"left over from before, longer than any case";
    for (const auto& c : cases) {
        EXPECT_EQ(FromUtf8(c.bytes), c.expected);
        AssignFromUtf8(buffer, c.bytes);
        EXPECT_EQ(buffer, c.expected);
        EXPECT_EQ(Utf16Length(c.bytes), c.expected.size());
    }
}

TEST(UtfLength, CountsWhatFromUtf8BuildsOnRandomBytes)
{
    std::mt19937 random(11);
    const std::string pieces[] = {"a",       "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9d\x84\x9e",
                                  "\xc3",    "\x80",     "\xff",         "\xf4\x90\x80\x80",
                                  "12345678"};
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        const int count = static_cast<int>(random() % 20);
        for (int i = 0; i < count; ++i) {
            bytes += pieces[random() % std::size(pieces)];
        }
        ASSERT_EQ(Utf16Length(bytes), FromUtf8(bytes).size()) << round;
    }
}

} // namespace
