#include "catalog/CConnectionString.h"

#include "platform/Utf.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

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

// The connection-string grammar, read the way the ODBC reference gives it: key=value pairs
// ended by ';', a value in braces runs to the '}' not doubled. Nothing when it is malformed.
std::optional<std::vector<std::pair<std::u16string, std::u16string>>>
ReadConnectionString(const std::u16string& text)
{
    std::vector<std::pair<std::u16string, std::u16string>> pairs;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto equals = text.find(u'=', i);
        if (equals == std::u16string::npos) {
            return std::nullopt;
        }
        std::u16string key = text.substr(i, equals - i);
        std::u16string value;
        i = equals + 1;
        if (i < text.size() && text[i] == u'{') {
            ++i;
            for (;; ++i) {
                if (i >= text.size()) {
                    return std::nullopt;
                }
                if (text[i] == u'}') {
                    if (i + 1 < text.size() && text[i + 1] == u'}') {
                        value += u'}';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i];
            }
            if (i < text.size() && text[i] != u';') {
                return std::nullopt;
            }
        } else {
            const auto semicolon = text.find(u';', i);
            value = text.substr(i, semicolon == std::u16string::npos ? std::u16string::npos
                                                                     : semicolon - i);
            i = semicolon == std::u16string::npos ? text.size() : semicolon;
        }
        if (i < text.size()) {
            ++i; // the ';'
        }
        pairs.emplace_back(std::move(key), std::move(value));
    }
    return pairs;
}

using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

TEST(CConnectionString, PortGoesAlongUnlessTheBrowserIsAskedForAnInstance)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"SQL01", u";Server=SQL01;Port=1433;"},
        {u"tcp:SQL01,14330", u";Server=SQL01;Port=14330;"},
        {u"SQL01\\SALES", u";Server=SQL01\\SALES;TDS_Version"},
        {u"SQL01\\SALES,50000", u";Server=SQL01\\SALES;Port=50000;"},
        {u"(local)", u";Server=localhost;Port=1433;"},
    };
    for (const auto& [server, expected] : cases) {
        EXPECT_NE(Built(Settings(server)).find(expected), std::u16string::npos)
            << ToUtf8(server) << " gave " << ToUtf8(Built(Settings(server)));
    }
}

TEST(CConnectionString, InstanceWithTheBrowsersPortGoesAsHostAndPort)
{
    auto settings = Settings(u"SQL01\\SALES");
    CConnectionString::SetInstancePort(settings.m_address, 50123);
    const std::u16string text = Built(settings);
    EXPECT_NE(text.find(u";Server=SQL01;Port=50123;"), std::u16string::npos) << ToUtf8(text);
    EXPECT_EQ(text.find(u"SALES"), std::u16string::npos) << ToUtf8(text);
}

TEST(CConnectionString, SqlLoginWholeString)
{
    // Every pair ends in ';': FreeTDS 1.3 closes a braced value only at "};".
    EXPECT_EQ(Built(Settings(u"127.0.0.1,5000")),
              u"Driver=FreeTDS;Server=127.0.0.1;Port=5000;TDS_Version=7.4;"
              u"Encryption=request;UID=sa;PWD=secret;");
}

TEST(CConnectionString, HostileValuesComeBackWhole)
{
    const std::u16string values[] = {
        u"a}b", u"p;UID=sa;PWD={x}}", u"{starts with a brace", u" blank ends ", u"x=y", u"", u"}",
        u";",   u"\u00e9\u4e2d",      u"semi;}colon}",
    };
    for (const auto& value : values) {
        auto settings = Settings(u"SQL01");
        settings.m_strLogin = value;
        settings.m_strPassword = value + u"!";
        settings.m_strDriver = u"/opt/odbc drivers/" + value;
        const auto text = Built(settings);
        const auto pairs = ReadConnectionString(text);
        ASSERT_TRUE(pairs) << ToUtf8(text);
        EXPECT_EQ(*pairs, (Pairs{{u"Driver", u"/opt/odbc drivers/" + value},
                                 {u"Server", u"SQL01"},
                                 {u"Port", u"1433"},
                                 {u"TDS_Version", u"7.4"},
                                 {u"Encryption", u"request"},
                                 {u"Encrypt", u"no"},
                                 {u"TrustServerCertificate", u"no"},
                                 {u"UID", value},
                                 {u"PWD", value + u"!"}}))
            << ToUtf8(text);
    }
    // Braces only where a value needs them.
    EXPECT_EQ(CConnectionString::QuoteValue(u"a}b"), u"a}b");
    EXPECT_EQ(CConnectionString::QuoteValue(u"a;b}"), u"{a;b}}}");
    EXPECT_EQ(CConnectionString::QuoteValue(u"{ab"), u"{{ab}");
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

// FreeTDS would read these changed, so they are refused with a reason rather than sent; a
// driver that reads braces by the ODBC rules takes them (above).
TEST(CConnectionString, ValuesFreeTdsWouldMisreadAreRefused)
{
    struct SCase
    {
        std::u16string m_strDriver;
        std::u16string m_strPassword;
        bool m_bBuilt;
    };
    const SCase cases[] = {
        {u"FreeTDS", u"semi;}colon", false},
        {u"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so", u" brace} ", false},
        {u"FreeTDS", u"a}b", true}, // needs no braces
        {u"FreeTDS", u"a;b", true}, // braces, no '}'
        {u"ODBC Driver 18 for SQL Server", u"semi;}colon", true},
    };
    for (const auto& test : cases) {
        auto settings = Settings(u"SQL01");
        settings.m_strDriver = test.m_strDriver;
        settings.m_strLogin = u"sa";
        settings.m_strPassword = test.m_strPassword;
        std::u16string text;
        std::u16string reason;
        EXPECT_EQ(CConnectionString::Build(settings, text, reason), test.m_bBuilt)
            << ToUtf8(test.m_strPassword);
        if (!test.m_bBuilt) {
            EXPECT_NE(ToUtf8(reason).find("FreeTDS cannot"), std::string::npos);
            EXPECT_EQ(ToUtf8(reason).find(ToUtf8(test.m_strPassword)), std::string::npos);
        }
    }
}

TEST(CConnectionString, IntegratedLoginNamesTheKerberosService)
{
    auto settings = Settings(u"sql01,14330");
    settings.m_bIntegrated = true;
    settings.m_strCanonicalHost = u"sql01.corp.example";
    const auto text = Built(settings);
    EXPECT_NE(text.find(u";Trusted_Connection=Yes;ServerSPN=MSSQLSvc/sql01.corp.example:14330;"),
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

TEST(CConnectionString, ServiceNameFromTheCanonicalHostAndPort)
{
    // A resolver that knows a few names as DNS would give them.
    const std::map<std::u16string, std::u16string> names = {
        {u"sql01", u"sql01.corp.example"},
        {u"sql02", u"sql02.corp.example."},
        {u"alias", u"real-host.corp.example"},
        {u"SQL03", u"SQL03.Corp.Example"},
    };
    const auto resolver = [&](const std::u16string& host) -> std::optional<std::u16string> {
        const auto found = names.find(host);
        return found == names.end() ? std::nullopt : std::optional(found->second);
    };
    const std::vector<std::pair<std::u16string, std::u16string>> cases = {
        {u"sql01", u"MSSQLSvc/sql01.corp.example:1433"},
        {u"sql01,1500", u"MSSQLSvc/sql01.corp.example:1500"},
        {u"tcp:sql01, 1500", u"MSSQLSvc/sql01.corp.example:1500"},
        {u"sql01\\MSSQLSERVER", u"MSSQLSvc/sql01.corp.example:1433"},
        {u"sql01\\SALES,2433", u"MSSQLSvc/sql01.corp.example:2433"},
        // A named instance whose port only the SQL Server Browser knows: its name stands in.
        {u"sql01\\SALES", u"MSSQLSvc/sql01.corp.example:SALES"},
        {u"sql02", u"MSSQLSvc/sql02.corp.example:1433"},
        {u"alias,1433", u"MSSQLSvc/real-host.corp.example:1433"},
        {u"SQL03", u"MSSQLSvc/SQL03.Corp.Example:1433"},
        {u"unknown-host", u"MSSQLSvc/unknown-host:1433"},
        {u"10.1.2.3,1444", u"MSSQLSvc/10.1.2.3:1444"},
    };
    for (const auto& [typed, expected] : cases) {
        auto settings = Settings(typed);
        settings.m_bIntegrated = true;
        settings.m_strCanonicalHost =
            CConnectionString::CanonicalHostName(settings.m_address.m_strHost, resolver);
        EXPECT_EQ(CConnectionString::ServicePrincipalName(settings), expected) << ToUtf8(typed);
        EXPECT_NE(Built(settings).find(u";ServerSPN=" + expected + u";"), std::u16string::npos)
            << ToUtf8(typed);
    }
    // The system's resolver leaves an address as it is.
    EXPECT_EQ(CConnectionString::CanonicalHostName(u"127.0.0.1"), u"127.0.0.1");
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

// Without a registration in odbcinst.ini the driver is found by its library. (unixODBC
// reads odbcinst.ini once per process, so the registration cannot be hidden from here.)
TEST(CConnectionString, FreeTdsLibraryIsFoundInTheMultiarchFolder)
{
    const auto found = ToUtf8(CConnectionString::FindDriverLibrary());
    EXPECT_TRUE(found.starts_with("/usr/") && found.ends_with("/odbc/libtdsodbc.so")) << found;
    EXPECT_EQ(access(found.c_str(), R_OK), 0);
}

} // namespace

TEST(CConnectionString, EncryptionModeGoesAlongAsFreeTdsNamesIt)
{
    const std::pair<EEncryptionMode, const char16_t*> modes[] = {
        {EEncryptionMode::Off, u";Encryption=off;"},
        {EEncryptionMode::Request, u";Encryption=request;"},
        {EEncryptionMode::Require, u";Encryption=require;"},
    };
    for (const auto& [mode, expected] : modes) {
        for (bool trust : {false, true}) {
            auto settings = Settings(u"SQL01,1500");
            settings.m_options = {mode, trust};
            const auto text = Built(settings);
            EXPECT_NE(text.find(expected), std::u16string::npos) << ToUtf8(text);
            // Only a required, untrusted connection checks the certificate.
            EXPECT_EQ(CConnectionString::ChecksCertificate(settings),
                      mode == EEncryptionMode::Require && !trust);
        }
    }
}

TEST(CConnectionString, CheckedCertificateGoesThroughAFreeTdsSection)
{
    struct SCase
    {
        const char16_t* m_szServer;
        const char16_t* m_szCaFile;
        const char* m_szBody;
    };
    const SCase cases[] = {
        {u"sql01.corp.example,1500", u"system",
         "host = sql01.corp.example\nport = 1500\ntds version = 7.4\nencryption = require\n"
         "ca file = system\ncheck certificate hostname = yes\n"},
        {u"SQL01", u"/etc/corp ca/root.pem",
         "host = SQL01\nport = 1433\ntds version = 7.4\nencryption = require\n"
         "ca file = /etc/corp ca/root.pem\ncheck certificate hostname = yes\n"},
        // A named instance without a port: FreeTDS asks the SQL Server Browser.
        {u"SQL01\\SALES", u"system",
         "host = SQL01\ninstance = SALES\ntds version = 7.4\nencryption = require\n"
         "ca file = system\ncheck certificate hostname = yes\n"},
    };
    std::vector<std::string> names;
    for (const auto& c : cases) {
        auto settings = Settings(c.m_szServer);
        settings.m_options = {EEncryptionMode::Require, false};
        settings.m_strCaFile = c.m_szCaFile;
        std::string name;
        std::string body;
        std::u16string reason;
        ASSERT_TRUE(CConnectionString::BuildConfigSection(settings, name, body, reason))
            << ToUtf8(reason);
        EXPECT_EQ(body, c.m_szBody);
        EXPECT_TRUE(name.starts_with("quarrow-")) << name;
        EXPECT_EQ(name.find_first_not_of("quarow-0123456789abcdef"), std::string::npos) << name;
        names.push_back(name);

        // The section stands in for the server and port; the login stays in the string.
        settings.m_strConfigSection = quarrow::FromUtf8(name);
        const auto pairs = ReadConnectionString(Built(settings));
        ASSERT_TRUE(pairs);
        EXPECT_EQ(*pairs, (Pairs{{u"Driver", u"FreeTDS"},
                                 {u"Servername", quarrow::FromUtf8(name)},
                                 {u"TDS_Version", u"7.4"},
                                 {u"Encryption", u"require"},
                                 {u"UID", u"sa"},
                                 {u"PWD", u"secret"}}));
    }
    // Different settings, different sections; the same settings, the same one.
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
    auto again = Settings(cases[0].m_szServer);
    again.m_strCaFile = cases[0].m_szCaFile;
    std::string name;
    std::string body;
    std::u16string reason;
    ASSERT_TRUE(CConnectionString::BuildConfigSection(again, name, body, reason));
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end());
}

TEST(CConnectionString, ValuesAFreeTdsSectionWouldMisreadAreRefused)
{
    // freetds.conf starts a comment at ';' or '#', ends a value at a line break and drops
    // blanks at either end: such a value would reach FreeTDS changed.
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"SQL01", u"/etc/ca;x.pem"},
        {u"SQL01", u"/etc/ca#1.pem"},
        {u"SQL01", u"/etc/ca\n.pem"},
        {u"SQL01", u" /etc/ca.pem"},
        {u"SQL01", u""},
        {u"SQL#01", u"system"},
        {u"SQL01\\SA;LES", u"system"},
    };
    for (const auto& [server, caFile] : cases) {
        SConnectionSettings settings;
        std::u16string reason;
        ASSERT_TRUE(CConnectionString::ParseServerName(server, settings.m_address, reason));
        settings.m_strCaFile = caFile;
        std::string name;
        std::string body;
        EXPECT_FALSE(CConnectionString::BuildConfigSection(settings, name, body, reason))
            << ToUtf8(server) << " " << ToUtf8(caFile);
        EXPECT_NE(ToUtf8(reason).find("cannot be passed to FreeTDS"), std::string::npos)
            << ToUtf8(reason);
    }
}

TEST(CConnectionString, OtherDriversAreToldInTheirOwnWords)
{
    const struct
    {
        EEncryptionMode m_mode;
        bool m_bTrust;
        const char16_t* m_szWords;
    } cases[] = {
        {EEncryptionMode::Off, false, u";Encrypt=no;TrustServerCertificate=no;"},
        {EEncryptionMode::Request, true, u";Encrypt=no;TrustServerCertificate=yes;"},
        {EEncryptionMode::Require, false, u";Encrypt=yes;TrustServerCertificate=no;"},
        {EEncryptionMode::Require, true, u";Encrypt=yes;TrustServerCertificate=yes;"},
    };
    for (const auto& c : cases) {
        auto settings = Settings(u"SQL01");
        settings.m_options = {c.m_mode, c.m_bTrust};
        settings.m_strDriver = u"ODBC Driver 18 for SQL Server";
        EXPECT_NE(Built(settings).find(c.m_szWords), std::u16string::npos)
            << ToUtf8(Built(settings));
        // Such a driver checks the certificate itself: no FreeTDS section.
        EXPECT_FALSE(CConnectionString::NeedsConfigSection(settings));
        // FreeTDS gets neither word, and a section exactly when it checks the certificate.
        for (const char16_t* freetds :
             {u"FreeTDS", u"/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"}) {
            settings.m_strDriver = freetds;
            EXPECT_EQ(Built(settings).find(u"Encrypt="), std::u16string::npos);
            EXPECT_EQ(CConnectionString::NeedsConfigSection(settings),
                      c.m_mode == EEncryptionMode::Require && !c.m_bTrust);
        }
    }
}
