#include "catalog/CKerberosTicket.h"

#include "platform/Utf.h"
#include "tests/support/CScratchFolder.h"

#include <ctime>
#include <gtest/gtest.h>
#include <krb5.h>
#include <optional>

namespace {

using quarrow::ToUtf8;

constexpr const char* kClient = "reporter@QUARROW.TEST";

// Points KRB5CCNAME at a scratch cache for one test, and back afterwards.
class CScratchCache
{
public:
    explicit CScratchCache(const std::filesystem::path& file) : m_name("FILE:" + file.string())
    {
        if (const char* old = getenv("KRB5CCNAME"))
            m_saved = old;
        setenv("KRB5CCNAME", m_name.c_str(), 1);
    }
    ~CScratchCache()
    {
        if (m_saved)
            setenv("KRB5CCNAME", m_saved->c_str(), 1);
        else
            unsetenv("KRB5CCNAME");
    }
    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
    std::optional<std::string> m_saved;
};

struct STicket
{
    const char* m_server;
    int64_t m_nEndsIn; // seconds from now
};

// Fills the cache KRB5CCNAME names as kinit would: the client, then its tickets.
void FillCache(const std::vector<STicket>& tickets, bool bConfigEntry)
{
    krb5_context context = nullptr;
    ASSERT_EQ(krb5_init_context(&context), 0);
    krb5_ccache cache = nullptr;
    krb5_principal client = nullptr;
    ASSERT_EQ(krb5_cc_default(context, &cache), 0);
    ASSERT_EQ(krb5_parse_name(context, kClient, &client), 0);
    ASSERT_EQ(krb5_cc_initialize(context, cache, client), 0);
    const int64_t now = static_cast<int64_t>(time(nullptr));
    for (const STicket& ticket : tickets) {
        krb5_creds creds{};
        creds.client = client;
        ASSERT_EQ(krb5_parse_name(context, ticket.m_server, &creds.server), 0);
        creds.times.authtime = static_cast<krb5_timestamp>(now - 3600);
        creds.times.starttime = creds.times.authtime;
        creds.times.endtime = static_cast<krb5_timestamp>(now + ticket.m_nEndsIn);
        char ticketData[] = "not a real ticket";
        creds.ticket.data = ticketData;
        creds.ticket.length = sizeof ticketData - 1;
        EXPECT_EQ(krb5_cc_store_cred(context, cache, &creds), 0);
        krb5_free_principal(context, creds.server);
    }
    if (bConfigEntry) {
        krb5_data value{};
        char text[] = "1";
        value.data = text;
        value.length = 1;
        EXPECT_EQ(krb5_cc_set_config(context, cache, nullptr, "fast_avail", &value), 0);
    }
    krb5_free_principal(context, client);
    krb5_cc_close(context, cache);
    krb5_free_context(context);
}

} // namespace

TEST(CKerberosTicketTest, OnlyAnUnexpiredTicketIsUsable)
{
    struct SCase
    {
        const char* m_name;
        bool m_bCreate;
        std::vector<STicket> m_tickets;
        bool m_bConfig;
        bool m_bUsable;
        const char* m_reason; // a part of the reason when not usable
    };
    const char* tgt = "krbtgt/QUARROW.TEST@QUARROW.TEST";
    const char* service = "MSSQLSvc/sql01.quarrow.test:1433@QUARROW.TEST";
    const std::vector<SCase> cases = {
        {"no cache file", false, {}, false, false, "holds no tickets"},
        {"a cache without tickets",
         true,
         {},
         false,
         false,
         "holds no tickets for reporter@QUARROW.TEST"},
        {"only configuration entries", true, {}, true, false, "holds no tickets"},
        {"an expired ticket", true, {{tgt, -60}}, false, false, "holds only expired tickets"},
        {"a ticket about to end", true, {{tgt, 5}}, false, false, "holds only expired tickets"},
        {"a fresh ticket-granting ticket", true, {{tgt, 36000}}, true, true, ""},
        {"an old one and a fresh service ticket",
         true,
         {{tgt, -10}, {service, 600}},
         false,
         true,
         ""},
    };
    for (const SCase& c : cases) {
        CScratchFolder scratch;
        CScratchCache cache(scratch / "krb5cc");
        if (c.m_bCreate)
            FillCache(c.m_tickets, c.m_bConfig);
        const SKerberosTicket ticket = CKerberosTicket::Check();
        EXPECT_EQ(ticket.m_bUsable, c.m_bUsable) << c.m_name << ": " << ToUtf8(ticket.m_strReason);
        EXPECT_EQ(ToUtf8(ticket.m_strCache), cache.Name()) << c.m_name;
        if (c.m_bUsable) {
            EXPECT_TRUE(ticket.m_strReason.empty()) << c.m_name;
            EXPECT_EQ(ToUtf8(ticket.m_strPrincipal), kClient) << c.m_name;
        } else {
            const std::string reason = ToUtf8(ticket.m_strReason);
            EXPECT_NE(reason.find(c.m_reason), std::string::npos) << c.m_name << ": " << reason;
            EXPECT_NE(reason.find(cache.Name()), std::string::npos) << c.m_name << ": " << reason;
        }
    }
}

TEST(CKerberosTicketTest, TheClockDecidesWhatHasExpired)
{
    CScratchFolder scratch;
    CScratchCache cache(scratch / "krb5cc");
    FillCache({{"krbtgt/QUARROW.TEST@QUARROW.TEST", 3600}}, false);
    const int64_t now = static_cast<int64_t>(time(nullptr));
    EXPECT_TRUE(CKerberosTicket::Check(now).m_bUsable);
    EXPECT_TRUE(
        CKerberosTicket::Check(now + 3600 - CKerberosTicket::kMinimumLifetimeSeconds).m_bUsable);
    EXPECT_FALSE(CKerberosTicket::Check(now + 3600 - CKerberosTicket::kMinimumLifetimeSeconds + 1)
                     .m_bUsable);
    EXPECT_FALSE(CKerberosTicket::Check(now + 7200).m_bUsable);
}
