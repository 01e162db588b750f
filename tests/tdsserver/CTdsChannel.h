#pragma once
// One client's socket seen as TDS packets: whole request messages in, response messages out
// cut into packets of the negotiated size. Owns the socket. Every wait is bounded.

#include "tests/tdsserver/CTdsTls.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CTdsChannel
{
public:
    enum class ERead
    {
        Message,  // a whole message arrived
        Closed,   // the client closed the connection
        TimedOut, // nothing (or only part of a message) within the wait
        Hostile,  // a packet that breaks the protocol's rules; see the reason
    };

    // What a wait in the middle of a response found.
    enum class EInterrupt
    {
        None,
        Attention,
        Closed,
    };

    CTdsChannel(int socket, std::uint16_t spid);
    ~CTdsChannel();
    CTdsChannel(const CTdsChannel&) = delete;
    CTdsChannel& operator=(const CTdsChannel&) = delete;

    // Reads one request message: its type, its payload joined from all its packets, and
    // whether the client marked it to be ignored. idleMs bounds the wait for its first byte.
    ERead ReadMessage(std::uint8_t& type, std::vector<std::uint8_t>& payload, bool& ignored,
                      std::size_t maxBytes, int idleMs, std::string& reason);

    // Waits up to waitMs (0: a mere look) for the client to interrupt the response being
    // sent. Anything but an ATTENTION packet then counts as the connection closing.
    EInterrupt WaitForInterrupt(int waitMs);

    // Discards what the client sends until it closes or idleMs passes without a byte.
    void Drain(int idleMs);

    // The negotiated packet size, incoming packets included. Until it is agreed a client may
    // send packets up to the protocol's largest size.
    void SetPacketSize(std::size_t size)
    {
        m_nPacketSize = size;
        m_nReadLimit = size;
    }
    std::size_t GetPacketSize() const { return m_nPacketSize; }

    // Response writing: Begin a message, put its bytes, End it (the last packet carries EOM).
    void Begin(std::uint8_t type);
    void Byte(std::uint8_t value);
    void U16(std::uint16_t value);
    void U32(std::uint32_t value);
    void U64(std::uint64_t value);
    void U32BigEndian(std::uint32_t value);
    void Bytes(const void* data, std::size_t size);
    void Utf16(std::u16string_view text);
    // Sends what is buffered now as a packet without EOM, so the client sees it at once.
    void Flush();
    void End();

    // The TLS handshake carried inside PRELOGIN packets, as SQL Server does it; from then on
    // every byte travels through TLS. False with the reason when the handshake fails.
    bool StartTls(const CTdsTlsContext& context, std::string& reason);
    // Back to the bare socket (encryption for the login only).
    void StopTls() { m_pTls.reset(); }
    bool IsTls() const { return m_pTls != nullptr; }
    std::string GetTlsVersion() const { return m_pTls ? m_pTls->GetVersion() : std::string(); }
    // The next byte on the bare socket, left there; -1 when none comes within waitMs.
    int PeekRawByte(int waitMs);

    // False once a send failed; later writes do nothing.
    bool IsHealthy() const { return !m_bBroken; }
    // Closes the connection at once, as a server that drops it would.
    void Abort();

private:
    bool ReadExact(std::uint8_t* data, std::size_t size, int waitMs);
    // Some bytes, through TLS when it is on; 0 and errno set when none come in time.
    std::size_t ReceiveSome(std::uint8_t* data, std::size_t size, int waitMs);
    bool WaitReadable(int waitMs);
    void SendRaw(const std::uint8_t* data, std::size_t size);
    void SendPacket(bool last, std::size_t size);
    void SendAll(const std::uint8_t* data, std::size_t size);

    int m_nSocket;
    std::uint16_t m_nSpid;
    std::size_t m_nPacketSize;
    std::size_t m_nReadLimit;
    std::uint8_t m_nType = 0;
    std::uint8_t m_nPacketId = 1;
    bool m_bBroken = false;
    std::vector<std::uint8_t> m_out;
    std::unique_ptr<CTdsTlsSession> m_pTls;
};
