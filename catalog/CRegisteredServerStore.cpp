#include "catalog/CRegisteredServerStore.h"

#include "platform/Utf.h"

#include <cstdio>

namespace {

constexpr std::u16string_view kRegisteredServers = u"RegisteredServers";
constexpr std::u16string_view kDatabaseSetting = u"DatabaseSetting";
constexpr std::u16string_view kLoginName = u"LoginName";
constexpr std::u16string_view kPassword = u"Password";
constexpr std::u16string_view kNTAuthentication = u"NTauthentication";
constexpr std::u16string_view kEncryption = u"Encryption";
constexpr std::u16string_view kTrustServerCertificate = u"TrustServerCertificate";
constexpr std::u16string_view kUsed = u"Used";
constexpr std::u16string_view kKeySeparator = u"$*$";

std::u16string ServerSection(std::u16string_view serverKey)
{
    std::u16string section(kRegisteredServers);
    section.push_back(u'\\');
    section += serverKey;
    return section;
}

std::u16string DatabaseSection(std::u16string_view serverName, std::u16string_view databaseName)
{
    std::u16string section(kDatabaseSetting);
    section.push_back(u'\\');
    section += CRegisteredServerStore::ServerKeyFromName(serverName);
    section.push_back(u'\\');
    section += databaseName;
    return section;
}

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from,
                          std::u16string_view to)
{
    std::u16string result;
    result.reserve(text.size());
    size_t start = 0;
    while (true) {
        const size_t at = text.find(from, start);
        if (at == std::u16string_view::npos) {
            result += text.substr(start);
            return result;
        }
        result += text.substr(start, at - start);
        result += to;
        start = at + from.size();
    }
}

// The keyring entry of a registration: one per settings root and server key, whatever the
// case the key is typed in.
SSecretKey SecretKey(const CProfile& profile, std::u16string_view serverName,
                     std::u16string_view login)
{
    return SSecretKey{profile.GetRoot(),
                      CKeyTree::Fold(CRegisteredServerStore::ServerKeyFromName(serverName)),
                      std::u16string(login)};
}

// The keyring when one runs, else nothing.
ISecretStore* RunningKeyring(const CProfile& profile)
{
    ISecretStore* pSecrets = profile.GetSecretStore();
    return pSecrets && pSecrets->IsRunning() ? pSecrets : nullptr;
}

void Note(const std::string& text)
{
    fprintf(stderr, "quarrow: %s\n", text.c_str());
}

} // namespace

CRegisteredServerStore::CRegisteredServerStore(CProfile& profile) : m_profile(profile) {}

std::u16string CRegisteredServerStore::ServerKeyFromName(std::u16string_view serverName)
{
    return ReplaceAll(serverName, u"\\", kKeySeparator);
}

std::u16string CRegisteredServerStore::ServerNameFromKey(std::u16string_view serverKey)
{
    return ReplaceAll(serverKey, kKeySeparator, u"\\");
}

std::vector<RegisteredServer> CRegisteredServerStore::GetServerRegistrations()
{
    std::vector<RegisteredServer> servers;
    // Servers whose file holds no Password: the keyring may.
    std::vector<size_t> inKeyring;
    bool bHaveSection = false;
    std::vector<std::u16string> skipped;
    // One consistent look at the file: another copy may be writing meanwhile.
    m_profile.GetStore().Read([&](const CKeyTree& tree) {
        const CKeyTree::SNode* section = tree.Find(kRegisteredServers);
        if (!section)
            return;
        bHaveSection = true;
        for (const auto& [folded, node] : section->m_children) {
            const std::u16string& key = node->m_strName;
            if (key.size() > kMaxServerKeyLength) {
                skipped.push_back(key);
                continue;
            }
            RegisteredServer server;
            server.m_strServerName = ServerNameFromKey(key);
            const SRegValue* login = node->FindValue(kLoginName);
            if (login && login->m_type == ERegType::String)
                server.m_strLoginName = login->m_strText;
            const SRegValue* password = node->FindValue(kPassword);
            if (password && password->m_type == ERegType::String)
                server.m_strPassword = password->m_strText;
            else if (!password)
                inKeyring.push_back(servers.size());
            const SRegValue* nt = node->FindValue(kNTAuthentication);
            server.m_nNTAuthentication =
                (nt ? CProfile::IntFromValue(*nt) : std::nullopt).value_or(1);
            const SRegValue* encryption = node->FindValue(kEncryption);
            if (encryption && encryption->m_type == ERegType::String) {
                server.m_encryption = EncryptionModeFromName(encryption->m_strText)
                                          .value_or(EEncryptionMode::Request);
            }
            const SRegValue* trust = node->FindValue(kTrustServerCertificate);
            server.m_bTrustServerCertificate =
                (trust ? CProfile::IntFromValue(*trust) : std::nullopt).value_or(0) == 1;
            servers.push_back(std::move(server));
        }
    });
    for (const std::u16string& key : skipped) {
        fprintf(stderr,
                "quarrow: skipped the registered server \"%s\": its key is longer than %zu "
                "characters\n",
                quarrow::ToUtf8(key).c_str(), kMaxServerKeyLength);
    }
    if (!inKeyring.empty())
        ReadKeyringPasswords(servers, inKeyring);
    // Only into a sound file: creating the key would set a damaged one aside, and loading
    // only reads.
    if (!bHaveSection && m_profile.GetStore().GetFileProblem().empty())
        m_profile.CreateSection(kRegisteredServers);
    return servers;
}

void CRegisteredServerStore::ReadKeyringPasswords(std::vector<RegisteredServer>& servers,
                                                  const std::vector<size_t>& which)
{
    ISecretStore* pSecrets = RunningKeyring(m_profile);
    for (size_t index : which) {
        RegisteredServer& server = servers[index];
        const std::string name = quarrow::ToUtf8(server.m_strServerName);
        if (!pSecrets) {
            // Windows authentication needs no password; a login without one may be meant.
            if (server.m_nNTAuthentication == 0 && m_profile.GetSecretStore()) {
                Note("the password of the registered server \"" + name +
                     "\" is kept in the desktop keyring, which is not running");
            }
            continue;
        }
        std::string error;
        const ESecretResult result =
            pSecrets->Lookup(SecretKey(m_profile, server.m_strServerName, server.m_strLoginName),
                             server.m_strPassword, error);
        if (result == ESecretResult::Failed)
            Note("no password for the registered server \"" + name + "\": " + error);
    }
}

void CRegisteredServerStore::LoadServerRegistrations(const AddServer& fnAddServer)
{
    for (const RegisteredServer& server : GetServerRegistrations())
        fnAddServer(server);
}

bool CRegisteredServerStore::SaveServerRegistration(const RegisteredServer& server)
{
    const std::u16string section = ServerSection(ServerKeyFromName(server.m_strServerName));
    // The keyring first: when it fails, the password goes into the file as it always did,
    // rather than being lost. An empty password is no secret: the file says so, and an older
    // keyring entry goes.
    bool bInKeyring = false;
    if (ISecretStore* pSecrets = RunningKeyring(m_profile)) {
        const SSecretKey key = SecretKey(m_profile, server.m_strServerName, server.m_strLoginName);
        const std::string name = quarrow::ToUtf8(server.m_strServerName);
        std::string error;
        if (server.m_strPassword.empty()) {
            if (!pSecrets->Clear(key, error))
                Note("an old password of \"" + name + "\" stays in the desktop keyring: " + error);
        } else {
            bInKeyring = pSecrets->Store(key, server.m_strPassword, error);
            if (!bInKeyring)
                Note("the password of \"" + name + "\" is kept in the settings file: " + error);
        }
    }
    CKeyStore::CBatch batch = m_profile.BeginBatch();
    bool ok = m_profile.CreateSection(section);
    ok = m_profile.WriteProfileString(section, kLoginName, server.m_strLoginName) && ok;
    if (bInKeyring)
        ok = m_profile.GetStore().DeleteValue(section, kPassword) && ok;
    else
        ok = m_profile.WriteProfileString(section, kPassword, server.m_strPassword) && ok;
    ok = m_profile.WriteProfileInt(section, kNTAuthentication, server.m_nNTAuthentication) && ok;
    ok = m_profile.WriteProfileString(section, kEncryption,
                                      EncryptionModeName(server.m_encryption)) &&
         ok;
    ok = m_profile.WriteProfileInt(section, kTrustServerCertificate,
                                   server.m_bTrustServerCertificate ? 1 : 0) &&
         ok;
    return batch.Commit() && ok;
}

bool CRegisteredServerStore::DeleteServerRegistration(std::u16string_view serverName)
{
    const std::u16string key = ServerKeyFromName(serverName);
    if (!CKeyTree::IsValidKeyName(key))
        return true; // no such key can exist
    bool ok = m_profile.DeleteSection(ServerSection(key));
    if (ISecretStore* pSecrets = RunningKeyring(m_profile)) {
        std::string error;
        if (!pSecrets->Clear(SecretKey(m_profile, serverName, u""), error)) {
            Note("the registration of \"" + quarrow::ToUtf8(serverName) +
                 "\" is removed, but its password stays in the desktop keyring: " + error);
            ok = false;
        }
    }
    return ok;
}

bool CRegisteredServerStore::IsDatabaseUsed(std::u16string_view serverName,
                                            std::u16string_view databaseName)
{
    return m_profile.GetProfileInt(DatabaseSection(serverName, databaseName), kUsed, 0) == 1;
}

bool CRegisteredServerStore::SetDatabaseUsed(std::u16string_view serverName,
                                             std::u16string_view databaseName, int32_t nValue)
{
    return m_profile.WriteProfileInt(DatabaseSection(serverName, databaseName), kUsed, nValue);
}

bool CRegisteredServerStore::SetDatabasesUsed(const std::vector<SDatabaseTick>& ticks)
{
    CKeyStore::CBatch batch = m_profile.BeginBatch();
    bool ok = true;
    for (const SDatabaseTick& tick : ticks) {
        ok =
            m_profile.WriteProfileInt(DatabaseSection(tick.m_strServerName, tick.m_strDatabaseName),
                                      kUsed, tick.m_nUsed) &&
            ok;
    }
    return batch.Commit() && ok;
}
