// The live library through the real driver manager and FreeTDS, against the TDS test server
// (path in $QUARROW_TDS_SERVER) serving a catalogue written here. The snapshot library reading
// the same file is the reference: a live server must give what the snapshot gives.

#include "catalog/CLiveLibrary.h"

#include "catalog/CSnapshotLibrary.h"
#include "catalog/CSnapshotWriter.h"
#include "platform/Utf.h"
#include "search/CDatabaseObjectFind.h"
#include "search/SearchRun.h"
#include "tests/support/CBrowserResponder.h"
#include "tests/support/CScopedEnvironment.h"
#include "tests/support/CScratchFolder.h"
#include "tests/support/CTdsTestServer.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using quarrow::FromAscii;
using quarrow::FromUtf8;
using quarrow::ToUtf8;

struct SFileObject
{
    const char* m_szName;
    int m_nCode;
    const char* m_szTypeName;
    const char* m_szCreated;
    std::optional<std::string> m_script;
};

class CLiveLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* binary = std::getenv("QUARROW_TDS_SERVER");
        if (binary == nullptr || access(binary, X_OK) != 0) {
            GTEST_SKIP() << "QUARROW_TDS_SERVER does not name the TDS test server";
        }
        m_strServer = binary;
    }

    // A catalogue with the awkward cases a server can hand us.
    std::string WriteCatalogue(const char* flavour)
    {
        const bool modern = std::string(flavour) == "modern";
        std::string big = "CREATE PROCEDURE big AS\n";
        while (big.size() < 2500000) {
            big += "-- \xc3\xb6\xe2\x82\xac\xf0\x9d\x84\x9e line of a long procedure\n";
        }
        big += "SELECT 'NEEDLE'";
        const std::vector<SFileObject> objects = {
            {"Orders", 8, "User Table", modern ? "2014-05-15 10:20:00" : "May  5 2014 10:20AM",
             std::string("CREATE TABLE [dbo].[Orders] (\r\n    [Id] [int] NOT NULL\r\n)")},
            {"sales.Orders", 8, "User Table",
             modern ? "2015-01-02 03:04:05" : "Jan  2 2015  3:04AM",
             std::string("CREATE TABLE [sales].[Orders] (\r\n    [Id] [int] NULL\r\n)")},
            {"usp_Secret", 16, "Stored Procedure",
             modern ? "2016-01-01 00:00:00" : "Jan  1 2016 12:00AM", std::nullopt},
            {"usp_Big", 16, "Stored Procedure",
             modern ? "2016-02-02 00:00:00" : "Feb  2 2016 12:00AM", big},
            {"vw_Empty", 4, "View", "not a date at all", std::string()},
            {"tr_Audit", 256, "Trigger", modern ? "2017-03-03 13:14:15" : "Mar  3 2017  1:14PM",
             std::string("CREATE TRIGGER tr_Audit ON Orders FOR INSERT AS SELECT 1")},
        };
        const std::string path = (m_scratch / (std::string(flavour) + ".qcat")).string();
        CSnapshotWriter writer;
        EXPECT_TRUE(writer.Create(path, flavour, "LIVE", "2024-01-01T00:00:00"));
        for (const char* database : {"Sales", "Locked", "Empty"}) {
            const auto id = writer.AddDatabase(database);
            if (std::string(database) == "Empty") {
                continue;
            }
            for (const auto& o : objects) {
                std::optional<std::string_view> script;
                if (o.m_script) {
                    script = *o.m_script;
                }
                EXPECT_TRUE(writer.AddObject(id, o.m_szName, o.m_nCode, o.m_szTypeName,
                                             o.m_szCreated, script));
            }
        }
        EXPECT_TRUE(writer.Commit()) << writer.GetError();
        return path;
    }

    static std::shared_ptr<IServer> Connect(ILibrary& library, const std::u16string& name)
    {
        auto server = library.CreateServer();
        server->SetLoginTimeout(10);
        server->SetLoginSecure(false);
        if (!server->Connect(name, u"sa", u"secret")) {
            ADD_FAILURE() << ToUtf8(server->GetLastError());
            return nullptr;
        }
        return server;
    }

    static std::shared_ptr<IDatabase> Database(IServer& server, long position, EFlavour flavour)
    {
        auto unknown = server.GetDatabase(position);
        return unknown ? unknown->QueryDatabase(flavour) : nullptr;
    }

    CScratchFolder m_scratch;
    std::string m_strServer;
};

TEST_F(CLiveLibraryTest, LiveServerGivesWhatTheSnapshotGives)
{
    for (EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        const auto path = WriteCatalogue(flavour == EFlavour::Modern ? "modern" : "legacy");
        CTdsTestServer process(m_strServer, {"--catalogue", path, "--unopenable", "Locked"});
        ASSERT_NE(process.GetPort(), 0);
        CLiveLibrary live(flavour);
        CSnapshotLibrary snapshot(flavour);
        auto liveServer = Connect(live, process.Name());
        auto fileServer = Connect(snapshot, FromUtf8(path));
        ASSERT_TRUE(liveServer && fileServer);
        std::u16string name;
        EXPECT_TRUE(liveServer->GetName(name));
        EXPECT_EQ(name, process.Name());
        ASSERT_EQ(liveServer->GetDatabaseCount(), 3);

        auto sales = Database(*liveServer, 0, flavour);
        auto reference = Database(*fileServer, 0, flavour);
        ASSERT_TRUE(sales && reference);
        EXPECT_EQ(sales->GetParentServer(), liveServer);
        auto list = sales->ListObjects(ObjectType::All, 0);
        auto expected = reference->ListObjects(ObjectType::All, 0);
        ASSERT_TRUE(list && expected);
        ASSERT_EQ(list->GetCount(), expected->GetCount());
        // Scripts read in list order (one stream), then each again on its own (one query).
        for (int pass = 0; pass < 2; ++pass) {
            for (long i = 0; i < list->GetCount(); ++i) {
                auto object = list->GetItem(i)->QueryDatabaseObject(flavour);
                auto want = expected->GetItem(i)->QueryDatabaseObject(flavour);
                ASSERT_TRUE(object && want);
                std::u16string a;
                std::u16string b;
                EXPECT_EQ(object->GetName(a), want->GetName(b));
                EXPECT_EQ(a, b);
                EXPECT_EQ(object->GetTypeName(a), want->GetTypeName(b));
                EXPECT_EQ(a, b);
                EXPECT_EQ(object->GetCreateDate(a), want->GetCreateDate(b));
                EXPECT_EQ(a, b);
                a.clear();
                b.clear();
                const bool hasScript = want->Script(b);
                EXPECT_EQ(object->HasScript(), hasScript) << ToUtf8(b.substr(0, 40));
                EXPECT_EQ(object->Script(a), hasScript);
                EXPECT_EQ(a.size(), b.size());
                EXPECT_TRUE(a == b) << "script of item " << i;
            }
        }
        // The database the login may not open gives no list, and says why.
        auto locked = Database(*liveServer, 1, flavour);
        ASSERT_TRUE(locked);
        EXPECT_EQ(locked->ListObjects(ObjectType::All, 0), nullptr);
        EXPECT_NE(ToUtf8(locked->GetLastError()).find("916"), std::string::npos)
            << ToUtf8(locked->GetLastError());
        auto empty = Database(*liveServer, 2, flavour);
        auto none = empty->ListObjects(ObjectType::StoredProcedure, 0);
        ASSERT_TRUE(none);
        EXPECT_EQ(none->GetCount(), 0);
        // After the lists are gone a script is still read (View Source).
        auto again = sales->ListObjects(ObjectType::Trigger, 0);
        ASSERT_TRUE(again);
        ASSERT_EQ(again->GetCount(), 1);
        auto trigger = again->GetItem(0)->QueryDatabaseObject(flavour);
        again.reset();
        list.reset();
        std::u16string script;
        EXPECT_TRUE(trigger->Script(script));
        EXPECT_EQ(script, u"CREATE TRIGGER tr_Audit ON Orders FOR INSERT AS SELECT 1");
    }
}

TEST_F(CLiveLibraryTest, StopReachesTheScriptStream)
{
    const auto path = WriteCatalogue("modern");
    const auto log = m_scratch / "server.log";
    CTdsTestServer process(m_strServer,
                           {"--catalogue", path, "--slow-rows", "300", "--log", log.string()});
    ASSERT_NE(process.GetPort(), 0);
    CLiveLibrary live(EFlavour::Modern);
    auto server = Connect(live, process.Name());
    ASSERT_TRUE(server);
    auto database = Database(*server, 0, EFlavour::Modern);
    ASSERT_TRUE(database);

    CDatabaseObjectFind find;
    find.AttachSQLDMODatabase(database);
    find.m_strText = u"NEEDLE";
    DatabaseObjectList matches;
    std::thread worker([&] { find.FindSQLDMOObjects(ObjectType::All, matches); });
    // Once the scripts are streaming (every row takes 300 ms), stop.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (CScratchFolder::ReadFile(log).find("quarrow:scripts") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    {
        std::lock_guard lock(g_searchLock);
        find.Cancel();
    }
    worker.join();
    // The statement was interrupted on the wire, not read to its end.
    const auto text = CScratchFolder::ReadFile(log);
    EXPECT_NE(text.find("quarrow:scripts"), std::string::npos) << text;
    EXPECT_NE(text.find("attention"), std::string::npos) << text;
    EXPECT_TRUE(matches.empty());
    EXPECT_TRUE(find.m_strListError.empty());
}

TEST_F(CLiveLibraryTest, RefusedLoginNamesTheLogin)
{
    const auto path = WriteCatalogue("modern");
    CTdsTestServer process(m_strServer, {"--catalogue", path, "--refuse-login"});
    ASSERT_NE(process.GetPort(), 0);
    CLiveLibrary live(EFlavour::Modern);
    auto server = live.CreateServer();
    server->SetLoginTimeout(10);
    server->SetLoginSecure(false);
    EXPECT_FALSE(server->Connect(process.Name(), u"reporter", u"wrong"));
    const auto reason = ToUtf8(server->GetLastError());
    EXPECT_NE(reason.find("refused the login 'reporter'"), std::string::npos) << reason;
    EXPECT_NE(reason.find("18456"), std::string::npos) << reason;
    EXPECT_EQ(reason.find("wrong"), std::string::npos) << reason;
}

// Integrated login without a Kerberos ticket stops before the driver is asked: the server
// hears nothing, and the reason says what to do.
TEST_F(CLiveLibraryTest, IntegratedLoginWithoutATicketSaysRunKinit)
{
    const auto path = WriteCatalogue("modern");
    const auto log = m_scratch / "server.log";
    CTdsTestServer process(m_strServer, {"--catalogue", path, "--log", log.string()});
    ASSERT_NE(process.GetPort(), 0);
    const std::string cache = "FILE:" + (m_scratch / "no-such-cache").string();
    const char* old = std::getenv("KRB5CCNAME");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("KRB5CCNAME", cache.c_str(), 1);
    for (EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        CLiveLibrary live(flavour);
        auto server = live.CreateServer();
        server->SetLoginTimeout(10);
        server->SetLoginSecure(true);
        EXPECT_FALSE(server->Connect(process.Name(), u"", u""));
        const auto reason = ToUtf8(server->GetLastError());
        EXPECT_TRUE(reason.starts_with("'" + process.NameUtf8() +
                                       "' cannot use integrated login: no Kerberos ticket: run "
                                       "kinit"))
            << reason;
        EXPECT_NE(reason.find(cache + " holds no tickets"), std::string::npos) << reason;
    }
    if (saved) {
        setenv("KRB5CCNAME", saved->c_str(), 1);
    } else {
        unsetenv("KRB5CCNAME");
    }
    // A SQL login on the same server still gets through, and is the only one it saw.
    CLiveLibrary live(EFlavour::Modern);
    ASSERT_TRUE(Connect(live, process.Name()));
    const auto text = CScratchFolder::ReadFile(log);
    EXPECT_NE(text.find("login: sa"), std::string::npos) << text;
    EXPECT_EQ(text.find("(integrated)"), std::string::npos) << text;
}

// Through the real driver: a password with the connection string's own characters arrives
// whole. (A password with both ';' and '}' cannot pass FreeTDS 1.3 at all.)
TEST_F(CLiveLibraryTest, PasswordsWithConnectionStringCharactersLogIn)
{
    const auto path = WriteCatalogue("modern");
    for (const std::string password :
         {"Pa55word", "a}b", "p;w d", " lead", "{brace", "x=y;z", "tr\xc3\xa9s"}) {
        CTdsTestServer process(m_strServer, {"--catalogue", path, "--login", "sa:" + password});
        ASSERT_NE(process.GetPort(), 0);
        CLiveLibrary live(EFlavour::Modern);
        auto server = live.CreateServer();
        server->SetLoginTimeout(10);
        server->SetLoginSecure(false);
        EXPECT_TRUE(server->Connect(process.Name(), u"sa", FromUtf8(password)))
            << password << ": " << ToUtf8(server->GetLastError());
        EXPECT_FALSE(live.CreateServer()->Connect(process.Name(), u"sa", FromUtf8(password + "x")));
    }
}

// HOST\INSTANCE: the port is asked of the SQL Server Browser (the responder on 127.0.0.1),
// and FreeTDS is given host and port, so it asks nobody itself (nothing else answers).
TEST_F(CLiveLibraryTest, NamedInstanceIsReachedThroughTheBrowser)
{
    const auto path = WriteCatalogue("modern");
    CTdsTestServer process(m_strServer, {"--catalogue", path});
    ASSERT_NE(process.GetPort(), 0);
    CBrowserResponder browser;
    ASSERT_NE(browser.GetPort(), 0);
    browser.SetInstances({{"QTEST", "INST", process.GetPort()}, {"QTEST", "PIPES", 0}});
    CScopedEnvironment environment;
    environment.Set("QUARROW_BROWSER_ADDRESS", browser.Address());

    CLiveLibrary live(EFlavour::Modern);
    auto server = Connect(live, u"127.0.0.1\\INST");
    ASSERT_TRUE(server);
    std::u16string name;
    ASSERT_TRUE(server->GetName(name));
    EXPECT_EQ(name, u"127.0.0.1\\INST");
    EXPECT_EQ(server->GetDatabaseCount(), 3);
    EXPECT_GE(browser.GetRequests(), 1);

    struct SCase
    {
        std::u16string m_strName;
        bool m_bSilent;
        const char* m_szReason;
    };
    const SCase failures[] = {
        {u"127.0.0.1\\OTHER", false,
         "'127.0.0.1\\OTHER' cannot be reached: the SQL Server Browser on 127.0.0.1 does not "
         "know instance OTHER"},
        {u"127.0.0.1\\PIPES", false,
         "knows instance PIPES, but the instance does not listen on "
         "TCP/IP"},
        {u"127.0.0.1\\INST", true,
         "the SQL Server Browser on 127.0.0.1 did not answer for instance INST within 2 seconds"},
    };
    for (const auto& c : failures) {
        browser.SetSilent(c.m_bSilent);
        auto failed = live.CreateServer();
        failed->SetLoginTimeout(10);
        failed->SetLoginSecure(false);
        EXPECT_FALSE(failed->Connect(c.m_strName, u"sa", u"secret")) << ToUtf8(c.m_strName);
        const auto reason = ToUtf8(failed->GetLastError());
        EXPECT_NE(reason.find(c.m_szReason), std::string::npos) << reason;
    }
    // A port given with the instance needs no browser.
    EXPECT_TRUE(Connect(live, u"127.0.0.1\\ANY," + FromAscii(std::to_string(process.GetPort()))));
}

TEST_F(CLiveLibraryTest, ModernLibraryLeavesOldServersToTheLegacyOne)
{
    const auto path = WriteCatalogue("legacy");
    CTdsTestServer process(m_strServer, {"--catalogue", path});
    ASSERT_NE(process.GetPort(), 0);
    CLiveLibrary modern(EFlavour::Modern);
    auto server = modern.CreateServer();
    server->SetLoginTimeout(10);
    server->SetLoginSecure(false);
    EXPECT_FALSE(server->Connect(process.Name(), u"sa", u"x"));
    EXPECT_NE(ToUtf8(server->GetLastError()).find("older than SQL Server 2005"), std::string::npos)
        << ToUtf8(server->GetLastError());
    CLiveLibrary legacy(EFlavour::Legacy);
    EXPECT_TRUE(Connect(legacy, process.Name()));
}

} // namespace
