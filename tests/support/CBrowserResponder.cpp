#include "tests/support/CBrowserResponder.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

CBrowserResponder::CBrowserResponder()
{
    m_nSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_nSocket < 0) {
        return;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(m_nSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_nSocket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(m_nSocket);
        m_nSocket = -1;
        return;
    }
    m_nPort = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
}

CBrowserResponder::~CBrowserResponder()
{
    m_bStop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_nSocket >= 0) {
        ::close(m_nSocket);
    }
}

void CBrowserResponder::SetInstances(std::vector<SInstance> instances)
{
    std::lock_guard lock(m_lock);
    m_instances = std::move(instances);
}

void CBrowserResponder::SetSilent(bool silent)
{
    std::lock_guard lock(m_lock);
    m_bSilent = silent;
}

void CBrowserResponder::SetCopies(int copies)
{
    std::lock_guard lock(m_lock);
    m_nCopies = copies;
}

void CBrowserResponder::SetRawAnswers(std::vector<std::string> datagrams)
{
    std::lock_guard lock(m_lock);
    m_raw = std::move(datagrams);
}

std::string CBrowserResponder::Record(const SInstance& instance)
{
    std::string record = "ServerName;" + instance.m_strServer + ";InstanceName;" +
                         instance.m_strInstance + ";IsClustered;No;Version;" +
                         instance.m_strVersion + ";";
    if (instance.m_nTcpPort != 0) {
        record += "tcp;" + std::to_string(instance.m_nTcpPort) + ";";
    }
    record += "np;\\\\" + instance.m_strServer + "\\pipe\\sql\\query;;";
    return record;
}

std::string CBrowserResponder::Answer(const std::string& records)
{
    std::string datagram(1, '\x05');
    datagram += static_cast<char>(records.size() & 0xFF);
    datagram += static_cast<char>((records.size() >> 8) & 0xFF);
    return datagram + records;
}

void CBrowserResponder::Run()
{
    // Bounded by the stop flag, checked every 20 ms.
    while (!m_bStop.load()) {
        pollfd entry{m_nSocket, POLLIN, 0};
        if (::poll(&entry, 1, 20) != 1) {
            continue;
        }
        char request[512];
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got = ::recvfrom(m_nSocket, request, sizeof request, 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < 1) {
            continue;
        }
        ++m_nRequests;
        std::vector<std::string> replies;
        {
            std::lock_guard lock(m_lock);
            if (m_bSilent) {
                continue;
            }
            const auto type = static_cast<unsigned char>(request[0]);
            if (type == 0x02 || type == 0x03) {
                if (!m_raw.empty()) {
                    replies = m_raw;
                } else {
                    std::string records;
                    for (const auto& instance : m_instances) {
                        records += Record(instance);
                    }
                    for (int i = 0; i < m_nCopies; ++i) {
                        replies.push_back(Answer(records));
                    }
                }
            } else if (type == 0x04 && got >= 2) {
                const std::string name(request + 1, strnlen(request + 1, std::size_t(got) - 1));
                for (const auto& instance : m_instances) {
                    if (SameName(instance.m_strInstance, name)) {
                        replies.push_back(Answer(Record(instance)));
                    }
                }
            }
        }
        for (const auto& reply : replies) {
            ::sendto(m_nSocket, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                     fromSize);
        }
    }
}
