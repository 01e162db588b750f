#pragma once
// The settings root and the four profile operations below it. A root is
// HKEY_CURRENT_USER\Software\Korvane@Work\<root name>; a section is a key path below the root
// ('\' separates nested keys) and an entry is a value of that key. The process-wide profile
// is named after the executable (an executable "Other" keeps its settings in "Other.reg");
// the command line opens the root "Quarrow" whatever its own file is called.

#include "platform/CKeyStore.h"
#include "platform/ISecretStore.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CProfile
{
public:
    // The profile of a named root, in folder (CKeyStore::DefaultFolder() when empty).
    explicit CProfile(std::u16string strRoot, std::filesystem::path folder = {});
    CProfile(const CProfile&) = delete;
    CProfile& operator=(const CProfile&) = delete;

    // The process-wide profile: root ProcessRootName() in the default folder, with the desktop
    // keyring of the session for passwords. Made on first use.
    static CProfile& Process();
    // The executable's file name without its extension, from /proc/self/exe (a symlink to the
    // program does not change it). "Quarrow" when it cannot be read.
    static std::u16string ProcessRootName();
    // A file name without its extension: "Other.exe" -> "Other", "Quarrow" -> "Quarrow".
    static std::u16string RootNameFromFile(const std::filesystem::path& executable);

    const std::u16string& GetRoot() const { return m_store.GetRoot(); }
    CKeyStore& GetStore() { return m_store; }

    // A 32-bit value; nDefault when the section or entry is missing or does not hold a number
    // (a REG_DWORD, or a string of decimal digits with an optional sign).
    int32_t GetProfileInt(std::u16string_view section, std::u16string_view entry, int32_t nDefault);
    // The number a value holds as GetProfileInt reads it, or nothing.
    static std::optional<int32_t> IntFromValue(const SRegValue& value);
    // Writes a REG_DWORD, creating the section if needed. False when it could not be stored.
    bool WriteProfileInt(std::u16string_view section, std::u16string_view entry, int32_t nValue);
    // A string value; strDefault when the section or entry is missing or is not a string.
    std::u16string GetProfileString(std::u16string_view section, std::u16string_view entry,
                                    std::u16string_view strDefault = u"");
    // Writes a REG_SZ, creating the section if needed. False when it could not be stored.
    bool WriteProfileString(std::u16string_view section, std::u16string_view entry,
                            std::u16string_view strValue);

    // Sections as keys: existence, creation, the names of the subkeys (case-insensitive
    // order) and removal of a whole subtree (true also when there was none).
    bool SectionExists(std::u16string_view section);
    bool CreateSection(std::u16string_view section);
    std::vector<std::u16string> GetSubsections(std::u16string_view section);
    bool DeleteSection(std::u16string_view section);

    // Many writes under one lock and one rewrite of the file:
    //     { CKeyStore::CBatch batch = profile.BeginBatch(); profile.WriteProfileInt(...); ... }
    [[nodiscard]] CKeyStore::CBatch BeginBatch() { return CKeyStore::CBatch(m_store); }

    // Where passwords go instead of the file while it runs; none: the file holds them. The
    // secret store must outlive the profile.
    void SetSecretStore(ISecretStore* pSecrets) { m_pSecrets = pSecrets; }
    ISecretStore* GetSecretStore() const { return m_pSecrets; }

private:
    CKeyStore m_store;
    ISecretStore* m_pSecrets = nullptr;
};
