#pragma once
// Takes the catalogue of a live server into a snapshot file (`.qcat`), or brings a snapshot
// up to date. A database costs a fixed number of statements however many objects it holds:
// USE, the object list with each object's stamp, and one scripts result. A refresh compares
// the stamps and keys with the file's and reads the scripts of only the objects created or
// altered; objects gone from the server leave the file. On a modern server it first asks only
// for the objects stamped since the file's newest stamp, and lists every object only when a
// count and digest of all of them disagree with the file's. The new file is written beside the
// old one and takes its name only when complete, so a failure or a stop leaves the old one
// whole. Runs on one thread; Cancel and the progress counters may be used from any other.

#include "catalog/EncryptionMode.h"
#include "catalog/ObjectModel.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class COdbcStatement;

struct SSnapshotLogin
{
    bool m_bIntegrated = true;
    std::u16string m_strLogin; // a SQL login when not integrated
    std::u16string m_strPassword;
    int m_nLoginTimeout = 20;
    SConnectOptions m_connect; // encryption, as for any live connection
};

struct SSnapshotRequest
{
    std::u16string m_strServer;
    std::vector<std::u16string> m_databases; // empty: every database the server lists
    SSnapshotLogin m_login;
    std::string m_strPath;
};

// Where a snapshot came from, as its file records it: what a refresh reconnects to.
struct SSnapshotOrigin
{
    std::u16string m_strServer;
    std::optional<std::u16string> m_login; // none: integrated login
    EFlavour m_flavour = EFlavour::Modern;
};

// What a run did, for the report after it.
struct SSnapshotReport
{
    struct SUnreadable
    {
        std::u16string m_strDatabase;
        std::u16string m_strReason;
        bool m_bKept = false; // a refresh kept the database's previous catalogue
    };
    std::vector<SUnreadable> m_unreadable;
    std::int64_t m_nObjects = 0; // in the new file
    std::int64_t m_nRead = 0;    // objects whose script came from the server this time
    std::int64_t m_nKept = 0;    // objects copied unchanged from the old file (refresh)
    std::int64_t m_nDropped = 0; // objects of the old file the server no longer has
    int m_nStatements = 0;       // statements sent to the server after the login
};

class CSnapshotTaker
{
public:
    // A file needs rows like these to be refreshed.
    static constexpr const char* kSource = "quarrow-snapshot";

    // Takes a new snapshot. False with a reason (nothing written) on failure or Cancel.
    bool Take(const SSnapshotRequest& request, std::u16string& error);
    // Brings the snapshot at a path up to date from the server it records. login: how to log
    // in (the recorded login name is in ReadOrigin).
    bool Refresh(const std::string& path, const SSnapshotLogin& login, std::u16string& error);

    // The origin a snapshot file records. False with a reason when the file cannot be
    // refreshed (not a snapshot, or not one taken of a live server by this program).
    static bool ReadOrigin(const std::string& path, SSnapshotOrigin& origin, std::u16string& error);

    // From any thread: stops the run at the next row and interrupts the statement running.
    void Cancel();
    bool IsCancelled() const { return m_bCancel.load(); }

    // Progress, readable from any thread while the run goes on.
    int GetDatabasesDone() const { return m_nDatabasesDone.load(); }
    int GetDatabaseCount() const { return m_nDatabases.load(); }
    std::int64_t GetObjectsDone() const { return m_nObjectsDone.load(); }
    std::int64_t GetBytesRead() const { return m_nBytes.load(); }

    const SSnapshotReport& GetReport() const { return m_report; }

    // Registered by the reading code while a statement runs, so Cancel can reach it.
    void EnterStatement(COdbcStatement* statement);
    void LeaveStatement();
    void AddBytes(std::int64_t bytes) { m_nBytes += bytes; }
    void CountStatement() { ++m_report.m_nStatements; }
    void AddObjectDone() { ++m_nObjectsDone; }

private:
    bool Run(const SSnapshotRequest& request, const std::optional<std::string>& oldPath,
             std::u16string& error);

    std::atomic<bool> m_bCancel{false};
    std::atomic<int> m_nDatabasesDone{0};
    std::atomic<int> m_nDatabases{0};
    std::atomic<std::int64_t> m_nObjectsDone{0};
    std::atomic<std::int64_t> m_nBytes{0};
    std::mutex m_statementLock;
    COdbcStatement* m_pStatement = nullptr;
    SSnapshotReport m_report;
};
