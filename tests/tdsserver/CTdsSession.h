#pragma once
// One client connection of the test server: PRELOGIN, LOGIN7, then SQL batches answered from
// the catalogue until the client leaves, with the faults the command line asks for.

#include "tests/tdsserver/CCatalogueReader.h"
#include "tests/tdsserver/CTdsChannel.h"
#include "tests/tdsserver/TdsServerOptions.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CTdsLog;

// What every connection serves, fixed once the server starts.
struct STdsServed
{
    struct SDatabase
    {
        std::u16string m_strName;
        std::int64_t m_nId = -1; // the file's database id; -1: not in the file
        bool m_bUnopenable = false;
    };

    STdsServerOptions m_options;
    bool m_bLegacy = false;
    std::uint32_t m_nTdsVersion = 0; // the highest this server speaks
    std::uint8_t m_version[4] = {};  // major, minor, build (big-endian)
    std::u16string m_strServerName;
    std::vector<SDatabase> m_databases;
    CTdsLog* m_pLog = nullptr;
    std::shared_ptr<CTdsTlsContext> m_pTls; // null: no certificate, no TLS
};

class CTdsSession
{
public:
    CTdsSession(int socket, std::uint16_t spid, const STdsServed& served);
    void Run();

private:
    enum class EColumn
    {
        Int,
        BigInt,
        NVarChar,
        NVarCharMax,
    };
    struct SColumn
    {
        std::u16string_view m_strName;
        EColumn m_type;
        bool m_bNullable;
        std::uint16_t m_nChars = 0; // NVARCHAR(n)
    };
    // How a result goes on after a row.
    enum class EFlow
    {
        Go,
        Stopped, // ATTENTION came and was answered
        Dropped, // the connection is gone
    };
    struct STag
    {
        enum class EKind
        {
            Databases,
            Objects,
            Scripts,
            Script,
            Stamps,    // the objects with their stamps
            ScriptsOf, // the scripts of the keys listed
            Changes,   // the objects stamped at or after m_strSince
            Summary,   // one row: the object count and the sum of their digests
        } m_kind = EKind::Databases;
        bool m_bLegacy = false;
        int m_nType = 0;
        std::int64_t m_nKey = 0;
        std::vector<std::int64_t> m_keys;
        std::u16string m_strSince; // a stamp as the stamps result words it
    };

    // What PRELOGIN agreed on.
    enum class EEncryption
    {
        None,
        LoginOnly, // both said ENCRYPT_OFF: TLS for the LOGIN7 packet, then the bare socket
        Full,      // ENCRYPT_ON or ENCRYPT_REQ: TLS for the whole connection
        Refused,   // the server requires TLS and the client cannot
    };

    bool PreLogin(const std::vector<std::uint8_t>& payload);
    // The client's ENCRYPTION byte (ENCRYPT_OFF when it sent none) against this server's.
    EEncryption Negotiate(std::uint8_t client, std::uint8_t& answer) const;
    bool Login(const std::vector<std::uint8_t>& payload);
    void Serve();
    bool Batch(const std::vector<std::uint8_t>& payload);
    bool Rpc(const std::vector<std::uint8_t>& payload);
    // Where the request proper starts after the ALL_HEADERS block of TDS 7.2 on; false when
    // the block does not fit the message.
    bool SkipHeaders(const std::vector<std::uint8_t>& payload, std::size_t& at);
    void BeginReply();
    void EndReply();
    void Dispatch(const std::u16string& text);
    void Use(std::u16string_view text, const std::u16string& batch);
    void Tagged(const STag& tag);
    void Databases();
    void Objects(const STag& tag);
    void Summary();
    void Scripts(const STag& tag);
    void Probe(int value);
    void ProbeVersion();
    void AnswerAttention();

    // Tokens.
    void EnvChange(std::uint8_t kind, std::u16string_view now, std::u16string_view before);
    void EnvChangeCollation();
    void Message(bool error, std::int32_t number, std::uint8_t state, std::uint8_t severity,
                 std::u16string_view text);
    void LoginAck(std::uint32_t version);
    void Done(std::uint16_t status, std::uint16_t command, std::uint64_t rows);
    void ColMetadata(const std::vector<SColumn>& columns);
    void IntValue(std::int64_t value, std::uint8_t size);
    void NVarCharValue(const std::u16string* text, std::size_t maxUnits);
    void PlpValue(std::u16string_view text);
    // Runs the knobs between rows: drop, slow pause, ATTENTION.
    EFlow AfterRow(std::int64_t rows, bool more);
    // Error 102 for a batch the server does not know.
    void Unrecognised(const std::u16string& text);

    bool Modern72() const { return m_nVersion >= 0x72000000; }
    void Log(std::string_view line);

    CTdsChannel m_channel;
    const STdsServed& m_served;
    CCatalogueReader m_catalogue;
    bool m_bCatalogue = false;
    std::uint32_t m_nVersion = 0;
    EEncryption m_encryption = EEncryption::None;
    std::u16string m_strUser;
    std::size_t m_nDatabase = 0; // index into m_served.m_databases, or npos for master
    std::u16string m_strDatabase;
    // Running a statement for sp_executesql and its kin: DONEINPROC, the response left open.
    bool m_bInProcedure = false;
    bool m_bEnded = false;  // the response ended (or the connection) inside a statement
    bool m_bFailed = false; // an ERROR token went out for the current request
    std::map<std::int32_t, std::u16string> m_prepared;
    std::int32_t m_nNextHandle = 1;
};
