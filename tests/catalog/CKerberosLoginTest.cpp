// Integrated login end to end: a throwaway realm's KDC on 127.0.0.1, a ticket got with kinit,
// FreeTDS asking the KDC for the service ticket of the name the live library forms, and the
// TDS test server checking the token with the service's keytab.

#include "catalog/CConnectionString.h"
#include "catalog/CLiveLibrary.h"
#include "platform/Utf.h"
#include "tests/support/CLocalKdc.h"
#include "tests/support/CTdsTestServer.h"

#include <gtest/gtest.h>

namespace {

using quarrow::FromAscii;
using quarrow::ToUtf8;

class CKerberosLoginTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* binary = std::getenv("QUARROW_TDS_SERVER");
        if (binary == nullptr || access(binary, X_OK) != 0) {
            GTEST_SKIP() << "QUARROW_TDS_SERVER does not name the TDS test server";
        }
        m_strServer = binary;
        const char* source = std::getenv("QUARROW_BINARY_DIR");
        m_strCatalogue = std::string(source ? source : ".") + "/share/quarrow/catalogues/demo.qcat";
        std::string error;
        ASSERT_TRUE(m_kdc.Start(error))
            << error << "\n(tools/install-deps installs krb5-kdc, krb5-admin-server, krb5-user)";
    }

    CScratchFolder m_scratch;
    CLocalKdc m_kdc;
    std::string m_strServer;
    std::string m_strCatalogue;
};

} // namespace

TEST_F(CKerberosLoginTest, TheServiceTicketDecides)
{
    enum class EService
    {
        Registered, // the service principal exists and the keytab holds its keys
        Unknown,    // no such service principal in the realm
        StaleKeys,  // the keytab holds keys the KDC no longer uses
    };
    struct SCase
    {
        const char* m_name;
        EService m_service;
        bool m_bConnects;
        const char* m_reason; // in the error when the connect fails
        const char* m_logged; // in the server's log
    };
    const std::vector<SCase> cases = {
        {"registered", EService::Registered, true, "", "login: (integrated) reporter@QUARROW.TEST"},
        {"unknown service", EService::Unknown, false,
         "the Kerberos ticket of reporter@QUARROW.TEST did not give a ticket for the service "
         "MSSQLSvc/",
         ""},
        {"stale keys", EService::StaleKeys, false, "refused the integrated (Kerberos) login",
         "login: (integrated) refused:"},
    };
    for (const SCase& c : cases) {
        const auto log = m_scratch / (std::string(c.m_name) + ".log");
        CTdsTestServer process(m_strServer,
                               {"--catalogue", m_strCatalogue, "--kerberos-keytab",
                                m_kdc.ServiceKeytab().string(), "--log", log.string()});
        ASSERT_NE(process.GetPort(), 0);
        // The name the live library will ask for: this machine's canonical name of localhost.
        const std::string service = "MSSQLSvc/" +
                                    ToUtf8(CConnectionString::CanonicalHostName(u"localhost")) +
                                    ":" + std::to_string(process.GetPort());
        std::string error;
        if (c.m_service != EService::Unknown) {
            ASSERT_TRUE(m_kdc.AddService(service, error)) << error;
        }
        if (c.m_service == EService::StaleKeys) {
            ASSERT_TRUE(m_kdc.ChangeServiceKey(service, error)) << error;
        }

        CLiveLibrary live(EFlavour::Modern);
        auto server = live.CreateServer();
        server->SetLoginTimeout(10);
        server->SetLoginSecure(true);
        const std::u16string name = u"localhost," + FromAscii(std::to_string(process.GetPort()));
        const bool connected = server->Connect(name, u"", u"");
        const std::string reason = ToUtf8(server->GetLastError());
        EXPECT_EQ(connected, c.m_bConnects) << c.m_name << ": " << reason;
        if (connected) {
            EXPECT_GT(server->GetDatabaseCount(), 0) << c.m_name;
        } else {
            EXPECT_NE(reason.find(c.m_reason), std::string::npos) << c.m_name << ": " << reason;
            EXPECT_EQ(reason.find("run kinit"), std::string::npos)
                << c.m_name << ": the ticket was there: " << reason;
        }
        const std::string text = CScratchFolder::ReadFile(log);
        if (*c.m_logged) {
            EXPECT_NE(text.find(c.m_logged), std::string::npos) << c.m_name << ": " << text;
        } else {
            EXPECT_EQ(text.find("login:"), std::string::npos) << c.m_name << ": " << text;
        }
    }
}
