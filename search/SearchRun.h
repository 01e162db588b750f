#pragma once
// The search run: one database at a time, driven by a host (the find window or the command
// line) that supplies a snapshot of the criteria, a stop flag and the place rows go to.

#include "catalog/ObjectModel.h"
#include "search/CDate.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CDatabaseObjectFind;

// The criteria as the find window held them when the search started. Each field carries
// the meaning of the control it was read from.
struct SSearchCriteria
{
    std::u16string m_strNamed;
    std::u16string m_strContainingText;
    bool m_bMatchCase = false;
    bool m_bRegularExpression = false;
    int m_nDateMode = 0;    // 0 every object, 1 "Find all objects created:"
    int m_nCreatedMode = 0; // 0 between, 1 previous months, 2 previous days
    int m_nSizeIs = 0;      // position in the size list: 0 equal, 1 at least, 2 at most
    CDate m_dateFrom;       // no date when the edit holds none
    CDate m_dateTo;
    std::optional<double> m_months; // when the month edit holds a number
    std::optional<double> m_days;   // when the day edit holds a number
    std::u16string m_strSize;       // the text of the size edit
};

// What the search run needs of whoever drives it. Called on the search's own thread.
class ISearchHost
{
public:
    virtual ~ISearchHost() = default;
    virtual bool IsWindowAlive() = 0;
    virtual bool IsStopRequested() = 0;
    virtual void SetStatusText(const std::u16string& text) = 0;
    // One result row: five cells joined by tabs; the row takes over the reference.
    virtual void AddRow(const std::u16string& rowText, std::shared_ptr<IDatabaseObject> object) = 0;
    // The stop flag behind IsStopRequested, for the enumeration to poll; may be null.
    virtual const std::atomic<bool>* StopFlag() { return nullptr; }
    // Progress counter the run keeps up to date (objects examined); may be null.
    virtual std::atomic<std::int64_t>* ExaminedCounter() { return nullptr; }
    // A database that could not be searched (it gave no object list), with the reason.
    virtual void ReportDatabaseError(const std::u16string& server, const std::u16string& database,
                                     const std::u16string& reason)
    {
        (void)server;
        (void)database;
        (void)reason;
    }
    // An object the search skipped because its script could not be read (after the rows of
    // its database), with the library's reason.
    virtual void ReportUnreadScript(const std::u16string& server, const std::u16string& database,
                                    const std::u16string& type, const std::u16string& object,
                                    const std::u16string& reason)
    {
        (void)server;
        (void)database;
        (void)type;
        (void)object;
        (void)reason;
    }
};

// Guards g_pCurrentSearch and every write of its cancel flag.
extern std::mutex g_searchLock;
extern CDatabaseObjectFind* g_pCurrentSearch;

// Sets the cancel flag of the database search in progress, if any (Stop, New Search, close).
void CancelCurrentSearch();

// The pair (modern code, legacy code) a type filter code is searched with: the legacy
// flavour knows no user-defined functions, so it is asked for every type instead.
std::pair<int, int> TypeCodePair(int typeFilter);

// Searches one database. A null host (no window) or a null database does nothing.
void SearchDatabase(ISearchHost* host, const SSearchCriteria& criteria,
                    const std::shared_ptr<IModelUnknown>& database, int modernType, int legacyType);

// The worker's loop: every database in order until the window is gone or a stop is
// requested. Returns the number of databases searched.
int SearchDatabases(ISearchHost& host, const SSearchCriteria& criteria,
                    const std::vector<std::shared_ptr<IModelUnknown>>& databases, int typeFilter);

// The five cells of a result row joined by tabs.
std::u16string MakeResultRow(const std::u16string& server, const std::u16string& database,
                             const std::u16string& type, const std::u16string& object,
                             const std::u16string& created);
