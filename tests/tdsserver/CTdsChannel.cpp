#include "tests/tdsserver/CTdsChannel.h"

#include "tests/tdsserver/TdsProtocol.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Once a packet has begun, the rest of it must follow within this time.
constexpr int kInPacketWaitMs = 30'000;

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

} // namespace

CTdsChannel::CTdsChannel(int socket, std::uint16_t spid)
    : m_nSocket(socket), m_nSpid(spid), m_nPacketSize(tds::kDefaultPacketSize),
      m_nReadLimit(tds::kMaxPacketSize)
{}

CTdsChannel::~CTdsChannel()
{
    if (m_nSocket >= 0) {
        ::close(m_nSocket);
    }
}

bool CTdsChannel::WaitReadable(int waitMs)
{
    if (m_pTls && m_pTls->HasPending()) {
        return true;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        pollfd wait{m_nSocket, POLLIN, 0};
        int ready = ::poll(&wait, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready > 0;
    }
}

std::size_t CTdsChannel::ReceiveSome(std::uint8_t* data, std::size_t size, int waitMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    // Bounded by the deadline: every turn waits for the socket or gives up.
    for (;;) {
        if (m_pTls) {
            int plain = m_pTls->Read(data, size);
            if (plain > 0) {
                return static_cast<std::size_t>(plain);
            }
            if (plain < 0) {
                errno = ECONNRESET; // a broken record or the client's close_notify
                return 0;
            }
        }
        if (!WaitReadable(RemainingMs(deadline))) {
            errno = ETIMEDOUT;
            return 0;
        }
        std::uint8_t raw[16 * 1024];
        std::uint8_t* into = m_pTls ? raw : data;
        std::size_t room = m_pTls ? sizeof raw : size;
        ssize_t n = ::recv(m_nSocket, into, room, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            errno = n == 0 ? ECONNRESET : errno;
            return 0;
        }
        if (!m_pTls) {
            return static_cast<std::size_t>(n);
        }
        m_pTls->Feed(raw, static_cast<std::size_t>(n));
        // Alerts and the like that reading produced go out at once.
        auto answer = m_pTls->TakeOutput();
        SendRaw(answer.data(), answer.size());
    }
}

bool CTdsChannel::ReadExact(std::uint8_t* data, std::size_t size, int waitMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    std::size_t got = 0;
    while (got < size) {
        std::size_t n = ReceiveSome(data + got, size - got, RemainingMs(deadline));
        if (n == 0) {
            return false;
        }
        got += n;
    }
    return true;
}

bool CTdsChannel::StartTls(const CTdsTlsContext& context, std::string& reason)
{
    // A handshake is a few flights; more rounds than this is a client going in circles.
    constexpr int kMaxRounds = 32;
    m_pTls.reset();
    auto tls = std::make_unique<CTdsTlsSession>(context);
    for (int round = 0; round < kMaxRounds; ++round) {
        std::string why;
        auto step = tls->Handshake(why);
        auto flight = tls->TakeOutput();
        if (!flight.empty()) {
            // The server's flight travels as one PRELOGIN message, cut into packets.
            Begin(tds::kPacketPreLogin);
            Bytes(flight.data(), flight.size());
            End();
        }
        if (step == CTdsTlsSession::EStep::Done) {
            m_pTls = std::move(tls);
            return IsHealthy();
        }
        if (step == CTdsTlsSession::EStep::Failed) {
            reason = "TLS handshake failed: " + why;
            return false;
        }
        // The client's handshake bytes come in PRELOGIN packets, EOM or not.
        std::uint8_t header[tds::kHeaderSize];
        if (!ReadExact(header, sizeof header, kInPacketWaitMs)) {
            reason = "the client left during the TLS handshake";
            return false;
        }
        std::size_t length = (std::size_t{header[2]} << 8) | header[3];
        if (header[0] != tds::kPacketPreLogin || length < tds::kHeaderSize ||
            length > tds::kMaxPacketSize) {
            reason = "packet type " + std::to_string(header[0]) + " of length " +
                     std::to_string(length) + " during the TLS handshake";
            return false;
        }
        std::vector<std::uint8_t> body(length - tds::kHeaderSize);
        if (!body.empty() && !ReadExact(body.data(), body.size(), kInPacketWaitMs)) {
            reason = "the client left during the TLS handshake";
            return false;
        }
        tls->Feed(body.data(), body.size());
    }
    reason = "TLS handshake did not finish";
    return false;
}

int CTdsChannel::PeekRawByte(int waitMs)
{
    if (!WaitReadable(waitMs)) {
        return -1;
    }
    std::uint8_t byte = 0;
    ssize_t n = ::recv(m_nSocket, &byte, 1, MSG_PEEK);
    return n == 1 ? byte : -1;
}

CTdsChannel::ERead CTdsChannel::ReadMessage(std::uint8_t& type, std::vector<std::uint8_t>& payload,
                                            bool& ignored, std::size_t maxBytes, int idleMs,
                                            std::string& reason)
{
    payload.clear();
    ignored = false;
    bool first = true;
    for (;;) {
        std::uint8_t header[tds::kHeaderSize];
        if (!ReadExact(header, 1, first ? idleMs : kInPacketWaitMs)) {
            return errno == ETIMEDOUT ? ERead::TimedOut : ERead::Closed;
        }
        if (!ReadExact(header + 1, sizeof header - 1, kInPacketWaitMs)) {
            return errno == ETIMEDOUT ? ERead::TimedOut : ERead::Closed;
        }
        std::size_t length = (std::size_t{header[2]} << 8) | header[3];
        if (length < tds::kHeaderSize || length > m_nReadLimit) {
            reason = "packet length " + std::to_string(length) + " outside 8.." +
                     std::to_string(m_nReadLimit);
            return ERead::Hostile;
        }
        if (first) {
            type = header[0];
        } else if (header[0] != type) {
            reason = "packet type changed inside a message";
            return ERead::Hostile;
        }
        std::size_t body = length - tds::kHeaderSize;
        if (payload.size() + body > maxBytes) {
            reason = "message longer than " + std::to_string(maxBytes) + " bytes";
            return ERead::Hostile;
        }
        std::size_t at = payload.size();
        payload.resize(at + body);
        if (body > 0 && !ReadExact(payload.data() + at, body, kInPacketWaitMs)) {
            return errno == ETIMEDOUT ? ERead::TimedOut : ERead::Closed;
        }
        first = false;
        if ((header[1] & tds::kStatusEndOfMessage) != 0) {
            ignored = (header[1] & tds::kStatusIgnore) != 0;
            return ERead::Message;
        }
    }
}

CTdsChannel::EInterrupt CTdsChannel::WaitForInterrupt(int waitMs)
{
    if (!WaitReadable(waitMs)) {
        return EInterrupt::None;
    }
    // A client may only send ATTENTION while a response is under way (a header alone).
    std::uint8_t header[tds::kHeaderSize];
    if (!ReadExact(header, sizeof header, kInPacketWaitMs) || header[0] != tds::kPacketAttention) {
        return EInterrupt::Closed;
    }
    std::size_t length = (std::size_t{header[2]} << 8) | header[3];
    if (length < tds::kHeaderSize || length > m_nReadLimit) {
        return EInterrupt::Closed;
    }
    std::vector<std::uint8_t> rest(length - tds::kHeaderSize);
    if (!rest.empty() && !ReadExact(rest.data(), rest.size(), kInPacketWaitMs)) {
        return EInterrupt::Closed;
    }
    return EInterrupt::Attention;
}

void CTdsChannel::Drain(int idleMs)
{
    std::uint8_t sink[4096];
    for (;;) {
        pollfd wait{m_nSocket, POLLIN, 0};
        int ready = ::poll(&wait, 1, idleMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return;
        }
        ssize_t n = ::recv(m_nSocket, sink, sizeof sink, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
    }
}

void CTdsChannel::Begin(std::uint8_t type)
{
    m_nType = type;
    m_out.clear();
}

void CTdsChannel::Byte(std::uint8_t value)
{
    Bytes(&value, 1);
}

void CTdsChannel::U16(std::uint16_t value)
{
    std::uint8_t data[2] = {static_cast<std::uint8_t>(value),
                            static_cast<std::uint8_t>(value >> 8)};
    Bytes(data, sizeof data);
}

void CTdsChannel::U32(std::uint32_t value)
{
    std::uint8_t data[4];
    for (int i = 0; i < 4; ++i) {
        data[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    Bytes(data, sizeof data);
}

void CTdsChannel::U64(std::uint64_t value)
{
    std::uint8_t data[8];
    for (int i = 0; i < 8; ++i) {
        data[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    Bytes(data, sizeof data);
}

void CTdsChannel::U32BigEndian(std::uint32_t value)
{
    std::uint8_t data[4];
    for (int i = 0; i < 4; ++i) {
        data[i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
    }
    Bytes(data, sizeof data);
}

void CTdsChannel::Bytes(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t body = m_nPacketSize - tds::kHeaderSize;
    while (size > 0) {
        std::size_t room = body - m_out.size();
        std::size_t take = size < room ? size : room;
        m_out.insert(m_out.end(), bytes, bytes + take);
        bytes += take;
        size -= take;
        // A full packet goes out at once, unless it may turn out to be the last one.
        if (m_out.size() == body && size > 0) {
            SendPacket(false, m_out.size());
        }
    }
}

void CTdsChannel::Utf16(std::u16string_view text)
{
    std::vector<std::uint8_t> data(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        data[2 * i] = static_cast<std::uint8_t>(text[i]);
        data[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    Bytes(data.data(), data.size());
}

void CTdsChannel::Flush()
{
    if (!m_out.empty()) {
        SendPacket(false, m_out.size());
    }
}

void CTdsChannel::End()
{
    SendPacket(true, m_out.size());
    m_nPacketId = 1;
}

void CTdsChannel::SendPacket(bool last, std::size_t size)
{
    std::size_t length = size + tds::kHeaderSize;
    std::uint8_t header[tds::kHeaderSize] = {
        m_nType,
        static_cast<std::uint8_t>(last ? tds::kStatusEndOfMessage : 0),
        static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length),
        static_cast<std::uint8_t>(m_nSpid >> 8),
        static_cast<std::uint8_t>(m_nSpid),
        m_nPacketId,
        0};
    ++m_nPacketId;
    SendAll(header, sizeof header);
    SendAll(m_out.data(), size);
    m_out.erase(m_out.begin(), m_out.begin() + static_cast<std::ptrdiff_t>(size));
}

void CTdsChannel::SendAll(const std::uint8_t* data, std::size_t size)
{
    if (!m_pTls) {
        SendRaw(data, size);
        return;
    }
    m_pTls->Write(data, size);
    auto sealed = m_pTls->TakeOutput();
    SendRaw(sealed.data(), sealed.size());
}

void CTdsChannel::SendRaw(const std::uint8_t* data, std::size_t size)
{
    while (size > 0 && !m_bBroken) {
        ssize_t n = ::send(m_nSocket, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_bBroken = true; // reset, or the send time-out passed: the client is gone
            return;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void CTdsChannel::Abort()
{
    m_bBroken = true;
    if (m_nSocket >= 0) {
        ::shutdown(m_nSocket, SHUT_RDWR);
    }
}
