#pragma once
// Writes a catalogue snapshot (`.qcat`) in the format CSnapshotFile reads. The file is built
// beside its target and renamed into place on Commit, so a half-written catalogue never
// stands under the real name. Texts are UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

class CSnapshotWriter
{
public:
    CSnapshotWriter() = default;
    ~CSnapshotWriter();
    CSnapshotWriter(const CSnapshotWriter&) = delete;
    CSnapshotWriter& operator=(const CSnapshotWriter&) = delete;

    // flavour: "modern" or "legacy"; taken: ISO 8601 time. False with GetError() on failure.
    bool Create(const std::string& path, std::string_view flavour, std::string_view server,
                std::string_view taken);
    // Another catalogue entry (or a replacement of one), e.g. to write other formats in tests.
    bool SetEntry(std::string_view key, std::string_view value);
    // The next database; its id, or -1 on failure.
    std::int64_t AddDatabase(std::string_view name);
    // The next object of a database, in list order. No script: the script request fails.
    bool AddObject(std::int64_t databaseId, std::string_view name, int typeCode,
                   std::string_view typeName, std::string_view created,
                   std::optional<std::string_view> script);
    // Finishes the file and puts it in place.
    bool Commit();

    const std::string& GetError() const { return m_strError; }
    std::int64_t GetObjectCount() const { return m_nObjects; }

private:
    bool Fail(const std::string& what);
    void Close();

    sqlite3* m_pDb = nullptr;
    sqlite3_stmt* m_pInsertObject = nullptr;
    std::string m_strPath;
    std::string m_strTemporary;
    std::string m_strError;
    std::int64_t m_nDatabases = 0;
    std::int64_t m_nObjects = 0;
    std::int64_t m_nLastDatabase = -1;
    std::int64_t m_nNextPosition = 0;
};
