#include "search/CDatabaseObjectFind.h"

#include "search/CRegPattern.h"
#include "search/CTextFinder.h"
#include "search/CreationDate.h"

#include <optional>
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

bool CDatabaseObjectFind::PassesDates(EFlavour flavour, IDatabaseObject& object,
                                      std::u16string& dateText) const
{
    dateText.clear();
    object.GetCreateDate(dateText);
    const CDate created = ParseCreationDate(flavour, dateText);
    // An object whose date cannot be read fails every bound in force.
    return created.IsValid() && !(m_bDateFrom && created < m_dateFrom) &&
           !(m_bDateTo && created > m_dateTo);
}

void CDatabaseObjectFind::NoteUnreadScript(IDatabaseObject& object)
{
    SUnreadScript unread;
    object.GetName(unread.m_strName);
    object.GetTypeName(unread.m_strType);
    unread.m_strReason = object.GetScriptError();
    if (unread.m_strReason.empty()) {
        unread.m_strReason = u"the script could not be read";
    }
    m_unreadScripts.push_back(std::move(unread));
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

    const bool fold = m_bMatchCase == 0;
    std::u16string text = m_strText;
    std::u16string name = m_strName;
    if (fold) {
        FoldUpper(text);
        FoldUpper(name);
    }

    const CCancelTarget cancelTarget(*this, database);
    if (IsCancelled()) {
        return 1;
    }
    const auto list = database->ListObjectsUntil(typeCode, 0, &m_bCancel);
    if (!list) {
        if (!IsCancelled()) {
            m_strListError = database->GetLastError();
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
    if (m_bRegExp) {
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
    const bool dateTest = m_bDateFrom || m_bDateTo;
    // Without a size or text criterion only whether a script exists matters, which a live
    // library answers without moving the definition.
    const bool scriptNeeded = m_nSizeMode != -1 || !text.empty();

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
            if (!IsCancelled() && (!dateTest || PassesDates(flavour, *object, dateText))) {
                NoteUnreadScript(*object);
            }
            continue;
        }

        const auto length = static_cast<std::int64_t>(script.size());
        bool pass = true;
        switch (m_nSizeMode) {
        case 0:
            pass = length == m_nSize;
            break;
        case 1:
            pass = length >= m_nSize;
            break;
        case 2:
            pass = length <= m_nSize;
            break;
        default:
            break;
        }

        if (dateTest && !PassesDates(flavour, *object, dateText)) {
            pass = false;
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
