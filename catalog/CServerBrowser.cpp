#include "catalog/CServerBrowser.h"

#include "platform/Utf.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using quarrow::FromAscii;
using quarrow::FromUtf8;
using quarrow::ToUtf8;
using Clock = std::chrono::steady_clock;

// After an answer that lacks the instance, how long the lookup waits for the other request's
// answer before it says the instance is unknown.
constexpr int kLastAnswerGraceMs = 250;

class CSocket
{
public:
    explicit CSocket(int fd) : m_nFd(fd) {}
    ~CSocket()
    {
        if (m_nFd >= 0) {
            ::close(m_nFd);
        }
    }
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    int Get() const { return m_nFd; }

private:
    int m_nFd;
};

std::u16string ErrnoText(int error)
{
    return FromUtf8(std::strerror(error));
}

bool IsCancelled(const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load();
}

// A datagram socket for the endpoint. A list takes answers from any sender (a broadcast, or
// a subnet's broadcast address given in the variable, reaches many servers); an instance's
// lookup is connected to its one server, so only that server's answers are read. -1 with a
// reason.
int OpenSocket(const SBrowserEndpoint& endpoint, bool anySender, sockaddr_storage& target,
               socklen_t& targetSize, std::u16string& reason)
{
    targetSize = 0;
    int family = AF_INET;
    if (endpoint.m_bBroadcast) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(endpoint.m_nPort));
        address.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        std::memcpy(&target, &address, sizeof address);
        targetSize = sizeof address;
    } else {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(endpoint.m_nPort);
        if (::getaddrinfo(endpoint.m_strHost.c_str(), port.c_str(), &hints, &found) != 0 ||
            found == nullptr) {
            reason = u"the host '" + FromUtf8(endpoint.m_strHost) + u"' was not found";
            return -1;
        }
        std::memcpy(&target, found->ai_addr, found->ai_addrlen);
        targetSize = found->ai_addrlen;
        family = found->ai_family;
        ::freeaddrinfo(found);
    }
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        reason = u"no UDP socket could be opened: " + ErrnoText(errno);
        return -1;
    }
    if (anySender && family == AF_INET) {
        int on = 1;
        if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
            reason = u"broadcasting is not allowed here: " + ErrnoText(errno);
            ::close(fd);
            return -1;
        }
    }
    if (!anySender && ::connect(fd, reinterpret_cast<sockaddr*>(&target), targetSize) != 0) {
        reason = u"'" + FromUtf8(endpoint.m_strHost) + u"' cannot be reached: " + ErrnoText(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool Send(int fd, const sockaddr_storage& target, socklen_t targetSize, bool connected,
          const std::vector<std::uint8_t>& message, std::u16string& reason)
{
    const ssize_t sent = connected
                             ? ::send(fd, message.data(), message.size(), MSG_NOSIGNAL)
                             : ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                                        reinterpret_cast<const sockaddr*>(&target), targetSize);
    if (sent != static_cast<ssize_t>(message.size())) {
        reason = u"the request could not be sent: " + ErrnoText(errno);
        return false;
    }
    return true;
}

// Reads answers until the deadline, the datagram budget, a cancel, or onAnswer says enough
// (it answers true). A port where nothing listens counts as silence.
template <class F>
void Gather(int fd, Clock::time_point& deadline, const std::atomic<bool>* cancel,
            std::size_t& answers, bool& cancelled, F onAnswer)
{
    std::vector<std::uint8_t> buffer(CBrowserAnswer::kLargestAnswer + 1);
    std::size_t datagrams = 0;
    while (datagrams < CServerBrowser::kMostAnswers) {
        if (IsCancelled(cancel)) {
            cancelled = true;
            return;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        pollfd entry{fd, POLLIN, 0};
        const int ready =
            ::poll(&entry, 1,
                   static_cast<int>(std::min<long long>(std::max<long long>(left, 1),
                                                        CServerBrowser::kCancelSliceMs)));
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (ready <= 0) {
            continue;
        }
        // MSG_TRUNC: the datagram's own length, so an oversized one is seen as such.
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), MSG_TRUNC);
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                continue;
            }
            // ECONNREFUSED and the like: nothing listens there; only the time-out is left.
            if (errno == ECONNREFUSED) {
                continue;
            }
            return;
        }
        ++datagrams;
        const auto size = static_cast<std::size_t>(got);
        if (size > CBrowserAnswer::kLargestAnswer || size < 3 ||
            buffer[0] != CBrowserAnswer::kAnswer) {
            continue;
        }
        ++answers;
        if (onAnswer(CBrowserAnswer::Parse(buffer.data(), size))) {
            return;
        }
    }
}

bool EqualsIgnoringCase(const std::string& a, const std::u16string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char16_t c) {
            return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
        };
        if (lower(static_cast<unsigned char>(a[i])) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

bool CServerBrowser::ParseAddress(const std::string& text, SBrowserEndpoint& endpoint,
                                  std::u16string& reason)
{
    endpoint = SBrowserEndpoint{};
    const auto colon = text.rfind(':');
    const auto shape = u"'" + FromUtf8(text) + u"' is not HOST:PORT";
    if (colon == std::string::npos || colon == 0) {
        reason = shape;
        return false;
    }
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        reason = shape + u" (write an IPv6 address in brackets)";
        return false;
    }
    const std::string port = text.substr(colon + 1);
    unsigned value = 0;
    bool valid = !host.empty() && !port.empty() && port.size() <= 5;
    for (char c : port) {
        if (c < '0' || c > '9') {
            valid = false;
            break;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (!valid || value == 0 || value > 65535) {
        reason = shape;
        return false;
    }
    endpoint.m_strHost = host;
    endpoint.m_nPort = value;
    endpoint.m_bBroadcast = host == "255.255.255.255";
    return true;
}

bool CServerBrowser::ListEndpoint(SBrowserEndpoint& endpoint, std::u16string& reason)
{
    const char* chosen = std::getenv(kAddressVariable);
    if (chosen != nullptr && *chosen != '\0') {
        if (!ParseAddress(chosen, endpoint, reason)) {
            reason = FromAscii(kAddressVariable) + u": " + reason;
            return false;
        }
        return true;
    }
    endpoint = SBrowserEndpoint{"255.255.255.255", kBrowserPort, true};
    return true;
}

SBrowserGathering CServerBrowser::List(const SBrowserEndpoint& endpoint, int waitMs,
                                       const std::atomic<bool>* cancel)
{
    SBrowserGathering gathering;
    if (IsCancelled(cancel)) {
        gathering.m_bCancelled = true;
        return gathering;
    }
    sockaddr_storage target{};
    socklen_t targetSize = 0;
    CSocket socket(OpenSocket(endpoint, true, target, targetSize, gathering.m_strError));
    if (socket.Get() < 0) {
        return gathering;
    }
    const std::vector<std::uint8_t> request{endpoint.m_bBroadcast ? CBrowserAnswer::kListRequest
                                                                  : CBrowserAnswer::kHostRequest};
    if (!Send(socket.Get(), target, targetSize, false, request, gathering.m_strError)) {
        return gathering;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    Gather(socket.Get(), deadline, cancel, gathering.m_nAnswers, gathering.m_bCancelled,
           [&](std::vector<SBrowserInstance> found) {
               for (auto& instance : found) {
                   if (gathering.m_instances.size() >= kMostInstances) {
                       return true;
                   }
                   gathering.m_instances.push_back(std::move(instance));
               }
               return false;
           });
    return gathering;
}

EInstanceLookup CServerBrowser::FindInstancePort(const std::u16string& host,
                                                 const std::u16string& instance, unsigned& port,
                                                 std::u16string& reason, int waitMs)
{
    const std::u16string browser = u"the SQL Server Browser on " + host;
    const auto request = CBrowserAnswer::InstanceRequest(instance);
    if (!request) {
        reason = u"'" + instance +
                 u"' cannot be a SQL Server instance name (1 to 31 letters, digits or signs)";
        return EInstanceLookup::Failed;
    }
    SBrowserEndpoint endpoint;
    const char* chosen = std::getenv(kAddressVariable);
    if (chosen != nullptr && *chosen != '\0') {
        if (!ParseAddress(chosen, endpoint, reason)) {
            reason = FromAscii(kAddressVariable) + u": " + reason;
            return EInstanceLookup::Failed;
        }
        // Asked of one server, never broadcast.
        endpoint.m_bBroadcast = false;
    } else {
        endpoint = SBrowserEndpoint{ToUtf8(host), kBrowserPort, false};
    }
    sockaddr_storage target{};
    socklen_t targetSize = 0;
    CSocket socket(OpenSocket(endpoint, false, target, targetSize, reason));
    if (socket.Get() < 0) {
        reason = browser + u" cannot be asked for instance " + instance + u": " + reason;
        return EInstanceLookup::Failed;
    }
    // The instance's own request, and the host's whole list: a browser does not answer the
    // first for an instance it does not know, and the second tells that case from silence.
    std::u16string sendError;
    if (!Send(socket.Get(), target, targetSize, true, *request, sendError) ||
        !Send(socket.Get(), target, targetSize, true, {CBrowserAnswer::kHostRequest}, sendError)) {
        reason = browser + u" cannot be asked for instance " + instance + u": " + sendError;
        return EInstanceLookup::Failed;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    std::size_t answers = 0;
    bool cancelled = false;
    bool withoutTcp = false;
    bool found = false;
    Gather(socket.Get(), deadline, nullptr, answers, cancelled,
           [&](const std::vector<SBrowserInstance>& instances) {
               for (const auto& candidate : instances) {
                   if (!EqualsIgnoringCase(candidate.m_strInstanceName, instance)) {
                       continue;
                   }
                   if (candidate.m_nTcpPort) {
                       port = *candidate.m_nTcpPort;
                       found = true;
                       return true;
                   }
                   withoutTcp = true;
               }
               deadline =
                   std::min(deadline, Clock::now() + std::chrono::milliseconds(kLastAnswerGraceMs));
               return false;
           });
    if (found) {
        return EInstanceLookup::Found;
    }
    if (answers == 0) {
        const std::string wait = waitMs % 1000 == 0 ? std::to_string(waitMs / 1000) + " seconds"
                                                    : std::to_string(waitMs) + " ms";
        reason = browser + u" did not answer for instance " + instance + u" within " +
                 FromAscii(wait) +
                 u" (UDP port 1434); check that the SQL Server Browser runs there and "
                 u"that a firewall lets UDP port 1434 through, or give the port as HOST,PORT";
        return EInstanceLookup::NoAnswer;
    }
    reason = withoutTcp ? browser + u" knows instance " + instance +
                              u", but the instance does not listen on TCP/IP"
                        : browser + u" does not know instance " + instance;
    return EInstanceLookup::UnknownInstance;
}
