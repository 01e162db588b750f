#include "search/SearchRun.h"

#include "search/CDatabaseObjectFind.h"

#include <climits>
#include <cstdint>

std::mutex g_searchLock;
CDatabaseObjectFind* g_pCurrentSearch = nullptr;

void CancelCurrentSearch()
{
    std::lock_guard lock(g_searchLock);
    if (g_pCurrentSearch) {
        g_pCurrentSearch->Cancel();
    }
}

std::pair<int, int> TypeCodePair(int typeFilter)
{
    switch (typeFilter) {
    case ObjectType::UserDefinedDatatype:
    case ObjectType::View:
    case ObjectType::UserTable:
    case ObjectType::StoredProcedure:
    case ObjectType::Default:
    case ObjectType::Rule:
    case ObjectType::Trigger:
        return {typeFilter, typeFilter};
    case ObjectType::UserDefinedFunction:
        return {ObjectType::UserDefinedFunction, ObjectType::All};
    default:
        return {ObjectType::All, ObjectType::All};
    }
}

std::u16string MakeResultRow(const std::u16string& server, const std::u16string& database,
                             const std::u16string& type, const std::u16string& object,
                             const std::u16string& created)
{
    std::u16string row;
    row.reserve(server.size() + database.size() + type.size() + object.size() + created.size() + 4);
    row.append(server).append(1, u'\t').append(database).append(1, u'\t');
    row.append(type).append(1, u'\t').append(object).append(1, u'\t').append(created);
    return row;
}

namespace {

// The size edit's text read as a decimal integer: leading white space and a sign allowed,
// reading stops at the first non-digit, no digits give 0. Clamped to 32 bits.
std::int32_t ReadSize(const std::u16string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > INT32_MAX) {
            value = std::int64_t{INT32_MAX} + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(value);
}

void ApplyDateBounds(const SSearchCriteria& criteria, CDatabaseObjectFind& find)
{
    if (criteria.m_nDateMode != 1) {
        return;
    }
    switch (criteria.m_nCreatedMode) {
    case 0:
        if (criteria.m_dateFrom.IsValid()) {
            find.m_dateFrom = criteria.m_dateFrom;
            find.m_bDateFrom = 1;
        }
        if (criteria.m_dateTo.IsValid()) {
            find.m_dateTo = criteria.m_dateTo;
            find.m_bDateTo = 1;
        }
        break;
    case 1:
        if (criteria.m_months) {
            CDate::PreviousMonths(*criteria.m_months, find.m_dateFrom, find.m_dateTo);
            find.m_bDateFrom = find.m_bDateTo = 1;
        }
        break;
    case 2:
        if (criteria.m_days) {
            CDate::PreviousDays(*criteria.m_days, find.m_dateFrom, find.m_dateTo);
            find.m_bDateFrom = find.m_bDateTo = 1;
        }
        break;
    default:
        break;
    }
}

// Clears the current-search pointer before the search object goes, so a Stop can never
// write into a search being destroyed.
class CCurrentSearchScope
{
public:
    explicit CCurrentSearchScope(CDatabaseObjectFind& find)
    {
        std::lock_guard lock(g_searchLock);
        g_pCurrentSearch = &find;
    }
    ~CCurrentSearchScope()
    {
        std::lock_guard lock(g_searchLock);
        g_pCurrentSearch = nullptr;
    }
    CCurrentSearchScope(const CCurrentSearchScope&) = delete;
    CCurrentSearchScope& operator=(const CCurrentSearchScope&) = delete;
};

} // namespace

void SearchDatabase(ISearchHost* host, const SSearchCriteria& criteria,
                    const std::shared_ptr<IModelUnknown>& database, int modernType, int legacyType)
{
    if (!host || !database) {
        return;
    }
    CDatabaseObjectFind find;
    CCurrentSearchScope current(find);

    find.m_strName = criteria.m_strNamed;
    find.m_strText = criteria.m_strContainingText;
    find.m_bMatchCase = criteria.m_bMatchCase ? 1 : 0;
    find.m_bRegExp = criteria.m_bRegularExpression ? 1 : 0;
    ApplyDateBounds(criteria, find);
    if (criteria.m_strSize.empty()) {
        find.m_nSize = 0;
        find.m_nSizeMode = -1;
    } else {
        find.m_nSize = ReadSize(criteria.m_strSize);
        find.m_nSizeMode = criteria.m_nSizeIs;
    }
    find.m_pStopRequested = host->StopFlag();
    find.m_pExamined = host->ExaminedCounter();

    DatabaseObjectList matches;
    std::u16string server;
    std::u16string databaseName;
    auto searchWith = [&](std::shared_ptr<IDatabase> flavoured, int typeCode) {
        const EFlavour flavour = flavoured->GetFlavour();
        if (flavour == EFlavour::Modern) {
            find.AttachSQLDMODatabase(std::move(flavoured));
        } else {
            find.AttachSQLOLEDatabase(std::move(flavoured));
        }
        find.GetServerName(server);
        find.GetDatabaseName(databaseName);
        if (host->IsWindowAlive()) {
            host->SetStatusText(u"Searching " + server + u".." + databaseName);
        }
        if (flavour == EFlavour::Modern) {
            find.FindSQLDMOObjects(typeCode, matches);
        } else {
            find.FindSQLOLEObjects(typeCode, matches);
        }
        if (!find.m_strListError.empty()) {
            host->ReportDatabaseError(server, databaseName, find.m_strListError);
        }
    };
    if (auto modern = database->QueryDatabase(EFlavour::Modern)) {
        searchWith(std::move(modern), modernType);
    } else if (auto legacy = database->QueryDatabase(EFlavour::Legacy)) {
        searchWith(std::move(legacy), legacyType);
    } else {
        return;
    }

    std::u16string name;
    std::u16string type;
    std::u16string created;
    for (auto& object : matches) {
        if (!host->IsWindowAlive() || host->IsStopRequested()) {
            break;
        }
        name.clear();
        type.clear();
        created.clear();
        object->GetName(name);
        object->GetTypeName(type);
        object->GetCreateDate(created);
        if (host->IsWindowAlive()) {
            host->AddRow(MakeResultRow(server, databaseName, type, name, created),
                         std::move(object));
        }
    }
    matches.clear();
    // What was skipped is told only of a database searched to its end.
    if (host->IsWindowAlive() && !host->IsStopRequested()) {
        for (const auto& unread : find.m_unreadScripts) {
            host->ReportUnreadScript(server, databaseName, unread.m_strType, unread.m_strName,
                                     unread.m_strReason);
        }
    }
}

int SearchDatabases(ISearchHost& host, const SSearchCriteria& criteria,
                    const std::vector<std::shared_ptr<IModelUnknown>>& databases, int typeFilter)
{
    const auto [modernType, legacyType] = TypeCodePair(typeFilter);
    int searched = 0;
    for (const auto& database : databases) {
        if (!host.IsWindowAlive() || host.IsStopRequested()) {
            break;
        }
        SearchDatabase(&host, criteria, database, modernType, legacyType);
        ++searched;
    }
    return searched;
}
