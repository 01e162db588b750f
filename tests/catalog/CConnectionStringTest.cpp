#include "catalog/CConnectionString.h"

#include "platform/Utf.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using quarrow::ToUtf8;

struct SParseCase
{
    std::u16string m_strName;
    std::u16string m_strHost;
    std::u16string m_strInstance;
    std::optional<unsigned> m_nPort;
};

TEST(CConnectionString, EveryServerNameFormIsTakenApart)
{
    const SParseCase cases[] = {
        {u"SQL01", u"SQL01", u"", std::nullopt},
        {u"sql01.corp.example", u"sql01.corp.example", u"", std::nullopt},
        {u"SQL01\\SALES", u"SQL01", u"SALES", std::nullopt},
        {u"SQL01,14330", u"SQL01", u"", 14330},
        {u"127.0.0.1,1", u"127.0.0.1", u"", 1},
        {u"tcp:SQL01,1433", u"SQL01", u"", 1433},
        {u"TCP:SQL01", u"SQL01", u"", std::nullopt},
        {u"(local)", u"localhost", u"", std::nullopt},
        {u"(LOCAL)\\SQLEXPRESS", u"localhost", u"SQLEXPRESS", std::nullopt},
        {u".", u"localhost", u"", std::nullopt},
        {u".\\SQLEXPRESS", u"localhost", u"SQLEXPRESS", std::nullopt},
        {u"  SQL01 , 2000 ", u"SQL01", u"", 2000},
        {u"SQL01\\MSSQLSERVER", u"SQL01", u"", std::nullopt}, // the default instance by name
        {u"SQL01\\SALES,50000", u"SQL01", u"SALES", 50000},
        {u"S\u00d8RVER\\\u0418\u041c\u042f", u"S\u00d8RVER", u"\u0418\u041c\u042f", std::nullopt},
    };
    for (const auto& c : cases) {
        SServerAddress address;
        std::u16string reason;
        ASSERT_TRUE(CConnectionString::ParseServerName(c.m_strName, address, reason))
            << ToUtf8(c.m_strName) << ": " << ToUtf8(reason);
        EXPECT_EQ(address.m_strHost, c.m_strHost) << ToUtf8(c.m_strName);
        EXPECT_EQ(address.m_strInstance, c.m_strInstance) << ToUtf8(c.m_strName);
        EXPECT_EQ(address.m_nPort, c.m_nPort) << ToUtf8(c.m_strName);
    }
}

TEST(CConnectionString, BadServerNamesSayWhatIsWrong)
{
    const std::pair<std::u16string, const char*> cases[] = {
        {u"", "no server name"},
        {u"   ", "no server name"},
        {u"tcp:", "no server name"},
        {u"SQL01,", "not a port number"},
        {u"SQL01,0", "not a port number"},
        {u"SQL01,65536", "not a port number"},
        {u"SQL01,14a", "not a port number"},
        {u"SQL01,-1", "not a port number"},
        {u"SQL01,123456", "not a port number"},
        {u",1433", "no host name"},
        {u"\\SALES", "no host name"},
        {u"SQL01\\", "no instance name"},
        {std::u16string(u"SQL\0"
                        u"01",
                        6),
         "NUL"},
    };
    for (const auto& [name, expected] : cases) {
        SServerAddress address;
        std::u16string reason;
        EXPECT_FALSE(CConnectionString::ParseServerName(name, address, reason)) << ToUtf8(name);
        EXPECT_NE(ToUtf8(reason).find(expected), std::string::npos)
            << ToUtf8(name) << " gave: " << ToUtf8(reason);
    }
}

SConnectionSettings Settings(const std::u16string& server)
{
    SConnectionSettings settings;
    std::u16string reason;
    EXPECT_TRUE(CConnectionString::ParseServerName(server, settings.m_address, reason));
    settings.m_strDriver = u"FreeTDS";
    settings.m_strLogin = u"sa";
    settings.m_strPassword = u"secret";
    return settings;
}

std::u16string Built(const SConnectionSettings& settings)
{
    std::u16string text;
    std::u16string reason;
    EXPECT_TRUE(CConnectionString::Build(settings, text, reason)) << ToUtf8(reason);
    return text;
}

TEST(CConnectionString, PortGoesAlongUnlessTheBrowserIsAskedForAnInstance)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"SQL01", u"Server={SQL01};Port=1433;"},
        {u"tcp:SQL01,14330", u"Server={SQL01};Port=14330;"},
        {u"SQL01\\SALES", u"Server={SQL01\\SALES};TDS_Version"},
        {u"SQL01\\SALES,50000", u"Server={SQL01\\SALES};Port=50000;"},
        {u"(local)", u"Server={localhost};Port=1433;"},
    };
    for (const auto& [server, expected] : cases) {
        EXPECT_NE(Built(Settings(server)).find(expected), std::u16string::npos)
            << ToUtf8(server) << " gave " << ToUtf8(Built(Settings(server)));
    }
}

TEST(CConnectionString, SqlLoginWholeString)
{
    EXPECT_EQ(Built(Settings(u"127.0.0.1,5000")),
              u"Driver={FreeTDS};Server={127.0.0.1};Port=5000;TDS_Version={7.4};"
              u"Encryption={request};UID={sa};PWD={secret}");
}

TEST(CConnectionString, HostileValuesStayInsideTheirBraces)
{
    auto settings = Settings(u"SQL01");
    settings.m_strLogin = u"a}b";
    settings.m_strPassword = u"p;UID=sa;PWD={x}}";
    settings.m_strDriver = u"/opt/odbc drivers/lib}tds.so";
    const auto text = Built(settings);
    EXPECT_NE(text.find(u"Driver={/opt/odbc drivers/lib}}tds.so};"), std::u16string::npos);
    EXPECT_NE(text.find(u";UID={a}}b};"), std::u16string::npos);
    EXPECT_TRUE(text.ends_with(u";PWD={p;UID=sa;PWD={x}}}}}"));
    // Outside braces the string holds only our own keywords.
    std::u16string outside;
    bool inBraces = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!inBraces && text[i] == u'{') {
            inBraces = true;
        } else if (inBraces && text[i] == u'}') {
            if (i + 1 < text.size() && text[i + 1] == u'}') {
                ++i;
            } else {
                inBraces = false;
            }
        } else if (!inBraces) {
            outside += text[i];
        }
    }
    EXPECT_EQ(outside, u"Driver=;Server=;Port=1433;TDS_Version=;Encryption=;UID=;PWD=");
}

TEST(CConnectionString, NulInAValueIsRefused)
{
    for (auto field : {&SConnectionSettings::m_strLogin, &SConnectionSettings::m_strPassword}) {
        auto settings = Settings(u"SQL01");
        settings.*field = std::u16string(u"ab\0cd", 5);
        std::u16string text;
        std::u16string reason;
        EXPECT_FALSE(CConnectionString::Build(settings, text, reason));
        EXPECT_NE(ToUtf8(reason).find("NUL"), std::string::npos);
    }
}

TEST(CConnectionString, IntegratedLoginNamesTheKerberosService)
{
    auto settings = Settings(u"sql01,14330");
    settings.m_bIntegrated = true;
    settings.m_strCanonicalHost = u"sql01.corp.example";
    const auto text = Built(settings);
    EXPECT_NE(text.find(u";Trusted_Connection=Yes;ServerSPN={MSSQLSvc/sql01.corp.example:14330}"),
              std::u16string::npos)
        << ToUtf8(text);
    EXPECT_EQ(text.find(u"UID="), std::u16string::npos);
    EXPECT_EQ(text.find(u"secret"), std::u16string::npos);

    auto named = Settings(u"sql01\\SALES");
    named.m_bIntegrated = true;
    EXPECT_EQ(CConnectionString::ServicePrincipalName(named), u"MSSQLSvc/sql01:SALES");
    auto plain = Settings(u"sql01");
    EXPECT_EQ(CConnectionString::ServicePrincipalName(plain), u"MSSQLSvc/sql01:1433");
}

TEST(CConnectionString, DriverChosenByTheEnvironmentWins)
{
    const char* old = std::getenv("QUARROW_ODBC_DRIVER");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("QUARROW_ODBC_DRIVER", "ODBC Driver 18 for SQL Server", 1);
    std::u16string reason;
    EXPECT_EQ(CConnectionString::FindDriver(reason), u"ODBC Driver 18 for SQL Server");
    unsetenv("QUARROW_ODBC_DRIVER");
    // tools/install-deps installs tdsodbc, so FreeTDS is found by name or by its library.
    const auto found = CConnectionString::FindDriver(reason);
    EXPECT_FALSE(found.empty()) << ToUtf8(reason);
    if (saved) {
        setenv("QUARROW_ODBC_DRIVER", saved->c_str(), 1);
    }
}

} // namespace
