#include "catalog/CRegisteredServerStore.h"

#include "tests/support/CScratchFolder.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

RegisteredServer Server(std::u16string name, std::u16string login = u"",
                        std::u16string password = u"", int32_t nt = 1)
{
    return RegisteredServer{std::move(name), std::move(login), std::move(password), nt};
}

std::u16string Number(int n)
{
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

class CRegisteredServerStoreTest : public ::testing::Test
{
protected:
    std::vector<RegisteredServer> Load()
    {
        std::vector<RegisteredServer> servers;
        m_store.LoadServerRegistrations(
            [&](const RegisteredServer& server) { servers.push_back(server); });
        return servers;
    }
    std::string FileText() { return CScratchFolder::ReadFile(m_scratch / "Quarrow.reg"); }

    CScratchFolder m_scratch;
    CProfile m_profile{u"Quarrow", m_scratch.Path()};
    CRegisteredServerStore m_store{m_profile};
};

} // namespace

TEST(CRegisteredServerStoreKeyTest, KeysAndNamesConvert)
{
    const std::vector<std::pair<std::u16string, std::u16string>> cases = {
        {u"HOST", u"HOST"},
        {u"HOST\\SQL2", u"HOST$*$SQL2"},
        {u"\\\\a\\", u"$*$$*$a$*$"},
        {u"$*", u"$*"},
    };
    for (const auto& [name, key] : cases) {
        EXPECT_EQ(CRegisteredServerStore::ServerKeyFromName(name), key);
        EXPECT_EQ(CRegisteredServerStore::ServerNameFromKey(key), name);
    }
    EXPECT_EQ(CRegisteredServerStore::ServerNameFromKey(u"a$*$$*$b$*"), u"a\\\\b$*");
}

TEST_F(CRegisteredServerStoreTest, LoadingWithoutTheKeyCreatesItEmpty)
{
    EXPECT_TRUE(Load().empty());
    EXPECT_TRUE(m_profile.SectionExists(u"RegisteredServers"));
    EXPECT_NE(FileText().find("[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\"
                              "RegisteredServers]\n"),
              std::string::npos);
}

TEST_F(CRegisteredServerStoreTest, ServerKeyWithoutValuesLoadsWithDefaults)
{
    ASSERT_TRUE(m_profile.CreateSection(u"RegisteredServers\\BARE$*$INST"));
    EXPECT_EQ(Load(), std::vector<RegisteredServer>{Server(u"BARE\\INST", u"", u"", 1)});
}

TEST_F(CRegisteredServerStoreTest, SavesUnderTheServerKeyAndLoadsTheName)
{
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"HOST\\SQL2", u"sa", u"pw", 0)));
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"winhost", u"", u"", 1)));
    EXPECT_EQ(m_profile.GetSubsections(u"RegisteredServers"),
              (std::vector<std::u16string>{u"HOST$*$SQL2", u"winhost"}));
    const std::string text = FileText();
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\RegisteredServers\\"
                        "HOST$*$SQL2]\n"
                        "\"LoginName\"=\"sa\"\n"
                        "\"Password\"=\"pw\"\n"
                        "\"NTauthentication\"=dword:00000000\n"),
              std::string::npos)
        << text;
    // Windows authentication still writes the login and password values.
    EXPECT_NE(text.find("RegisteredServers\\winhost]\n\"LoginName\"=\"\"\n\"Password\"=\"\"\n"
                        "\"NTauthentication\"=dword:00000001\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("DatabaseSetting"), std::string::npos);
    EXPECT_EQ(Load(), (std::vector<RegisteredServer>{Server(u"HOST\\SQL2", u"sa", u"pw", 0),
                                                     Server(u"winhost", u"", u"", 1)}));
}

TEST_F(CRegisteredServerStoreTest, TypedSeparatorComesBackAsBackslash)
{
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"odd$*$name")));
    EXPECT_EQ(Load()[0].m_strServerName, u"odd\\name");
}

TEST_F(CRegisteredServerStoreTest, RegisteringAgainOverwrites)
{
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"HOST", u"a", u"b", 0)));
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"host", u"c", u"", 1)));
    EXPECT_EQ(m_profile.GetSubsections(u"RegisteredServers").size(), 1u);
    // The key keeps the case it was first made with, like the registry's.
    EXPECT_EQ(Load(), std::vector<RegisteredServer>{Server(u"HOST", u"c", u"", 1)});
}

TEST_F(CRegisteredServerStoreTest, TicksSurviveRemovalAndReRegistration)
{
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"HOST\\SQL2")));
    ASSERT_TRUE(m_store.SetDatabaseUsed(u"HOST\\SQL2", u"pubs", 1));
    ASSERT_TRUE(m_store.SetDatabaseUsed(u"HOST\\SQL2", u"master", 0));
    EXPECT_EQ(m_profile.GetProfileInt(u"DatabaseSetting\\HOST$*$SQL2\\pubs", u"Used", 0), 1);
    ASSERT_TRUE(m_profile.CreateSection(u"RegisteredServers\\HOST$*$SQL2\\Extra"));
    ASSERT_TRUE(m_store.DeleteServerRegistration(u"HOST\\SQL2"));
    EXPECT_TRUE(Load().empty());
    EXPECT_FALSE(m_profile.SectionExists(u"RegisteredServers\\HOST$*$SQL2"));
    EXPECT_TRUE(m_store.IsDatabaseUsed(u"HOST\\SQL2", u"pubs"));
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"HOST\\SQL2")));
    EXPECT_TRUE(m_store.IsDatabaseUsed(u"host\\sql2", u"PUBS"));
    EXPECT_FALSE(m_store.IsDatabaseUsed(u"HOST\\SQL2", u"master"));
}

TEST_F(CRegisteredServerStoreTest, OnlyOneIsTicked)
{
    const std::vector<std::pair<int32_t, bool>> cases = {
        {1, true}, {0, false}, {2, false}, {-1, false}};
    for (const auto& [value, ticked] : cases) {
        ASSERT_TRUE(m_store.SetDatabaseUsed(u"S", u"db", value));
        EXPECT_EQ(m_store.IsDatabaseUsed(u"S", u"db"), ticked) << value;
    }
    EXPECT_FALSE(m_store.IsDatabaseUsed(u"S", u"never written"));
    EXPECT_FALSE(m_store.IsDatabaseUsed(u"Nobody", u"db"));
}

TEST_F(CRegisteredServerStoreTest, RemovingAnUnknownServerChangesNothing)
{
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"HOST", u"sa")));
    const std::string before = FileText();
    EXPECT_TRUE(m_store.DeleteServerRegistration(u"OTHER"));
    EXPECT_TRUE(m_store.DeleteServerRegistration(u""));
    EXPECT_EQ(FileText(), before);
}

TEST_F(CRegisteredServerStoreTest, OverlongKeysAreSkippedWithANote)
{
    const std::u16string longest(126, u'a');
    const std::u16string tooLong(127, u'b');
    ASSERT_TRUE(m_profile.WriteProfileString(u"RegisteredServers\\" + longest, u"LoginName", u"x"));
    ASSERT_TRUE(m_profile.WriteProfileString(u"RegisteredServers\\" + tooLong, u"LoginName", u"y"));
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"c")));
    testing::internal::CaptureStderr();
    const auto servers = Load();
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[0].m_strServerName, longest);
    EXPECT_EQ(servers[1].m_strServerName, u"c");
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(std::string(127, 'b')), std::string::npos) << said;
}

TEST_F(CRegisteredServerStoreTest, RoundTripThroughTheFile)
{
    const std::vector<RegisteredServer> servers = {
        Server(u"HOST\\INST", u"dom\\user", u"p\\w\"d]/[x", 0),
        Server(u"sérveur-日本", u"ユーザー", u"pässwörd \U0001F511", 0),
        Server(u"with]bracket/slash\"quote", u"line\nbreak", u"tab\there", 1),
        Server(std::u16string(126, u'Z'), std::u16string(30, u'L'), std::u16string(30, u'P'), 0),
    };
    for (const auto& server : servers)
        ASSERT_TRUE(m_store.SaveServerRegistration(server));
    const std::vector<std::pair<std::u16string, std::u16string>> ticks = {
        {u"HOST\\INST", u"pu\"b]s/x"}, {u"sérveur-日本", u"データ"}, {u"a", u"back\\slash"}};
    for (const auto& [server, database] : ticks)
        ASSERT_TRUE(m_store.SetDatabaseUsed(server, database, 1));

    CProfile reopened(u"Quarrow", m_scratch.Path());
    CRegisteredServerStore again(reopened);
    std::vector<RegisteredServer> loaded;
    again.LoadServerRegistrations([&](const RegisteredServer& s) { loaded.push_back(s); });
    std::vector<RegisteredServer> expected = servers;
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
        return CKeyTree::Fold(CRegisteredServerStore::ServerKeyFromName(a.m_strServerName)) <
               CKeyTree::Fold(CRegisteredServerStore::ServerKeyFromName(b.m_strServerName));
    });
    EXPECT_EQ(loaded, expected);
    for (const auto& [server, database] : ticks)
        EXPECT_TRUE(again.IsDatabaseUsed(server, database));
}

TEST_F(CRegisteredServerStoreTest, BatchOfTicksIsOneRewrite)
{
    std::vector<CRegisteredServerStore::SDatabaseTick> ticks;
    for (int i = 0; i < 300; ++i)
        ticks.push_back(
            {u"S" + std::u16string(1, char16_t(u'0' + i % 3)), u"db" + Number(i), i % 2});
    ASSERT_TRUE(m_store.SetDatabasesUsed(ticks));
    struct stat before
    {
    };
    stat((m_scratch / "Quarrow.reg").c_str(), &before);
    ASSERT_TRUE(m_store.SetDatabasesUsed(ticks));
    struct stat after
    {
    };
    stat((m_scratch / "Quarrow.reg").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino) << "nothing changed, nothing written";
    for (const auto& tick : ticks)
        EXPECT_EQ(m_store.IsDatabaseUsed(tick.m_strServerName, tick.m_strDatabaseName),
                  tick.m_nUsed == 1);
}

TEST_F(CRegisteredServerStoreTest, CallbackMayUseTheStore)
{
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"A")));
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"B")));
    ASSERT_TRUE(m_store.SetDatabaseUsed(u"B", u"db", 1));
    std::vector<bool> seen;
    m_store.LoadServerRegistrations([&](const RegisteredServer& server) {
        seen.push_back(m_store.IsDatabaseUsed(server.m_strServerName, u"db"));
        m_store.SetDatabaseUsed(server.m_strServerName, u"other", 1);
    });
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
}

TEST_F(CRegisteredServerStoreTest, SeveralProcessesWritingAtOnceLoseNothing)
{
    constexpr int kProcesses = 4;
    constexpr int kServers = 15;
    std::vector<pid_t> pids;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        if (pid == 0) {
            CProfile profile(u"Quarrow", m_scratch.Path());
            CRegisteredServerStore store(profile);
            const std::u16string tag(1, char16_t(u'A' + p));
            bool ok = true;
            for (int i = 0; i < kServers; ++i) {
                const std::u16string server = u"HOST" + tag + u"\\I" + Number(i);
                ok = store.SaveServerRegistration(Server(server, tag, tag, 0)) && ok;
                ok = store.SetDatabaseUsed(server, u"single", 1) && ok;
                ok = store.SetDatabasesUsed({{server, u"b1", 1}, {server, u"b2", 1}}) && ok;
                store.LoadServerRegistrations([](const RegisteredServer&) {});
            }
            _exit(ok ? 0 : 1);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto servers = Load();
    EXPECT_EQ(servers.size(), static_cast<size_t>(kProcesses * kServers));
    for (int p = 0; p < kProcesses; ++p) {
        const std::u16string tag(1, char16_t(u'A' + p));
        for (int i = 0; i < kServers; ++i) {
            const std::u16string server = u"HOST" + tag + u"\\I" + Number(i);
            EXPECT_TRUE(std::count(servers.begin(), servers.end(), Server(server, tag, tag, 0)));
            for (const char16_t* db : {u"single", u"b1", u"b2"})
                EXPECT_TRUE(m_store.IsDatabaseUsed(server, db));
        }
    }
}

TEST_F(CRegisteredServerStoreTest, LoadingADamagedFileLeavesItAsItIs)
{
    const std::string text = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\Korvane@Work\\Quarrow\\Other]\n"
                             "\"Name\"=\"caf\xe9\"\n";
    CScratchFolder::WriteFile(m_scratch / "Quarrow.reg", text);
    testing::internal::CaptureStderr();
    Load();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("damaged"), std::string::npos) << said;
    EXPECT_EQ(FileText(), text) << "a reader does not move or rewrite the file";
    for (const auto& entry : fs::directory_iterator(m_scratch.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".damaged-"), std::string::npos);
}

TEST_F(CRegisteredServerStoreTest, EncryptionChoicesRoundTrip)
{
    std::vector<RegisteredServer> servers;
    for (EEncryptionMode mode :
         {EEncryptionMode::Off, EEncryptionMode::Request, EEncryptionMode::Require}) {
        for (bool trust : {false, true}) {
            RegisteredServer server = Server(u"S" + Number(static_cast<int>(servers.size())));
            server.m_encryption = mode;
            server.m_bTrustServerCertificate = trust;
            servers.push_back(server);
            ASSERT_TRUE(m_store.SaveServerRegistration(server));
        }
    }
    CProfile reopened(u"Quarrow", m_scratch.Path());
    EXPECT_EQ(CRegisteredServerStore(reopened).GetServerRegistrations(), servers);
    // Stored as words a person can read and edit.
    const std::string text = FileText();
    EXPECT_NE(text.find("RegisteredServers\\S5]\n\"LoginName\"=\"\"\n\"Password\"=\"\"\n"
                        "\"NTauthentication\"=dword:00000001\n\"Encryption\"=\"require\"\n"
                        "\"TrustServerCertificate\"=dword:00000001\n"),
              std::string::npos)
        << text;
}

TEST_F(CRegisteredServerStoreTest, MissingOrBadEncryptionValuesReadAsTheDefault)
{
    // What older files hold (no values at all) and what a hand edit may leave behind.
    struct SCase
    {
        const char* m_szWhat;
        std::function<void(CProfile&, std::u16string_view)> m_write;
        EEncryptionMode m_expected;
        bool m_bTrusted;
    };
    const SCase cases[] = {
        {"older file", [](CProfile&, std::u16string_view) {}, EEncryptionMode::Request, false},
        {"words in any case",
         [](CProfile& p, std::u16string_view s) {
             p.WriteProfileString(s, u"Encryption", u"REQUIRE");
             p.WriteProfileString(s, u"TrustServerCertificate", u"1");
         },
         EEncryptionMode::Require, true},
        {"unknown word",
         [](CProfile& p, std::u16string_view s) {
             p.WriteProfileString(s, u"Encryption", u"mandatory");
             p.WriteProfileInt(s, u"TrustServerCertificate", 7);
         },
         EEncryptionMode::Request, false},
        {"wrong types",
         [](CProfile& p, std::u16string_view s) {
             p.WriteProfileInt(s, u"Encryption", 2);
             p.WriteProfileString(s, u"TrustServerCertificate", u"yes");
         },
         EEncryptionMode::Request, false},
        {"empty and padded",
         [](CProfile& p, std::u16string_view s) {
             p.WriteProfileString(s, u"Encryption", u" off");
             p.WriteProfileString(s, u"TrustServerCertificate", u"");
         },
         EEncryptionMode::Request, false},
        {"off",
         [](CProfile& p, std::u16string_view s) { p.WriteProfileString(s, u"Encryption", u"off"); },
         EEncryptionMode::Off, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(m_profile.DeleteSection(u"RegisteredServers"));
        const std::u16string section = u"RegisteredServers\\OLD";
        ASSERT_TRUE(m_profile.CreateSection(section));
        ASSERT_TRUE(m_profile.WriteProfileString(section, u"LoginName", u"sa"));
        ASSERT_TRUE(m_profile.WriteProfileInt(section, u"NTauthentication", 0));
        c.m_write(m_profile, section);
        const auto servers = m_store.GetServerRegistrations();
        ASSERT_EQ(servers.size(), 1u) << c.m_szWhat;
        EXPECT_EQ(servers[0].m_strLoginName, u"sa") << c.m_szWhat;
        EXPECT_EQ(servers[0].m_encryption, c.m_expected) << c.m_szWhat;
        EXPECT_EQ(servers[0].m_bTrustServerCertificate, c.m_bTrusted) << c.m_szWhat;
    }
}
