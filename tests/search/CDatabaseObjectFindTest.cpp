#include "search/CDatabaseObjectFind.h"

#include "search/SearchRun.h"
#include "tests/support/CMemoryLibrary.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// One server with one database; the test fills the objects.
struct SFixture
{
    explicit SFixture(std::vector<SMemoryObject> objects, EFlavour flavour = EFlavour::Modern)
    {
        auto catalog = std::make_shared<CMemoryCatalog>();
        SMemoryServer server;
        server.name = u"SRV1";
        server.acceptsModern = flavour == EFlavour::Modern;
        server.acceptsLegacy = flavour == EFlavour::Legacy;
        server.databases.push_back({u"pubs", std::move(objects), false, {}, {}});
        catalog->servers.push_back(std::move(server));
        m_pCatalog = catalog;
        CMemoryLibrary library(flavour, catalog);
        auto databases = ConnectAndListDatabases(library, u"SRV1");
        m_pDatabase = databases.at(0)->QueryDatabase(flavour);
        m_flavour = flavour;
        if (flavour == EFlavour::Modern) {
            m_find.AttachSQLDMODatabase(m_pDatabase);
        } else {
            m_find.AttachSQLOLEDatabase(m_pDatabase);
        }
    }

    std::vector<std::u16string> Find(int typeCode = ObjectType::All)
    {
        DatabaseObjectList matches;
        const int result = m_flavour == EFlavour::Modern
                               ? m_find.FindSQLDMOObjects(typeCode, matches)
                               : m_find.FindSQLOLEObjects(typeCode, matches);
        EXPECT_EQ(result, 1);
        std::vector<std::u16string> names;
        for (const auto& match : matches) {
            std::u16string name;
            match->GetName(name);
            names.push_back(name);
        }
        return names;
    }

    std::shared_ptr<CMemoryCatalog> m_pCatalog;
    std::shared_ptr<IDatabase> m_pDatabase;
    EFlavour m_flavour;
    CDatabaseObjectFind m_find;
};

using Names = std::vector<std::u16string>;

TEST(CDatabaseObjectFind, NoCriteriaReturnsEveryObjectOfTheTypeInListOrder)
{
    SFixture f(
        {MemObject(u"b_proc"), MemObject(u"a_view", ObjectType::View), MemObject(u"c_proc")});
    EXPECT_EQ(f.Find(), (Names{u"b_proc", u"a_view", u"c_proc"}));
    EXPECT_EQ(f.Find(ObjectType::StoredProcedure), (Names{u"b_proc", u"c_proc"}));
    EXPECT_EQ(f.Find(ObjectType::Trigger), Names{});
}

TEST(CDatabaseObjectFind, NameTestWithoutRegularExpressionIsAWholeNameComparison)
{
    struct SCase
    {
        std::u16string pattern;
        bool matchCase;
        Names expected;
    };
    const SCase cases[] = {
        {u"ORDERS", false, {u"Orders"}},
        {u"ORDERS", true, {}},
        {u"Orders", true, {u"Orders"}},
        {u"Order", false, {}},
        // Only a-z fold: E acute and e acute stay different.
        {u"CAF\u00C9", false, {u"CAF\u00C9"}},
        {u"caf\u00C9", false, {u"CAF\u00C9"}},
    };
    for (const auto& c : cases) {
        SFixture f({MemObject(u"Orders"), MemObject(u"OrdersArchive"), MemObject(u"caf\u00E9"),
                    MemObject(u"CAF\u00C9")});
        f.m_find.m_strName = c.pattern;
        f.m_find.m_bMatchCase = c.matchCase;
        EXPECT_EQ(f.Find(), c.expected) << "pattern index " << (&c - cases);
    }
}

TEST(CDatabaseObjectFind, RegularExpressionNameMatchesAnywhereUnlessAnchored)
{
    SFixture f({MemObject(u"sp_who"), MemObject(u"SP_help"), MemObject(u"Sp_x"),
                MemObject(u"usp_sp_mid")});
    f.m_find.m_bRegExp = 1;
    f.m_find.m_strName = u"^sp_";
    EXPECT_EQ(f.Find(), (Names{u"sp_who", u"SP_help", u"Sp_x"}));
    f.m_find.m_strName = u"sp_";
    EXPECT_EQ(f.Find().size(), 4u);
    f.m_find.m_bMatchCase = 1;
    EXPECT_EQ(f.Find(), (Names{u"sp_who", u"usp_sp_mid"}));
}

TEST(CDatabaseObjectFind, PatternThatDoesNotCompileMatchesNothing)
{
    SFixture f({MemObject(u"a[b", ObjectType::View, u"x [ y")});
    f.m_find.m_bRegExp = 1;
    f.m_find.m_strName = u"a[b";
    EXPECT_EQ(f.Find(), Names{});
    f.m_find.m_strName.clear();
    f.m_find.m_strText = u"[";
    EXPECT_EQ(f.Find(), Names{});
}

TEST(CDatabaseObjectFind, TextTestFindsAContiguousRunWithFoldingOfAsciiOnly)
{
    struct SCase
    {
        std::u16string text;
        bool matchCase;
        bool regExp;
        Names expected;
    };
    const SCase cases[] = {
        {u"select", false, false, {u"p1", u"p2"}},      {u"SELECT", true, false, {u"p2"}},
        {u"from orders", false, false, {u"p1", u"p2"}}, {u"from orders\n", false, false, {}},
        {u"from ordersx_", false, false, {u"p2"}},      {u"fromorders", false, false, {}},
        {u"\u00E9t\u00E9", false, false, {u"p3"}},      {u"\u00C9T\u00C9", false, false, {}},
        {u"sel.ct \\*", false, true, {u"p1", u"p2"}},   {u"^create", false, true, {u"p1", u"p2"}},
        {u"\\<orders\\>", false, true, {u"p1"}},
    };
    for (const auto& c : cases) {
        SFixture f({MemObject(u"p1", ObjectType::StoredProcedure,
                              u"create proc p1 as select * from Orders"),
                    MemObject(u"p2", ObjectType::StoredProcedure,
                              u"CREATE PROC p2 AS SELECT * FROM OrdersX_Archive"),
                    MemObject(u"p3", ObjectType::StoredProcedure, u"-- \u00E9t\u00E9")});
        f.m_find.m_strText = c.text;
        f.m_find.m_bMatchCase = c.matchCase;
        f.m_find.m_bRegExp = c.regExp;
        EXPECT_EQ(f.Find(), c.expected) << "case index " << (&c - cases);
    }
}

TEST(CDatabaseObjectFind, SizeIsTheScriptLengthInUtf16Units)
{
    std::u16string thousand(1000, u'x');
    SFixture f({MemObject(u"empty", ObjectType::View, u""),
                MemObject(u"short", ObjectType::View, u"abc"),
                MemObject(u"long", ObjectType::View, thousand),
                // One character outside the basic plane counts as two.
                MemObject(u"astral", ObjectType::View, u"\U0001F600")});
    struct SCase
    {
        int mode;
        int size;
        Names expected;
    };
    const SCase cases[] = {
        {-1, 0, {u"empty", u"short", u"long", u"astral"}},
        {0, 0, {u"empty"}},
        {0, 2, {u"astral"}},
        {1, 1000, {u"long"}},
        {2, 3, {u"empty", u"short", u"astral"}},
        {1, -5, {u"empty", u"short", u"long", u"astral"}},
    };
    for (const auto& c : cases) {
        f.m_find.m_nSizeMode = c.mode;
        f.m_find.m_nSize = c.size;
        EXPECT_EQ(f.Find(), c.expected) << "mode " << c.mode << " size " << c.size;
    }
}

TEST(CDatabaseObjectFind, DateBoundsAreInclusiveDays)
{
    SFixture f({MemObject(u"before", ObjectType::View, u"", u"2014-05-14 23:59:59"),
                MemObject(u"morning", ObjectType::View, u"", u"2014-05-15 00:00:00"),
                MemObject(u"evening", ObjectType::View, u"", u"2014-05-15 23:59:59"),
                MemObject(u"after", ObjectType::View, u"", u"2014-05-16 00:00:00")});
    f.m_find.m_dateFrom = CDate(2014, 5, 15);
    f.m_find.m_dateTo = CDate(2014, 5, 15);
    f.m_find.m_bDateFrom = f.m_find.m_bDateTo = 1;
    EXPECT_EQ(f.Find(), (Names{u"morning", u"evening"}));

    f.m_find.m_bDateTo = 0;
    EXPECT_EQ(f.Find(), (Names{u"morning", u"evening", u"after"}));

    // A failing size test is not rescued by a passing date.
    f.m_find.m_nSizeMode = 1;
    f.m_find.m_nSize = 10;
    EXPECT_EQ(f.Find(), Names{});
}

TEST(CDatabaseObjectFind, CreationDatesOfBothFlavoursIncludingShortForms)
{
    struct SCase
    {
        EFlavour flavour;
        std::u16string created;
        CDate day; // no date: the object must fail every bound
    };
    const SCase cases[] = {
        {EFlavour::Legacy, u"May  5 2014 10:20AM", CDate(2014, 5, 5)},
        {EFlavour::Legacy, u"Dec 31 1999 11:59PM", CDate(1999, 12, 31)},
        {EFlavour::Legacy, u"Foo 12 2014 10:20AM", CDate()},
        {EFlavour::Legacy, u"", CDate()},
        {EFlavour::Modern, u"2014-05-15", CDate(2014, 5, 15)},
        {EFlavour::Modern, u"2014-05-15 10:20:00", CDate(2014, 5, 15)},
        {EFlavour::Modern, u"2014-13-15 10:20:00", CDate()},
        {EFlavour::Modern, u"", CDate()},
    };
    for (const auto& c : cases) {
        SFixture f({MemObject(u"x", ObjectType::View, u"", c.created)}, c.flavour);
        f.m_find.m_dateFrom = CDate(1850, 1, 1);
        f.m_find.m_bDateFrom = 1;
        f.m_find.m_dateTo = CDate(2099, 12, 31);
        f.m_find.m_bDateTo = 1;
        EXPECT_EQ(f.Find().size(), c.day.IsValid() ? 1u : 0u) << "date index " << (&c - cases);
        if (c.day.IsValid()) {
            f.m_find.m_dateFrom = f.m_find.m_dateTo = c.day;
            EXPECT_EQ(f.Find().size(), 1u);
            f.m_find.m_dateFrom = f.m_find.m_dateTo = c.day - 1;
            EXPECT_EQ(f.Find().size(), 0u);
        }
        // Without a bound in force the date is not even read.
        f.m_find.m_bDateFrom = f.m_find.m_bDateTo = 0;
        EXPECT_EQ(f.Find().size(), 1u);
    }
}

TEST(CDatabaseObjectFind, SkipsMissingItemsItemsWithoutInterfaceAndFailedScripts)
{
    auto missing = MemObject(u"missing");
    missing.missing = true;
    auto foreign = MemObject(u"foreign");
    foreign.noInterface = true;
    auto noScript = MemObject(u"noScript");
    noScript.script.reset();
    SFixture f({MemObject(u"a"), missing, foreign, noScript, MemObject(u"b")});
    EXPECT_EQ(f.Find(), (Names{u"a", u"b"}));
}

TEST(CDatabaseObjectFind, FetchesOnlyWhatTheCriteriaNeed)
{
    SFixture f({MemObject(u"a"), MemObject(u"b"), MemObject(u"c")});
    f.m_find.m_strName = u"b";
    f.Find();
    EXPECT_EQ(f.m_pCatalog->scriptRequests.load(), 1);
    EXPECT_EQ(f.m_pCatalog->dateRequests.load(), 0);
}

TEST(CDatabaseObjectFind, WithoutListOrDatabaseNothingIsFound)
{
    SFixture f({MemObject(u"a")});
    DatabaseObjectList matches;
    EXPECT_EQ(f.m_find.FindSQLOLEObjects(ObjectType::All, matches), 0);
    EXPECT_TRUE(matches.empty());

    CDatabaseObjectFind empty;
    EXPECT_EQ(empty.FindSQLDMOObjects(ObjectType::All, matches), 0);
    std::u16string name = u"untouched";
    EXPECT_FALSE(empty.GetServerName(name));
    empty.GetDatabaseName(name);
    EXPECT_EQ(name, u"untouched");

    auto catalog = std::make_shared<CMemoryCatalog>();
    SMemoryServer server;
    server.name = u"S";
    server.noParentServer = true;
    server.databases.push_back({u"db", {MemObject(u"a")}, true, {}, {}});
    catalog->servers.push_back(server);
    CMemoryLibrary library(EFlavour::Modern, catalog);
    CDatabaseObjectFind find;
    find.AttachSQLDMODatabase(
        ConnectAndListDatabases(library, u"S").at(0)->QueryDatabase(EFlavour::Modern));
    EXPECT_EQ(find.FindSQLDMOObjects(ObjectType::All, matches), 1);
    EXPECT_TRUE(matches.empty());
    EXPECT_FALSE(find.GetServerName(name));
    find.GetDatabaseName(name);
    EXPECT_EQ(name, u"db");
}

TEST(CDatabaseObjectFind, AttachingOneFlavourReleasesTheOther)
{
    SFixture f({MemObject(u"a")});
    f.m_find.AttachSQLOLEDatabase(f.m_pDatabase);
    EXPECT_FALSE(f.m_find.m_pSQLDMODatabase);
    f.m_find.AttachSQLDMODatabase(f.m_pDatabase);
    EXPECT_FALSE(f.m_find.m_pSQLOLEDatabase);
}

TEST(CDatabaseObjectFind, CancelFinishesTheObjectInHandAndFetchesNoMore)
{
    std::vector<SMemoryObject> objects;
    for (int i = 0; i < 10; ++i) {
        objects.push_back(MemObject(u"o" + std::u16string(1, char16_t(u'0' + i))));
    }
    CDatabaseObjectFind* find = nullptr;
    objects[5].onScript = [&find] { find->Cancel(); };
    SFixture f(std::move(objects));
    find = &f.m_find;
    EXPECT_EQ(f.Find(), (Names{u"o0", u"o1", u"o2", u"o3", u"o4", u"o5"}));
    EXPECT_EQ(f.m_pCatalog->scriptRequests.load(), 6);

    // A cancel left over from before is cleared when the enumeration starts.
    f.m_pCatalog->scriptRequests = 0;
    find->Cancel();
    f.m_find.m_strName = u"O9";
    EXPECT_EQ(f.Find(), (Names{u"o9"}));
}

TEST(CDatabaseObjectFind, TheRunsStopFlagIsHeardEvenBeforeTheEnumerationStarts)
{
    SFixture f({MemObject(u"a"), MemObject(u"b")});
    std::atomic<bool> stop{true};
    f.m_find.m_pStopRequested = &stop;
    EXPECT_EQ(f.Find(), Names{});
}

// An object that knows whether it has a script without fetching it, as a live server's is.
class CCountingObject : public IDatabaseObject, public std::enable_shared_from_this<CCountingObject>
{
public:
    CCountingObject(std::u16string name, bool hasScript, int& scripts, int& probes)
        : m_strName(std::move(name)), m_bHasScript(hasScript), m_nScripts(scripts),
          m_nProbes(probes)
    {}
    std::shared_ptr<IDatabaseObject> QueryDatabaseObject(EFlavour) override
    {
        return shared_from_this();
    }
    EFlavour GetFlavour() const override { return EFlavour::Modern; }
    bool GetName(std::u16string& name) override
    {
        name = m_strName;
        return true;
    }
    bool GetTypeName(std::u16string& typeName) override
    {
        typeName = u"View";
        return true;
    }
    bool GetCreateDate(std::u16string& dateText) override
    {
        dateText = u"2014-05-15 10:20:00";
        return true;
    }
    bool Script(std::u16string& script) override
    {
        ++m_nScripts;
        script = u"CREATE VIEW " + m_strName + u" AS SELECT 1";
        return m_bHasScript;
    }
    bool HasScript() override
    {
        ++m_nProbes;
        return m_bHasScript;
    }

private:
    std::u16string m_strName;
    bool m_bHasScript;
    int& m_nScripts;
    int& m_nProbes;
};

class CFixedList : public IObjectList
{
public:
    explicit CFixedList(std::vector<std::shared_ptr<IModelUnknown>> items)
        : m_items(std::move(items))
    {}
    long GetCount() override { return static_cast<long>(m_items.size()); }
    std::shared_ptr<IModelUnknown> GetItem(long position) override
    {
        return m_items.at(static_cast<std::size_t>(position));
    }

private:
    std::vector<std::shared_ptr<IModelUnknown>> m_items;
};

// A database whose list is fixed, or whose list query blocks until CancelQueries.
class CQueryDatabase : public IDatabase, public std::enable_shared_from_this<CQueryDatabase>
{
public:
    std::shared_ptr<IDatabase> QueryDatabase(EFlavour) override { return shared_from_this(); }
    EFlavour GetFlavour() const override { return EFlavour::Modern; }
    bool GetName(std::u16string& name) override
    {
        name = u"db";
        return true;
    }
    std::shared_ptr<IServer> GetParentServer() override { return nullptr; }
    std::shared_ptr<IObjectList> ListObjects(int, int) override
    {
        return std::make_shared<CFixedList>(m_items);
    }
    std::shared_ptr<IObjectList> ListObjectsUntil(int typeCode, int sortCode,
                                                  const std::atomic<bool>* cancel) override
    {
        if (!m_bBlock) {
            return ListObjects(typeCode, sortCode);
        }
        std::unique_lock lock(m_lock);
        m_bQueryRunning = true;
        m_wake.notify_all();
        // Bounded: a cancel that never comes fails the test instead of hanging it.
        m_wake.wait_for(lock, std::chrono::seconds(10), [&] { return m_bCancelled; });
        m_bFlagSetWhenCancelled = cancel != nullptr && cancel->load();
        return nullptr;
    }
    void CancelQueries() override
    {
        std::lock_guard lock(m_lock);
        ++m_nCancels;
        m_bCancelled = true;
        m_wake.notify_all();
    }

    std::vector<std::shared_ptr<IModelUnknown>> m_items;
    bool m_bBlock = false;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_bQueryRunning = false;
    bool m_bCancelled = false;
    bool m_bFlagSetWhenCancelled = false;
    int m_nCancels = 0;
};

TEST(CDatabaseObjectFind, WithoutSizeOrTextCriterionNoScriptIsFetched)
{
    struct SCase
    {
        const char* m_szWhat;
        std::u16string m_strName;
        std::u16string m_strText;
        int m_nSizeMode;
        bool m_bDate;
        bool m_bScripts; // Script asked (else HasScript)
    };
    const SCase cases[] = {
        {"nothing", u"", u"", -1, false, false}, {"name", u"B", u"", -1, false, false},
        {"date", u"", u"", -1, true, false},     {"text", u"", u"VIEW", -1, false, true},
        {"size", u"", u"", 1, false, true},
    };
    for (const auto& c : cases) {
        int scripts = 0;
        int probes = 0;
        auto database = std::make_shared<CQueryDatabase>();
        database->m_items = {std::make_shared<CCountingObject>(u"a", true, scripts, probes),
                             std::make_shared<CCountingObject>(u"b", false, scripts, probes),
                             std::make_shared<CCountingObject>(u"c", true, scripts, probes)};
        CDatabaseObjectFind find;
        find.AttachSQLDMODatabase(database);
        find.m_strName = c.m_strName;
        find.m_strText = c.m_strText;
        find.m_nSizeMode = c.m_nSizeMode;
        find.m_nSize = 0;
        if (c.m_bDate) {
            find.m_bDateFrom = 1;
            find.m_dateFrom = CDate(2000, 1, 1);
        }
        DatabaseObjectList matches;
        EXPECT_EQ(find.FindSQLDMOObjects(ObjectType::All, matches), 1);
        const int asked = c.m_strName.empty() ? 3 : 1;
        EXPECT_EQ(scripts, c.m_bScripts ? asked : 0) << c.m_szWhat;
        EXPECT_EQ(probes, c.m_bScripts ? 0 : asked) << c.m_szWhat;
        // "b" has no script, so it is never a match.
        for (const auto& match : matches) {
            std::u16string name;
            match->GetName(name);
            EXPECT_NE(name, u"b") << c.m_szWhat;
        }
        EXPECT_EQ(matches.size(), c.m_strName.empty() ? 2u : 0u) << c.m_szWhat;
    }
}

TEST(CDatabaseObjectFind, CancelReachesTheQueryInFlight)
{
    auto database = std::make_shared<CQueryDatabase>();
    database->m_bBlock = true;
    CDatabaseObjectFind find;
    find.AttachSQLDMODatabase(database);
    DatabaseObjectList matches;
    std::thread worker([&] { find.FindSQLDMOObjects(ObjectType::All, matches); });
    {
        std::unique_lock lock(database->m_lock);
        ASSERT_TRUE(database->m_wake.wait_for(lock, std::chrono::seconds(10),
                                              [&] { return database->m_bQueryRunning; }));
    }
    {
        std::lock_guard lock(g_searchLock);
        find.Cancel();
    }
    worker.join();
    EXPECT_EQ(database->m_nCancels, 1);
    EXPECT_TRUE(database->m_bFlagSetWhenCancelled);
    // Between lists the database is no longer a target.
    find.Cancel();
    EXPECT_EQ(database->m_nCancels, 1);
}

} // namespace
