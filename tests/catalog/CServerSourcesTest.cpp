// The servers read from freetds.conf and odbc.ini files written here: which sections count,
// how each becomes a server name, and the merged list's order.

#include "catalog/CServerSources.h"

#include "platform/Utf.h"
#include "tests/support/CScratchFolder.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using quarrow::ToUtf8;

std::string Joined(const std::vector<std::u16string>& names)
{
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : " ") + ToUtf8(name);
    }
    return text;
}

class CServerSourcesTest : public ::testing::Test
{
protected:
    std::string Write(const std::string& name, const std::string& text)
    {
        const std::string path = (m_scratch / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    CScratchFolder m_scratch;
};

TEST_F(CServerSourcesTest, FreeTdsSectionsBecomeServerNames)
{
    const std::string user = Write("user.conf", "[sales]\n"
                                                "  host = sql01.corp.example\n"
                                                "  port = 50123\n"
                                                "[Shared]\n"
                                                "  host = user-wins\n");
    const std::string system = Write("system.conf", "; a comment\n"
                                                    "[global]\n"
                                                    "  tds version = auto\n"
                                                    "  host = not-a-server\n"
                                                    "[shared]\n"
                                                    "  host = system-loses\n"
                                                    "[hr]\n"
                                                    "\thost = SQL02\n"
                                                    "\tinstance = HR\n"
                                                    "[plain]\n"
                                                    "  host = SQL03\n"
                                                    "  port = 1433\n"
                                                    "# Sybase speaks TDS 5.0\n"
                                                    "[sybase]\n"
                                                    "  host = syb01\n"
                                                    "  port = 5000\n"
                                                    "  tds version = 5.0\n"
                                                    "[nohost]\n"
                                                    "  port = 1500\n"
                                                    "[badport]\n"
                                                    "  host = SQL04\n"
                                                    "  port = 99999\n"
                                                    "[broken\n"
                                                    "  host = SQL05\n");
    auto names = CServerSources::FreeTdsServers({user, system, (m_scratch / "missing").string()});
    CServerSources::SortUnique(names);
    // [broken has no closing bracket: its keys belong to [badport], which is dropped anyway.
    EXPECT_EQ(Joined(names), "sql01.corp.example,50123 SQL02\\HR SQL03 user-wins");
}

TEST_F(CServerSourcesTest, OnlySqlServerDataSourcesCount)
{
    SServerSourcePaths paths;
    paths.m_freeTdsFiles = {Write("freetds.conf", "[viaconf]\n host = conf-host\n port = 2000\n")};
    paths.m_odbcInstFiles = {Write("odbcinst.ini",
                                   "[FreeTDS]\n"
                                   "Driver = /usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so\n"
                                   "[Corp SQL]\n"
                                   "Driver = /opt/microsoft/msodbcsql18/lib64/libmsodbcsql-18.so\n"
                                   "[PostgreSQL Unicode]\n"
                                   "Driver = psqlodbcw.so\n")};
    paths.m_odbcIniFiles = {Write("user.ini", "[ODBC Data Sources]\n"
                                              "sales = FreeTDS\n"
                                              "[sales]\n"
                                              "Driver = FreeTDS\n"
                                              "Server = SQL01\n"
                                              "Port = 50123\n"
                                              "[corp]\n"
                                              "Driver = Corp SQL\n"
                                              "Server = tcp:sql09.corp.example,1433\n"
                                              "[named]\n"
                                              "Driver = ODBC Driver 18 for SQL Server\n"
                                              "Server = SQL07\\REPORTS\n"),
                            Write("system.ini", "[ODBC]\n"
                                                "Trace = No\n"
                                                "[pg]\n"
                                                "Driver = PostgreSQL Unicode\n"
                                                "Servername = pg01\n"
                                                "[conf]\n"
                                                "Driver = /usr/lib/odbc/libtdsodbc.so\n"
                                                "Servername = ViaConf\n"
                                                "[unknownconf]\n"
                                                "Driver = FreeTDS\n"
                                                "Servername = nowhere\n"
                                                "[address]\n"
                                                "Driver = FreeTDS\n"
                                                "Address = 10.0.0.5\n")};
    auto names = CServerSources::OdbcServers(paths);
    CServerSources::SortUnique(names);
    EXPECT_EQ(Joined(names),
              "10.0.0.5 conf-host,2000 SQL01,50123 SQL07\\REPORTS sql09.corp.example");
}

TEST_F(CServerSourcesTest, AllIsSortedWithoutDuplicates)
{
    SServerSourcePaths paths;
    paths.m_freeTdsFiles = {Write("freetds.conf", "[a]\nhost = Zulu\n[b]\nhost = alpha\n"
                                                  "[c]\nhost = SQL01\ninstance = HR\n")};
    paths.m_odbcIniFiles = {Write("odbc.ini", "[x]\nDriver = FreeTDS\nServer = ALPHA\n"
                                              "[y]\nDriver = FreeTDS\nServer = sql01\\hr\n"
                                              "[z]\nDriver = FreeTDS\nServer = Beta\n")};
    EXPECT_EQ(Joined(CServerSources::All(paths)), "alpha Beta SQL01\\HR Zulu");
}

TEST_F(CServerSourcesTest, HostileFilesGiveNothingOrWhatReadsCleanly)
{
    // Larger than any configuration file: not read at all.
    std::string big = "[big]\nhost = big-host\n";
    big.resize(CServerSources::kLargestFile + 10, '#');
    SServerSourcePaths paths;
    static const char kControls[] = "[ctl]\nhost = a\x01z\n[nul]\nhost = b\0c\n";
    paths.m_freeTdsFiles = {Write("big.conf", big), m_scratch.Path().string(),
                            Write("odd.conf", std::string(kControls, sizeof kControls - 1) +
                                                  "[ok]\nhost = fine\n[empty]\nhost =\n")};
    EXPECT_EQ(Joined(CServerSources::All(paths)), "fine");
}

TEST_F(CServerSourcesTest, EnvironmentNamesTheFiles)
{
    struct SVariable
    {
        const char* m_szName;
        const char* m_szValue;
    };
    const SVariable variables[] = {{"HOME", "/home/someone"},
                                   {"FREETDSCONF", "/srv/freetds.conf"},
                                   {"ODBCINI", "/srv/user-odbc.ini"},
                                   {"ODBCSYSINI", "/srv/odbc"}};
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    for (const auto& variable : variables) {
        const char* old = std::getenv(variable.m_szName);
        saved.emplace_back(variable.m_szName, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(variable.m_szName, variable.m_szValue, 1);
    }
    const auto chosen = SServerSourcePaths::FromEnvironment();
    unsetenv("FREETDSCONF");
    unsetenv("ODBCINI");
    unsetenv("ODBCSYSINI");
    const auto defaults = SServerSourcePaths::FromEnvironment();
    for (const auto& [name, value] : saved) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    using Files = std::vector<std::string>;
    EXPECT_EQ(chosen.m_freeTdsFiles, (Files{"/home/someone/.freetds.conf", "/srv/freetds.conf"}));
    EXPECT_EQ(chosen.m_odbcIniFiles, (Files{"/srv/user-odbc.ini", "/srv/odbc/odbc.ini"}));
    EXPECT_EQ(chosen.m_odbcInstFiles, (Files{"/srv/odbc/odbcinst.ini"}));
    EXPECT_EQ(defaults.m_freeTdsFiles,
              (Files{"/home/someone/.freetds.conf", "/etc/freetds/freetds.conf"}));
    EXPECT_EQ(defaults.m_odbcIniFiles, (Files{"/home/someone/.odbc.ini", "/etc/odbc.ini"}));
    EXPECT_EQ(defaults.m_odbcInstFiles, (Files{"/etc/odbcinst.ini"}));
}

} // namespace
