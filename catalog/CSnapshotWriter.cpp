#include "catalog/CSnapshotWriter.h"

#include <cstdio>
#include <sqlite3.h>
#include <unistd.h>

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE catalogue(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE databases(id INTEGER PRIMARY KEY, position INTEGER NOT NULL UNIQUE,
                       name TEXT NOT NULL);
CREATE TABLE objects(database_id INTEGER NOT NULL REFERENCES databases(id),
                     position INTEGER NOT NULL,
                     name TEXT NOT NULL,
                     type_code INTEGER NOT NULL,
                     type_name TEXT NOT NULL,
                     created TEXT NOT NULL,
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

bool CSnapshotWriter::Create(const std::string& path, std::string_view flavour,
                             std::string_view server, std::string_view taken)
{
    m_strPath = path;
    m_strTemporary = path + ".part";
    ::unlink(m_strTemporary.c_str());
    if (sqlite3_open_v2(m_strTemporary.c_str(), &m_pDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        return Fail("cannot create " + m_strTemporary);
    }
    // A throw-away file until Commit: no journal needed.
    if (sqlite3_exec(m_pDb, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;", nullptr, nullptr,
                     nullptr) != SQLITE_OK ||
        sqlite3_exec(m_pDb, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(m_pDb, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Fail("cannot set up " + m_strTemporary);
    }
    if (sqlite3_prepare_v2(m_pDb,
                           "INSERT INTO objects(database_id, position, name, type_code, "
                           "type_name, created, script) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                           -1, &m_pInsertObject, nullptr) != SQLITE_OK) {
        return Fail("cannot prepare the object insert");
    }
    return SetEntry("format", "1") && SetEntry("flavour", flavour) && SetEntry("server", server) &&
           SetEntry("taken", taken);
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
    std::int64_t id = m_nDatabases + 1;
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
    return id;
}

bool CSnapshotWriter::AddObject(std::int64_t databaseId, std::string_view name, int typeCode,
                                std::string_view typeName, std::string_view created,
                                std::optional<std::string_view> script)
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
    sqlite3_reset(m_pInsertObject);
    sqlite3_bind_int64(m_pInsertObject, 1, databaseId);
    sqlite3_bind_int64(m_pInsertObject, 2, m_nNextPosition);
    BindText(m_pInsertObject, 3, name);
    sqlite3_bind_int(m_pInsertObject, 4, typeCode);
    BindText(m_pInsertObject, 5, typeName);
    BindText(m_pInsertObject, 6, created);
    if (script) {
        BindText(m_pInsertObject, 7, *script);
    } else {
        sqlite3_bind_null(m_pInsertObject, 7);
    }
    if (sqlite3_step(m_pInsertObject) != SQLITE_DONE) {
        return Fail("cannot add object " + std::string(name));
    }
    ++m_nNextPosition;
    ++m_nObjects;
    return true;
}

bool CSnapshotWriter::Commit()
{
    if (sqlite3_exec(m_pDb, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Fail("cannot finish " + m_strTemporary);
    }
    Close();
    if (std::rename(m_strTemporary.c_str(), m_strPath.c_str()) != 0) {
        m_strError = "cannot move the catalogue into place at " + m_strPath;
        return false;
    }
    m_strTemporary.clear();
    return true;
}
