#pragma once
// Writes a catalogue snapshot (`.qcat`) in the format CSnapshotFile reads (the format is
// described in docs/snapshot-format.md). The file is built under a unique name beside its
// target, flushed to disk and renamed into place on Commit, so a half-written catalogue
// never stands under the real name and an old one stays whole until the new one is
// complete. A writer dropped before Commit removes its file. Texts are UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class CSnapshotWriter
{
public:
    // One object as a snapshot records it. Absent values are stored as NULL.
    struct SObject
    {
        std::string_view m_strName;
        int m_nTypeCode = 0;
        std::string_view m_strTypeName;
        std::optional<std::string_view> m_created;
        std::optional<std::string_view> m_script; // none: the script request fails
        std::optional<std::int64_t> m_objectId;   // the server's key, for a refresh
        std::optional<std::string_view> m_stamp;  // what changes when the object does
        // Its place in the list; none: after the last. Lists are read in ascending order.
        std::optional<std::int64_t> m_position;
    };

    CSnapshotWriter() = default;
    ~CSnapshotWriter();
    CSnapshotWriter(const CSnapshotWriter&) = delete;
    CSnapshotWriter& operator=(const CSnapshotWriter&) = delete;

    // flavour: "modern" or "legacy"; taken: ISO 8601 time. False with GetError() on failure.
    bool Create(const std::string& path, std::string_view flavour, std::string_view server,
                std::string_view taken);
    // A new file that starts as a copy of the snapshot at source (a refresh changes only what
    // changed); the target may be source itself.
    bool CreateFromCopy(const std::string& path, const std::string& source);
    // Another catalogue entry (or a replacement of one), e.g. to write other formats in tests.
    bool SetEntry(std::string_view key, std::string_view value);
    // The next database; its id, or -1 on failure.
    std::int64_t AddDatabase(std::string_view name);
    // Records that a database could not be read, and why; it then has no objects.
    bool MarkUnreadable(std::int64_t databaseId, std::string_view reason);
    bool MarkReadable(std::int64_t databaseId);
    // Removes an object, or a database with its objects.
    bool RemoveObject(std::int64_t databaseId, std::int64_t position);
    bool RemoveDatabase(std::int64_t databaseId);
    // Puts the databases in this order (ids of every database of the file).
    bool OrderDatabases(const std::vector<std::int64_t>& ids);
    // Marks a point to go back to: Release(false) undoes what was written since.
    bool Savepoint();
    bool Release(bool keep);
    // When a database's catalogue was read (ISO 8601), kept per database across refreshes.
    bool SetDatabaseTaken(std::int64_t databaseId, std::string_view taken);
    // The next object of a database, in list order. No script: the script request fails.
    bool AddObject(std::int64_t databaseId, std::string_view name, int typeCode,
                   std::string_view typeName, std::string_view created,
                   std::optional<std::string_view> script);
    bool AddObject(std::int64_t databaseId, const SObject& object);
    // Finishes the file, flushes it to disk and puts it in place.
    bool Commit();

    const std::string& GetError() const { return m_strError; }
    std::int64_t GetObjectCount() const { return m_nObjects; }
    // The file being written until Commit (beside the target, unique).
    const std::string& GetTemporaryPath() const { return m_strTemporary; }

private:
    bool MakeTemporary(const std::string& path);
    bool OpenTemporary(bool create);
    bool Execute(const char* sql, std::int64_t first, std::int64_t second);
    bool Fail(const std::string& what);
    bool UpdateDatabase(const char* sql, std::int64_t databaseId, std::string_view value);
    void Close();

    sqlite3* m_pDb = nullptr;
    sqlite3_stmt* m_pInsertObject = nullptr;
    std::string m_strPath;
    std::string m_strTemporary;
    std::string m_strError;
    std::int64_t m_nDatabases = 0;
    std::int64_t m_nNextDatabaseId = 1;
    std::int64_t m_nObjects = 0;
    std::int64_t m_nLastDatabase = -1;
    std::int64_t m_nNextPosition = 0;
};
