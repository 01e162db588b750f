#pragma once
// A throwaway Kerberos realm on 127.0.0.1: a KDC (krb5kdc) whose database, configuration,
// keytabs and logs live in a scratch folder, a client principal with a ticket in a scratch
// credential cache, and service principals added on demand. While the object lives, this
// process's KRB5_CONFIG and KRB5CCNAME point at the realm (so nothing asks DNS or the
// machine's own Kerberos setup); the KDC ends with the object, or with the test process.

#include "tests/support/CScratchFolder.h"

#include <optional>
#include <string>
#include <vector>

class CLocalKdc
{
public:
    static constexpr const char* kRealm = "QUARROW.TEST";
    static constexpr const char* kClient = "reporter";

    CLocalKdc() = default;
    ~CLocalKdc();
    CLocalKdc(const CLocalKdc&) = delete;
    CLocalKdc& operator=(const CLocalKdc&) = delete;

    // Makes the realm, starts the KDC and gets the client's ticket. Bounded in time.
    bool Start(std::string& error);
    // Adds a service principal ("MSSQLSvc/localhost:1433") with its keys in ServiceKeytab().
    bool AddService(const std::string& principal, std::string& error);
    // Gives the principal new keys that the keytab does not hold (a stale service account).
    bool ChangeServiceKey(const std::string& principal, std::string& error);

    std::filesystem::path ServiceKeytab() const { return m_folder / "service.keytab"; }
    std::string CacheName() const { return "FILE:" + (m_folder / "ccache").string(); }
    std::string ClientPrincipal() const { return std::string(kClient) + "@" + kRealm; }

private:
    // Runs a Kerberos tool with the realm's environment; bounded; its output in the log.
    bool Run(const std::vector<std::string>& args, std::string& error);

    CScratchFolder m_folder;
    pid_t m_kdcPid = -1;
    std::optional<std::string> m_savedConfig;
    std::optional<std::string> m_savedCache;
    bool m_bEnvironmentSet = false;
};
