#pragma once
// Builds the ODBC connection strings of live servers in one place: the server-name forms
// users type (HOST, HOST\INSTANCE, HOST,PORT, tcp:HOST,PORT, (local), .), the driver, the
// login kind and the transport settings FreeTDS understands.

#include <functional>
#include <optional>
#include <string>

// A server name taken apart.
struct SServerAddress
{
    std::u16string m_strHost;     // never empty after a successful parse
    std::u16string m_strInstance; // a named instance; the SQL Server Browser gives its port
    std::optional<unsigned> m_nPort;
};

struct SConnectionSettings
{
    std::u16string m_strDriver; // a registered driver name or a driver library's path
    SServerAddress m_address;
    bool m_bIntegrated = false; // Kerberos: the caller's ticket, no login or password
    std::u16string m_strLogin;
    std::u16string m_strPassword;
    std::u16string m_strTdsVersion = u"7.4";
    std::u16string m_strEncryption = u"request"; // FreeTDS: off, request or require
    // The host's canonical name for the Kerberos service name; the host itself when empty.
    std::u16string m_strCanonicalHost;
};

class CConnectionString
{
public:
    // The port SQL Server's default instance listens on.
    static constexpr unsigned kDefaultPort = 1433;

    // Takes a server name apart. False with a reason a user can act on.
    static bool ParseServerName(const std::u16string& name, SServerAddress& address,
                                std::u16string& reason);

    // The port the SQL Server Browser gave for the address's named instance: the address
    // becomes host and port, so the driver asks nobody itself.
    static void SetInstancePort(SServerAddress& address, unsigned port);

    // The whole connection string. False with a reason when a value cannot be passed (a NUL
    // inside it).
    static bool Build(const SConnectionSettings& settings, std::u16string& text,
                      std::u16string& reason);

    // A value as the connection-string grammar needs it: bare when it holds no ';', does not
    // start with '{' and has no blank at either end; else in braces with '}' doubled.
    // (FreeTDS 1.3 reads "}}" inside braces as two braces, so braces are kept for the values
    // that cannot do without them.)
    static std::u16string QuoteValue(const std::u16string& value);

    // The Kerberos service name: MSSQLSvc/<fqdn>:<port> (or :<instance> when the port is not
    // known).
    static std::u16string ServicePrincipalName(const SConnectionSettings& settings);

    // The driver to use: $QUARROW_ODBC_DRIVER when set; else FreeTDS by the name odbcinst
    // registered it under; else its library in the multiarch ODBC folders. Empty with a
    // reason when none is installed.
    static std::u16string FindDriver(std::u16string& reason);
    // FreeTDS's driver library in the multiarch or classic ODBC folders; empty when absent.
    static std::u16string FindDriverLibrary();

    // The host's canonical (fully qualified) name, from the resolver; the host when unknown.
    static std::u16string CanonicalHostName(const std::u16string& host);
};
