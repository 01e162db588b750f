#include "catalog/CLiveLibrary.h"

#include "catalog/CConnectFailure.h"
#include "catalog/CConnectionString.h"
#include "catalog/CFreeTdsConfig.h"
#include "catalog/CKerberosTicket.h"
#include "catalog/CScriptCursor.h"
#include "catalog/CServerBrowser.h"
#include "catalog/CServerSources.h"
#include "catalog/CStatementRows.h"
#include "catalog/CatalogQueries.h"
#include "catalog/Odbc.h"
#include "platform/Utf.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

using quarrow::FromAscii;
using quarrow::FromUtf8;

// The certificate authorities a checked certificate must lead to, when not the system's: a
// PEM file (a company's own authority, or a test's).
constexpr const char* kCaFileVariable = "QUARROW_TLS_CA_FILE";

// Names, schema names and dates are short; a longer value is a broken server.
constexpr std::size_t kLongestName = 4096;
// Idle worker connections a server keeps for its databases' lists.
constexpr std::size_t kIdleConnections = 2;
// How long our own port probe may take after the driver gave up (a refused port answers
// at once; this only bounds a silent one).
constexpr int kProbeMilliseconds = 2000;
// A failed connect is answered again from memory this long, so the second library's
// attempt right after the first neither waits out the time-out twice nor sends a refused
// password twice.
constexpr auto kFailureMemory = std::chrono::seconds(5);

// ---- Recent connect failures --------------------------------------------------------------

struct SRecentFailure
{
    std::u16string m_strKey;
    std::u16string m_strReason;
    std::chrono::steady_clock::time_point m_when;
};

std::mutex g_failureLock;
std::vector<SRecentFailure> g_failures;

std::optional<std::u16string> RecentFailure(const std::u16string& key)
{
    std::lock_guard lock(g_failureLock);
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(g_failures,
                  [&](const SRecentFailure& f) { return now - f.m_when > kFailureMemory; });
    for (const auto& failure : g_failures) {
        if (failure.m_strKey == key) {
            return failure.m_strReason;
        }
    }
    return std::nullopt;
}

void RememberFailure(const std::u16string& key, const std::u16string& reason)
{
    std::lock_guard lock(g_failureLock);
    if (g_failures.size() >= 16) {
        g_failures.erase(g_failures.begin());
    }
    g_failures.push_back({key, reason, std::chrono::steady_clock::now()});
}

// ---- What a server shares with its databases ----------------------------------------------

class CLiveServerCore
{
public:
    CLiveServerCore(EFlavour flavour, std::shared_ptr<COdbcEnvironment> environment,
                    std::u16string connectionString, int loginTimeout)
        : m_flavour(flavour), m_pEnvironment(std::move(environment)),
          m_strConnectionString(std::move(connectionString)), m_nLoginTimeout(loginTimeout)
    {}

    EFlavour GetFlavour() const { return m_flavour; }

    // A worker connection switched to the database; null with a reason when it cannot be
    // had.
    std::unique_ptr<COdbcConnection> Lend(const std::u16string& database, std::u16string& reason)
    {
        const auto use = CatalogQueries::UseDatabase(database);
        if (!use) {
            reason = u"its name holds a NUL character, which no statement can carry";
            return nullptr;
        }
        // An idle connection the server has dropped since is replaced once by a new one.
        for (int attempt = 0; attempt < 2; ++attempt) {
            auto connection = attempt == 0 ? TakeIdle() : nullptr;
            const bool pooled = connection != nullptr;
            if (!connection) {
                connection = std::make_unique<COdbcConnection>(m_pEnvironment);
                connection->SetLoginTimeout(m_nLoginTimeout);
                const auto connected = connection->Connect(m_strConnectionString);
                if (!connected.IsOk()) {
                    reason = u"no further connection to the server could be made (" +
                             DescribeDiagnostics(connected.GetDiagnostics()) + u")";
                    return nullptr;
                }
            }
            COdbcResult result;
            {
                COdbcStatement statement(*connection);
                result =
                    statement.IsValid() ? statement.ExecDirect(*use) : statement.GetAllocResult();
            }
            if (result.IsOk()) {
                return connection;
            }
            reason = u"it cannot be opened (" + DescribeDiagnostics(result.GetDiagnostics()) + u")";
            // The server's own refusal leaves the connection as it was.
            if (IsDatabaseRefusal(result.GetDiagnostics())) {
                GiveBack(std::move(connection));
                return nullptr;
            }
            if (!pooled) {
                return nullptr;
            }
        }
        return nullptr;
    }

    // 911: no such database; 916: the login may not use it; 4060: cannot open it.
    static bool IsDatabaseRefusal(const OdbcDiagnostics& diagnostics)
    {
        return std::any_of(diagnostics.begin(), diagnostics.end(), [](const auto& record) {
            return record.m_nNative == 911 || record.m_nNative == 916 || record.m_nNative == 4060;
        });
    }

    std::unique_ptr<COdbcConnection> TakeIdle()
    {
        std::lock_guard lock(m_idleLock);
        if (m_idle.empty()) {
            return nullptr;
        }
        auto connection = std::move(m_idle.back());
        m_idle.pop_back();
        return connection;
    }

    // A connection whose last statement ended cleanly.
    void GiveBack(std::unique_ptr<COdbcConnection> connection)
    {
        std::lock_guard lock(m_idleLock);
        if (connection && connection->IsConnected() && m_idle.size() < kIdleConnections) {
            m_idle.push_back(std::move(connection));
        }
    }

    // Running statements and the cancel flag of the search they serve.
    bool Enter(COdbcStatement* statement, const std::atomic<bool>* cancel)
    {
        std::lock_guard lock(m_runningLock);
        if (cancel != nullptr && cancel->load()) {
            return false;
        }
        m_running.emplace_back(statement, cancel);
        return true;
    }
    void Leave(COdbcStatement* statement)
    {
        std::lock_guard lock(m_runningLock);
        std::erase_if(m_running, [&](const auto& entry) { return entry.first == statement; });
    }
    // Under the lock, so a statement is never freed while it is being cancelled.
    void CancelFlagged()
    {
        std::lock_guard lock(m_runningLock);
        for (const auto& [statement, cancel] : m_running) {
            if (cancel != nullptr && cancel->load()) {
                statement->Cancel();
            }
        }
    }

private:
    EFlavour m_flavour;
    std::shared_ptr<COdbcEnvironment> m_pEnvironment;
    std::u16string m_strConnectionString;
    int m_nLoginTimeout;
    std::mutex m_idleLock;
    std::vector<std::unique_ptr<COdbcConnection>> m_idle;
    std::mutex m_runningLock;
    std::vector<std::pair<COdbcStatement*, const std::atomic<bool>*>> m_running;
};

// A statement known to the core while it runs, so CancelQueries can reach it.
class CRegisteredQuery
{
public:
    CRegisteredQuery(CLiveServerCore& core, COdbcStatement& statement,
                     const std::atomic<bool>* cancel)
        : m_core(core), m_statement(statement), m_bEntered(core.Enter(&statement, cancel))
    {}
    ~CRegisteredQuery()
    {
        if (m_bEntered) {
            m_core.Leave(&m_statement);
        }
    }
    CRegisteredQuery(const CRegisteredQuery&) = delete;
    CRegisteredQuery& operator=(const CRegisteredQuery&) = delete;

    // False when the search was stopped before the query started.
    bool IsEntered() const { return m_bEntered; }

private:
    CLiveServerCore& m_core;
    COdbcStatement& m_statement;
    bool m_bEntered;
};

bool IsCancelled(const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load();
}

// The script of one object by its own query (View Source, or a script asked out of order).
EScriptRead ReadOneScript(CLiveServerCore& core, const std::u16string& database, int typeCode,
                          std::int64_t key, const std::atomic<bool>* cancel, std::u16string& script)
{
    std::u16string reason;
    auto connection = core.Lend(database, reason);
    if (!connection) {
        return EScriptRead::Failed;
    }
    EScriptRead answer = EScriptRead::Failed;
    bool clean = false;
    {
        COdbcStatement statement(*connection);
        CRegisteredQuery registered(core, statement, cancel);
        if (statement.IsValid() && registered.IsEntered() &&
            statement.ExecDirect(CatalogQueries::Script(core.GetFlavour(), typeCode, key)).IsOk()) {
            CScriptCursor cursor(std::make_unique<CStatementRows>(
                statement, [cancel] { return IsCancelled(cancel); }));
            answer = cursor.Read(key, script);
            // Read what is left, so the connection is clean to lend again.
            std::u16string rest;
            if (answer != EScriptRead::Failed &&
                cursor.Read(CatalogQueries::kTypeKeyOffset * 4, rest) != EScriptRead::Failed) {
                clean = cursor.AtEnd();
            }
        }
    }
    if (clean) {
        core.GiveBack(std::move(connection));
    }
    return answer;
}

// ---- Streamed scripts of one list ---------------------------------------------------------

class CLiveScriptStream
{
public:
    CLiveScriptStream(std::shared_ptr<CLiveServerCore> core, std::u16string database, int typeCode,
                      const std::atomic<bool>* cancel)
        : m_pCore(std::move(core)), m_strDatabase(std::move(database)), m_nTypeCode(typeCode),
          m_pCancel(cancel)
    {}
    ~CLiveScriptStream() { Close(); }
    CLiveScriptStream(const CLiveScriptStream&) = delete;
    CLiveScriptStream& operator=(const CLiveScriptStream&) = delete;

    // Found or NoScript; Passed when another thread streams or the key was passed, Failed
    // when the stream broke or the search stopped. The caller then asks another way.
    EScriptRead Read(std::int64_t key, int objectType, std::u16string& script)
    {
        std::unique_lock lock(m_lock, std::try_to_lock);
        if (!lock.owns_lock() || m_bClosed) {
            return EScriptRead::Passed;
        }
        if (IsCancelled(m_pCancel)) {
            return EScriptRead::Failed;
        }
        if (!m_bStarted) {
            m_bStarted = true;
            m_bBroken = !Start();
        }
        EScriptRead answer = m_bBroken ? EScriptRead::Failed : m_pCursor->Read(key, script);
        if (answer == EScriptRead::Failed && !m_bBroken) {
            m_bBroken = true;
            Finish();
        }
        // A broken stream (a dropped connection, not a stop) costs one query per object.
        if ((answer == EScriptRead::Failed || answer == EScriptRead::Passed) &&
            !IsCancelled(m_pCancel)) {
            answer = ReadOneScript(*m_pCore, m_strDatabase, objectType, key, m_pCancel, script);
        }
        return answer;
    }

    // The list is going: its search's cancel flag may go with it.
    void Close()
    {
        std::lock_guard lock(m_lock);
        Finish();
        m_bClosed = true;
        m_pCancel = nullptr;
    }

private:
    bool Start()
    {
        std::u16string reason;
        m_pConnection = m_pCore->Lend(m_strDatabase, reason);
        if (!m_pConnection) {
            return false;
        }
        m_pStatement = std::make_unique<COdbcStatement>(*m_pConnection);
        m_pRegistration = std::make_unique<CRegisteredQuery>(*m_pCore, *m_pStatement, m_pCancel);
        if (!m_pStatement->IsValid() || !m_pRegistration->IsEntered() ||
            !m_pStatement->ExecDirect(CatalogQueries::Scripts(m_pCore->GetFlavour(), m_nTypeCode))
                 .IsOk()) {
            Finish();
            return false;
        }
        m_pCursor = std::make_unique<CScriptCursor>(std::make_unique<CStatementRows>(
            *m_pStatement, [cancel = m_pCancel] { return IsCancelled(cancel); }));
        return true;
    }

    // Ends the query: the connection goes back only when the stream was read to its end.
    void Finish()
    {
        const bool clean = m_pCursor && m_pCursor->AtEnd() && !m_pCursor->HasFailed();
        if (m_pStatement && !clean) {
            m_pStatement->CloseCursor();
        }
        m_pCursor.reset();
        m_pRegistration.reset();
        m_pStatement.reset();
        if (clean) {
            m_pCore->GiveBack(std::move(m_pConnection));
        }
        m_pConnection.reset();
    }

    std::shared_ptr<CLiveServerCore> m_pCore;
    std::u16string m_strDatabase;
    int m_nTypeCode;
    std::mutex m_lock;
    const std::atomic<bool>* m_pCancel; // null once the list is gone
    bool m_bStarted = false;
    bool m_bBroken = false;
    bool m_bClosed = false;
    std::unique_ptr<COdbcConnection> m_pConnection;
    std::unique_ptr<COdbcStatement> m_pStatement;
    std::unique_ptr<CRegisteredQuery> m_pRegistration;
    std::unique_ptr<CScriptCursor> m_pCursor;
};

// ---- Objects, lists, databases ------------------------------------------------------------

struct SLiveRow
{
    std::int64_t m_nKey = 0;
    std::optional<std::u16string> m_schema;
    std::optional<std::u16string> m_name;
    int m_nTypeCode = 0;
    std::optional<std::u16string> m_created;
    bool m_bHasScript = false;
};

class CLiveObject : public IDatabaseObject, public std::enable_shared_from_this<CLiveObject>
{
public:
    CLiveObject(std::shared_ptr<CLiveServerCore> core, std::u16string database, SLiveRow row,
                std::weak_ptr<CLiveScriptStream> stream)
        : m_pCore(std::move(core)), m_strDatabase(std::move(database)), m_row(std::move(row)),
          m_pStream(std::move(stream))
    {}

    std::shared_ptr<IDatabaseObject> QueryDatabaseObject(EFlavour flavour) override
    {
        return flavour == m_pCore->GetFlavour() ? shared_from_this() : nullptr;
    }
    EFlavour GetFlavour() const override { return m_pCore->GetFlavour(); }

    // Objects of dbo go by their bare name, others as schema.name, so namesakes in two
    // schemas stay apart.
    bool GetName(std::u16string& name) override
    {
        if (!m_row.m_name) {
            return false;
        }
        if (m_row.m_schema && !m_row.m_schema->empty() && *m_row.m_schema != u"dbo") {
            name = *m_row.m_schema + u"." + *m_row.m_name;
        } else {
            name = *m_row.m_name;
        }
        return true;
    }
    bool GetTypeName(std::u16string& typeName) override
    {
        auto text = CatalogQueries::TypeName(m_row.m_nTypeCode);
        if (text.empty()) {
            return false;
        }
        typeName = std::move(text);
        return true;
    }
    bool GetCreateDate(std::u16string& dateText) override
    {
        if (!m_row.m_created) {
            return false;
        }
        dateText = *m_row.m_created;
        return true;
    }
    bool HasScript() override { return m_row.m_bHasScript; }
    std::u16string GetScriptError() override
    {
        // The catalogue gives no definition for encrypted modules and for those the login
        // may not see; it does not say which.
        if (!m_row.m_bHasScript) {
            return u"the server gives no definition: the module is encrypted or the login may "
                   u"not see it";
        }
        return u"the request for the script failed";
    }

    bool Script(std::u16string& script) override
    {
        if (!m_row.m_bHasScript) {
            return false;
        }
        std::u16string text;
        EScriptRead answer = EScriptRead::Passed;
        if (auto stream = m_pStream.lock()) {
            answer = stream->Read(m_row.m_nKey, m_row.m_nTypeCode, text);
        }
        if (answer == EScriptRead::Passed) {
            answer = ReadOneScript(*m_pCore, m_strDatabase, m_row.m_nTypeCode, m_row.m_nKey,
                                   nullptr, text);
        }
        if (answer != EScriptRead::Found) {
            return false;
        }
        script = std::move(text);
        return true;
    }

private:
    std::shared_ptr<CLiveServerCore> m_pCore;
    std::u16string m_strDatabase;
    SLiveRow m_row;
    std::weak_ptr<CLiveScriptStream> m_pStream;
};

class CLiveObjectList : public IObjectList
{
public:
    CLiveObjectList(std::shared_ptr<CLiveServerCore> core, std::u16string database,
                    std::vector<SLiveRow> rows, int typeCode, const std::atomic<bool>* cancel)
        : m_pCore(std::move(core)), m_strDatabase(std::move(database)), m_rows(std::move(rows)),
          m_pStream(std::make_shared<CLiveScriptStream>(m_pCore, m_strDatabase, typeCode, cancel))
    {}
    ~CLiveObjectList() override { m_pStream->Close(); }
    CLiveObjectList(const CLiveObjectList&) = delete;
    CLiveObjectList& operator=(const CLiveObjectList&) = delete;

    long GetCount() override { return static_cast<long>(m_rows.size()); }
    std::shared_ptr<IModelUnknown> GetItem(long position) override
    {
        if (position < 0 || static_cast<std::size_t>(position) >= m_rows.size()) {
            return nullptr;
        }
        return std::make_shared<CLiveObject>(m_pCore, m_strDatabase,
                                             m_rows[static_cast<std::size_t>(position)], m_pStream);
    }

private:
    std::shared_ptr<CLiveServerCore> m_pCore;
    std::u16string m_strDatabase;
    std::vector<SLiveRow> m_rows;
    std::shared_ptr<CLiveScriptStream> m_pStream;
};

// A text column of the current row; nothing for NULL or a value the driver could not give.
std::optional<std::u16string> ReadName(COdbcStatement& statement, int column)
{
    std::u16string value;
    bool null = false;
    if (!statement.GetText(static_cast<SQLUSMALLINT>(column), value, null, kLongestName).IsOk() ||
        null) {
        return std::nullopt;
    }
    return value;
}

class CLiveDatabase : public IDatabase, public std::enable_shared_from_this<CLiveDatabase>
{
public:
    CLiveDatabase(std::shared_ptr<IServer> server, std::shared_ptr<CLiveServerCore> core,
                  std::u16string name)
        : m_pServer(std::move(server)), m_pCore(std::move(core)), m_strName(std::move(name))
    {}

    std::shared_ptr<IDatabase> QueryDatabase(EFlavour flavour) override
    {
        return flavour == GetFlavour() ? shared_from_this() : nullptr;
    }
    EFlavour GetFlavour() const override { return m_pCore->GetFlavour(); }
    bool GetName(std::u16string& name) override
    {
        name = m_strName;
        return true;
    }
    std::shared_ptr<IServer> GetParentServer() override { return m_pServer; }

    std::shared_ptr<IObjectList> ListObjects(int typeCode, int sortCode) override
    {
        return ListObjectsUntil(typeCode, sortCode, nullptr);
    }

    std::shared_ptr<IObjectList> ListObjectsUntil(int typeCode, int /*sortCode*/,
                                                  const std::atomic<bool>* cancel) override
    {
        if (!CatalogQueries::IsListedTypeCode(GetFlavour(), typeCode) || IsCancelled(cancel)) {
            return nullptr;
        }
        // A database that cannot be opened gives no list; the others are searched on.
        std::u16string reason;
        auto connection = m_pCore->Lend(m_strName, reason);
        if (!connection) {
            SetError(reason);
            return nullptr;
        }
        std::vector<SLiveRow> rows;
        bool complete = false;
        {
            COdbcStatement statement(*connection);
            CRegisteredQuery registered(*m_pCore, statement, cancel);
            COdbcResult result = statement.GetAllocResult();
            if (statement.IsValid() && registered.IsEntered()) {
                result = statement.ExecDirect(CatalogQueries::Objects(GetFlavour(), typeCode));
                if (result.IsOk()) {
                    complete = ReadRows(statement, cancel, rows, result);
                }
            }
            if (!complete) {
                statement.CloseCursor();
                SetError(u"its object list could not be read (" +
                         DescribeDiagnostics(result.GetDiagnostics()) + u")");
            }
        }
        if (!complete) {
            return nullptr;
        }
        SetError({});
        m_pCore->GiveBack(std::move(connection));
        return std::make_shared<CLiveObjectList>(m_pCore, m_strName, std::move(rows), typeCode,
                                                 cancel);
    }

    void CancelQueries() override { m_pCore->CancelFlagged(); }

    std::u16string GetLastError() const override
    {
        std::lock_guard lock(m_errorLock);
        return m_strError;
    }

private:
    void SetError(std::u16string text)
    {
        std::lock_guard lock(m_errorLock);
        m_strError = std::move(text);
    }

    // False with the failed call's answer in failure.
    static bool ReadRows(COdbcStatement& statement, const std::atomic<bool>* cancel,
                         std::vector<SLiveRow>& rows, COdbcResult& failure)
    {
        namespace Column = CatalogQueries::ObjectColumn;
        // Bounded by the rows the server sends; a stop ends it between rows.
        for (;;) {
            if (IsCancelled(cancel)) {
                return false;
            }
            auto fetched = statement.Fetch();
            if (fetched.IsNoData()) {
                return true;
            }
            if (!fetched.IsOk()) {
                failure = std::move(fetched);
                return false;
            }
            SLiveRow row;
            bool null = false;
            std::int64_t number = 0;
            // A row without a key cannot be told from the others or scripted: it alone goes.
            if (!statement.GetInt64(Column::Key, row.m_nKey, null).IsOk() || null) {
                continue;
            }
            row.m_schema = ReadName(statement, Column::Schema);
            row.m_name = ReadName(statement, Column::Name);
            if (statement.GetInt64(Column::TypeCode, number, null).IsOk() && !null && number >= 0 &&
                number <= ObjectType::UserDefinedFunction) {
                row.m_nTypeCode = static_cast<int>(number);
            }
            row.m_created = ReadName(statement, Column::Created);
            row.m_bHasScript =
                statement.GetInt64(Column::HasScript, number, null).IsOk() && !null && number != 0;
            rows.push_back(std::move(row));
        }
    }

    std::shared_ptr<IServer> m_pServer; // the parent; it holds no database, so no cycle
    std::shared_ptr<CLiveServerCore> m_pCore;
    std::u16string m_strName;
    mutable std::mutex m_errorLock;
    std::u16string m_strError;
};

// ---- Servers -------------------------------------------------------------------------------

// The major version from SQL_DBMS_VER ("15.00.2000"); nothing when it does not start with
// a number.
std::optional<int> MajorVersion(const std::u16string& version)
{
    int major = 0;
    std::size_t i = 0;
    for (; i < version.size() && i < 4 && version[i] >= u'0' && version[i] <= u'9'; ++i) {
        major = major * 10 + (version[i] - u'0');
    }
    return i == 0 ? std::nullopt : std::optional<int>(major);
}

class CLiveServer : public IServer, public std::enable_shared_from_this<CLiveServer>
{
public:
    explicit CLiveServer(EFlavour flavour) : m_flavour(flavour) {}

    EFlavour GetFlavour() const override { return m_flavour; }
    void SetLoginTimeout(int seconds) override { m_nLoginTimeout = std::max(seconds, 0); }
    void SetLoginSecure(bool integrated) override { m_bIntegrated = integrated; }
    void SetConnectOptions(const SConnectOptions& options) override
    {
        std::lock_guard lock(m_lock);
        m_options = options;
    }

    bool Connect(const std::u16string& server, const std::u16string& login,
                 const std::u16string& password) override
    {
        std::lock_guard lock(m_lock);
        m_pConnection.reset();
        m_pCore.reset();
        m_databases.reset();
        m_strError.clear();
        m_strName.clear();

        SConnectionSettings settings;
        std::u16string reason;
        if (!CConnectionString::ParseServerName(server, settings.m_address, reason)) {
            m_strError = u"'" + server + u"' is not a server name: " + reason;
            return false;
        }
        const bool chosen = std::getenv("QUARROW_ODBC_DRIVER") != nullptr &&
                            *std::getenv("QUARROW_ODBC_DRIVER") != '\0';
        settings.m_strDriver = CConnectionString::FindDriver(reason);
        if (settings.m_strDriver.empty()) {
            m_strError = u"'" + server + u"' cannot be reached: " + reason;
            return false;
        }
        settings.m_bIntegrated = m_bIntegrated;
        settings.m_strLogin = login;
        settings.m_strPassword = password;
        settings.m_strTdsVersion = m_flavour == EFlavour::Modern ? u"7.4" : u"7.1";
        SKerberosTicket ticket;
        if (m_bIntegrated) {
            // Without a ticket FreeTDS fails only after the network round trips, and vaguely.
            ticket = CKerberosTicket::Check();
            if (!ticket.m_bUsable) {
                m_strError =
                    CConnectFailure::NoTicketText(server) + u" (" + ticket.m_strReason + u")";
                return false;
            }
            settings.m_strCanonicalHost =
                CConnectionString::CanonicalHostName(settings.m_address.m_strHost);
        }
        settings.m_options = m_options;
        if (const char* caFile = std::getenv(kCaFileVariable); caFile && *caFile) {
            settings.m_strCaFile = FromUtf8(caFile);
            if (CConnectionString::ChecksCertificate(settings) && access(caFile, R_OK) != 0) {
                m_strError = u"'" + server +
                             u"' cannot be reached: the certificate authorities "
                             u"file '" +
                             settings.m_strCaFile + u"' named in " + FromAscii(kCaFileVariable) +
                             u" cannot be read";
                return false;
            }
        }
        if (CConnectionString::NeedsConfigSection(settings)) {
            std::string section;
            std::string lines;
            if (!CConnectionString::BuildConfigSection(settings, section, lines, reason) ||
                !CFreeTdsConfig::Publish(section, lines, reason)) {
                m_strError = u"'" + server + u"' cannot be reached: " + reason;
                return false;
            }
            settings.m_strConfigSection = FromUtf8(section);
        }

        const std::u16string failureKey =
            server + u'\n' + (m_bIntegrated ? u"*" : login) + u'\n' + password + u'\n' +
            std::u16string(EncryptionModeName(m_options.m_encryption)) +
            (m_options.m_bTrustServerCertificate ? u"+trust" : u"") + u'\n' + settings.m_strCaFile;
        if (auto remembered = RecentFailure(failureKey)) {
            m_strError = *remembered;
            return false;
        }
        // A named instance's port comes from the SQL Server Browser; FreeTDS is then given
        // host and port, so it asks nobody itself.
        if (!settings.m_address.m_strInstance.empty() && !settings.m_address.m_nPort) {
            unsigned port = 0;
            if (CServerBrowser::FindInstancePort(settings.m_address.m_strHost,
                                                 settings.m_address.m_strInstance, port,
                                                 reason) != EInstanceLookup::Found) {
                m_strError = u"'" + server + u"' cannot be reached: " + reason;
                RememberFailure(failureKey, m_strError);
                return false;
            }
            CConnectionString::SetInstancePort(settings.m_address, port);
        }

        auto environment = std::make_shared<COdbcEnvironment>();
        auto connection = std::make_unique<COdbcConnection>(environment);
        std::u16string text;
        if (!CConnectionString::Build(settings, text, reason)) {
            m_strError = u"'" + server + u"' cannot be reached: " + reason;
            return false;
        }
        connection->SetLoginTimeout(m_nLoginTimeout);
        COdbcResult result = connection->Connect(text);
        if (!result.IsOk()) {
            SConnectContext context;
            context.m_strServer = server;
            context.m_strHost = settings.m_address.m_strHost;
            context.m_strInstance = settings.m_address.m_strInstance;
            context.m_nPort = settings.m_address.m_nPort.value_or(
                settings.m_address.m_strInstance.empty() ? CConnectionString::kDefaultPort : 0);
            context.m_bIntegrated = m_bIntegrated;
            context.m_strLogin = login;
            context.m_nTimeoutSeconds = m_nLoginTimeout;
            context.m_strDriver = settings.m_strDriver;
            context.m_bDriverChosen = chosen;
            context.m_options = m_options;
            context.m_strCaFile = settings.m_strCaFile;
            const auto& diagnostics = result.GetDiagnostics();
            EPortProbe probe = EPortProbe::NotTried;
            if (CConnectFailure::NeedsProbe(diagnostics) && context.m_nPort != 0) {
                probe = CConnectFailure::ProbePort(
                    context.m_strHost, context.m_nPort,
                    std::min(kProbeMilliseconds, std::max(m_nLoginTimeout, 1) * 1000));
            }
            const auto failure = CConnectFailure::Classify(
                diagnostics, probe, m_bIntegrated, !context.m_strInstance.empty(), m_options);
            m_strError = CConnectFailure::Describe(failure, context, diagnostics);
            // The ticket was there: what failed is the service's ticket, or its name.
            if (failure == EConnectFailure::NoKerberosTicket && ticket.m_bUsable) {
                m_strError = CConnectFailure::NoServiceTicketText(
                                 server, ticket.m_strPrincipal,
                                 CConnectionString::ServicePrincipalName(settings)) +
                             u" (driver: " + DescribeDiagnostics(diagnostics) + u")";
            }
            RememberFailure(failureKey, m_strError);
            return false;
        }

        std::u16string version;
        connection->GetInfoText(SQL_DBMS_VER, version);
        const auto major = MajorVersion(version);
        if (m_flavour == EFlavour::Modern && major && *major < CLiveLibrary::kModernMajorVersion) {
            m_strError = u"'" + server + u"' runs SQL Server " + version +
                         u", older than SQL Server 2005, which the modern library does not "
                         u"serve";
            return false;
        }
        m_pCore = std::make_shared<CLiveServerCore>(m_flavour, environment, text, m_nLoginTimeout);
        m_pConnection = std::move(connection);
        m_strName = server;
        return true;
    }

    std::u16string GetLastError() const override
    {
        std::lock_guard lock(m_lock);
        return m_strError;
    }

    std::shared_ptr<CLiveServerCore> GetCore() const
    {
        std::lock_guard lock(m_lock);
        return m_pCore;
    }

    bool GetName(std::u16string& name) override
    {
        std::lock_guard lock(m_lock);
        if (!m_pConnection) {
            return false;
        }
        name = m_strName;
        return true;
    }

    long GetDatabaseCount() override
    {
        std::lock_guard lock(m_lock);
        return static_cast<long>(DatabasesLocked().size());
    }

    std::shared_ptr<IModelUnknown> GetDatabase(long position) override
    {
        std::lock_guard lock(m_lock);
        const auto& names = DatabasesLocked();
        if (!m_pCore || position < 0 || static_cast<std::size_t>(position) >= names.size()) {
            return nullptr;
        }
        return std::make_shared<CLiveDatabase>(shared_from_this(), m_pCore,
                                               names[static_cast<std::size_t>(position)]);
    }

private:
    // The databases query runs once, on the server's own connection.
    const std::vector<std::u16string>& DatabasesLocked()
    {
        if (m_databases || !m_pConnection) {
            return m_databases ? *m_databases : m_noDatabases;
        }
        m_databases.emplace();
        COdbcStatement statement(*m_pConnection);
        if (!statement.IsValid() ||
            !statement.ExecDirect(CatalogQueries::Databases(m_flavour)).IsOk()) {
            return *m_databases;
        }
        // Bounded by the rows the server sends.
        for (;;) {
            const auto fetched = statement.Fetch();
            if (!fetched.IsOk()) {
                break;
            }
            if (auto name = ReadName(statement, 1); name && !name->empty()) {
                m_databases->push_back(std::move(*name));
            }
        }
        statement.CloseCursor();
        return *m_databases;
    }

    EFlavour m_flavour;
    mutable std::mutex m_lock;
    int m_nLoginTimeout = CLiveLibrary::kDefaultLoginTimeout;
    bool m_bIntegrated = false;
    SConnectOptions m_options;
    std::unique_ptr<COdbcConnection> m_pConnection; // the user-interface thread's
    std::shared_ptr<CLiveServerCore> m_pCore;
    std::optional<std::vector<std::u16string>> m_databases;
    const std::vector<std::u16string> m_noDatabases;
    std::u16string m_strName;
    std::u16string m_strError;
};

// The servers named in FreeTDS's and unixODBC's configuration, and those the SQL Server
// Browser answers for. The browser is asked where $QUARROW_BROWSER_ADDRESS says, else by
// broadcast: only when someone asks for the list.
class CLiveApplication : public IApplication
{
public:
    bool ListAvailableServers(std::vector<std::u16string>& names) override
    {
        return ListAvailableServersUntil(names, nullptr);
    }

    bool ListAvailableServersUntil(std::vector<std::u16string>& names,
                                   const std::atomic<bool>* cancel) override
    {
        m_strError.clear();
        names = CServerSources::All(SServerSourcePaths::FromEnvironment());
        SBrowserEndpoint endpoint;
        std::u16string reason;
        if (!CServerBrowser::ListEndpoint(endpoint, reason)) {
            m_strError = u"the SQL Server Browser was not asked: " + reason;
        } else {
            const auto gathering =
                CServerBrowser::List(endpoint, CServerBrowser::kListWaitMs, cancel);
            if (gathering.m_bCancelled) {
                return false;
            }
            if (!gathering.m_strError.empty()) {
                m_strError = u"the SQL Server Browser could not be asked: " + gathering.m_strError;
            }
            for (const auto& instance : gathering.m_instances) {
                names.push_back(CBrowserAnswer::DisplayName(instance));
            }
        }
        CServerSources::SortUnique(names);
        return true;
    }

    std::u16string GetLastError() const override { return m_strError; }

private:
    std::u16string m_strError;
};

} // namespace

std::shared_ptr<IServer> CLiveLibrary::CreateServer()
{
    return std::make_shared<CLiveServer>(m_flavour);
}

std::shared_ptr<IApplication> CLiveLibrary::CreateApplication()
{
    return std::make_shared<CLiveApplication>();
}

std::unique_ptr<COdbcConnection> CLiveLibrary::LendConnection(IServer& server,
                                                              const std::u16string& database,
                                                              std::u16string& reason)
{
    auto* live = dynamic_cast<CLiveServer*>(&server);
    auto core = live != nullptr ? live->GetCore() : nullptr;
    if (!core) {
        reason = u"the server is not connected";
        return nullptr;
    }
    return core->Lend(database, reason);
}

void CLiveLibrary::ReturnConnection(IServer& server, std::unique_ptr<COdbcConnection> connection)
{
    auto* live = dynamic_cast<CLiveServer*>(&server);
    if (auto core = live != nullptr ? live->GetCore() : nullptr) {
        core->GiveBack(std::move(connection));
    }
}
