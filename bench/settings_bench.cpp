// The settings store's speed: tick look-ups on an unchanged store, saving the ticks of the
// find window's close, loading the registrations at start-up.

#include "catalog/CRegisteredServerStore.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A private folder for one benchmark, removed afterwards.
class CBenchFolder
{
public:
    CBenchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "quarrow-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~CBenchFolder()
    {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

std::u16string Text(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

std::vector<CRegisteredServerStore::SDatabaseTick> Ticks(int servers, int databases, int used)
{
    std::vector<CRegisteredServerStore::SDatabaseTick> ticks;
    ticks.reserve(static_cast<size_t>(servers) * databases);
    for (int s = 0; s < servers; ++s) {
        for (int d = 0; d < databases; ++d)
            ticks.push_back({Text("HOST" + std::to_string(s) + "\\SQL"),
                             Text("database_" + std::to_string(d)), (s + d + used) % 2});
    }
    return ticks;
}

// 100,000 IsDatabaseUsed calls per iteration on a store of 100,000 ticks that nobody changes.
void BM_IsDatabaseUsed100k(benchmark::State& state)
{
    CBenchFolder folder;
    CProfile profile(u"Quarrow", folder.Path());
    CRegisteredServerStore store(profile);
    const auto ticks = Ticks(100, 1000, 0);
    store.SetDatabasesUsed(ticks);
    store.IsDatabaseUsed(u"HOST0\\SQL", u"database_0"); // the one parse
    for (auto _ : state) {
        int used = 0;
        for (const auto& tick : ticks)
            used += store.IsDatabaseUsed(tick.m_strServerName, tick.m_strDatabaseName);
        benchmark::DoNotOptimize(used);
        if (used != 50000)
            state.SkipWithError("wrong tick count");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(ticks.size()));
}
BENCHMARK(BM_IsDatabaseUsed100k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One batch that changes 10,000 ticks of a store that already holds them.
void BM_SaveTicks10kInOneBatch(benchmark::State& state)
{
    CBenchFolder folder;
    CProfile profile(u"Quarrow", folder.Path());
    CRegisteredServerStore store(profile);
    const auto even = Ticks(10, 1000, 0);
    const auto odd = Ticks(10, 1000, 1);
    store.SetDatabasesUsed(even);
    bool flip = true;
    for (auto _ : state) {
        if (!store.SetDatabasesUsed(flip ? odd : even))
            state.SkipWithError("save failed");
        flip = !flip;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(even.size()));
}
BENCHMARK(BM_SaveTicks10kInOneBatch)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Start-up: a fresh store object reads the file and hands over 1,000 registrations.
void BM_Load1000Registrations(benchmark::State& state)
{
    CBenchFolder folder;
    {
        CProfile profile(u"Quarrow", folder.Path());
        CRegisteredServerStore store(profile);
        CKeyStore::CBatch batch = profile.BeginBatch();
        for (int i = 0; i < 1000; ++i)
            store.SaveServerRegistration(
                {Text("HOST" + std::to_string(i) + "\\INSTANCE"), u"login", u"password", i % 2});
    }
    for (auto _ : state) {
        CProfile profile(u"Quarrow", folder.Path());
        CRegisteredServerStore store(profile);
        size_t count = 0;
        store.LoadServerRegistrations([&](const RegisteredServer&) { ++count; });
        if (count != 1000)
            state.SkipWithError("wrong registration count");
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_Load1000Registrations)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
