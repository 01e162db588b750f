#include "catalog/CDispatchLibrary.h"

#include "catalog/CObjectModel.h"
#include "platform/Utf.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using quarrow::FromAscii;
using quarrow::ToUtf8;

// What a library's server was told, for the dispatcher's tests.
struct SSeen
{
    std::vector<std::u16string> m_connects;
    std::optional<int> m_nTimeout;
    std::optional<bool> m_bIntegrated;
    std::u16string m_strLogin;
    std::u16string m_strPassword;
    std::optional<SConnectOptions> m_options;
};

class CRecordingServer : public IServer
{
public:
    CRecordingServer(SSeen& seen, bool accept) : m_seen(seen), m_bAccept(accept) {}
    EFlavour GetFlavour() const override { return EFlavour::Modern; }
    void SetLoginTimeout(int seconds) override { m_seen.m_nTimeout = seconds; }
    void SetLoginSecure(bool integrated) override { m_seen.m_bIntegrated = integrated; }
    void SetConnectOptions(const SConnectOptions& options) override { m_seen.m_options = options; }
    bool Connect(const std::u16string& server, const std::u16string& login,
                 const std::u16string& password) override
    {
        m_seen.m_connects.push_back(server);
        m_seen.m_strLogin = login;
        m_seen.m_strPassword = password;
        m_strName = server;
        return m_bAccept;
    }
    std::u16string GetLastError() const override { return m_bAccept ? u"" : u"refused here"; }
    bool GetName(std::u16string& name) override
    {
        name = m_strName;
        return true;
    }
    long GetDatabaseCount() override { return 3; }
    std::shared_ptr<IModelUnknown> GetDatabase(long) override { return nullptr; }

private:
    SSeen& m_seen;
    bool m_bAccept;
    std::u16string m_strName;
};

// An application with a fixed list, a failure and an error of its own.
class CListingApplication : public IApplication
{
public:
    CListingApplication(std::vector<std::u16string> names, bool fails, std::u16string error)
        : m_names(std::move(names)), m_bFails(fails), m_strError(std::move(error))
    {}
    bool ListAvailableServers(std::vector<std::u16string>& names) override
    {
        names = m_bFails ? std::vector<std::u16string>{} : m_names;
        return !m_bFails;
    }
    std::u16string GetLastError() const override { return m_strError; }

private:
    std::vector<std::u16string> m_names;
    bool m_bFails;
    std::u16string m_strError;
};

class CRecordingLibrary : public ILibrary
{
public:
    explicit CRecordingLibrary(bool accept = true) : m_bAccept(accept) {}
    EFlavour GetFlavour() const override { return EFlavour::Modern; }
    std::shared_ptr<IServer> CreateServer() override
    {
        return std::make_shared<CRecordingServer>(m_seen, m_bAccept);
    }
    std::shared_ptr<IApplication> CreateApplication() override { return m_pApplication; }

    SSeen m_seen;
    std::shared_ptr<IApplication> m_pApplication;

private:
    bool m_bAccept;
};

TEST(CDispatchLibrary, ServerListsAreMergedSortedAndWithoutDuplicates)
{
    struct SCase
    {
        const char* m_szWhat;
        bool m_bSnapshotsFail;
        bool m_bLiveFails;
        bool m_bCancelled;
        bool m_bAnswer;
        std::vector<std::u16string> m_expected;
        const char* m_szError;
    };
    const SCase cases[] = {
        {"both",
         false,
         false,
         false,
         true,
         {u"alpha", u"demo.qcat", u"SQL01", u"SQL01\\SALES", u"zulu"},
         "browser silent"},
        {"live fails", false, true, false, true, {u"demo.qcat", u"SQL01"}, "browser silent"},
        {"both fail", true, true, false, false, {}, "browser silent"},
        {"cancelled", false, false, true, false, {}, "browser silent"},
    };
    for (const auto& c : cases) {
        auto snapshots = std::make_shared<CRecordingLibrary>();
        auto live = std::make_shared<CRecordingLibrary>();
        snapshots->m_pApplication = std::make_shared<CListingApplication>(
            std::vector<std::u16string>{u"SQL01", u"demo.qcat"}, c.m_bSnapshotsFail, u"");
        live->m_pApplication = std::make_shared<CListingApplication>(
            std::vector<std::u16string>{u"zulu", u"SQL01\\SALES", u"sql01", u"alpha"},
            c.m_bLiveFails, u"browser silent");
        CDispatchLibrary library(EFlavour::Modern, snapshots, live);
        auto application = library.CreateApplication();
        std::atomic<bool> cancel{c.m_bCancelled};
        std::vector<std::u16string> names;
        EXPECT_EQ(application->ListAvailableServersUntil(names, &cancel), c.m_bAnswer)
            << c.m_szWhat;
        if (c.m_bAnswer) {
            EXPECT_EQ(names, c.m_expected) << c.m_szWhat;
        }
        EXPECT_EQ(ToUtf8(application->GetLastError()), c.m_szError) << c.m_szWhat;
    }
}

TEST(CDispatchLibrary, SnapshotNamesGoToTheSnapshotLibraryAndOthersToTheLiveOne)
{
    auto snapshots = std::make_shared<CRecordingLibrary>();
    auto live = std::make_shared<CRecordingLibrary>();
    CDispatchLibrary library(EFlavour::Modern, snapshots, live);
    const std::pair<std::u16string, bool> cases[] = {
        {u"demo.qcat", true},     {u"/tmp/x/old.qcat", true}, {u"SQL01", false},
        {u"SQL01\\SALES", false}, {u"127.0.0.1,1433", false}, {u"qcat", false},
        {u".qcat", false}, // nothing before the suffix: not a file name
    };
    for (const auto& [name, isSnapshot] : cases) {
        auto server = library.CreateServer();
        ASSERT_TRUE(server->Connect(name, u"", u""));
        const auto& seen = isSnapshot ? snapshots->m_seen : live->m_seen;
        ASSERT_FALSE(seen.m_connects.empty());
        EXPECT_EQ(seen.m_connects.back(), name) << ToUtf8(name);
        std::u16string serverName;
        EXPECT_TRUE(server->GetName(serverName));
        EXPECT_EQ(serverName, name);
        EXPECT_EQ(server->GetDatabaseCount(), 3);
    }
    EXPECT_EQ(snapshots->m_seen.m_connects.size(), 2u);
    EXPECT_EQ(live->m_seen.m_connects.size(), 5u);
}

TEST(CDispatchLibrary, LoginSettingsAndFailuresPassThrough)
{
    auto snapshots = std::make_shared<CRecordingLibrary>();
    auto live = std::make_shared<CRecordingLibrary>(false);
    CDispatchLibrary library(EFlavour::Modern, snapshots, live);
    auto server = library.CreateServer();
    server->SetLoginTimeout(20);
    server->SetLoginSecure(false);
    server->SetConnectOptions({EEncryptionMode::Require, true});
    EXPECT_FALSE(server->Connect(u"SQL01", u"reporter", u"pw"));
    EXPECT_EQ(live->m_seen.m_nTimeout, 20);
    EXPECT_EQ(live->m_seen.m_options, (SConnectOptions{EEncryptionMode::Require, true}));
    EXPECT_EQ(live->m_seen.m_bIntegrated, false);
    EXPECT_EQ(live->m_seen.m_strLogin, u"reporter");
    EXPECT_EQ(live->m_seen.m_strPassword, u"pw");
    EXPECT_EQ(server->GetLastError(), u"refused here");
    std::u16string name;
    EXPECT_FALSE(server->GetName(name));
    EXPECT_EQ(server->GetDatabaseCount(), 0);
    EXPECT_EQ(server->GetDatabase(0), nullptr);
}

TEST(CDispatchLibrary, MissingLiveLibraryIsAReasonNotACrash)
{
    CDispatchLibrary library(EFlavour::Legacy, std::make_shared<CRecordingLibrary>(), nullptr);
    auto server = library.CreateServer();
    EXPECT_FALSE(server->Connect(u"SQL01", u"", u""));
    EXPECT_NE(ToUtf8(server->GetLastError()).find("no library"), std::string::npos);
    CDispatchLibrary none(EFlavour::Legacy, nullptr, nullptr);
    EXPECT_EQ(none.CreateServer(), nullptr);
}

// The shipped defaults send a live name to the ODBC library: its reason is about the
// network, not about snapshot files.
TEST(CDispatchLibrary, DefaultLibrariesReachLiveServers)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    const auto name = u"127.0.0.1," + FromAscii(std::to_string(ntohs(address.sin_port)));

    CObjectModel::UseDefaultLibraries();
    auto server = CObjectModel::GetLibrary(EFlavour::Modern)->CreateServer();
    server->SetLoginTimeout(5);
    EXPECT_FALSE(server->Connect(name, u"sa", u"x"));
    const auto reason = ToUtf8(server->GetLastError());
    EXPECT_NE(reason.find("nothing accepts connections"), std::string::npos) << reason;
    EXPECT_EQ(reason.find("snapshot"), std::string::npos) << reason;
    close(fd);
}

} // namespace
