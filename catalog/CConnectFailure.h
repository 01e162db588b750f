#pragma once
// Turns the diagnostics of a failed connect into a reason a user can act on: the login was
// refused, the host is unknown, nothing listens on the port, no answer came in time, the
// server insists on encryption, Kerberos has no ticket, the driver is not installed. The
// driver's own text goes along as the detail.

#include "catalog/EncryptionMode.h"
#include "catalog/OdbcDiagnostic.h"

#include <string>

enum class EConnectFailure
{
    Other,
    DriverMissing,      // the driver manager could not load the driver
    LoginFailed,        // the server refused the login (error 18456)
    HostNotFound,       // the name does not resolve
    Refused,            // the host answered, nothing listens on the port
    NoAnswer,           // nothing answered within the login time-out
    InstanceNotFound,   // the SQL Server Browser did not give the instance's port
    EncryptionRequired, // the server asks for TLS, which did not come about
    NoKerberosTicket,   // integrated login without a usable ticket
    // Encryption required by the user, and the server cannot encrypt.
    EncryptionUnavailable,
    // Encryption required by the user, and the server's certificate did not pass.
    CertificateRejected,
};

// What our own TCP probe of the port saw, asked only after the driver gave up: FreeTDS
// reports a refused port and a silent one with the same words.
enum class EPortProbe
{
    NotTried,
    Refused,
    TimedOut,
    Reachable,
    HostUnknown,
    EncryptionRequired, // the server's PRELOGIN answer says ENCRYPT_REQ
    // The server's PRELOGIN answer says ENCRYPT_NOT_SUP.
    EncryptionNotSupported,
};

struct SConnectContext
{
    std::u16string m_strServer; // as the user typed it
    std::u16string m_strHost;
    std::u16string m_strInstance;
    unsigned m_nPort = 0; // 0: not known (a named instance)
    bool m_bIntegrated = false;
    std::u16string m_strLogin;
    int m_nTimeoutSeconds = 0;
    std::u16string m_strDriver;
    bool m_bDriverChosen = false; // named by QUARROW_ODBC_DRIVER
    SConnectOptions m_options;
    std::u16string m_strCaFile; // "system", or the file the certificate was checked against
};

class CConnectFailure
{
public:
    // options: what the user asked for; FreeTDS says only "connection failed" when TLS
    // cannot be had or the certificate does not pass, and the probe tells which.
    static EConnectFailure Classify(const OdbcDiagnostics& diagnostics, EPortProbe probe,
                                    bool integrated, bool namedInstance,
                                    const SConnectOptions& options = {});

    // The whole reason, starting with the server's name in quotes.
    static std::u16string Describe(EConnectFailure failure, const SConnectContext& context,
                                   const OdbcDiagnostics& diagnostics);

    // What integrated login without a usable Kerberos ticket says, the server's name in quotes.
    static std::u16string NoTicketText(const std::u16string& server);
    // What integrated login says when the user's ticket did not get the service's ticket.
    static std::u16string NoServiceTicketText(const std::u16string& server,
                                              const std::u16string& principal,
                                              const std::u16string& servicePrincipal);

    // True when the driver's words leave open whether the port refused or stayed silent, so
    // a probe can tell.
    static bool NeedsProbe(const OdbcDiagnostics& diagnostics);

    // Connects to host:port once, bounded by timeoutMs, to tell a refused port from a silent
    // one; a port that answers is sent a PRELOGIN offering no encryption, to learn whether
    // the server insists on it or cannot encrypt at all.
    static EPortProbe ProbePort(const std::u16string& host, unsigned port, int timeoutMs);
};
