#pragma once
// Builds the ODBC connection strings of live servers in one place: the server-name forms
// users type (HOST, HOST\INSTANCE, HOST,PORT, tcp:HOST,PORT, (local), .), the driver, the
// login kind and the transport settings FreeTDS understands.

#include "catalog/EncryptionMode.h"

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
    SConnectOptions m_options; // encryption and certificate trust
    // What a checked certificate must lead to: a PEM file of authorities, or "system" for the
    // system's store.
    std::u16string m_strCaFile = u"system";
    // Set when the certificate is checked: the section of Quarrow's own freetds.conf that
    // carries the server and the certificate settings (FreeTDS 1.3 takes those only from a
    // freetds.conf section, not from a connection string). Build then names the section
    // instead of the server and port.
    std::u16string m_strConfigSection;
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

    // True when the server's certificate is to be checked: encryption required and the
    // certificate not trusted as it is.
    static bool ChecksCertificate(const SConnectionSettings& settings);
    // True when FreeTDS must be given the certificate check through a freetds.conf section
    // (another driver is told with its own connection-string words).
    static bool NeedsConfigSection(const SConnectionSettings& settings);

    // The freetds.conf section that connects with the certificate checked: its name (the
    // same for the same settings) and its lines. False with a reason when a value cannot be
    // written there (a line break, or ';' or '#', which start a comment in that file).
    static bool BuildConfigSection(const SConnectionSettings& settings, std::string& name,
                                   std::string& body, std::u16string& reason);

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

    // A host's canonical name as a resolver gives it; nothing when it does not know the host.
    using HostResolver = std::function<std::optional<std::u16string>(const std::u16string&)>;
    // The system's resolver (getaddrinfo with AI_CANONNAME: /etc/hosts, DNS).
    static std::optional<std::u16string> ResolveCanonicalName(const std::u16string& host);

    // The host's canonical (fully qualified) name without a trailing dot, for the Kerberos
    // service name; the host itself when the resolver does not know it.
    static std::u16string CanonicalHostName(const std::u16string& host,
                                            const HostResolver& resolver = ResolveCanonicalName);
};
