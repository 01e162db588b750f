#include "platform/CProfile.h"

#include "platform/CSecretService.h"
#include "platform/Startup.h"
#include "platform/Utf.h"

#include <charconv>
#include <limits>

namespace {

// A decimal number with an optional sign that fits 32 bits, and nothing else.
std::optional<int32_t> ParseDecimal(std::u16string_view text)
{
    std::string ascii;
    for (char16_t c : text) {
        if (c > 0x7F)
            return std::nullopt;
        ascii.push_back(static_cast<char>(c));
    }
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    if (first != last && *first == '+')
        ++first;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last)
        return std::nullopt;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

} // namespace

CProfile::CProfile(std::u16string strRoot, std::filesystem::path folder)
    : m_store(folder.empty() ? CKeyStore::DefaultFolder() : std::move(folder), std::move(strRoot))
{}

CProfile& CProfile::Process()
{
    static CProfile& profile = []() -> CProfile& {
        static CProfile made(ProcessRootName());
        made.SetSecretStore(&CSecretService::Process());
        return made;
    }();
    return profile;
}

std::u16string CProfile::ProcessRootName()
{
    const std::filesystem::path executable = ExecutablePath();
    if (executable.empty())
        return u"Quarrow";
    return RootNameFromFile(executable);
}

std::u16string CProfile::RootNameFromFile(const std::filesystem::path& executable)
{
    return quarrow::FromUtf8(executable.filename().stem().string());
}

int32_t CProfile::GetProfileInt(std::u16string_view section, std::u16string_view entry,
                                int32_t nDefault)
{
    const std::optional<SRegValue> value = m_store.GetValue(section, entry);
    if (!value)
        return nDefault;
    return IntFromValue(*value).value_or(nDefault);
}

std::optional<int32_t> CProfile::IntFromValue(const SRegValue& value)
{
    if (value.m_type == ERegType::Dword)
        return static_cast<int32_t>(value.m_nDword);
    if (value.m_type == ERegType::String)
        return ParseDecimal(value.m_strText);
    return std::nullopt;
}

bool CProfile::WriteProfileInt(std::u16string_view section, std::u16string_view entry,
                               int32_t nValue)
{
    return m_store.SetDword(section, entry, static_cast<uint32_t>(nValue));
}

std::u16string CProfile::GetProfileString(std::u16string_view section, std::u16string_view entry,
                                          std::u16string_view strDefault)
{
    const std::optional<SRegValue> value = m_store.GetValue(section, entry);
    if (!value || value->m_type != ERegType::String)
        return std::u16string(strDefault);
    return value->m_strText;
}

bool CProfile::WriteProfileString(std::u16string_view section, std::u16string_view entry,
                                  std::u16string_view strValue)
{
    return m_store.SetString(section, entry, strValue);
}

bool CProfile::SectionExists(std::u16string_view section)
{
    return m_store.KeyExists(section);
}

bool CProfile::CreateSection(std::u16string_view section)
{
    return m_store.CreateKey(section);
}

std::vector<std::u16string> CProfile::GetSubsections(std::u16string_view section)
{
    return m_store.GetSubkeyNames(section);
}

bool CProfile::DeleteSection(std::u16string_view section)
{
    return m_store.DeleteTree(section);
}
