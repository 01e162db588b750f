// The SQL Server Browser's answer parser on arbitrary datagrams: whatever comes back must be
// within the protocol's limits, plain ASCII, and name a server Quarrow can write down.
//
// Input: the bytes of one UDP datagram, as it would arrive on port 1434's reply.

#include "catalog/CBrowserAnswer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "browser_fuzz invariant broken: %s\n", what);
        std::abort();
    }
}

bool IsPlain(const std::string& text)
{
    for (char c : text) {
        if (c < 0x20 || c > 0x7E || c == ';') {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto instances = CBrowserAnswer::Parse(data, size);
    Check(instances.size() <= CBrowserAnswer::kMostInstances, "too many instances");
    if (!instances.empty()) {
        Check(size >= 3 && data[0] == CBrowserAnswer::kAnswer, "instances from a non-answer");
    }
    for (const auto& instance : instances) {
        Check(!instance.m_strServerName.empty() &&
                  instance.m_strServerName.size() <= CBrowserAnswer::kLongestName,
              "server name length");
        Check(!instance.m_strInstanceName.empty() &&
                  instance.m_strInstanceName.size() <= CBrowserAnswer::kLongestName,
              "instance name length");
        Check(instance.m_strVersion.size() <= CBrowserAnswer::kLongestVersion, "version length");
        Check(IsPlain(instance.m_strServerName) && IsPlain(instance.m_strInstanceName) &&
                  IsPlain(instance.m_strVersion),
              "non-ASCII field");
        Check(!instance.m_nTcpPort || (*instance.m_nTcpPort >= 1 && *instance.m_nTcpPort <= 65535),
              "port out of range");
        const std::u16string name = CBrowserAnswer::DisplayName(instance);
        Check(name.size() >= instance.m_strServerName.size(), "display name shorter than host");
        Check(name.find(u',') == std::u16string::npos, "a comma would read as a port");
    }
    // Whatever bytes a user's instance name holds, the request is bounded and terminated.
    std::u16string name;
    for (std::size_t i = 0; i < size && i < 40; ++i) {
        name += static_cast<char16_t>(data[i]);
    }
    if (auto request = CBrowserAnswer::InstanceRequest(name)) {
        Check(request->size() <= 33 && request->back() == 0 &&
                  request->front() == CBrowserAnswer::kInstanceRequest,
              "instance request shape");
    }
    return 0;
}
