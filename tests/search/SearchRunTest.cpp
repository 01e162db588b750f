#include "search/SearchRun.h"

#include "search/CDatabaseObjectFind.h"
#include "search/SearchCoverage.h"
#include "tests/support/CMemoryLibrary.h"
#include "tests/support/CRecordingHost.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using Rows = std::vector<std::u16string>;

SMemoryDatabase Database(std::u16string name, std::vector<SMemoryObject> objects)
{
    SMemoryDatabase database;
    database.name = std::move(name);
    database.objects = std::move(objects);
    return database;
}

SMemoryObject Object(std::u16string name, int type = ObjectType::StoredProcedure,
                     std::u16string created = u"2014-05-15 10:20:00")
{
    auto object = MemObject(std::move(name), type, u"create something", std::move(created));
    return object;
}

// A catalogue with servers and the databases of all of them, in order, connected through
// the modern library (then the legacy one for servers only it accepts).
struct SWorld
{
    std::shared_ptr<CMemoryCatalog> catalog = std::make_shared<CMemoryCatalog>();
    std::vector<std::shared_ptr<IModelUnknown>> databases;

    void Connect()
    {
        CMemoryLibrary modern(EFlavour::Modern, catalog);
        CMemoryLibrary legacy(EFlavour::Legacy, catalog);
        for (const auto& server : catalog->servers) {
            auto listed = ConnectAndListDatabases(modern, server.name);
            if (listed.empty()) {
                listed = ConnectAndListDatabases(legacy, server.name);
            }
            databases.insert(databases.end(), listed.begin(), listed.end());
        }
    }
};

TEST(SearchRun, TypeCodePairsAskTheLegacyFlavourForEveryTypeInsteadOfFunctions)
{
    const std::pair<int, std::pair<int, int>> cases[] = {
        {1, {1, 1}},     {4, {4, 4}},       {8, {8, 8}},       {16, {16, 16}},
        {64, {64, 64}},  {128, {128, 128}}, {256, {256, 256}}, {4096, {4096, 509}},
        {0, {509, 509}}, {-1, {509, 509}},  {509, {509, 509}}, {7, {509, 509}},
    };
    for (const auto& [filter, pair] : cases) {
        EXPECT_EQ(TypeCodePair(filter), pair) << filter;
    }
}

TEST(SearchRun, RowsCarryTheFiveCellsAndTheStatusNamesServerAndDatabase)
{
    SWorld world;
    SMemoryServer server;
    server.name = u"SRV1";
    auto object = Object(u"dbo.Orders", ObjectType::UserTable);
    object.typeName = u"User Table";
    server.databases.push_back(Database(u"pubs", {object}));
    world.catalog->servers.push_back(server);
    world.Connect();

    CRecordingHost host;
    SearchDatabases(host, SSearchCriteria{}, world.databases, 0);
    EXPECT_EQ(host.m_status, (Rows{u"Searching SRV1..pubs"}));
    EXPECT_EQ(host.RowTexts(), (Rows{u"SRV1\tpubs\tUser Table\tdbo.Orders\t2014-05-15 10:20:00"}));
    EXPECT_TRUE(host.m_rows.at(0).object);
    EXPECT_EQ(host.m_nExamined.load(), 1);
}

TEST(SearchRun, ADatabaseWithoutAnObjectListIsReportedAndTheNextIsSearched)
{
    SWorld world;
    SMemoryServer server;
    server.name = u"SRV1";
    auto broken = Database(u"locked", {Object(u"hidden")});
    broken.noObjectList = true;
    server.databases.push_back(broken);
    server.databases.push_back(Database(u"pubs", {Object(u"usp_a")}));
    world.catalog->servers.push_back(server);
    world.Connect();

    CRecordingHost host;
    EXPECT_EQ(SearchDatabases(host, SSearchCriteria{}, world.databases, 0), 2);
    EXPECT_EQ(host.m_databaseErrors,
              (Rows{u"SRV1..locked: the database gave no list of its objects"}));
    EXPECT_EQ(host.RowTexts().size(), 1u);

    // A stopped search is not a failed one.
    CRecordingHost stopped;
    stopped.m_bStop = true;
    SearchDatabase(&stopped, SSearchCriteria{}, world.databases.at(0), 509, 509);
    EXPECT_TRUE(stopped.m_databaseErrors.empty());
}

TEST(SearchRun, UndeliveredValuesGiveEmptyCells)
{
    SWorld world;
    SMemoryServer server;
    server.name = u"S";
    auto object = Object(u"x");
    object.typeName.reset();
    object.created.reset();
    server.databases.push_back(Database(u"db", {object}));
    world.catalog->servers.push_back(server);
    world.Connect();
    CRecordingHost host;
    SearchDatabases(host, SSearchCriteria{}, world.databases, 0);
    EXPECT_EQ(host.RowTexts(), (Rows{u"S\tdb\t\tx\t"}));
}

TEST(SearchRun, TwoServersWithADatabaseOfTheSameNameNameTheirOwnServer)
{
    SWorld world;
    for (const char16_t* name : {u"ALPHA", u"BETA"}) {
        SMemoryServer server;
        server.name = name;
        server.databases.push_back(Database(u"sales", {Object(u"p")}));
        world.catalog->servers.push_back(server);
    }
    world.Connect();
    CRecordingHost host;
    SearchDatabases(host, SSearchCriteria{}, world.databases, 0);
    ASSERT_EQ(host.RowTexts().size(), 2u);
    EXPECT_EQ(host.RowTexts()[0].substr(0, 6), u"ALPHA\t");
    EXPECT_EQ(host.RowTexts()[1].substr(0, 5), u"BETA\t");
}

TEST(SearchRun, ADatabaseOfferingBothFlavoursIsSearchedThroughTheModernOne)
{
    SWorld world;
    SMemoryServer server;
    server.name = u"OLD";
    server.acceptsModern = false;
    server.acceptsLegacy = true;
    auto database = Database(u"db", {Object(u"fn", ObjectType::UserDefinedFunction),
                                     Object(u"proc", ObjectType::StoredProcedure)});
    database.offersModern = true;
    server.databases.push_back(database);
    world.catalog->servers.push_back(server);
    world.Connect();

    // Through the modern flavour a function filter asks for 4096 only.
    CRecordingHost host;
    SearchDatabases(host, SSearchCriteria{}, world.databases, ObjectType::UserDefinedFunction);
    ASSERT_EQ(host.m_rows.size(), 1u);
    EXPECT_EQ(host.m_rows[0].object->GetFlavour(), EFlavour::Modern);

    // A legacy-only database is asked for every type instead.
    world.catalog->servers[0].databases[0].offersModern = false;
    CRecordingHost legacyHost;
    SearchDatabases(legacyHost, SSearchCriteria{}, world.databases,
                    ObjectType::UserDefinedFunction);
    EXPECT_EQ(legacyHost.m_rows.size(), 2u);
}

TEST(SearchRun, ADatabaseOfferingNeitherFlavourIsSkippedSilently)
{
    SWorld world;
    SMemoryServer server;
    server.name = u"S";
    auto database = Database(u"db", {Object(u"p")});
    database.offersModern = false;
    server.databases.push_back(database);
    world.catalog->servers.push_back(server);
    world.Connect();
    CRecordingHost host;
    SearchDatabases(host, SSearchCriteria{}, world.databases, 0);
    EXPECT_TRUE(host.m_status.empty());
    EXPECT_TRUE(host.m_rows.empty());

    // No host and no database do nothing at all.
    SearchDatabase(nullptr, SSearchCriteria{}, world.databases[0], 509, 509);
    SearchDatabase(&host, SSearchCriteria{}, nullptr, 509, 509);
    EXPECT_TRUE(host.m_status.empty());
}

TEST(SearchRun, StopDuringTheThirdOfFiveDatabasesKeepsEarlierRowsOnly)
{
    SWorld world;
    SMemoryServer server;
    server.name = u"S";
    for (int i = 1; i <= 5; ++i) {
        server.databases.push_back(
            Database(u"db" + std::u16string(1, char16_t(u'0' + i)), {Object(u"a"), Object(u"b")}));
    }
    CRecordingHost host;
    // The user presses Stop while the third database's first object is in hand.
    server.databases[2].objects[0].onScript = [&host] {
        host.m_bStop = true;
        CancelCurrentSearch();
    };
    world.catalog->servers.push_back(server);
    world.Connect();

    EXPECT_EQ(SearchDatabases(host, SSearchCriteria{}, world.databases, 0), 3);
    EXPECT_EQ(host.RowTexts().size(), 4u);
    EXPECT_EQ(host.m_status.back(), u"Searching S..db3");
    EXPECT_EQ(world.catalog->liveObjects.load(), 4); // only the rows hold objects
    EXPECT_EQ(g_pCurrentSearch, nullptr);
}

TEST(SearchRun, AWindowGoneDuringTheRunGetsNoRowsAndEveryReferenceIsReleased)
{
    SWorld world;
    SMemoryServer server;
    server.name = u"S";
    server.databases.push_back(Database(u"db", {Object(u"a"), Object(u"b"), Object(u"c")}));
    CRecordingHost host;
    host.m_onRow = [&host](std::size_t rows) {
        if (rows == 1) {
            host.m_bAlive = false;
        }
    };
    world.catalog->servers.push_back(server);
    world.Connect();
    SearchDatabases(host, SSearchCriteria{}, world.databases, 0);
    EXPECT_EQ(host.m_rows.size(), 1u);
    host.m_rows.clear();
    EXPECT_EQ(world.catalog->liveObjects.load(), 0);
}

struct SDateCase
{
    const char* label;
    SSearchCriteria criteria;
    Rows expected;
};

TEST(SearchRun, DateModesMapToBounds)
{
    CDate::SetClockForTesting(1400155200); // 2014-05-15 12:00 UTC
    SWorld world;
    SMemoryServer server;
    server.name = u"S";
    server.databases.push_back(Database(u"db", {Object(u"old", 16, u"2013-11-30 10:00:00"),
                                                Object(u"dec", 16, u"2013-12-01 10:00:00"),
                                                Object(u"may13", 16, u"2014-05-13 10:00:00"),
                                                Object(u"today", 16, u"2014-05-15 10:00:00")}));
    world.catalog->servers.push_back(server);
    world.Connect();

    auto criteria = [](int dateMode, int createdMode) {
        SSearchCriteria c;
        c.m_nDateMode = dateMode;
        c.m_nCreatedMode = createdMode;
        return c;
    };
    std::vector<SDateCase> cases;
    {
        auto c = criteria(1, 0);
        c.m_dateFrom = CDate(2013, 12, 1);
        cases.push_back({"between, lower bound only", c, {u"dec", u"may13", u"today"}});
    }
    {
        auto c = criteria(1, 0);
        c.m_dateTo = CDate(2013, 12, 1);
        cases.push_back({"between, upper bound only", c, {u"old", u"dec"}});
    }
    {
        auto c = criteria(0, 0);
        c.m_dateFrom = CDate(2014, 5, 15);
        cases.push_back({"all objects ignore the edits", c, {u"old", u"dec", u"may13", u"today"}});
    }
    {
        auto c = criteria(1, 1);
        c.m_months = 6;
        cases.push_back({"previous 6 months", c, {u"dec", u"may13", u"today"}});
    }
    cases.push_back(
        {"previous months, empty edit", criteria(1, 1), {u"old", u"dec", u"may13", u"today"}});
    {
        auto c = criteria(1, 2);
        c.m_days = 2;
        cases.push_back({"previous 2 days", c, {u"may13", u"today"}});
    }
    {
        auto c = criteria(1, 2);
        c.m_days = 0;
        cases.push_back({"previous 0 days", c, {u"today"}});
    }
    for (const auto& c : cases) {
        CRecordingHost host;
        SearchDatabases(host, c.criteria, world.databases, 0);
        Rows names;
        for (const auto& row : host.m_rows) {
            std::u16string name;
            row.object->GetName(name);
            names.push_back(name);
        }
        EXPECT_EQ(names, c.expected) << c.label;
    }
    CDate::SetClockForTesting(-1);
}

TEST(SearchRun, SizeTextIsReadAsADecimalInteger)
{
    SWorld world;
    SMemoryServer server;
    server.name = u"S";
    server.databases.push_back(
        Database(u"db", {MemObject(u"five", 16, u"12345"), MemObject(u"ten", 16, u"1234567890")}));
    world.catalog->servers.push_back(server);
    world.Connect();
    const std::pair<std::u16string, std::size_t> cases[] = {
        {u"", 2}, {u"  +5", 1}, {u"5abc", 1}, {u"abc", 0}, {u"-1", 0}, {u"99999999999", 0},
    };
    for (const auto& [text, rows] : cases) {
        SSearchCriteria criteria;
        criteria.m_strSize = text;
        criteria.m_nSizeIs = 0; // equal
        CRecordingHost host;
        SearchDatabases(host, criteria, world.databases, 0);
        EXPECT_EQ(host.m_rows.size(), rows);
    }
}

// Stop from the user-interface thread while the worker runs; meant for ThreadSanitizer.
TEST(SearchRun, CancelFromAnotherThreadIsSafe)
{
    SWorld world;
    SMemoryServer server;
    server.name = u"S";
    std::atomic<bool> reached{false};
    std::atomic<bool> stopped{false};
    for (int d = 0; d < 4; ++d) {
        std::vector<SMemoryObject> objects;
        for (int i = 0; i < 2000; ++i) {
            objects.push_back(MemObject(u"p", 16, std::u16string(200, u'x') + u"needle"));
        }
        server.databases.push_back(Database(u"db", std::move(objects)));
    }
    // The worker waits inside object 100 until the other thread has pressed Stop.
    server.databases[0].objects[100].onScript = [&] {
        reached = true;
        while (!stopped) {
            std::this_thread::yield();
        }
    };
    world.catalog->servers.push_back(server);
    world.Connect();

    SSearchCriteria criteria;
    criteria.m_strContainingText = u"needle";
    CRecordingHost host;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        SearchDatabases(host, criteria, world.databases, 0);
        done = true;
    });
    while (!reached) {
        std::this_thread::yield();
    }
    host.m_bStop = true;
    CancelCurrentSearch();
    stopped = true;
    while (!done) {
        CancelCurrentSearch();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(host.m_nExamined.load(), 101);
    EXPECT_TRUE(host.m_rows.empty()); // a stopped database delivers nothing
    EXPECT_EQ(g_pCurrentSearch, nullptr);
}

} // namespace

namespace {

// Objects whose script cannot be had are still skipped; the run names those that the other
// criteria would have let through, after the rows of their database.
TEST(SearchRun, UnreadScriptsAreNamedWithoutChangingTheRows)
{
    struct SCase
    {
        const char* what;
        SSearchCriteria criteria;
        Rows rows;
        Rows unread;
    };
    SSearchCriteria text;
    text.m_strContainingText = u"CREATE";
    SSearchCriteria named;
    named.m_strNamed = u"Locked";
    SSearchCriteria dated;
    dated.m_nDateMode = 1;
    dated.m_dateFrom = CDate(2015, 1, 1);
    SSearchCriteria sized;
    sized.m_strSize = u"1";
    sized.m_nSizeIs = 1;
    const std::u16string row = u"SRV1\tpubs\tStored Procedure\tOpen\t2016-01-01 00:00:00";
    const std::u16string locked = u"SRV1..pubs: Stored Procedure Locked: the module is encrypted";
    const std::u16string old = u"SRV1..pubs: Stored Procedure Old: the script could not be read";
    const SCase cases[] = {
        {"no criteria", {}, {row}, {locked, old}},
        {"a text criterion", text, {row}, {locked, old}},
        {"a size criterion", sized, {row}, {locked, old}},
        {"a name the others fail", named, {}, {locked}},
        {"a date the old one fails", dated, {row}, {locked}},
    };
    for (const auto& c : cases) {
        SWorld world;
        SMemoryServer server;
        server.name = u"SRV1";
        auto open = Object(u"Open", ObjectType::StoredProcedure, u"2016-01-01 00:00:00");
        auto lockedObject = Object(u"Locked", ObjectType::StoredProcedure, u"2016-01-01 00:00:00");
        lockedObject.script.reset();
        lockedObject.scriptError = u"the module is encrypted";
        auto oldObject = Object(u"Old", ObjectType::StoredProcedure, u"2010-01-01 00:00:00");
        oldObject.script.reset();
        server.databases.push_back(Database(u"pubs", {lockedObject, open, oldObject}));
        world.catalog->servers.push_back(server);
        world.Connect();

        CRecordingHost host;
        SearchDatabases(host, c.criteria, world.databases, 0);
        EXPECT_EQ(host.RowTexts(), c.rows) << c.what;
        EXPECT_EQ(host.m_unreadScripts, c.unread) << c.what;
    }
}

TEST(SearchRun, AStoppedSearchNamesNoUnreadScripts)
{
    SWorld world;
    SMemoryServer server;
    server.name = u"SRV1";
    auto locked = Object(u"Locked");
    locked.script.reset();
    server.databases.push_back(Database(u"pubs", {locked}));
    world.catalog->servers.push_back(server);
    world.Connect();

    CRecordingHost host;
    SearchDatabase(&host, SSearchCriteria{}, world.databases.at(0), ObjectType::All,
                   ObjectType::All);
    EXPECT_EQ(host.m_unreadScripts.size(), 1u);
    host.m_unreadScripts.clear();
    host.m_bStop = true;
    SearchDatabase(&host, SSearchCriteria{}, world.databases.at(0), ObjectType::All,
                   ObjectType::All);
    EXPECT_TRUE(host.m_unreadScripts.empty());
}

TEST(SearchCoverage, SummaryCountsDatabasesAndScripts)
{
    CSearchCoverage coverage;
    EXPECT_TRUE(coverage.IsComplete());
    EXPECT_EQ(coverage.Summary(), u"");
    coverage.AddScript(u"S", u"D", u"View", u"v1", u"encrypted");
    EXPECT_EQ(coverage.Summary(), u"1 script could not be read");
    coverage.AddDatabase(u"S", u"Locked", u"916");
    coverage.AddScript(u"S", u"D", u"View", u"v2", u"encrypted");
    EXPECT_EQ(coverage.Summary(), u"1 database could not be searched, 2 scripts could not be read");
    coverage.AddDatabase(u"S", u"Vault", u"916");
    EXPECT_EQ(coverage.Summary(),
              u"2 databases could not be searched, 2 scripts could not be read");
    EXPECT_EQ(CSearchCoverage::Describe(coverage.GetItems()[0]), u"S..D: View v1: encrypted");
    EXPECT_EQ(CSearchCoverage::Describe(coverage.GetItems()[1]), u"S..Locked: 916");
}

} // namespace
