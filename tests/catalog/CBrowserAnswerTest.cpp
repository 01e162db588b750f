// The SQL Server Browser's answers read by CBrowserAnswer: well-formed records come through
// with their fields, and every kind of damaged datagram is dropped or cut, never trusted.

#include "catalog/CBrowserAnswer.h"

#include "platform/Utf.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using quarrow::ToUtf8;

const std::string kSales = "ServerName;SQL01;InstanceName;SALES;IsClustered;No;"
                           "Version;16.0.1000.6;tcp;50123;;";
const std::string kDefault = "ServerName;SQL01;InstanceName;MSSQLSERVER;IsClustered;Yes;"
                             "Version;15.0.2000.5;tcp;1433;np;\\\\SQL01\\pipe\\sql\\query;;";
const std::string kPipesOnly = "ServerName;SQL02;InstanceName;HR;IsClustered;No;"
                               "Version;14.0.1000.169;np;\\\\SQL02\\pipe\\MSSQL$HR\\sql\\query;;";

// An SVR_RESP with a length field of its own choosing.
std::string Datagram(const std::string& records, std::size_t declared)
{
    std::string datagram(1, '\x05');
    datagram += static_cast<char>(declared & 0xFF);
    datagram += static_cast<char>((declared >> 8) & 0xFF);
    return datagram + records;
}

std::string Datagram(const std::string& records)
{
    return Datagram(records, records.size());
}

std::vector<SBrowserInstance> Parse(const std::string& datagram)
{
    return CBrowserAnswer::Parse(reinterpret_cast<const std::uint8_t*>(datagram.data()),
                                 datagram.size());
}

std::string Names(const std::vector<SBrowserInstance>& instances)
{
    std::string names;
    for (const auto& instance : instances) {
        names += (names.empty() ? "" : " ") + ToUtf8(CBrowserAnswer::DisplayName(instance));
    }
    return names;
}

TEST(CBrowserAnswer, WholeRecordsGiveTheirFields)
{
    const auto instances = Parse(Datagram(kSales + kDefault + kPipesOnly));
    ASSERT_EQ(instances.size(), 3u);
    EXPECT_EQ(instances[0].m_strServerName, "SQL01");
    EXPECT_EQ(instances[0].m_strInstanceName, "SALES");
    EXPECT_EQ(instances[0].m_strVersion, "16.0.1000.6");
    EXPECT_FALSE(instances[0].m_bClustered);
    EXPECT_EQ(instances[0].m_nTcpPort, 50123u);
    EXPECT_TRUE(instances[1].m_bClustered);
    EXPECT_EQ(instances[1].m_nTcpPort, 1433u);
    EXPECT_FALSE(instances[2].m_nTcpPort.has_value());
    // The default instance goes by its host's name alone.
    EXPECT_EQ(Names(instances), "SQL01\\SALES SQL01 SQL02\\HR");
}

TEST(CBrowserAnswer, KeysAreReadWithoutRegardToCase)
{
    const auto instances =
        Parse(Datagram("servername;A;INSTANCENAME;mssqlserver;isclustered;no;VERSION;9.0;TCP;1;;"));
    ASSERT_EQ(instances.size(), 1u);
    EXPECT_EQ(Names(instances), "A");
    EXPECT_EQ(instances[0].m_nTcpPort, 1u);
}

struct SDamageCase
{
    const char* m_szWhat;
    std::string m_datagram;
    const char* m_szExpected; // the names kept, in order
};

TEST(CBrowserAnswer, DamagedAnswersAreDroppedOrCut)
{
    const std::string both = kSales + kPipesOnly;
    const SDamageCase cases[] = {
        {"empty datagram", "", ""},
        {"type byte only", "\x05", ""},
        {"no length", std::string("\x05\x10", 2), ""},
        {"not an answer", "\x04" + Datagram(kSales).substr(1), ""},
        {"request type", std::string(1, '\x02'), ""},
        {"length zero", Datagram(kSales, 0), ""},
        // The length field says less than came: the rest is not the answer's.
        {"length cuts the second record", Datagram(both, kSales.size()), "SQL01\\SALES"},
        {"length inside the first record", Datagram(both, 10), ""},
        // The length field says more than came: whole records are kept.
        {"truncated inside the second record",
         Datagram(both, both.size()).substr(0, 3 + kSales.size() + 20), "SQL01\\SALES"},
        {"length far beyond the datagram", Datagram(kSales, 65535), "SQL01\\SALES"},
        {"missing final ;;", Datagram(kSales.substr(0, kSales.size() - 2)), ""},
        {"single ; at the end", Datagram(kSales.substr(0, kSales.size() - 1)), ""},
        {"second record unfinished", Datagram(kSales + "ServerName;X;InstanceName;Y"),
         "SQL01\\SALES"},
        {"non-ASCII in a name",
         Datagram("ServerName;S\xc3\x98L;InstanceName;A;Version;1;;" + kPipesOnly), "SQL02\\HR"},
        {"control character", Datagram("ServerName;S\tL;InstanceName;A;Version;1;;" + kPipesOnly),
         "SQL02\\HR"},
        {"NUL inside",
         Datagram(std::string("ServerName;S\0L;InstanceName;A;Version;1;;", 41) + kPipesOnly),
         "SQL02\\HR"},
        {"odd number of fields", Datagram("ServerName;A;InstanceName;B;Version;1;tcp;;" + kSales),
         "SQL01\\SALES"},
        {"no server name", Datagram("InstanceName;B;Version;1;tcp;1433;;"), ""},
        {"empty server name", Datagram("ServerName;;InstanceName;B;Version;1;;"), ""},
        {"no instance name", Datagram("ServerName;A;Version;1;tcp;1433;;"), ""},
        {"no version", Datagram("ServerName;A;InstanceName;B;tcp;1433;;"), ""},
        {"version not a number", Datagram("ServerName;A;InstanceName;B;Version;x1;;"), ""},
        {"version too long", Datagram("ServerName;A;InstanceName;B;Version;1.2.3.4.5.6.7.8.9;;"),
         ""},
        {"repeated server name", Datagram("ServerName;A;ServerName;C;InstanceName;B;Version;1;;"),
         ""},
        {"port zero", Datagram("ServerName;A;InstanceName;B;Version;1;tcp;0;;"), ""},
        {"port too large", Datagram("ServerName;A;InstanceName;B;Version;1;tcp;65536;;"), ""},
        {"port not a number", Datagram("ServerName;A;InstanceName;B;Version;1;tcp;14a3;;"), ""},
        {"port with six digits", Datagram("ServerName;A;InstanceName;B;Version;1;tcp;001433;;"),
         ""},
        {"backslash in the host", Datagram("ServerName;A\\B;InstanceName;C;Version;1;;"), ""},
        {"comma in the instance", Datagram("ServerName;A;InstanceName;B,1;Version;1;;"), ""},
        {"host of 256 bytes",
         Datagram("ServerName;" + std::string(256, 'h') + ";InstanceName;B;Version;1;;"), ""},
        {"empty records between", Datagram(";;;" + kSales), "SQL01\\SALES"},
        {"bytes after the declared end", Datagram(kSales) + "\xff\xfe garbage", "SQL01\\SALES"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Names(Parse(c.m_datagram)), c.m_szExpected) << c.m_szWhat;
    }
}

TEST(CBrowserAnswer, OversizedDatagramsAndFloodsAreBounded)
{
    // Larger than any answer can be.
    std::string huge = Datagram(kSales, 65535) + std::string(70000, 'x');
    EXPECT_TRUE(Parse(huge).empty());

    // A datagram packed with records keeps at most kMostInstances.
    std::string records;
    while (records.size() + kSales.size() <= 65535) {
        records += kSales;
    }
    const auto kept = Parse(Datagram(records));
    EXPECT_EQ(kept.size(), CBrowserAnswer::kMostInstances);

    // A record of endless fields is dropped, and what follows is still read.
    std::string fields = "ServerName;A;InstanceName;B;Version;1;";
    for (int i = 0; i < 200; ++i) {
        fields += "k;v;";
    }
    EXPECT_EQ(Names(Parse(Datagram(fields + ";" + kPipesOnly))), "SQL02\\HR");
}

TEST(CBrowserAnswer, InstanceRequestsAreBoundedAndPlain)
{
    const auto sales = CBrowserAnswer::InstanceRequest(u"SALES");
    ASSERT_TRUE(sales.has_value());
    EXPECT_EQ(*sales, (std::vector<std::uint8_t>{0x04, 'S', 'A', 'L', 'E', 'S', 0x00}));
    EXPECT_TRUE(CBrowserAnswer::InstanceRequest(std::u16string(31, u'I')).has_value());
    for (const std::u16string& bad :
         {std::u16string(), std::u16string(32, u'I'), std::u16string(u"S\u00c5LES"),
          std::u16string(u"A B"), std::u16string(u"A\0B", 3)}) {
        EXPECT_FALSE(CBrowserAnswer::InstanceRequest(bad).has_value()) << ToUtf8(bad);
    }
}

} // namespace
