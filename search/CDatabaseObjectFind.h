#pragma once
// The criteria of one database search and its enumeration: walks the database's object
// list, fetches only what the criteria in force need, and hands back the matches in the
// library's order.

#include "catalog/ObjectModel.h"
#include "search/CDate.h"
#include "search/CScanMatcher.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using DatabaseObjectList = std::vector<std::shared_ptr<IDatabaseObject>>;

class CDatabaseObjectFind
{
public:
    CDatabaseObjectFind() = default;
    virtual ~CDatabaseObjectFind() = default;
    CDatabaseObjectFind(const CDatabaseObjectFind&) = delete;
    CDatabaseObjectFind& operator=(const CDatabaseObjectFind&) = delete;

    // Attaching one flavour's database releases the other.
    void AttachSQLOLEDatabase(std::shared_ptr<IDatabase> database);
    void AttachSQLDMODatabase(std::shared_ptr<IDatabase> database);

    bool GetServerName(std::u16string& name) const;
    void GetDatabaseName(std::u16string& name) const;

    // Appends the matches of the type code; 0 when that library's database is not set.
    int FindSQLOLEObjects(int typeCode, DatabaseObjectList& matches);
    int FindSQLDMOObjects(int typeCode, DatabaseObjectList& matches);

    // Stops the enumeration before its next object (and any regular-expression match in
    // progress), and interrupts the database's query in flight. Called only under
    // g_searchLock, from any thread.
    void Cancel();

    std::shared_ptr<IDatabase> m_pSQLOLEDatabase;
    std::shared_ptr<IDatabase> m_pSQLDMODatabase;
    std::u16string m_strName;
    std::u16string m_strText;
    std::int32_t m_bMatchCase = 0;
    std::int32_t m_bRegExp = 0;
    std::int32_t m_nSize = 0;
    std::int32_t m_nSizeMode = -1; // -1 none, 0 equal, 1 at least, 2 at most
    CDate m_dateFrom;
    CDate m_dateTo;
    std::int32_t m_bDateFrom = 0;
    std::int32_t m_bDateTo = 0;
    std::atomic<bool> m_bCancel{false};

    // The run's own stop flag, polled with m_bCancel before each object. The enumeration
    // clears m_bCancel when it starts, so a Stop that lands just before would otherwise go
    // unheard until the whole database was searched. May be null.
    const std::atomic<bool>* m_pStopRequested = nullptr;
    // Counts every object examined, for progress displays; may be null.
    std::atomic<std::int64_t>* m_pExamined = nullptr;

    // Take a database's faster pass (IObjectScan) when it offers one. Off: always walk the
    // object list, the reference the faster pass is checked against.
    bool m_bUseScan = true;

    // Set when the database gave no object list (and the search was not stopped): the
    // library's reason, or a general one. Cleared when an enumeration starts.
    std::u16string m_strListError;

    // The objects the enumeration skipped because their script could not be had, though
    // they passed the name and date tests; the library's reason, or a general one. Cleared
    // when an enumeration starts. The search still skips them: this only says so.
    struct SUnreadScript
    {
        std::u16string m_strName;
        std::u16string m_strType;
        std::u16string m_strReason;
    };
    std::vector<SUnreadScript> m_unreadScripts;

private:
    // The database a running enumeration works on, for Cancel to reach from another thread.
    class CCancelTarget;

    std::mutex m_cancelLock;
    std::shared_ptr<IDatabase> m_pCancelTarget; // guarded by m_cancelLock

    int Find(EFlavour flavour, int typeCode, DatabaseObjectList& matches);
    SObjectCriteria MakeCriteria(EFlavour flavour) const;
    // The walk over the object list, one model object at a time.
    int FindByList(IDatabase& database, const SObjectCriteria& criteria, int typeCode,
                   DatabaseObjectList& matches);
    // Passes over parts of the list on up to as many threads as there are cores. False when
    // the passes could not be made or broke: the list walk then answers.
    bool FindByScan(IObjectScan& scan, const SObjectCriteria& criteria, int typeCode,
                    DatabaseObjectList& matches);
    bool IsCancelled() const;
    static SUnreadScript DescribeUnreadScript(IDatabaseObject& object);

    const std::shared_ptr<IDatabase>& Attached() const;
};
