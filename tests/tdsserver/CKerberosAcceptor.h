#pragma once
// Checks the GSSAPI (Kerberos) token of an integrated login against a keytab, as SQL Server
// does with its service account's keys: a token for another service, under an old key or
// from a forged ticket is refused.

#include <cstddef>
#include <cstdint>
#include <string>

class CKerberosAcceptor
{
public:
    // Every later check uses the keys in this keytab.
    static bool UseKeytab(const std::string& path, std::string& error);
    // True with the client's principal when the token is a valid first (and only) token.
    static bool Accept(const std::uint8_t* token, std::size_t size, std::string& principal,
                       std::string& error);
};
