#include "catalog/CSnapshotFile.h"

#include "platform/Utf.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

using quarrow::FromUtf8;

std::u16string ErrnoText(int error)
{
    return FromUtf8(std::system_category().message(error));
}

// Text of a column, or nothing for NULL.
bool ColumnText(sqlite3_stmt* statement, int column, std::string& text)
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (data == nullptr) {
        text.clear();
        return false;
    }
    text.assign(data, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    return true;
}

// Resets a cached statement when the scope ends, whatever happened.
class CStatementReset
{
public:
    explicit CStatementReset(sqlite3_stmt* statement) : m_pStatement(statement) {}
    ~CStatementReset()
    {
        sqlite3_reset(m_pStatement);
        sqlite3_clear_bindings(m_pStatement);
    }
    CStatementReset(const CStatementReset&) = delete;
    CStatementReset& operator=(const CStatementReset&) = delete;

private:
    sqlite3_stmt* m_pStatement;
};

} // namespace

std::u16string SnapshotText(const char* text, std::size_t length)
{
    // Scripts are mostly ASCII: copy that part straight, decode only from the first byte
    // that is not.
    std::u16string out(length, u'\0');
    std::size_t i = 0;
    for (; i < length; ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            break;
        }
        out[i] = byte;
    }
    if (i == length) {
        return out;
    }
    out.resize(i);
    out += FromUtf8(std::string_view(text + i, length - i));
    return out;
}

// A reader connection and its statements. Every pass over a list runs on one.
struct CSnapshotFile::SReader
{
    sqlite3* m_pDb = nullptr;
    sqlite3_stmt* m_pRows = nullptr;         // rows with their scripts
    sqlite3_stmt* m_pRowsNoScript = nullptr; // rows with whether they have a script
    sqlite3_stmt* m_pScript = nullptr;       // one script, looked up
    sqlite3_stmt* m_pBounds = nullptr;       // first and last position of a database

    ~SReader()
    {
        sqlite3_finalize(m_pRows);
        sqlite3_finalize(m_pRowsNoScript);
        sqlite3_finalize(m_pScript);
        sqlite3_finalize(m_pBounds);
        sqlite3_close(m_pDb);
    }
};

namespace {

// The columns read by name, so a file with more columns or tables reads the same.
constexpr const char* kScanRows =
    "SELECT position, name, type_name, created, script FROM objects "
    "WHERE database_id = ?1 AND (?2 = 509 OR type_code = ?2) AND position BETWEEN ?3 AND ?4 "
    "ORDER BY position";
// Without the scripts the rows stay on their first page: long scripts run on into overflow
// pages, which only a read of the column visits.
constexpr const char* kScanRowsNoScript =
    "SELECT position, name, type_name, created, script IS NOT NULL FROM objects "
    "WHERE database_id = ?1 AND (?2 = 509 OR type_code = ?2) AND position BETWEEN ?3 AND ?4 "
    "ORDER BY position";
constexpr const char* kScanScript =
    "SELECT script FROM objects WHERE database_id = ?1 AND position = ?2";
constexpr const char* kScanBounds =
    "SELECT min(position), max(position) FROM objects WHERE database_id = ?1";

// How many idle reader connections a file keeps: one per search thread is plenty.
constexpr std::size_t kIdleReaders = 4;

} // namespace

std::unique_ptr<CSnapshotFile::SReader> CSnapshotFile::TakeReader()
{
    {
        std::lock_guard lock(m_readersMutex);
        if (!m_readers.empty()) {
            auto reader = std::move(m_readers.back());
            m_readers.pop_back();
            return reader;
        }
    }
    // The path must still name the file this object opened: a catalogue replaced since is
    // another catalogue.
    struct stat before
    {
    };
    if (stat(m_strPath.c_str(), &before) != 0 || before.st_dev != m_nDevice ||
        before.st_ino != m_nInode) {
        return nullptr;
    }
    auto reader = std::make_unique<SReader>();
    if (sqlite3_open_v2(m_strPath.c_str(), &reader->m_pDb,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        return nullptr;
    }
    sqlite3_busy_timeout(reader->m_pDb, 2000);
    auto prepare = [&](const char* sql, sqlite3_stmt** statement) {
        return sqlite3_prepare_v3(reader->m_pDb, sql, -1, SQLITE_PREPARE_PERSISTENT, statement,
                                  nullptr) == SQLITE_OK;
    };
    if (!prepare(kScanRows, &reader->m_pRows) ||
        !prepare(kScanRowsNoScript, &reader->m_pRowsNoScript) ||
        !prepare(kScanScript, &reader->m_pScript) || !prepare(kScanBounds, &reader->m_pBounds)) {
        return nullptr;
    }
    struct stat after
    {
    };
    if (stat(m_strPath.c_str(), &after) != 0 || after.st_dev != m_nDevice ||
        after.st_ino != m_nInode) {
        return nullptr;
    }
    return reader;
}

void CSnapshotFile::GiveBackReader(std::unique_ptr<SReader> reader)
{
    std::lock_guard lock(m_readersMutex);
    if (m_readers.size() < kIdleReaders) {
        m_readers.push_back(std::move(reader));
    }
}

bool CSnapshotFile::PlanScan(std::int64_t databaseId, int parts, std::vector<SScanPart>& plan)
{
    plan.clear();
    auto reader = TakeReader();
    if (!reader) {
        return false;
    }
    bool ok = false;
    {
        CStatementReset reset(reader->m_pBounds);
        sqlite3_bind_int64(reader->m_pBounds, 1, databaseId);
        if (sqlite3_step(reader->m_pBounds) == SQLITE_ROW) {
            ok = true;
            if (sqlite3_column_type(reader->m_pBounds, 0) != SQLITE_NULL) {
                const std::int64_t first = sqlite3_column_int64(reader->m_pBounds, 0);
                const std::int64_t last = sqlite3_column_int64(reader->m_pBounds, 1);
                // In unsigned arithmetic: positions may span the whole 64-bit range.
                const std::uint64_t span =
                    static_cast<std::uint64_t>(last) - static_cast<std::uint64_t>(first);
                const std::uint64_t count = parts < 1 ? 1 : static_cast<std::uint64_t>(parts);
                const std::uint64_t width = span / count + 1; // at least 1, never 0
                std::uint64_t offset = 0;
                for (;;) {
                    SScanPart part;
                    part.m_nFirst =
                        static_cast<std::int64_t>(static_cast<std::uint64_t>(first) + offset);
                    const std::uint64_t rest = span - offset; // positions after the first
                    const std::uint64_t step = std::min(width - 1, rest);
                    part.m_nLast =
                        static_cast<std::int64_t>(static_cast<std::uint64_t>(part.m_nFirst) + step);
                    plan.push_back(part);
                    if (step == rest) {
                        break;
                    }
                    offset += step + 1;
                }
            }
        }
    }
    GiveBackReader(std::move(reader));
    return ok;
}

std::unique_ptr<CSnapshotFile::CScan> CSnapshotFile::OpenScan(std::int64_t databaseId, int typeCode,
                                                              const SScanPart& part,
                                                              bool withScripts)
{
    auto reader = TakeReader();
    if (!reader) {
        return nullptr;
    }
    std::unique_ptr<CScan> scan(new CScan(*this, std::move(reader), databaseId, withScripts));
    sqlite3_stmt* rows = scan->m_pRows;
    sqlite3_bind_int64(rows, 1, databaseId);
    sqlite3_bind_int(rows, 2, typeCode);
    sqlite3_bind_int64(rows, 3, part.m_nFirst);
    sqlite3_bind_int64(rows, 4, part.m_nLast);
    return scan;
}

CSnapshotFile::CScan::CScan(CSnapshotFile& file, std::unique_ptr<SReader> reader,
                            std::int64_t databaseId, bool withScripts)
    : m_file(file), m_pReader(std::move(reader)), m_nDatabaseId(databaseId),
      m_bWithScripts(withScripts)
{
    m_pRows = withScripts ? m_pReader->m_pRows : m_pReader->m_pRowsNoScript;
}

CSnapshotFile::CScan::~CScan()
{
    // An idle connection holds no statement open, so it holds no read lock on the file.
    sqlite3_reset(m_pRows);
    sqlite3_clear_bindings(m_pRows);
    sqlite3_reset(m_pReader->m_pScript);
    m_file.GiveBackReader(std::move(m_pReader));
}

bool CSnapshotFile::CScan::Next()
{
    if (m_bEnd || m_bFailed) {
        return false;
    }
    const int rc = sqlite3_step(m_pRows);
    if (rc == SQLITE_ROW) {
        return true;
    }
    m_bEnd = true;
    m_bFailed = rc != SQLITE_DONE;
    return false;
}

std::int64_t CSnapshotFile::CScan::Position() const
{
    return sqlite3_column_int64(m_pRows, 0);
}

bool CSnapshotFile::CScan::Text(int column, std::string_view& text) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_pRows, column + 1));
    if (data == nullptr) {
        text = {};
        return false;
    }
    text =
        std::string_view(data, static_cast<std::size_t>(sqlite3_column_bytes(m_pRows, column + 1)));
    return true;
}

bool CSnapshotFile::CScan::HasScript() const
{
    if (m_bWithScripts) {
        return sqlite3_column_type(m_pRows, 4) != SQLITE_NULL;
    }
    return sqlite3_column_int(m_pRows, 4) != 0;
}

bool CSnapshotFile::CScan::Script(std::string_view& script)
{
    script = {};
    sqlite3_stmt* statement = m_pRows;
    int column = 4;
    if (!m_bWithScripts) {
        // Looked up on the same connection while the pass is open: one read transaction.
        statement = m_pReader->m_pScript;
        column = 0;
        sqlite3_reset(statement);
        sqlite3_bind_int64(statement, 1, m_nDatabaseId);
        sqlite3_bind_int64(statement, 2, Position());
        const int rc = sqlite3_step(statement);
        if (rc != SQLITE_ROW) {
            m_bFailed = m_bFailed || rc != SQLITE_DONE;
            return false;
        }
    }
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
        return false;
    }
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (data == nullptr) {
        m_bFailed = true; // a value that could not be read (out of memory)
        return false;
    }
    script =
        std::string_view(data, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    return true;
}

CSnapshotFile::~CSnapshotFile()
{
    m_readers.clear();
    sqlite3_finalize(m_pScript);
    sqlite3_finalize(m_pList);
    sqlite3_close(m_pDb);
}

std::shared_ptr<CSnapshotFile> CSnapshotFile::Open(const std::string& path, std::u16string& reason)
{
    std::shared_ptr<CSnapshotFile> file(new CSnapshotFile);
    if (!file->Load(path, reason)) {
        return nullptr;
    }
    return file;
}

bool CSnapshotFile::Load(const std::string& path, std::u16string& reason)
{
    // SQLite opens a missing or unreadable file lazily and words it vaguely; ask first.
    struct stat info
    {
    };
    if (stat(path.c_str(), &info) != 0) {
        reason = errno == ENOENT ? u"no such file" : u"cannot be read: " + ErrnoText(errno);
        return false;
    }
    m_strPath = path;
    m_nDevice = static_cast<std::uint64_t>(info.st_dev);
    m_nInode = static_cast<std::uint64_t>(info.st_ino);
    if (S_ISDIR(info.st_mode)) {
        reason = u"is a folder, not a catalogue file";
        return false;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = u"cannot be read: " + ErrnoText(errno);
        return false;
    }
    char magic[16] = {};
    ssize_t got = ::read(fd, magic, sizeof magic);
    ::close(fd);
    if (got != static_cast<ssize_t>(sizeof magic) ||
        std::memcmp(magic, "SQLite format 3", sizeof magic) != 0) {
        reason = u"is not a catalogue snapshot (not an SQLite database file)";
        return false;
    }

    int rc = sqlite3_open_v2(path.c_str(), &m_pDb, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        reason = u"cannot be opened: " + FromUtf8(m_pDb ? sqlite3_errmsg(m_pDb) : "out of memory");
        return false;
    }
    sqlite3_busy_timeout(m_pDb, 2000);

    auto fail = [&](std::u16string text) {
        reason = std::move(text);
        return false;
    };
    auto damaged = [&]() {
        return fail(u"is not a usable catalogue snapshot: " + FromUtf8(sqlite3_errmsg(m_pDb)));
    };

    if (!CheckTables(reason)) {
        return false;
    }

    sqlite3_stmt* statement = nullptr;
    rc = sqlite3_prepare_v2(m_pDb, "SELECT key, value FROM catalogue", -1, &statement, nullptr);
    if (rc != SQLITE_OK) {
        int code = sqlite3_errcode(m_pDb);
        if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) {
            return fail(u"is not a catalogue snapshot (damaged or not an SQLite database)");
        }
        return fail(u"is an SQLite database but not a catalogue snapshot (it has no catalogue "
                    u"table)");
    }
    std::string format;
    std::string key;
    std::string value;
    bool hasFormat = false;
    bool hasFlavour = false;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        ColumnText(statement, 0, key);
        ColumnText(statement, 1, value);
        if (key == "format") {
            format = value;
            hasFormat = true;
        } else if (key == "flavour") {
            m_strFlavour = value;
            hasFlavour = true;
        }
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) {
        return damaged();
    }
    if (!hasFormat) {
        return fail(u"is not a catalogue snapshot (its catalogue table names no format)");
    }
    int formatNumber = 0;
    auto [end, error] = std::from_chars(format.data(), format.data() + format.size(), formatNumber);
    if (error != std::errc() || end != format.data() + format.size() || formatNumber < 1) {
        return fail(u"has an unknown catalogue format '" + FromUtf8(format) + u"'");
    }
    if (formatNumber > kSnapshotFormat) {
        return fail(u"was written in catalogue format " + FromUtf8(format) +
                    u", newer than this version of Quarrow reads (format 1); use a newer "
                    u"Quarrow or take the snapshot again");
    }
    if (!hasFlavour || (m_strFlavour != "modern" && m_strFlavour != "legacy")) {
        return fail(u"names no known flavour (expected 'modern' or 'legacy', found '" +
                    FromUtf8(m_strFlavour) + u"')");
    }
    m_flavour = m_strFlavour == "modern" ? EFlavour::Modern : EFlavour::Legacy;

    rc = sqlite3_prepare_v2(m_pDb, "SELECT id, name FROM databases ORDER BY position", -1,
                            &statement, nullptr);
    if (rc != SQLITE_OK) {
        return damaged();
    }
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        SDatabase database;
        database.m_nId = sqlite3_column_int64(statement, 0);
        ColumnText(statement, 1, value);
        database.m_strName = SnapshotText(value.data(), value.size());
        m_databases.push_back(std::move(database));
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) {
        return damaged();
    }
    ReadUnreadable();

    if (sqlite3_prepare_v3(m_pDb,
                           "SELECT script FROM objects WHERE database_id = ?1 AND position = ?2",
                           -1, SQLITE_PREPARE_PERSISTENT, &m_pScript, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v3(m_pDb,
                           "SELECT position, name, type_name, created FROM objects "
                           "WHERE database_id = ?1 AND (?2 = 509 OR type_code = ?2) "
                           "ORDER BY position",
                           -1, SQLITE_PREPARE_PERSISTENT, &m_pList, nullptr) != SQLITE_OK) {
        return damaged();
    }
    return true;
}

void CSnapshotFile::ReadUnreadable()
{
    // Files written before databases were marked have no such column: nothing to read.
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_pDb,
                           "SELECT id, unreadable FROM databases WHERE unreadable IS NOT NULL", -1,
                           &statement, nullptr) != SQLITE_OK) {
        return;
    }
    std::string reason;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const auto id = sqlite3_column_int64(statement, 0);
        ColumnText(statement, 1, reason);
        for (auto& database : m_databases) {
            if (database.m_nId == id) {
                database.m_unreadable = SnapshotText(reason.data(), reason.size());
            }
        }
    }
    sqlite3_finalize(statement);
}

bool CSnapshotFile::CheckTables(std::u16string& reason)
{
    // A view, a virtual table or a computed column runs what the file says each time it is
    // read, which may be without end; the writer makes only plain tables.
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(
            m_pDb,
            "SELECT t.name, t.type, (SELECT count(*) FROM pragma_table_xinfo(t.name) "
            "WHERE hidden <> 0) FROM pragma_table_list AS t "
            "WHERE t.schema = 'main' AND lower(t.name) IN "
            "('catalogue', 'databases', 'objects')",
            -1, &statement, nullptr) != SQLITE_OK) {
        reason = u"is not a catalogue snapshot (damaged or not an SQLite database)";
        return false;
    }
    int rc = SQLITE_OK;
    std::string name;
    std::string type;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        ColumnText(statement, 0, name);
        ColumnText(statement, 1, type);
        if (type != "table" || sqlite3_column_int64(statement, 2) != 0) {
            sqlite3_finalize(statement);
            reason = u"is not a catalogue snapshot (its " + FromUtf8(name) +
                     (type != "table" ? u" is a " + FromUtf8(type) + u", not a table"
                                      : std::u16string(u" table has computed columns")) +
                     u")";
            return false;
        }
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) {
        reason = u"is not a usable catalogue snapshot: " + FromUtf8(sqlite3_errmsg(m_pDb));
        return false;
    }
    return true;
}

bool CSnapshotFile::ListObjects(std::int64_t databaseId, int typeCode, SObjectRows& rows)
{
    rows = SObjectRows{};
    std::lock_guard lock(m_mutex);
    CStatementReset reset(m_pList);
    sqlite3_bind_int64(m_pList, 1, databaseId);
    sqlite3_bind_int(m_pList, 2, typeCode);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(m_pList)) == SQLITE_ROW) {
        SObjectRow row;
        row.m_nPosition = sqlite3_column_int64(m_pList, 0);
        auto append = [&](int column, std::uint32_t& offset, std::uint32_t& length) {
            const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_pList, column));
            if (data == nullptr) {
                return false;
            }
            auto bytes = static_cast<std::size_t>(sqlite3_column_bytes(m_pList, column));
            offset = static_cast<std::uint32_t>(rows.m_strText.size());
            length = static_cast<std::uint32_t>(bytes);
            rows.m_strText.append(data, bytes);
            return true;
        };
        row.m_bName = append(1, row.m_nName, row.m_nNameLength);
        row.m_bTypeName = append(2, row.m_nTypeName, row.m_nTypeNameLength);
        row.m_bCreated = append(3, row.m_nCreated, row.m_nCreatedLength);
        rows.m_rows.push_back(row);
        if (rows.m_strText.size() > 0xF0000000U) {
            return false; // beyond what the list's offsets can address
        }
    }
    return rc == SQLITE_DONE;
}

bool CSnapshotFile::ReadScript(std::int64_t databaseId, std::int64_t position,
                               std::u16string& script)
{
    std::lock_guard lock(m_mutex);
    CStatementReset reset(m_pScript);
    sqlite3_bind_int64(m_pScript, 1, databaseId);
    sqlite3_bind_int64(m_pScript, 2, position);
    if (sqlite3_step(m_pScript) != SQLITE_ROW) {
        return false;
    }
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_pScript, 0));
    if (data == nullptr) {
        return false;
    }
    script = SnapshotText(data, static_cast<std::size_t>(sqlite3_column_bytes(m_pScript, 0)));
    return true;
}
