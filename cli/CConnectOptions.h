#pragma once
// The connection options quarrow-find and quarrow-snapshot share: -S, -d and -U. An option
// that changes how a connection is made (encryption and the like) goes here, so both
// programs take it the same way.

#include "catalog/EncryptionMode.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct SConnectArguments
{
    std::vector<std::u16string> m_servers;   // -S, in the order given, exactly as given
    std::vector<std::u16string> m_databases; // -d, exact names
    std::optional<std::u16string> m_login;   // -U; the password comes from the environment
    // --encrypt; none: request, or as the server is registered.
    std::optional<EEncryptionMode> m_encryption;
    bool m_bTrustServerCertificate = false; // --trust-server-certificate
};

enum class EConnectOption
{
    NotOurs, // not a connection option: the caller reads it
    Read,
    Failed, // error says what is wrong
};

// Reads one option. value gives the option's value (false when it has none; it then set the
// error); inlineValue says the argument carried one after '='.
EConnectOption ParseConnectOption(const std::string& arg,
                                  const std::function<bool(std::string&)>& value, bool inlineValue,
                                  SConnectArguments& options, std::string& error);

// The lines --help shows for the shared options.
const char* ConnectUsage();
