// The snapshot library's passes (IObjectScan) against the object-list walk: random criteria
// over random catalogues, through CDatabaseObjectFind, row for row. The in-memory library
// holding the same objects (decoded as the snapshot decodes them) is the independent
// reference; the list walk over the same file is the second.

#include "catalog/CSnapshotLibrary.h"
#include "catalog/CSnapshotWriter.h"
#include "platform/Utf.h"
#include "search/CDatabaseObjectFind.h"
#include "search/SearchRun.h"
#include "tests/support/CMemoryLibrary.h"
#include "tests/support/CRecordingHost.h"
#include "tests/support/CScratchFolder.h"

#include <chrono>
#include <climits>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <thread>

namespace {

using quarrow::FromUtf8;
using quarrow::ToUtf8;

struct SRandomObject
{
    std::string m_strName;
    int m_nCode = ObjectType::StoredProcedure;
    std::string m_strTypeName;
    std::string m_strCreated;
    std::optional<std::string> m_script;
};

const std::pair<int, const char*> kKinds[] = {
    {ObjectType::StoredProcedure, "Stored Procedure"},
    {ObjectType::View, "View"},
    {ObjectType::UserTable, "User Table"},
    {ObjectType::UserDefinedFunction, "User Defined Function"},
    {ObjectType::Trigger, "Trigger"},
};

// Pieces scripts and names are made of: words in mixed case that criteria look for, bytes
// beyond ASCII (two-, three- and four-byte sequences, an accented capital that must not fold),
// malformed bytes (a lone lead, a stray continuation, an overlong form, 0xFF) and a NUL.
const char* const kPieces[] = {
    "ledger",
    "LEDGER",
    "Ledger",
    "order",
    "Order",
    "ORD",
    "er",
    " ",
    "\n",
    "_",
    "x",
    "SELECT ",
    "\xc3\xa9",
    "\xc3\x89",
    "\xe2\x82\xac",
    "\xf0\x9d\x84\x9e",
    "\xc3",
    "\x80",
    "\xc0\xaf",
    "\xff",
    "" /* a NUL byte, made in Text() */,
    "r\xc3\xa9sum\xc3\xa9",
    "[a]",
    "*",
};

class CRandomCatalogue
{
public:
    explicit CRandomCatalogue(std::uint32_t seed) : m_random(seed) {}

    std::size_t Pick(std::size_t n)
    {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random);
    }

    std::string Text(std::size_t pieces)
    {
        std::string text;
        for (std::size_t i = 0; i < pieces; ++i) {
            const std::size_t k = Pick(std::size(kPieces));
            // The NUL piece is one byte long, which strlen cannot tell.
            text += k == 20 ? std::string(1, '\0') : std::string(kPieces[k]);
        }
        return text;
    }

    SRandomObject Object(std::size_t index, bool legacy)
    {
        SRandomObject object;
        const auto& [code, typeName] = kKinds[Pick(std::size(kKinds))];
        object.m_nCode = code;
        object.m_strTypeName = typeName;
        object.m_strName = (Pick(4) == 0 ? Text(2) : "obj") + std::to_string(index % 50);
        const int year = 1995 + static_cast<int>(Pick(30));
        const int month = 1 + static_cast<int>(Pick(12));
        const int day = 1 + static_cast<int>(Pick(28));
        char created[64];
        static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        if (legacy) {
            std::snprintf(created, sizeof created, "%s %2d %d 10:20AM", kMonths[month - 1], day,
                          year);
        } else {
            std::snprintf(created, sizeof created, "%04d-%02d-%02d 10:20:00", year, month, day);
        }
        object.m_strCreated = Pick(20) == 0 ? std::string("garbled") : std::string(created);
        switch (Pick(12)) {
        case 0:
            break; // no script
        case 1:
            object.m_script = std::string();
            break;
        case 2:
            // Longer than a page of the file, so it runs on into overflow pages.
            object.m_script = Text(1500 + Pick(3000));
            break;
        default:
            object.m_script = Text(Pick(60));
            break;
        }
        return object;
    }

    std::mt19937 m_random;
};

// A random catalogue, written as a snapshot and held as the in-memory library's catalogue.
struct SCataloguePair
{
    std::filesystem::path m_path;
    bool m_bLegacy = false;
    std::vector<std::vector<SRandomObject>> m_databases;
};

void WriteSnapshot(const SCataloguePair& pair)
{
    CSnapshotWriter writer;
    ASSERT_TRUE(writer.Create(pair.m_path, pair.m_bLegacy ? "legacy" : "modern", "SRV",
                              "2024-01-02T03:04:05"))
        << writer.GetError();
    for (std::size_t d = 0; d < pair.m_databases.size(); ++d) {
        const auto id = writer.AddDatabase("db" + std::to_string(d));
        ASSERT_GE(id, 0);
        for (const auto& o : pair.m_databases[d]) {
            std::optional<std::string_view> script;
            if (o.m_script) {
                script = *o.m_script;
            }
            ASSERT_TRUE(writer.AddObject(id, o.m_strName, o.m_nCode, o.m_strTypeName,
                                         o.m_strCreated, script));
        }
    }
    ASSERT_TRUE(writer.Commit()) << writer.GetError();
}

void ExecSql(const std::filesystem::path& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    std::string text = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text;
}

std::shared_ptr<CMemoryCatalog> MemoryCatalogue(const SCataloguePair& pair)
{
    auto catalog = std::make_shared<CMemoryCatalog>();
    SMemoryServer server;
    server.name = u"SRV";
    server.acceptsModern = !pair.m_bLegacy;
    server.acceptsLegacy = pair.m_bLegacy;
    for (std::size_t d = 0; d < pair.m_databases.size(); ++d) {
        SMemoryDatabase database;
        database.name = FromUtf8("db" + std::to_string(d));
        for (const auto& o : pair.m_databases[d]) {
            SMemoryObject object;
            object.name = FromUtf8(o.m_strName);
            object.typeName = FromUtf8(o.m_strTypeName);
            object.created = FromUtf8(o.m_strCreated);
            object.typeCode = o.m_nCode;
            object.script = o.m_script ? std::optional(FromUtf8(*o.m_script)) : std::nullopt;
            database.objects.push_back(std::move(object));
        }
        server.databases.push_back(std::move(database));
    }
    catalog->servers.push_back(std::move(server));
    return catalog;
}

struct SCriteria
{
    std::u16string m_strName;
    std::u16string m_strText;
    int m_bMatchCase = 0;
    int m_bRegExp = 0;
    int m_nSizeMode = -1;
    int m_nSize = 0;
    CDate m_from;
    CDate m_to;
    int m_nType = ObjectType::All;

    std::string Describe() const
    {
        return "name '" + ToUtf8(m_strName) + "' text '" + ToUtf8(m_strText) + "' case " +
               std::to_string(m_bMatchCase) + " regexp " + std::to_string(m_bRegExp) + " size " +
               std::to_string(m_nSizeMode) + "/" + std::to_string(m_nSize) + " dates " +
               std::to_string(m_from.GetDayNumber()) + ".." + std::to_string(m_to.GetDayNumber()) +
               " type " + std::to_string(m_nType);
    }
};

SCriteria RandomCriteria(CRandomCatalogue& random, const std::vector<SRandomObject>& objects)
{
    SCriteria c;
    // Names and texts taken from the catalogue, so that criteria meet objects; their case is
    // changed at random.
    auto someScript = [&]() -> std::string {
        for (int tries = 0; tries < 10 && !objects.empty(); ++tries) {
            const auto& o = objects[random.Pick(objects.size())];
            if (o.m_script && !o.m_script->empty()) {
                return *o.m_script;
            }
        }
        return "ledger";
    };
    auto recase = [&](std::u16string text) {
        for (char16_t& ch : text) {
            if (random.Pick(3) == 0 && ch < 0x80 && std::isalpha(static_cast<int>(ch))) {
                ch = static_cast<char16_t>(ch ^ 0x20);
            }
        }
        return text;
    };
    if (random.Pick(3) == 0 && !objects.empty()) {
        c.m_strName = recase(FromUtf8(objects[random.Pick(objects.size())].m_strName));
    }
    switch (random.Pick(5)) {
    case 0:
        break;
    case 1: {
        const std::u16string pieces[] = {
            u"LEDGER", u"ledger",     u"ORDER", u"\u00e9", u"\u00c9", u"\u20ac",  u"\U0001D11E",
            u"\ufffd", u"R\u00c9SUM", u"[A]",   u"ER X",   u"e",      u"SELECT L"};
        c.m_strText = pieces[random.Pick(std::size(pieces))];
        break;
    }
    default: {
        // A piece of a real script, up to 12 characters.
        const std::u16string script = FromUtf8(someScript());
        const std::size_t at = random.Pick(script.size());
        c.m_strText = recase(script.substr(at, 1 + random.Pick(12)));
        break;
    }
    }
    c.m_bMatchCase = static_cast<int>(random.Pick(2));
    if (random.Pick(5) == 0) {
        const std::u16string patterns[] = {u"^OBJ", u"LEDG[E]R", u"O.*R", u"[0-9]+",
                                           u"x$",   u"\u00e9",   u"[",    u"LEDGER|ORDER"};
        c.m_bRegExp = 1;
        if (!c.m_strName.empty() || random.Pick(2) == 0) {
            c.m_strName = patterns[random.Pick(std::size(patterns))];
        }
        if (!c.m_strText.empty() || random.Pick(2) == 0) {
            c.m_strText = patterns[random.Pick(std::size(patterns))];
        }
    }
    if (random.Pick(3) == 0) {
        c.m_nSizeMode = static_cast<int>(random.Pick(3));
        const std::string script = someScript();
        c.m_nSize =
            static_cast<int>(FromUtf8(script).size()) + static_cast<int>(random.Pick(3)) - 1;
    }
    if (random.Pick(4) == 0) {
        c.m_from = CDate(2000 + static_cast<int>(random.Pick(10)),
                         1 + static_cast<int>(random.Pick(12)), 1);
    }
    if (random.Pick(4) == 0) {
        c.m_to = CDate(2005 + static_cast<int>(random.Pick(20)),
                       1 + static_cast<int>(random.Pick(12)), 28);
    }
    const int types[] = {ObjectType::All, ObjectType::All, ObjectType::StoredProcedure,
                         ObjectType::View, ObjectType::UserDefinedFunction};
    c.m_nType = types[random.Pick(std::size(types))];
    return c;
}

// One row as the search run shows it, plus the script its object gives.
std::vector<std::u16string> Rows(const DatabaseObjectList& matches)
{
    std::vector<std::u16string> rows;
    for (const auto& object : matches) {
        std::u16string name, type, created, script;
        object->GetName(name);
        object->GetTypeName(type);
        object->GetCreateDate(created);
        const bool hasScript = object->Script(script);
        rows.push_back(MakeResultRow(u"", u"", type, name, created) + u"\t" +
                       (hasScript ? script : u"(none)"));
    }
    return rows;
}

std::vector<std::u16string> Search(const std::shared_ptr<IModelUnknown>& unknown,
                                   const SCriteria& c, bool useScan,
                                   const std::atomic<bool>* stop = nullptr,
                                   std::atomic<std::int64_t>* examined = nullptr)
{
    CDatabaseObjectFind find;
    find.m_strName = c.m_strName;
    find.m_strText = c.m_strText;
    find.m_bMatchCase = c.m_bMatchCase;
    find.m_bRegExp = c.m_bRegExp;
    find.m_nSizeMode = c.m_nSizeMode;
    find.m_nSize = c.m_nSize;
    find.m_dateFrom = c.m_from;
    find.m_bDateFrom = c.m_from.IsValid() ? 1 : 0;
    find.m_dateTo = c.m_to;
    find.m_bDateTo = c.m_to.IsValid() ? 1 : 0;
    find.m_bUseScan = useScan;
    find.m_pStopRequested = stop;
    find.m_pExamined = examined;
    DatabaseObjectList matches;
    if (auto modern = unknown->QueryDatabase(EFlavour::Modern)) {
        find.AttachSQLDMODatabase(modern);
        EXPECT_EQ(find.FindSQLDMOObjects(c.m_nType, matches), 1);
    } else {
        auto legacy = unknown->QueryDatabase(EFlavour::Legacy);
        EXPECT_TRUE(legacy);
        find.AttachSQLOLEDatabase(legacy);
        EXPECT_EQ(find.FindSQLOLEObjects(c.m_nType, matches), 1);
    }
    EXPECT_TRUE(find.m_strListError.empty()) << ToUtf8(find.m_strListError);
    // The objects skipped for want of a script are part of the answer too, in list order.
    auto rows = Rows(matches);
    for (const auto& unread : find.m_unreadScripts) {
        rows.push_back(u"unread\t" + unread.m_strType + u"\t" + unread.m_strName);
    }
    return rows;
}

std::vector<std::shared_ptr<IModelUnknown>> Snapshot(const SCataloguePair& pair)
{
    CSnapshotLibrary library(pair.m_bLegacy ? EFlavour::Legacy : EFlavour::Modern);
    return ConnectAndListDatabases(library, FromUtf8(pair.m_path.string()));
}

class CSnapshotScanTest : public ::testing::Test
{
protected:
    CScratchFolder m_scratch;
};

TEST_F(CSnapshotScanTest, RandomCriteriaOverRandomCataloguesAgreeRowForRow)
{
    // Bounded: 12 catalogues of up to 3 databases, 40 criteria each.
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        CRandomCatalogue random(seed);
        SCataloguePair pair;
        pair.m_path = m_scratch / ("random" + std::to_string(seed) + ".qcat");
        pair.m_bLegacy = seed % 4 == 0;
        const std::size_t databases = 1 + random.Pick(3);
        for (std::size_t d = 0; d < databases; ++d) {
            // Some lists long enough to be split among threads, some empty.
            const std::size_t sizes[] = {0, 1, 7, 300, 4500 + random.Pick(1500)};
            const std::size_t count = sizes[random.Pick(std::size(sizes))];
            std::vector<SRandomObject> objects;
            for (std::size_t i = 0; i < count; ++i) {
                objects.push_back(random.Object(i, pair.m_bLegacy));
            }
            pair.m_databases.push_back(std::move(objects));
        }
        WriteSnapshot(pair);
        if (seed % 3 == 0) {
            // Positions with gaps and below zero, as a file from elsewhere may number them;
            // an extra column and table, as a later format may add.
            ExecSql(pair.m_path, "UPDATE objects SET position = position * 7919 - 4000000;"
                                 "ALTER TABLE objects ADD COLUMN refreshed TEXT DEFAULT 'x';"
                                 "CREATE TABLE refresh_log(at TEXT, note TEXT);");
        }
        auto memory = MemoryCatalogue(pair);
        CMemoryLibrary memoryLibrary(pair.m_bLegacy ? EFlavour::Legacy : EFlavour::Modern, memory);
        auto reference = ConnectAndListDatabases(memoryLibrary, u"SRV");
        auto snapshot = Snapshot(pair);
        ASSERT_EQ(snapshot.size(), databases);
        ASSERT_EQ(reference.size(), databases);

        for (int trial = 0; trial < 40; ++trial) {
            const std::size_t d = random.Pick(databases);
            const SCriteria c = RandomCriteria(random, pair.m_databases[d]);
            const auto expected = Search(reference[d], c, false);
            std::atomic<std::int64_t> examined{0};
            const auto scanned = Search(snapshot[d], c, true, nullptr, &examined);
            const auto walked = Search(snapshot[d], c, false);
            ASSERT_EQ(scanned, expected)
                << "seed " << seed << " trial " << trial << ": " << c.Describe();
            ASSERT_EQ(walked, expected) << "seed " << seed << " trial " << trial;
            // Every object of the list is counted once, whichever part it was in.
            const auto& objects = pair.m_databases[d];
            const auto listed = std::count_if(objects.begin(), objects.end(), [&](const auto& o) {
                return c.m_nType == ObjectType::All || o.m_nCode == c.m_nType;
            });
            EXPECT_EQ(examined.load(), listed) << c.Describe();
        }
    }
}

TEST_F(CSnapshotScanTest, StopLeavesTheMatchesOfAPrefixOfTheList)
{
    CRandomCatalogue random(99);
    SCataloguePair pair;
    pair.m_path = m_scratch / "stop.qcat";
    pair.m_databases.emplace_back();
    for (std::size_t i = 0; i < 40000; ++i) {
        SRandomObject object = random.Object(i, false);
        object.m_script = "SELECT " + std::to_string(i) + (i % 3 == 0 ? " ledger" : "");
        pair.m_databases[0].push_back(std::move(object));
    }
    WriteSnapshot(pair);
    auto snapshot = Snapshot(pair);
    ASSERT_EQ(snapshot.size(), 1u);
    SCriteria c;
    c.m_strText = u"LEDGER";
    const auto all = Search(snapshot[0], c, true);
    ASSERT_EQ(all.size(), 40000u / 3 + 1);

    // Stopped before it starts: nothing.
    std::atomic<bool> stop{true};
    EXPECT_TRUE(Search(snapshot[0], c, true, &stop).empty());

    // Stopped part-way (by a watcher that waits for some objects to be examined, for at
    // most two seconds): what came back is the start of the full answer.
    for (int round = 0; round < 3; ++round) {
        stop = false;
        std::atomic<std::int64_t> examined{0};
        std::thread watcher([&] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (examined.load() < 2000 * (round + 1) &&
                   std::chrono::steady_clock::now() < until) {
                std::this_thread::yield();
            }
            stop = true;
        });
        const auto some = Search(snapshot[0], c, true, &stop, &examined);
        watcher.join();
        ASSERT_LE(some.size(), all.size());
        EXPECT_TRUE(std::equal(some.begin(), some.end(), all.begin())) << "round " << round;
    }
}

TEST_F(CSnapshotScanTest, PositionsAtTheEndsOfTheRangeArePlannedAndRead)
{
    SCataloguePair pair;
    pair.m_path = m_scratch / "ends.qcat";
    pair.m_databases.emplace_back();
    for (int i = 0; i < 5; ++i) {
        SRandomObject object;
        object.m_strName = "o" + std::to_string(i);
        object.m_strTypeName = "Stored Procedure";
        object.m_strCreated = "2014-05-15 10:20:00";
        object.m_script = "script " + std::to_string(i);
        pair.m_databases[0].push_back(object);
    }
    WriteSnapshot(pair);
    ExecSql(pair.m_path,
            "UPDATE objects SET position = -9223372036854775807 - 1 WHERE position = 0;"
            "UPDATE objects SET position = 9223372036854775807 WHERE position = 4;"
            "UPDATE objects SET position = -5 WHERE position = 1;");
    auto snapshot = Snapshot(pair);
    ASSERT_EQ(snapshot.size(), 1u);
    auto database = snapshot[0]->QueryDatabase(EFlavour::Modern);
    IObjectScan* scan = database->QueryObjectScan();
    ASSERT_NE(scan, nullptr);
    for (int parts : {1, 2, 3, 64}) {
        std::vector<SScanPart> plan;
        ASSERT_TRUE(scan->PlanScan(ObjectType::All, parts, plan));
        ASSERT_FALSE(plan.empty());
        EXPECT_LE(plan.size(), static_cast<std::size_t>(parts));
        EXPECT_EQ(plan.front().m_nFirst, INT64_MIN);
        EXPECT_EQ(plan.back().m_nLast, INT64_MAX);
        std::vector<std::u16string> names;
        for (std::size_t i = 0; i < plan.size(); ++i) {
            if (i > 0) {
                EXPECT_EQ(plan[i].m_nFirst, plan[i - 1].m_nLast + 1); // no gap, no overlap
            }
            auto cursor = scan->OpenScan(ObjectType::All, plan[i], i % 2 == 0);
            ASSERT_TRUE(cursor);
            while (cursor->Next()) {
                std::u16string name;
                ASSERT_TRUE(cursor->GetName(name));
                names.push_back(name);
            }
            EXPECT_FALSE(cursor->Failed());
        }
        EXPECT_EQ(names, (std::vector<std::u16string>{u"o0", u"o1", u"o2", u"o3", u"o4"}))
            << parts << " parts";
    }
    // An empty database plans no part.
    SCataloguePair empty;
    empty.m_path = m_scratch / "empty.qcat";
    empty.m_databases.emplace_back();
    WriteSnapshot(empty);
    auto emptySnapshot = Snapshot(empty);
    std::vector<SScanPart> plan{{1, 2}};
    ASSERT_TRUE(emptySnapshot[0]
                    ->QueryDatabase(EFlavour::Modern)
                    ->QueryObjectScan()
                    ->PlanScan(ObjectType::All, 4, plan));
    EXPECT_TRUE(plan.empty());
}

TEST_F(CSnapshotScanTest, ACatalogueReplacedWhileOpenIsStillSearchedAsOpened)
{
    // The window keeps a catalogue open while a newer one is put in its place: the search
    // answers from the file that was opened, as every other request does.
    auto make = [&](const std::filesystem::path& path, const char* word) {
        SCataloguePair pair;
        pair.m_path = path;
        pair.m_databases.emplace_back();
        for (int i = 0; i < 3000; ++i) {
            SRandomObject object;
            object.m_strName = "o" + std::to_string(i);
            object.m_strTypeName = "Stored Procedure";
            object.m_strCreated = "2014-05-15 10:20:00";
            object.m_script = std::string("CREATE PROCEDURE ") + (i % 100 == 0 ? word : "x");
            pair.m_databases[0].push_back(object);
        }
        WriteSnapshot(pair);
        return pair;
    };
    auto first = make(m_scratch / "live.qcat", "first");
    auto snapshot = Snapshot(first);
    ASSERT_EQ(snapshot.size(), 1u);
    make(m_scratch / "newer.qcat", "second");
    std::filesystem::rename(m_scratch / "newer.qcat", m_scratch / "live.qcat");

    SCriteria c;
    c.m_strText = u"FIRST";
    EXPECT_EQ(Search(snapshot[0], c, true).size(), 30u);
    c.m_strText = u"SECOND";
    EXPECT_TRUE(Search(snapshot[0], c, true).empty());
}

TEST_F(CSnapshotScanTest, NoReadLockIsLeftOnTheFileBetweenSearches)
{
    // The reader connections stay open between searches; they must not keep the file locked
    // against a program that takes a new snapshot in its place.
    SCataloguePair pair;
    pair.m_path = m_scratch / "locks.qcat";
    pair.m_databases.emplace_back();
    for (int i = 0; i < 3000; ++i) {
        SRandomObject object;
        object.m_strName = i % 2 == 0 ? "even" : "odd";
        object.m_strTypeName = "Stored Procedure";
        object.m_strCreated = "2014-05-15 10:20:00";
        object.m_script = "CREATE PROCEDURE p" + std::to_string(i);
        pair.m_databases[0].push_back(object);
    }
    WriteSnapshot(pair);
    auto snapshot = Snapshot(pair);
    ASSERT_EQ(snapshot.size(), 1u);
    // With a name test the passes look scripts up one by one; without, they read them along.
    for (const char16_t* name : {u"EVEN", u""}) {
        SCriteria c;
        c.m_strName = name;
        c.m_strText = u"P2";
        EXPECT_FALSE(Search(snapshot[0], c, true).empty());
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(pair.m_path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE; COMMIT;", nullptr, nullptr, nullptr),
                  SQLITE_OK)
            << "name '" << ToUtf8(name) << "': " << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
}

TEST_F(CSnapshotScanTest, TheSearchRunDeliversTheSameRowsEitherWay)
{
    // Through SearchDatabases, as the window and quarrow-find drive it, against the memory
    // library holding the same catalogue.
    CRandomCatalogue random(7);
    SCataloguePair pair;
    pair.m_path = m_scratch / "run.qcat";
    for (int d = 0; d < 3; ++d) {
        pair.m_databases.emplace_back();
        for (std::size_t i = 0; i < 2500; ++i) {
            pair.m_databases.back().push_back(random.Object(i, false));
        }
    }
    WriteSnapshot(pair);
    auto memory = MemoryCatalogue(pair);
    CMemoryLibrary memoryLibrary(EFlavour::Modern, memory);
    auto reference = ConnectAndListDatabases(memoryLibrary, u"SRV");
    auto snapshot = Snapshot(pair);

    SSearchCriteria criteria;
    criteria.m_strContainingText = u"ledger";
    CRecordingHost expectedHost;
    CRecordingHost host;
    SearchDatabases(expectedHost, criteria, reference, ObjectType::All);
    SearchDatabases(host, criteria, snapshot, ObjectType::All);
    ASSERT_FALSE(expectedHost.m_rows.empty());
    ASSERT_EQ(host.m_rows.size(), expectedHost.m_rows.size());
    for (std::size_t i = 0; i < host.m_rows.size(); ++i) {
        // The first cell names the server as each library words it.
        const auto& text = host.m_rows[i].text;
        const auto& expected = expectedHost.m_rows[i].text;
        ASSERT_EQ(text.substr(text.find(u'\t')), expected.substr(expected.find(u'\t'))) << i;
    }
}

} // namespace
