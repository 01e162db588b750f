#pragma once
// TLS for the test server, as SQL Server runs it inside TDS: OpenSSL over memory buffers, so
// the channel decides where the bytes go (inside PRELOGIN packets during the handshake,
// straight on the socket afterwards). One context per server, one session per connection.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ssl_ctx_st;
struct ssl_st;
struct bio_st;

// The server's certificate and key, loaded once.
class CTdsTlsContext
{
public:
    // Null with the reason when the files cannot be used.
    static std::shared_ptr<CTdsTlsContext> Load(const std::string& certificate,
                                                const std::string& key, std::string& error);
    ~CTdsTlsContext();
    CTdsTlsContext(const CTdsTlsContext&) = delete;
    CTdsTlsContext& operator=(const CTdsTlsContext&) = delete;

    ssl_ctx_st* Get() const { return m_pContext; }

private:
    explicit CTdsTlsContext(ssl_ctx_st* context) : m_pContext(context) {}
    ssl_ctx_st* m_pContext;
};

// One connection's TLS state. Bytes from the client go in with Feed; bytes for the client
// come out of TakeOutput.
class CTdsTlsSession
{
public:
    enum class EStep
    {
        Done,     // the handshake is complete
        NeedMore, // waiting for more bytes from the client
        Failed,   // the handshake broke; see the reason
    };

    explicit CTdsTlsSession(const CTdsTlsContext& context);
    ~CTdsTlsSession();
    CTdsTlsSession(const CTdsTlsSession&) = delete;
    CTdsTlsSession& operator=(const CTdsTlsSession&) = delete;

    void Feed(const std::uint8_t* data, std::size_t size);
    EStep Handshake(std::string& reason);
    // Plain bytes read: > 0 bytes, 0 more input needed, < 0 the stream broke or closed.
    int Read(std::uint8_t* data, std::size_t size);
    // True when plain bytes wait to be read without more input.
    bool HasPending() const;
    void Write(const std::uint8_t* data, std::size_t size);
    std::vector<std::uint8_t> TakeOutput();
    std::string GetVersion() const;

private:
    ssl_st* m_pSsl = nullptr;
    bio_st* m_pIn = nullptr;  // owned by m_pSsl
    bio_st* m_pOut = nullptr; // owned by m_pSsl
};
