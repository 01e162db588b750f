#include "tests/tdsserver/CCatalogueReader.h"

#include "catalog/CSnapshotFile.h"

#include <algorithm>
#include <sqlite3.h>

namespace {

std::optional<std::u16string> OptionalText(sqlite3_stmt* statement, int column)
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return SnapshotText(data, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

// True when the objects table has a column (files written before it have not).
bool HasColumn(sqlite3* db, const char* column)
{
    sqlite3_stmt* statement = nullptr;
    bool found = false;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM pragma_table_info('objects') WHERE name = ?1", -1,
                           &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, column, -1, SQLITE_STATIC);
        found = sqlite3_step(statement) == SQLITE_ROW;
    }
    sqlite3_finalize(statement);
    return found;
}

std::u16string ColumnText(sqlite3_stmt* statement, int column)
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (data == nullptr) {
        return {};
    }
    return SnapshotText(data, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

} // namespace

CCatalogueReader::~CCatalogueReader()
{
    sqlite3_finalize(m_pObjects);
    sqlite3_finalize(m_pScripts);
    sqlite3_finalize(m_pPlaces);
    sqlite3_finalize(m_pScriptAt);
    sqlite3_close(m_pDb);
}

bool CCatalogueReader::Open(const std::string& path, std::string& error)
{
    if (sqlite3_open_v2(path.c_str(), &m_pDb, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        error = m_pDb != nullptr ? sqlite3_errmsg(m_pDb) : "out of memory";
        return false;
    }
    sqlite3_busy_timeout(m_pDb, 2000);
    // Snapshots taken of a server keep its object ids and stamps; other files key objects by
    // position, as they always did. Ids ascend with positions, so the primary key gives the
    // order without a sort (a sort would hold every script before the first row went out).
    const std::string key =
        HasColumn(m_pDb, "object_id") ? "coalesce(object_id, position + 1)" : "(position + 1)";
    const std::string stamp = HasColumn(m_pDb, "stamp") ? "stamp" : "NULL";
    const std::string objects = "SELECT " + key + " AS k, name, type_code, created, " +
                                "script IS NOT NULL, " + stamp +
                                " FROM objects WHERE database_id = ?1 AND "
                                "(?2 = 509 OR type_code = ?2) ORDER BY position";
    const std::string scripts = "SELECT " + key +
                                " AS k, script FROM objects "
                                "WHERE database_id = ?1 AND (?2 = 509 OR type_code = ?2) "
                                "AND script IS NOT NULL AND (?3 < 0 OR k = ?3) ORDER BY position";
    if (sqlite3_prepare_v2(m_pDb, objects.c_str(), -1, &m_pObjects, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(m_pDb, scripts.c_str(), -1, &m_pScripts, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(m_pDb,
                           ("SELECT " + key + ", position FROM objects WHERE database_id = ?1 " +
                            "AND script IS NOT NULL ORDER BY position")
                               .c_str(),
                           -1, &m_pPlaces, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(m_pDb,
                           "SELECT script FROM objects WHERE database_id = ?1 AND position = ?2",
                           -1, &m_pScriptAt, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(m_pDb);
        return false;
    }
    return true;
}

std::u16string CCatalogueReader::ServerName()
{
    sqlite3_stmt* statement = nullptr;
    std::u16string name;
    if (sqlite3_prepare_v2(m_pDb, "SELECT value FROM catalogue WHERE key = 'server'", -1,
                           &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        name = ColumnText(statement, 0);
    }
    sqlite3_finalize(statement);
    return name;
}

bool CCatalogueReader::StartObjects(std::int64_t databaseId, int typeCode)
{
    m_bFailed = false;
    sqlite3_reset(m_pObjects);
    sqlite3_bind_int64(m_pObjects, 1, databaseId);
    sqlite3_bind_int(m_pObjects, 2, typeCode);
    m_pCurrent = m_pObjects;
    return true;
}

bool CCatalogueReader::StartScripts(std::int64_t databaseId, int typeCode, std::int64_t key)
{
    m_bFailed = false;
    sqlite3_reset(m_pScripts);
    sqlite3_bind_int64(m_pScripts, 1, databaseId);
    sqlite3_bind_int(m_pScripts, 2, typeCode);
    sqlite3_bind_int64(m_pScripts, 3, key);
    m_pCurrent = m_pScripts;
    return true;
}

bool CCatalogueReader::Step()
{
    int rc = sqlite3_step(m_pCurrent);
    if (rc == SQLITE_ROW) {
        return true;
    }
    m_bFailed = rc != SQLITE_DONE;
    return false;
}

bool CCatalogueReader::NextObject(SObject& object)
{
    if (m_pCurrent != m_pObjects || !Step()) {
        return false;
    }
    object.m_nKey = sqlite3_column_int64(m_pObjects, 0);
    object.m_strName = ColumnText(m_pObjects, 1);
    object.m_nTypeCode = sqlite3_column_int(m_pObjects, 2);
    object.m_created = OptionalText(m_pObjects, 3);
    object.m_bScript = sqlite3_column_int(m_pObjects, 4) != 0;
    object.m_stamp = OptionalText(m_pObjects, 5);
    return true;
}

bool CCatalogueReader::StartScriptsOf(std::int64_t databaseId, std::vector<std::int64_t> keys)
{
    m_bFailed = false;
    m_places.clear();
    m_nPlace = 0;
    m_nPlacesDatabase = databaseId;
    std::sort(keys.begin(), keys.end());
    sqlite3_reset(m_pPlaces);
    sqlite3_bind_int64(m_pPlaces, 1, databaseId);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(m_pPlaces)) == SQLITE_ROW) {
        const auto key = sqlite3_column_int64(m_pPlaces, 0);
        if (std::binary_search(keys.begin(), keys.end(), key)) {
            m_places.emplace_back(key, sqlite3_column_int64(m_pPlaces, 1));
        }
    }
    m_bFailed = rc != SQLITE_DONE;
    m_pCurrent = m_pScriptAt;
    return !m_bFailed;
}

bool CCatalogueReader::NextScript(std::int64_t& key, std::u16string& script)
{
    if (m_pCurrent == m_pScriptAt) {
        if (m_bFailed || m_nPlace >= m_places.size()) {
            return false;
        }
        const auto [placeKey, position] = m_places[m_nPlace++];
        sqlite3_reset(m_pScriptAt);
        sqlite3_bind_int64(m_pScriptAt, 1, m_nPlacesDatabase);
        sqlite3_bind_int64(m_pScriptAt, 2, position);
        if (sqlite3_step(m_pScriptAt) != SQLITE_ROW) {
            m_bFailed = true;
            return false;
        }
        key = placeKey;
        script = ColumnText(m_pScriptAt, 0);
        return true;
    }
    if (m_pCurrent != m_pScripts || !Step()) {
        return false;
    }
    key = sqlite3_column_int64(m_pScripts, 0);
    script = ColumnText(m_pScripts, 1);
    return true;
}

std::string CCatalogueReader::Error() const
{
    return m_pDb != nullptr ? sqlite3_errmsg(m_pDb) : "catalogue not open";
}
