#pragma once
// Where passwords are kept away from the settings file: the desktop keyring in the program,
// doubles in tests. An entry is named by the settings root, the server key and the login.

#include <string>

struct SSecretKey
{
    std::u16string m_strRoot;   // the settings root ("Quarrow")
    std::u16string m_strServer; // the server's key, folded: one entry per registration
    std::u16string m_strLogin;
};

enum class ESecretResult
{
    Found,
    NotFound,
    Failed, // the keyring did not answer, refused, or was cancelled; see the error text
};

class ISecretStore
{
public:
    virtual ~ISecretStore() = default;

    // True when a keyring answers. Quick, never starts one, and bounded in time.
    virtual bool IsRunning() = 0;
    // Stores the secret for the key, replacing what the root and server held for any login.
    virtual bool Store(const SSecretKey& key, const std::u16string& secret, std::string& error) = 0;
    virtual ESecretResult Lookup(const SSecretKey& key, std::u16string& secret,
                                 std::string& error) = 0;
    // Removes every entry of the key's root and server, whatever the login; true also when
    // there was none.
    virtual bool Clear(const SSecretKey& key, std::string& error) = 0;
};
