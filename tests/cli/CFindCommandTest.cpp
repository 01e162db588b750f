// Runs the real quarrow-find (path in $QUARROW_FIND) on catalogues written for each test.

#include "catalog/CRegisteredServerStore.h"
#include "catalog/CSnapshotWriter.h"
#include "platform/CProfile.h"
#include "tests/support/CBrowserResponder.h"
#include "tests/support/CScratchFolder.h"
#include "tests/support/CTdsTestServer.h"
#include "tests/support/CTestCertificates.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <thread>

namespace {

struct SRun
{
    int m_nStatus = -1;
    std::string m_strOut;
    std::string m_strErr;
};

class CFindCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* find = std::getenv("QUARROW_FIND");
        ASSERT_NE(find, nullptr) << "QUARROW_FIND names the quarrow-find binary";
        m_strFind = find;
        std::filesystem::create_directories(m_scratch / "cat");
        WriteSales(m_scratch / "cat/sales.qcat");
        WriteLegacy(m_scratch / "cat/old.qcat");
    }

    static void Add(CSnapshotWriter& writer, std::int64_t db, const char* name, int code,
                    const char* type, const char* created, const char* script)
    {
        ASSERT_TRUE(writer.AddObject(db, name, code, type, created, std::string_view(script)));
    }

    static void WriteSales(const std::filesystem::path& path)
    {
        CSnapshotWriter w;
        ASSERT_TRUE(w.Create(path, "modern", "SALES01", "2024-01-01T00:00:00"));
        auto sales = w.AddDatabase("Sales");
        Add(w, sales, "Orders", 8, "User Table", "2014-05-15 10:20:00",
            "CREATE TABLE Orders (Id int, CustomerId int)");
        Add(w, sales, "usp_PlaceOrder", 16, "Stored Procedure", "2014-05-16 23:59:59",
            "CREATE PROCEDURE usp_PlaceOrder AS INSERT INTO Orders DEFAULT VALUES");
        Add(w, sales, "fn_OrderTotal", 4096, "User Defined Function", "2014-05-17 00:00:00",
            "CREATE FUNCTION fn_OrderTotal() RETURNS int AS BEGIN RETURN (SELECT 1 FROM Orders) "
            "END");
        Add(w, sales, "Odd\tName\r\nHere", 4, "View", "2015-01-01 00:00:00",
            "CREATE VIEW x AS SELECT 1; -- orders; \"quoted\"");
        auto archive = w.AddDatabase("SalesArchive");
        Add(w, archive, "Orders", 8, "User Table", "2010-01-01 00:00:00",
            "CREATE TABLE Orders (Id int)");
        ASSERT_TRUE(w.Commit());
    }

    static void WriteLegacy(const std::filesystem::path& path)
    {
        CSnapshotWriter w;
        ASSERT_TRUE(w.Create(path, "legacy", "OLD", "2024-01-01T00:00:00"));
        auto db = w.AddDatabase("Ledger");
        Add(w, db, "Accounts", 8, "User Table", "May  5 2014 10:20AM",
            "CREATE TABLE Accounts (x int)");
        Add(w, db, "sp_Post", 16, "Stored Procedure", "Jun 30 2014  3:05PM",
            "CREATE PROCEDURE sp_Post AS SELECT 1");
        ASSERT_TRUE(w.Commit());
    }

    // Runs quarrow-find in the scratch "cat" folder with extra environment entries.
    SRun Run(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
    {
        SRun run;
        auto outPath = m_scratch / "out.txt";
        auto errPath = m_scratch / "err.txt";
        pid_t pid = Start(args, env, outPath, errPath);
        int status = 0;
        waitpid(pid, &status, 0);
        run.m_nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        run.m_strOut = CScratchFolder::ReadFile(outPath);
        run.m_strErr = CScratchFolder::ReadFile(errPath);
        return run;
    }

    pid_t Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
                const std::filesystem::path& outPath, const std::filesystem::path& errPath)
    {
        std::vector<std::string> all{m_strFind};
        all.insert(all.end(), args.begin(), args.end());
        std::string cwd = (m_scratch / "cat").string();
        std::string xdgData = "XDG_DATA_HOME=" + (m_scratch / "data").string();
        std::string xdgConfig = "XDG_CONFIG_HOME=" + (m_scratch / "config").string();
        fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            // No controlling terminal: a password prompt must fail, never wait for a person.
            setsid();
            if (chdir(cwd.c_str()) != 0) {
                _exit(99);
            }
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(err, 2);
            putenv(xdgData.data());
            putenv(xdgConfig.data());
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

    static std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < text.size()) {
            auto end = text.find('\n', start);
            if (end == std::string::npos) {
                end = text.size();
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

    CScratchFolder m_scratch;
    std::string m_strFind;
};

TEST_F(CFindCommandTest, TsvRowsInSearchOrderWithServerAsGiven)
{
    SRun run = Run({"-S", "sales.qcat", "-S", "../cat/old.qcat", "-t", "orders"});
    EXPECT_EQ(run.m_nStatus, 0) << run.m_strErr;
    EXPECT_EQ(run.m_strErr, "");
    EXPECT_EQ(Lines(run.m_strOut),
              (std::vector<std::string>{
                  "sales.qcat\tSales\tUser Table\tOrders\t2014-05-15 10:20:00",
                  "sales.qcat\tSales\tStored Procedure\tusp_PlaceOrder\t2014-05-16 23:59:59",
                  "sales.qcat\tSales\tUser Defined Function\tfn_OrderTotal\t2014-05-17 00:00:00",
                  "sales.qcat\tSales\tView\tOdd Name  Here\t2015-01-01 00:00:00",
                  "sales.qcat\tSalesArchive\tUser Table\tOrders\t2010-01-01 00:00:00",
              }));
}

TEST_F(CFindCommandTest, CsvIsTheExportFile)
{
    SRun run = Run({"-S", "sales.qcat", "-d", "Sales", "-T", "View", "--format", "csv"});
    EXPECT_EQ(run.m_nStatus, 0) << run.m_strErr;
    EXPECT_EQ(run.m_strOut, "Server;Database;Type;Object;Creation Date\r\n"
                            "sales.qcat;Sales;View;\"Odd\tName\r\nHere\";2015-01-01 00:00:00\r\n");
}

TEST_F(CFindCommandTest, ScriptsInsteadOfRows)
{
    SRun run = Run({"-S", "sales.qcat", "-n", "ORDERS", "-d", "SalesArchive", "--scripts"});
    EXPECT_EQ(run.m_nStatus, 0) << run.m_strErr;
    EXPECT_EQ(run.m_strOut, "CREATE TABLE Orders (Id int)\n");
}

TEST_F(CFindCommandTest, NameMatchesWholeNamesAndRegularExpressions)
{
    struct
    {
        std::vector<std::string> m_args;
        std::vector<std::string> m_objects;
    } cases[] = {
        {{"-n", "orders"}, {"Orders", "Orders"}},
        {{"-n", "orders", "-c"}, {}},
        {{"-n", "order"}, {}},
        {{"-n", "^usp_", "-E"}, {"usp_PlaceOrder"}},
        {{"-E", "-t", "INSERT +INTO"}, {"usp_PlaceOrder"}},
        {{"-t", "customerid", "-c"}, {}},
        {{"-t", "CustomerId", "-c"}, {"Orders"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"-S", "sales.qcat"};
        args.insert(args.end(), c.m_args.begin(), c.m_args.end());
        SRun run = Run(args);
        std::vector<std::string> objects;
        for (const auto& line : Lines(run.m_strOut)) {
            auto cells = line.substr(0, line.rfind('\t'));
            objects.push_back(cells.substr(cells.rfind('\t') + 1));
        }
        EXPECT_EQ(objects, c.m_objects) << c.m_args[0] << " " << c.m_args[1];
        EXPECT_EQ(run.m_nStatus, c.m_objects.empty() ? 1 : 0);
    }
}

TEST_F(CFindCommandTest, DatabaseNamesCompareExactly)
{
    SRun run = Run({"-S", "sales.qcat", "-d", "sales"});
    EXPECT_EQ(run.m_nStatus, 1);
    EXPECT_EQ(run.m_strOut, "");
    run = Run({"-S", "sales.qcat", "-d", "SalesArchive", "-d", "Sales", "-T", "User Table"});
    EXPECT_EQ(run.m_nStatus, 0);
    // Order stays the server's, not the order of -d.
    EXPECT_EQ(Lines(run.m_strOut).size(), 2U);
    EXPECT_EQ(Lines(run.m_strOut)[0].substr(0, 17), "sales.qcat\tSales\t");
}

TEST_F(CFindCommandTest, CreatedBoundsIncludeTheirDays)
{
    struct
    {
        std::vector<std::string> m_args;
        std::size_t m_nRows;
    } cases[] = {
        {{"--created-after", "2014-05-16"}, 3},  // 16th, 17th, 2015
        {{"--created-before", "2014-05-16"}, 3}, // 15th, 16th (at 23:59:59), archive 2010
        {{"--created-after", "2014-05-16", "--created-before", "2014-05-16"}, 1},
        {{"--created-after", "2014-05-18", "--created-before", "2014-12-31"}, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"-S", "sales.qcat"};
        args.insert(args.end(), c.m_args.begin(), c.m_args.end());
        SRun run = Run(args);
        EXPECT_EQ(Lines(run.m_strOut).size(), c.m_nRows) << c.m_args[0] << "\n" << run.m_strOut;
    }
    // The legacy shape with a one-digit day ("May  5 2014") is read as that day.
    SRun run =
        Run({"-S", "old.qcat", "--created-after", "2014-05-05", "--created-before", "2014-05-05"});
    EXPECT_EQ(run.m_strOut, "old.qcat\tLedger\tUser Table\tAccounts\tMay  5 2014 10:20AM\n");
}

TEST_F(CFindCommandTest, UserDefinedFunctionMeansEveryTypeOnLegacyServers)
{
    SRun run = Run({"-S", "sales.qcat", "-S", "old.qcat", "-T", "User Defined Function"});
    EXPECT_EQ(run.m_nStatus, 0);
    EXPECT_EQ(Lines(run.m_strOut),
              (std::vector<std::string>{
                  "sales.qcat\tSales\tUser Defined Function\tfn_OrderTotal\t2014-05-17 00:00:00",
                  "old.qcat\tLedger\tUser Table\tAccounts\tMay  5 2014 10:20AM",
                  "old.qcat\tLedger\tStored Procedure\tsp_Post\tJun 30 2014  3:05PM",
              }));
}

TEST_F(CFindCommandTest, ErrorsAreOneLineAndExitTwo)
{
    CScratchFolder::WriteFile(m_scratch / "cat/junk.qcat", "not sqlite");
    struct
    {
        std::vector<std::string> m_args;
        const char* m_szSays;
    } cases[] = {
        {{}, "give one with -S"},
        {{"-S", "missing.qcat"}, "'missing.qcat' was not found"},
        {{"-S", "junk.qcat"}, "not an SQLite database"},
        {{"-S", "sales.qcat", "--bogus"}, "unknown option '--bogus'"},
        {{"-S", "sales.qcat", "-T", "Table"}, "unknown type 'Table'"},
        {{"-S", "sales.qcat", "--size", "ten"}, "--size needs a whole number"},
        {{"-S", "sales.qcat", "--size", "1", "--size-at-most", "2"}, "only one of --size"},
        {{"-S", "sales.qcat", "--created-after", "2014-02-30"}, "YYYY-MM-DD"},
        {{"-S", "sales.qcat", "--created-after", "2014-02-01", "--created-days", "3"},
         "cannot be combined"},
        {{"-S", "sales.qcat", "--format", "xml"}, "unknown format 'xml'"},
        {{"-S", "sales.qcat", "-t", "x", "--context", "2"}, "--format lines only"},
        {{"-S", "sales.qcat", "--format", "jsonl", "--context", "1"}, "--format lines only"},
        {{"-S", "sales.qcat", "--format", "lines"}, "give a text with -t"},
        {{"-S", "sales.qcat", "--format", "lines", "-t", ""}, "give a text with -t"},
        {{"-S", "sales.qcat", "--format", "jsonl", "--scripts"}, "cannot be combined"},
        {{"-S", "sales.qcat", "--format", "lines", "-t", "x", "--context", "-1"},
         "--context needs a number"},
        {{"-S", "sales.qcat", "--format", "lines", "-t", "x", "--context", "100001"},
         "--context needs a number"},
        {{"-S", "sales.qcat", "--format", "lines", "-t", "x", "--context", "2x"},
         "--context needs a number"},
        {{"-S", "sales.qcat", "-t"}, "-t needs a value"},
        {{"-S", "sales.qcat", "extra"}, "unexpected argument 'extra'"},
        {{"-S", "sales.qcat", "--encrypt", "always"}, "unknown encryption mode 'always'"},
        {{"-S", "sales.qcat", "--encrypt"}, "--encrypt needs a value"},
        {{"-S", "sales.qcat", "--encrypt=off", "--encrypt", "off"}, "--encrypt is given twice"},
        {{"-S", "sales.qcat", "--trust-server-certificate=yes"}, "takes no value"},
        {{"--list-servers", "-S", "sales.qcat"}, "--list-servers lists servers and searches none"},
        {{"--list-servers=yes"}, "--list-servers takes no value"},
    };
    for (const auto& c : cases) {
        SRun run = Run(c.m_args);
        EXPECT_EQ(run.m_nStatus, 2) << c.m_szSays;
        EXPECT_EQ(run.m_strErr.rfind("quarrow-find: ", 0), 0U) << run.m_strErr;
        EXPECT_EQ(Lines(run.m_strErr).size(), 1U) << run.m_strErr;
        EXPECT_NE(run.m_strErr.find(c.m_szSays), std::string::npos) << run.m_strErr;
    }
    // One bad server among good ones: the good one is searched, the status says error.
    SRun run = Run({"-S", "missing.qcat", "-S", "sales.qcat", "-n", "Orders", "-d", "Sales"});
    EXPECT_EQ(run.m_nStatus, 2);
    EXPECT_EQ(Lines(run.m_strOut).size(), 1U);
}

TEST_F(CFindCommandTest, SizeOptions)
{
    // "CREATE TABLE Orders (Id int)" has 28 characters.
    EXPECT_EQ(Run({"-S", "sales.qcat", "-d", "SalesArchive", "--size", "28"}).m_nStatus, 0);
    EXPECT_EQ(Run({"-S", "sales.qcat", "-d", "SalesArchive", "--size", "27"}).m_nStatus, 1);
    EXPECT_EQ(Run({"-S", "sales.qcat", "-d", "SalesArchive", "--size-at-least", "29"}).m_nStatus,
              1);
    EXPECT_EQ(Run({"-S", "sales.qcat", "-d", "SalesArchive", "--size-at-most", "28"}).m_nStatus, 0);
}

TEST_F(CFindCommandTest, RegisteredSearchesTheTickedDatabases)
{
    {
        CProfile profile(u"Quarrow", m_scratch / "config/Korvane@Work");
        CRegisteredServerStore store(profile);
        RegisteredServer server;
        server.m_strServerName = (m_scratch / "cat/sales.qcat").u16string();
        ASSERT_TRUE(store.SaveServerRegistration(server));
        ASSERT_TRUE(store.SetDatabaseUsed(server.m_strServerName, u"SalesArchive", 1));
        ASSERT_TRUE(store.SetDatabaseUsed(server.m_strServerName, u"Sales", 0));
    }
    SRun run = Run({"--registered", "-n", "Orders"});
    EXPECT_EQ(run.m_nStatus, 0) << run.m_strErr;
    EXPECT_EQ(Lines(run.m_strOut).size(), 1U) << run.m_strOut;
    EXPECT_NE(run.m_strOut.find("\tSalesArchive\t"), std::string::npos);
}

TEST_F(CFindCommandTest, InterruptStopsAndKeepsPrintedRows)
{
    // Many databases of many objects, so the search is still running when Ctrl-C comes.
    {
        CSnapshotWriter w;
        ASSERT_TRUE(w.Create(m_scratch / "cat/big.qcat", "modern", "BIG", "2024-01-01T00:00:00"));
        std::string script(1000, 'x');
        script += " needle";
        for (int d = 0; d < 250; ++d) {
            auto id = w.AddDatabase("Db" + std::to_string(d));
            for (int i = 0; i < 200; ++i) {
                ASSERT_TRUE(w.AddObject(id, "p" + std::to_string(i), 16, "Stored Procedure",
                                        "2020-01-01 00:00:00", script));
            }
        }
        ASSERT_TRUE(w.Commit());
    }
    auto outPath = m_scratch / "out.txt";
    pid_t pid = Start({"-S", "big.qcat", "-t", "NEEDLE"}, {}, outPath, m_scratch / "err.txt");
    // Wait for the first rows, then press Ctrl-C.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code error;
    while ((!std::filesystem::exists(outPath, error) ||
            std::filesystem::file_size(outPath, error) == 0) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    // The stop is heard before each row is delivered, so the rows printed are whole rows
    // but may end part-way through a database.
    auto lines = Lines(CScratchFolder::ReadFile(outPath));
    EXPECT_GE(lines.size(), 1U);
    EXPECT_LT(lines.size(), 250U * 200U);
    for (const auto& line : lines) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line;
    }
}

TEST_F(CFindCommandTest, DemoCatalogueIsFoundByItsBareName)
{
    SRun run = Run({"-S", "demo.qcat", "-T", "Trigger", "-q"});
    EXPECT_EQ(run.m_nStatus, 0) << run.m_strErr;
    EXPECT_FALSE(run.m_strOut.empty());
}

// A port on 127.0.0.1 that is bound but not listening: connections to it are refused.
class CRefusingPort
{
public:
    CRefusingPort()
    {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_strName = "127.0.0.1," + std::to_string(ntohs(address.sin_port));
    }
    ~CRefusingPort() { close(m_fd); }
    CRefusingPort(const CRefusingPort&) = delete;
    CRefusingPort& operator=(const CRefusingPort&) = delete;
    const std::string& GetName() const { return m_strName; }

private:
    int m_fd = -1;
    std::string m_strName;
};

TEST_F(CFindCommandTest, LiveServerThatRefusesIsReportedAndTheOthersAreSearched)
{
    CRefusingPort port;
    SRun run =
        Run({"-S", port.GetName(), "-S", "sales.qcat", "-U", "sa", "-n", "Orders", "-d", "Sales"},
            {"QUARROW_PASSWORD=secret"});
    EXPECT_EQ(run.m_nStatus, 2);
    EXPECT_EQ(
        Lines(run.m_strOut),
        std::vector<std::string>{"sales.qcat\tSales\tUser Table\tOrders\t2014-05-15 10:20:00"});
    EXPECT_EQ(Lines(run.m_strErr).size(), 1U) << run.m_strErr;
    EXPECT_NE(run.m_strErr.find("quarrow-find: cannot search: '" + port.GetName() +
                                "' cannot be reached: nothing accepts connections"),
              std::string::npos)
        << run.m_strErr;
    // The password never shows in a message.
    EXPECT_EQ(run.m_strErr.find("secret"), std::string::npos);
}

TEST_F(CFindCommandTest, SqlLoginWithoutPasswordOrTerminalIsAClearError)
{
    CRefusingPort port;
    SRun run = Run({"-S", port.GetName(), "-U", "sa", "-n", "Orders"});
    EXPECT_EQ(run.m_nStatus, 2);
    EXPECT_NE(run.m_strErr.find("no terminal to ask on; set QUARROW_PASSWORD"), std::string::npos)
        << run.m_strErr;
    // Snapshot files need no password, so none is asked for.
    EXPECT_EQ(Run({"-S", "sales.qcat", "-U", "sa", "-n", "Orders"}).m_nStatus, 0);
}

// Scripts for the match-line formats: CR LF, LF, a last line without a break, tabs, text
// outside the BMP, a match across a line break, and an object whose script cannot be read.
class CFindLinesTest : public CFindCommandTest
{
protected:
    void SetUp() override
    {
        CFindCommandTest::SetUp();
        CSnapshotWriter w;
        ASSERT_TRUE(w.Create(m_scratch / "cat/lines.qcat", "modern", "L", "2024-01-01T00:00:00"));
        auto db = w.AddDatabase("Db");
        Add(w, db, "crlf", 16, "Stored Procedure", "2014-05-15 10:20:00",
            "CREATE PROCEDURE crlf AS\r\n\tSELECT 1;\r\n-- marker here\r\n");
        Add(w, db, "lastline", 16, "Stored Procedure", "2014-05-15 10:20:00",
            "line one\nline two\nlast marker");
        Add(w, db, "tabs", 4, "View", "2014-05-15 10:20:00",
            "SELECT\t'marker'\tAS x, 'MARKER' AS y\n");
        Add(w, db, "emoji", 16, "Stored Procedure", "2014-05-15 10:20:00",
            "-- \xF0\x9F\x98\x80 marker \xF0\x9F\x98\x80\nSELECT 1");
        Add(w, db, "spanning", 16, "Stored Procedure", "2014-05-15 10:20:00",
            "SELECT 'mar\r\nker'");
        ASSERT_TRUE(
            w.AddObject(db, "secret", 16, "Stored Procedure", "2014-05-15 10:20:00", std::nullopt));
        Add(w, db, "ctx", 16, "Stored Procedure", "2014-05-15 10:20:00",
            "l1\nmarker2\nl3\nl4\nl5\nmarker6\nl7\nl8");
        Add(w, db, "we\"ird\\name\x01", 4, "View", "2014-05-15 10:20:00", "x");
        ASSERT_TRUE(w.Commit());
    }
};

TEST_F(CFindLinesTest, MatchLinesAreTabSeparatedWithTheirNumbers)
{
    const std::string p = "lines.qcat\tDb\t";
    struct
    {
        std::vector<std::string> m_args;
        std::string m_strOut;
    } cases[] = {
        {{"-t", "marker", "-n", "crlf"}, p + "Stored Procedure\tcrlf\t3\t-- marker here\n"},
        {{"-t", "marker", "-n", "lastline"}, p + "Stored Procedure\tlastline\t3\tlast marker\n"},
        {{"-t", "marker", "-n", "tabs"},
         p + "View\ttabs\t1\tSELECT\t'marker'\tAS x, 'MARKER' AS y\n"},
        {{"-t", "marker", "-n", "emoji"},
         p + "Stored Procedure\temoji\t1\t-- \xF0\x9F\x98\x80 marker \xF0\x9F\x98\x80\n"},
        {{"-t", "\xF0\x9F\x98\x80", "-n", "emoji"},
         p + "Stored Procedure\temoji\t1\t-- \xF0\x9F\x98\x80 marker \xF0\x9F\x98\x80\n"},
        // A match across a line break is reported on the line it starts on.
        {{"-t", "mar\r\nker"}, p + "Stored Procedure\tspanning\t1\tSELECT 'mar\n"},
        {{"-E", "-t", "mar..ker"}, p + "Stored Procedure\tspanning\t1\tSELECT 'mar\n"},
        {{"-t", "marker", "-n", "ctx"},
         p + "Stored Procedure\tctx\t2\tmarker2\n" + p + "Stored Procedure\tctx\t6\tmarker6\n"},
        // Context as grep gives it: '-' marks context lines, "--" separates groups.
        {{"-t", "marker", "-n", "ctx", "--context", "1"},
         p + "Stored Procedure\tctx\t1-\tl1\n" + p + "Stored Procedure\tctx\t2\tmarker2\n" + p +
             "Stored Procedure\tctx\t3-\tl3\n--\n" + p + "Stored Procedure\tctx\t5-\tl5\n" + p +
             "Stored Procedure\tctx\t6\tmarker6\n" + p + "Stored Procedure\tctx\t7-\tl7\n"},
        {{"-t", "marker2", "-n", "ctx", "--context=9"},
         p + "Stored Procedure\tctx\t1-\tl1\n" + p + "Stored Procedure\tctx\t2\tmarker2\n" + p +
             "Stored Procedure\tctx\t3-\tl3\n" + p + "Stored Procedure\tctx\t4-\tl4\n" + p +
             "Stored Procedure\tctx\t5-\tl5\n" + p + "Stored Procedure\tctx\t6-\tmarker6\n" + p +
             "Stored Procedure\tctx\t7-\tl7\n" + p + "Stored Procedure\tctx\t8-\tl8\n"},
        // Between objects too.
        {{"-t", "last marker|marker here", "-E", "--context", "1"},
         p + "Stored Procedure\tcrlf\t2-\t\tSELECT 1;\n" + p +
             "Stored Procedure\tcrlf\t3\t-- marker here\n--\n" + p +
             "Stored Procedure\tlastline\t2-\tline two\n" + p +
             "Stored Procedure\tlastline\t3\tlast marker\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"-S", "lines.qcat", "--format", "lines"};
        args.insert(args.end(), c.m_args.begin(), c.m_args.end());
        SRun run = Run(args);
        EXPECT_EQ(run.m_nStatus, 0) << c.m_args[1] << "\n" << run.m_strErr;
        EXPECT_EQ(run.m_strOut, c.m_strOut) << c.m_args[1];
    }
}

// What a search could not read is named after the rows, and the exit status stays that of
// the rows: something was found.
TEST_F(CFindLinesTest, UnreadScriptsAreNotedAfterTheRows)
{
    for (const char* format : {"tsv", "lines", "jsonl"}) {
        SRun run = Run({"-S", "lines.qcat", "-t", "marker", "--format", format});
        EXPECT_EQ(run.m_nStatus, 0) << format << "\n" << run.m_strErr;
        EXPECT_EQ(run.m_strErr,
                  "quarrow-find: note: 1 script could not be read\n"
                  "quarrow-find: note: cannot read the script of lines.qcat..Db: Stored "
                  "Procedure secret: the catalogue holds no script for it (encrypted or "
                  "unreadable when it was taken)\n")
            << format;
    }
    // A name that leaves the object out leaves the note out.
    SRun run = Run({"-S", "lines.qcat", "-t", "marker", "-n", "crlf"});
    EXPECT_EQ(run.m_nStatus, 0);
    EXPECT_EQ(run.m_strErr, "");
}

// Every line of --format jsonl read back by Python's json module and written out again in
// one canonical form (ASCII only, keys sorted).
TEST_F(CFindLinesTest, JsonLinesReadBackExactly)
{
    ASSERT_EQ(access("/usr/bin/python3", X_OK), 0) << "python3 reads the JSON back";
    SRun run = Run({"-S", "lines.qcat", "-E", "-t", "marker|mar..ker|^x$", "--format", "jsonl"});
    ASSERT_EQ(run.m_nStatus, 0) << run.m_strErr;
    CScratchFolder::WriteFile(m_scratch / "out.jsonl", run.m_strOut);
    const std::string command =
        "/usr/bin/python3 -c 'import json,sys\n"
        "for line in open(sys.argv[1], encoding=\"utf-8\", newline=\"\\n\"):\n"
        "    print(json.dumps(json.loads(line), ensure_ascii=True, sort_keys=True, "
        "separators=(\",\", \":\")))' " +
        (m_scratch / "out.jsonl").string() + " > " + (m_scratch / "canon.txt").string() + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << CScratchFolder::ReadFile(m_scratch / "canon.txt");
    const std::string head = R"({"created":"2014-05-15 10:20:00","database":"Db",)";
    const std::vector<std::string> want = {
        head +
            R"("matches":[{"line":3,"text":"-- marker here"}],"name":"crlf","server":"lines.qcat","size":54,"type":"Stored Procedure"})",
        head +
            R"("matches":[{"line":3,"text":"last marker"}],"name":"lastline","server":"lines.qcat","size":29,"type":"Stored Procedure"})",
        head +
            R"("matches":[{"line":1,"text":"SELECT\t'marker'\tAS x, 'MARKER' AS y"}],"name":"tabs","server":"lines.qcat","size":36,"type":"View"})",
        head +
            R"("matches":[{"line":1,"text":"-- \ud83d\ude00 marker \ud83d\ude00"}],"name":"emoji","server":"lines.qcat","size":24,"type":"Stored Procedure"})",
        head +
            R"("matches":[{"line":1,"text":"SELECT 'mar"}],"name":"spanning","server":"lines.qcat","size":17,"type":"Stored Procedure"})",
        head +
            R"("matches":[{"line":2,"text":"marker2"},{"line":6,"text":"marker6"}],"name":"ctx","server":"lines.qcat","size":33,"type":"Stored Procedure"})",
        head +
            R"("matches":[{"line":1,"text":"x"}],"name":"we\"ird\\name\u0001","server":"lines.qcat","size":1,"type":"View"})",
        R"j({"coverage":{"complete":false,"databases":[],"interrupted":false,"scripts":[{"database":"Db","name":"secret","reason":"the catalogue holds no script for it (encrypted or unreadable when it was taken)","server":"lines.qcat","type":"Stored Procedure"}]}})j",
    };
    EXPECT_EQ(Lines(CScratchFolder::ReadFile(m_scratch / "canon.txt")), want);
}

// The same search over a live server (unixODBC, FreeTDS and the TDS test server serving a demo
// catalogue) and over the catalogue file itself: the rows, the scripts and the exit status
// are the same byte for byte, but for the server cell.
class CFindLiveTest : public CFindCommandTest
{
protected:
    void SetUp() override
    {
        CFindCommandTest::SetUp();
        const char* server = std::getenv("QUARROW_TDS_SERVER");
        const char* binary = std::getenv("QUARROW_BINARY_DIR");
        if (server == nullptr || access(server, X_OK) != 0 || binary == nullptr) {
            GTEST_SKIP() << "QUARROW_TDS_SERVER does not name the TDS test server";
        }
        m_strServer = server;
        m_catalogues = std::filesystem::path(binary) / "share/quarrow/catalogues";
    }

    // The output with every row's first cell (the server) replaced by "S".
    static std::string WithoutServer(const std::string& text, const std::string& server)
    {
        std::string out;
        for (const auto& line : Lines(text)) {
            out += line.rfind(server + "\t", 0) == 0 ? "S" + line.substr(server.size()) : line;
            out += '\n';
        }
        return out;
    }

    // The coverage notes with the server and the reasons left out; every line of standard
    // error must be one.
    static std::vector<std::string> NotedObjects(const std::string& err, const std::string& server)
    {
        const std::string prefix = "quarrow-find: note: cannot read the script of " + server + "..";
        std::vector<std::string> objects;
        for (const auto& line : Lines(err)) {
            if (line.rfind(prefix, 0) == 0) {
                const std::string rest = line.substr(prefix.size());
                const auto first = rest.find(": ");
                const auto second = rest.find(": ", first + 2);
                objects.push_back(rest.substr(0, second));
            } else {
                objects.push_back("unexpected: " + line);
            }
        }
        return objects;
    }

    std::string m_strServer;
    std::filesystem::path m_catalogues;
};

struct SLiveCase
{
    const char* m_szCatalogue;
    std::vector<std::string> m_args;
    bool m_bFinds = true; // the snapshot finds rows: the two outputs are not both empty
};

TEST_F(CFindLiveTest, LiveServerGivesTheSnapshotsRows)
{
    const std::vector<SLiveCase> cases = {
        {"demo.qcat", {"-t", "BEGIN TRANSACTION"}},
        {"demo.qcat", {"-t", "begin transaction", "-c"}, false},
        {"demo.qcat", {"-t", "Begin Transaction"}},
        {"demo.qcat", {"-n", "usp_PlaceOrder"}},
        {"demo.qcat", {"-n", "^usp_.*Order", "-E"}},
        {"demo.qcat", {"-E", "-t", "UPDATE +[A-Z]", "-T", "Trigger"}},
        {"demo.qcat", {"-T", "User Table", "--size-at-least", "400"}},
        {"demo.qcat", {"--size-at-most", "120"}},
        {"demo.qcat", {"--created-after", "2010-01-01", "--created-before", "2014-12-31"}},
        {"demo.qcat", {"-T", "View", "--scripts"}},
        {"demo.qcat", {"-d", "Lending"}},
        {"demo-legacy.qcat", {"-t", "BEGIN TRAN"}},
        {"demo-legacy.qcat", {"-n", "^post_", "-E", "--scripts"}},
        {"demo-legacy.qcat", {"-T", "User Defined Function"}},
        {"demo-legacy.qcat", {"--created-after", "2003-01-01"}},
        {"demo-legacy.qcat", {"-T", "Trigger", "--size-at-least", "200"}},
    };
    std::string current;
    std::unique_ptr<CTdsTestServer> process;
    for (const auto& test : cases) {
        const std::string file = (m_catalogues / test.m_szCatalogue).string();
        if (current != file) {
            process = std::make_unique<CTdsTestServer>(
                m_strServer, std::vector<std::string>{"--catalogue", file});
            ASSERT_NE(process->GetPort(), 0);
            current = file;
        }
        std::vector<std::string> snapshotArgs{"-S", file};
        std::vector<std::string> liveArgs{"-S", process->NameUtf8(), "-U", "sa"};
        snapshotArgs.insert(snapshotArgs.end(), test.m_args.begin(), test.m_args.end());
        liveArgs.insert(liveArgs.end(), test.m_args.begin(), test.m_args.end());
        const SRun want = Run(snapshotArgs);
        const SRun got = Run(liveArgs, {"QUARROW_PASSWORD=pw"});
        const std::string what = std::string(test.m_szCatalogue) + " " + test.m_args[0] + " " +
                                 (test.m_args.size() > 1 ? test.m_args[1] : "");
        EXPECT_EQ(got.m_nStatus, want.m_nStatus) << what << "\n" << got.m_strErr;
        EXPECT_EQ(WithoutServer(got.m_strOut, process->NameUtf8()),
                  WithoutServer(want.m_strOut, file))
            << what;
        // The same objects are named as unread (the reasons are each library's own).
        EXPECT_EQ(NotedObjects(got.m_strErr, process->NameUtf8()),
                  NotedObjects(want.m_strErr, file))
            << what << "\n"
            << got.m_strErr;
        // A search with rows: the differential is not comparing two empty outputs.
        EXPECT_EQ(want.m_strOut.empty(), !test.m_bFinds) << what;
    }
}

TEST_F(CFindLiveTest, FailuresAreReportedAndTheOtherServersSearched)
{
    const std::string file = (m_catalogues / "demo.qcat").string();
    CTdsTestServer refusing(m_strServer, {"--catalogue", file, "--login", "sa:right"});
    CTdsTestServer locked(m_strServer, {"--catalogue", file, "--unopenable", "Personnel"});
    CTdsTestServer dropping(m_strServer, {"--catalogue", file, "--drop-after-rows", "3"});
    ASSERT_NE(refusing.GetPort(), 0);
    ASSERT_NE(locked.GetPort(), 0);
    ASSERT_NE(dropping.GetPort(), 0);
    const SRun want = Run({"-S", file, "-n", "usp_PlaceOrder"});
    ASSERT_EQ(want.m_nStatus, 0);

    SRun run = Run({"-S", refusing.NameUtf8(), "-S", file, "-U", "sa", "-n", "usp_PlaceOrder"},
                   {"QUARROW_PASSWORD=wrong"});
    EXPECT_EQ(run.m_nStatus, 2);
    EXPECT_EQ(run.m_strOut, want.m_strOut);
    EXPECT_NE(run.m_strErr.find("sa"), std::string::npos) << run.m_strErr;
    EXPECT_EQ(run.m_strErr.find("wrong"), std::string::npos) << run.m_strErr;

    // Harbourside is searched although Personnel cannot be opened.
    run =
        Run({"-S", locked.NameUtf8(), "-U", "sa", "-n", "usp_PlaceOrder"}, {"QUARROW_PASSWORD=pw"});
    EXPECT_EQ(run.m_nStatus, 2);
    EXPECT_EQ(WithoutServer(run.m_strOut, locked.NameUtf8()), WithoutServer(want.m_strOut, file));
    EXPECT_NE(run.m_strErr.find("quarrow-find: note: 1 database could not be searched\n"
                                "quarrow-find: note: cannot search " +
                                locked.NameUtf8() + "..Personnel: "),
              std::string::npos)
        << run.m_strErr;

    // The JSON output ends with the same coverage.
    run = Run({"-S", locked.NameUtf8(), "-U", "sa", "-n", "usp_PlaceOrder", "--format", "jsonl"},
              {"QUARROW_PASSWORD=pw"});
    EXPECT_EQ(run.m_nStatus, 2);
    const std::vector<std::string> jsonLines = Lines(run.m_strOut);
    ASSERT_EQ(jsonLines.size(), 2U) << run.m_strOut;
    EXPECT_EQ(jsonLines[0].rfind("{\"server\":\"" + locked.NameUtf8() +
                                     "\",\"database\":\"Harbourside\",\"type\":\"Stored "
                                     "Procedure\",\"name\":\"usp_PlaceOrder\",",
                                 0),
              0U)
        << jsonLines[0];
    EXPECT_EQ(jsonLines[1].rfind("{\"coverage\":{\"complete\":false,\"interrupted\":false,"
                                 "\"databases\":[{\"server\":\"" +
                                     locked.NameUtf8() +
                                     "\",\"database\":\"Personnel\",\"reason\":\"",
                                 0),
              0U)
        << jsonLines[1];
    EXPECT_NE(jsonLines[1].find("\"}],\"scripts\":[]}}"), std::string::npos) << jsonLines[1];

    // A connection dropped in the middle of a result is an error, not a short answer.
    run = Run({"-S", dropping.NameUtf8(), "-U", "sa", "-t", "BEGIN"}, {"QUARROW_PASSWORD=pw"});
    EXPECT_EQ(run.m_nStatus, 2) << run.m_strOut;
    EXPECT_FALSE(run.m_strErr.empty());
}

TEST_F(CFindLiveTest, DatabaseNamesBuiltToBreakQuotingAreSearched)
{
    const auto path = m_scratch / "cat/hostile.qcat";
    const std::vector<std::string> names = {"Sales]; DROP DATABASE x --", "it's \"quoted\"",
                                            "[bracketed]]", "Ünïcødé база"};
    {
        CSnapshotWriter w;
        ASSERT_TRUE(w.Create(path, "modern", "H", "2024-01-01T00:00:00"));
        for (const auto& name : names) {
            auto db = w.AddDatabase(name);
            Add(w, db, "p", 16, "Stored Procedure", "2014-05-15 10:20:00",
                "CREATE PROCEDURE p AS SELECT 1");
        }
        ASSERT_TRUE(w.Commit());
    }
    CTdsTestServer process(m_strServer, {"--catalogue", path.string()});
    ASSERT_NE(process.GetPort(), 0);
    for (const auto& name : names) {
        SRun run = Run({"-S", process.NameUtf8(), "-U", "sa", "-d", name, "-t", "SELECT"},
                       {"QUARROW_PASSWORD=pw"});
        EXPECT_EQ(run.m_nStatus, 0) << name << ": " << run.m_strErr;
        EXPECT_EQ(run.m_strOut, process.NameUtf8() + "\t" + name +
                                    "\tStored Procedure\tp\t2014-05-15 10:20:00\n");
    }
}

// --encrypt and --trust-server-certificate reach the connection, and a registered server's
// own choice is kept unless the command line names one. The test server's log says what
// encryption was set up.
TEST_F(CFindLiveTest, EncryptionOptionsReachTheServer)
{
    CTestCertificates certificates(m_scratch.Path());
    ASSERT_TRUE(certificates.IsValid()) << "the openssl command could not make certificates";
    const auto pair = certificates.SelfSigned();
    const std::string file = (m_catalogues / "demo.qcat").string();
    const std::string log = (m_scratch / "tls.log").string();
    // What the server logged since the last look (the file grows while it runs).
    std::size_t seen = 0;
    auto logged = [&]() {
        const std::string text = CScratchFolder::ReadFile(log);
        const std::string fresh = text.substr(std::min(seen, text.size()));
        seen = text.size();
        return fresh;
    };
    CTdsTestServer tls(m_strServer, {"--catalogue", file, "--log", log, "--tls-cert",
                                     pair.m_strCertificate, "--tls-key", pair.m_strKey});
    CTdsTestServer plain(m_strServer, {"--catalogue", file});
    ASSERT_NE(tls.GetPort(), 0);
    ASSERT_NE(plain.GetPort(), 0);

    struct SCase
    {
        std::vector<std::string> m_args;
        int m_nStatus;
        const char* m_szLogged; // the server's "tls:" line, or "" for none
        const char* m_szSays;   // on standard error
    };
    const SCase cases[] = {
        {{}, 0, "tls: login-only", ""},
        {{"--encrypt", "off"}, 0, "", ""},
        {{"--encrypt=REQUIRE", "--trust-server-certificate"}, 0, "tls: full", ""},
        {{"--encrypt", "require"},
         2,
         "tls: failed",
         "could not be verified for the host '127.0.0.1'"},
    };
    for (const auto& c : cases) {
        const std::string what = c.m_args.empty() ? "(default)" : c.m_args[0];
        logged();
        std::vector<std::string> args{"-S", tls.NameUtf8(), "-U", "sa", "-n", "usp_PlaceOrder"};
        args.insert(args.end(), c.m_args.begin(), c.m_args.end());
        const SRun run = Run(args, {"QUARROW_PASSWORD=pw"});
        EXPECT_EQ(run.m_nStatus, c.m_nStatus) << what << ": " << run.m_strErr;
        EXPECT_NE(run.m_strErr.find(c.m_szSays), std::string::npos) << what << run.m_strErr;
        const std::string lines = logged();
        if (*c.m_szLogged) {
            EXPECT_NE(lines.find(c.m_szLogged), std::string::npos) << what << lines;
        } else {
            EXPECT_EQ(lines.find("tls:"), std::string::npos) << what << lines;
        }
        EXPECT_EQ(lines.find("in clear"), std::string::npos) << what << lines;
        // A failed handshake never lets the login out.
        EXPECT_EQ(lines.find("login:") == std::string::npos, c.m_nStatus != 0) << what << lines;
    }

    const SRun refused =
        Run({"-S", plain.NameUtf8(), "-U", "sa", "--encrypt", "require", "-n", "usp_PlaceOrder"},
            {"QUARROW_PASSWORD=pw"});
    EXPECT_EQ(refused.m_nStatus, 2);
    EXPECT_NE(refused.m_strErr.find("cannot encrypt the connection"), std::string::npos)
        << refused.m_strErr;

    // Registered as "require, trusted": kept by --registered, overridden by --encrypt.
    {
        CProfile profile(u"Quarrow", m_scratch / "config/Korvane@Work");
        CRegisteredServerStore store(profile);
        RegisteredServer server;
        server.m_strServerName = quarrow::FromUtf8(tls.NameUtf8());
        server.m_nNTAuthentication = 0;
        server.m_strLoginName = u"sa";
        server.m_encryption = EEncryptionMode::Require;
        server.m_bTrustServerCertificate = true;
        ASSERT_TRUE(store.SaveServerRegistration(server));
        ASSERT_TRUE(store.SetDatabaseUsed(server.m_strServerName, u"Harbourside", 1));
    }
    logged();
    SRun run = Run({"--registered", "-n", "usp_PlaceOrder"});
    EXPECT_EQ(run.m_nStatus, 0) << run.m_strErr;
    std::string lines = logged();
    EXPECT_NE(lines.find("tls: full"), std::string::npos) << lines;
    run = Run({"--registered", "--encrypt", "off", "-n", "usp_PlaceOrder"});
    EXPECT_EQ(run.m_nStatus, 0) << run.m_strErr;
    lines = logged();
    EXPECT_EQ(lines.find("tls:"), std::string::npos) << lines;
    EXPECT_NE(lines.find("login: sa\n"), std::string::npos) << lines;
}

} // namespace

// --list-servers through the real binary: the browser's answers (the responder on 127.0.0.1)
// and the servers of the configuration files written here, one a line, sorted, exit 0.
TEST_F(CFindCommandTest, ListServersPrintsOneServerALine)
{
    CBrowserResponder browser;
    ASSERT_NE(browser.GetPort(), 0);
    browser.SetInstances(
        {{"SQL01", "SALES", 50123}, {"SQL01", "MSSQLSERVER", 1433}, {"sql02", "HR", 0}});
    CScratchFolder::WriteFile(m_scratch / "freetds.conf",
                              "[reports]\n host = reports.corp.example\n port = 50200\n"
                              "[same]\n host = SQL01\n");
    CScratchFolder::WriteFile(m_scratch / "odbc.ini",
                              "[dsn]\nDriver = FreeTDS\nServer = dsn-host\n"
                              "[pg]\nDriver = PostgreSQL\nServer = pg-host\n");
    const std::string scratch = m_scratch.Path().string();
    const std::vector<std::string> files = {
        "HOME=" + scratch, "FREETDSCONF=" + scratch + "/freetds.conf",
        "ODBCINI=" + scratch + "/odbc.ini", "ODBCSYSINI=" + scratch};

    auto environment = files;
    environment.push_back("QUARROW_BROWSER_ADDRESS=" + browser.Address());
    SRun run = Run({"--list-servers"}, environment);
    EXPECT_EQ(run.m_nStatus, 0) << run.m_strErr;
    EXPECT_EQ(run.m_strErr, "");
    auto lines = Lines(run.m_strOut);
    for (const char* expected :
         {"SQL01", "SQL01\\SALES", "sql02\\HR", "reports.corp.example,50200", "dsn-host"}) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1) << expected << "\n"
                                                                       << run.m_strOut;
    }
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "pg-host"), 0) << run.m_strOut;
    auto sorted = lines;
    std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    EXPECT_EQ(lines, sorted);
    EXPECT_GE(browser.GetRequests(), 1);

    // A malformed address is named; the servers of the files are listed all the same.
    environment = files;
    environment.push_back("QUARROW_BROWSER_ADDRESS=no-port-here");
    run = Run({"--list-servers"}, environment);
    EXPECT_EQ(run.m_nStatus, 0);
    EXPECT_NE(run.m_strErr.find("QUARROW_BROWSER_ADDRESS: 'no-port-here' is not HOST:PORT"),
              std::string::npos)
        << run.m_strErr;
    lines = Lines(run.m_strOut);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "dsn-host"), 1) << run.m_strOut;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "SQL01\\SALES"), 0) << run.m_strOut;
}
