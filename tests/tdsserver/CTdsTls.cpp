#include "tests/tdsserver/CTdsTls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace {

std::string LastSslError()
{
    std::string text;
    // Bounded by OpenSSL's error queue.
    while (unsigned long code = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.empty()) {
            text += "; ";
        }
        text += buffer;
    }
    return text.empty() ? std::string("unknown TLS error") : text;
}

} // namespace

std::shared_ptr<CTdsTlsContext> CTdsTlsContext::Load(const std::string& certificate,
                                                     const std::string& key, std::string& error)
{
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr) {
        error = "no TLS context: " + LastSslError();
        return nullptr;
    }
    // SQL Server speaks TLS 1.2 at most inside TDS 7.x; a TLS 1.3 server would also send
    // session tickets after the handshake, where the client no longer expects packets.
    SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_TICKET);
    if (SSL_CTX_use_certificate_chain_file(context, certificate.c_str()) != 1) {
        error = "--tls-cert " + certificate + " cannot be used: " + LastSslError();
        SSL_CTX_free(context);
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(context) != 1) {
        error = "--tls-key " + key + " cannot be used: " + LastSslError();
        SSL_CTX_free(context);
        return nullptr;
    }
    return std::shared_ptr<CTdsTlsContext>(new CTdsTlsContext(context));
}

CTdsTlsContext::~CTdsTlsContext()
{
    SSL_CTX_free(m_pContext);
}

CTdsTlsSession::CTdsTlsSession(const CTdsTlsContext& context)
{
    m_pSsl = SSL_new(context.Get());
    m_pIn = BIO_new(BIO_s_mem());
    m_pOut = BIO_new(BIO_s_mem());
    SSL_set_bio(m_pSsl, m_pIn, m_pOut);
    SSL_set_accept_state(m_pSsl);
}

CTdsTlsSession::~CTdsTlsSession()
{
    SSL_free(m_pSsl);
}

void CTdsTlsSession::Feed(const std::uint8_t* data, std::size_t size)
{
    if (size > 0) {
        BIO_write(m_pIn, data, static_cast<int>(size));
    }
}

CTdsTlsSession::EStep CTdsTlsSession::Handshake(std::string& reason)
{
    ERR_clear_error();
    const int rc = SSL_do_handshake(m_pSsl);
    if (rc == 1) {
        return EStep::Done;
    }
    const int error = SSL_get_error(m_pSsl, rc);
    if (error == SSL_ERROR_WANT_READ) {
        return EStep::NeedMore;
    }
    reason = LastSslError();
    return EStep::Failed;
}

int CTdsTlsSession::Read(std::uint8_t* data, std::size_t size)
{
    ERR_clear_error();
    const int rc = SSL_read(m_pSsl, data, static_cast<int>(size));
    if (rc > 0) {
        return rc;
    }
    return SSL_get_error(m_pSsl, rc) == SSL_ERROR_WANT_READ ? 0 : -1;
}

bool CTdsTlsSession::HasPending() const
{
    return SSL_pending(m_pSsl) > 0;
}

void CTdsTlsSession::Write(const std::uint8_t* data, std::size_t size)
{
    // A memory buffer takes everything at once.
    if (size > 0) {
        SSL_write(m_pSsl, data, static_cast<int>(size));
    }
}

std::vector<std::uint8_t> CTdsTlsSession::TakeOutput()
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(BIO_ctrl_pending(m_pOut)));
    if (!bytes.empty()) {
        const int got = BIO_read(m_pOut, bytes.data(), static_cast<int>(bytes.size()));
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    return bytes;
}

std::string CTdsTlsSession::GetVersion() const
{
    return SSL_get_version(m_pSsl);
}
