#include "catalog/CSnapshotWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE catalogue(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE databases(id INTEGER PRIMARY KEY, position INTEGER NOT NULL UNIQUE,
                       name TEXT NOT NULL,
                       unreadable TEXT,
                       taken TEXT);
CREATE TABLE objects(database_id INTEGER NOT NULL REFERENCES databases(id),
                     position INTEGER NOT NULL,
                     name TEXT NOT NULL,
                     type_code INTEGER NOT NULL,
                     type_name TEXT NOT NULL,
                     created TEXT,
                     object_id INTEGER,
                     stamp TEXT,
                     script TEXT,
                     PRIMARY KEY (database_id, position));
)sql";

void BindText(sqlite3_stmt* statement, int index, std::string_view text)
{
    sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

} // namespace

CSnapshotWriter::~CSnapshotWriter()
{
    Close();
    if (!m_strTemporary.empty()) {
        ::unlink(m_strTemporary.c_str());
    }
}

void CSnapshotWriter::Close()
{
    sqlite3_finalize(m_pInsertObject);
    m_pInsertObject = nullptr;
    sqlite3_close(m_pDb);
    m_pDb = nullptr;
}

bool CSnapshotWriter::Fail(const std::string& what)
{
    m_strError = what;
    if (m_pDb != nullptr) {
        m_strError += ": ";
        m_strError += sqlite3_errmsg(m_pDb);
    }
    return false;
}

bool CSnapshotWriter::MakeTemporary(const std::string& path)
{
    m_strPath = path;
    // A unique name beside the target: the same file system, so the rename is atomic, and
    // two writers of one target never share a half-written file.
    std::string pattern = path + ".part-XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        m_strError = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    m_strTemporary = pattern;
    return true;
}

bool CSnapshotWriter::OpenTemporary(bool create)
{
    if (sqlite3_open_v2(m_strTemporary.c_str(), &m_pDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        return Fail("cannot create " + m_strTemporary);
    }
    // The file takes the target's name only once complete, so it needs no journal on disk;
    // the one in memory lets a database that fails half-way be rolled back alone.
    if (sqlite3_exec(m_pDb,
                     create ? "PRAGMA page_size=65536; PRAGMA journal_mode=MEMORY; "
                              "PRAGMA synchronous=OFF;"
                            : "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF;",
                     nullptr, nullptr, nullptr) != SQLITE_OK ||
        (create && sqlite3_exec(m_pDb, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) ||
        sqlite3_exec(m_pDb, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Fail("cannot set up " + m_strTemporary);
    }
    if (sqlite3_prepare_v2(m_pDb,
                           "INSERT INTO objects(database_id, position, name, type_code, "
                           "type_name, created, script, object_id, stamp) "
                           "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
                           -1, &m_pInsertObject, nullptr) != SQLITE_OK) {
        return Fail("cannot prepare the object insert");
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_pDb, "SELECT coalesce(max(id), 0), count(*) FROM databases", -1,
                           &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        m_nNextDatabaseId = sqlite3_column_int64(statement, 0) + 1;
        m_nDatabases = sqlite3_column_int64(statement, 1);
    }
    sqlite3_finalize(statement);
    return true;
}

bool CSnapshotWriter::Create(const std::string& path, std::string_view flavour,
                             std::string_view server, std::string_view taken)
{
    if (!MakeTemporary(path) || !OpenTemporary(true)) {
        return false;
    }
    return SetEntry("format", "1") && SetEntry("flavour", flavour) && SetEntry("server", server) &&
           SetEntry("taken", taken);
}

bool CSnapshotWriter::CreateFromCopy(const std::string& path, const std::string& source)
{
    if (!MakeTemporary(path)) {
        return false;
    }
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open(m_strTemporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool copied = in >= 0 && out >= 0;
    // In the kernel where it can (copy_file_range), else through a buffer.
    while (copied) {
        const ssize_t moved = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (moved == 0) {
            break;
        }
        if (moved < 0) {
            if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
                copied = false;
                break;
            }
            char buffer[1 << 16];
            ssize_t got = 0;
            while (copied && (got = ::read(in, buffer, sizeof buffer)) > 0) {
                copied = ::write(out, buffer, static_cast<std::size_t>(got)) == got;
            }
            copied = copied && got == 0;
            break;
        }
    }
    const int error = errno;
    if (in >= 0) {
        ::close(in);
    }
    if (out >= 0) {
        ::close(out);
    }
    if (!copied) {
        m_strError = "cannot copy " + source + " beside itself: " + std::strerror(error);
        return false;
    }
    return OpenTemporary(false);
}

bool CSnapshotWriter::Execute(const char* sql, std::int64_t first, std::int64_t second)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_pDb, sql, -1, &statement, nullptr) != SQLITE_OK) {
        return Fail("cannot change the snapshot");
    }
    sqlite3_bind_int64(statement, 1, first);
    sqlite3_bind_int64(statement, 2, second);
    const int rc = sqlite3_step(statement);
    sqlite3_finalize(statement);
    return rc == SQLITE_DONE || Fail("cannot change the snapshot");
}

bool CSnapshotWriter::RemoveObject(std::int64_t databaseId, std::int64_t position)
{
    return Execute("DELETE FROM objects WHERE database_id = ?1 AND position = ?2", databaseId,
                   position);
}

bool CSnapshotWriter::RemoveDatabase(std::int64_t databaseId)
{
    return Execute("DELETE FROM objects WHERE database_id = ?1 AND ?2 = ?2", databaseId, 0) &&
           Execute("DELETE FROM databases WHERE id = ?1 AND ?2 = ?2", databaseId, 0);
}

bool CSnapshotWriter::OrderDatabases(const std::vector<std::int64_t>& ids)
{
    // Through negative places first: positions are unique at every step.
    bool good = Execute("UPDATE databases SET position = -1 - position WHERE ?1 = ?2", 0, 0);
    for (std::size_t i = 0; good && i < ids.size(); ++i) {
        good = Execute("UPDATE databases SET position = ?2 WHERE id = ?1", ids[i],
                       static_cast<std::int64_t>(i));
    }
    return good;
}

bool CSnapshotWriter::Savepoint()
{
    return sqlite3_exec(m_pDb, "SAVEPOINT db", nullptr, nullptr, nullptr) == SQLITE_OK ||
           Fail("cannot mark the snapshot");
}

bool CSnapshotWriter::Release(bool keep)
{
    m_nLastDatabase = -1; // positions are asked again after a rollback
    const char* sql = keep ? "RELEASE db" : "ROLLBACK TO db; RELEASE db";
    return sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK ||
           Fail("cannot finish a database of the snapshot");
}

bool CSnapshotWriter::SetEntry(std::string_view key, std::string_view value)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_pDb, "INSERT OR REPLACE INTO catalogue(key, value) VALUES (?1, ?2)",
                           -1, &statement, nullptr) != SQLITE_OK) {
        return Fail("cannot write the catalogue entry");
    }
    BindText(statement, 1, key);
    BindText(statement, 2, value);
    int rc = sqlite3_step(statement);
    sqlite3_finalize(statement);
    return rc == SQLITE_DONE || Fail("cannot write the catalogue entry");
}

std::int64_t CSnapshotWriter::AddDatabase(std::string_view name)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_pDb, "INSERT INTO databases(id, position, name) VALUES (?1, ?2, ?3)",
                           -1, &statement, nullptr) != SQLITE_OK) {
        Fail("cannot add a database");
        return -1;
    }
    std::int64_t id = m_nNextDatabaseId;
    sqlite3_bind_int64(statement, 1, id);
    sqlite3_bind_int64(statement, 2, m_nDatabases);
    BindText(statement, 3, name);
    int rc = sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) {
        Fail("cannot add a database");
        return -1;
    }
    ++m_nDatabases;
    ++m_nNextDatabaseId;
    return id;
}

bool CSnapshotWriter::UpdateDatabase(const char* sql, std::int64_t databaseId,
                                     std::string_view value)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_pDb, sql, -1, &statement, nullptr) != SQLITE_OK) {
        return Fail("cannot record the database");
    }
    sqlite3_bind_int64(statement, 1, databaseId);
    BindText(statement, 2, value);
    int rc = sqlite3_step(statement);
    sqlite3_finalize(statement);
    return (rc == SQLITE_DONE && sqlite3_changes(m_pDb) == 1) || Fail("cannot record the database");
}

bool CSnapshotWriter::MarkUnreadable(std::int64_t databaseId, std::string_view reason)
{
    return UpdateDatabase("UPDATE databases SET unreadable = ?2 WHERE id = ?1", databaseId, reason);
}

bool CSnapshotWriter::MarkReadable(std::int64_t databaseId)
{
    return Execute("UPDATE databases SET unreadable = NULL WHERE id = ?1 AND ?2 = ?2", databaseId,
                   0);
}

bool CSnapshotWriter::SetDatabaseTaken(std::int64_t databaseId, std::string_view taken)
{
    return UpdateDatabase("UPDATE databases SET taken = ?2 WHERE id = ?1", databaseId, taken);
}

bool CSnapshotWriter::AddObject(std::int64_t databaseId, std::string_view name, int typeCode,
                                std::string_view typeName, std::string_view created,
                                std::optional<std::string_view> script)
{
    SObject object;
    object.m_strName = name;
    object.m_nTypeCode = typeCode;
    object.m_strTypeName = typeName;
    object.m_created = created;
    object.m_script = script;
    return AddObject(databaseId, object);
}

bool CSnapshotWriter::AddObject(std::int64_t databaseId, const SObject& object)
{
    if (databaseId != m_nLastDatabase) {
        // Positions count from 0 in each database; objects come database by database.
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(m_pDb,
                           "SELECT coalesce(max(position) + 1, 0) FROM objects "
                           "WHERE database_id = ?1",
                           -1, &statement, nullptr);
        sqlite3_bind_int64(statement, 1, databaseId);
        m_nNextPosition =
            sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
        sqlite3_finalize(statement);
        m_nLastDatabase = databaseId;
    }
    auto optionalText = [&](int index, const std::optional<std::string_view>& value) {
        if (value) {
            BindText(m_pInsertObject, index, *value);
        } else {
            sqlite3_bind_null(m_pInsertObject, index);
        }
    };
    const std::int64_t position = object.m_position.value_or(m_nNextPosition);
    sqlite3_reset(m_pInsertObject);
    sqlite3_bind_int64(m_pInsertObject, 1, databaseId);
    sqlite3_bind_int64(m_pInsertObject, 2, position);
    BindText(m_pInsertObject, 3, object.m_strName);
    sqlite3_bind_int(m_pInsertObject, 4, object.m_nTypeCode);
    BindText(m_pInsertObject, 5, object.m_strTypeName);
    optionalText(6, object.m_created);
    optionalText(7, object.m_script);
    if (object.m_objectId) {
        sqlite3_bind_int64(m_pInsertObject, 8, *object.m_objectId);
    } else {
        sqlite3_bind_null(m_pInsertObject, 8);
    }
    optionalText(9, object.m_stamp);
    if (sqlite3_step(m_pInsertObject) != SQLITE_DONE) {
        return Fail("cannot add object " + std::string(object.m_strName));
    }
    m_nNextPosition = std::max(m_nNextPosition, position + 1);
    ++m_nObjects;
    return true;
}

bool CSnapshotWriter::Commit()
{
    if (sqlite3_exec(m_pDb, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Fail("cannot finish " + m_strTemporary);
    }
    Close();
    // On disk before it takes the name: after a crash the name holds the old file or the
    // whole new one, never a file whose pages were still in the cache.
    int fd = ::open(m_strTemporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        m_strError = "cannot flush " + m_strTemporary + ": " + std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    ::close(fd);
    if (std::rename(m_strTemporary.c_str(), m_strPath.c_str()) != 0) {
        m_strError =
            "cannot move the catalogue into place at " + m_strPath + ": " + std::strerror(errno);
        return false;
    }
    m_strTemporary.clear();
    // The rename itself lasts once the folder is flushed.
    auto slash = m_strPath.rfind('/');
    std::string folder = slash == std::string::npos ? "." : m_strPath.substr(0, slash + 1);
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
