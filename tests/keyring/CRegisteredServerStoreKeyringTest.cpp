#include "catalog/CRegisteredServerStore.h"
#include "platform/CSecretService.h"
#include "platform/Utf.h"
#include "tests/support/CKeyringBuses.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

RegisteredServer Server(std::u16string name, std::u16string login, std::u16string password,
                        int32_t nt = 0)
{
    return RegisteredServer{std::move(name), std::move(login), std::move(password), nt};
}

// A keyring that answers but fails every call, as one that refuses or times out does.
class CFailingKeyring : public ISecretStore
{
public:
    bool IsRunning() override { return true; }
    bool Store(const SSecretKey&, const std::u16string&, std::string& error) override
    {
        error = "refused to store";
        return false;
    }
    ESecretResult Lookup(const SSecretKey&, std::u16string&, std::string& error) override
    {
        error = "refused to look up";
        return ESecretResult::Failed;
    }
    bool Clear(const SSecretKey&, std::string& error) override
    {
        error = "refused to clear";
        return false;
    }
};

// Each test keeps its settings under a root of its own, so the tests share the keyring
// without meeting there.
class CRegisteredServerStoreKeyringTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_strAddress.empty());
        m_profile.SetSecretStore(&m_keyring);
        ASSERT_TRUE(m_keyring.IsRunning()) << m_keyring.GetProbeError();
    }
    static std::u16string TestRoot()
    {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        return u"Quarrow" + std::u16string(name.begin(), name.end());
    }
    std::string FileText() const
    {
        return CScratchFolder::ReadFile(m_scratch / (quarrow::ToUtf8(m_strRoot) + ".reg"));
    }
    static std::vector<RegisteredServer> Load(CRegisteredServerStore& store)
    {
        std::vector<RegisteredServer> servers;
        store.LoadServerRegistrations(
            [&](const RegisteredServer& server) { servers.push_back(server); });
        return servers;
    }
    // What the keyring holds for a server and login, "<none>" or "<failed>".
    std::u16string InKeyring(std::u16string_view server, std::u16string_view login)
    {
        std::u16string secret;
        std::string error;
        const SSecretKey key{m_strRoot,
                             CKeyTree::Fold(CRegisteredServerStore::ServerKeyFromName(server)),
                             std::u16string(login)};
        switch (m_keyring.Lookup(key, secret, error)) {
        case ESecretResult::Found:
            return secret;
        case ESecretResult::NotFound:
            return u"<none>";
        case ESecretResult::Failed:
            break;
        }
        return u"<failed>";
    }

    std::string m_strAddress = KeyringBusAddress();
    std::u16string m_strRoot = TestRoot();
    CScratchFolder m_scratch;
    CSecretService m_keyring{m_strAddress};
    CProfile m_profile{m_strRoot, m_scratch.Path()};
    CRegisteredServerStore m_store{m_profile};
};

} // namespace

TEST_F(CRegisteredServerStoreKeyringTest, PasswordsGoToTheKeyringAndComeBack)
{
    const std::vector<RegisteredServer> servers = {
        Server(u"HOST\\INST", u"sa", u"p\\w\"d]/[x"),
        Server(u"sérveur-日本", u"ユーザー", u"pässwörd \U0001F511"),
        Server(u"winhost", u"dom\\me", u"typed anyway", 1),
    };
    for (const auto& server : servers)
        ASSERT_TRUE(m_store.SaveServerRegistration(server));
    const std::string text = FileText();
    EXPECT_EQ(text.find("\"Password\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"LoginName\"=\"sa\"\n\"NTauthentication\"=dword:00000000\n"),
              std::string::npos)
        << text;
    for (const auto& server : servers)
        EXPECT_EQ(InKeyring(server.m_strServerName, server.m_strLoginName), server.m_strPassword);

    // Another process of the program: the file and the keyring give it all back.
    CSecretService keyring(m_strAddress);
    CProfile reopened(m_strRoot, m_scratch.Path());
    reopened.SetSecretStore(&keyring);
    CRegisteredServerStore again(reopened);
    std::vector<RegisteredServer> expected = {servers[0], servers[1], servers[2]};
    EXPECT_EQ(Load(again), expected);
}

TEST_F(CRegisteredServerStoreKeyringTest, AnOlderFileWithPasswordsKeepsWorking)
{
    ASSERT_TRUE(m_profile.WriteProfileString(u"RegisteredServers\\OLD", u"LoginName", u"sa"));
    ASSERT_TRUE(m_profile.WriteProfileString(u"RegisteredServers\\OLD", u"Password", u"filepw"));
    ASSERT_TRUE(m_profile.WriteProfileInt(u"RegisteredServers\\OLD", u"NTauthentication", 0));
    EXPECT_EQ(Load(m_store), std::vector<RegisteredServer>{Server(u"OLD", u"sa", u"filepw")});
    EXPECT_EQ(InKeyring(u"OLD", u"sa"), u"<none>") << "loading only reads";

    // The file's value wins over the keyring's.
    std::string error;
    ASSERT_TRUE(m_keyring.Store({m_strRoot, u"old", u"sa"}, u"keyringpw", error)) << error;
    EXPECT_EQ(Load(m_store)[0].m_strPassword, u"filepw");

    // Writing the registration moves the password and removes the stale value.
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"OLD", u"sa", u"filepw")));
    EXPECT_EQ(FileText().find("\"Password\""), std::string::npos) << FileText();
    EXPECT_EQ(InKeyring(u"OLD", u"sa"), u"filepw");
    EXPECT_EQ(Load(m_store), std::vector<RegisteredServer>{Server(u"OLD", u"sa", u"filepw")});
}

TEST_F(CRegisteredServerStoreKeyringTest, OneEntryPerRegistrationWhateverTheCase)
{
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"HOST\\SQL2", u"first", u"pw1")));
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"host\\sql2", u"second", u"pw2")));
    EXPECT_EQ(InKeyring(u"HOST\\SQL2", u"first"), u"<none>");
    EXPECT_EQ(InKeyring(u"HOST\\SQL2", u"second"), u"pw2");
    EXPECT_EQ(Load(m_store),
              std::vector<RegisteredServer>{Server(u"HOST\\SQL2", u"second", u"pw2")});

    // An empty password is no secret: the file says so, and the keyring forgets the old one.
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"HOST\\SQL2", u"second", u"", 1)));
    EXPECT_NE(FileText().find("\"Password\"=\"\"\n"), std::string::npos) << FileText();
    EXPECT_EQ(InKeyring(u"HOST\\SQL2", u"second"), u"<none>");
}

TEST_F(CRegisteredServerStoreKeyringTest, RemovingARegistrationClearsItsEntry)
{
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"GONE", u"sa", u"pw")));
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"STAYS", u"sa", u"pw2")));
    ASSERT_TRUE(m_store.SetDatabaseUsed(u"GONE", u"pubs", 1));
    ASSERT_TRUE(m_store.DeleteServerRegistration(u"gone"));
    EXPECT_EQ(InKeyring(u"GONE", u"sa"), u"<none>");
    EXPECT_EQ(InKeyring(u"STAYS", u"sa"), u"pw2");
    EXPECT_TRUE(m_store.IsDatabaseUsed(u"GONE", u"pubs"));
    EXPECT_EQ(Load(m_store), std::vector<RegisteredServer>{Server(u"STAYS", u"sa", u"pw2")});
    EXPECT_TRUE(m_store.DeleteServerRegistration(u"NEVER"));
}

TEST_F(CRegisteredServerStoreKeyringTest, WithoutAKeyringTheFileHoldsThePassword)
{
    const std::string emptyBus = EmptyBusAddress();
    ASSERT_FALSE(emptyBus.empty());
    CSecretService absent(emptyBus);
    struct SCase
    {
        const char* m_name;
        ISecretStore* m_pSecrets;
    };
    for (const SCase& c :
         {SCase{"bus without keyring", &absent}, SCase{"no keyring set", nullptr}}) {
        CScratchFolder scratch;
        CProfile profile(u"Quarrow", scratch.Path());
        profile.SetSecretStore(c.m_pSecrets);
        CRegisteredServerStore store(profile);
        ASSERT_TRUE(store.SaveServerRegistration(Server(u"HOST", u"sa", u"pw")));
        const std::string text = CScratchFolder::ReadFile(scratch / "Quarrow.reg");
        EXPECT_NE(text.find("\"LoginName\"=\"sa\"\n\"Password\"=\"pw\"\n"), std::string::npos)
            << c.m_name << "\n"
            << text;
        struct stat info
        {
        };
        ASSERT_EQ(stat((scratch / "Quarrow.reg").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << c.m_name;
        EXPECT_EQ(Load(store), std::vector<RegisteredServer>{Server(u"HOST", u"sa", u"pw")});
        EXPECT_TRUE(store.DeleteServerRegistration(u"HOST")) << c.m_name;
    }
    EXPECT_FALSE(absent.IsRunning());
}

TEST_F(CRegisteredServerStoreKeyringTest, AKeyringThatIsGoneAtLoadingIsNamed)
{
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"HOST", u"sa", u"pw")));
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"WIN", u"", u"", 1)));
    CSecretService absent(EmptyBusAddress());
    CProfile later(m_strRoot, m_scratch.Path());
    later.SetSecretStore(&absent);
    CRegisteredServerStore store(later);
    testing::internal::CaptureStderr();
    const auto servers = Load(store);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(servers, (std::vector<RegisteredServer>{Server(u"HOST", u"sa", u""),
                                                      Server(u"WIN", u"", u"", 1)}));
    EXPECT_NE(said.find("\"HOST\" is kept in the desktop keyring, which is not running"),
              std::string::npos)
        << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

TEST_F(CRegisteredServerStoreKeyringTest, AFailingKeyringLosesNothing)
{
    CFailingKeyring failing;
    m_profile.SetSecretStore(&failing);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(m_store.SaveServerRegistration(Server(u"HOST", u"sa", u"pw")));
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("\"HOST\" is kept in the settings file: refused to store"),
              std::string::npos)
        << said;
    EXPECT_NE(FileText().find("\"Password\"=\"pw\"\n"), std::string::npos) << FileText();
    EXPECT_EQ(Load(m_store), std::vector<RegisteredServer>{Server(u"HOST", u"sa", u"pw")});

    // A registration whose file holds no password asks the keyring, which fails aloud.
    ASSERT_TRUE(m_profile.GetStore().DeleteValue(u"RegisteredServers\\HOST", u"Password"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(Load(m_store), std::vector<RegisteredServer>{Server(u"HOST", u"sa", u"")});
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("no password for the registered server \"HOST\": refused to look up"),
              std::string::npos)
        << said;

    // Removal removes the registration, and says what stayed behind.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_store.DeleteServerRegistration(u"HOST"));
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("stays in the desktop keyring: refused to clear"), std::string::npos)
        << said;
    EXPECT_TRUE(Load(m_store).empty());
}
