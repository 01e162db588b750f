#include "catalog/CSnapshotTaker.h"

#include "catalog/CLiveLibrary.h"
#include "catalog/CScriptCursor.h"
#include "catalog/CSnapshotFile.h"
#include "catalog/CSnapshotWriter.h"
#include "catalog/CStatementRows.h"
#include "catalog/CatalogQueries.h"
#include "catalog/Odbc.h"
#include "platform/Utf.h"

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <map>
#include <sqlite3.h>
#include <thread>

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

// Scripts are mostly ASCII: that part is copied straight, the general conversion takes over
// from the first unit that is not.
std::string ScriptUtf8(const std::u16string& text)
{
    std::string out(text.size(), '\0');
    std::size_t i = 0;
    for (; i < text.size() && text[i] < 0x80; ++i) {
        out[i] = static_cast<char>(text[i]);
    }
    if (i < text.size()) {
        out.resize(i);
        out += ToUtf8(std::u16string_view(text).substr(i));
    }
    return out;
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
    std::int64_t m_nPosition = 0;
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

// A read-only look at the file being refreshed: its entries and each database's objects by
// key, without their scripts.
class COldSnapshot
{
public:
    ~COldSnapshot() { sqlite3_close(m_pDb); }

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
                               "stamp, position FROM objects WHERE database_id = ?1",
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
            object.m_nPosition = sqlite3_column_int64(statement, 6);
            objects[sqlite3_column_int64(statement, 0)] = std::move(object);
        }
        sqlite3_finalize(statement);
        return keyed && (rc == SQLITE_ROW || rc == SQLITE_DONE);
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
};

// Writes objects to the file on a thread of its own, so converting and storing one script
// overlaps reading the next off the network. Items are written in the order pushed; the
// first failure stops the rest.
class CWriteQueue
{
public:
    struct SItem
    {
        std::int64_t m_nDatabaseId = 0;
        std::optional<std::int64_t> m_remove; // the old row an altered object replaces
        std::int64_t m_nKey = 0;
        std::string m_strName;
        int m_nTypeCode = 0;
        std::optional<std::string> m_created;
        std::optional<std::string> m_stamp;
        bool m_bScript = false;
        std::u16string m_strScript;
    };

    // What may wait to be written: enough to keep the writer busy, a bound on memory.
    static constexpr std::size_t kPendingBytes = 64u * 1024u * 1024u;

    explicit CWriteQueue(CSnapshotWriter& writer) : m_writer(writer), m_thread([this] { Run(); }) {}
    ~CWriteQueue()
    {
        std::string error;
        Finish(error);
    }
    CWriteQueue(const CWriteQueue&) = delete;
    CWriteQueue& operator=(const CWriteQueue&) = delete;

    // False once writing has failed.
    bool Push(SItem item)
    {
        const std::size_t bytes = item.m_strScript.size() * 2 + 64;
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [&] {
            return m_bFailed || m_items.empty() || m_nPending + bytes <= kPendingBytes;
        });
        if (m_bFailed) {
            return false;
        }
        m_nPending += bytes;
        m_items.push_back(std::move(item));
        m_ready.notify_one();
        return true;
    }

    // Waits until everything pushed is written. False with the writer's error.
    bool Finish(std::string& error)
    {
        {
            std::lock_guard lock(m_mutex);
            m_bClosed = true;
        }
        m_ready.notify_one();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        error = m_strError;
        return !m_bFailed;
    }

private:
    void Run()
    {
        for (;;) {
            SItem item;
            {
                std::unique_lock lock(m_mutex);
                m_ready.wait(lock, [&] { return !m_items.empty() || m_bClosed; });
                if (m_items.empty()) {
                    return;
                }
                item = std::move(m_items.front());
                m_items.pop_front();
            }
            const bool good = Write(item);
            std::lock_guard lock(m_mutex);
            m_nPending -= item.m_strScript.size() * 2 + 64;
            if (!good && !m_bFailed) {
                m_bFailed = true;
                m_strError = m_writer.GetError();
                m_items.clear();
            }
            m_space.notify_all();
        }
    }

    bool Write(const SItem& item)
    {
        const auto typeName = ToUtf8(CatalogQueries::TypeName(item.m_nTypeCode));
        const std::string script = item.m_bScript ? ScriptUtf8(item.m_strScript) : std::string();
        CSnapshotWriter::SObject record;
        record.m_position = item.m_nKey;
        record.m_objectId = item.m_nKey;
        record.m_strName = item.m_strName;
        record.m_nTypeCode = item.m_nTypeCode;
        record.m_strTypeName = typeName;
        record.m_created = item.m_created;
        record.m_stamp = item.m_stamp;
        if (item.m_bScript) {
            record.m_script = script;
        }
        return (!item.m_remove || m_writer.RemoveObject(item.m_nDatabaseId, *item.m_remove)) &&
               m_writer.AddObject(item.m_nDatabaseId, record);
    }

    CSnapshotWriter& m_writer;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
    std::deque<SItem> m_items;
    std::size_t m_nPending = 0;
    bool m_bClosed = false;
    bool m_bFailed = false;
    std::string m_strError;
    std::thread m_thread; // last: it starts once the rest is ready
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
        server->SetConnectOptions(login.m_connect);
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

    // old: the database's objects in the file being refreshed, which the new file starts as a
    // copy of (null: a first read). Objects are placed by key, so a refresh only removes and
    // adds what changed.
    EOutcome Read(const std::u16string& name, std::int64_t databaseId,
                  const std::map<std::int64_t, SOldObject>* old, std::u16string& reason)
    {
        m_taker.CountStatement(); // USE
        auto connection = CLiveLibrary::LendConnection(m_server, name, reason);
        if (!connection) {
            return m_taker.IsCancelled() ? EOutcome::Failed : EOutcome::Unreadable;
        }
        std::vector<SLiveObject> objects;
        // A modern refresh first asks only for what was stamped since the file's newest stamp,
        // and trusts that list when the server's count and digest of every object match the
        // file's with it applied; otherwise (a drop, a rename without a new stamp, a new alias
        // type) it lists every object as a first read does.
        bool onlyChanged = false;
        if (old != nullptr && m_flavour == EFlavour::Modern) {
            if (const auto since = NewestStamp(*old)) {
                // A server that refuses either query is still read, by the whole list.
                const auto changes = CatalogQueries::Changes(*since);
                SSummary server;
                onlyChanged = ListObjects(*connection, *changes, objects, reason) &&
                              ReadSummary(*connection, server, reason) &&
                              server == Expected(*old, objects);
                if (m_taker.IsCancelled()) {
                    return EOutcome::Failed;
                }
                if (!onlyChanged) {
                    objects.clear();
                }
            }
        }
        if (!onlyChanged &&
            !ListObjects(*connection, CatalogQueries::StampedObjects(m_flavour), objects, reason)) {
            return m_taker.IsCancelled() ? EOutcome::Failed : EOutcome::Unreadable;
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
        if (onlyChanged) {
            // Every object of the file not listed again is still on the server, unchanged.
            std::int64_t listedOld = 0;
            for (const auto& object : objects) {
                listedOld += old->count(object.m_nKey) != 0 ? 1 : 0;
            }
            m_report.m_nKept += static_cast<std::int64_t>(old->size()) - listedOld;
        } else if (old != nullptr) {
            for (const auto& [key, value] : *old) {
                const bool present = std::binary_search(
                    objects.begin(), objects.end(), key,
                    [](const auto& a, const auto& b) { return Key(a) < Key(b); });
                if (!present) {
                    ++m_report.m_nDropped;
                    if (!m_writer.RemoveObject(databaseId, value.m_nPosition)) {
                        reason = FromUtf8(m_writer.GetError());
                        return EOutcome::Failed;
                    }
                }
            }
        }

        std::unique_ptr<COdbcStatement> statement;
        std::unique_ptr<CScriptCursor> cursor;
        CStatementRows* rows = nullptr;
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
            auto owned = std::make_unique<CStatementRows>(
                *statement, [this] { return m_taker.IsCancelled(); },
                [this](std::size_t units) {
                    m_taker.AddBytes(static_cast<std::int64_t>(units * 2));
                });
            rows = owned.get();
            cursor = std::make_unique<CScriptCursor>(std::move(owned));
        }

        EOutcome outcome = EOutcome::Written;
        CWriteQueue queue(m_writer);
        for (const auto& object : objects) {
            if (m_taker.IsCancelled()) {
                reason = u"stopped";
                outcome = EOutcome::Failed;
                break;
            }
            if (!object.m_bRead) {
                ++m_report.m_nKept; // the copy has it as it is
                m_taker.AddObjectDone();
                continue;
            }
            CWriteQueue::SItem item;
            item.m_nDatabaseId = databaseId;
            item.m_nKey = object.m_nKey;
            item.m_strName = object.m_strName;
            item.m_nTypeCode = object.m_nTypeCode;
            item.m_created = object.m_created;
            item.m_stamp = object.m_stamp;
            if (object.m_bHasScript) {
                const auto answer = cursor->Read(object.m_nKey, item.m_strScript);
                item.m_bScript = answer == EScriptRead::Found;
                if (answer != EScriptRead::Found && answer != EScriptRead::NoScript) {
                    reason =
                        u"its scripts could not be read (" +
                        (rows->GetError().empty() ? u"the result broke off" : rows->GetError()) +
                        u")";
                    outcome = m_taker.IsCancelled() ? EOutcome::Failed : EOutcome::Unreadable;
                    clean = false;
                    break;
                }
            }
            ++m_report.m_nRead;
            // An altered object replaces its old row.
            if (old != nullptr) {
                if (auto found = old->find(object.m_nKey); found != old->end()) {
                    item.m_remove = found->second.m_nPosition;
                }
            }
            if (!queue.Push(std::move(item))) {
                outcome = EOutcome::Failed;
                break;
            }
            m_taker.AddObjectDone();
        }
        if (std::string failure; !queue.Finish(failure)) {
            reason = FromUtf8(failure);
            outcome = EOutcome::Failed;
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
    struct SSummary
    {
        std::int64_t m_nCount = 0;
        std::int64_t m_nDigest = 0;
        bool operator==(const SSummary&) const = default;
    };

    // The newest stamp of a database in the file; nothing when one is not a modern stamp (a
    // file that cannot be trusted to be ordered by it) or none is recorded.
    static std::optional<std::string> NewestStamp(const std::map<std::int64_t, SOldObject>& old)
    {
        std::optional<std::string> newest;
        for (const auto& [key, object] : old) {
            if (!object.m_stamp) {
                continue;
            }
            if (!CatalogQueries::IsModernStamp(*object.m_stamp)) {
                return std::nullopt;
            }
            if (!newest || *object.m_stamp > *newest) {
                newest = object.m_stamp;
            }
        }
        return newest;
    }

    // The summary the server gives when it has the file's objects with the listed ones
    // (changed or new) put in.
    static SSummary Expected(const std::map<std::int64_t, SOldObject>& old,
                             const std::vector<SLiveObject>& listed)
    {
        SSummary summary;
        for (const auto& [key, object] : old) {
            if (std::binary_search(listed.begin(), listed.end(), key,
                                   [](const auto& a, const auto& b) { return Key(a) < Key(b); })) {
                continue;
            }
            ++summary.m_nCount;
            summary.m_nDigest += CatalogQueries::ObjectDigest(key, FromUtf8(object.m_strName));
        }
        for (const auto& object : listed) {
            ++summary.m_nCount;
            summary.m_nDigest +=
                CatalogQueries::ObjectDigest(object.m_nKey, FromUtf8(object.m_strName));
        }
        return summary;
    }

    template <typename TConnection>
    bool ListObjects(TConnection& connection, const std::u16string& text,
                     std::vector<SLiveObject>& objects, std::u16string& reason)
    {
        COdbcStatement statement(connection);
        CRunning running(m_taker, statement);
        m_taker.CountStatement();
        COdbcResult result =
            statement.IsValid() ? statement.ExecDirect(text) : statement.GetAllocResult();
        if (!result.IsOk() || !ReadObjects(statement, objects, result)) {
            reason = u"its object list could not be read (" +
                     DescribeDiagnostics(result.GetDiagnostics()) + u")";
            return false;
        }
        return true;
    }

    template <typename TConnection>
    bool ReadSummary(TConnection& connection, SSummary& summary, std::u16string& reason)
    {
        namespace Column = CatalogQueries::SummaryColumn;
        COdbcStatement statement(connection);
        CRunning running(m_taker, statement);
        m_taker.CountStatement();
        COdbcResult result = statement.IsValid() ? statement.ExecDirect(CatalogQueries::Summary())
                                                 : statement.GetAllocResult();
        bool countNull = true;
        bool digestNull = true;
        if (result.IsOk()) {
            result = statement.Fetch();
        }
        if (result.IsOk() &&
            statement.GetInt64(Column::Count, summary.m_nCount, countNull).IsOk() &&
            statement.GetInt64(Column::Digest, summary.m_nDigest, digestNull).IsOk() &&
            !countNull && !digestNull) {
            // One row: reading to the end leaves the connection ready without an interrupt.
            if (!statement.Fetch().IsNoData()) {
                statement.CloseCursor();
            }
            return true;
        }
        reason = u"its object summary could not be read (" +
                 (result.IsOk() ? std::u16string(u"no row")
                                : DescribeDiagnostics(result.GetDiagnostics())) +
                 u")";
        return false;
    }

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
        for (const auto& [key, value] : old.Entries()) {
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
    // The server's list as it is now (one statement): with every database, databases created
    // since join and dropped ones go; with a list, a name it lacks is said.
    std::vector<std::u16string> listed;
    m_report.m_nStatements += 1;
    const long count = server->GetDatabaseCount();
    for (long i = 0; i < count; ++i) {
        auto unknown = server->GetDatabase(i);
        auto database = unknown ? unknown->QueryDatabase(used) : nullptr;
        std::u16string name;
        if (database && database->GetName(name)) {
            listed.push_back(name);
        }
    }
    if (everyDatabase) {
        names = listed;
    }
    m_nDatabases = static_cast<int>(names.size());

    const std::string now = NowText();
    CSnapshotWriter writer;
    bool good = oldPath ? writer.CreateFromCopy(request.m_strPath, *oldPath)
                        : writer.Create(request.m_strPath, FlavourText(used),
                                        ToUtf8(request.m_strServer), now);
    if (good && oldPath) {
        good = writer.SetEntry("refreshed", now);
    } else if (good) {
        good = writer.SetEntry("source", kSource) &&
               writer.SetEntry("selection", everyDatabase ? "all" : "listed") &&
               (request.m_login.m_bIntegrated ||
                writer.SetEntry("login", ToUtf8(request.m_login.m_strLogin)));
    }
    if (!good) {
        error = FromUtf8(writer.GetError());
        return false;
    }

    CDatabaseReader reader(*this, *server, used, writer, m_report);
    std::vector<std::int64_t> order;
    for (const auto& name : names) {
        if (m_bCancel.load()) {
            error = u"stopped; nothing was written";
            return false;
        }
        // The old file's record of the database, if it has one: the copy keeps its id.
        const CSnapshotFile::SDatabase* previous = nullptr;
        if (oldFile) {
            for (const auto& database : oldFile->GetDatabases()) {
                if (database.m_strName == name) {
                    previous = &database;
                }
            }
        }
        const auto databaseId =
            previous != nullptr ? previous->m_nId : writer.AddDatabase(ToUtf8(name));
        if (databaseId < 0) {
            error = FromUtf8(writer.GetError());
            return false;
        }
        order.push_back(databaseId);
        std::map<std::int64_t, SOldObject> oldObjects;
        const bool compare = previous != nullptr && !previous->m_unreadable;
        if (compare && !old.Objects(previous->m_nId, oldObjects)) {
            error = u"'" + FromUtf8(*oldPath) +
                    u"' records no object keys, so it cannot be refreshed; take a new snapshot";
            return false;
        }

        std::u16string reason;
        auto outcome = CDatabaseReader::EOutcome::Unreadable;
        if (!writer.Savepoint()) {
            error = FromUtf8(writer.GetError());
            return false;
        }
        if (std::find(listed.begin(), listed.end(), name) == listed.end()) {
            reason = u"the server does not list it: it does not exist, is not online, or this "
                     u"login may not open it";
        } else {
            outcome = reader.Read(name, databaseId, compare ? &oldObjects : nullptr, reason);
        }
        if (outcome == CDatabaseReader::EOutcome::Failed) {
            error = m_bCancel.load() ? u"stopped; nothing was written"
                                     : u"cannot write the snapshot: " + reason;
            return false;
        }
        const bool written = outcome == CDatabaseReader::EOutcome::Written;
        // A database that could not be read loses nothing written for it this time.
        good = writer.Release(written);
        if (written) {
            good =
                good && writer.SetDatabaseTaken(databaseId, now) &&
                (previous == nullptr || !previous->m_unreadable || writer.MarkReadable(databaseId));
        } else {
            // Read before: it keeps what was read then (and when), and says so.
            SSnapshotReport::SUnreadable unreadable{name, reason, compare};
            if (compare) {
                m_report.m_nKept += static_cast<std::int64_t>(oldObjects.size());
            } else {
                good = good && writer.MarkUnreadable(databaseId, ToUtf8(reason));
            }
            m_report.m_unreadable.push_back(std::move(unreadable));
        }
        if (!good) {
            error = u"cannot write the snapshot: " + FromUtf8(writer.GetError());
            return false;
        }
        ++m_nDatabasesDone;
    }
    // Databases the server no longer has leave a refreshed snapshot of every database.
    if (oldFile) {
        for (const auto& database : oldFile->GetDatabases()) {
            if (std::find(order.begin(), order.end(), database.m_nId) == order.end() &&
                !writer.RemoveDatabase(database.m_nId)) {
                error = u"cannot write the snapshot: " + FromUtf8(writer.GetError());
                return false;
            }
        }
        if (!writer.OrderDatabases(order)) {
            error = u"cannot write the snapshot: " + FromUtf8(writer.GetError());
            return false;
        }
    }
    if (m_bCancel.load()) {
        error = u"stopped; nothing was written";
        return false;
    }
    if (!writer.Commit()) {
        error = FromUtf8(writer.GetError());
        return false;
    }
    // What the file holds now: what was read and what was kept.
    m_report.m_nObjects = m_report.m_nRead + m_report.m_nKept;
    error.clear();
    return true;
}
