// Encrypted connections through the real driver manager and FreeTDS, against the TDS test
// server speaking TLS as SQL Server does (the handshake inside PRELOGIN packets). The
// server's log says whether TLS was set up and whether the login packet came through it.

#include "catalog/CLiveLibrary.h"
#include "catalog/CSnapshotWriter.h"
#include "platform/Utf.h"
#include "tests/support/CScratchFolder.h"
#include "tests/support/CTdsTestServer.h"
#include "tests/support/CTestCertificates.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

using quarrow::ToUtf8;

class CLiveEncryptionTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pFolder = std::make_unique<CScratchFolder>();
        s_pCertificates = std::make_unique<CTestCertificates>(s_pFolder->Path());
    }
    static void TearDownTestSuite()
    {
        s_pCertificates.reset();
        s_pFolder.reset();
    }

    void SetUp() override
    {
        const char* binary = std::getenv("QUARROW_TDS_SERVER");
        if (binary == nullptr || access(binary, X_OK) != 0) {
            GTEST_SKIP() << "QUARROW_TDS_SERVER does not name the TDS test server";
        }
        m_strCatalogue = (m_scratch / "tls.qcat").string();
        CSnapshotWriter writer;
        ASSERT_TRUE(writer.Create(m_strCatalogue, "modern", "TLS", "2024-01-01T00:00:00"));
        ASSERT_TRUE(writer.AddObject(writer.AddDatabase("Sales"), "Orders", 8, "User Table",
                                     "2014-05-15 10:20:00", std::string_view("CREATE TABLE x")));
        ASSERT_TRUE(writer.Commit()) << writer.GetError();
        ASSERT_TRUE(s_pCertificates->IsValid()) << "the openssl command could not make "
                                                   "the test certificates";
        m_strServer = binary;
        unsetenv("QUARROW_TLS_CA_FILE");
    }
    void TearDown() override { unsetenv("QUARROW_TLS_CA_FILE"); }

    // A server with this certificate (none: no TLS) and the extra arguments.
    std::unique_ptr<CTdsTestServer> Start(const CTestCertificates::SPair* pair,
                                          std::vector<std::string> extra = {})
    {
        m_strLog = (m_scratch / ("server" + std::to_string(++m_nServers) + ".log")).string();
        std::vector<std::string> args = {"--catalogue", m_strCatalogue, "--log", m_strLog};
        if (pair) {
            args.insert(args.end(),
                        {"--tls-cert", pair->m_strCertificate, "--tls-key", pair->m_strKey});
        }
        args.insert(args.end(), extra.begin(), extra.end());
        auto server = std::make_unique<CTdsTestServer>(m_strServer, args);
        EXPECT_NE(server->GetPort(), 0) << "the test server did not start";
        return server;
    }

    // Connects through the modern library; the error text when it fails, "" when it worked
    // (and the databases could be listed over the connection).
    static std::string Connect(const CTdsTestServer& server, EEncryptionMode mode, bool trust)
    {
        CLiveLibrary library(EFlavour::Modern);
        auto connection = library.CreateServer();
        connection->SetLoginTimeout(10);
        connection->SetLoginSecure(false);
        connection->SetConnectOptions({mode, trust});
        if (!connection->Connect(server.Name(), u"sa", u"secret")) {
            const std::string error = ToUtf8(connection->GetLastError());
            return error.empty() ? "failed without a reason" : error;
        }
        return connection->GetDatabaseCount() > 0 ? "" : "connected, but no databases listed";
    }

    std::string Log() const { return CScratchFolder::ReadFile(m_strLog); }

    static std::unique_ptr<CScratchFolder> s_pFolder;
    static std::unique_ptr<CTestCertificates> s_pCertificates;
    CScratchFolder m_scratch;
    std::string m_strServer;
    std::string m_strCatalogue;
    std::string m_strLog;
    int m_nServers = 0;
};

std::unique_ptr<CScratchFolder> CLiveEncryptionTest::s_pFolder;
std::unique_ptr<CTestCertificates> CLiveEncryptionTest::s_pCertificates;

} // namespace

TEST_F(CLiveEncryptionTest, EachModeGetsTheEncryptionItAsksFor)
{
    struct SCase
    {
        const char* m_szName;
        EEncryptionMode m_mode;
        bool m_bTrust;
        const char* m_szTls; // the server's "tls:" line; null: no TLS at all
    };
    // The server's self-signed certificate: only a trusting "require" accepts it.
    const SCase cases[] = {
        {"request", EEncryptionMode::Request, false, "tls: login-only"},
        {"require trusted", EEncryptionMode::Require, true, "tls: full"},
        {"off", EEncryptionMode::Off, false, nullptr},
    };
    const auto pair = s_pCertificates->SelfSigned();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_szName);
        auto server = Start(&pair);
        EXPECT_EQ(Connect(*server, c.m_mode, c.m_bTrust), "");
        const std::string log = Log();
        if (c.m_szTls) {
            EXPECT_NE(log.find(c.m_szTls), std::string::npos) << log;
            // The login went through TLS and never in clear.
            EXPECT_NE(log.find("login: sa (encrypted)"), std::string::npos) << log;
        } else {
            EXPECT_EQ(log.find("tls:"), std::string::npos) << log;
            EXPECT_NE(log.find("login: sa\n"), std::string::npos) << log;
        }
        EXPECT_EQ(log.find("in clear"), std::string::npos) << log;
        // The catalogue query after the login came through as well.
        EXPECT_NE(log.find("quarrow:databases"), std::string::npos) << log;
    }
}

TEST_F(CLiveEncryptionTest, RequireAgainstAServerWithoutTlsSaysSoAndSendsNoLogin)
{
    const auto pair = s_pCertificates->Local();
    // A server with no certificate, and one told to offer none.
    std::vector<std::unique_ptr<CTdsTestServer>> servers;
    servers.push_back(Start(nullptr));
    const std::string firstLog = m_strLog;
    servers.push_back(Start(&pair, {"--no-encryption"}));
    for (const auto& server : servers) {
        for (bool trust : {false, true}) {
            const std::string error = Connect(*server, EEncryptionMode::Require, trust);
            EXPECT_NE(error.find("cannot encrypt the connection"), std::string::npos) << error;
            EXPECT_NE(error.find("'request' or 'off'"), std::string::npos) << error;
        }
    }
    for (const std::string& log : {CScratchFolder::ReadFile(firstLog), Log()}) {
        EXPECT_EQ(log.find("login:"), std::string::npos) << log;
    }
}

TEST_F(CLiveEncryptionTest, ServerThatRequiresTlsTurnsAwayOff)
{
    const auto pair = s_pCertificates->SelfSigned();
    auto server = Start(&pair, {"--require-encryption"});
    const std::string error = Connect(*server, EEncryptionMode::Off, false);
    EXPECT_NE(error.find("requires an encrypted connection"), std::string::npos) << error;
    EXPECT_EQ(Log().find("login:"), std::string::npos) << Log();
    // Asked to, the same server is reached encrypted throughout.
    EXPECT_EQ(Connect(*server, EEncryptionMode::Request, false), "");
    EXPECT_NE(Log().find("tls: full"), std::string::npos) << Log();
}

TEST_F(CLiveEncryptionTest, CertificateIsCheckedUnlessTrusted)
{
    struct SCase
    {
        const char* m_szName;
        CTestCertificates::SPair m_pair;
        std::string m_strAuthority; // QUARROW_TLS_CA_FILE; empty: the system's store
        bool m_bPasses;
    };
    const SCase cases[] = {
        {"signed by the named authority", s_pCertificates->Local(), s_pCertificates->Authority(),
         true},
        {"self-signed", s_pCertificates->SelfSigned(), s_pCertificates->Authority(), false},
        {"signed for another host", s_pCertificates->Elsewhere(), s_pCertificates->Authority(),
         false},
        {"signed by an authority not named", s_pCertificates->Local(),
         s_pCertificates->OtherAuthority(), false},
        {"not known to the system's store", s_pCertificates->Local(), "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_szName);
        if (c.m_strAuthority.empty()) {
            unsetenv("QUARROW_TLS_CA_FILE");
        } else {
            setenv("QUARROW_TLS_CA_FILE", c.m_strAuthority.c_str(), 1);
        }
        auto server = Start(&c.m_pair);
        const std::string error = Connect(*server, EEncryptionMode::Require, false);
        if (c.m_bPasses) {
            EXPECT_EQ(error, "");
            EXPECT_NE(Log().find("login: sa (encrypted)"), std::string::npos) << Log();
        } else {
            EXPECT_NE(error.find("could not be verified for the host '127.0.0.1'"),
                      std::string::npos)
                << error;
            EXPECT_NE(error.find("Trust server certificate"), std::string::npos) << error;
            EXPECT_NE(error.find(c.m_strAuthority.empty() ? "the system's certificate authorities"
                                                          : c.m_strAuthority),
                      std::string::npos)
                << error;
            // The handshake broke off before any login was sent.
            EXPECT_EQ(Log().find("login:"), std::string::npos) << Log();
            // Trusting the certificate connects, encrypted.
            EXPECT_EQ(Connect(*server, EEncryptionMode::Require, true), "");
            EXPECT_NE(Log().find("login: sa (encrypted)"), std::string::npos) << Log();
        }
    }
}

TEST_F(CLiveEncryptionTest, UnreadableAuthorityFileIsNamed)
{
    const auto pair = s_pCertificates->Local();
    auto server = Start(&pair);
    const std::string missing = (m_scratch / "no-such-ca.pem").string();
    setenv("QUARROW_TLS_CA_FILE", missing.c_str(), 1);
    const std::string error = Connect(*server, EEncryptionMode::Require, false);
    EXPECT_NE(error.find("'" + missing + "' named in QUARROW_TLS_CA_FILE cannot be read"),
              std::string::npos)
        << error;
    // Only a check of the certificate needs it.
    EXPECT_EQ(Connect(*server, EEncryptionMode::Require, true), "");
}
