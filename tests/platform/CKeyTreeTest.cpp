#include "platform/CKeyTree.h"

#include <gtest/gtest.h>

namespace {

// Deep comparison, names compared exactly (case kept).
bool SameNode(const CKeyTree::SNode& a, const CKeyTree::SNode& b, std::string& where)
{
    if (a.m_strName != b.m_strName || a.m_values != b.m_values ||
        a.m_children.size() != b.m_children.size()) {
        where = "key " + std::string(a.m_strName.begin(), a.m_strName.end());
        return false;
    }
    for (auto ia = a.m_children.begin(), ib = b.m_children.begin(); ia != a.m_children.end();
         ++ia, ++ib) {
        if (ia->first != ib->first || !SameNode(*ia->second, *ib->second, where))
            return false;
    }
    return true;
}

SRegValue Text(std::u16string name, std::u16string text)
{
    SRegValue value;
    value.m_strName = std::move(name);
    value.m_strText = std::move(text);
    return value;
}

SRegValue Dword(std::u16string name, uint32_t number)
{
    SRegValue value;
    value.m_strName = std::move(name);
    value.m_type = ERegType::Dword;
    value.m_nDword = number;
    return value;
}

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";

} // namespace

TEST(CKeyTreeTest, WritesRegFileLayout)
{
    CKeyTree tree(u"Quarrow");
    ASSERT_TRUE(tree.SetValue(u"RegisteredServers\\HOST$*$SQL2", Text(u"LoginName", u"sa")));
    ASSERT_TRUE(tree.SetValue(u"RegisteredServers\\HOST$*$SQL2", Text(u"Password", u"a\\b\"c")));
    ASSERT_TRUE(tree.SetValue(u"RegisteredServers\\HOST$*$SQL2", Dword(u"NTauthentication", 10)));
    ASSERT_TRUE(tree.SetValue(u"", Text(u"", u"default")));
    const std::string expected =
        std::string(kHeader) +
        "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow]\n"
        "@=\"default\"\n\n"
        "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\RegisteredServers]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\RegisteredServers\\HOST$*$SQL2]\n"
        "\"LoginName\"=\"sa\"\n"
        "\"Password\"=\"a\\\\b\\\"c\"\n"
        "\"NTauthentication\"=dword:0000000a\n\n";
    EXPECT_EQ(tree.Serialize(), expected);
}

TEST(CKeyTreeTest, RoundTripKeepsEveryNameAndValue)
{
    const std::u16string name126(126, u'k');
    const std::u16string name255(255, u'\u00e9');
    CKeyTree tree(u"Quarrow");
    const std::vector<std::pair<std::u16string, SRegValue>> writes = {
        {u"RegisteredServers\\HOST$*$SQL2", Text(u"Password", u"back\\slash \"quoted\" ]x[ /")},
        {u"RegisteredServers\\a]b", Text(u"LoginName", u"]")},
        {u"RegisteredServers\\[odd] name ", Text(u"Na\"me\\", u"trailing blank ")},
        {u"RegisteredServers\\s/l/a/s/h", Dword(u"NTauthentication", 0)},
        {u"DatabaseSetting\\Ünïcödé\\データベース", Dword(u"Used", 1)},
        {u"DatabaseSetting\\emoji\\\U0001F600db", Dword(u"Used", 0xFFFFFFFF)},
        {u"DatabaseSetting\\" + name126 + u"\\" + name255, Text(name126, name126)},
        {u"Export", Text(u"Lines", u"one\r\ntwo\tthree")},
        {u"Export", Text(u"Lone", std::u16string(u"a\xD800z"))},
        {u"Export", Text(u"Empty", u"")},
        {u"Export", Text(u"", u"default")},
    };
    for (const auto& [path, value] : writes)
        ASSERT_TRUE(tree.SetValue(path, value));
    SRegValue raw;
    raw.m_strName = u"Binary";
    raw.m_type = ERegType::Raw;
    raw.m_strRaw = "hex(2):25,00,00,00";
    ASSERT_TRUE(tree.SetValue(u"Export", raw));
    ASSERT_NE(tree.Create(u"Empty\\Key"), nullptr);

    const std::string text = tree.Serialize();
    CKeyTree back(u"Quarrow");
    std::string error;
    ASSERT_TRUE(back.Parse(text, error)) << error << "\n" << text;
    std::string where;
    EXPECT_TRUE(SameNode(tree.Root(), back.Root(), where)) << where;
    EXPECT_EQ(back.Serialize(), text);
    // Line breaks and lone surrogates go as hex(1), which keeps every unit.
    EXPECT_NE(text.find("\"Lines\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00"), std::string::npos);
}

TEST(CKeyTreeTest, NamesCompareWithoutCaseAndKeepTheirCase)
{
    CKeyTree tree(u"Quarrow");
    ASSERT_TRUE(tree.SetValue(u"RegisteredServers\\Host", Dword(u"Used", 1)));
    ASSERT_TRUE(tree.SetValue(u"REGISTEREDSERVERS\\HOST", Dword(u"USED", 2)));
    const CKeyTree::SNode* node = tree.Find(u"registeredservers\\host");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->m_strName, u"Host");
    ASSERT_EQ(node->m_values.size(), 1u);
    EXPECT_EQ(node->m_values[0].m_strName, u"Used");
    EXPECT_EQ(node->m_values[0].m_nDword, 2u);
    EXPECT_EQ(tree.Root().FindChild(u"registeredServers")->m_strName, u"RegisteredServers");

    // Beyond ASCII too.
    ASSERT_NE(tree.Create(u"Ärger"), nullptr);
    EXPECT_NE(tree.Find(u"äRGER"), nullptr);
    EXPECT_EQ(tree.Root().m_children.size(), 2u);
}

TEST(CKeyTreeTest, SubkeysListInCaseInsensitiveOrder)
{
    CKeyTree tree(u"Quarrow");
    for (const char16_t* name : {u"b", u"C", u"a", u"B2", u"_x", u"Zed"})
        ASSERT_NE(tree.Create(std::u16string(u"S\\") + name), nullptr);
    std::vector<std::u16string> names;
    for (const auto& [folded, child] : tree.Find(u"S")->m_children)
        names.push_back(child->m_strName);
    // Upper-case order, as the registry sorts: '_' (0x5F) follows the letters.
    const std::vector<std::u16string> expected = {u"a", u"b", u"B2", u"C", u"Zed", u"_x"};
    EXPECT_EQ(names, expected);
}

TEST(CKeyTreeTest, RefusesNamesTheFileCannotHold)
{
    CKeyTree tree(u"Quarrow");
    EXPECT_EQ(tree.Create(u"a\\\\b"), nullptr);
    EXPECT_EQ(tree.Create(u"a\\"), nullptr);
    EXPECT_EQ(tree.Create(u"line\nbreak"), nullptr);
    EXPECT_EQ(tree.Create(std::u16string(256, u'x')), nullptr);
    EXPECT_EQ(tree.Create(std::u16string(u"lone\xDC00")), nullptr);
    EXPECT_FALSE(tree.SetValue(u"ok", Text(u"bad\nname", u"")));
    EXPECT_EQ(tree.CountKeys(), 1u) << "nothing is created by a refused write";
    EXPECT_NE(tree.Create(std::u16string(255, u'x')), nullptr);
}

TEST(CKeyTreeTest, DeleteTreeRemovesEverythingBelow)
{
    CKeyTree tree(u"Quarrow");
    ASSERT_TRUE(tree.SetValue(u"A\\B\\C", Dword(u"Used", 1)));
    ASSERT_TRUE(tree.SetValue(u"A\\D", Dword(u"Used", 1)));
    EXPECT_TRUE(tree.DeleteTree(u"a\\b"));
    EXPECT_EQ(tree.Find(u"A\\B"), nullptr);
    EXPECT_NE(tree.Find(u"A\\D"), nullptr);
    EXPECT_FALSE(tree.DeleteTree(u"A\\B"));
    EXPECT_FALSE(tree.DeleteTree(u"missing\\key"));
    EXPECT_FALSE(tree.DeleteTree(u""));
}

TEST(CKeyTreeTest, ReadsWhatOtherEditorsWrite)
{
    const std::string text =
        "\xEF\xBB\xBF"
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; written by hand\r\n"
        "[hkey_current_user\\software\\korvane@work\\quarrow\\Export]\r\n"
        "\"Sep\"=\",\"\r\n"
        "\"Count\"=DWORD:1F\r\n"
        "\"Multi\"=hex(7):41,00,00,00,\\\r\n"
        "  00,00\r\n"
        "\"Text\"=hex(1):41,00,42,00,00,00\r\n"
        "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\export\\Sub]   \r\n";
    CKeyTree tree(u"Quarrow");
    std::string error;
    ASSERT_TRUE(tree.Parse(text, error)) << error;
    const CKeyTree::SNode* node = tree.Find(u"Export");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->FindValue(u"sep")->m_strText, u",");
    EXPECT_EQ(node->FindValue(u"Count")->m_nDword, 31u);
    EXPECT_EQ(node->FindValue(u"Multi")->m_type, ERegType::Raw);
    EXPECT_EQ(node->FindValue(u"Multi")->m_strRaw, "hex(7):41,00,00,00,00,00");
    EXPECT_EQ(node->FindValue(u"Text")->m_strText, u"AB");
    EXPECT_NE(tree.Find(u"Export\\Sub"), nullptr);

    CKeyTree empty(u"Quarrow");
    EXPECT_TRUE(empty.Parse("", error)) << "a file of no bytes holds no settings";
}

TEST(CKeyTreeTest, RefusesDamagedTextAndStaysAsItWas)
{
    const std::string key = "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\K]\n";
    const std::string head = kHeader + key;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"binary junk", std::string("\x7f"
                                    "ELF\x02\x01\x01\0\0\0",
                                    10) +
                            "\n"},
        {"no header", key + "\"a\"=\"b\"\n"},
        {"bad UTF-8", head + "\"a\"=\"\xC3\x28\"\n"},
        {"cut off mid-line", head + "\"a\"=\"b"},
        {"open quote", head + "\"a\"=\"b\n"},
        {"unknown escape", head + "\"a\"=\"b\\n\"\n"},
        {"text after value", head + "\"a\"=\"b\" x\n"},
        {"value before key", std::string(kHeader) + "\"a\"=\"b\"\n"},
        {"other hive", std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\Software\\X]\n"},
        {"two roots", head + "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Other\\K]\n"},
        {"key deletion",
         std::string(kHeader) + "[-HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\K]\n"},
        {"value deletion", head + "\"a\"=-\n"},
        {"long dword", head + "\"a\"=dword:123456789\n"},
        {"bad dword", head + "\"a\"=dword:12g4\n"},
        {"bad hex", head + "\"a\"=hex:1,zz\n"},
        {"odd hex(1)", head + "\"a\"=hex(1):41\n"},
        {"unknown data", head + "\"a\"=yes\n"},
        {"empty key level",
         std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\a\\\\b]\n"},
        {"NUL byte", head + std::string("\"a\"=\"b\0\"\n", 9)},
        {"stray text", head + "stray\n"},
    };
    for (const auto& [what, text] : cases) {
        CKeyTree tree(u"Quarrow");
        ASSERT_TRUE(tree.SetValue(u"Keep", Dword(u"Used", 1)));
        std::string error;
        EXPECT_FALSE(tree.Parse(text, error)) << what;
        EXPECT_FALSE(error.empty()) << what;
        EXPECT_NE(tree.Find(u"Keep"), nullptr) << what;
    }
    std::string error;
    CKeyTree tree(u"Quarrow");
    EXPECT_FALSE(tree.Parse(head + "\"a\"=\"b\\q\"\n", error));
    EXPECT_EQ(error.rfind("line 4:", 0), 0u) << error;
}

namespace {

// A key path of depth levels, each name of nameLength characters.
std::u16string DeepPath(size_t depth, size_t nameLength, char16_t letter = u'k')
{
    std::u16string path;
    for (size_t i = 0; i < depth; ++i) {
        if (i > 0)
            path.push_back(u'\\');
        path.append(nameLength, letter);
    }
    return path;
}

std::string KeyLine(const std::u16string& path)
{
    return "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\" +
           std::string(path.begin(), path.end()) + "]\n";
}

} // namespace

TEST(CKeyTreeTest, KeysDeeperThanTheRegistryAllowsAreRefused)
{
    CKeyTree tree(u"Quarrow");
    EXPECT_NE(tree.Create(DeepPath(CKeyTree::kMaxDepth, 1)), nullptr);
    EXPECT_EQ(tree.Create(DeepPath(CKeyTree::kMaxDepth + 1, 1)), nullptr);
    EXPECT_FALSE(CKeyTree::IsValidPath(DeepPath(CKeyTree::kMaxDepth + 1, 1)));
    EXPECT_EQ(tree.CountKeys(), CKeyTree::kMaxDepth + 1);

    // A hostile file: one key 200,000 levels deep. It is a damaged line, not a crash.
    const std::vector<std::pair<size_t, bool>> cases = {
        {CKeyTree::kMaxDepth, true}, {CKeyTree::kMaxDepth + 1, false}, {200'000, false}};
    for (const auto& [depth, ok] : cases) {
        SCOPED_TRACE(depth);
        CKeyTree parsed(u"Quarrow");
        std::string error;
        const std::string text = std::string(kHeader) + KeyLine(DeepPath(depth, 1));
        EXPECT_EQ(parsed.Parse(text, error), ok) << error;
        if (!ok)
            EXPECT_EQ(error.rfind("line 3:", 0), 0u) << error;
        else
            EXPECT_EQ(parsed.CountKeys(), depth + 1);
    }
}

TEST(CKeyTreeTest, WalksOfADeepTreeDoNotUseTheStack)
{
    // Built by hand past the limit, as only a walk of the tree could: destroying, counting
    // and writing it must not recurse once per level.
    CKeyTree tree(u"Quarrow");
    CKeyTree::SNode* node = &tree.Root();
    for (int i = 0; i < 300'000; ++i) {
        auto child = std::make_unique<CKeyTree::SNode>();
        child->m_strName = u"k";
        CKeyTree::SNode* next = child.get();
        node->m_children[u"K"] = std::move(child);
        node = next;
    }
    EXPECT_EQ(tree.CountKeys(), 300'001u);
    std::string text;
    EXPECT_FALSE(tree.Serialize(text, 1 << 20)) << "over the cap";
    tree.Clear();
    EXPECT_EQ(tree.CountKeys(), 1u);
}

TEST(CKeyTreeTest, FileAtTheLimitsWritesBackWithinTheCap)
{
    // The largest key the rules allow: 512 levels of 255-character names. Written back,
    // every level repeats its whole path, which must stay readable.
    const std::u16string deepest = DeepPath(CKeyTree::kMaxDepth, 255);
    CKeyTree tree(u"Quarrow");
    std::string error;
    ASSERT_TRUE(tree.Parse(std::string(kHeader) + KeyLine(deepest), error)) << error;
    std::string text;
    ASSERT_TRUE(tree.Serialize(text, CKeyTree::kMaxFileBytes));
    EXPECT_LE(text.size(), CKeyTree::kMaxFileBytes);
    CKeyTree back(u"Quarrow");
    ASSERT_TRUE(back.Parse(text, error)) << error;
    std::string where;
    EXPECT_TRUE(SameNode(tree.Root(), back.Root(), where)) << where;

    // Two such keys would write more than a reader accepts: the write is refused whole.
    ASSERT_NE(tree.Create(DeepPath(CKeyTree::kMaxDepth, 255, u'j')), nullptr);
    std::string over = "untouched";
    EXPECT_FALSE(tree.Serialize(over, CKeyTree::kMaxFileBytes));
    EXPECT_TRUE(over.empty());
    EXPECT_FALSE(tree.Serialize(over, 100)) << "a small cap is kept too";
}

TEST(CKeyTreeTest, SalvagingKeepsEverySectionThatReadsCleanly)
{
    const std::string good1 = "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\A]\n"
                              "\"x\"=dword:00000001\n\n";
    const std::string good2 = "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\C\\D]\n"
                              "\"y\"=\"two\"\n";
    const std::string bad = "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\B]\n"
                            "\"keep\"=\"no\"\n"
                            "\"z\"=\"caf\xe9\"\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Latin-1 byte", std::string(kHeader) + good1 + bad + good2},
        {"NUL byte", std::string(kHeader) + good1 +
                         "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\B]\n" +
                         std::string("\"z\"=\"\0\"\n", 8) + good2},
        {"other root", std::string(kHeader) + good1 +
                           "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Other\\B]\n" + good2},
        {"cut off", std::string(kHeader) + good1 + good2 +
                        "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\B]\n\"z\"=\"cu"},
    };
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        CKeyTree tree(u"Quarrow");
        std::string error;
        size_t damaged = 0;
        EXPECT_FALSE(CKeyTree(u"Quarrow").Parse(text, error));
        ASSERT_TRUE(tree.ParseSalvaging(text, error, damaged)) << error;
        EXPECT_EQ(damaged, 1u);
        EXPECT_FALSE(error.empty());
        ASSERT_NE(tree.Find(u"A"), nullptr);
        ASSERT_NE(tree.Find(u"C\\D"), nullptr) << tree.Serialize();
        EXPECT_EQ(tree.Find(u"A")->FindValue(u"x")->m_nDword, 1u);
        EXPECT_EQ(tree.Find(u"C\\D")->FindValue(u"y")->m_strText, u"two");
        EXPECT_EQ(tree.Find(u"B"), nullptr) << "a damaged section is left out whole";
    }
    CKeyTree tree(u"Quarrow");
    ASSERT_TRUE(tree.SetValue(u"Keep", Dword(u"Used", 1)));
    std::string error;
    size_t damaged = 0;
    EXPECT_FALSE(tree.ParseSalvaging("not a settings file\n" + good1, error, damaged));
    EXPECT_NE(tree.Find(u"Keep"), nullptr);
}
