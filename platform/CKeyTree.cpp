#include "platform/CKeyTree.h"

#include "platform/Utf.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <locale.h>
#include <memory>

using quarrow::FromAscii;
using quarrow::FromUtf8Strict;
using quarrow::ToUtf8;

namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kHivePrefix = u"HKEY_CURRENT_USER\\Software\\Korvane@Work\\";
constexpr size_t kMaxKeyName = 255;

// The upper-case form of every UTF-16 unit, from the C.UTF-8 locale's simple mapping (the
// registry also folds unit by unit). Without that locale only ASCII folds.
const std::array<char16_t, 0x10000>& FoldTable()
{
    static const auto table = [] {
        auto result = std::make_unique<std::array<char16_t, 0x10000>>();
        locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        for (char32_t c = 0; c < 0x10000; ++c) {
            char16_t upper = static_cast<char16_t>(c);
            if (c >= u'a' && c <= u'z') {
                upper = static_cast<char16_t>(c - u'a' + u'A');
            } else if (loc && c >= 0x80 && (c < 0xD800 || c > 0xDFFF)) {
                const wint_t u = towupper_l(static_cast<wint_t>(c), loc);
                if (u < 0x10000)
                    upper = static_cast<char16_t>(u);
            }
            (*result)[c] = upper;
        }
        if (loc)
            freelocale(loc);
        return result;
    }();
    return *table;
}

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Control characters and lone surrogates cannot stand in a name in the file.
bool HasUnwritableChar(std::u16string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x20 || c == 0x7F)
            return true;
        if (IsHighSurrogate(c)) {
            if (i + 1 >= text.size() || !IsLowSurrogate(text[i + 1]))
                return true;
            ++i;
        } else if (IsLowSurrogate(c)) {
            return true;
        }
    }
    return false;
}

bool EqualsAsciiNoCase(std::u16string_view text, std::u16string_view ascii)
{
    if (text.size() != ascii.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t a = text[i];
        char16_t b = ascii[i];
        if (a >= u'a' && a <= u'z')
            a = static_cast<char16_t>(a - 32);
        if (b >= u'a' && b <= u'z')
            b = static_cast<char16_t>(b - 32);
        if (a != b)
            return false;
    }
    return true;
}

bool StartsWithAsciiNoCase(std::u16string_view text, std::u16string_view ascii)
{
    return text.size() >= ascii.size() && EqualsAsciiNoCase(text.substr(0, ascii.size()), ascii);
}

std::u16string_view TrimRight(std::u16string_view text)
{
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t'))
        text.remove_suffix(1);
    return text;
}

std::u16string_view TrimLeft(std::u16string_view text)
{
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t'))
        text.remove_prefix(1);
    return text;
}

int HexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

template <class F>
void ForEachComponent(std::u16string_view path, F&& fn)
{
    size_t start = 0;
    while (true) {
        const size_t end = path.find(u'\\', start);
        fn(path.substr(start, end == std::u16string_view::npos ? path.npos : end - start));
        if (end == std::u16string_view::npos)
            break;
        start = end + 1;
    }
}

void AppendQuoted(std::u16string& out, std::u16string_view text)
{
    out.push_back(u'"');
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"')
            out.push_back(u'\\');
        out.push_back(c);
    }
    out.push_back(u'"');
}

void AppendHexByte(std::u16string& out, unsigned value)
{
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    out.push_back(kDigits[(value >> 4) & 0xF]);
    out.push_back(kDigits[value & 0xF]);
}

void AppendValue(std::u16string& out, const SRegValue& value)
{
    if (value.m_strName.empty())
        out.push_back(u'@');
    else
        AppendQuoted(out, value.m_strName);
    out.push_back(u'=');
    switch (value.m_type) {
    case ERegType::String:
        if (HasUnwritableChar(value.m_strText)) {
            // Line breaks, other control characters and lone surrogates have no place in a
            // quoted string; REG_SZ in hex keeps every unit.
            out += u"hex(1):";
            for (char16_t c : value.m_strText) {
                AppendHexByte(out, c & 0xFF);
                out.push_back(u',');
                AppendHexByte(out, c >> 8);
                out.push_back(u',');
            }
            out += u"00,00";
        } else {
            AppendQuoted(out, value.m_strText);
        }
        break;
    case ERegType::Dword: {
        out += u"dword:";
        for (int shift = 24; shift >= 0; shift -= 8)
            AppendHexByte(out, (value.m_nDword >> shift) & 0xFF);
        break;
    }
    case ERegType::Raw:
        out += FromAscii(value.m_strRaw);
        break;
    }
    out.push_back(u'\n');
}

// Every key from node down, depth first, without recursing: a level costs a frame on the
// heap, not on the stack. False as soon as out holds more than nMaxUnits units.
bool AppendTree(std::u16string& out, const CKeyTree::SNode& root, std::u16string path,
                size_t nMaxUnits)
{
    struct SFrame
    {
        const CKeyTree::SNode* m_pNode;
        decltype(root.m_children.begin()) m_next;
        size_t m_nPathLength;
    };
    auto emit = [&](const CKeyTree::SNode& node) {
        out.push_back(u'[');
        out += path;
        out += u"]\n";
        for (const SRegValue& value : node.m_values)
            AppendValue(out, value);
        out.push_back(u'\n');
        return out.size() <= nMaxUnits;
    };
    if (!emit(root))
        return false;
    std::vector<SFrame> stack;
    stack.push_back({&root, root.m_children.begin(), path.size()});
    while (!stack.empty()) {
        SFrame& frame = stack.back();
        if (frame.m_next == frame.m_pNode->m_children.end()) {
            stack.pop_back();
            continue;
        }
        const CKeyTree::SNode& child = *frame.m_next->second;
        ++frame.m_next;
        path.resize(frame.m_nPathLength);
        path.push_back(u'\\');
        path += child.m_strName;
        if (!emit(child))
            return false;
        stack.push_back({&child, child.m_children.begin(), path.size()});
    }
    return true;
}

size_t CountNodes(const CKeyTree::SNode& root)
{
    size_t count = 0;
    std::vector<const CKeyTree::SNode*> pending{&root};
    while (!pending.empty()) {
        const CKeyTree::SNode* node = pending.back();
        pending.pop_back();
        ++count;
        for (const auto& [folded, child] : node->m_children)
            pending.push_back(child.get());
    }
    return count;
}

// Reads a quoted text starting at text[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(std::u16string_view text, size_t& pos, std::u16string& out, std::string& error)
{
    ++pos;
    out.clear();
    while (pos < text.size()) {
        const char16_t c = text[pos++];
        if (c == u'"')
            return true;
        if (c == u'\\') {
            if (pos >= text.size())
                break;
            const char16_t next = text[pos++];
            if (next != u'\\' && next != u'"') {
                error = "unknown escape in a quoted text";
                return false;
            }
            out.push_back(next);
        } else {
            out.push_back(c);
        }
    }
    error = "quoted text without its closing quote";
    return false;
}

// "hh,hh,..." into bytes.
bool ReadHexList(std::u16string_view list, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    list = TrimRight(TrimLeft(list));
    if (list.empty())
        return true;
    bool ok = true;
    size_t start = 0;
    while (ok) {
        const size_t comma = list.find(u',', start);
        std::u16string_view item =
            TrimRight(TrimLeft(list.substr(start, comma == list.npos ? list.npos : comma - start)));
        if (item.empty() || item.size() > 2) {
            ok = false;
            break;
        }
        int value = 0;
        for (char16_t c : item) {
            const int digit = HexDigit(c);
            if (digit < 0) {
                ok = false;
                break;
            }
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<unsigned char>(value));
        if (comma == list.npos)
            break;
        start = comma + 1;
    }
    return ok;
}

} // namespace

CKeyTree::SNode::~SNode()
{
    std::vector<std::unique_ptr<SNode>> pending;
    for (auto& [folded, child] : m_children)
        pending.push_back(std::move(child));
    m_children.clear();
    while (!pending.empty()) {
        std::unique_ptr<SNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& [folded, child] : node->m_children)
            pending.push_back(std::move(child));
        node->m_children.clear();
    }
}

const CKeyTree::SNode* CKeyTree::SNode::FindChild(std::u16string_view name) const
{
    // Look-ups are the hot path of every read; fold into a reused buffer.
    thread_local std::u16string folded;
    const auto& table = FoldTable();
    folded.assign(name);
    for (char16_t& c : folded)
        c = table[c];
    const auto it = m_children.find(folded);
    return it == m_children.end() ? nullptr : it->second.get();
}

CKeyTree::SNode* CKeyTree::SNode::FindChild(std::u16string_view name)
{
    return const_cast<SNode*>(static_cast<const SNode*>(this)->FindChild(name));
}

const SRegValue* CKeyTree::SNode::FindValue(std::u16string_view name) const
{
    for (const SRegValue& value : m_values) {
        if (NamesEqual(value.m_strName, name))
            return &value;
    }
    return nullptr;
}

SRegValue* CKeyTree::SNode::FindValue(std::u16string_view name)
{
    for (SRegValue& value : m_values) {
        if (NamesEqual(value.m_strName, name))
            return &value;
    }
    return nullptr;
}

CKeyTree::CKeyTree(std::u16string strRoot)
{
    m_root.m_strName = std::move(strRoot);
}

void CKeyTree::Clear()
{
    m_root.m_children.clear();
    m_root.m_values.clear();
}

std::u16string CKeyTree::Fold(std::u16string_view name)
{
    const auto& table = FoldTable();
    std::u16string folded(name);
    for (char16_t& c : folded)
        c = table[c];
    return folded;
}

bool CKeyTree::NamesEqual(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto& table = FoldTable();
    for (size_t i = 0; i < a.size(); ++i) {
        if (table[a[i]] != table[b[i]])
            return false;
    }
    return true;
}

bool CKeyTree::IsValidKeyName(std::u16string_view name)
{
    return !name.empty() && name.size() <= kMaxKeyName &&
           name.find(u'\\') == std::u16string_view::npos && !HasUnwritableChar(name);
}

bool CKeyTree::IsValidValueName(std::u16string_view name)
{
    return !HasUnwritableChar(name);
}

bool CKeyTree::IsValidPath(std::u16string_view path)
{
    if (path.empty())
        return true;
    bool valid = true;
    size_t depth = 0;
    ForEachComponent(path, [&](std::u16string_view name) {
        valid = valid && ++depth <= kMaxDepth && IsValidKeyName(name);
    });
    return valid;
}

const CKeyTree::SNode* CKeyTree::Find(std::u16string_view path) const
{
    return const_cast<CKeyTree*>(this)->Find(path);
}

CKeyTree::SNode* CKeyTree::Find(std::u16string_view path)
{
    SNode* node = &m_root;
    if (path.empty())
        return node;
    ForEachComponent(path, [&](std::u16string_view name) {
        if (node)
            node = name.empty() ? nullptr : node->FindChild(name);
    });
    return node;
}

CKeyTree::SNode* CKeyTree::Create(std::u16string_view path)
{
    if (!IsValidPath(path))
        return nullptr;
    SNode* node = &m_root;
    if (path.empty())
        return node;
    ForEachComponent(path, [&](std::u16string_view name) {
        auto& slot = node->m_children[Fold(name)];
        if (!slot) {
            slot = std::make_unique<SNode>();
            slot->m_strName = std::u16string(name);
        }
        node = slot.get();
    });
    return node;
}

bool CKeyTree::DeleteTree(std::u16string_view path)
{
    if (path.empty())
        return false;
    const size_t slash = path.rfind(u'\\');
    SNode* parent = slash == path.npos ? &m_root : Find(path.substr(0, slash));
    if (!parent)
        return false;
    return parent->m_children.erase(Fold(slash == path.npos ? path : path.substr(slash + 1))) > 0;
}

bool CKeyTree::SetValue(std::u16string_view path, SRegValue value)
{
    if (!IsValidValueName(value.m_strName))
        return false;
    SNode* node = Create(path);
    if (!node)
        return false;
    if (SRegValue* existing = node->FindValue(value.m_strName)) {
        // The registry keeps the case the value was first created with.
        value.m_strName = existing->m_strName;
        *existing = std::move(value);
    } else {
        node->m_values.push_back(std::move(value));
    }
    return true;
}

bool CKeyTree::DeleteValue(std::u16string_view path, std::u16string_view name)
{
    SNode* node = Find(path);
    if (!node)
        return false;
    for (auto it = node->m_values.begin(); it != node->m_values.end(); ++it) {
        if (NamesEqual(it->m_strName, name)) {
            node->m_values.erase(it);
            return true;
        }
    }
    return false;
}

bool CKeyTree::ParseSalvaging(std::string_view bytes, std::string& strError, size_t& nDamaged)
{
    nDamaged = 0;
    if (Parse(bytes, strError))
        return true;
    const std::string firstError = strError;
    // Lines as bytes: a line that is not UTF-8 spoils only its own section.
    std::vector<std::string_view> lines;
    for (size_t pos = 0; pos < bytes.size();) {
        const size_t end = bytes.find('\n', pos);
        lines.push_back(bytes.substr(pos, end == bytes.npos ? bytes.npos : end - pos));
        pos = end == bytes.npos ? bytes.size() : end + 1;
    }
    const bool bCutOff = bytes.back() != '\n';
    auto isBlank = [](std::string_view line) {
        const size_t first = line.find_first_not_of(" \t\r");
        return first == line.npos || line[first] == ';';
    };
    size_t at = 0;
    while (at < lines.size() && isBlank(lines[at]))
        ++at;
    if (at == lines.size())
        return false;
    std::string_view header = lines[at];
    if (header.substr(0, 3) == "\xEF\xBB\xBF")
        header.remove_prefix(3);
    while (!header.empty() && (header.back() == '\r' || header.back() == ' '))
        header.remove_suffix(1);
    if (header != ToUtf8(kHeader))
        return false;
    ++at;

    CKeyTree result(m_root.m_strName);
    const std::string head = ToUtf8(kHeader) + "\n\n";
    while (at < lines.size()) {
        size_t end = at + 1;
        if (lines[at].empty() || lines[at].front() != '[') {
            // A stray line outside any section.
            if (!isBlank(lines[at]))
                ++nDamaged;
            at = end;
            continue;
        }
        while (end < lines.size() && (lines[end].empty() || lines[end].front() != '['))
            ++end;
        std::string chunk = head;
        for (size_t i = at; i < end; ++i) {
            chunk += lines[i];
            chunk.push_back('\n');
        }
        // Only sections of this tree's root: another root's keys must not join it.
        bool bOurRoot = m_root.m_strName.empty();
        if (const auto line = FromUtf8Strict(lines[at]); line && !bOurRoot) {
            std::u16string_view inner = std::u16string_view(*line).substr(1);
            if (StartsWithAsciiNoCase(inner, kHivePrefix)) {
                inner.remove_prefix(kHivePrefix.size());
                const size_t stop = inner.find_first_of(u"\\]");
                bOurRoot =
                    stop != inner.npos && NamesEqual(inner.substr(0, stop), m_root.m_strName);
            }
        }
        CKeyTree section(m_root.m_strName);
        std::string error;
        if (!bOurRoot || (bCutOff && end == lines.size()) || !section.Parse(chunk, error)) {
            ++nDamaged;
            at = end;
            continue;
        }
        // Merge the section's keys and values.
        std::vector<std::pair<const SNode*, std::u16string>> pending{{&section.Root(), u""}};
        while (!pending.empty()) {
            auto [node, path] = std::move(pending.back());
            pending.pop_back();
            result.Create(path);
            for (const SRegValue& value : node->m_values)
                result.SetValue(path, value);
            for (const auto& [folded, child] : node->m_children)
                pending.emplace_back(child.get(), path.empty() ? child->m_strName
                                                               : path + u"\\" + child->m_strName);
        }
        at = end;
    }
    if (nDamaged == 0)
        nDamaged = 1; // damaged as a whole (two settings roots, say), yet every section reads
    strError = firstError;
    *this = std::move(result);
    return true;
}

size_t CKeyTree::CountKeys() const
{
    return CountNodes(m_root);
}

std::string CKeyTree::Serialize() const
{
    std::string text;
    Serialize(text, std::string::npos);
    return text;
}

bool CKeyTree::Serialize(std::string& text, size_t nMaxBytes) const
{
    text.clear();
    std::u16string out;
    out += kHeader;
    out += u"\n\n";
    std::u16string path(kHivePrefix);
    path += m_root.m_strName;
    // A UTF-8 text is never shorter than its UTF-16 form, so the count of units may stop
    // the walk early.
    if (!AppendTree(out, m_root, std::move(path), nMaxBytes))
        return false;
    text = ToUtf8(out);
    if (text.size() > nMaxBytes) {
        text.clear();
        return false;
    }
    return true;
}

bool CKeyTree::Parse(std::string_view bytes, std::string& strError)
{
    CKeyTree result(m_root.m_strName);
    if (bytes.empty()) {
        // A file of no bytes at all holds no settings (what a crash before the first write
        // of a careless editor leaves behind); there is nothing to lose.
        *this = std::move(result);
        return true;
    }
    const std::optional<std::u16string> decoded = FromUtf8Strict(bytes);
    if (!decoded) {
        strError = "it is not UTF-8 text";
        return false;
    }
    if (bytes.back() != '\n') {
        strError = "it ends in the middle of a line (cut off)";
        return false;
    }
    std::u16string_view text(*decoded);
    if (!text.empty() && text.front() == 0xFEFF)
        text.remove_prefix(1);

    bool bHeader = false;
    std::u16string strFileRoot;
    SNode* current = nullptr;
    size_t lineNumber = 0;
    size_t pos = 0;
    auto fail = [&](const std::string& what) {
        strError = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    auto nextLine = [&](std::u16string_view& line) {
        if (pos >= text.size())
            return false;
        const size_t end = text.find(u'\n', pos);
        line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == u'\r')
            line.remove_suffix(1);
        return true;
    };

    std::u16string_view line;
    while (nextLine(line)) {
        for (char16_t c : line) {
            if (c < 0x20 && c != u'\t')
                return fail("control character in the text");
        }
        const std::u16string_view trimmed = TrimRight(TrimLeft(line));
        if (trimmed.empty() || trimmed.front() == u';')
            continue;
        if (!bHeader) {
            if (trimmed != kHeader)
                return fail("the first line is not \"Windows Registry Editor Version 5.00\"");
            bHeader = true;
            continue;
        }
        if (line.front() == u'[') {
            const std::u16string_view section = TrimRight(line);
            if (section.back() != u']')
                return fail("a key line without its closing ']'");
            std::u16string_view inner = section.substr(1, section.size() - 2);
            if (!inner.empty() && inner.front() == u'-')
                return fail("key deletions do not belong in a settings file");
            if (!StartsWithAsciiNoCase(inner, kHivePrefix))
                return fail("a key outside HKEY_CURRENT_USER\\Software\\Korvane@Work");
            inner.remove_prefix(kHivePrefix.size());
            const size_t slash = inner.find(u'\\');
            const std::u16string_view root = inner.substr(0, slash);
            if (root.empty())
                return fail("a key without the settings root");
            if (strFileRoot.empty())
                strFileRoot = root;
            else if (!NamesEqual(strFileRoot, root))
                return fail("keys of two settings roots in one file");
            const std::u16string_view path =
                slash == inner.npos ? std::u16string_view() : inner.substr(slash + 1);
            if (slash != inner.npos && path.empty())
                return fail("a key path ending in '\\'");
            if (slash != inner.npos &&
                static_cast<size_t>(std::count(path.begin(), path.end(), u'\\')) >= kMaxDepth)
                return fail("a key nested deeper than " + std::to_string(kMaxDepth) + " levels");
            current = result.Create(path);
            if (!current)
                return fail("a key name that is empty, too long or holds control characters");
            continue;
        }
        if (line.front() != u'"' && line.front() != u'@')
            return fail("unexpected text");
        if (!current)
            return fail("a value before the first key");

        SRegValue value;
        size_t at = 0;
        std::string what;
        if (line.front() == u'@') {
            at = 1;
        } else if (!ReadQuoted(line, at, value.m_strName, what)) {
            return fail(what);
        }
        if (at >= line.size() || line[at] != u'=')
            return fail("a value name without '='");
        ++at;
        std::u16string data(TrimRight(line.substr(at)));
        if (!data.empty() && data.front() == u'"') {
            size_t q = 0;
            if (!ReadQuoted(data, q, value.m_strText, what))
                return fail(what);
            if (q != data.size())
                return fail("text after a quoted value");
            value.m_type = ERegType::String;
        } else if (StartsWithAsciiNoCase(data, u"dword:")) {
            const std::u16string_view digits = std::u16string_view(data).substr(6);
            if (digits.empty() || digits.size() > 8)
                return fail("a dword value that is not 1 to 8 hex digits");
            uint32_t number = 0;
            for (char16_t c : digits) {
                const int digit = HexDigit(c);
                if (digit < 0)
                    return fail("a dword value that is not 1 to 8 hex digits");
                number = number * 16 + static_cast<uint32_t>(digit);
            }
            value.m_type = ERegType::Dword;
            value.m_nDword = number;
        } else if (StartsWithAsciiNoCase(data, u"hex")) {
            // Long binary values continue on the next line after a trailing '\'.
            while (!data.empty() && data.back() == u'\\') {
                data.pop_back();
                std::u16string_view more;
                if (!nextLine(more))
                    return fail("a hex value continued past the end of the file");
                data += TrimRight(TrimLeft(more));
            }
            const size_t colon = data.find(u':');
            if (colon == data.npos)
                return fail("a hex value without ':'");
            const std::u16string_view kind = std::u16string_view(data).substr(0, colon);
            if (!EqualsAsciiNoCase(kind, u"hex")) {
                if (kind.size() < 6 || kind[3] != u'(' || kind.back() != u')' || kind.size() > 13)
                    return fail("an unknown value type");
                for (char16_t c : kind.substr(4, kind.size() - 5)) {
                    if (HexDigit(c) < 0)
                        return fail("an unknown value type");
                }
            }
            std::vector<unsigned char> data8;
            if (!ReadHexList(std::u16string_view(data).substr(colon + 1), data8))
                return fail("a hex value that is not a list of bytes");
            if (EqualsAsciiNoCase(kind, u"hex(1)")) {
                if (data8.size() % 2 != 0)
                    return fail("a hex(1) text of an odd number of bytes");
                std::u16string decodedText;
                for (size_t i = 0; i + 1 < data8.size(); i += 2)
                    decodedText.push_back(static_cast<char16_t>(data8[i] | (data8[i + 1] << 8)));
                if (!decodedText.empty() && decodedText.back() == 0)
                    decodedText.pop_back();
                value.m_type = ERegType::String;
                value.m_strText = std::move(decodedText);
            } else {
                value.m_type = ERegType::Raw;
                value.m_strRaw = ToUtf8(data);
            }
        } else if (data == u"-") {
            return fail("value deletions do not belong in a settings file");
        } else {
            return fail("an unknown kind of value");
        }
        if (!IsValidValueName(value.m_strName))
            return fail("a value name with control characters");
        if (SRegValue* existing = current->FindValue(value.m_strName))
            *existing = std::move(value);
        else
            current->m_values.push_back(std::move(value));
    }
    if (!bHeader) {
        strError = "the first line is not \"Windows Registry Editor Version 5.00\"";
        return false;
    }
    *this = std::move(result);
    return true;
}
