#include "catalog/CSnapshotTaker.h"

#include "catalog/CLiveLibrary.h"
#include "catalog/CScriptCursor.h"
#include "catalog/CSnapshotFile.h"
#include "catalog/CSnapshotWriter.h"
#include "catalog/CatalogQueries.h"
#include "catalog/Odbc.h"
#include "platform/Utf.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <sqlite3.h>

namespace {

using quarrow::FromUtf8;
using quarrow::ToUtf8;

// Names, schema names, dates and stamps are short; a longer value is a broken server.
constexpr std::size_t kLongestName = 4096;

std::string NowText()
{
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string FlavourText(EFlavour flavour)
{
    return flavour == EFlavour::Modern ? "modern" : "legacy";
}

// One object as the stamps result gives it, in the form the file keeps.
struct SLiveObject
{
    std::int64_t m_nKey = 0;
    std::string m_strName;
    int m_nTypeCode = 0;
    std::optional<std::string> m_created;
    bool m_bHasScript = false;
    std::optional<std::string> m_stamp;
    bool m_bRead = false; // its script is read from the server this time
};

// One object as the old file has it (refresh).
struct SOldObject
{
    std::string m_strName;
    int m_nTypeCode = 0;
    std::optional<std::string> m_created;
    bool m_bHasScript = false;
    std::optional<std::string> m_stamp;
};

std::optional<std::string> ReadText(COdbcStatement& statement, int column, std::int64_t& bytes)
{
    std::u16string value;
    bool null = false;
    if (!statement.GetText(static_cast<SQLUSMALLINT>(column), value, null, kLongestName).IsOk() ||
        null) {
        return std::nullopt;
    }
    bytes += static_cast<std::int64_t>(value.size() * 2);
    return ToUtf8(value);
}

// Runs a statement registered with the taker, so Cancel reaches it.
class CRunning
{
public:
    CRunning(CSnapshotTaker& taker, COdbcStatement& statement) : m_taker(taker)
    {
        m_taker.EnterStatement(&statement);
    }
    ~CRunning() { m_taker.LeaveStatement(); }
    CRunning(const CRunning&) = delete;
    CRunning& operator=(const CRunning&) = delete;

private:
    CSnapshotTaker& m_taker;
};

// The rows of a scripts result, for the script cursor.
class CScriptRows : public IScriptRows
{
public:
    CScriptRows(COdbcStatement& statement, CSnapshotTaker& taker)
        : m_statement(statement), m_taker(taker)
    {}

    bool NextKey(std::int64_t& key) override
    {
        // Bounded by the rows the server sends.
        for (;;) {
            if (m_taker.IsCancelled()) {
                m_bFailed = true;
                return false;
            }
            const auto fetched = m_statement.Fetch();
            if (fetched.IsNoData()) {
                return false;
            }
            bool null = false;
            if (!fetched.IsOk() ||
                !m_statement.GetInt64(CatalogQueries::ScriptColumn::Key, key, null).IsOk()) {
                m_strError = DescribeDiagnostics(fetched.GetDiagnostics());
                m_bFailed = true;
                return false;
            }
            if (!null) {
                return true;
            }
        }
    }

    bool ReadText(std::u16string& text) override
    {
        bool null = false;
        const auto result = m_statement.GetText(CatalogQueries::ScriptColumn::Text, text, null,
                                                CScriptCursor::kLargestScript);
        if (!result.IsOk()) {
            m_strError = DescribeDiagnostics(result.GetDiagnostics());
            m_bFailed = true;
            return false;
        }
        m_taker.AddBytes(static_cast<std::int64_t>(text.size() * 2));
        return true;
    }

    bool Failed() const override { return m_bFailed; }
    const std::u16string& GetError() const { return m_strError; }

private:
    COdbcStatement& m_statement;
    CSnapshotTaker& m_taker;
    bool m_bFailed = false;
    std::u16string m_strError;
};

// A read-only look at the file being refreshed: its entries and each database's objects by
// key, the scripts walked forward in key order as the new file is written.
class COldSnapshot
{
public:
    ~COldSnapshot()
    {
        sqlite3_finalize(m_pScripts);
        sqlite3_close(m_pDb);
    }

    bool Open(const std::string& path, std::u16string& error)
    {
        if (sqlite3_open_v2(path.c_str(), &m_pDb, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            error = u"cannot be read: " + FromUtf8(m_pDb ? sqlite3_errmsg(m_pDb) : "no memory");
            return false;
        }
        sqlite3_busy_timeout(m_pDb, 2000);
        return true;
    }

    std::vector<std::pair<std::string, std::string>> Entries()
    {
        std::vector<std::pair<std::string, std::string>> entries;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_pDb, "SELECT key, value FROM catalogue", -1, &statement,
                               nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                entries.emplace_back(Text(statement, 0).value_or(""),
                                     Text(statement, 1).value_or(""));
            }
        }
        sqlite3_finalize(statement);
        return entries;
    }

    // Every object of a database by key. False when the file cannot say (no keys recorded).
    bool Objects(std::int64_t databaseId, std::map<std::int64_t, SOldObject>& objects)
    {
        objects.clear();
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_pDb,
                               "SELECT object_id, name, type_code, created, script IS NOT NULL, "
                               "stamp FROM objects WHERE database_id = ?1",
                               -1, &statement, nullptr) != SQLITE_OK) {
            return false;
        }
        sqlite3_bind_int64(statement, 1, databaseId);
        bool keyed = true;
        int rc = SQLITE_OK;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            if (sqlite3_column_type(statement, 0) == SQLITE_NULL) {
                keyed = false;
                break;
            }
            SOldObject object;
            object.m_strName = Text(statement, 1).value_or("");
            object.m_nTypeCode = sqlite3_column_int(statement, 2);
            object.m_created = Text(statement, 3);
            object.m_bHasScript = sqlite3_column_int(statement, 4) != 0;
            object.m_stamp = Text(statement, 5);
            objects[sqlite3_column_int64(statement, 0)] = std::move(object);
        }
        sqlite3_finalize(statement);
        return keyed && (rc == SQLITE_ROW || rc == SQLITE_DONE);
    }

    // Starts walking a database's scripts in key order.
    bool StartScripts(std::int64_t databaseId)
    {
        sqlite3_finalize(m_pScripts);
        m_pScripts = nullptr;
        m_bHave = false;
        m_bEnd = false;
        if (sqlite3_prepare_v2(m_pDb,
                               "SELECT object_id, script FROM objects WHERE database_id = ?1 "
                               "ORDER BY object_id",
                               -1, &m_pScripts, nullptr) != SQLITE_OK) {
            return false;
        }
        sqlite3_bind_int64(m_pScripts, 1, databaseId);
        return true;
    }

    // The old script of a key, asked in ascending key order. False when it has none.
    bool Script(std::int64_t key, std::optional<std::string>& script)
    {
        script.reset();
        // Bounded by the rows of the database.
        while (!m_bEnd) {
            if (!m_bHave) {
                if (sqlite3_step(m_pScripts) != SQLITE_ROW) {
                    m_bEnd = true;
                    break;
                }
                m_bHave = true;
            }
            const auto current = sqlite3_column_int64(m_pScripts, 0);
            if (current > key) {
                break;
            }
            m_bHave = false;
            if (current == key) {
                script = Text(m_pScripts, 1);
                return true;
            }
        }
        return false;
    }

    // The objects of a database as they are, in position order (a database kept whole).
    template <typename Fn>
    bool EachObject(std::int64_t databaseId, Fn&& fn)
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_pDb,
                               "SELECT name, type_code, type_name, created, script, object_id, "
                               "stamp FROM objects WHERE database_id = ?1 ORDER BY position",
                               -1, &statement, nullptr) != SQLITE_OK) {
            return false;
        }
        sqlite3_bind_int64(statement, 1, databaseId);
        int rc = SQLITE_OK;
        bool good = true;
        while (good && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
            const auto name = Text(statement, 0).value_or("");
            const auto typeName = Text(statement, 2).value_or("");
            const auto created = Text(statement, 3);
            const auto script = Text(statement, 4);
            const auto stamp = Text(statement, 6);
            CSnapshotWriter::SObject object;
            object.m_strName = name;
            object.m_nTypeCode = sqlite3_column_int(statement, 1);
            object.m_strTypeName = typeName;
            object.m_created = created;
            object.m_script = script;
            if (sqlite3_column_type(statement, 5) != SQLITE_NULL) {
                object.m_objectId = sqlite3_column_int64(statement, 5);
            }
            object.m_stamp = stamp;
            good = fn(object);
        }
        sqlite3_finalize(statement);
        return good && rc == SQLITE_DONE;
    }

    std::optional<std::string> DatabaseTaken(std::int64_t databaseId)
    {
        sqlite3_stmt* statement = nullptr;
        std::optional<std::string> taken;
        if (sqlite3_prepare_v2(m_pDb, "SELECT taken FROM databases WHERE id = ?1", -1, &statement,
                               nullptr) == SQLITE_OK) {
            sqlite3_bind_int64(statement, 1, databaseId);
            if (sqlite3_step(statement) == SQLITE_ROW) {
                taken = Text(statement, 0);
            }
        }
        sqlite3_finalize(statement);
        return taken;
    }

private:
    static std::optional<std::string> Text(sqlite3_stmt* statement, int column)
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        if (data == nullptr) {
            return std::nullopt;
        }
        return std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    }

    sqlite3* m_pDb = nullptr;
    sqlite3_stmt* m_pScripts = nullptr;
    bool m_bHave = false;
    bool m_bEnd = false;
};

// Connects through the live library of a flavour, or of the first flavour that takes the
// server (modern, then legacy).
std::shared_ptr<IServer> ConnectLive(const std::u16string& name, const SSnapshotLogin& login,
                                     std::optional<EFlavour> only, std::u16string& error)
{
    std::u16string firstReason;
    for (EFlavour flavour : {EFlavour::Modern, EFlavour::Legacy}) {
        if (only && *only != flavour) {
            continue;
        }
        CLiveLibrary library(flavour);
        auto server = library.CreateServer();
        server->SetLoginTimeout(login.m_nLoginTimeout);
        server->SetLoginSecure(login.m_bIntegrated);
        if (server->Connect(name, login.m_strLogin, login.m_strPassword)) {
            return server;
        }
        if (firstReason.empty()) {
            firstReason = server->GetLastError();
        }
    }
    error = firstReason.empty() ? u"'" + name + u"' cannot be reached" : firstReason;
    return nullptr;
}

// Reads one database: its objects with their stamps, then the scripts of those that need
// reading, written to the new file in key order. Objects whose stamp the old file already has
// are copied from it.
class CDatabaseReader
{
public:
    CDatabaseReader(CSnapshotTaker& taker, IServer& server, EFlavour flavour,
                    CSnapshotWriter& writer, SSnapshotReport& report)
        : m_taker(taker), m_server(server), m_flavour(flavour), m_writer(writer), m_report(report)
    {}

    enum class EOutcome
    {
        Written,
        Unreadable, // m_strReason says why; nothing was written for the database
        Failed,     // the file or a stop: the run ends
    };

    // old: the database's objects in the file being refreshed (null: a first read).
    EOutcome Read(const std::u16string& name, std::int64_t databaseId,
                  const std::map<std::int64_t, SOldObject>* old, COldSnapshot* oldFile,
                  std::int64_t oldDatabaseId, std::u16string& reason)
    {
        m_taker.CountStatement(); // USE
        auto connection = CLiveLibrary::LendConnection(m_server, name, reason);
        if (!connection) {
            return m_taker.IsCancelled() ? EOutcome::Failed : EOutcome::Unreadable;
        }
        std::vector<SLiveObject> objects;
        {
            COdbcStatement statement(*connection);
            CRunning running(m_taker, statement);
            m_taker.CountStatement();
            COdbcResult result =
                statement.IsValid()
                    ? statement.ExecDirect(CatalogQueries::StampedObjects(m_flavour))
                    : statement.GetAllocResult();
            if (!result.IsOk() || !ReadObjects(statement, objects, result)) {
                reason = u"its object list could not be read (" +
                         DescribeDiagnostics(result.GetDiagnostics()) + u")";
                return m_taker.IsCancelled() ? EOutcome::Failed : EOutcome::Unreadable;
            }
        }

        // What needs its script from the server: everything on a first read; on a refresh
        // what is new or whose stamp, name, type or date moved.
        std::vector<std::int64_t> wanted;
        for (auto& object : objects) {
            if (old != nullptr) {
                auto found = old->find(object.m_nKey);
                const bool same = found != old->end() && found->second.m_stamp == object.m_stamp &&
                                  found->second.m_strName == object.m_strName &&
                                  found->second.m_nTypeCode == object.m_nTypeCode &&
                                  found->second.m_created == object.m_created &&
                                  found->second.m_bHasScript == object.m_bHasScript;
                object.m_bRead = !same;
            } else {
                object.m_bRead = true;
            }
            if (object.m_bRead && object.m_bHasScript) {
                wanted.push_back(object.m_nKey);
            }
        }
        if (old != nullptr) {
            for (const auto& [key, value] : *old) {
                const bool present = std::binary_search(
                    objects.begin(), objects.end(), key,
                    [](const auto& a, const auto& b) { return Key(a) < Key(b); });
                m_report.m_nDropped += present ? 0 : 1;
            }
            if (!oldFile->StartScripts(oldDatabaseId)) {
                reason = u"the old snapshot cannot be read";
                return EOutcome::Failed;
            }
        }

        std::unique_ptr<COdbcStatement> statement;
        std::unique_ptr<CScriptCursor> cursor;
        CScriptRows* rows = nullptr;
        bool clean = true;
        if (!wanted.empty()) {
            statement = std::make_unique<COdbcStatement>(*connection);
            m_taker.EnterStatement(statement.get());
            m_taker.CountStatement();
            // A short list of keys is named; a long one reads the whole result and skips.
            const auto text = old != nullptr && wanted.size() <= CatalogQueries::kLongestKeyList
                                  ? CatalogQueries::ScriptsOf(m_flavour, wanted)
                                  : CatalogQueries::Scripts(m_flavour, ObjectType::All);
            COdbcResult result =
                statement->IsValid() ? statement->ExecDirect(text) : statement->GetAllocResult();
            if (!result.IsOk()) {
                m_taker.LeaveStatement();
                reason = u"its scripts could not be read (" +
                         DescribeDiagnostics(result.GetDiagnostics()) + u")";
                return m_taker.IsCancelled() ? EOutcome::Failed : EOutcome::Unreadable;
            }
            auto owned = std::make_unique<CScriptRows>(*statement, m_taker);
            rows = owned.get();
            cursor = std::make_unique<CScriptCursor>(std::move(owned));
        }

        EOutcome outcome = EOutcome::Written;
        std::u16string script;
        std::optional<std::string> copied;
        for (const auto& object : objects) {
            if (m_taker.IsCancelled()) {
                reason = u"stopped";
                outcome = EOutcome::Failed;
                break;
            }
            CSnapshotWriter::SObject record;
            record.m_strName = object.m_strName;
            record.m_nTypeCode = object.m_nTypeCode;
            const auto typeName = ToUtf8(CatalogQueries::TypeName(object.m_nTypeCode));
            record.m_strTypeName = typeName;
            record.m_created = object.m_created;
            record.m_objectId = object.m_nKey;
            record.m_stamp = object.m_stamp;
            std::string utf8;
            if (object.m_bRead && object.m_bHasScript) {
                const auto answer = cursor->Read(object.m_nKey, script);
                if (answer == EScriptRead::Found) {
                    utf8 = ToUtf8(script);
                    record.m_script = utf8;
                } else if (answer != EScriptRead::NoScript) {
                    reason =
                        u"its scripts could not be read (" +
                        (rows->GetError().empty() ? u"the result broke off" : rows->GetError()) +
                        u")";
                    outcome = m_taker.IsCancelled() ? EOutcome::Failed : EOutcome::Unreadable;
                    clean = false;
                    break;
                }
                ++m_report.m_nRead;
            } else if (!object.m_bRead) {
                oldFile->Script(object.m_nKey, copied);
                if (copied) {
                    record.m_script = *copied;
                }
                ++m_report.m_nKept;
            }
            if (!m_writer.AddObject(databaseId, record)) {
                reason = FromUtf8(m_writer.GetError());
                outcome = EOutcome::Failed;
                break;
            }
            m_taker.AddObjectDone();
        }
        if (cursor && outcome == EOutcome::Written) {
            // Read what is left (skipped rows cost no text), so the connection can go back.
            std::u16string rest;
            clean = cursor->Read(CatalogQueries::kTypeKeyOffset * 4, rest) != EScriptRead::Failed &&
                    cursor->AtEnd();
        }
        if (statement) {
            if (!clean) {
                statement->CloseCursor();
            }
            m_taker.LeaveStatement();
            statement.reset();
        }
        if (clean && outcome == EOutcome::Written) {
            CLiveLibrary::ReturnConnection(m_server, std::move(connection));
        }
        return outcome;
    }

private:
    static std::int64_t Key(const SLiveObject& object) { return object.m_nKey; }
    static std::int64_t Key(std::int64_t key) { return key; }

    bool ReadObjects(COdbcStatement& statement, std::vector<SLiveObject>& objects,
                     COdbcResult& failure)
    {
        namespace Column = CatalogQueries::ObjectColumn;
        std::int64_t bytes = 0;
        // Bounded by the rows the server sends; a stop ends it between rows.
        for (;;) {
            if (m_taker.IsCancelled()) {
                return false;
            }
            auto fetched = statement.Fetch();
            if (fetched.IsNoData()) {
                break;
            }
            if (!fetched.IsOk()) {
                failure = std::move(fetched);
                return false;
            }
            SLiveObject object;
            bool null = false;
            std::int64_t number = 0;
            // A row without a key cannot be told from the others: the live list skips it too.
            if (!statement.GetInt64(Column::Key, object.m_nKey, null).IsOk() || null) {
                continue;
            }
            const auto schema = ReadText(statement, Column::Schema, bytes);
            const auto name = ReadText(statement, Column::Name, bytes);
            // As the live list names it: dbo's objects bare, others as schema.name.
            object.m_strName = schema && !schema->empty() && *schema != "dbo"
                                   ? *schema + "." + name.value_or("")
                                   : name.value_or("");
            if (statement.GetInt64(Column::TypeCode, number, null).IsOk() && !null && number >= 0 &&
                number <= ObjectType::UserDefinedFunction) {
                object.m_nTypeCode = static_cast<int>(number);
            }
            object.m_created = ReadText(statement, Column::Created, bytes);
            object.m_bHasScript =
                statement.GetInt64(Column::HasScript, number, null).IsOk() && !null && number != 0;
            object.m_stamp = ReadText(statement, Column::Stamp, bytes);
            objects.push_back(std::move(object));
        }
        m_taker.AddBytes(bytes);
        // The contract orders by key; the merge with the old file relies on it.
        std::stable_sort(objects.begin(), objects.end(),
                         [](const auto& a, const auto& b) { return a.m_nKey < b.m_nKey; });
        return true;
    }

    CSnapshotTaker& m_taker;
    IServer& m_server;
    EFlavour m_flavour;
    CSnapshotWriter& m_writer;
    SSnapshotReport& m_report;
};

} // namespace

void CSnapshotTaker::EnterStatement(COdbcStatement* statement)
{
    std::lock_guard lock(m_statementLock);
    m_pStatement = statement;
}

void CSnapshotTaker::LeaveStatement()
{
    std::lock_guard lock(m_statementLock);
    m_pStatement = nullptr;
}

void CSnapshotTaker::Cancel()
{
    m_bCancel.store(true);
    std::lock_guard lock(m_statementLock);
    if (m_pStatement != nullptr) {
        m_pStatement->Cancel();
    }
}

bool CSnapshotTaker::ReadOrigin(const std::string& path, SSnapshotOrigin& origin,
                                std::u16string& error)
{
    auto file = CSnapshotFile::Open(path, error);
    if (!file) {
        return false;
    }
    COldSnapshot old;
    if (!old.Open(path, error)) {
        return false;
    }
    std::optional<std::string> server;
    std::optional<std::string> source;
    origin.m_login.reset();
    for (const auto& [key, value] : old.Entries()) {
        if (key == "server") {
            server = value;
        } else if (key == "source") {
            source = value;
        } else if (key == "login") {
            origin.m_login = FromUtf8(value);
        }
    }
    if (!server || server->empty() || source != kSource) {
        error = u"was not taken of a live server by quarrow-snapshot, so it cannot be "
                u"refreshed; take a new snapshot instead";
        return false;
    }
    origin.m_strServer = FromUtf8(*server);
    origin.m_flavour = file->GetFlavour();
    return true;
}

bool CSnapshotTaker::Take(const SSnapshotRequest& request, std::u16string& error)
{
    return Run(request, std::nullopt, error);
}

bool CSnapshotTaker::Refresh(const std::string& path, const SSnapshotLogin& login,
                             std::u16string& error)
{
    SSnapshotOrigin origin;
    if (!ReadOrigin(path, origin, error)) {
        error = u"'" + FromUtf8(path) + u"' " + error;
        return false;
    }
    SSnapshotRequest request;
    request.m_strServer = origin.m_strServer;
    request.m_login = login;
    request.m_strPath = path;
    return Run(request, path, error);
}

bool CSnapshotTaker::Run(const SSnapshotRequest& request, const std::optional<std::string>& oldPath,
                         std::u16string& error)
{
    m_report = SSnapshotReport{};
    m_nDatabasesDone = 0;
    m_nDatabases = 0;
    m_nObjectsDone = 0;
    m_nBytes = 0;

    std::shared_ptr<CSnapshotFile> oldFile;
    COldSnapshot old;
    std::vector<std::pair<std::string, std::string>> entries;
    std::optional<EFlavour> flavour;
    bool everyDatabase = request.m_databases.empty();
    std::vector<std::u16string> names = request.m_databases;
    if (oldPath) {
        oldFile = CSnapshotFile::Open(*oldPath, error);
        if (!oldFile || !old.Open(*oldPath, error)) {
            error = u"'" + FromUtf8(*oldPath) + u"' " + error;
            return false;
        }
        flavour = oldFile->GetFlavour();
        entries = old.Entries();
        for (const auto& [key, value] : entries) {
            if (key == "selection") {
                everyDatabase = value == "all";
            }
        }
        names.clear();
        for (const auto& database : oldFile->GetDatabases()) {
            names.push_back(database.m_strName);
        }
    }

    auto server = ConnectLive(request.m_strServer, request.m_login, flavour, error);
    if (!server) {
        return false;
    }
    const EFlavour used = server->GetFlavour();
    if (everyDatabase) {
        // The server's list as it is now: databases created since join, dropped ones go.
        m_report.m_nStatements += 1;
        names.clear();
        const long count = server->GetDatabaseCount();
        for (long i = 0; i < count; ++i) {
            auto unknown = server->GetDatabase(i);
            auto database = unknown ? unknown->QueryDatabase(used) : nullptr;
            std::u16string name;
            if (database && database->GetName(name)) {
                names.push_back(name);
            }
        }
    }
    std::vector<std::u16string> listed;
    if (!everyDatabase) {
        const long count = server->GetDatabaseCount();
        m_report.m_nStatements += 1;
        for (long i = 0; i < count; ++i) {
            auto unknown = server->GetDatabase(i);
            auto database = unknown ? unknown->QueryDatabase(used) : nullptr;
            std::u16string name;
            if (database && database->GetName(name)) {
                listed.push_back(name);
            }
        }
    }
    m_nDatabases = static_cast<int>(names.size());

    const std::string now = NowText();
    std::string taken = now;
    for (const auto& [key, value] : entries) {
        if (key == "taken") {
            taken = value;
        }
    }
    CSnapshotWriter writer;
    if (!writer.Create(request.m_strPath, FlavourText(used), ToUtf8(request.m_strServer), taken)) {
        error = FromUtf8(writer.GetError());
        return false;
    }
    bool good = true;
    for (const auto& [key, value] : entries) {
        if (key != "format" && key != "flavour" && key != "server" && key != "taken") {
            good = good && writer.SetEntry(key, value);
        }
    }
    good = good && writer.SetEntry("source", kSource) &&
           writer.SetEntry("selection", everyDatabase ? "all" : "listed");
    if (oldPath) {
        good = good && writer.SetEntry("refreshed", now);
    } else if (!request.m_login.m_bIntegrated) {
        good = good && writer.SetEntry("login", ToUtf8(request.m_login.m_strLogin));
    }
    if (!good) {
        error = FromUtf8(writer.GetError());
        return false;
    }

    CDatabaseReader reader(*this, *server, used, writer, m_report);
    for (const auto& name : names) {
        if (m_bCancel.load()) {
            error = u"stopped; nothing was written";
            return false;
        }
        const auto databaseId = writer.AddDatabase(ToUtf8(name));
        if (databaseId < 0) {
            error = FromUtf8(writer.GetError());
            return false;
        }
        // The old file's record of the database, if it has one.
        const CSnapshotFile::SDatabase* previous = nullptr;
        if (oldFile) {
            for (const auto& database : oldFile->GetDatabases()) {
                if (database.m_strName == name) {
                    previous = &database;
                }
            }
        }
        std::map<std::int64_t, SOldObject> oldObjects;
        const bool compare = previous != nullptr && !previous->m_unreadable &&
                             old.Objects(previous->m_nId, oldObjects);

        std::u16string reason;
        auto outcome = CDatabaseReader::EOutcome::Unreadable;
        if (!everyDatabase && std::find(listed.begin(), listed.end(), name) == listed.end()) {
            reason = u"the server does not list it: it does not exist, is not online, or this "
                     u"login may not open it";
        } else {
            outcome = reader.Read(name, databaseId, compare ? &oldObjects : nullptr, &old,
                                  previous != nullptr ? previous->m_nId : 0, reason);
        }
        if (outcome == CDatabaseReader::EOutcome::Failed) {
            error = m_bCancel.load() ? u"stopped; nothing was written"
                                     : u"cannot write the snapshot: " + reason;
            return false;
        }
        if (outcome == CDatabaseReader::EOutcome::Written) {
            good = writer.SetDatabaseTaken(databaseId, now);
        } else {
            // A database read before keeps what was read then, and says so; a new one is
            // recorded as unreadable.
            SSnapshotReport::SUnreadable unreadable{name, reason, false};
            if (previous != nullptr && !previous->m_unreadable) {
                unreadable.m_bKept = true;
                good = old.EachObject(previous->m_nId, [&](const CSnapshotWriter::SObject& o) {
                    ++m_report.m_nKept;
                    return writer.AddObject(databaseId, o);
                });
                if (auto when = old.DatabaseTaken(previous->m_nId)) {
                    good = good && writer.SetDatabaseTaken(databaseId, *when);
                }
            } else {
                good = writer.MarkUnreadable(databaseId, ToUtf8(reason));
            }
            m_report.m_unreadable.push_back(std::move(unreadable));
        }
        if (!good) {
            error = u"cannot write the snapshot: " + FromUtf8(writer.GetError());
            return false;
        }
        ++m_nDatabasesDone;
    }
    if (m_bCancel.load()) {
        error = u"stopped; nothing was written";
        return false;
    }
    m_report.m_nObjects = writer.GetObjectCount();
    if (!writer.Commit()) {
        error = FromUtf8(writer.GetError());
        return false;
    }
    return true;
}
