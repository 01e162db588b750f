#include "tests/tdsserver/CTdsSession.h"

#include "catalog/CatalogQueries.h"
#include "platform/Utf.h"
#include "tests/tdsserver/CKerberosAcceptor.h"
#include "tests/tdsserver/CTdsLog.h"
#include "tests/tdsserver/TdsProtocol.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

using quarrow::FromAscii;
using quarrow::ToUtf8;

// A client that sends nothing for this long is let go, so no thread waits forever.
constexpr int kIdleMs = 5 * 60 * 1000;
// The first message of a connection comes at once from any real client.
constexpr int kFirstMessageMs = 60 * 1000;
// How much of an unknown batch the log and error 102 quote.
constexpr std::size_t kQuoteUnits = 60;

constexpr std::size_t kNoDatabase = static_cast<std::size_t>(-1);
constexpr int kTypeCodes[] = {1, 4, 8, 16, 64, 128, 256, 4096, 509};

std::uint16_t Le16(const std::uint8_t* data)
{
    return static_cast<std::uint16_t>(data[0] | (data[1] << 8));
}

std::uint32_t Le32(const std::uint8_t* data)
{
    return static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
           (static_cast<std::uint32_t>(data[2]) << 16) |
           (static_cast<std::uint32_t>(data[3]) << 24);
}

std::u16string Utf16At(const std::uint8_t* data, std::size_t units)
{
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return text;
}

char16_t FoldAscii(char16_t c)
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Names compare as the default case-insensitive collation does for ASCII letters.
bool SameName(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool IsSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::u16string_view TrimStart(std::u16string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    return text.substr(i);
}

std::u16string_view Trim(std::u16string_view text)
{
    text = TrimStart(text);
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A keyword (upper case) at the start of a text, followed by white space or the end.
bool StartsWithWord(std::u16string_view text, std::u16string_view word)
{
    if (text.size() < word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (FoldAscii(text[i]) != word[i]) {
            return false;
        }
    }
    return text.size() == word.size() || IsSpace(text[word.size()]);
}

// At most `units` UTF-16 units of a text, never ending inside a surrogate pair.
std::size_t CutPoint(std::u16string_view text, std::size_t units)
{
    if (text.size() <= units) {
        return text.size();
    }
    char16_t last = text[units - 1];
    return last >= 0xD800 && last <= 0xDBFF ? units - 1 : units;
}

// The start of a batch for the log: one line, at most kQuoteUnits units.
std::string Quote(std::u16string_view text)
{
    std::u16string line(text.substr(0, CutPoint(text, kQuoteUnits)));
    for (auto& c : line) {
        if (c == u'\r' || c == u'\n' || c == u'\t') {
            c = u' ';
        }
    }
    return ToUtf8(line);
}

bool ParseInt(std::u16string_view text, std::int64_t& value)
{
    std::string ascii;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
        ascii += static_cast<char>(c);
    }
    auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    return !ascii.empty() && error == std::errc() && end == ascii.data() + ascii.size();
}

// A USE target: [name] with ]] for ], or a plain name; an optional ';' after it.
std::optional<std::u16string> UseTarget(std::u16string_view rest)
{
    rest = Trim(rest);
    if (!rest.empty() && rest.back() == u';') {
        rest.remove_suffix(1);
        rest = Trim(rest);
    }
    if (rest.empty()) {
        return std::nullopt;
    }
    if (rest.front() != u'[') {
        for (char16_t c : rest) {
            if (IsSpace(c) || c == u'[' || c == u']') {
                return std::nullopt;
            }
        }
        return std::u16string(rest);
    }
    std::u16string name;
    std::size_t i = 1;
    for (; i < rest.size(); ++i) {
        if (rest[i] == u']') {
            if (i + 1 < rest.size() && rest[i + 1] == u']') {
                name += u']';
                ++i;
                continue;
            }
            break;
        }
        name += rest[i];
    }
    if (i != rest.size() - 1 || name.empty()) {
        return std::nullopt; // unclosed, or text after the closing bracket
    }
    return name;
}

} // namespace

CTdsSession::CTdsSession(int socket, std::uint16_t spid, const STdsServed& served)
    : m_channel(socket, spid), m_served(served), m_nDatabase(kNoDatabase)
{}

void CTdsSession::Log(std::string_view line)
{
    if (m_served.m_pLog != nullptr) {
        m_served.m_pLog->Line(line);
    }
}

void CTdsSession::Run()
{
    const auto& options = m_served.m_options;
    if (options.m_bNoAnswer) {
        m_channel.Drain(kIdleMs);
        return;
    }
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload;
    bool ignored = false;
    std::string reason;
    auto read = [&](std::size_t limit, int waitMs) {
        auto result = m_channel.ReadMessage(type, payload, ignored, limit, waitMs, reason);
        if (result == CTdsChannel::ERead::Hostile) {
            std::fprintf(stderr, "tds-test-server: connection closed: %s\n", reason.c_str());
        }
        return result == CTdsChannel::ERead::Message;
    };

    if (!read(tds::kMaxLoginBytes, kFirstMessageMs)) {
        return;
    }
    if (type == tds::kPacketPreLogin) {
        if (!PreLogin(payload)) {
            return;
        }
        if (m_encryption == EEncryption::Refused) {
            // Whatever comes next is the client's TLS handshake (or its giving up): no TLS
            // is to be had here, so the connection ends at the client's next packet.
            m_channel.Drain(1000);
            return;
        }
        if (m_encryption != EEncryption::None) {
            std::string why;
            if (!m_channel.StartTls(*m_served.m_pTls, why)) {
                Log("tls: failed");
                std::fprintf(stderr, "tds-test-server: connection closed: %s\n", why.c_str());
                return;
            }
            Log(std::string("tls: ") +
                (m_encryption == EEncryption::Full ? "full " : "login-only ") +
                m_channel.GetTlsVersion());
            // Every TLS record starts with a content type from 20 to 23; a TDS packet
            // header (LOGIN7 is 0x10) means the client sent its login in clear.
            const int first = m_channel.PeekRawByte(kFirstMessageMs);
            if (first >= 0 && (first < 20 || first > 23)) {
                Log("login packet: in clear");
                std::fprintf(stderr, "tds-test-server: connection closed: the login came in "
                                     "clear after the TLS handshake\n");
                return;
            }
        }
        if (!read(tds::kMaxLoginBytes, kFirstMessageMs)) {
            return;
        }
    }
    if (type != tds::kPacketLogin7) {
        std::fprintf(stderr, "tds-test-server: connection closed: packet type %u before login\n",
                     type);
        return;
    }
    if (m_encryption == EEncryption::LoginOnly) {
        // Only the login travels encrypted; its answer comes on the bare socket.
        m_channel.StopTls();
    }
    if (!Login(payload)) {
        return;
    }
    Serve();
}

bool CTdsSession::PreLogin(const std::vector<std::uint8_t>& payload)
{
    // The options table must be well formed even though only its shape is checked: a
    // terminator, and every option's data inside the message.
    std::size_t at = 0;
    for (;;) {
        if (at >= payload.size()) {
            std::fprintf(stderr, "tds-test-server: connection closed: PRELOGIN without end\n");
            return false;
        }
        if (payload[at] == tds::kPreLoginTerminator) {
            break;
        }
        if (at + 5 > payload.size()) {
            std::fprintf(stderr, "tds-test-server: connection closed: PRELOGIN cut short\n");
            return false;
        }
        std::size_t offset = (std::size_t{payload[at + 1]} << 8) | payload[at + 2];
        std::size_t length = (std::size_t{payload[at + 3]} << 8) | payload[at + 4];
        if (offset + length > payload.size()) {
            std::fprintf(stderr, "tds-test-server: connection closed: PRELOGIN option outside "
                                 "the message\n");
            return false;
        }
        at += 5;
    }

    std::uint8_t client = tds::kEncryptOff;
    for (std::size_t i = 0; payload[i] != tds::kPreLoginTerminator; i += 5) {
        std::size_t offset = (std::size_t{payload[i + 1]} << 8) | payload[i + 2];
        std::size_t length = (std::size_t{payload[i + 3]} << 8) | payload[i + 4];
        if (payload[i] == tds::kPreLoginEncryption && length >= 1) {
            client = payload[offset];
        }
    }
    std::uint8_t answer = tds::kEncryptNotSupported;
    m_encryption = Negotiate(client, answer);

    // VERSION, ENCRYPTION, INSTOPT, THREADID, MARS: five entries, then their data.
    constexpr std::uint16_t kTable = 5 * 5 + 1;
    struct SOption
    {
        std::uint8_t m_nToken;
        std::uint16_t m_nLength;
    };
    const SOption options[] = {{tds::kPreLoginVersion, 6},
                               {tds::kPreLoginEncryption, 1},
                               {tds::kPreLoginInstance, 1},
                               {tds::kPreLoginThreadId, 0},
                               {tds::kPreLoginMars, 1}};
    m_channel.Begin(tds::kPacketReply);
    std::uint16_t offset = kTable;
    for (const auto& option : options) {
        m_channel.Byte(option.m_nToken);
        m_channel.Byte(static_cast<std::uint8_t>(offset >> 8));
        m_channel.Byte(static_cast<std::uint8_t>(offset));
        m_channel.Byte(static_cast<std::uint8_t>(option.m_nLength >> 8));
        m_channel.Byte(static_cast<std::uint8_t>(option.m_nLength));
        offset = static_cast<std::uint16_t>(offset + option.m_nLength);
    }
    m_channel.Byte(tds::kPreLoginTerminator);
    m_channel.Bytes(m_served.m_version, sizeof m_served.m_version);
    m_channel.U16(0); // sub-build
    m_channel.Byte(answer);
    m_channel.Byte(0); // the instance asked for is this one
    m_channel.Byte(0); // no MARS
    m_channel.End();
    return m_channel.IsHealthy();
}

CTdsSession::EEncryption CTdsSession::Negotiate(std::uint8_t client, std::uint8_t& answer) const
{
    const auto& options = m_served.m_options;
    // The high bit asks for a client certificate, which this server does not take.
    client &= 0x0F;
    if (!m_served.m_pTls || options.m_bNoEncryption) {
        answer = options.m_bRequireEncryption ? tds::kEncryptRequired : tds::kEncryptNotSupported;
        return options.m_bRequireEncryption ? EEncryption::Refused : EEncryption::None;
    }
    if (options.m_bRequireEncryption) {
        answer = tds::kEncryptRequired;
        return client == tds::kEncryptNotSupported ? EEncryption::Refused : EEncryption::Full;
    }
    switch (client) {
    case tds::kEncryptOff:
        answer = tds::kEncryptOff;
        return EEncryption::LoginOnly;
    case tds::kEncryptNotSupported:
        answer = tds::kEncryptNotSupported;
        return EEncryption::None;
    default: // ENCRYPT_ON, ENCRYPT_REQ
        answer = tds::kEncryptOn;
        return EEncryption::Full;
    }
}

bool CTdsSession::Login(const std::vector<std::uint8_t>& payload)
{
    // The fixed part up to cbSSPI/ibAtchDBFile is the same from TDS 7.1 on.
    constexpr std::size_t kFixed71 = 86;
    auto hostile = [](const char* what) {
        std::fprintf(stderr, "tds-test-server: connection closed: LOGIN7 %s\n", what);
        return false;
    };
    if (payload.size() < kFixed71) {
        return hostile("shorter than its fixed part");
    }
    const std::uint8_t* data = payload.data();
    std::size_t length = Le32(data);
    if (length < kFixed71 || length > payload.size()) {
        return hostile("length field disagrees with the packet");
    }
    std::uint32_t clientVersion = Le32(data + 4);
    std::uint32_t packetSize = Le32(data + 8);
    std::uint8_t flags2 = data[25];
    std::uint8_t flags3 = data[27];

    // Each (offset, characters) pair must point inside the record.
    auto text = [&](std::size_t field, std::u16string& out) {
        std::size_t offset = Le16(data + field);
        std::size_t units = Le16(data + field + 2);
        if (offset + 2 * units > length) {
            return false;
        }
        out = Utf16At(data + offset, units);
        return true;
    };
    std::u16string host;
    std::u16string user;
    std::u16string password;
    std::u16string database;
    if (!text(36, host) || !text(40, user) || !text(44, password) || !text(68, database)) {
        return hostile("names a string outside the record");
    }
    std::size_t sspiOffset = Le16(data + 78);
    std::size_t sspiBytes = Le16(data + 80);
    if (sspiOffset + sspiBytes > length) {
        return hostile("names SSPI data outside the record");
    }
    bool extension = (flags3 & 0x10) != 0;
    if (extension) {
        std::size_t offset = Le16(data + 56);
        std::size_t bytes = Le16(data + 58);
        if (bytes < 4 || offset + bytes > length || Le32(data + offset) >= length) {
            return hostile("names its feature extension outside the record");
        }
    }
    // The password travels with each byte's nibbles swapped and then XORed with 0xA5.
    for (auto& unit : password) {
        std::uint8_t bytes[2] = {static_cast<std::uint8_t>(unit),
                                 static_cast<std::uint8_t>(unit >> 8)};
        for (auto& b : bytes) {
            std::uint8_t x = b ^ 0xA5;
            b = static_cast<std::uint8_t>((x << 4) | (x >> 4));
        }
        unit = static_cast<char16_t>(bytes[0] | (bytes[1] << 8));
    }

    // 7.1 comes as 0x71000000, 0x71000001 or, from old clients, 0x07010000; 7.0 and older
    // are not served.
    if (clientVersion < 0x71000000 && clientVersion != 0x07010000) {
        std::fprintf(stderr,
                     "tds-test-server: connection closed: TDS version 0x%08X is below "
                     "7.1\n",
                     clientVersion);
        return false;
    }
    // Tokens before LOGINACK are read by the client in the version it asked for; the ones
    // after it in the version LOGINACK names, which is never above this server's.
    std::uint32_t asked = clientVersion == 0x07010000 || clientVersion < tds::kTds72 ? tds::kTds71
                          : clientVersion > tds::kTds74                              ? tds::kTds74
                                                        : clientVersion;
    std::uint32_t negotiated = std::min(asked, m_served.m_nTdsVersion);
    m_nVersion = asked;
    bool integrated = (flags2 & 0x80) != 0;
    m_strUser = integrated ? std::u16string() : user;
    const auto& options = m_served.m_options;
    // With a keytab, an integrated login is only as good as its Kerberos token.
    bool untrusted = false;
    std::string principal;
    if (integrated && !options.m_strKerberosKeytab.empty()) {
        std::string why;
        untrusted = !CKerberosAcceptor::Accept(data + sspiOffset, sspiBytes, principal, why);
        principal = untrusted ? "refused: " + why : principal;
    }
    Log("login: " + (integrated ? std::string("(integrated)") : ToUtf8(user)) +
        (principal.empty() ? std::string() : " " + principal) +
        (m_encryption == EEncryption::None ? "" : " (encrypted)"));

    bool refused = options.m_bRefuseLogin || untrusted ||
                   (options.m_bCheckLogin &&
                    (integrated || user != options.m_strUser || password != options.m_strPassword));
    std::u16string opening = database.empty() ? u"master" : database;
    std::size_t found = kNoDatabase;
    bool known = SameName(opening, u"master");
    for (std::size_t i = 0; i < m_served.m_databases.size() && !known; ++i) {
        if (SameName(m_served.m_databases[i].m_strName, opening)) {
            found = i;
            known = !m_served.m_databases[i].m_bUnopenable;
        }
    }

    m_channel.Begin(tds::kPacketReply);
    if (refused || !known) {
        if (!refused) {
            Message(true, 4060, 1, 11,
                    u"Cannot open database \"" + opening +
                        u"\" requested by the login. The login failed.");
        }
        Message(true, 18456, 1, 14,
                untrusted ? std::u16string(u"Login failed. The login is from an untrusted domain "
                                           u"and cannot be used with Integrated authentication.")
                          : u"Login failed for user '" + user + u"'.");
        Done(tds::kDoneError, 0, 0);
        m_channel.End();
        m_channel.Drain(1000);
        return false;
    }
    m_nDatabase = found;
    m_strDatabase = found == kNoDatabase ? u"master" : m_served.m_databases[found].m_strName;

    std::size_t packet = packetSize == 0 ? tds::kDefaultPacketSize : packetSize;
    packet = std::clamp(packet, tds::kMinPacketSize, tds::kMaxPacketSize);

    EnvChange(tds::kEnvDatabase, m_strDatabase, u"master");
    Message(false, 5701, 2, 0, u"Changed database context to '" + m_strDatabase + u"'.");
    EnvChangeCollation();
    EnvChange(tds::kEnvLanguage, u"us_english", u"");
    Message(false, 5703, 1, 0, u"Changed language setting to us_english.");
    LoginAck(negotiated);
    m_nVersion = negotiated;
    // FEATUREEXTACK came with TDS 7.4; a 7.1 client reads 0xAE as another token.
    if (extension && negotiated >= tds::kTds74) {
        m_channel.Byte(tds::kTokenFeatureExtAck);
        m_channel.Byte(0xFF); // no feature taken up
    }
    EnvChange(tds::kEnvPacketSize, FromAscii(std::to_string(packet)),
              FromAscii(std::to_string(tds::kDefaultPacketSize)));
    Done(tds::kDoneFinal, 0, 0);
    m_channel.End();
    m_channel.SetPacketSize(packet);

    std::string error;
    m_bCatalogue = m_catalogue.Open(m_served.m_options.m_strCatalogue, error);
    if (!m_bCatalogue) {
        std::fprintf(stderr, "tds-test-server: catalogue cannot be read: %s\n", error.c_str());
    }
    return m_channel.IsHealthy();
}

void CTdsSession::Serve()
{
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload;
    bool ignored = false;
    std::string reason;
    while (m_channel.IsHealthy()) {
        auto result =
            m_channel.ReadMessage(type, payload, ignored, tds::kMaxBatchBytes, kIdleMs, reason);
        if (result != CTdsChannel::ERead::Message) {
            if (result == CTdsChannel::ERead::Hostile) {
                std::fprintf(stderr, "tds-test-server: connection closed: %s\n", reason.c_str());
            }
            return;
        }
        if (type == tds::kPacketAttention) {
            // Late: the response had ended already. It is acknowledged all the same.
            Log("attention");
            m_channel.Begin(tds::kPacketReply);
            Done(tds::kDoneAttention, 0, 0);
            m_channel.End();
            continue;
        }
        if (ignored) {
            // The client gave up on a request part-way: a lone DONE.
            m_channel.Begin(tds::kPacketReply);
            Done(tds::kDoneFinal, 0, 0);
            m_channel.End();
            continue;
        }
        if (type == tds::kPacketSqlBatch) {
            if (!Batch(payload)) {
                return;
            }
            continue;
        }
        if (type == tds::kPacketRpc) {
            if (!Rpc(payload)) {
                return;
            }
            continue;
        }
        if (type == tds::kPacketTransaction) {
            Log("batch: (transaction manager request)");
            m_channel.Begin(tds::kPacketReply);
            Message(true, 50000, 1, 16,
                    u"tds-test-server does not serve transaction manager requests.");
            Done(tds::kDoneError, 0, 0);
            m_channel.End();
            continue;
        }
        std::fprintf(stderr, "tds-test-server: connection closed: packet type %u after login\n",
                     type);
        return;
    }
}

bool CTdsSession::SkipHeaders(const std::vector<std::uint8_t>& payload, std::size_t& at)
{
    at = 0;
    if (!Modern72()) {
        return true; // TDS 7.1 requests carry no headers
    }
    // ALL_HEADERS: a total length, then headers that must fit inside it.
    if (payload.size() < 4) {
        std::fprintf(stderr, "tds-test-server: connection closed: request without headers\n");
        return false;
    }
    std::size_t total = Le32(payload.data());
    if (total < 4 || total > payload.size()) {
        std::fprintf(stderr,
                     "tds-test-server: connection closed: headers length %zu outside "
                     "the message\n",
                     total);
        return false;
    }
    std::size_t header = 4;
    while (header < total) {
        if (header + 6 > total) {
            std::fprintf(stderr, "tds-test-server: connection closed: header cut short\n");
            return false;
        }
        std::size_t length = Le32(payload.data() + header);
        if (length < 6 || header + length > total) {
            std::fprintf(stderr, "tds-test-server: connection closed: header length outside "
                                 "its block\n");
            return false;
        }
        header += length;
    }
    at = total;
    return true;
}

bool CTdsSession::Batch(const std::vector<std::uint8_t>& payload)
{
    std::size_t at = 0;
    if (!SkipHeaders(payload, at)) {
        return false;
    }
    if ((payload.size() - at) % 2 != 0) {
        std::fprintf(stderr, "tds-test-server: connection closed: batch text of odd length\n");
        return false;
    }
    Dispatch(Utf16At(payload.data() + at, (payload.size() - at) / 2));
    return m_channel.IsHealthy();
}

void CTdsSession::Dispatch(const std::u16string& text)
{
    constexpr std::u16string_view kTagStart = u"/*quarrow:";
    std::u16string_view view(text);
    if (view.substr(0, kTagStart.size()) == kTagStart) {
        auto end = view.find(u"*/");
        if (end == std::u16string_view::npos) {
            Unrecognised(text);
            return;
        }
        std::u16string_view inner = view.substr(2, end - 2);
        // Words split at single spaces: the tag's kind, then key=value pairs.
        std::vector<std::u16string_view> words;
        for (std::size_t start = 0; start <= inner.size();) {
            auto space = inner.find(u' ', start);
            if (space == std::u16string_view::npos) {
                space = inner.size();
            }
            words.push_back(inner.substr(start, space - start));
            start = space + 1;
        }
        STag tag;
        std::size_t pairs = 0;
        if (words[0] == u"quarrow:databases") {
            tag.m_kind = STag::EKind::Databases;
        } else if (words[0] == u"quarrow:objects") {
            tag.m_kind = STag::EKind::Objects;
            pairs = 2;
        } else if (words[0] == u"quarrow:scripts") {
            tag.m_kind = STag::EKind::Scripts;
            pairs = 2;
        } else if (words[0] == u"quarrow:script") {
            tag.m_kind = STag::EKind::Script;
            pairs = 3;
        } else if (words[0] == u"quarrow:stamps") {
            tag.m_kind = STag::EKind::Stamps;
            tag.m_nType = 509;
            pairs = 1;
        } else if (words[0] == u"quarrow:changes" || words[0] == u"quarrow:summary") {
            // Modern only: the legacy catalogue has neither modification dates nor HASHBYTES.
            constexpr std::u16string_view kSince = u"since=";
            const bool changes = words[0] == u"quarrow:changes";
            bool good = words.size() == (changes ? 3u : 2u) && words[1] == u"flavour=modern";
            if (good && changes) {
                tag.m_strSince = std::u16string(words[2].substr(0, kSince.size()) == kSince
                                                    ? words[2].substr(kSince.size())
                                                    : std::u16string_view());
                if (tag.m_strSince.size() > 10 && tag.m_strSince[10] == u'T') {
                    tag.m_strSince[10] = u' ';
                }
                good = CatalogQueries::IsModernStamp(ToUtf8(tag.m_strSince));
            }
            if (!good) {
                Unrecognised(text);
                return;
            }
            tag.m_kind = changes ? STag::EKind::Changes : STag::EKind::Summary;
            tag.m_nType = 509;
            Log(ToUtf8(inner));
            Tagged(tag);
            return;
        } else if (words[0] == u"quarrow:scripts-of") {
            tag.m_kind = STag::EKind::ScriptsOf;
            tag.m_nType = 509;
            pairs = 2;
        } else {
            Unrecognised(text);
            return;
        }
        if (words.size() != pairs + 1) {
            Unrecognised(text);
            return;
        }
        constexpr std::u16string_view kKeys[] = {u"flavour=", u"type=", u"key="};
        if (tag.m_kind == STag::EKind::ScriptsOf) {
            // keys=1,2,3: positive numbers, at least one.
            constexpr std::u16string_view kList = u"keys=";
            auto list = words[2];
            bool good = list.substr(0, kList.size()) == kList && list.size() > kList.size();
            for (std::size_t start = kList.size(); good && start <= list.size();) {
                auto comma = list.find(u',', start);
                if (comma == std::u16string_view::npos) {
                    comma = list.size();
                }
                std::int64_t number = 0;
                good = ParseInt(list.substr(start, comma - start), number) &&
                       (number > 0 || number == -1);
                tag.m_keys.push_back(number);
                start = comma + 1;
            }
            if (!good) {
                Unrecognised(text);
                return;
            }
            words.pop_back();
            pairs = 1;
        }
        for (std::size_t i = 0; i < pairs; ++i) {
            auto word = words[i + 1];
            if (word.substr(0, kKeys[i].size()) != kKeys[i]) {
                Unrecognised(text);
                return;
            }
            auto value = word.substr(kKeys[i].size());
            std::int64_t number = 0;
            bool good = false;
            if (i == 0) {
                good = value == u"modern" || value == u"legacy";
                tag.m_bLegacy = value == u"legacy";
            } else if (ParseInt(value, number)) {
                if (i == 1) {
                    for (int code : kTypeCodes) {
                        good = good || number == code;
                    }
                    tag.m_nType = static_cast<int>(number);
                } else {
                    good = number > 0;
                    tag.m_nKey = number;
                }
            }
            if (!good) {
                Unrecognised(text);
                return;
            }
        }
        Log(ToUtf8(inner));
        Tagged(tag);
        return;
    }

    auto body = TrimStart(view);
    if (StartsWithWord(body, u"USE")) {
        Use(body.substr(3), text);
        return;
    }
    if (StartsWithWord(body, u"SET")) {
        Log("batch: " + Quote(text));
        BeginReply();
        Done(tds::kDoneFinal, 0, 0);
        EndReply();
        return;
    }
    // A few literal probes that independent clients send to see that the server is alive.
    auto probe = Trim(body);
    if (!probe.empty() && probe.back() == u';') {
        probe = Trim(probe.substr(0, probe.size() - 1));
    }
    if (SameName(probe, u"SELECT 1")) {
        Log("batch: " + Quote(text));
        Probe(1);
        return;
    }
    if (SameName(probe, u"SELECT @@VERSION")) {
        Log("batch: " + Quote(text));
        ProbeVersion();
        return;
    }
    Unrecognised(text);
}

void CTdsSession::Unrecognised(const std::u16string& text)
{
    Log("batch: " + Quote(text));
    auto body = TrimStart(text);
    std::size_t end = 0;
    while (end < body.size() && !IsSpace(body[end])) {
        ++end;
    }
    auto near = body.substr(0, CutPoint(body.substr(0, end), 30));
    BeginReply();
    Message(true, 102, 1, 15, u"Incorrect syntax near '" + std::u16string(near) + u"'.");
    Done(tds::kDoneError, 0, 0);
    EndReply();
}

void CTdsSession::Use(std::u16string_view rest, const std::u16string& batch)
{
    auto target = UseTarget(rest);
    if (!target) {
        // The contract answers a USE it cannot read as it answers SET: success, no change.
        Log("batch: " + Quote(batch));
        BeginReply();
        Done(tds::kDoneFinal, 0, 0);
        EndReply();
        return;
    }
    const std::u16string& name = *target;
    Log("use: " + ToUtf8(name));
    BeginReply();
    std::size_t found = kNoDatabase;
    bool master = SameName(name, u"master");
    for (std::size_t i = 0; i < m_served.m_databases.size() && found == kNoDatabase; ++i) {
        if (SameName(m_served.m_databases[i].m_strName, name)) {
            found = i;
        }
    }
    if (found == kNoDatabase && !master) {
        Message(true, 911, 1, 16,
                u"Database '" + name +
                    u"' does not exist. Make sure that the name is entered correctly.");
        Done(tds::kDoneError, 0, 0);
    } else if (found != kNoDatabase && m_served.m_databases[found].m_bUnopenable) {
        Message(
            true, 916, 1, 14,
            u"The server principal \"" + m_strUser + u"\" is not able to access the database \"" +
                m_served.m_databases[found].m_strName + u"\" under the current security context.");
        Done(tds::kDoneError, 0, 0);
    } else {
        std::u16string before = m_strDatabase;
        m_nDatabase = found;
        m_strDatabase = found == kNoDatabase ? u"master" : m_served.m_databases[found].m_strName;
        EnvChange(tds::kEnvDatabase, m_strDatabase, before);
        Message(false, 5701, 1, 0, u"Changed database context to '" + m_strDatabase + u"'.");
        Done(tds::kDoneFinal, 0, 0);
    }
    EndReply();
}

void CTdsSession::Tagged(const STag& tag)
{
    BeginReply();
    if (tag.m_kind != STag::EKind::Databases && !tag.m_bLegacy && m_served.m_bLegacy) {
        // SQL Server 2000 has no sys.objects; the modern queries fail there as on the real one.
        Message(true, 208, 1, 16, u"Invalid object name 'sys.objects'.");
        Done(tds::kDoneError, 0, 0);
        EndReply();
        return;
    }
    if (tag.m_kind != STag::EKind::Databases && !m_bCatalogue) {
        Message(true, 50000, 1, 16, u"tds-test-server cannot read its catalogue file.");
        Done(tds::kDoneError, 0, 0);
        EndReply();
        return;
    }
    switch (tag.m_kind) {
    case STag::EKind::Databases:
        Databases();
        break;
    case STag::EKind::Objects:
    case STag::EKind::Stamps:
    case STag::EKind::Changes:
        Objects(tag);
        break;
    case STag::EKind::Summary:
        Summary();
        break;
    case STag::EKind::Scripts:
    case STag::EKind::Script:
    case STag::EKind::ScriptsOf:
        Scripts(tag);
        break;
    }
}

CTdsSession::EFlow CTdsSession::AfterRow(std::int64_t rows, bool more)
{
    const auto& options = m_served.m_options;
    if (!m_channel.IsHealthy()) {
        return EFlow::Dropped;
    }
    if (options.m_nDropAfterRows >= 0 && rows >= options.m_nDropAfterRows) {
        m_channel.Flush();
        m_channel.Abort();
        m_bEnded = true;
        return EFlow::Dropped;
    }
    int waitMs = 0;
    if (more && rows > 0 && options.m_nSlowRowsMs > 0) {
        // The rows so far go out first, so the client sees them arrive one by one.
        m_channel.Flush();
        waitMs = options.m_nSlowRowsMs;
    }
    switch (m_channel.WaitForInterrupt(waitMs)) {
    case CTdsChannel::EInterrupt::None:
        return m_channel.IsHealthy() ? EFlow::Go : EFlow::Dropped;
    case CTdsChannel::EInterrupt::Attention:
        AnswerAttention();
        return EFlow::Stopped;
    case CTdsChannel::EInterrupt::Closed:
        break;
    }
    m_channel.Abort();
    m_bEnded = true;
    return EFlow::Dropped;
}

void CTdsSession::AnswerAttention()
{
    // Inside a procedure too the answer is a plain DONE, and it ends the response.
    Log("attention");
    m_bInProcedure = false;
    Done(tds::kDoneAttention, 0, 0);
    m_channel.End();
    m_bEnded = true;
}

void CTdsSession::BeginReply()
{
    if (!m_bInProcedure) {
        m_channel.Begin(tds::kPacketReply);
    }
}

void CTdsSession::EndReply()
{
    // A statement run by sp_executesql and its kin leaves the response open for the
    // procedure's own tokens.
    if (!m_bInProcedure) {
        m_channel.End();
        m_bEnded = true;
    }
}

void CTdsSession::Databases()
{
    ColMetadata({{u"name", EColumn::NVarChar, false, 128}});
    std::int64_t rows = 0;
    if (AfterRow(rows, !m_served.m_databases.empty()) != EFlow::Go) {
        return;
    }
    for (std::size_t i = 0; i < m_served.m_databases.size(); ++i) {
        m_channel.Byte(tds::kTokenRow);
        NVarCharValue(&m_served.m_databases[i].m_strName, 128);
        ++rows;
        if (AfterRow(rows, i + 1 < m_served.m_databases.size()) != EFlow::Go) {
            return;
        }
    }
    Done(tds::kDoneCount, tds::kCommandSelect, static_cast<std::uint64_t>(rows));
    EndReply();
}

void CTdsSession::Objects(const STag& tag)
{
    const bool changes = tag.m_kind == STag::EKind::Changes;
    const bool stamps = tag.m_kind == STag::EKind::Stamps || changes;
    std::vector<SColumn> columns = {
        {u"object_key", EColumn::BigInt, false},   {u"schema_name", EColumn::NVarChar, true, 128},
        {u"name", EColumn::NVarChar, true, 128},   {u"type_code", EColumn::Int, false},
        {u"created", EColumn::NVarChar, true, 30}, {u"has_script", EColumn::Int, false}};
    if (stamps) {
        columns.push_back({u"stamp", EColumn::NVarChar, true, 30});
    }
    ColMetadata(columns);
    std::int64_t rows = 0;
    CCatalogueReader::SObject object;
    // Stamps share one shape, so text order is time order, as the query compares them.
    auto next = [&] {
        // Bounded by the objects of the file.
        while (m_catalogue.NextObject(object)) {
            if (!changes || (object.m_stamp && *object.m_stamp >= tag.m_strSince)) {
                return true;
            }
        }
        return false;
    };
    bool have = false;
    if (m_nDatabase != kNoDatabase) {
        m_catalogue.StartObjects(m_served.m_databases[m_nDatabase].m_nId, tag.m_nType);
        have = next();
    }
    if (AfterRow(rows, have) != EFlow::Go) {
        return;
    }
    while (have) {
        std::u16string schema = u"dbo";
        std::u16string name = object.m_strName;
        auto dot = name.find(u'.');
        if (dot != std::u16string::npos) {
            schema = name.substr(0, dot);
            name.erase(0, dot + 1);
        }
        m_channel.Byte(tds::kTokenRow);
        IntValue(object.m_nKey, 8);
        NVarCharValue(&schema, 128);
        NVarCharValue(&name, 128);
        IntValue(object.m_nTypeCode, 4);
        NVarCharValue(object.m_created ? &*object.m_created : nullptr, 30);
        IntValue(object.m_bScript ? 1 : 0, 4);
        if (stamps) {
            NVarCharValue(object.m_stamp ? &*object.m_stamp : nullptr, 30);
        }
        ++rows;
        have = next();
        if (AfterRow(rows, have) != EFlow::Go) {
            return;
        }
    }
    if (m_catalogue.Failed()) {
        Message(true, 50000, 1, 16,
                u"tds-test-server cannot read its catalogue: " +
                    quarrow::FromUtf8(m_catalogue.Error()));
        Done(tds::kDoneError | tds::kDoneCount, tds::kCommandSelect,
             static_cast<std::uint64_t>(rows));
    } else {
        Done(tds::kDoneCount, tds::kCommandSelect, static_cast<std::uint64_t>(rows));
    }
    EndReply();
}

void CTdsSession::Summary()
{
    std::int64_t count = 0;
    std::int64_t digest = 0;
    if (m_nDatabase != kNoDatabase) {
        CCatalogueReader::SObject object;
        m_catalogue.StartObjects(m_served.m_databases[m_nDatabase].m_nId, 509);
        // Bounded by the objects of the file; the served names are already as shown.
        while (m_catalogue.NextObject(object)) {
            ++count;
            digest += CatalogQueries::ObjectDigest(object.m_nKey, object.m_strName);
        }
    }
    if (m_catalogue.Failed()) {
        Message(true, 50000, 1, 16,
                u"tds-test-server cannot read its catalogue: " +
                    quarrow::FromUtf8(m_catalogue.Error()));
        Done(tds::kDoneError, 0, 0);
        EndReply();
        return;
    }
    ColMetadata({{u"object_count", EColumn::BigInt, false}, {u"digest", EColumn::BigInt, false}});
    if (AfterRow(0, true) != EFlow::Go) {
        return;
    }
    m_channel.Byte(tds::kTokenRow);
    IntValue(count, 8);
    IntValue(digest, 8);
    if (AfterRow(1, false) != EFlow::Go) {
        return;
    }
    Done(tds::kDoneCount, tds::kCommandSelect, 1);
    EndReply();
}

void CTdsSession::Scripts(const STag& tag)
{
    // NVARCHAR(MAX) needs PLP, which TDS 7.1 lacks: such a client gets 4000-unit rows, which
    // the contract allows for any server (a script is its consecutive rows joined).
    bool plp = !tag.m_bLegacy && Modern72();
    ColMetadata({{u"object_key", EColumn::BigInt, false},
                 plp ? SColumn{u"text", EColumn::NVarCharMax, true}
                     : SColumn{u"text", EColumn::NVarChar, true,
                               static_cast<std::uint16_t>(tds::kLegacyRowUnits)}});
    std::int64_t rows = 0;
    std::int64_t key = 0;
    std::u16string script;
    bool have = false;
    auto next = [&]() { return m_catalogue.NextScript(key, script); };
    if (m_nDatabase != kNoDatabase) {
        if (tag.m_kind == STag::EKind::ScriptsOf) {
            m_catalogue.StartScriptsOf(m_served.m_databases[m_nDatabase].m_nId, tag.m_keys);
        } else {
            m_catalogue.StartScripts(m_served.m_databases[m_nDatabase].m_nId, tag.m_nType,
                                     tag.m_kind == STag::EKind::Script ? tag.m_nKey : -1);
        }
        have = next();
    }
    if (AfterRow(rows, have) != EFlow::Go) {
        return;
    }
    while (have) {
        bool last = false;
        std::u16string_view rest(script);
        // One row per object with PLP; otherwise pieces of at most 4000 units (an empty
        // script is still one row, so the object shows that it has one).
        do {
            std::size_t take = plp ? rest.size() : CutPoint(rest, tds::kLegacyRowUnits);
            m_channel.Byte(tds::kTokenRow);
            IntValue(key, 8);
            if (plp) {
                PlpValue(rest);
            } else {
                std::u16string piece(rest.substr(0, take));
                NVarCharValue(&piece, tds::kLegacyRowUnits);
            }
            rest.remove_prefix(take);
            ++rows;
            last = rest.empty();
            if (last) {
                have = next();
            }
            if (AfterRow(rows, !last || have) != EFlow::Go) {
                return;
            }
        } while (!last);
    }
    if (m_catalogue.Failed()) {
        Message(true, 50000, 1, 16,
                u"tds-test-server cannot read its catalogue: " +
                    quarrow::FromUtf8(m_catalogue.Error()));
        Done(tds::kDoneError | tds::kDoneCount, tds::kCommandSelect,
             static_cast<std::uint64_t>(rows));
    } else {
        Done(tds::kDoneCount, tds::kCommandSelect, static_cast<std::uint64_t>(rows));
    }
    EndReply();
}

void CTdsSession::Probe(int value)
{
    BeginReply();
    ColMetadata({{u"", EColumn::Int, false}});
    m_channel.Byte(tds::kTokenRow);
    IntValue(value, 4);
    Done(tds::kDoneCount, tds::kCommandSelect, 1);
    EndReply();
}

void CTdsSession::ProbeVersion()
{
    const auto* v = m_served.m_version;
    std::string number = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." +
                         std::to_string((v[2] << 8) | v[3]);
    std::u16string text = m_served.m_bLegacy
                              ? u"Microsoft SQL Server  2000 - " + FromAscii(number) +
                                    u" (Intel X86) (Quarrow test server)"
                              : u"Microsoft SQL Server 2019 (RTM) - " + FromAscii(number) +
                                    u".5 (X64) (Quarrow test server)";
    BeginReply();
    ColMetadata({{u"", EColumn::NVarChar, true, 300}});
    m_channel.Byte(tds::kTokenRow);
    NVarCharValue(&text, 300);
    Done(tds::kDoneCount, tds::kCommandSelect, 1);
    EndReply();
}

// ---- tokens ----

void CTdsSession::EnvChange(std::uint8_t kind, std::u16string_view now, std::u16string_view before)
{
    now = now.substr(0, CutPoint(now, 255));
    before = before.substr(0, CutPoint(before, 255));
    m_channel.Byte(tds::kTokenEnvChange);
    m_channel.U16(static_cast<std::uint16_t>(1 + 1 + 2 * now.size() + 1 + 2 * before.size()));
    m_channel.Byte(kind);
    m_channel.Byte(static_cast<std::uint8_t>(now.size()));
    m_channel.Utf16(now);
    m_channel.Byte(static_cast<std::uint8_t>(before.size()));
    m_channel.Utf16(before);
}

void CTdsSession::EnvChangeCollation()
{
    m_channel.Byte(tds::kTokenEnvChange);
    m_channel.U16(1 + 1 + sizeof tds::kCollation + 1);
    m_channel.Byte(tds::kEnvCollation);
    m_channel.Byte(sizeof tds::kCollation);
    m_channel.Bytes(tds::kCollation, sizeof tds::kCollation);
    m_channel.Byte(0);
}

void CTdsSession::Message(bool error, std::int32_t number, std::uint8_t state,
                          std::uint8_t severity, std::u16string_view text)
{
    m_bFailed = m_bFailed || error;
    text = text.substr(0, CutPoint(text, 4000));
    std::u16string_view server(m_served.m_strServerName);
    server = server.substr(0, CutPoint(server, 128));
    std::size_t lineBytes = Modern72() ? 4 : 2;
    m_channel.Byte(error ? tds::kTokenError : tds::kTokenInfo);
    m_channel.U16(static_cast<std::uint16_t>(4 + 1 + 1 + 2 + 2 * text.size() + 1 +
                                             2 * server.size() + 1 + lineBytes));
    m_channel.U32(static_cast<std::uint32_t>(number));
    m_channel.Byte(state);
    m_channel.Byte(severity);
    m_channel.U16(static_cast<std::uint16_t>(text.size()));
    m_channel.Utf16(text);
    m_channel.Byte(static_cast<std::uint8_t>(server.size()));
    m_channel.Utf16(server);
    m_channel.Byte(0); // no procedure
    if (Modern72()) {
        m_channel.U32(1);
    } else {
        m_channel.U16(1);
    }
}

void CTdsSession::LoginAck(std::uint32_t version)
{
    constexpr std::u16string_view kProgram = u"Microsoft SQL Server";
    m_channel.Byte(tds::kTokenLoginAck);
    m_channel.U16(static_cast<std::uint16_t>(1 + 4 + 1 + 2 * kProgram.size() + 4));
    m_channel.Byte(1); // T-SQL
    m_channel.U32BigEndian(version);
    m_channel.Byte(static_cast<std::uint8_t>(kProgram.size()));
    m_channel.Utf16(kProgram);
    m_channel.Bytes(m_served.m_version, sizeof m_served.m_version);
}

void CTdsSession::Done(std::uint16_t status, std::uint16_t command, std::uint64_t rows)
{
    if (m_bInProcedure) {
        // A statement inside a procedure ends with DONEINPROC; the procedure's DONEPROC follows.
        m_channel.Byte(tds::kTokenDoneInProc);
        status |= tds::kDoneMore;
    } else {
        m_channel.Byte(tds::kTokenDone);
    }
    m_channel.U16(status);
    m_channel.U16(command);
    if (Modern72()) {
        m_channel.U64(rows);
    } else {
        m_channel.U32(static_cast<std::uint32_t>(rows));
    }
}

void CTdsSession::ColMetadata(const std::vector<SColumn>& columns)
{
    m_channel.Byte(tds::kTokenColMetadata);
    m_channel.U16(static_cast<std::uint16_t>(columns.size()));
    for (const auto& column : columns) {
        if (Modern72()) {
            m_channel.U32(0); // user type
        } else {
            m_channel.U16(0);
        }
        m_channel.U16(column.m_bNullable ? 0x0001 : 0x0000);
        switch (column.m_type) {
        case EColumn::Int:
        case EColumn::BigInt:
            m_channel.Byte(tds::kTypeIntN);
            m_channel.Byte(column.m_type == EColumn::Int ? 4 : 8);
            break;
        case EColumn::NVarChar:
        case EColumn::NVarCharMax:
            m_channel.Byte(tds::kTypeNVarChar);
            m_channel.U16(column.m_type == EColumn::NVarCharMax
                              ? 0xFFFF
                              : static_cast<std::uint16_t>(2 * column.m_nChars));
            m_channel.Bytes(tds::kCollation, sizeof tds::kCollation);
            break;
        }
        m_channel.Byte(static_cast<std::uint8_t>(column.m_strName.size()));
        m_channel.Utf16(column.m_strName);
    }
}

void CTdsSession::IntValue(std::int64_t value, std::uint8_t size)
{
    m_channel.Byte(size);
    if (size == 4) {
        m_channel.U32(static_cast<std::uint32_t>(value));
    } else {
        m_channel.U64(static_cast<std::uint64_t>(value));
    }
}

void CTdsSession::NVarCharValue(const std::u16string* text, std::size_t maxUnits)
{
    if (text == nullptr) {
        m_channel.U16(0xFFFF);
        return;
    }
    // A column declared NVARCHAR(n) never carries more than n units.
    std::u16string_view value(*text);
    value = value.substr(0, CutPoint(value, maxUnits));
    m_channel.U16(static_cast<std::uint16_t>(2 * value.size()));
    m_channel.Utf16(value);
}

void CTdsSession::PlpValue(std::u16string_view text)
{
    m_channel.U64(2 * static_cast<std::uint64_t>(text.size()));
    while (!text.empty()) {
        std::size_t take = CutPoint(text, tds::kPlpChunkUnits);
        m_channel.U32(static_cast<std::uint32_t>(2 * take));
        m_channel.Utf16(text.substr(0, take));
        text.remove_prefix(take);
    }
    m_channel.U32(0); // terminator
}
