#pragma once
// One open catalogue snapshot (`.qcat`): an SQLite file opened read-only, shared by the
// server, its databases and their objects. Every statement runs under one lock, so the
// user-interface thread and the search worker may use the same file at once.

#include "catalog/ObjectModel.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The catalogue format this version reads and writes.
constexpr int kSnapshotFormat = 1;

class CSnapshotFile
{
public:
    struct SDatabase
    {
        std::int64_t m_nId = 0;
        std::u16string m_strName;
        // Set when the database could not be read as the snapshot was taken: why.
        std::optional<std::u16string> m_unreadable;
    };

    // One object of a list without its script, as compact as the list needs it.
    struct SObjectRow
    {
        std::int64_t m_nPosition = 0;
        std::uint32_t m_nName = 0; // offsets into the list's text
        std::uint32_t m_nNameLength = 0;
        std::uint32_t m_nCreated = 0;
        std::uint32_t m_nCreatedLength = 0;
        std::uint32_t m_nTypeName = 0;
        std::uint32_t m_nTypeNameLength = 0;
        bool m_bName = false; // false: the file holds no name
        bool m_bTypeName = false;
        bool m_bCreated = false;
    };

    struct SObjectRows
    {
        std::vector<SObjectRow> m_rows;
        std::string m_strText; // UTF-8 names, type names and dates, back to back
    };

    ~CSnapshotFile();
    CSnapshotFile(const CSnapshotFile&) = delete;
    CSnapshotFile& operator=(const CSnapshotFile&) = delete;

    // Opens the file at a path read-only and checks that it is a catalogue this version
    // reads. Null with a reason a user can act on when it is not.
    static std::shared_ptr<CSnapshotFile> Open(const std::string& path, std::u16string& reason);

    EFlavour GetFlavour() const { return m_flavour; }
    // The 'flavour' text as the file words it.
    const std::string& GetFlavourText() const { return m_strFlavour; }
    const std::vector<SDatabase>& GetDatabases() const { return m_databases; }

    // The objects of one database with a type code (509: every type), in position order,
    // without their scripts. False when the file cannot answer.
    bool ListObjects(std::int64_t databaseId, int typeCode, SObjectRows& rows);

    // One object's script. False when there is no such object or its script is NULL.
    bool ReadScript(std::int64_t databaseId, std::int64_t position, std::u16string& script);

    // A connection of the file's own for one pass at a time, so a long pass never holds up
    // the statements above (the user-interface thread's).
    struct SReader;

    // A forward pass over the objects of one database with a type code whose positions lie
    // in a part, in position order, on a reader connection. Its values are the file's
    // bytes (UTF-8), valid until the next step.
    class CScan
    {
    public:
        ~CScan();
        CScan(const CScan&) = delete;
        CScan& operator=(const CScan&) = delete;

        // False at the end, or on failure (Failed()).
        bool Next();
        bool Failed() const { return m_bFailed; }
        std::int64_t Position() const;
        // A text column of the current row: 0 name, 1 type name, 2 creation date. False for
        // NULL.
        bool Text(int column, std::string_view& text) const;
        bool HasScript() const;
        // The current row's script; false when it is NULL (or could not be read: Failed()).
        bool Script(std::string_view& script);

    private:
        friend class CSnapshotFile;
        CScan(CSnapshotFile& file, std::unique_ptr<SReader> reader, std::int64_t databaseId,
              bool withScripts);

        CSnapshotFile& m_file;
        std::unique_ptr<SReader> m_pReader;
        sqlite3_stmt* m_pRows = nullptr;
        std::int64_t m_nDatabaseId;
        bool m_bWithScripts;
        bool m_bFailed = false;
        bool m_bEnd = false;
    };

    // The positions of a database's objects split into at most `parts` ranges of equal
    // width, covering every object; none for an empty database. False when the file cannot answer.
    bool PlanScan(std::int64_t databaseId, int parts, std::vector<SScanPart>& plan);
    // Null when no reader connection can be had (the file was replaced or cannot be opened
    // again). The file must outlive the pass.
    std::unique_ptr<CScan> OpenScan(std::int64_t databaseId, int typeCode, const SScanPart& part,
                                    bool withScripts);

private:
    CSnapshotFile() = default;
    bool Load(const std::string& path, std::u16string& reason);
    // False when a table the reader queries is not a plain table of stored columns.
    bool CheckTables(std::u16string& reason);
    void ReadUnreadable();

    std::unique_ptr<SReader> TakeReader();
    void GiveBackReader(std::unique_ptr<SReader> reader);

    std::string m_strPath;
    // The file that was opened: a reader connection must find the same one at the path.
    std::uint64_t m_nDevice = 0;
    std::uint64_t m_nInode = 0;
    std::mutex m_readersMutex;
    std::vector<std::unique_ptr<SReader>> m_readers; // idle reader connections

    std::mutex m_mutex;
    sqlite3* m_pDb = nullptr;
    sqlite3_stmt* m_pScript = nullptr;
    sqlite3_stmt* m_pList = nullptr;
    EFlavour m_flavour = EFlavour::Modern;
    std::string m_strFlavour;
    std::vector<SDatabase> m_databases;
};

// UTF-8 from the file to the core's UTF-16; malformed sequences become U+FFFD.
std::u16string SnapshotText(const char* text, std::size_t length);
