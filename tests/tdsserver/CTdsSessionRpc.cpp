// RPC requests of a test-server connection: the system procedures an ODBC driver runs a
// statement with when it is prepared (sp_prepexec, sp_prepare, sp_execute, sp_unprepare) or
// sent with parameters (sp_executesql). The statement is then answered as a batch would be.

#include "platform/Utf.h"
#include "tests/tdsserver/CTdsLog.h"
#include "tests/tdsserver/CTdsSession.h"
#include "tests/tdsserver/TdsProtocol.h"

#include <cstdio>

namespace {

// Reads an RPC request; every read is checked against the message's end.
class CRequestReader
{
public:
    CRequestReader(const std::vector<std::uint8_t>& data, std::size_t at) : m_data(data), m_nAt(at)
    {}

    bool AtEnd() const { return m_nAt >= m_data.size(); }
    bool Fits(std::size_t size) const { return size <= m_data.size() - m_nAt; }

    bool Byte(std::uint8_t& value)
    {
        if (!Fits(1)) {
            return false;
        }
        value = m_data[m_nAt++];
        return true;
    }

    bool Le(std::size_t size, std::uint64_t& value)
    {
        if (!Fits(size)) {
            return false;
        }
        value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value |= std::uint64_t{m_data[m_nAt + i]} << (8 * i);
        }
        m_nAt += size;
        return true;
    }

    bool Skip(std::size_t size)
    {
        if (!Fits(size)) {
            return false;
        }
        m_nAt += size;
        return true;
    }

    bool Text(std::size_t bytes, std::u16string& text)
    {
        if (!Fits(bytes) || bytes % 2 != 0) {
            return false;
        }
        for (std::size_t i = 0; i < bytes; i += 2) {
            text += static_cast<char16_t>(m_data[m_nAt + i] | (m_data[m_nAt + i + 1] << 8));
        }
        m_nAt += bytes;
        return true;
    }

private:
    const std::vector<std::uint8_t>& m_data;
    std::size_t m_nAt;
};

struct SParameter
{
    std::u16string m_strName;
    bool m_bOutput = false;
    bool m_bNull = true;
    bool m_bInteger = false;
    std::int64_t m_nValue = 0;
    std::u16string m_strText;
};

enum class EParse
{
    Good,
    Unsupported, // a well-formed parameter of a type this server does not take
    Hostile,
};

EParse ReadParameter(CRequestReader& reader, SParameter& parameter)
{
    std::uint8_t nameUnits = 0;
    std::uint8_t status = 0;
    std::uint8_t type = 0;
    if (!reader.Byte(nameUnits) || !reader.Text(2 * std::size_t{nameUnits}, parameter.m_strName) ||
        !reader.Byte(status) || !reader.Byte(type)) {
        return EParse::Hostile;
    }
    parameter.m_bOutput = (status & 0x01) != 0;
    std::uint64_t length = 0;
    std::uint64_t size = 0;
    std::uint8_t byte = 0;
    switch (type) {
    case tds::kTypeIntN: {
        std::uint8_t width = 0;
        if (!reader.Byte(width) || (width != 1 && width != 2 && width != 4 && width != 8) ||
            !reader.Byte(byte) || (byte != 0 && byte != width)) {
            return EParse::Hostile;
        }
        parameter.m_bInteger = true;
        parameter.m_bNull = byte == 0;
        if (byte != 0) {
            if (!reader.Le(byte, size)) {
                return EParse::Hostile;
            }
            // Sign-extend from the value's own width.
            int shift = 64 - 8 * byte;
            parameter.m_nValue = static_cast<std::int64_t>(size << shift) >> shift;
        }
        return EParse::Good;
    }
    case tds::kTypeNText:
        if (!reader.Le(4, size) || !reader.Skip(sizeof tds::kCollation) || !reader.Le(4, length)) {
            return EParse::Hostile;
        }
        parameter.m_bNull = length == 0xFFFFFFFF;
        if (!parameter.m_bNull && !reader.Text(length, parameter.m_strText)) {
            return EParse::Hostile;
        }
        return EParse::Good;
    case tds::kTypeNVarChar:
    case tds::kTypeNChar:
        if (!reader.Le(2, size) || !reader.Skip(sizeof tds::kCollation)) {
            return EParse::Hostile;
        }
        if (size != 0xFFFF) {
            if (!reader.Le(2, length)) {
                return EParse::Hostile;
            }
            parameter.m_bNull = length == 0xFFFF;
            if (!parameter.m_bNull && !reader.Text(length, parameter.m_strText)) {
                return EParse::Hostile;
            }
            return EParse::Good;
        }
        // NVARCHAR(MAX): PLP chunks up to a zero-length terminator.
        if (!reader.Le(8, length)) {
            return EParse::Hostile;
        }
        parameter.m_bNull = length == ~std::uint64_t{0};
        if (parameter.m_bNull) {
            return EParse::Good;
        }
        for (;;) {
            std::uint64_t chunk = 0;
            if (!reader.Le(4, chunk)) {
                return EParse::Hostile;
            }
            if (chunk == 0) {
                return EParse::Good;
            }
            if (!reader.Text(chunk, parameter.m_strText)) {
                return EParse::Hostile;
            }
        }
    default:
        return EParse::Unsupported;
    }
}

bool SameProcedure(std::u16string_view name, std::u16string_view wanted)
{
    if (name.size() != wanted.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        char16_t c =
            name[i] >= u'A' && name[i] <= u'Z' ? static_cast<char16_t>(name[i] + 32) : name[i];
        if (c != wanted[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool CTdsSession::Rpc(const std::vector<std::uint8_t>& payload)
{
    std::size_t at = 0;
    if (!SkipHeaders(payload, at)) {
        return false;
    }
    auto hostile = [](const char* what) {
        std::fprintf(stderr, "tds-test-server: connection closed: RPC %s\n", what);
        return false;
    };
    CRequestReader reader(payload, at);
    std::uint64_t nameUnits = 0;
    std::uint64_t id = 0;
    std::u16string name;
    if (!reader.Le(2, nameUnits)) {
        return hostile("without a procedure");
    }
    if (nameUnits == 0xFFFF) {
        if (!reader.Le(2, id)) {
            return hostile("procedure id cut short");
        }
    } else if (!reader.Text(2 * nameUnits, name)) {
        return hostile("procedure name outside the message");
    }
    constexpr std::pair<std::u16string_view, std::uint16_t> kNames[] = {
        {u"sp_executesql", tds::kProcExecuteSql},
        {u"sp_prepare", tds::kProcPrepare},
        {u"sp_execute", tds::kProcExecute},
        {u"sp_prepexec", tds::kProcPrepExec},
        {u"sp_unprepare", tds::kProcUnprepare}};
    for (const auto& [known, knownId] : kNames) {
        if (SameProcedure(name, known)) {
            id = knownId;
        }
    }
    if (!reader.Skip(2)) { // option flags
        return hostile("option flags cut short");
    }
    std::vector<SParameter> parameters;
    bool unsupported = false;
    // Parameters up to the end, or to the separator of a second request, which is not served.
    std::uint8_t next = 0;
    while (!reader.AtEnd() && reader.Fits(1)) {
        CRequestReader peek = reader;
        peek.Byte(next);
        if (next == 0x80 || next == 0xFF || next == 0xFE) {
            break;
        }
        SParameter parameter;
        auto parsed = ReadParameter(reader, parameter);
        if (parsed == EParse::Hostile) {
            return hostile("parameter outside the message");
        }
        if (parsed == EParse::Unsupported) {
            unsupported = true;
            break;
        }
        parameters.push_back(std::move(parameter));
    }

    std::u16string procedure = id != 0 ? std::u16string() : name;
    for (const auto& [known, knownId] : kNames) {
        if (knownId == id) {
            procedure = known;
        }
    }
    m_channel.Begin(tds::kPacketReply);
    m_bFailed = false;
    m_bEnded = false;
    std::optional<std::int32_t> handleOut;
    const std::u16string* statement = nullptr;
    auto text = [&](std::size_t index) {
        return index < parameters.size() && !parameters[index].m_bNull &&
                       !parameters[index].m_bInteger
                   ? &parameters[index].m_strText
                   : nullptr;
    };
    auto handle = [&]() -> std::optional<std::int32_t> {
        if (parameters.empty() || !parameters[0].m_bInteger || parameters[0].m_bNull) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(parameters[0].m_nValue);
    };

    if (unsupported) {
        Log("batch: (RPC " + quarrow::ToUtf8(procedure) + ")");
        Message(true, 50000, 1, 16,
                u"tds-test-server takes integer and Unicode text parameters only.");
    } else if (id == tds::kProcExecuteSql) {
        statement = text(0);
    } else if (id == tds::kProcPrepExec || id == tds::kProcPrepare) {
        statement = text(2);
        if (statement != nullptr) {
            handleOut = m_nNextHandle++;
            m_prepared[*handleOut] = *statement;
        }
        if (id == tds::kProcPrepare) {
            Log("batch: (RPC sp_prepare)");
            statement = nullptr; // prepared, run later by sp_execute
        }
    } else if (id == tds::kProcExecute || id == tds::kProcUnprepare) {
        auto found = handle() ? m_prepared.find(*handle()) : m_prepared.end();
        if (found == m_prepared.end()) {
            Log("batch: (RPC " + quarrow::ToUtf8(procedure) + ")");
            Message(true, 8179, 4, 16,
                    u"Could not find prepared statement with handle " +
                        quarrow::FromAscii(handle() ? std::to_string(*handle()) : "NULL") + u".");
        } else if (id == tds::kProcExecute) {
            statement = &found->second;
        } else {
            Log("batch: (RPC sp_unprepare)");
            m_prepared.erase(found);
        }
    } else {
        Log("batch: (RPC " + quarrow::ToUtf8(procedure) + ")");
        Message(true, 2812, 62, 16, u"Could not find stored procedure '" + procedure + u"'.");
    }
    if ((id == tds::kProcExecuteSql || id == tds::kProcPrepExec || id == tds::kProcPrepare) &&
        statement == nullptr && !handleOut && !m_bFailed) {
        Log("batch: (RPC " + quarrow::ToUtf8(procedure) + ")");
        Message(true, 8144, 2, 16, u"Procedure or function has too few arguments specified.");
    }

    if (statement != nullptr) {
        m_bInProcedure = true;
        std::u16string copy = *statement; // sp_execute's text may be unprepared meanwhile
        Dispatch(copy);
        m_bInProcedure = false;
        if (m_bEnded) {
            return m_channel.IsHealthy(); // ATTENTION answered, or the connection dropped
        }
    }
    m_channel.Byte(tds::kTokenReturnStatus);
    m_channel.U32(m_bFailed ? 1 : 0);
    if (handleOut) {
        // The new handle comes back in the first (output) parameter.
        std::u16string_view parameterName = parameters.empty()
                                                ? std::u16string_view()
                                                : std::u16string_view(parameters[0].m_strName);
        parameterName = parameterName.substr(0, 128);
        m_channel.Byte(tds::kTokenReturnValue);
        m_channel.U16(0); // ordinal
        m_channel.Byte(static_cast<std::uint8_t>(parameterName.size()));
        m_channel.Utf16(parameterName);
        m_channel.Byte(0x01); // an output parameter
        if (Modern72()) {
            m_channel.U32(0);
        } else {
            m_channel.U16(0);
        }
        m_channel.U16(0x0001); // nullable
        m_channel.Byte(tds::kTypeIntN);
        m_channel.Byte(4);
        m_channel.Byte(4);
        m_channel.U32(static_cast<std::uint32_t>(*handleOut));
    }
    m_channel.Byte(tds::kTokenDoneProc);
    m_channel.U16(m_bFailed ? tds::kDoneError : tds::kDoneFinal);
    m_channel.U16(0xE0); // EXECUTE
    if (Modern72()) {
        m_channel.U64(0);
    } else {
        m_channel.U32(0);
    }
    m_channel.End();
    return m_channel.IsHealthy();
}
