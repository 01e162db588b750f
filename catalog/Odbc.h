#pragma once
// A thin owner layer over ODBC's wide API: one RAII owner per handle (environment,
// connection, statement), and the diagnostics of a call read at once into a value that
// travels with its result. Text crosses as UTF-16 (SQLWCHAR is 16 bits under unixODBC), so
// names and scripts reach the core without a UTF-8 detour.

#include "catalog/OdbcDiagnostic.h"

#include <cstdint>
#include <memory>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <string>
#include <vector>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC API must be UTF-16");

// The answer of one ODBC call: its return code and the diagnostics read right after it.
class COdbcResult
{
public:
    COdbcResult() = default;
    COdbcResult(SQLRETURN code, OdbcDiagnostics diagnostics)
        : m_nCode(code), m_diagnostics(std::move(diagnostics))
    {}

    bool IsOk() const { return SQL_SUCCEEDED(m_nCode); }
    bool IsNoData() const { return m_nCode == SQL_NO_DATA; }
    SQLRETURN GetCode() const { return m_nCode; }
    const OdbcDiagnostics& GetDiagnostics() const { return m_diagnostics; }

private:
    SQLRETURN m_nCode = SQL_SUCCESS;
    OdbcDiagnostics m_diagnostics;
};

// Reads every diagnostic record of a handle (none when the call left none).
OdbcDiagnostics ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// The environment: ODBC 3 behaviour. Shared by the connections made in it.
class COdbcEnvironment
{
public:
    COdbcEnvironment();
    ~COdbcEnvironment();
    COdbcEnvironment(const COdbcEnvironment&) = delete;
    COdbcEnvironment& operator=(const COdbcEnvironment&) = delete;

    // False when the driver manager could not make one (then nothing else can work).
    bool IsValid() const { return m_hEnv != SQL_NULL_HENV; }
    SQLHENV GetHandle() const { return m_hEnv; }

private:
    SQLHENV m_hEnv = SQL_NULL_HENV;
};

// One connection. Used by one thread at a time; only a statement's Cancel crosses threads.
class COdbcConnection
{
public:
    explicit COdbcConnection(std::shared_ptr<COdbcEnvironment> environment);
    ~COdbcConnection();
    COdbcConnection(const COdbcConnection&) = delete;
    COdbcConnection& operator=(const COdbcConnection&) = delete;

    // Login time-out in seconds (SQL_ATTR_LOGIN_TIMEOUT); set before Connect.
    COdbcResult SetLoginTimeout(int seconds);
    // SQLDriverConnectW without a prompt.
    COdbcResult Connect(const std::u16string& connectionString);
    bool IsConnected() const { return m_bConnected; }

    // A text SQLGetInfoW answers (SQL_DBMS_VER, SQL_DBMS_NAME, ...).
    COdbcResult GetInfoText(SQLUSMALLINT infoType, std::u16string& text);

    SQLHDBC GetHandle() const { return m_hDbc; }

private:
    std::shared_ptr<COdbcEnvironment> m_pEnvironment; // outlives the connection
    SQLHDBC m_hDbc = SQL_NULL_HDBC;
    bool m_bConnected = false;
};

// One statement on a connection the caller keeps alive for the statement's life.
class COdbcStatement
{
public:
    explicit COdbcStatement(COdbcConnection& connection);
    ~COdbcStatement();
    COdbcStatement(const COdbcStatement&) = delete;
    COdbcStatement& operator=(const COdbcStatement&) = delete;

    bool IsValid() const { return m_hStmt != SQL_NULL_HSTMT; }
    // Why the handle could not be made (when !IsValid()).
    const COdbcResult& GetAllocResult() const { return m_allocResult; }

    COdbcResult ExecDirect(const std::u16string& text);
    // SQL_NO_DATA (IsNoData) after the last row.
    COdbcResult Fetch();
    // Closes the open cursor, discarding what is left of the result.
    void CloseCursor();
    // From any thread: interrupts the call running on this statement.
    void Cancel();

    // Column values of the current row, columns from 1 and read in order. null: SQL NULL.
    COdbcResult GetInt64(SQLUSMALLINT column, std::int64_t& value, bool& null);
    // Reads a text column in chunks, so a definition of megabytes arrives whole. Text longer
    // than maxUnits UTF-16 units fails (the reader keeps what fit, the caller decides).
    COdbcResult GetText(SQLUSMALLINT column, std::u16string& value, bool& null,
                        std::size_t maxUnits);

    SQLHSTMT GetHandle() const { return m_hStmt; }

private:
    SQLHSTMT m_hStmt = SQL_NULL_HSTMT;
    COdbcResult m_allocResult;
    // GetText's buffer, made on first use and kept: a fresh zeroed one per value cost more
    // than the fetch itself.
    std::unique_ptr<SQLWCHAR[]> m_pTextChunk;
};

// Wide-API buffers from and to the core's strings.
std::vector<SQLWCHAR> ToSqlWide(const std::u16string& text); // NUL-terminated
std::u16string FromSqlWide(const SQLWCHAR* text, std::size_t length);
