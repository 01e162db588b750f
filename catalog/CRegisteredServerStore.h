#pragma once
// The registered servers and the database ticks, kept below the settings root:
//   RegisteredServers\<server key>                    LoginName, Password, NTauthentication,
//                                                     Encryption, TrustServerCertificate
//   DatabaseSetting\<server key>\<database name>      Used
// A server key is the server name with every '\' written as "$*$". Nothing is held in
// memory: every operation reads or writes the settings at once. While the profile's keyring
// runs, passwords live there and the file holds no Password value; a Password value in the
// file is always read, and wins.

#include "catalog/RegisteredServer.h"
#include "platform/CProfile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CRegisteredServerStore
{
public:
    // Subkeys of RegisteredServers longer than this are skipped when loading.
    static constexpr size_t kMaxServerKeyLength = 126;

    // The profile must outlive the store.
    explicit CRegisteredServerStore(CProfile& profile);

    using AddServer = std::function<void(const RegisteredServer&)>;
    // Calls fnAddServer with each registration, in the case-insensitive order of the server
    // keys. The registrations are read first and the calls made afterwards, so fnAddServer
    // may use the store. Creates an empty RegisteredServers key when there is none.
    void LoadServerRegistrations(const AddServer& fnAddServer);
    // The same registrations as a list.
    std::vector<RegisteredServer> GetServerRegistrations();

    // Creates or overwrites the registration of server.m_strServerName (five values). A key
    // without the two encryption values, or with a value that cannot be read, loads as
    // "request" and not trusted.
    bool SaveServerRegistration(const RegisteredServer& server);
    // Removes the registration with everything below its key, and its keyring entry; the
    // database ticks stay. True also when there was none.
    bool DeleteServerRegistration(std::u16string_view serverName);

    // True exactly when the database's Used value is 1.
    bool IsDatabaseUsed(std::u16string_view serverName, std::u16string_view databaseName);
    bool SetDatabaseUsed(std::u16string_view serverName, std::u16string_view databaseName,
                         int32_t nValue);

    struct SDatabaseTick
    {
        std::u16string m_strServerName;
        std::u16string m_strDatabaseName;
        int32_t m_nUsed = 0;
    };
    // Stores many ticks under one lock and one rewrite (the find window's close).
    bool SetDatabasesUsed(const std::vector<SDatabaseTick>& ticks);

    static std::u16string ServerKeyFromName(std::u16string_view serverName);
    static std::u16string ServerNameFromKey(std::u16string_view serverKey);

private:
    // Fills in the passwords of servers[which] from the keyring, when one runs.
    void ReadKeyringPasswords(std::vector<RegisteredServer>& servers,
                              const std::vector<size_t>& which);

    CProfile& m_profile;
};
