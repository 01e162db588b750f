#include "catalog/Odbc.h"

#include "platform/Utf.h"

#include <algorithm>

namespace {

// SQLGetData's buffer for long text: 64 K units per call keeps a 2 MB definition to a few
// dozen calls; a statement holds one such buffer (128 KB) while it lives.
constexpr std::size_t kTextChunkUnits = 64 * 1024;

// Diagnostic messages longer than this are cut; the driver's texts are far shorter.
constexpr SQLSMALLINT kLongestMessage = 4096;

} // namespace

std::u16string DescribeDiagnostics(const OdbcDiagnostics& diagnostics)
{
    std::u16string text;
    for (const auto& record : diagnostics) {
        if (!text.empty()) {
            text += u"; ";
        }
        text += u"[" + record.m_strState + u"] (" +
                quarrow::FromAscii(std::to_string(record.m_nNative)) + u") " + record.m_strMessage;
    }
    return text;
}

std::vector<SQLWCHAR> ToSqlWide(const std::u16string& text)
{
    std::vector<SQLWCHAR> wide(text.begin(), text.end());
    wide.push_back(0);
    return wide;
}

std::u16string FromSqlWide(const SQLWCHAR* text, std::size_t length)
{
    return std::u16string(text, text + length);
}

OdbcDiagnostics ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    OdbcDiagnostics records;
    if (handle == nullptr) {
        return records;
    }
    // A driver that keeps answering records is not followed for ever.
    for (SQLSMALLINT i = 1; i <= 64; ++i) {
        SQLWCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> message(kLongestMessage + 1, 0);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, i, state, &native, message.data(),
                                      kLongestMessage, &length);
        if (!SQL_SUCCEEDED(rc)) {
            break;
        }
        SOdbcDiagnostic record;
        record.m_strState = FromSqlWide(
            state, std::char_traits<char16_t>::length(reinterpret_cast<const char16_t*>(state)));
        record.m_nNative = native;
        const auto used = std::clamp<SQLSMALLINT>(length, 0, kLongestMessage);
        auto end = std::find(message.begin(), message.begin() + used, SQLWCHAR{0});
        record.m_strMessage =
            FromSqlWide(message.data(), static_cast<std::size_t>(end - message.begin()));
        records.push_back(std::move(record));
    }
    return records;
}

COdbcEnvironment::COdbcEnvironment()
{
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_hEnv))) {
        m_hEnv = SQL_NULL_HENV;
        return;
    }
    SQLSetEnvAttr(m_hEnv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
}

COdbcEnvironment::~COdbcEnvironment()
{
    if (m_hEnv != SQL_NULL_HENV) {
        SQLFreeHandle(SQL_HANDLE_ENV, m_hEnv);
    }
}

COdbcConnection::COdbcConnection(std::shared_ptr<COdbcEnvironment> environment)
    : m_pEnvironment(std::move(environment))
{
    if (!m_pEnvironment || !m_pEnvironment->IsValid() ||
        !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, m_pEnvironment->GetHandle(), &m_hDbc))) {
        m_hDbc = SQL_NULL_HDBC;
    }
}

COdbcConnection::~COdbcConnection()
{
    if (m_hDbc == SQL_NULL_HDBC) {
        return;
    }
    if (m_bConnected) {
        SQLDisconnect(m_hDbc);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, m_hDbc);
}

COdbcResult COdbcConnection::SetLoginTimeout(int seconds)
{
    if (m_hDbc == SQL_NULL_HDBC) {
        return COdbcResult(SQL_ERROR, {});
    }
    SQLRETURN rc = SQLSetConnectAttrW(
        m_hDbc, SQL_ATTR_LOGIN_TIMEOUT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(seconds, 0))), 0);
    return COdbcResult(rc, SQL_SUCCEEDED(rc) && rc == SQL_SUCCESS
                               ? OdbcDiagnostics{}
                               : ReadDiagnostics(SQL_HANDLE_DBC, m_hDbc));
}

COdbcResult COdbcConnection::Connect(const std::u16string& connectionString)
{
    if (m_hDbc == SQL_NULL_HDBC) {
        return COdbcResult(SQL_ERROR, {{u"HY001", 0, u"no connection handle could be made"}});
    }
    auto text = ToSqlWide(connectionString);
    SQLWCHAR out[1024] = {};
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = SQLDriverConnectW(m_hDbc, nullptr, text.data(), SQL_NTS, out,
                                     static_cast<SQLSMALLINT>(std::size(out)), &outLength,
                                     SQL_DRIVER_NOPROMPT);
    m_bConnected = SQL_SUCCEEDED(rc);
    return COdbcResult(rc, rc == SQL_SUCCESS ? OdbcDiagnostics{}
                                             : ReadDiagnostics(SQL_HANDLE_DBC, m_hDbc));
}

COdbcResult COdbcConnection::GetInfoText(SQLUSMALLINT infoType, std::u16string& text)
{
    SQLWCHAR buffer[256] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetInfoW(m_hDbc, infoType, buffer, sizeof buffer, &length);
    if (SQL_SUCCEEDED(rc)) {
        const auto units =
            std::clamp<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)) / 2,
                                    0, std::size(buffer) - 1);
        text = FromSqlWide(buffer, units);
    }
    return COdbcResult(rc, rc == SQL_SUCCESS ? OdbcDiagnostics{}
                                             : ReadDiagnostics(SQL_HANDLE_DBC, m_hDbc));
}

COdbcStatement::COdbcStatement(COdbcConnection& connection)
{
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, connection.GetHandle(), &m_hStmt);
    if (!SQL_SUCCEEDED(rc)) {
        m_allocResult = COdbcResult(rc, ReadDiagnostics(SQL_HANDLE_DBC, connection.GetHandle()));
        m_hStmt = SQL_NULL_HSTMT;
    }
}

COdbcStatement::~COdbcStatement()
{
    if (m_hStmt != SQL_NULL_HSTMT) {
        SQLFreeHandle(SQL_HANDLE_STMT, m_hStmt);
    }
}

COdbcResult COdbcStatement::ExecDirect(const std::u16string& text)
{
    auto wide = ToSqlWide(text);
    SQLRETURN rc = SQLExecDirectW(m_hStmt, wide.data(), SQL_NTS);
    return COdbcResult(rc, rc == SQL_SUCCESS || rc == SQL_NO_DATA
                               ? OdbcDiagnostics{}
                               : ReadDiagnostics(SQL_HANDLE_STMT, m_hStmt));
}

COdbcResult COdbcStatement::Fetch()
{
    SQLRETURN rc = SQLFetch(m_hStmt);
    return COdbcResult(rc, rc == SQL_SUCCESS || rc == SQL_NO_DATA
                               ? OdbcDiagnostics{}
                               : ReadDiagnostics(SQL_HANDLE_STMT, m_hStmt));
}

void COdbcStatement::CloseCursor()
{
    SQLFreeStmt(m_hStmt, SQL_CLOSE);
}

void COdbcStatement::Cancel()
{
    SQLCancel(m_hStmt);
}

COdbcResult COdbcStatement::GetInt64(SQLUSMALLINT column, std::int64_t& value, bool& null)
{
    SQLBIGINT number = 0;
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(m_hStmt, column, SQL_C_SBIGINT, &number, sizeof number, &indicator);
    if (!SQL_SUCCEEDED(rc)) {
        return COdbcResult(rc, ReadDiagnostics(SQL_HANDLE_STMT, m_hStmt));
    }
    null = indicator == SQL_NULL_DATA;
    value = null ? 0 : static_cast<std::int64_t>(number);
    return COdbcResult(rc, {});
}

COdbcResult COdbcStatement::GetText(SQLUSMALLINT column, std::u16string& value, bool& null,
                                    std::size_t maxUnits)
{
    value.clear();
    null = false;
    if (!m_pTextChunk) {
        m_pTextChunk = std::make_unique_for_overwrite<SQLWCHAR[]>(kTextChunkUnits + 1);
    }
    SQLWCHAR* chunk = m_pTextChunk.get();
    const auto chunkBytes = static_cast<SQLLEN>((kTextChunkUnits + 1) * sizeof(SQLWCHAR));
    // Bounded: each round either ends the value or adds a full chunk, and the value is
    // refused once it passes maxUnits.
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(m_hStmt, column, SQL_C_WCHAR, chunk, chunkBytes, &indicator);
        if (rc == SQL_NO_DATA) {
            return COdbcResult(SQL_SUCCESS, {}); // every piece was read
        }
        if (!SQL_SUCCEEDED(rc)) {
            return COdbcResult(rc, ReadDiagnostics(SQL_HANDLE_STMT, m_hStmt));
        }
        if (indicator == SQL_NULL_DATA) {
            null = true;
            return COdbcResult(rc, {});
        }
        // A piece fills the buffer but for its terminator unless it is the last one.
        std::size_t units = kTextChunkUnits;
        if (indicator != SQL_NO_TOTAL && indicator >= 0 && indicator < chunkBytes) {
            units = static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
        }
        value.append(chunk, chunk + units);
        if (value.size() > maxUnits) {
            return COdbcResult(SQL_ERROR, {{u"22001", 0,
                                            u"the text is longer than the longest "
                                            u"accepted"}});
        }
        if (rc == SQL_SUCCESS) {
            return COdbcResult(rc, {});
        }
    }
}
