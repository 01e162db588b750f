// Object matching over a large in-memory catalogue: 100,000 objects, 200 MB of script text,
// plain text criterion with Match Case off. Throughput counts script characters (the
// scripts are ASCII, so a character is a byte of the script as stored by a server).

#include "search/SearchRun.h"
#include "tests/support/CMemoryLibrary.h"

#include <benchmark/benchmark.h>
#include <fstream>
#include <random>
#include <string>

namespace {

constexpr int kObjects = 100000;
constexpr std::size_t kScriptChars = 2100;

const char16_t* const kWords[] = {
    u"SELECT", u"FROM",         u"WHERE",       u"JOIN",   u"dbo.Orders", u"o.CustomerId",
    u"INNER",  u"BEGIN",        u"END",         u"UPDATE", u"SET",        u"@OrderId",
    u"INT",    u"NVARCHAR(50)", u"IF",          u"EXISTS", u"INSERT",     u"INTO",
    u"VALUES", u"COMMIT",       u"TRANSACTION", u"c.Name", u"AND",
};

struct SCatalogue
{
    std::shared_ptr<CMemoryCatalog> catalog = std::make_shared<CMemoryCatalog>();
    std::vector<std::shared_ptr<IModelUnknown>> databases;
    std::int64_t chars = 0;

    SCatalogue()
    {
        std::mt19937 random(42);
        SMemoryServer server;
        server.name = u"BENCH";
        SMemoryDatabase database;
        database.name = u"big";
        database.objects.reserve(kObjects);
        for (int i = 0; i < kObjects; ++i) {
            std::u16string script = u"CREATE PROCEDURE dbo.usp_Proc" + Number(i) + u"\r\nAS\r\n";
            while (script.size() < kScriptChars) {
                script += kWords[random() % std::size(kWords)];
                script += (random() % 8 == 0) ? u"\r\n    " : u" ";
            }
            // One object in a hundred holds the word searched for.
            if (i % 100 == 0) {
                script.insert(script.size() / 2, u" RebuildLedger ");
            }
            chars += static_cast<std::int64_t>(script.size());
            database.objects.push_back(MemObject(u"usp_Proc" + Number(i), 16, std::move(script)));
        }
        server.databases.push_back(std::move(database));
        catalog->servers.push_back(std::move(server));
        CMemoryLibrary library(EFlavour::Modern, catalog);
        databases = ConnectAndListDatabases(library, u"BENCH");
    }

    static std::u16string Number(int n)
    {
        const std::string s = std::to_string(n);
        return std::u16string(s.begin(), s.end());
    }
};

const SCatalogue& Catalogue()
{
    static const SCatalogue catalogue;
    return catalogue;
}

class CCountingHost : public ISearchHost
{
public:
    bool IsWindowAlive() override { return true; }
    bool IsStopRequested() override { return false; }
    void SetStatusText(const std::u16string&) override {}
    void AddRow(const std::u16string&, std::shared_ptr<IDatabaseObject>) override { ++m_nRows; }
    long m_nRows = 0;
};

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

void BM_PlainTextMatchCaseOff(benchmark::State& state)
{
    const SCatalogue& catalogue = Catalogue();
    SSearchCriteria criteria;
    criteria.m_strContainingText = u"rebuildledger";
    const long before = ResidentKiB();
    long rows = 0;
    for (auto _ : state) {
        CCountingHost host;
        SearchDatabases(host, criteria, catalogue.databases, 0);
        rows = host.m_nRows;
    }
    state.SetBytesProcessed(state.iterations() * catalogue.chars);
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["script_MB"] = static_cast<double>(catalogue.chars) / 1e6;
    state.counters["rss_growth_KiB"] = static_cast<double>(ResidentKiB() - before);
}
BENCHMARK(BM_PlainTextMatchCaseOff)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_PlainTextMatchCaseOn(benchmark::State& state)
{
    const SCatalogue& catalogue = Catalogue();
    SSearchCriteria criteria;
    criteria.m_strContainingText = u"RebuildLedger";
    criteria.m_bMatchCase = true;
    for (auto _ : state) {
        CCountingHost host;
        SearchDatabases(host, criteria, catalogue.databases, 0);
    }
    state.SetBytesProcessed(state.iterations() * catalogue.chars);
}
BENCHMARK(BM_PlainTextMatchCaseOn)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
