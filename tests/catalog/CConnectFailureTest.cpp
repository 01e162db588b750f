#include "catalog/CConnectFailure.h"

#include "catalog/CLiveLibrary.h"
#include "platform/Utf.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using quarrow::FromAscii;
using quarrow::ToUtf8;

// The records FreeTDS 1.3 and unixODBC 2.3 give for each failure (read from the real
// driver against 127.0.0.1 and the TDS test server).
const OdbcDiagnostics kRefusedOrSilent = {
    {u"08S01", 20009,
     u"[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable "
     u"or does not exist"},
    {u"08001", 0, u"[FreeTDS][SQL Server]Unable to connect to data source"}};
const OdbcDiagnostics kLoginFailed = {
    {u"42000", 18456, u"[FreeTDS][SQL Server]Login failed for user 'sa'."},
    {u"08001", 0, u"[FreeTDS][SQL Server]Unable to connect to data source"}};
const OdbcDiagnostics kUnknownHost = {
    {u"08001", 0, u"[FreeTDS][SQL Server]Unable to connect to data source"},
    {u"01000", 20013, u"[FreeTDS][SQL Server]Unknown host machine name."}};
const OdbcDiagnostics kTimedOut = {
    {u"HYT00", 0, u"[FreeTDS][SQL Server]Timeout expired"},
    {u"08001", 0, u"[FreeTDS][SQL Server]Unable to connect to data source"}};
const OdbcDiagnostics kClosedOnTls = {
    {u"08001", 0, u"[FreeTDS][SQL Server]Unable to connect to data source"},
    {u"01000", 20017, u"[FreeTDS][SQL Server]Unexpected EOF from the server"},
    {u"01000", 20002, u"[FreeTDS][SQL Server]Adaptive Server connection failed"}};
const OdbcDiagnostics kNoLibrary = {
    {u"01000", 0, u"[unixODBC][Driver Manager]Can't open lib 'Nope' : file not found"}};
const OdbcDiagnostics kNoDriverName = {
    {u"IM002", 0,
     u"[unixODBC][Driver Manager]Data source name not found and no default "
     u"driver specified"}};
// Integrated login on a machine without a ticket: GSSAPI fails inside FreeTDS silently.
const OdbcDiagnostics kBareFailure = {
    {u"08001", 0, u"[FreeTDS][SQL Server]Unable to connect to data source"},
    {u"01000", 20002, u"[FreeTDS][SQL Server]Adaptive Server connection failed"}};
const OdbcDiagnostics kNoTicket = {
    {u"08001", 0, u"[FreeTDS][SQL Server]Unable to connect to data source"},
    {u"01000", 20002, u"[FreeTDS][SQL Server]GSSAPI: No Kerberos credentials available"}};

TEST(CConnectFailure, DiagnosticsAndProbeGiveTheFailure)
{
    struct SCase
    {
        const char* m_szWhat;
        const OdbcDiagnostics* m_pDiagnostics;
        EPortProbe m_probe;
        bool m_bIntegrated;
        bool m_bInstance;
        EConnectFailure m_expected;
    };
    const SCase cases[] = {
        {"login", &kLoginFailed, EPortProbe::NotTried, false, false, EConnectFailure::LoginFailed},
        {"refused", &kRefusedOrSilent, EPortProbe::Refused, false, false, EConnectFailure::Refused},
        {"silent", &kRefusedOrSilent, EPortProbe::TimedOut, false, false,
         EConnectFailure::NoAnswer},
        {"unknown host", &kUnknownHost, EPortProbe::NotTried, false, false,
         EConnectFailure::HostNotFound},
        {"timeout", &kTimedOut, EPortProbe::NotTried, false, false, EConnectFailure::NoAnswer},
        {"tls", &kClosedOnTls, EPortProbe::EncryptionRequired, false, false,
         EConnectFailure::EncryptionRequired},
        {"eof, no encryption asked", &kClosedOnTls, EPortProbe::Reachable, false, false,
         EConnectFailure::Other},
        {"no library", &kNoLibrary, EPortProbe::NotTried, false, false,
         EConnectFailure::DriverMissing},
        {"no driver name", &kNoDriverName, EPortProbe::NotTried, false, false,
         EConnectFailure::DriverMissing},
        {"no ticket", &kNoTicket, EPortProbe::NotTried, true, false,
         EConnectFailure::NoKerberosTicket},
        {"integrated, bare failure", &kBareFailure, EPortProbe::Reachable, true, false,
         EConnectFailure::NoKerberosTicket},
        {"sql login, bare failure", &kBareFailure, EPortProbe::Reachable, false, false,
         EConnectFailure::Other},
        {"instance", &kRefusedOrSilent, EPortProbe::NotTried, false, true,
         EConnectFailure::InstanceNotFound},
        {"nothing at all", nullptr, EPortProbe::NotTried, false, false, EConnectFailure::Other},
    };
    for (const auto& c : cases) {
        const OdbcDiagnostics none;
        const auto& diagnostics = c.m_pDiagnostics ? *c.m_pDiagnostics : none;
        EXPECT_EQ(CConnectFailure::Classify(diagnostics, c.m_probe, c.m_bIntegrated, c.m_bInstance),
                  c.m_expected)
            << c.m_szWhat;
    }
    // Only the ambiguous answers are worth a probe.
    EXPECT_TRUE(CConnectFailure::NeedsProbe(kRefusedOrSilent));
    EXPECT_TRUE(CConnectFailure::NeedsProbe(kClosedOnTls));
    EXPECT_TRUE(CConnectFailure::NeedsProbe(kBareFailure));
    EXPECT_FALSE(CConnectFailure::NeedsProbe(kLoginFailed));
    EXPECT_FALSE(CConnectFailure::NeedsProbe(kTimedOut));
}

TEST(CConnectFailure, ReasonsNameWhatToDoAndKeepTheDriversText)
{
    SConnectContext context;
    context.m_strServer = u"SQL01\\SALES";
    context.m_strHost = u"SQL01";
    context.m_strInstance = u"SALES";
    context.m_nPort = 1433;
    context.m_strLogin = u"reporter";
    context.m_nTimeoutSeconds = 20;
    const std::pair<EConnectFailure, const char*> cases[] = {
        {EConnectFailure::LoginFailed, "refused the login 'reporter'"},
        {EConnectFailure::HostNotFound, "the host 'SQL01' was not found"},
        {EConnectFailure::Refused, "nothing accepts connections on port 1433 of SQL01"},
        {EConnectFailure::NoAnswer, "did not answer within 20 seconds"},
        {EConnectFailure::InstanceNotFound, "the instance 'SALES' was not found"},
        {EConnectFailure::EncryptionRequired, "requires an encrypted connection"},
        {EConnectFailure::NoKerberosTicket, "no Kerberos ticket: run kinit"},
        {EConnectFailure::DriverMissing, "install the Debian package tdsodbc"},
        {EConnectFailure::Other, "cannot be reached"},
    };
    for (const auto& [failure, expected] : cases) {
        const auto text = ToUtf8(CConnectFailure::Describe(failure, context, kLoginFailed));
        EXPECT_TRUE(text.starts_with("'SQL01\\SALES'")) << text;
        EXPECT_NE(text.find(expected), std::string::npos) << text;
        EXPECT_NE(text.find("(driver: [42000] (18456) [FreeTDS][SQL Server]Login failed"),
                  std::string::npos)
            << text;
    }
    context.m_bDriverChosen = true;
    context.m_strDriver = u"MyDriver";
    EXPECT_NE(ToUtf8(CConnectFailure::Describe(EConnectFailure::DriverMissing, context, {}))
                  .find("'MyDriver' named in QUARROW_ODBC_DRIVER"),
              std::string::npos);
}

// A TCP socket on 127.0.0.1 with a port of its own; listening or not.
class CLocalPort
{
public:
    explicit CLocalPort(bool listening)
    {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_nPort = ntohs(address.sin_port);
        if (listening) {
            listen(m_fd, 4);
        }
    }
    ~CLocalPort() { close(m_fd); }
    CLocalPort(const CLocalPort&) = delete;
    CLocalPort& operator=(const CLocalPort&) = delete;

    unsigned GetPort() const { return m_nPort; }
    int GetFd() const { return m_fd; }

private:
    int m_fd = -1;
    unsigned m_nPort = 0;
};

TEST(CConnectFailure, ProbeTellsRefusedFromEncryptionRequired)
{
    {
        // Bound but not listening: the kernel refuses.
        CLocalPort closed(false);
        EXPECT_EQ(CConnectFailure::ProbePort(u"127.0.0.1", closed.GetPort(), 2000),
                  EPortProbe::Refused);
    }
    {
        // Accepts and never answers the PRELOGIN: reachable, after at most the bound.
        CLocalPort silent(true);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(CConnectFailure::ProbePort(u"127.0.0.1", silent.GetPort(), 300),
                  EPortProbe::Reachable);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    }
    {
        // Answers the PRELOGIN with ENCRYPTION = ENCRYPT_REQ, as a server set to force it.
        CLocalPort server(true);
        std::thread answer([&] {
            pollfd entry{server.GetFd(), POLLIN, 0};
            if (poll(&entry, 1, 5000) != 1) {
                return;
            }
            int client = accept(server.GetFd(), nullptr, nullptr);
            unsigned char request[64];
            recv(client, request, sizeof request, 0);
            const unsigned char reply[] = {0x04, 0x01, 0x00, 0x1A, 0x00, 0x00, 0x01, 0x00, 0x00,
                                           0x00, 0x0B, 0x00, 0x06, 0x01, 0x00, 0x11, 0x00, 0x01,
                                           0xFF, 0x0F, 0x00, 0x07, 0xD0, 0x00, 0x00, 0x03};
            send(client, reply, sizeof reply, MSG_NOSIGNAL);
            close(client);
        });
        EXPECT_EQ(CConnectFailure::ProbePort(u"127.0.0.1", server.GetPort(), 2000),
                  EPortProbe::EncryptionRequired);
        answer.join();
    }
}

// Through the real driver manager and FreeTDS: a port nobody listens on.
TEST(CConnectFailure, RealDriverOnAClosedPortSaysConnectionRefused)
{
    CLocalPort closed(false);
    const auto name = u"127.0.0.1," + FromAscii(std::to_string(closed.GetPort()));
    for (EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        CLiveLibrary library(flavour);
        auto server = library.CreateServer();
        server->SetLoginTimeout(5);
        server->SetLoginSecure(false);
        EXPECT_FALSE(server->Connect(name, u"sa", u"x"));
        const auto reason = ToUtf8(server->GetLastError());
        EXPECT_NE(reason.find("nothing accepts connections on port " +
                              std::to_string(closed.GetPort()) + " of 127.0.0.1"),
                  std::string::npos)
            << reason;
        std::u16string serverName;
        EXPECT_FALSE(server->GetName(serverName));
        EXPECT_EQ(server->GetDatabaseCount(), 0);
        EXPECT_EQ(server->GetDatabase(0), nullptr);
    }
}

// The driver named by its library's path, as QUARROW_ODBC_DRIVER may give it.
TEST(CConnectFailure, RealDriverByItsLibraryPath)
{
    const char* library = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";
    if (access(library, R_OK) != 0) {
        GTEST_SKIP() << "FreeTDS's library is elsewhere on this machine";
    }
    const char* chosen = std::getenv("QUARROW_ODBC_DRIVER");
    const std::optional<std::string> saved =
        chosen ? std::optional<std::string>(chosen) : std::nullopt;
    setenv("QUARROW_ODBC_DRIVER", library, 1);
    CLocalPort closed(false);
    CLiveLibrary live(EFlavour::Modern);
    auto server = live.CreateServer();
    server->SetLoginTimeout(5);
    EXPECT_FALSE(
        server->Connect(u"127.0.0.1," + FromAscii(std::to_string(closed.GetPort())), u"sa", u"x"));
    const auto reason = ToUtf8(server->GetLastError());
    EXPECT_NE(reason.find("nothing accepts connections"), std::string::npos) << reason;
    if (saved) {
        setenv("QUARROW_ODBC_DRIVER", saved->c_str(), 1);
    } else {
        unsetenv("QUARROW_ODBC_DRIVER");
    }
}

TEST(CConnectFailure, BadServerNameIsRefusedBeforeTheDriverIsAsked)
{
    CLiveLibrary library(EFlavour::Modern);
    auto server = library.CreateServer();
    EXPECT_FALSE(server->Connect(u"SQL01,99999", u"sa", u"x"));
    EXPECT_NE(ToUtf8(server->GetLastError()).find("not a port number"), std::string::npos);
}

} // namespace

TEST(CConnectFailure, RequiredEncryptionFailuresAreToldApartByTheProbe)
{
    // FreeTDS gives the same bare words whether the server has no TLS or its certificate did
    // not pass; the probe's PRELOGIN answer tells them apart.
    struct SCase
    {
        const char* m_szWhat;
        SConnectOptions m_options;
        EPortProbe m_probe;
        bool m_bIntegrated;
        EConnectFailure m_expected;
    };
    const SConnectOptions require{EEncryptionMode::Require, false};
    const SConnectOptions trusted{EEncryptionMode::Require, true};
    const SConnectOptions request{EEncryptionMode::Request, false};
    const SCase cases[] = {
        {"no tls on the server", require, EPortProbe::EncryptionNotSupported, false,
         EConnectFailure::EncryptionUnavailable},
        {"no tls, trusted", trusted, EPortProbe::EncryptionNotSupported, false,
         EConnectFailure::EncryptionUnavailable},
        {"tls offered, certificate checked", require, EPortProbe::Reachable, false,
         EConnectFailure::CertificateRejected},
        {"tls forced, certificate checked", require, EPortProbe::EncryptionRequired, false,
         EConnectFailure::CertificateRejected},
        {"tls offered, certificate trusted", trusted, EPortProbe::Reachable, false,
         EConnectFailure::EncryptionRequired},
        {"integrated keeps its ticket reason", require, EPortProbe::Reachable, true,
         EConnectFailure::NoKerberosTicket},
        {"refused port is still refused", require, EPortProbe::Refused, false,
         EConnectFailure::Refused},
        {"request never blames the certificate", request, EPortProbe::Reachable, false,
         EConnectFailure::Other},
        {"request to a server without tls", request, EPortProbe::EncryptionNotSupported, false,
         EConnectFailure::Other},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            CConnectFailure::Classify(kBareFailure, c.m_probe, c.m_bIntegrated, false, c.m_options),
            c.m_expected)
            << c.m_szWhat;
    }
    // A login refusal stays a login refusal whatever the encryption.
    EXPECT_EQ(CConnectFailure::Classify(kLoginFailed, EPortProbe::NotTried, false, false, require),
              EConnectFailure::LoginFailed);
}

TEST(CConnectFailure, EncryptionReasonsSayWhatToChange)
{
    SConnectContext context;
    context.m_strServer = u"SQL01";
    context.m_strHost = u"sql01.corp.example";
    context.m_nPort = 1433;
    const std::string unavailable = ToUtf8(
        CConnectFailure::Describe(EConnectFailure::EncryptionUnavailable, context, kBareFailure));
    EXPECT_NE(unavailable.find("cannot encrypt the connection"), std::string::npos);
    EXPECT_NE(unavailable.find("'request' or 'off'"), std::string::npos);

    const std::pair<std::u16string, const char*> authorities[] = {
        {u"", "against the system's certificate authorities"},
        {u"system", "against the system's certificate authorities"},
        {u"/etc/corp/ca.pem", "against the certificate authorities in '/etc/corp/ca.pem'"},
    };
    for (const auto& [file, expected] : authorities) {
        context.m_strCaFile = file;
        const std::string text = ToUtf8(
            CConnectFailure::Describe(EConnectFailure::CertificateRejected, context, kBareFailure));
        EXPECT_TRUE(text.starts_with("'SQL01' showed a certificate that could not be verified "
                                     "for the host 'sql01.corp.example'"))
            << text;
        EXPECT_NE(text.find(expected), std::string::npos) << text;
        EXPECT_NE(text.find("--trust-server-certificate"), std::string::npos) << text;
    }
}

TEST(CConnectFailure, ProbeSeesAServerThatCannotEncrypt)
{
    // A listener answering PRELOGIN with ENCRYPT_NOT_SUP, as a server without TLS does.
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    socklen_t size = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    std::thread answer([listener] {
        pollfd entry{listener, POLLIN, 0};
        if (poll(&entry, 1, 5000) != 1) {
            return;
        }
        int client = accept(listener, nullptr, nullptr);
        unsigned char request[64];
        if (recv(client, request, sizeof request, 0) > 0) {
            const unsigned char reply[] = {0x04, 0x01, 0x00, 0x0F, 0x00, 0x00, 0x01, 0x00,
                                           0x01, 0x00, 0x06, 0x00, 0x01, 0xFF, 0x02};
            send(client, reply, sizeof reply, MSG_NOSIGNAL);
        }
        close(client);
    });
    EXPECT_EQ(CConnectFailure::ProbePort(u"127.0.0.1", ntohs(address.sin_port), 3000),
              EPortProbe::EncryptionNotSupported);
    answer.join();
    close(listener);
}
