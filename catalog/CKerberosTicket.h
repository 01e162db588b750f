#pragma once
// Whether the user holds a Kerberos ticket that integrated login can use, asked of the
// default credential cache ($KRB5CCNAME, else the configured default) without the network:
// FreeTDS fails late and vaguely without one, so the connect asks first.

#include <cstdint>
#include <string>

struct SKerberosTicket
{
    bool m_bUsable = false;
    std::u16string m_strCache;     // the cache's full name (FILE:/tmp/krb5cc_1000), when known
    std::u16string m_strPrincipal; // whose tickets the cache holds, when known
    std::u16string m_strReason;    // why none is usable; empty when one is
};

class CKerberosTicket
{
public:
    // A ticket that ends sooner than this is taken as expired: the login would not outlive it.
    static constexpr int64_t kMinimumLifetimeSeconds = 30;

    // Reads the default credential cache; nNow is the time in seconds since the epoch (0: the
    // clock's).
    static SKerberosTicket Check(int64_t nNow = 0);
};
