// The SQL Server Browser client over real UDP sockets, against the test responder on
// 127.0.0.1: answers gathered, silence, floods, hostile datagrams, cancel, and the lookup of
// one instance's port. Nothing here is sent anywhere but 127.0.0.1.

#include "catalog/CServerBrowser.h"

#include "platform/Utf.h"
#include "tests/support/CBrowserResponder.h"
#include "tests/support/CScopedEnvironment.h"

#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace {

using quarrow::ToUtf8;

std::set<std::string> Names(const SBrowserGathering& gathering)
{
    std::set<std::string> names;
    for (const auto& instance : gathering.m_instances) {
        names.insert(ToUtf8(CBrowserAnswer::DisplayName(instance)));
    }
    return names;
}

class CServerBrowserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(m_responder.GetPort(), 0) << "no UDP socket on 127.0.0.1";
        m_responder.SetInstances(
            {{"SQL01", "SALES", 50123}, {"SQL01", "MSSQLSERVER", 1433}, {"SQL02", "HR", 0}});
        std::u16string reason;
        ASSERT_TRUE(CServerBrowser::ParseAddress(m_responder.Address(), m_endpoint, reason));
        m_environment.Set(CServerBrowser::kAddressVariable, m_responder.Address());
    }

    CBrowserResponder m_responder;
    SBrowserEndpoint m_endpoint;
    CScopedEnvironment m_environment;
};

TEST_F(CServerBrowserTest, ListGathersTheAnswers)
{
    SBrowserEndpoint endpoint;
    std::u16string reason;
    ASSERT_TRUE(CServerBrowser::ListEndpoint(endpoint, reason)) << ToUtf8(reason);
    EXPECT_EQ(endpoint.m_strHost, "127.0.0.1");
    EXPECT_FALSE(endpoint.m_bBroadcast);
    const auto gathering = CServerBrowser::List(endpoint, 300, nullptr);
    EXPECT_EQ(gathering.m_strError, u"");
    EXPECT_EQ(gathering.m_nAnswers, 1u);
    EXPECT_EQ(Names(gathering), (std::set<std::string>{"SQL01", "SQL01\\SALES", "SQL02\\HR"}));
    EXPECT_EQ(m_responder.GetRequests(), 1);
}

TEST_F(CServerBrowserTest, SilenceAndRefusalGiveAnEmptyList)
{
    m_responder.SetSilent(true);
    const auto silent = CServerBrowser::List(m_endpoint, 200, nullptr);
    EXPECT_TRUE(silent.m_instances.empty());
    EXPECT_EQ(silent.m_nAnswers, 0u);
    EXPECT_FALSE(silent.m_bCancelled);
    EXPECT_EQ(m_responder.GetRequests(), 1);

    // A port where nothing listens: the system says so, the list stays empty, no error.
    SBrowserEndpoint closed = m_endpoint;
    {
        CBrowserResponder gone;
        closed.m_nPort = static_cast<unsigned>(gone.GetPort());
    }
    const auto refused = CServerBrowser::List(closed, 200, nullptr);
    EXPECT_TRUE(refused.m_instances.empty());
    EXPECT_EQ(refused.m_strError, u"");
}

TEST_F(CServerBrowserTest, FloodsAndHostileDatagramsAreBounded)
{
    m_responder.SetCopies(2000);
    const auto flood = CServerBrowser::List(m_endpoint, 500, nullptr);
    EXPECT_GT(flood.m_nAnswers, 0u);
    EXPECT_LE(flood.m_nAnswers, CServerBrowser::kMostAnswers);
    EXPECT_LE(flood.m_instances.size(), CServerBrowser::kMostInstances);
    EXPECT_EQ(Names(flood), (std::set<std::string>{"SQL01", "SQL01\\SALES", "SQL02\\HR"}));

    const std::string good = CBrowserResponder::Record({"GOOD", "ONE", 1500});
    m_responder.SetRawAnswers({
        std::string(),
        "\x05",
        std::string("\x04\x10\x00", 3) + good,
        CBrowserResponder::Answer(good).substr(0, 20),
        CBrowserResponder::Answer("ServerName;B\xc3\xa4"
                                  "D;InstanceName;X;Version;1;;"),
        std::string(1, '\x05') + std::string("\xff\xff", 2) + good,
        CBrowserResponder::Answer(good),
    });
    const auto hostile = CServerBrowser::List(m_endpoint, 300, nullptr);
    EXPECT_EQ(Names(hostile), (std::set<std::string>{"GOOD\\ONE"}));
    EXPECT_EQ(hostile.m_instances.size(), 2u); // the whole one and the over-long one
}

TEST_F(CServerBrowserTest, CancelEndsTheWait)
{
    m_responder.SetSilent(true);
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancel = true;
    });
    // Without the cancel this would wait 20 seconds and come back not cancelled.
    const auto gathering = CServerBrowser::List(m_endpoint, 20000, &cancel);
    canceller.join();
    EXPECT_TRUE(gathering.m_bCancelled);

    // Cancelled before it starts: nothing is sent.
    const int before = m_responder.GetRequests();
    EXPECT_TRUE(CServerBrowser::List(m_endpoint, 20000, &cancel).m_bCancelled);
    EXPECT_EQ(m_responder.GetRequests(), before);
}

TEST_F(CServerBrowserTest, AddressesAreReadOrRefused)
{
    struct SCase
    {
        const char* m_szText;
        bool m_bValid;
        const char* m_szHost;
        unsigned m_nPort;
        bool m_bBroadcast;
    };
    const SCase cases[] = {
        {"127.0.0.1:1434", true, "127.0.0.1", 1434, false},
        {"localhost:9", true, "localhost", 9, false},
        {"255.255.255.255:1434", true, "255.255.255.255", 1434, true},
        {"[::1]:1434", true, "::1", 1434, false},
        {"127.0.0.1", false, "", 0, false},
        {"127.0.0.1:", false, "", 0, false},
        {":1434", false, "", 0, false},
        {"127.0.0.1:0", false, "", 0, false},
        {"127.0.0.1:65536", false, "", 0, false},
        {"127.0.0.1:14x", false, "", 0, false},
        {"::1:1434", false, "", 0, false},
    };
    for (const auto& c : cases) {
        SBrowserEndpoint endpoint;
        std::u16string reason;
        ASSERT_EQ(CServerBrowser::ParseAddress(c.m_szText, endpoint, reason), c.m_bValid)
            << c.m_szText;
        if (c.m_bValid) {
            EXPECT_EQ(endpoint.m_strHost, c.m_szHost) << c.m_szText;
            EXPECT_EQ(endpoint.m_nPort, c.m_nPort) << c.m_szText;
            EXPECT_EQ(endpoint.m_bBroadcast, c.m_bBroadcast) << c.m_szText;
        } else {
            EXPECT_NE(ToUtf8(reason).find("is not HOST:PORT"), std::string::npos) << c.m_szText;
        }
    }
    // A malformed variable is named, and nothing is sent.
    m_environment.Set(CServerBrowser::kAddressVariable, "nowhere");
    SBrowserEndpoint endpoint;
    std::u16string reason;
    EXPECT_FALSE(CServerBrowser::ListEndpoint(endpoint, reason));
    EXPECT_EQ(ToUtf8(reason), "QUARROW_BROWSER_ADDRESS: 'nowhere' is not HOST:PORT");
    unsigned port = 0;
    EXPECT_EQ(CServerBrowser::FindInstancePort(u"SQL01", u"SALES", port, reason),
              EInstanceLookup::Failed);
    EXPECT_EQ(m_responder.GetRequests(), 0);
}

TEST_F(CServerBrowserTest, InstanceLookupGivesThePortOrSaysWhy)
{
    struct SCase
    {
        std::u16string m_strInstance;
        bool m_bSilent;
        EInstanceLookup m_expected;
        unsigned m_nPort;
        const char* m_szReason;
    };
    const SCase cases[] = {
        {u"SALES", false, EInstanceLookup::Found, 50123, ""},
        {u"sales", false, EInstanceLookup::Found, 50123, ""},
        {u"NOPE", false, EInstanceLookup::UnknownInstance, 0,
         "the SQL Server Browser on HOST1 does not know instance NOPE"},
        {u"HR", false, EInstanceLookup::UnknownInstance, 0,
         "the SQL Server Browser on HOST1 knows instance HR, but the instance does not listen "
         "on TCP/IP"},
        {u"SALES", true, EInstanceLookup::NoAnswer, 0,
         "the SQL Server Browser on HOST1 did not answer for instance SALES within 400 ms"},
        {u"BAD NAME", false, EInstanceLookup::Failed, 0, "cannot be a SQL Server instance name"},
    };
    for (const auto& c : cases) {
        m_responder.SetSilent(c.m_bSilent);
        unsigned port = 0;
        std::u16string reason;
        // HOST1 is only the name in the words: the variable sends the request to 127.0.0.1.
        EXPECT_EQ(CServerBrowser::FindInstancePort(u"HOST1", c.m_strInstance, port, reason, 400),
                  c.m_expected)
            << ToUtf8(c.m_strInstance) << ": " << ToUtf8(reason);
        EXPECT_EQ(port, c.m_nPort) << ToUtf8(c.m_strInstance);
        EXPECT_NE(ToUtf8(reason).find(c.m_szReason), std::string::npos)
            << ToUtf8(c.m_strInstance) << ": " << ToUtf8(reason);
    }
}

} // namespace
