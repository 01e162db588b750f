#include "catalog/CatalogQueries.h"

#include "catalog/Md5.h"
#include "platform/Utf.h"

#include <gtest/gtest.h>

namespace {

using quarrow::ToUtf8;

// Reads one bracketed identifier the way T-SQL does: from '[' to the first ']' not doubled.
// Gives the name and how many units the identifier took, or nothing when it never closes.
std::optional<std::pair<std::u16string, std::size_t>> ReadBracketed(const std::u16string& text)
{
    if (text.empty() || text[0] != u'[') {
        return std::nullopt;
    }
    std::u16string name;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == u']') {
            if (i + 1 < text.size() && text[i + 1] == u']') {
                name += u']';
                ++i;
                continue;
            }
            return std::make_pair(name, i + 1);
        }
        name += text[i];
    }
    return std::nullopt;
}

TEST(CatalogQueries, HostileDatabaseNamesStayOneIdentifier)
{
    const std::u16string names[] = {
        u"Sales",
        u"]",
        u"a]b",
        u"]]",
        u"x]; DROP DATABASE Sales; --",
        u"it's",
        u"\"quoted\"",
        u"with blanks  ",
        u" leading",
        u"\u041f\u0440\u043e\u0434\u0430\u0436\u0438", // Cyrillic
        u"\u58f2\u4e0a",                               // CJK
        u"semi;colon",
        u"dash--dash",
        u"/*comment*/",
        u"[bracketed]",
        u"",
        u"\U0001F600 emoji",
    };
    for (const auto& name : names) {
        const auto use = CatalogQueries::UseDatabase(name);
        ASSERT_TRUE(use) << ToUtf8(name);
        ASSERT_TRUE(use->starts_with(u"USE "));
        const auto read = ReadBracketed(use->substr(4));
        ASSERT_TRUE(read) << ToUtf8(*use);
        EXPECT_EQ(read->first, name);
        // Nothing follows the identifier: the name cannot end it early.
        EXPECT_EQ(read->second, use->size() - 4) << ToUtf8(*use);
    }
    EXPECT_EQ(*CatalogQueries::QuoteIdentifier(u"a]b"), u"[a]]b]");
}

TEST(CatalogQueries, NameWithNulCannotBeQuoted)
{
    EXPECT_FALSE(CatalogQueries::QuoteIdentifier(std::u16string(u"ab\0cd", 5)));
    EXPECT_FALSE(CatalogQueries::UseDatabase(std::u16string(u"\0", 1)));
}

TEST(CatalogQueries, EveryQueryStartsWithItsTag)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        {CatalogQueries::Databases(EFlavour::Modern), u"/*quarrow:databases*/"},
        {CatalogQueries::Databases(EFlavour::Legacy), u"/*quarrow:databases*/"},
        {CatalogQueries::Objects(EFlavour::Modern, 16),
         u"/*quarrow:objects flavour=modern type=16*/"},
        {CatalogQueries::Objects(EFlavour::Legacy, 509),
         u"/*quarrow:objects flavour=legacy type=509*/"},
        {CatalogQueries::Scripts(EFlavour::Modern, 4096),
         u"/*quarrow:scripts flavour=modern type=4096*/"},
        {CatalogQueries::Scripts(EFlavour::Legacy, 1),
         u"/*quarrow:scripts flavour=legacy type=1*/"},
        {CatalogQueries::Script(EFlavour::Modern, 8, 4294967301LL),
         u"/*quarrow:script flavour=modern type=8 key=4294967301*/"},
        {CatalogQueries::Script(EFlavour::Legacy, 256, 7),
         u"/*quarrow:script flavour=legacy type=256 key=7*/"},
    };
    for (const auto& [query, tag] : cases) {
        EXPECT_TRUE(query.starts_with(tag)) << ToUtf8(query.substr(0, 80));
        // The tag is followed by SQL, not by a second tag or text glued to it.
        ASSERT_GT(query.size(), tag.size());
        EXPECT_TRUE(query[tag.size()] == u'\n') << ToUtf8(tag);
    }
}

TEST(CatalogQueries, ListsAndStreamsAreOrderedByKeyAndFilteredByTypeCode)
{
    for (EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        const auto objects = CatalogQueries::Objects(flavour, 64);
        EXPECT_NE(objects.find(u"q.type_code = 64"), std::u16string::npos);
        EXPECT_TRUE(objects.ends_with(u"ORDER BY q.object_key;"));
        const auto all = CatalogQueries::Objects(flavour, 509);
        EXPECT_EQ(all.find(u"type_code = 509"), std::u16string::npos);
        const auto scripts = CatalogQueries::Scripts(flavour, 128);
        EXPECT_NE(scripts.find(u"f.type_code = 128"), std::u16string::npos);
        EXPECT_TRUE(scripts.ends_with(u"ORDER BY f.object_key, f.part, f.seq, f.seq2;"));
        const auto one = CatalogQueries::Script(flavour, 509, 42);
        EXPECT_NE(one.find(u"WHERE 1 = 1 AND f.object_key = 42\n"), std::u16string::npos);
    }
}

TEST(CatalogQueries, TypeNamesAndListedCodes)
{
    const std::pair<int, std::u16string> names[] = {
        {1, u"User Defined Datatype"},
        {4, u"View"},
        {8, u"User Table"},
        {16, u"Stored Procedure"},
        {64, u"Default"},
        {128, u"Rule"},
        {256, u"Trigger"},
        {4096, u"User Defined Function"},
        {509, u""},
        {2, u""},
    };
    for (const auto& [code, name] : names) {
        EXPECT_EQ(CatalogQueries::TypeName(code), name) << code;
    }
    EXPECT_TRUE(CatalogQueries::IsListedTypeCode(EFlavour::Modern, 4096));
    EXPECT_FALSE(CatalogQueries::IsListedTypeCode(EFlavour::Legacy, 4096));
    EXPECT_TRUE(CatalogQueries::IsListedTypeCode(EFlavour::Legacy, 509));
    EXPECT_FALSE(CatalogQueries::IsListedTypeCode(EFlavour::Modern, 3));
}

} // namespace

namespace {

std::string Hex(const std::array<std::uint8_t, 16>& digest)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (auto byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

} // namespace

TEST(CatalogQueries, Md5GivesTheDigestsOfRfc1321)
{
    // The test suite of RFC 1321, plus lengths around the 56-byte padding boundary.
    const std::pair<std::string, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(55, 'x'), "04364420e25c512fd958a70738aa8f72"},
        {std::string(56, 'x'), "668a72d5ba17f08e62dabcafad6db14b"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(Hex(quarrow::Md5(input)), expected) << input.size() << " bytes";
    }
}

TEST(CatalogQueries, ObjectDigestIsTheServersHashOfKeyAndShownName)
{
    // Worked out apart: the first four bytes of MD5 over the UTF-16LE text "key:name", as a
    // big-endian signed number (negative ones included, surrogate pairs as two units).
    const std::tuple<std::int64_t, std::u16string, std::int64_t> cases[] = {
        {200, u"usp_PlaceOrder", 445215836},
        {4294967297LL, u"sales.Phone", -1890126974},
        {7, u"d\u00f6r\U0001d11e", 802427298},
    };
    for (const auto& [key, name, expected] : cases) {
        EXPECT_EQ(CatalogQueries::ObjectDigest(key, name), expected) << key;
    }
    // A rename or a new key changes the digest.
    EXPECT_NE(CatalogQueries::ObjectDigest(200, u"usp_PlaceOrder"),
              CatalogQueries::ObjectDigest(201, u"usp_PlaceOrder"));
    EXPECT_NE(CatalogQueries::ObjectDigest(200, u"usp_PlaceOrder"),
              CatalogQueries::ObjectDigest(200, u"usp_placeorder"));
}

TEST(CatalogQueries, ChangesTakeOnlyAModernStampIntoTheirText)
{
    const std::pair<const char*, bool> stamps[] = {
        {"2026-12-09 19:23:00.123", true},
        {"0000-00-00 00:00:00.000", true},
        {"2026-12-09T19:23:00.123", false},
        {"2026-12-09 19:23:00.12", false},
        {"2026-12-09 19:23:00.1234", false},
        {"12/-1743268", false},
        {"", false},
        {"2026-12-09 19:23:00.12'", false},
        {"2026-12-09 19:2' OR 1=1", false},
    };
    for (const auto& [stamp, good] : stamps) {
        EXPECT_EQ(CatalogQueries::IsModernStamp(stamp), good) << stamp;
        const auto text = CatalogQueries::Changes(stamp);
        ASSERT_EQ(text.has_value(), good) << stamp;
        if (good) {
            const auto utf8 = ToUtf8(*text);
            std::string tagged = stamp;
            tagged[10] = 'T';
            EXPECT_EQ(utf8.rfind("/*quarrow:changes flavour=modern since=" + tagged + "*/", 0), 0u);
            EXPECT_NE(utf8.find(std::string("q.stamp >= N'") + stamp + "'"), std::string::npos);
            EXPECT_NE(utf8.find("ORDER BY q.object_key;"), std::string::npos);
        }
    }
    EXPECT_EQ(ToUtf8(CatalogQueries::Summary()).rfind("/*quarrow:summary flavour=modern*/", 0), 0u);
}
