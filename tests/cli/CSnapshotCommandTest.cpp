// quarrow-snapshot through the real path: the program ($QUARROW_SNAPSHOT) takes the TDS test
// server's catalogue over unixODBC and FreeTDS, and quarrow-find ($QUARROW_FIND) searches the
// snapshot and the live server side by side.

#include "cli/CSnapshotCommand.h"

#include "catalog/CSnapshotFile.h"
#include "catalog/CSnapshotWriter.h"
#include "tests/support/CScratchFolder.h"
#include "tests/support/CTdsTestServer.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <sqlite3.h>
#include <thread>

namespace {

struct SRun
{
    int m_nStatus = -1;
    std::string m_strOut;
    std::string m_strErr;
};

// One object of a served catalogue.
struct SServed
{
    std::int64_t m_nId;
    std::string m_strName;
    int m_nCode;
    std::optional<std::string> m_created;
    std::optional<std::string> m_script;
    std::string m_strStamp;
};

// Stamps as a modern server words them; to a legacy refresh they are just text that changed.
const std::string kStamp0 = "2020-03-20 10:00:00.000";
const std::string kStamp1 = "2020-03-21 10:00:00.000";
const std::string kStamp2 = "2020-03-22 10:00:00.000";
const std::string kStamp3 = "2020-03-23 10:00:00.000";

// A stamp as the changes tag carries it.
std::string Since(const std::string& stamp)
{
    return " since=" + stamp.substr(0, 10) + "T" + stamp.substr(11);
}

std::string TypeName(int code)
{
    switch (code) {
    case 1:
        return "User Defined Datatype";
    case 4:
        return "View";
    case 8:
        return "User Table";
    case 16:
        return "Stored Procedure";
    case 256:
        return "Trigger";
    default:
        return "User Defined Function";
    }
}

class CSnapshotCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* snapshot = std::getenv("QUARROW_SNAPSHOT");
        const char* find = std::getenv("QUARROW_FIND");
        const char* server = std::getenv("QUARROW_TDS_SERVER");
        const char* binary = std::getenv("QUARROW_BINARY_DIR");
        if (snapshot == nullptr || find == nullptr || server == nullptr || binary == nullptr ||
            access(server, X_OK) != 0) {
            GTEST_SKIP() << "needs QUARROW_SNAPSHOT, QUARROW_FIND and the TDS test server";
        }
        m_strSnapshot = snapshot;
        m_strFind = find;
        m_strServer = server;
        m_catalogues = std::filesystem::path(binary) / "share/quarrow/catalogues";
    }

    // Runs a program with its output in files; the environment has no password unless given,
    // and no terminal, so a prompt fails instead of waiting.
    pid_t Start(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& env)
    {
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        const auto outPath = m_scratch / "out.txt";
        const auto errPath = m_scratch / "err.txt";
        fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            setsid();
            if (chdir(m_scratch.Path().c_str()) != 0) {
                _exit(99);
            }
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(err, 2);
            unsetenv("QUARROW_PASSWORD");
            for (const auto& entry : env) {
                putenv(const_cast<char*>(entry.c_str()));
            }
            std::vector<char*> argv;
            for (auto& arg : all) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(98);
        }
        return pid;
    }

    SRun Finish(pid_t pid)
    {
        SRun run;
        int status = 0;
        waitpid(pid, &status, 0);
        run.m_nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        run.m_strOut = CScratchFolder::ReadFile(m_scratch / "out.txt");
        run.m_strErr = CScratchFolder::ReadFile(m_scratch / "err.txt");
        return run;
    }

    SRun Snapshot(const std::vector<std::string>& args)
    {
        return Finish(Start(m_strSnapshot, args, {"QUARROW_PASSWORD=pw"}));
    }

    SRun Find(const std::vector<std::string>& args)
    {
        return Finish(Start(m_strFind, args, {"QUARROW_PASSWORD=pw"}));
    }

    // A served catalogue of two databases; ids need not follow the order given.
    void WriteServed(const std::string& path, const char* flavour,
                     const std::map<std::string, std::vector<SServed>>& databases)
    {
        CSnapshotWriter writer;
        ASSERT_TRUE(writer.Create(path, flavour, "SERVED", "2024-01-01T00:00:00"));
        for (const auto& [name, objects] : databases) {
            const auto id = writer.AddDatabase(name);
            auto sorted = objects;
            std::sort(sorted.begin(), sorted.end(),
                      [](const auto& a, const auto& b) { return a.m_nId < b.m_nId; });
            for (const auto& o : sorted) {
                const auto typeName = TypeName(o.m_nCode);
                CSnapshotWriter::SObject object;
                object.m_strName = o.m_strName;
                object.m_nTypeCode = o.m_nCode;
                object.m_strTypeName = typeName;
                object.m_created = o.m_created;
                object.m_script = o.m_script;
                object.m_objectId = o.m_nId;
                object.m_stamp = o.m_strStamp;
                ASSERT_TRUE(writer.AddObject(id, object)) << writer.GetError();
            }
        }
        ASSERT_TRUE(writer.Commit()) << writer.GetError();
    }

    static std::map<std::string, std::vector<SServed>> Catalogue(bool modern)
    {
        const auto date = [&](int day) -> std::optional<std::string> {
            return modern ? "2020-03-" + std::to_string(10 + day) + " 10:20:30"
                          : "Mar " + std::to_string(10 + day) + " 2020 10:20AM";
        };
        std::string big = "CREATE PROCEDURE usp_Big AS\n";
        while (big.size() < 300000) {
            big += "-- \xc3\xb6\xe2\x82\xac\xf0\x9d\x84\x9e a long procedure line\n";
        }
        big += "SELECT 'NEEDLE'";
        return {
            {"Sales",
             {{100, "Orders", 8, date(1), "CREATE TABLE [dbo].[Orders] ([Id] int)", kStamp0},
              {200, "usp_PlaceOrder", 16, date(2), "CREATE PROCEDURE usp_PlaceOrder AS SELECT 1",
               kStamp0},
              {300, "usp_Secret", 16, date(3), std::nullopt, kStamp0},
              {400, "vw_Empty", 4, date(4), std::string(), kStamp0},
              {500, "sales.usp_Big", 16, date(5), big, kStamp0},
              {600, "tr_Audit", 256, date(6), "CREATE TRIGGER tr_Audit ON Orders FOR INSERT",
               kStamp0},
              {4294967297LL, "Phone", 1, modern ? date(7) : std::nullopt,
               "CREATE TYPE [dbo].[Phone] FROM [varchar](20) NULL", kStamp0}}},
            {"Archive",
             {{10, "OldOrders", 8, date(8), "CREATE TABLE OldOrders (Id int)", kStamp1},
              {20, "usp_Purge", 16, date(9), "CREATE PROCEDURE usp_Purge AS DELETE OldOrders",
               kStamp0}}},
        };
    }

    // Every row of a snapshot in a comparable form: database, position order.
    static std::string Contents(const std::string& path)
    {
        sqlite3* db = nullptr;
        std::string text;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            return "unreadable";
        }
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT d.name || '|' || coalesce(d.unreadable, '-') || '|' || "
                           "coalesce(o.position, '') || '|' || coalesce(o.name, '') || '|' || "
                           "coalesce(o.type_code, '') || '|' || coalesce(o.type_name, '') || '|' "
                           "|| coalesce(o.created, 'NULL') || '|' || coalesce(o.object_id, '') || "
                           "'|' || coalesce(o.stamp, 'NULL') || '|' || "
                           "coalesce(length(o.script) || ':' || substr(o.script, 1, 60), 'NULL') "
                           "FROM databases AS d LEFT JOIN objects AS o ON o.database_id = d.id "
                           "ORDER BY d.position, o.position",
                           -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            text += reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            text += '\n';
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return text;
    }

    // The log lines written after a count of lines.
    std::vector<std::string> LogSince(const std::filesystem::path& log, std::size_t from)
    {
        std::vector<std::string> lines;
        std::istringstream in(CScratchFolder::ReadFile(log));
        std::string line;
        for (std::size_t i = 0; std::getline(in, line); ++i) {
            if (i >= from) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    static std::string WithoutServer(const std::string& text, const std::string& server)
    {
        std::string out;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            // Rows (tab) and export lines (semicolon) start with the server.
            const bool row = line.rfind(server + "\t", 0) == 0 || line.rfind(server + ";", 0) == 0;
            out += row ? "S" + line.substr(server.size()) : line;
            out += '\n';
        }
        return out;
    }

    CScratchFolder m_scratch;
    std::string m_strSnapshot;
    std::string m_strFind;
    std::string m_strServer;
    std::filesystem::path m_catalogues;
};

struct SCriterion
{
    std::vector<std::string> m_args;
    bool m_bFinds = true;
};

TEST_F(CSnapshotCommandTest, SnapshotGivesTheLiveServersRowsForEveryCriterion)
{
    // The demo catalogues served live, taken, then searched both ways.
    const std::vector<std::pair<const char*, std::vector<SCriterion>>> flavours = {
        {"demo.qcat",
         {{{"-t", "BEGIN TRANSACTION"}},
          {{"-t", "begin transaction", "-c"}, false},
          {{"-n", "usp_PlaceOrder"}},
          {{"-n", "^usp_.*Order", "-E"}},
          {{"-E", "-t", "UPDATE +[A-Z]", "-T", "Trigger"}},
          {{"-T", "User Table", "--size-at-least", "400"}},
          {{"--size", "0"}, false},
          {{"--size-at-most", "120"}},
          {{"--created-after", "2010-01-01", "--created-before", "2014-12-31"}},
          {{"--created-after", "2030-01-01"}, false},
          {{"-T", "View", "--scripts"}},
          {{"-T", "User Defined Function", "--format", "csv"}},
          {{"-d", "Lending"}}}},
        {"demo-legacy.qcat",
         {{{"-t", "BEGIN TRAN"}},
          {{"-n", "^post_", "-E", "--scripts"}},
          {{"-T", "User Defined Function"}},
          {{"-T", "User Defined Datatype"}},
          {{"--created-after", "2003-01-01"}},
          {{"-T", "Trigger", "--size-at-least", "200"}},
          {{"-t", "x", "-c", "--format", "csv"}}}},
    };
    for (const auto& [catalogue, criteria] : flavours) {
        const std::string served = (m_catalogues / catalogue).string();
        CTdsTestServer process(m_strServer, {"--catalogue", served, "--unopenable", "Locked"});
        ASSERT_NE(process.GetPort(), 0);
        const std::string file = (m_scratch / "taken.qcat").string();
        const SRun taken = Snapshot({"-S", process.NameUtf8(), "-U", "sa", "-o", file});
        // Locked cannot be opened: recorded and said, the rest written.
        ASSERT_EQ(taken.m_nStatus, SnapshotExit::Unreadable) << taken.m_strErr;
        EXPECT_NE(taken.m_strErr.find("cannot read database Locked"), std::string::npos)
            << taken.m_strErr;
        for (const auto& criterion : criteria) {
            std::vector<std::string> live{"-S", process.NameUtf8(), "-U", "sa"};
            std::vector<std::string> offline{"-S", file};
            for (const auto& args : {&live, &offline}) {
                if (criterion.m_args[0] != "-d") {
                    // Locked says it cannot be searched in both; compared once below.
                    for (const char* name :
                         {"Accounts", "Stores", "Harbourside", "Lending", "Personnel"}) {
                        args->insert(args->end(), {"-d", name});
                    }
                }
                args->insert(args->end(), criterion.m_args.begin(), criterion.m_args.end());
            }
            const SRun want = Find(live);
            const SRun got = Find(offline);
            const std::string what = std::string(catalogue) + " " + criterion.m_args[0] + " " +
                                     (criterion.m_args.size() > 1 ? criterion.m_args[1] : "");
            EXPECT_EQ(got.m_nStatus, want.m_nStatus) << what << "\n" << got.m_strErr;
            EXPECT_EQ(WithoutServer(got.m_strOut, file),
                      WithoutServer(want.m_strOut, process.NameUtf8()))
                << what;
            EXPECT_EQ(want.m_strOut.empty(), !criterion.m_bFinds) << what;
        }
        // The unreadable database: both name it and exit alike.
        const SRun want = Find({"-S", process.NameUtf8(), "-U", "sa", "-d", "Locked"});
        const SRun got = Find({"-S", file, "-d", "Locked"});
        EXPECT_EQ(got.m_nStatus, want.m_nStatus);
        EXPECT_NE(got.m_strErr.find("..Locked: it could not be read when the snapshot was taken"),
                  std::string::npos)
            << got.m_strErr;
    }
}

TEST_F(CSnapshotCommandTest, RefreshReadsOnlyWhatChangedAndEqualsAFreshSnapshot)
{
    using Catalogue_t = std::map<std::string, std::vector<SServed>>;
    struct SStep
    {
        const char* m_strWhat;
        std::function<void(Catalogue_t&)> m_change;
        const char* m_strReport;
        // The statements of each database after USE, modern then legacy.
        std::vector<std::string> m_modernArchive;
        std::vector<std::string> m_modernSales;
        std::vector<std::string> m_legacyArchive;
        std::vector<std::string> m_legacySales;
    };
    const auto find = [](std::vector<SServed>& objects, std::int64_t id) -> SServed& {
        return *std::find_if(objects.begin(), objects.end(),
                             [&](const SServed& o) { return o.m_nId == id; });
    };
    const auto erase = [](std::vector<SServed>& objects, std::int64_t id) {
        objects.erase(std::remove_if(objects.begin(), objects.end(),
                                     [&](const SServed& o) { return o.m_nId == id; }),
                      objects.end());
    };
    const std::string m = " flavour=modern";
    const std::string l = " flavour=legacy";
    const std::vector<SStep> steps = {
        {"an alter, a drop, two creates, a rename keeping its stamp",
         [&](Catalogue_t& c) {
             auto& sales = c["Sales"];
             find(sales, 200).m_script = "CREATE PROCEDURE usp_PlaceOrder AS SELECT 2";
             find(sales, 200).m_strStamp = kStamp1;
             erase(sales, 300);
             sales.push_back(
                 {250, "usp_New", 16, sales[0].m_created, "CREATE PROCEDURE usp_New", kStamp1});
             sales.push_back(
                 {900, "vw_Late", 4, sales[0].m_created, "CREATE VIEW vw_Late AS 1", kStamp1});
             find(c["Archive"], 20).m_strName = "usp_PurgeAll";
         },
         "(4 read, 6 unchanged, 1 dropped)",
         // The drop and the rename (its stamp older than the newest) show in the summary:
         // both lists are read whole.
         {"quarrow:changes" + m + Since(kStamp1), "quarrow:summary" + m, "quarrow:stamps" + m,
          "quarrow:scripts-of" + m + " keys=20"},
         {"quarrow:changes" + m + Since(kStamp0), "quarrow:summary" + m, "quarrow:stamps" + m,
          "quarrow:scripts-of" + m + " keys=200,250,900"},
         {"quarrow:stamps" + l, "quarrow:scripts-of" + l + " keys=20"},
         {"quarrow:stamps" + l, "quarrow:scripts-of" + l + " keys=200,250,900"}},
        {"alters and a create only, one stamped as the newest stamp the file has",
         [&](Catalogue_t& c) {
             auto& sales = c["Sales"];
             find(sales, 100).m_script = "CREATE TABLE [dbo].[Orders] ([Id] bigint)";
             find(sales, 100).m_strStamp = kStamp1; // the same time as the last alter
             find(sales, 250).m_script = "CREATE PROCEDURE usp_New AS SELECT 3";
             find(sales, 250).m_strStamp = kStamp2;
             sales.push_back(
                 {950, "usp_Newer", 16, sales[0].m_created, "CREATE PROCEDURE usp_Newer", kStamp2});
         },
         "(3 read, 8 unchanged, 0 dropped)",
         {"quarrow:changes" + m + Since(kStamp1), "quarrow:summary" + m},
         {"quarrow:changes" + m + Since(kStamp1), "quarrow:summary" + m,
          "quarrow:scripts-of" + m + " keys=100,250,950"},
         {"quarrow:stamps" + l},
         {"quarrow:stamps" + l, "quarrow:scripts-of" + l + " keys=100,250,950"}},
        {"a drop and a create: the count stays",
         [&](Catalogue_t& c) {
             auto& sales = c["Sales"];
             erase(sales, 400);
             sales.push_back({960, "vw_Instead", 4, sales[0].m_created,
                              "CREATE VIEW vw_Instead AS 2", kStamp3});
         },
         "(1 read, 10 unchanged, 1 dropped)",
         {"quarrow:changes" + m + Since(kStamp1), "quarrow:summary" + m},
         {"quarrow:changes" + m + Since(kStamp2), "quarrow:summary" + m, "quarrow:stamps" + m,
          "quarrow:scripts-of" + m + " keys=960"},
         {"quarrow:stamps" + l},
         {"quarrow:stamps" + l, "quarrow:scripts-of" + l + " keys=960"}},
        {"a rename that moves the stamp, and one into another schema",
         [&](Catalogue_t& c) {
             auto& sales = c["Sales"];
             find(sales, 600).m_strName = "tr_AuditAll";
             find(sales, 600).m_strStamp = kStamp3;
             find(c["Archive"], 10).m_strName = "old.OldOrders";
             find(c["Archive"], 10).m_strStamp = kStamp3;
         },
         "(2 read, 9 unchanged, 0 dropped)",
         {"quarrow:changes" + m + Since(kStamp1), "quarrow:summary" + m,
          "quarrow:scripts-of" + m + " keys=10"},
         {"quarrow:changes" + m + Since(kStamp3), "quarrow:summary" + m,
          "quarrow:scripts-of" + m + " keys=600"},
         {"quarrow:stamps" + l, "quarrow:scripts-of" + l + " keys=10"},
         {"quarrow:stamps" + l, "quarrow:scripts-of" + l + " keys=600"}},
    };

    for (const bool modern : {true, false}) {
        const char* flavour = modern ? "modern" : "legacy";
        const std::string served = (m_scratch / "served.qcat").string();
        const auto log = m_scratch / "server.log";
        std::filesystem::remove(log);
        auto catalogue = Catalogue(modern);
        WriteServed(served, flavour, catalogue);
        CTdsTestServer process(m_strServer, {"--catalogue", served, "--log", log.string()});
        ASSERT_NE(process.GetPort(), 0);
        const std::string file = (m_scratch / "taken.qcat").string();
        SRun run = Snapshot({"-S", process.NameUtf8(), "-U", "sa", "-o", file, "-q"});
        ASSERT_EQ(run.m_nStatus, 0) << run.m_strErr;
        EXPECT_EQ(run.m_strErr, "");

        for (const auto& step : steps) {
            SCOPED_TRACE(std::string(flavour) + ": " + step.m_strWhat);
            step.m_change(catalogue);
            WriteServed(served, flavour, catalogue); // new connections read the new file
            const std::size_t before = LogSince(log, 0).size();

            run = Snapshot({"--refresh", file});
            ASSERT_EQ(run.m_nStatus, 0) << run.m_strErr;
            EXPECT_NE(run.m_strErr.find(step.m_strReport), std::string::npos) << run.m_strErr;
            std::vector<std::string> tags;
            for (const auto& line : LogSince(log, before)) {
                if (line.rfind("login:", 0) != 0) {
                    tags.push_back(line);
                }
            }
            // A fixed set of statements per database, the scripts of the changed keys only.
            std::vector<std::string> expected = {"quarrow:databases", "use: Archive"};
            const auto& archive = modern ? step.m_modernArchive : step.m_legacyArchive;
            const auto& sales = modern ? step.m_modernSales : step.m_legacySales;
            expected.insert(expected.end(), archive.begin(), archive.end());
            expected.push_back("use: Sales");
            expected.insert(expected.end(), sales.begin(), sales.end());
            EXPECT_EQ(tags, expected);

            // What a first snapshot of the changed server holds, but for when it was taken.
            const std::string fresh = (m_scratch / "fresh.qcat").string();
            run = Snapshot({"-S", process.NameUtf8(), "-U", "sa", "-o", fresh});
            ASSERT_EQ(run.m_nStatus, 0) << run.m_strErr;
            EXPECT_EQ(Contents(file), Contents(fresh));
        }
        EXPECT_NE(Contents(file).find("usp_Newer"), std::string::npos);
        EXPECT_EQ(Contents(file).find("usp_Secret"), std::string::npos);
        EXPECT_EQ(Contents(file).find("vw_Empty"), std::string::npos);

        // And the refreshed snapshot searches like the server.
        for (const std::vector<std::string>& criterion : std::vector<std::vector<std::string>>{
                 {"-t", "SELECT 2"}, {"-n", "usp_PurgeAll"}, {"-t", "NEEDLE", "--scripts"}}) {
            std::vector<std::string> live{"-S", process.NameUtf8(), "-U", "sa"};
            std::vector<std::string> offline{"-S", file};
            live.insert(live.end(), criterion.begin(), criterion.end());
            offline.insert(offline.end(), criterion.begin(), criterion.end());
            const SRun want = Find(live);
            const SRun got = Find(offline);
            EXPECT_EQ(got.m_nStatus, 0) << criterion[1];
            EXPECT_EQ(WithoutServer(got.m_strOut, file),
                      WithoutServer(want.m_strOut, process.NameUtf8()))
                << criterion[1];
        }
    }
}

TEST_F(CSnapshotCommandTest, ModernFileWithoutTimeStampsIsRefreshedByTheWholeList)
{
    // Stamps that are not modern times (an older or edited file) cannot say what is newer:
    // that database is compared object by object, the other one still by its changes.
    const std::string served = (m_scratch / "served.qcat").string();
    const auto log = m_scratch / "server.log";
    auto catalogue = Catalogue(true);
    WriteServed(served, "modern", catalogue);
    CTdsTestServer process(m_strServer, {"--catalogue", served, "--log", log.string()});
    ASSERT_NE(process.GetPort(), 0);
    const std::string file = (m_scratch / "taken.qcat").string();
    ASSERT_EQ(Snapshot({"-S", process.NameUtf8(), "-U", "sa", "-o", file, "-q"}).m_nStatus, 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "UPDATE objects SET stamp = 'v1' WHERE database_id = "
                           "(SELECT id FROM databases WHERE name = 'Sales') AND object_id = 200",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    auto& sales = catalogue["Sales"];
    sales[0].m_script = "CREATE TABLE [dbo].[Orders] ([Id] bigint)";
    sales[0].m_strStamp = kStamp2;
    WriteServed(served, "modern", catalogue);
    const std::size_t before = LogSince(log, 0).size();
    const SRun run = Snapshot({"--refresh", file});
    ASSERT_EQ(run.m_nStatus, 0) << run.m_strErr;
    std::vector<std::string> tags;
    for (const auto& line : LogSince(log, before)) {
        if (line.rfind("login:", 0) != 0) {
            tags.push_back(line);
        }
    }
    const std::string m = " flavour=modern";
    const std::vector<std::string> expected = {
        "quarrow:databases",
        "use: Archive",
        "quarrow:changes" + m + Since(kStamp1),
        "quarrow:summary" + m,
        "use: Sales",
        "quarrow:stamps" + m,
        "quarrow:scripts-of" + m + " keys=100,200",
    };
    EXPECT_EQ(tags, expected);
    const std::string fresh = (m_scratch / "fresh.qcat").string();
    ASSERT_EQ(Snapshot({"-S", process.NameUtf8(), "-U", "sa", "-o", fresh}).m_nStatus, 0);
    EXPECT_EQ(Contents(file), Contents(fresh));
}

TEST_F(CSnapshotCommandTest, StoppedOrKilledMidWriteLeavesTheOldSnapshotWhole)
{
    const std::string served = (m_scratch / "served.qcat").string();
    WriteServed(served, "modern", Catalogue(true));
    const std::string file = (m_scratch / "taken.qcat").string();
    {
        CTdsTestServer process(m_strServer, {"--catalogue", served});
        ASSERT_EQ(Snapshot({"-S", process.NameUtf8(), "-U", "sa", "-o", file}).m_nStatus, 0);
    }
    const std::string original = CScratchFolder::ReadFile(file);
    ASSERT_FALSE(original.empty());

    // Rows come slowly, so the program is surely mid-write when the signal comes.
    CTdsTestServer slow(m_strServer, {"--catalogue", served, "--slow-rows", "300"});
    ASSERT_NE(slow.GetPort(), 0);
    struct SCase
    {
        int m_nSignal;
        bool m_bRefresh;
        int m_nStatus;
    };
    for (const SCase& test :
         {SCase{SIGTERM, false, SnapshotExit::Interrupted},
          SCase{SIGINT, true, SnapshotExit::Interrupted}, SCase{SIGKILL, false, 1000 + SIGKILL}}) {
        // A refresh reads the slow server too: point the file at it.
        const std::vector<std::string> args =
            test.m_bRefresh
                ? std::vector<std::string>{"--refresh", file}
                : std::vector<std::string>{"-S", slow.NameUtf8(), "-U", "sa", "-o", file};
        if (test.m_bRefresh) {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
            const std::string sql =
                "UPDATE catalogue SET value = '" + slow.NameUtf8() + "' WHERE key = 'server'";
            EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
            EXPECT_EQ(
                sqlite3_exec(db, "UPDATE objects SET stamp = 'old'", nullptr, nullptr, nullptr),
                SQLITE_OK);
            sqlite3_close(db);
        }
        const std::string before = CScratchFolder::ReadFile(file);
        const pid_t pid = Start(m_strSnapshot, args, {"QUARROW_PASSWORD=pw"});
        // Wait (bounded) until the new file is being written beside the old one.
        bool writing = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!writing && std::chrono::steady_clock::now() < deadline) {
            for (const auto& entry : std::filesystem::directory_iterator(m_scratch.Path())) {
                writing =
                    writing || entry.path().filename().string().rfind("taken.qcat.part-", 0) == 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_TRUE(writing);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        kill(pid, test.m_nSignal);
        const SRun run = Finish(pid);
        EXPECT_EQ(run.m_nStatus, test.m_nStatus) << run.m_strErr;
        EXPECT_EQ(CScratchFolder::ReadFile(file), before) << "signal " << test.m_nSignal;
        std::u16string reason;
        EXPECT_NE(CSnapshotFile::Open(file, reason), nullptr);
        if (test.m_nSignal != SIGKILL) {
            // A stop removes its own half-written file.
            for (const auto& entry : std::filesystem::directory_iterator(m_scratch.Path())) {
                EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos);
            }
            EXPECT_NE(run.m_strErr.find("interrupted"), std::string::npos) << run.m_strErr;
        }
    }
}

TEST_F(CSnapshotCommandTest, FailuresLeaveFilesAsTheyWere)
{
    const std::string served = (m_scratch / "served.qcat").string();
    WriteServed(served, "modern", Catalogue(true));
    CTdsTestServer process(m_strServer, {"--catalogue", served, "--login", "sa:right"});
    ASSERT_NE(process.GetPort(), 0);
    const auto notes = m_scratch / "notes.qcat";
    std::ofstream(notes) << "my notes, not a snapshot";
    const std::string taken = (m_scratch / "taken.qcat").string();

    struct SCase
    {
        std::vector<std::string> m_args;
        const char* m_szSays;
    };
    const std::vector<SCase> cases = {
        // A wrong password: nothing written.
        {{"-S", process.NameUtf8(), "-U", "sa", "-o", taken}, "Login failed"},
        // A file that is not a snapshot is never overwritten.
        {{"-S", process.NameUtf8(), "-U", "sa", "-o", notes.string()}, "is left as it is"},
        // Files not taken of a live server (the demo) cannot be refreshed.
        {{"--refresh", (m_catalogues / "demo.qcat").string()}, "cannot be refreshed"},
        {{"--refresh", (m_scratch / "missing.qcat").string()}, "no such file"},
    };
    for (const auto& test : cases) {
        const SRun run = Snapshot(test.m_args);
        EXPECT_EQ(run.m_nStatus, SnapshotExit::Error) << test.m_szSays;
        EXPECT_NE(run.m_strErr.find(test.m_szSays), std::string::npos) << run.m_strErr;
    }
    EXPECT_FALSE(std::filesystem::exists(taken));
    EXPECT_EQ(CScratchFolder::ReadFile(notes), "my notes, not a snapshot");
    for (const auto& entry : std::filesystem::directory_iterator(m_scratch.Path())) {
        EXPECT_EQ(entry.path().filename().string().find(".part-"), std::string::npos);
    }
    // -d of a database the server lacks: recorded as unreadable, and said.
    const SRun run = Finish(
        Start(m_strSnapshot,
              {"-S", process.NameUtf8(), "-U", "sa", "-d", "Sales", "-d", "Nowhere", "-o", taken},
              {"QUARROW_PASSWORD=right"}));
    EXPECT_EQ(run.m_nStatus, SnapshotExit::Unreadable) << run.m_strErr;
    EXPECT_NE(run.m_strErr.find("cannot read database Nowhere"), std::string::npos);
    EXPECT_NE(Contents(taken).find("Nowhere|the server does not list it"), std::string::npos)
        << Contents(taken);
}

TEST_F(CSnapshotCommandTest, ProgressOnlyOnATerminalAndNotWithQ)
{
    const std::string served = (m_scratch / "served.qcat").string();
    WriteServed(served, "modern", Catalogue(true));
    // Rows come slowly enough for the progress line to be drawn.
    CTdsTestServer process(m_strServer, {"--catalogue", served, "--slow-rows", "100"});
    ASSERT_NE(process.GetPort(), 0);
    for (const bool quiet : {false, true}) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        const std::string slave = ptsname(master);
        std::vector<std::string> args{m_strSnapshot,
                                      "-S",
                                      process.NameUtf8(),
                                      "-U",
                                      "sa",
                                      "-o",
                                      (m_scratch / "taken.qcat").string()};
        if (quiet) {
            args.push_back("-q");
        }
        fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            setsid();
            const int terminal = open(slave.c_str(), O_RDWR);
            dup2(terminal, 2);
            putenv(const_cast<char*>("QUARROW_PASSWORD=pw"));
            std::vector<char*> argv;
            for (auto& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(98);
        }
        // Everything the program writes to its terminal, until it ends (30 s at most).
        std::string shown;
        int status = -1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd entry{master, POLLIN, 0};
            if (poll(&entry, 1, 50) == 1) {
                char buffer[512];
                const ssize_t got = read(master, buffer, sizeof buffer);
                if (got > 0) {
                    shown.append(buffer, static_cast<std::size_t>(got));
                    continue;
                }
            }
            if (waitpid(pid, &status, WNOHANG) == pid) {
                break;
            }
        }
        close(master);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
        // Which database the first line shows depends on the machine's speed.
        const bool progress = shown.find("\rquarrow-snapshot: database ") != std::string::npos &&
                              shown.find(" of 2, ") != std::string::npos;
        EXPECT_EQ(progress, !quiet) << shown;
        // The line is cleared before the summary, which -q leaves out too.
        EXPECT_EQ(shown.find("9 objects in 2 databases") != std::string::npos, !quiet) << shown;
    }
}

struct SParseCase
{
    std::vector<std::string> m_args;
    const char* m_szError; // empty: parses
};

TEST(SnapshotOptionsTest, CommandLinesAreReadOrRefusedWithAReason)
{
    const std::vector<SParseCase> cases = {
        {{"-S", "db1", "-o", "a.qcat"}, ""},
        {{"-Sdb1", "-d", "Sales", "-d", "HR", "-U", "sa", "-o", "a.qcat", "-q"}, ""},
        {{"--refresh", "a.qcat", "-U", "sa"}, ""},
        {{"--refresh=a.qcat"}, ""},
        {{"--help"}, ""},
        {{"-o", "a.qcat"}, "no server to take"},
        {{"-S", "a", "-S", "b", "-o", "a.qcat"}, "give one server"},
        {{"-S", "db1"}, "no file to write"},
        {{"-S", "db1", "-o", "a.txt"}, "ends in .qcat"},
        {{"-S", "demo.qcat", "-o", "a.qcat"}, "names a snapshot file"},
        {{"--refresh", "a.qcat", "-S", "db1"}, "without -S"},
        {{"-S", "db1", "-o", "a.qcat", "-o", "b.qcat"}, "given twice"},
        {{"-S", "db1", "-U", "a", "-U", "b", "-o", "a.qcat"}, "given twice"},
        {{"-S"}, "needs a value"},
        {{"-S", "", "-o", "a.qcat"}, "needs a server name"},
        {{"-S", "db1", "-o", "a.qcat", "--bogus"}, "unknown option"},
        {{"-S", "db1", "-o", "a.qcat", "stray"}, "unexpected argument"},
    };
    for (const auto& test : cases) {
        SSnapshotOptions options;
        std::string error;
        const bool parsed = ParseSnapshotOptions(test.m_args, options, error);
        EXPECT_EQ(parsed, std::string(test.m_szError).empty()) << test.m_args[0] << ": " << error;
        EXPECT_NE(error.find(test.m_szError), std::string::npos) << error;
    }
    SSnapshotOptions options;
    std::string error;
    ASSERT_TRUE(ParseSnapshotOptions(
        {"-Sdb1", "-d", "Sales", "-d", "HR", "-U", "sa", "-o", "a.qcat", "-q"}, options, error));
    EXPECT_EQ(options.m_servers, std::vector<std::u16string>{u"db1"});
    EXPECT_EQ(options.m_databases, (std::vector<std::u16string>{u"Sales", u"HR"}));
    EXPECT_EQ(options.m_login, std::optional<std::u16string>(u"sa"));
    EXPECT_EQ(options.m_strOutput, "a.qcat");
    EXPECT_TRUE(options.m_bQuiet);
}

} // namespace
