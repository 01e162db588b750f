#include "catalog/CBrowserAnswer.h"

#include "platform/Utf.h"

#include <algorithm>
#include <string_view>

namespace {

bool IsPrintableAscii(std::uint8_t c)
{
    return c >= 0x20 && c <= 0x7E;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// A name that can stand in HOST\INSTANCE: no separator of that form, no blank.
bool IsNameText(std::string_view text)
{
    return !text.empty() && text.size() <= CBrowserAnswer::kLongestName &&
           text.find_first_of("\\, ") == std::string_view::npos;
}

bool IsVersionText(std::string_view text)
{
    return !text.empty() && text.size() <= CBrowserAnswer::kLongestVersion &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

std::optional<unsigned> PortOf(std::string_view text)
{
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return std::nullopt;
    }
    return value;
}

// One record's key/value tokens; none when a field is missing, repeated or out of shape.
std::optional<SBrowserInstance> ReadRecord(const std::vector<std::string_view>& tokens)
{
    if (tokens.empty() || tokens.size() % 2 != 0) {
        return std::nullopt;
    }
    SBrowserInstance instance;
    bool haveServer = false;
    bool haveInstance = false;
    bool haveVersion = false;
    bool haveClustered = false;
    bool haveTcp = false;
    for (std::size_t i = 0; i < tokens.size(); i += 2) {
        const std::string_view key = tokens[i];
        const std::string_view value = tokens[i + 1];
        auto once = [](bool& seen) {
            if (seen) {
                return false;
            }
            seen = true;
            return true;
        };
        if (EqualsIgnoringCase(key, "ServerName")) {
            if (!once(haveServer) || !IsNameText(value)) {
                return std::nullopt;
            }
            instance.m_strServerName = value;
        } else if (EqualsIgnoringCase(key, "InstanceName")) {
            if (!once(haveInstance) || !IsNameText(value)) {
                return std::nullopt;
            }
            instance.m_strInstanceName = value;
        } else if (EqualsIgnoringCase(key, "Version")) {
            if (!once(haveVersion) || !IsVersionText(value)) {
                return std::nullopt;
            }
            instance.m_strVersion = value;
        } else if (EqualsIgnoringCase(key, "IsClustered")) {
            if (!once(haveClustered)) {
                return std::nullopt;
            }
            instance.m_bClustered = EqualsIgnoringCase(value, "Yes");
        } else if (EqualsIgnoringCase(key, "tcp")) {
            auto port = PortOf(value);
            if (!once(haveTcp) || !port) {
                return std::nullopt;
            }
            instance.m_nTcpPort = port;
        }
        // Other transports (np, via, rpc, spx, adsp, bv) are of no use here.
    }
    if (!haveServer || !haveInstance || !haveVersion) {
        return std::nullopt;
    }
    return instance;
}

} // namespace

std::vector<SBrowserInstance> CBrowserAnswer::Parse(const std::uint8_t* data, std::size_t size)
{
    std::vector<SBrowserInstance> instances;
    if (data == nullptr || size < 3 || size > kLargestAnswer || data[0] != kAnswer) {
        return instances;
    }
    const std::size_t declared =
        static_cast<std::size_t>(data[1]) | (static_cast<std::size_t>(data[2]) << 8);
    // Bytes past the declared length are not the answer's; a short datagram is read as far
    // as it goes, and its unfinished last record is dropped below.
    const std::size_t end = 3 + std::min(declared, size - 3);
    std::size_t position = 3;
    // Each pass takes one record up to its ";;", or ends.
    while (position < end && instances.size() < kMostInstances) {
        std::vector<std::string_view> tokens;
        bool plain = true;
        bool finished = false;
        std::size_t start = position;
        while (position < end) {
            const std::uint8_t c = data[position];
            if (c == ';') {
                const std::string_view token(reinterpret_cast<const char*>(data + start),
                                             position - start);
                ++position;
                start = position;
                if (token.empty()) {
                    finished = true;
                    break;
                }
                // A record has a handful of pairs; a flood of tokens is no record.
                if (tokens.size() < 64) {
                    tokens.push_back(token);
                } else {
                    plain = false;
                }
                continue;
            }
            if (!IsPrintableAscii(c)) {
                plain = false;
            }
            ++position;
        }
        if (!finished) {
            break;
        }
        if (!plain) {
            continue;
        }
        if (auto instance = ReadRecord(tokens)) {
            instances.push_back(std::move(*instance));
        }
    }
    return instances;
}

bool CBrowserAnswer::IsDefaultInstance(const std::string& name)
{
    return EqualsIgnoringCase(name, "MSSQLSERVER");
}

std::u16string CBrowserAnswer::DisplayName(const SBrowserInstance& instance)
{
    std::u16string name = quarrow::FromAscii(instance.m_strServerName);
    if (!IsDefaultInstance(instance.m_strInstanceName)) {
        name += u'\\';
        name += quarrow::FromAscii(instance.m_strInstanceName);
    }
    return name;
}

std::optional<std::vector<std::uint8_t>> CBrowserAnswer::InstanceRequest(const std::u16string& name)
{
    if (name.empty() || name.size() > kLongestRequestedInstance) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> request{kInstanceRequest};
    for (char16_t c : name) {
        if (c < 0x21 || c > 0x7E) {
            return std::nullopt;
        }
        request.push_back(static_cast<std::uint8_t>(c));
    }
    request.push_back(0);
    return request;
}
