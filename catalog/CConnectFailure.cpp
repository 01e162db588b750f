#include "catalog/CConnectFailure.h"

#include "platform/Utf.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using quarrow::FromAscii;
using quarrow::ToUtf8;

// Native error numbers: the server's login refusal, and FreeTDS's client-side messages.
constexpr std::int32_t kLoginFailed = 18456;
constexpr std::int32_t kTdsTimedOut = 20003;    // "connection timed out"
constexpr std::int32_t kTdsUnknownHost = 20013; // "Unknown host machine name"

char16_t Lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool Mentions(const OdbcDiagnostics& diagnostics, std::u16string_view word)
{
    for (const auto& record : diagnostics) {
        std::u16string lowered;
        for (char16_t c : record.m_strMessage) {
            lowered += Lower(c);
        }
        if (lowered.find(word) != std::u16string::npos) {
            return true;
        }
    }
    return false;
}

bool HasState(const OdbcDiagnostics& diagnostics, std::u16string_view state)
{
    for (const auto& record : diagnostics) {
        if (record.m_strState == state) {
            return true;
        }
    }
    return false;
}

bool HasNative(const OdbcDiagnostics& diagnostics, std::int32_t native)
{
    for (const auto& record : diagnostics) {
        if (record.m_nNative == native) {
            return true;
        }
    }
    return false;
}

// MS-TDS PRELOGIN: an 8-byte packet header (type 0x12, end of message), then the option
// list (token, offset, length; offsets from the payload's start) ended by 0xFF, then the
// data: VERSION (6 bytes) and ENCRYPTION (1 byte, 0x00 ENCRYPT_OFF).
constexpr unsigned char kPrelogin[] = {
    0x12, 0x01, 0x00, 0x1A, 0x00, 0x00, 0x01, 0x00, // header, 26 bytes in all
    0x00, 0x00, 0x0B, 0x00, 0x06,                   // VERSION at 11, 6 bytes
    0x01, 0x00, 0x11, 0x00, 0x01,                   // ENCRYPTION at 17, 1 byte
    0xFF,                                           // end of options
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00,             // version 0.0.0.0
    0x00,                                           // ENCRYPT_OFF
};
constexpr unsigned char kEncryptionToken = 0x01;
constexpr unsigned char kEncryptNotSupported = 0x02;
constexpr unsigned char kEncryptRequired = 0x03;

// Sends the PRELOGIN and reads the answer's ENCRYPTION option until the deadline.
EPortProbe AskEncryption(int fd, std::chrono::steady_clock::time_point deadline)
{
    if (send(fd, kPrelogin, sizeof kPrelogin, MSG_NOSIGNAL) !=
        static_cast<ssize_t>(sizeof kPrelogin)) {
        return EPortProbe::Reachable;
    }
    unsigned char answer[512];
    std::size_t got = 0;
    std::size_t expected = 8;
    // Bounded by the buffer and the deadline.
    while (got < expected && got < sizeof answer) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd entry{fd, POLLIN, 0};
        if (left <= 0 || poll(&entry, 1, static_cast<int>(left)) != 1) {
            return EPortProbe::Reachable;
        }
        const ssize_t n = recv(fd, answer + got, sizeof answer - got, 0);
        if (n <= 0) {
            return EPortProbe::Reachable;
        }
        got += static_cast<std::size_t>(n);
        if (got >= 8) {
            expected = std::min<std::size_t>(sizeof answer, (answer[2] << 8) | answer[3]);
        }
    }
    if (got < 8 || answer[0] != 0x04) {
        return EPortProbe::Reachable;
    }
    const unsigned char* payload = answer + 8;
    const std::size_t size = std::min(got, expected) - 8;
    for (std::size_t i = 0; i + 5 <= size && payload[i] != 0xFF; i += 5) {
        const std::size_t offset = (payload[i + 1] << 8) | payload[i + 2];
        const std::size_t length = (payload[i + 3] << 8) | payload[i + 4];
        if (payload[i] == kEncryptionToken && length >= 1 && offset < size) {
            switch (payload[offset]) {
            case kEncryptRequired:
                return EPortProbe::EncryptionRequired;
            case kEncryptNotSupported:
                return EPortProbe::EncryptionNotSupported;
            default:
                return EPortProbe::Reachable;
            }
        }
    }
    return EPortProbe::Reachable;
}

} // namespace

bool CConnectFailure::NeedsProbe(const OdbcDiagnostics& diagnostics)
{
    return Classify(diagnostics, EPortProbe::NotTried, false, false) == EConnectFailure::Other;
}

EConnectFailure CConnectFailure::Classify(const OdbcDiagnostics& diagnostics, EPortProbe probe,
                                          bool integrated, bool namedInstance,
                                          const SConnectOptions& options)
{
    // unixODBC reports a driver library it cannot open as 01000 "Can't open lib".
    if (HasState(diagnostics, u"IM002") || HasState(diagnostics, u"IM003") ||
        Mentions(diagnostics, u"can't open lib")) {
        return EConnectFailure::DriverMissing;
    }
    if (HasNative(diagnostics, kLoginFailed) || HasState(diagnostics, u"28000")) {
        return EConnectFailure::LoginFailed;
    }
    if (integrated && (Mentions(diagnostics, u"gssapi") || Mentions(diagnostics, u"kerberos") ||
                       Mentions(diagnostics, u"credential") || Mentions(diagnostics, u"ticket"))) {
        return EConnectFailure::NoKerberosTicket;
    }
    if (Mentions(diagnostics, u"encrypt") || Mentions(diagnostics, u"tls") ||
        Mentions(diagnostics, u"ssl")) {
        return EConnectFailure::EncryptionRequired;
    }
    if (HasNative(diagnostics, kTdsUnknownHost) || Mentions(diagnostics, u"unknown host") ||
        probe == EPortProbe::HostUnknown) {
        return EConnectFailure::HostNotFound;
    }
    if (HasState(diagnostics, u"HYT00") || HasNative(diagnostics, kTdsTimedOut) ||
        Mentions(diagnostics, u"timed out") || Mentions(diagnostics, u"timeout expired")) {
        return EConnectFailure::NoAnswer;
    }
    // The server answered a PRELOGIN: with encryption required by the user, TLS is what
    // failed, either because the server has none or because its certificate did not pass.
    if (options.m_encryption == EEncryptionMode::Require) {
        switch (probe) {
        case EPortProbe::EncryptionNotSupported:
            return EConnectFailure::EncryptionUnavailable;
        case EPortProbe::EncryptionRequired:
        case EPortProbe::Reachable:
            if (!integrated) {
                return options.m_bTrustServerCertificate ? EConnectFailure::EncryptionRequired
                                                         : EConnectFailure::CertificateRejected;
            }
            break;
        default:
            break;
        }
    }
    switch (probe) {
    case EPortProbe::EncryptionRequired:
        return EConnectFailure::EncryptionRequired;
    case EPortProbe::Refused:
        return EConnectFailure::Refused;
    case EPortProbe::TimedOut:
        return EConnectFailure::NoAnswer;
    case EPortProbe::Reachable:
    case EPortProbe::EncryptionNotSupported:
        // FreeTDS says only "connection failed" when GSSAPI has no ticket to offer; the
        // server answered our PRELOGIN, so the login step is what failed.
        if (integrated) {
            return EConnectFailure::NoKerberosTicket;
        }
        break;
    case EPortProbe::NotTried:
        if (namedInstance && (HasState(diagnostics, u"08S01") || HasState(diagnostics, u"08001"))) {
            return EConnectFailure::InstanceNotFound;
        }
        break;
    default:
        break;
    }
    return EConnectFailure::Other;
}

std::u16string CConnectFailure::Describe(EConnectFailure failure, const SConnectContext& context,
                                         const OdbcDiagnostics& diagnostics)
{
    const std::u16string server = u"'" + context.m_strServer + u"'";
    const std::u16string port =
        context.m_nPort != 0 ? FromAscii(std::to_string(context.m_nPort)) : u"?";
    std::u16string text;
    switch (failure) {
    case EConnectFailure::DriverMissing:
        text = context.m_bDriverChosen
                   ? server + u" cannot be reached: the ODBC driver '" + context.m_strDriver +
                         u"' named in QUARROW_ODBC_DRIVER could not be loaded"
                   : server + u" cannot be reached: FreeTDS's ODBC driver is not installed; "
                              u"install the Debian package tdsodbc";
        break;
    case EConnectFailure::LoginFailed:
        text = context.m_bIntegrated
                   ? server + u" refused the integrated (Kerberos) login; check that your "
                              u"Windows account has a login on the server"
                   : server + u" refused the login '" + context.m_strLogin +
                         u"'; check the login name and the password";
        break;
    case EConnectFailure::HostNotFound:
        text = server + u" cannot be reached: the host '" + context.m_strHost +
               u"' was not found; check the server name";
        break;
    case EConnectFailure::Refused:
        text = server + u" cannot be reached: nothing accepts connections on port " + port +
               u" of " + context.m_strHost +
               u"; check that SQL Server runs there, listens on TCP/IP, and the port";
        break;
    case EConnectFailure::NoAnswer:
        text = server + u" did not answer within " +
               FromAscii(std::to_string(context.m_nTimeoutSeconds)) +
               u" seconds; the host may be down, or a firewall drops the connection";
        break;
    case EConnectFailure::InstanceNotFound:
        text = server + u" cannot be reached: the instance '" + context.m_strInstance +
               u"' was not found on " + context.m_strHost +
               u"; check that the SQL Server Browser runs there, or give the port as "
               u"HOST,PORT";
        break;
    case EConnectFailure::EncryptionRequired:
        text = server + u" requires an encrypted connection, which could not be set up; "
                        u"check the server's certificate and FreeTDS's TLS support";
        break;
    case EConnectFailure::EncryptionUnavailable:
        text = server + u" cannot encrypt the connection, and this registration requires "
                        u"encryption; choose the encryption mode 'request' or 'off' to connect "
                        u"without it";
        break;
    case EConnectFailure::CertificateRejected:
        text = server + u" showed a certificate that could not be verified for the host '" +
               context.m_strHost + u"' against " +
               (context.m_strCaFile.empty() || context.m_strCaFile == u"system"
                    ? std::u16string(u"the system's certificate authorities")
                    : u"the certificate authorities in '" + context.m_strCaFile + u"'") +
               u" (or the encrypted connection could not be set up); if you trust this server, "
               u"tick 'Trust server certificate' (quarrow-find: --trust-server-certificate)";
        break;
    case EConnectFailure::NoKerberosTicket:
        text = NoTicketText(context.m_strServer);
        break;
    case EConnectFailure::Other:
        text = server + u" cannot be reached";
        break;
    }
    if (!diagnostics.empty()) {
        text += u" (driver: " + DescribeDiagnostics(diagnostics) + u")";
    }
    return text;
}

std::u16string CConnectFailure::NoTicketText(const std::u16string& server)
{
    return u"'" + server +
           u"' cannot use integrated login: no Kerberos ticket: run kinit, or give a SQL Server "
           u"login";
}

std::u16string CConnectFailure::NoServiceTicketText(const std::u16string& server,
                                                    const std::u16string& principal,
                                                    const std::u16string& servicePrincipal)
{
    return u"'" + server + u"' cannot use integrated login: the Kerberos ticket of " + principal +
           u" did not give a ticket for the service " + servicePrincipal +
           u"; check that the server's account has this service principal name and that the "
           u"host name resolves to the server's fully qualified name";
}

EPortProbe CConnectFailure::ProbePort(const std::u16string& host, unsigned port, int timeoutMs)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(ToUtf8(host).c_str(), service.c_str(), &hints, &addresses) != 0 ||
        addresses == nullptr) {
        return EPortProbe::HostUnknown;
    }
    EPortProbe seen = EPortProbe::TimedOut;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (addrinfo* a = addresses; a != nullptr; a = a->ai_next) {
        int fd =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            continue;
        }
        int rc = connect(fd, a->ai_addr, a->ai_addrlen);
        int error = rc == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            pollfd entry{fd, POLLOUT, 0};
            if (left > 0 && poll(&entry, 1, static_cast<int>(left)) == 1) {
                socklen_t length = sizeof error;
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            } else {
                error = ETIMEDOUT;
            }
        }
        if (error == 0) {
            seen = AskEncryption(fd, deadline);
            close(fd);
            break;
        }
        close(fd);
        if (error == ECONNREFUSED) {
            seen = EPortProbe::Refused;
        }
    }
    freeaddrinfo(addresses);
    return seen;
}
