// CRegPattern against std::wregex and PCRE2 (16-bit, with and without JIT) on a generated
// T-SQL-like corpus. Every engine answers the same question for every line of the corpus:
// does the line match (the first match per line, as the search asks of a script)? Lines are
// searched one at a time; building the per-engine copies of the corpus is not timed.

#define PCRE2_CODE_UNIT_WIDTH 16
#include "search/CRegPattern.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <pcre2.h>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr size_t kCorpusChars = 10'500'000;

struct SCorpus
{
    std::u16string text;             // lines separated by NUL units, as the engine reads them
    std::vector<size_t> lineStarts;  // offsets of the lines in text
    std::vector<size_t> lineLengths; // their lengths without the NUL
    std::wstring wide;               // the same lines for std::wregex, NUL-separated
};

const SCorpus& Corpus()
{
    static const SCorpus corpus = [] {
        SCorpus c;
        std::mt19937 rng(4242);
        auto pick = [&rng](const std::vector<std::string>& v) -> const std::string& {
            return v[std::uniform_int_distribution<size_t>(0, v.size() - 1)(rng)];
        };
        auto number = [&rng]() {
            return std::to_string(std::uniform_int_distribution<int>(0, 99999)(rng));
        };
        const std::vector<std::string> tables = {"Customer", "Orders",   "Invoice",  "InvoiceLines",
                                                 "Product",  "Supplier", "Employee", "Shipment",
                                                 "Payment",  "Account",  "Region",   "Warehouse"};
        const std::vector<std::string> columns = {
            "CustomerId", "OrderDate", "InvoiceNo",  "Amount", "Quantity",   "UnitPrice",
            "Status",     "CreatedAt", "ModifiedBy", "Name",   "RegionCode", "IsActive"};
        const std::vector<std::string> words = {"total",  "pending", "shipped", "refund",
                                                "credit", "backlog", "archive", "monthly"};
        std::string line;
        std::string all;
        all.reserve(kCorpusChars + 200);
        while (all.size() < kCorpusChars) {
            switch (std::uniform_int_distribution<int>(0, 13)(rng)) {
            case 0:
                line = "CREATE PROCEDURE dbo.sp_" + pick(tables) + "Update @" + pick(columns) +
                       " int, @" + pick(columns) + " nvarchar(" + number() + ")";
                break;
            case 1:
            case 2:
                line = "    SELECT " + pick(columns) + ", " + pick(columns) + ", " + pick(columns) +
                       " FROM dbo." + pick(tables) + " WHERE " + pick(columns) + " = " + number();
                break;
            case 3:
                line = "      AND " + pick(columns) + " LIKE N'%" + pick(words) + "%'";
                break;
            case 4:
                line = "    -- " + pick(words) + " rows of " + pick(tables) + " for the " +
                       pick(words) + " report";
                break;
            case 5:
                line = "    INSERT INTO dbo." + pick(tables) + " (" + pick(columns) + ", " +
                       pick(columns) + ") VALUES (" + number() + ", N'" + pick(words) + "')";
                break;
            case 6:
                line = "    UPDATE dbo." + pick(tables) + " SET " + pick(columns) + " = " +
                       pick(columns) + " + " + number() + " WHERE " + pick(columns) +
                       " IS NOT NULL";
                break;
            case 7:
                line = "sp_executesql @sql, N'@p int', @p = " + number();
                break;
            case 8:
                line = "    EXEC dbo.sp_" + pick(tables) + "Refresh @" + pick(columns) + " = " +
                       number();
                break;
            case 9:
                line = std::uniform_int_distribution<int>(0, 1)(rng) ? "BEGIN" : "END";
                break;
            case 10:
                line = "GO";
                break;
            case 11:
                line = "    DECLARE @foo int = " + number() + "; SET @bar = @foo + 1";
                break;
            case 12:
                line = std::uniform_int_distribution<int>(0, 5)(rng) == 0
                           ? "    DELETE FROM dbo." + pick(tables) + " WHERE " + pick(columns) +
                                 " < " + number()
                           : "    RETURN " + number();
                break;
            default:
                line = "    SET @" + pick(columns) + " = (SELECT MAX(" + pick(columns) +
                       ") FROM dbo.Invoice WHERE Status = N'" + pick(words) + "')";
                break;
            }
            all += line;
            all += '\n';
        }
        size_t start = 0;
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i] != '\n')
                continue;
            c.lineStarts.push_back(start);
            c.lineLengths.push_back(i - start);
            start = i + 1;
        }
        c.text.assign(all.begin(), all.end());
        c.wide.assign(all.begin(), all.end());
        for (size_t i = 0; i < c.text.size(); ++i) {
            if (c.text[i] == u'\n') {
                c.text[i] = 0;
                c.wide[i] = 0;
            }
        }
        return c;
    }();
    return corpus;
}

struct SCase
{
    const char* name;
    std::u16string quarrow; // our syntax
    std::string other;      // PCRE2 and ECMAScript syntax
    bool caseInsensitive;
};

const std::vector<SCase>& Cases()
{
    static const std::vector<SCase> cases = {
        {"word", u"Invoice", "Invoice", false},
        {"word_nocase", u"invoice", "invoice", true},
        {"anchored", u"^sp_", "^sp_", false},
        {"whole_word", u"\\<Invoice\\>", "\\bInvoice\\b", false},
        {"alternation", u"DELETE|TRUNCATE|MERGE", "DELETE|TRUNCATE|MERGE", false},
        {"digits", u"[0-9]+", "[0-9]+", false},
        {"foo_bar", u"foo.*bar", "foo.*bar", false},
    };
    return cases;
}

void Report(benchmark::State& state, size_t lines)
{
    const double chars = static_cast<double>(Corpus().text.size());
    state.counters["MB/s"] =
        benchmark::Counter(chars / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["lines"] = static_cast<double>(lines);
}

void BenchQuarrow(benchmark::State& state, const SCase& c)
{
    const SCorpus& corpus = Corpus();
    CRegPattern re(c.quarrow, c.caseInsensitive);
    size_t lines = 0;
    for (auto _ : state) {
        lines = 0;
        for (size_t start : corpus.lineStarts)
            lines += re.Match(corpus.text.c_str() + start);
        benchmark::DoNotOptimize(lines);
    }
    Report(state, lines);
}

void BenchPcre2(benchmark::State& state, const SCase& c, bool jit)
{
    const SCorpus& corpus = Corpus();
    const std::u16string pattern(c.other.begin(), c.other.end());
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.c_str()), pattern.size(),
                      c.caseInsensitive ? PCRE2_CASELESS : 0, &error, &offset, nullptr);
    if (code == nullptr) {
        state.SkipWithError("pcre2_compile failed");
        return;
    }
    if (jit && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) != 0) {
        pcre2_code_free(code);
        state.SkipWithError("pcre2_jit_compile failed");
        return;
    }
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
    const auto* text = reinterpret_cast<PCRE2_SPTR>(corpus.text.c_str());
    size_t lines = 0;
    for (auto _ : state) {
        lines = 0;
        for (size_t i = 0; i < corpus.lineStarts.size(); ++i) {
            lines += pcre2_match(code, text + corpus.lineStarts[i], corpus.lineLengths[i], 0, 0,
                                 data, nullptr) >= 0;
        }
        benchmark::DoNotOptimize(lines);
    }
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    Report(state, lines);
}

void BenchStdRegex(benchmark::State& state, const SCase& c)
{
    const SCorpus& corpus = Corpus();
    const std::wstring pattern(c.other.begin(), c.other.end());
    const std::wregex re(pattern, c.caseInsensitive ? std::regex::ECMAScript | std::regex::icase
                                                    : std::regex::ECMAScript);
    size_t lines = 0;
    for (auto _ : state) {
        lines = 0;
        for (size_t i = 0; i < corpus.lineStarts.size(); ++i) {
            const wchar_t* begin = corpus.wide.c_str() + corpus.lineStarts[i];
            lines += std::regex_search(begin, begin + corpus.lineLengths[i], re);
        }
        benchmark::DoNotOptimize(lines);
    }
    Report(state, lines);
}

} // namespace

int main(int argc, char** argv)
{
    std::fprintf(stderr, "corpus: %zu characters in %zu lines\n", Corpus().text.size(),
                 Corpus().lineStarts.size());
    for (const SCase& c : Cases()) {
        const std::string name = c.name;
        benchmark::RegisterBenchmark(("quarrow/" + name).c_str(), BenchQuarrow, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("pcre2/" + name).c_str(), BenchPcre2, c, false)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("pcre2_jit/" + name).c_str(), BenchPcre2, c, true)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("std_wregex/" + name).c_str(), BenchStdRegex, c)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
