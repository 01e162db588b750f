#pragma once
// The in-memory form of a settings root: a tree of keys with typed values, following the
// registry's rules (key and value names compare case-insensitively and keep their case,
// subkeys list in case-insensitive order), and its text form, a ".reg" file.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class ERegType
{
    String, // REG_SZ
    Dword,  // REG_DWORD
    Raw,    // any other type read from the file; kept as its text and written back unchanged
};

struct SRegValue
{
    std::u16string m_strName; // empty: the key's default value ("@" in the file)
    ERegType m_type = ERegType::String;
    std::u16string m_strText; // String
    uint32_t m_nDword = 0;    // Dword
    std::string m_strRaw;     // Raw: the text after '=' (e.g. "hex(2):41,00,00,00")

    bool operator==(const SRegValue&) const = default;
};

class CKeyTree
{
public:
    // The registry's limit on key nesting; a deeper key in a file is a damaged line.
    static constexpr size_t kMaxDepth = 512;
    // The most a settings file may hold, read or written. A settings file is kilobytes; the
    // cap keeps a hostile file from filling memory or the disk (every key's header repeats
    // its whole path, so a small deep file writes back far larger).
    static constexpr size_t kMaxFileBytes = 64u << 20;

    struct SNode
    {
        SNode() = default;
        SNode(SNode&&) = default;
        SNode& operator=(SNode&&) = default;
        // Frees the subtree level by level, so a deep tree does not exhaust the stack.
        ~SNode();

        std::u16string m_strName;
        // Keyed by the upper-case form of the name, so iteration is case-insensitive order.
        std::map<std::u16string, std::unique_ptr<SNode>> m_children;
        // In the order they were first written.
        std::vector<SRegValue> m_values;

        const SNode* FindChild(std::u16string_view name) const;
        SNode* FindChild(std::u16string_view name);
        const SRegValue* FindValue(std::u16string_view name) const;
        SRegValue* FindValue(std::u16string_view name);
    };

    // strRoot names the root key (the settings root, e.g. "Quarrow").
    explicit CKeyTree(std::u16string strRoot = u"");

    const std::u16string& GetRoot() const { return m_root.m_strName; }
    SNode& Root() { return m_root; }
    const SNode& Root() const { return m_root; }
    void Clear();

    // Key paths are relative to the root, levels separated by '\'; "" is the root itself.
    const SNode* Find(std::u16string_view path) const;
    SNode* Find(std::u16string_view path);
    // Creates the missing keys along the path; null when the path is not valid.
    SNode* Create(std::u16string_view path);
    // Removes the key with its values and subkeys; false when there was none (or it is the
    // root, which is never removed).
    bool DeleteTree(std::u16string_view path);

    // Writes; false when a name is not valid (nothing changes then).
    bool SetValue(std::u16string_view path, SRegValue value);
    bool DeleteValue(std::u16string_view path, std::u16string_view name);

    // Name rules: a key name is 1 to 255 characters, without '\' and control characters;
    // a path has at most kMaxDepth levels; a value name has no control characters. Lone
    // surrogates are refused in both, as the file could not hold them.
    static bool IsValidKeyName(std::u16string_view name);
    static bool IsValidValueName(std::u16string_view name);
    static bool IsValidPath(std::u16string_view path);

    // The registry's upper-case form used for comparing names.
    static std::u16string Fold(std::u16string_view name);
    static bool NamesEqual(std::u16string_view a, std::u16string_view b);

    // The ".reg" text of the tree, UTF-8: the header line, then every key from the root down
    // as "[HKEY_CURRENT_USER\Software\Korvane@Work\<root>\...]" followed by its values.
    std::string Serialize() const;
    // The same text into out; false (and out empty) when it would be longer than nMaxBytes.
    bool Serialize(std::string& out, size_t nMaxBytes) const;

    // Reads ".reg" text. On success the tree holds exactly what the text holds. On failure
    // the tree is unchanged and strError says what is wrong and where ("line 12: ...").
    bool Parse(std::string_view text, std::string& strError);

    // Reads what it can of damaged ".reg" text: every key section that reads cleanly is kept,
    // a section with a damaged line is left out whole. nDamaged counts the sections (and
    // stray lines) left out, strError describes the first. False, with the tree unchanged,
    // only when the text is not a settings file at all (no header line).
    bool ParseSalvaging(std::string_view text, std::string& strError, size_t& nDamaged);

    // Number of keys, the root included.
    size_t CountKeys() const;

private:
    SNode m_root;
};
