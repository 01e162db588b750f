#include "platform/CSecretService.h"

#include "tests/support/CKeyringBuses.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

SSecretKey Key(std::u16string root, std::u16string server, std::u16string login)
{
    return SSecretKey{std::move(root), std::move(server), std::move(login)};
}

std::u16string LookupOrMark(CSecretService& service, const SSecretKey& key)
{
    std::u16string secret;
    std::string error;
    switch (service.Lookup(key, secret, error)) {
    case ESecretResult::Found:
        return secret;
    case ESecretResult::NotFound:
        return u"<none>";
    case ESecretResult::Failed:
        break;
    }
    return u"<failed: " + std::u16string(error.begin(), error.end()) + u">";
}

// Restores one environment variable at the end of a test.
class CSavedVariable
{
public:
    explicit CSavedVariable(const char* name) : m_name(name)
    {
        if (const char* value = getenv(name))
            m_value = value;
    }
    ~CSavedVariable()
    {
        if (m_value)
            setenv(m_name, m_value->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_value;
};

} // namespace

TEST(CSecretServiceTest, StoresLooksUpReplacesAndClears)
{
    const std::string address = KeyringBusAddress();
    ASSERT_FALSE(address.empty());
    CSecretService service(address);
    ASSERT_TRUE(service.IsRunning()) << service.GetProbeError();

    struct SCase
    {
        SSecretKey m_key;
        std::u16string m_strSecret;
    };
    const std::vector<SCase> cases = {
        {Key(u"StoreRoot", u"host", u"sa"), u"pw"},
        {Key(u"StoreRoot", u"host$*$inst", u"dom\\user"), u"p;w}d{ \"'"},
        {Key(u"StoreRoot", u"sérveur-日本", u"ユーザー"), u"pässwörd \U0001F511"},
        {Key(u"StoreRoot", u"empty-login", u""), std::u16string(128, u'x')},
        {Key(u"OtherRoot", u"host", u"sa"), u"another root"},
    };
    std::string error;
    for (const auto& c : cases)
        ASSERT_TRUE(service.Store(c.m_key, c.m_strSecret, error)) << error;
    for (const auto& c : cases)
        EXPECT_EQ(LookupOrMark(service, c.m_key), c.m_strSecret);

    // Storing again replaces; another login of the same server replaces the first one's.
    ASSERT_TRUE(service.Store(Key(u"StoreRoot", u"host", u"sa"), u"second", error)) << error;
    EXPECT_EQ(LookupOrMark(service, Key(u"StoreRoot", u"host", u"sa")), u"second");
    ASSERT_TRUE(service.Store(Key(u"StoreRoot", u"host", u"admin"), u"third", error)) << error;
    EXPECT_EQ(LookupOrMark(service, Key(u"StoreRoot", u"host", u"sa")), u"<none>");
    EXPECT_EQ(LookupOrMark(service, Key(u"StoreRoot", u"host", u"admin")), u"third");
    // Names are matched exactly: the store folds server keys before they get here.
    EXPECT_EQ(LookupOrMark(service, Key(u"StoreRoot", u"HOST", u"admin")), u"<none>");
    EXPECT_EQ(LookupOrMark(service, Key(u"OtherRoot", u"host", u"sa")), u"another root");

    // Clearing takes every login of the server, and only that server of that root.
    ASSERT_TRUE(service.Clear(Key(u"StoreRoot", u"host", u"whoever"), error)) << error;
    EXPECT_EQ(LookupOrMark(service, Key(u"StoreRoot", u"host", u"admin")), u"<none>");
    EXPECT_EQ(LookupOrMark(service, Key(u"OtherRoot", u"host", u"sa")), u"another root");
    EXPECT_EQ(LookupOrMark(service, cases[1].m_key), cases[1].m_strSecret);
    EXPECT_TRUE(service.Clear(Key(u"StoreRoot", u"never stored", u""), error)) << error;
    for (const auto& c : cases)
        EXPECT_TRUE(service.Clear(c.m_key, error)) << error;
    EXPECT_EQ(LookupOrMark(service, cases[2].m_key), u"<none>");
}

TEST(CSecretServiceTest, ABusWithoutKeyringStartsNone)
{
    const std::string address = EmptyBusAddress();
    ASSERT_FALSE(address.empty());
    CSecretService service(address, 5000);
    EXPECT_FALSE(service.IsRunning());
    EXPECT_NE(service.GetProbeError().find("org.freedesktop.secrets"), std::string::npos)
        << service.GetProbeError();
    // Asked directly, the keyring calls fail rather than have the bus start a keyring (which
    // would answer "not found" from an empty one).
    ASSERT_FALSE(KeyringBusAddress().empty()); // the session bus, with a keyring on it
    const SSecretKey key = Key(u"Root", u"host", u"sa");
    std::u16string secret;
    std::string error;
    EXPECT_EQ(service.Lookup(key, secret, error), ESecretResult::Failed);
    EXPECT_NE(error.find("no keyring is running"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(service.Store(key, u"pw", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(CSecretService(address).IsRunning());
}

TEST(CSecretServiceTest, NoUsableBusMeansNoKeyring)
{
    CScratchFolder scratch;
    // A socket that takes connections and never answers.
    const std::string silentPath = (scratch / "silent").string();
    const int silent = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(silent, 0);
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    ASSERT_LT(silentPath.size(), sizeof where.sun_path);
    silentPath.copy(where.sun_path, silentPath.size());
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&where), sizeof where), 0);
    ASSERT_EQ(listen(silent, 4), 0);

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"unix:path=" + (scratch / "nothing").string(), "cannot reach the session bus"},
        {"autolaunch:", "asks for a bus to be started"},
        {"nonsense", "cannot reach the session bus"},
        {"unix:path=" + silentPath, "no answer within"},
    };
    for (const auto& [address, said] : cases) {
        CSecretService service(address);
        EXPECT_FALSE(service.IsRunning()) << address;
        EXPECT_NE(service.GetProbeError().find(said), std::string::npos)
            << address << ": " << service.GetProbeError();
        // The answer is kept: a second question costs nothing.
        EXPECT_FALSE(service.IsRunning());
    }
    close(silent);
}

TEST(CSecretServiceTest, SessionBusComesFromTheEnvironmentOnly)
{
    CSavedVariable savedAddress("DBUS_SESSION_BUS_ADDRESS");
    CSavedVariable savedRuntime("XDG_RUNTIME_DIR");
    CScratchFolder scratch;
    const std::filesystem::path runtime = scratch / "run time";
    std::filesystem::create_directories(runtime);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    const std::string socketPath = (runtime / "bus").string();
    socketPath.copy(where.sun_path, socketPath.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where), 0);
    const std::filesystem::path plain = scratch / "plain";
    std::filesystem::create_directories(plain);
    CScratchFolder::WriteFile(plain / "bus", "not a socket");

    struct SCase
    {
        const char* m_address; // nullptr: unset
        std::string m_strRuntime;
        std::string m_strExpected;
    };
    const std::vector<SCase> cases = {
        {"unix:path=/somewhere", runtime.string(), "unix:path=/somewhere"},
        {nullptr, runtime.string(), "unix:path=" + (scratch.Path() / "run%20time/bus").string()},
        {"", runtime.string(), "unix:path=" + (scratch.Path() / "run%20time/bus").string()},
        {nullptr, plain.string(), ""},
        {nullptr, (scratch / "missing").string(), ""},
        {nullptr, "", ""},
    };
    for (const auto& c : cases) {
        if (c.m_address)
            setenv("DBUS_SESSION_BUS_ADDRESS", c.m_address, 1);
        else
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        setenv("XDG_RUNTIME_DIR", c.m_strRuntime.c_str(), 1);
        EXPECT_EQ(CSecretService::SessionBusAddress(), c.m_strExpected)
            << (c.m_address ? c.m_address : "(unset)") << " " << c.m_strRuntime;
    }
    close(fd);
}
