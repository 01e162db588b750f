#include "search/CDatabaseObjectFind.h"

#include "search/CRegPattern.h"
#include "search/CTextFinder.h"
#include "search/CreationDate.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

void CDatabaseObjectFind::AttachSQLOLEDatabase(std::shared_ptr<IDatabase> database)
{
    m_pSQLDMODatabase.reset();
    m_pSQLOLEDatabase = std::move(database);
}

void CDatabaseObjectFind::AttachSQLDMODatabase(std::shared_ptr<IDatabase> database)
{
    m_pSQLOLEDatabase.reset();
    m_pSQLDMODatabase = std::move(database);
}

const std::shared_ptr<IDatabase>& CDatabaseObjectFind::Attached() const
{
    return m_pSQLOLEDatabase ? m_pSQLOLEDatabase : m_pSQLDMODatabase;
}

bool CDatabaseObjectFind::GetServerName(std::u16string& name) const
{
    const auto& database = Attached();
    if (!database) {
        return false;
    }
    const auto server = database->GetParentServer();
    if (!server) {
        return false;
    }
    std::u16string serverName;
    server->GetName(serverName);
    name = std::move(serverName);
    return true;
}

void CDatabaseObjectFind::GetDatabaseName(std::u16string& name) const
{
    if (const auto& database = Attached()) {
        std::u16string databaseName;
        database->GetName(databaseName);
        name = std::move(databaseName);
    }
}

int CDatabaseObjectFind::FindSQLOLEObjects(int typeCode, DatabaseObjectList& matches)
{
    return Find(EFlavour::Legacy, typeCode, matches);
}

int CDatabaseObjectFind::FindSQLDMOObjects(int typeCode, DatabaseObjectList& matches)
{
    return Find(EFlavour::Modern, typeCode, matches);
}

// Names the database Cancel may interrupt while an enumeration runs, and forgets it after.
class CDatabaseObjectFind::CCancelTarget
{
public:
    CCancelTarget(CDatabaseObjectFind& find, std::shared_ptr<IDatabase> database) : m_find(find)
    {
        std::lock_guard lock(m_find.m_cancelLock);
        m_find.m_pCancelTarget = std::move(database);
    }
    ~CCancelTarget()
    {
        std::lock_guard lock(m_find.m_cancelLock);
        m_find.m_pCancelTarget.reset();
    }
    CCancelTarget(const CCancelTarget&) = delete;
    CCancelTarget& operator=(const CCancelTarget&) = delete;

private:
    CDatabaseObjectFind& m_find;
};

void CDatabaseObjectFind::Cancel()
{
    m_bCancel.store(true, std::memory_order_relaxed);
    std::shared_ptr<IDatabase> target;
    {
        std::lock_guard lock(m_cancelLock);
        target = m_pCancelTarget;
    }
    // The flag is set first: the library interrupts only queries whose flag is set.
    if (target) {
        target->CancelQueries();
    }
}

bool CDatabaseObjectFind::IsCancelled() const
{
    return m_bCancel.load(std::memory_order_relaxed) ||
           (m_pStopRequested && m_pStopRequested->load(std::memory_order_relaxed));
}

SObjectCriteria CDatabaseObjectFind::MakeCriteria(EFlavour flavour) const
{
    SObjectCriteria criteria;
    criteria.m_flavour = flavour;
    criteria.m_bFold = m_bMatchCase == 0;
    criteria.m_strName = m_strName;
    criteria.m_strText = m_strText;
    if (criteria.m_bFold) {
        FoldUpper(criteria.m_strText);
        FoldUpper(criteria.m_strName);
    }
    criteria.m_bRegExp = m_bRegExp != 0;
    criteria.m_nSize = m_nSize;
    criteria.m_nSizeMode = m_nSizeMode;
    criteria.m_dateFrom = m_dateFrom;
    criteria.m_dateTo = m_dateTo;
    criteria.m_bDateFrom = m_bDateFrom != 0;
    criteria.m_bDateTo = m_bDateTo != 0;
    criteria.m_pCancel = &m_bCancel;
    return criteria;
}

CDatabaseObjectFind::SUnreadScript
CDatabaseObjectFind::DescribeUnreadScript(IDatabaseObject& object)
{
    SUnreadScript unread;
    object.GetName(unread.m_strName);
    object.GetTypeName(unread.m_strType);
    unread.m_strReason = object.GetScriptError();
    if (unread.m_strReason.empty()) {
        unread.m_strReason = u"the script could not be read";
    }
    return unread;
}

int CDatabaseObjectFind::Find(EFlavour flavour, int typeCode, DatabaseObjectList& matches)
{
    m_bCancel.store(false, std::memory_order_relaxed);
    m_strListError.clear();
    m_unreadScripts.clear();
    const auto& database = flavour == EFlavour::Modern ? m_pSQLDMODatabase : m_pSQLOLEDatabase;
    if (!database) {
        return 0;
    }
    const SObjectCriteria criteria = MakeCriteria(flavour);
    const CCancelTarget cancelTarget(*this, database);
    if (IsCancelled()) {
        return 1;
    }
    if (m_bUseScan) {
        if (IObjectScan* scan = database->QueryObjectScan()) {
            if (FindByScan(*scan, criteria, typeCode, matches)) {
                return 1;
            }
        }
    }
    return FindByList(*database, criteria, typeCode, matches);
}

int CDatabaseObjectFind::FindByList(IDatabase& database, const SObjectCriteria& criteria,
                                    int typeCode, DatabaseObjectList& matches)
{
    const EFlavour flavour = criteria.m_flavour;
    const bool fold = criteria.m_bFold;
    const std::u16string& text = criteria.m_strText;
    const std::u16string& name = criteria.m_strName;
    const auto list = database.ListObjectsUntil(typeCode, 0, &m_bCancel);
    if (!list) {
        if (!IsCancelled()) {
            m_strListError = database.GetLastError();
            if (m_strListError.empty()) {
                m_strListError = u"the database gave no list of its objects";
            }
        }
        return 1;
    }

    // Patterns are compiled once per database; a pattern that does not compile matches
    // nothing, silently.
    std::optional<CRegPattern> namePattern;
    std::optional<CRegPattern> textPattern;
    std::optional<CTextFinder> textFinder;
    if (criteria.m_bRegExp) {
        if (!name.empty()) {
            namePattern.emplace(name, fold);
            namePattern->SetCancelFlag(&m_bCancel);
        }
        if (!text.empty()) {
            textPattern.emplace(text, fold);
            textPattern->SetCancelFlag(&m_bCancel);
        }
    } else if (!text.empty()) {
        textFinder.emplace(text);
    }
    const bool dateTest = criteria.HasDateTest();
    // Without a size or text criterion only whether a script exists matters, which a live
    // library answers without moving the definition.
    const bool scriptNeeded = criteria.m_nSizeMode != -1 || !text.empty();

    // One buffer for every script, so the search holds one script at a time.
    std::u16string objectName;
    std::u16string script;
    std::u16string dateText;
    const long count = list->GetCount();
    for (long i = 0; i < count && !IsCancelled(); ++i) {
        const auto item = list->GetItem(i);
        if (!item) {
            continue;
        }
        auto object = item->QueryDatabaseObject(flavour);
        if (!object) {
            continue;
        }
        if (m_pExamined) {
            m_pExamined->fetch_add(1, std::memory_order_relaxed);
        }

        if (!name.empty()) {
            objectName.clear();
            object->GetName(objectName);
            if (fold) {
                FoldUpper(objectName);
            }
            const bool nameOk = namePattern ? namePattern->Match(objectName) : objectName == name;
            if (!nameOk) {
                continue;
            }
        }

        script.clear();
        if (scriptNeeded ? !object->Script(script) : !object->HasScript()) {
            // A stop makes scripts fail too; those are no gap in what was searched.
            if (!IsCancelled()) {
                bool datesPass = true;
                if (dateTest) {
                    dateText.clear();
                    object->GetCreateDate(dateText);
                    datesPass = criteria.DatePasses(dateText);
                }
                if (datesPass) {
                    m_unreadScripts.push_back(DescribeUnreadScript(*object));
                }
            }
            continue;
        }

        bool pass = criteria.SizePasses(static_cast<std::int64_t>(script.size()));
        if (dateTest) {
            dateText.clear();
            object->GetCreateDate(dateText);
            if (!criteria.DatePasses(dateText)) {
                pass = false;
            }
        }
        if (!pass) {
            continue;
        }

        if (textPattern) {
            if (fold) {
                FoldUpper(script);
            }
            if (!textPattern->Match(script)) {
                continue;
            }
        } else if (textFinder) {
            if (fold) {
                FoldUpper(script);
            }
            if (!textFinder->Contains(script)) {
                continue;
            }
        }

        matches.push_back(std::move(object));
    }
    return 1;
}

namespace {

// What one part of a pass found. Filled by whichever thread took the part.
struct SPartResult
{
    DatabaseObjectList m_matches;
    std::vector<CDatabaseObjectFind::SUnreadScript> m_unread;
    bool m_bComplete = false; // every object of the part was tested
    bool m_bFailed = false;   // the pass broke: its answers cannot be trusted
};

// A list this short is searched on the calling thread in one pass: a second thread costs
// more than it wins.
constexpr std::int64_t kObjectsPerPart = 2048;
// Parts per thread: enough that a thread that finishes early finds more work.
constexpr int kPartsPerThread = 8;
// Threads beyond two bring little: the passes share the file's pages and the memory bus.
constexpr unsigned kMostThreads = 4;

} // namespace

bool CDatabaseObjectFind::FindByScan(IObjectScan& scan, const SObjectCriteria& criteria,
                                     int typeCode, DatabaseObjectList& matches)
{
    const unsigned cores =
        std::max(1u, std::min(std::thread::hardware_concurrency(), kMostThreads));
    std::vector<SScanPart> plan;
    if (!scan.PlanScan(typeCode, static_cast<int>(cores) * kPartsPerThread, plan)) {
        return false;
    }
    // Parts narrower than kObjectsPerPart positions are joined, so a small database is one
    // pass.
    std::vector<SScanPart> parts;
    for (const SScanPart& part : plan) {
        if (!parts.empty() && static_cast<std::uint64_t>(part.m_nLast) -
                                      static_cast<std::uint64_t>(parts.back().m_nFirst) <
                                  static_cast<std::uint64_t>(kObjectsPerPart)) {
            parts.back().m_nLast = part.m_nLast;
        } else {
            parts.push_back(part);
        }
    }
    std::vector<SPartResult> results(parts.size());
    std::atomic<std::size_t> nextPart{0};

    // Each thread takes the next part not yet taken, so the parts finish roughly in order
    // and a thread that is held up does not hold the others.
    auto work = [&]() {
        CScanMatcher matcher(criteria);
        const bool withScripts = matcher.ReadsEveryScript();
        std::int64_t examined = 0;
        for (;;) {
            const std::size_t index = nextPart.fetch_add(1, std::memory_order_relaxed);
            if (index >= parts.size() || IsCancelled()) {
                break;
            }
            SPartResult& result = results[index];
            auto cursor = scan.OpenScan(typeCode, parts[index], withScripts);
            if (!cursor) {
                result.m_bFailed = true;
                break;
            }
            bool cancelled = false;
            while (cursor->Next()) {
                if (IsCancelled()) {
                    cancelled = true;
                    break;
                }
                if (m_pExamined && ++examined == 256) {
                    m_pExamined->fetch_add(examined, std::memory_order_relaxed);
                    examined = 0;
                }
                switch (matcher.Test(*cursor)) {
                case EScanOutcome::Matched:
                    result.m_matches.push_back(cursor->MakeObject());
                    break;
                case EScanOutcome::Unread:
                    // A stop makes scripts fail too; those are no gap in what was searched.
                    if (!IsCancelled()) {
                        if (const auto object = cursor->MakeObject()) {
                            result.m_unread.push_back(DescribeUnreadScript(*object));
                        }
                    }
                    break;
                case EScanOutcome::Rejected:
                    break;
                }
            }
            result.m_bFailed = cursor->Failed();
            result.m_bComplete = !cancelled && !result.m_bFailed;
            if (!result.m_bComplete) {
                break;
            }
        }
        if (m_pExamined) {
            m_pExamined->fetch_add(examined, std::memory_order_relaxed);
        }
    };

    const std::size_t helpers =
        std::min<std::size_t>(cores, parts.size()) - (parts.empty() ? 0 : 1);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < helpers; ++i) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads: the parts are shared among those there are
        }
    }
    work();
    for (auto& thread : threads) {
        thread.join();
    }

    // The matches in list order: every part up to the first one left unfinished, and of that
    // one what it found before it stopped.
    DatabaseObjectList found;
    std::vector<SUnreadScript> unread;
    for (SPartResult& result : results) {
        if (result.m_bFailed) {
            if (IsCancelled()) {
                break;
            }
            return false; // the list walk answers instead
        }
        for (auto& object : result.m_matches) {
            found.push_back(std::move(object));
        }
        for (auto& entry : result.m_unread) {
            unread.push_back(std::move(entry));
        }
        if (!result.m_bComplete) {
            break;
        }
    }
    for (auto& object : found) {
        matches.push_back(std::move(object));
    }
    for (auto& entry : unread) {
        m_unreadScripts.push_back(std::move(entry));
    }
    return true;
}
