#pragma once
// A connection's own read-only handle on the served catalogue file, for the object lists and
// scripts a tagged query streams. The shared CSnapshotFile checked the file and knows its
// flavour and databases; lists here also need each object's type code, which it does not
// keep, and a stream must not hold a lock other connections wait on.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class CCatalogueReader
{
public:
    struct SObject
    {
        std::int64_t m_nKey = 0; // the file's object_id, or position + 1 when it has none
        std::u16string m_strName;
        int m_nTypeCode = 0;
        std::optional<std::u16string> m_created;
        bool m_bScript = false;
        std::optional<std::u16string> m_stamp;
    };

    CCatalogueReader() = default;
    ~CCatalogueReader();
    CCatalogueReader(const CCatalogueReader&) = delete;
    CCatalogueReader& operator=(const CCatalogueReader&) = delete;

    bool Open(const std::string& path, std::string& error);

    // The catalogue's 'server' entry, empty when it has none.
    std::u16string ServerName();

    // Object list of a database with a type code (509: every type), in position order.
    bool StartObjects(std::int64_t databaseId, int typeCode);
    // Scripts of that list (key < 0) or of the one object with a key.
    bool StartScripts(std::int64_t databaseId, int typeCode, std::int64_t key);
    // The next row of the started list; false at its end or on failure (see Failed).
    bool NextObject(SObject& object);
    bool NextScript(std::int64_t& key, std::u16string& script);
    // Scripts of the objects with these keys only, each found by its own lookup (as a server
    // seeks an index), not by reading the whole list.
    bool StartScriptsOf(std::int64_t databaseId, std::vector<std::int64_t> keys);
    bool Failed() const { return m_bFailed; }
    std::string Error() const;

private:
    bool Step();

    sqlite3* m_pDb = nullptr;
    sqlite3_stmt* m_pObjects = nullptr;
    sqlite3_stmt* m_pScripts = nullptr;
    sqlite3_stmt* m_pCurrent = nullptr;
    sqlite3_stmt* m_pPlaces = nullptr;   // key and position of each object of a database
    sqlite3_stmt* m_pScriptAt = nullptr; // one script by position
    std::vector<std::pair<std::int64_t, std::int64_t>> m_places; // keys asked, their positions
    std::size_t m_nPlace = 0;
    std::int64_t m_nPlacesDatabase = 0;
    bool m_bFailed = false;
};
