// The keystroke index against today's scan (baseline_scan.cpp) and SQLite's FTS5 trigram index,
// in one run on the sample market that `tessary sample` writes: the full search, the top 20 with
// the total, and the load. Prints the table of figures at the end.
//
//   keystroke_bench [--symbols=N] [--no-check] [google benchmark flags]   (N: 1,000,000)
//
// Times are CPU times of this thread. Data is written and loaded before any timing.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "baseline_scan.h"
#include "common/result_array.h"
#include "common/text.h"
#include "directory/directory_reader.h"
#include "symbols/light_table_reader.h"
#include "symbols/search_index.h"
#include "symbols/symbol_search.h"
#include "writer/data_writer.h"

namespace {

using namespace tessary;

std::size_t gSymbols = 1000000;
bool gCheck = true;

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Market {
    std::string dir;
    ExchangeDirectory directory;
    SymbolTables tables;
    SymbolResolver resolver;
    SearchIndex index;
    baseline::ScanIndex scan;
    sqlite3* fts = nullptr;
    std::uint64_t lightBytes = 0;
    double tablesSeconds = 0, indexSeconds = 0, scanSeconds = 0, ftsSeconds = 0;
    std::vector<std::string> mid;    // 3-6 characters with at most 1,000 hits, upper case
    std::vector<std::string> typed;  // 1-8 characters as a user types codes and names
    std::string exact;               // a whole Symbol text

    Market() {
        char pattern[] = "/tmp/tessary-keystroke-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) std::abort();
        dir = pattern;
        writer::WriteDataDirectory(dir, writer::MakeSampleDirectory(gSymbols, 1));
        for (const auto& file : std::filesystem::directory_iterator(dir + "/SymTbl"))
            if (file.path().string().ends_with("_Light")) lightBytes += file.file_size();
        if (!LoadDirectory(dir, nullptr, directory)) std::abort();
        double t = ThreadSeconds();
        if (!LoadSymbolTables(dir, directory.Exchanges, nullptr, tables)) std::abort();
        resolver.Build(directory.Exchanges, tables);
        tablesSeconds = ThreadSeconds() - t;
        t = ThreadSeconds();
        if (!BuildSearchIndex(tables, resolver, index)) std::abort();
        indexSeconds = ThreadSeconds() - t;
        t = ThreadSeconds();
        if (!baseline::BuildSearchIndex(tables, resolver, scan)) std::abort();
        scanSeconds = ThreadSeconds() - t;
        BuildFts();
        MakeQueries();
    }
    ~Market() {
        sqlite3_close(fts);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // The same search texts in an FTS5 table with the trigram tokenizer, case-sensitive.
    void BuildFts() {
        const double t = ThreadSeconds();
        sqlite3_open(":memory:", &fts);
        sqlite3_exec(fts, "CREATE VIRTUAL TABLE t USING fts5(v, tokenize='trigram case_sensitive 1'); BEGIN;",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(fts, "INSERT INTO t(rowid, v) VALUES(?, ?)", -1, &insert, nullptr);
        for (std::uint32_t place = 0; place < index.Keystrokes.size(); ++place) {
            const std::string_view v = index.Keystrokes.SearchText(place);
            sqlite3_bind_int64(insert, 1, place);
            sqlite3_bind_text(insert, 2, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(fts, "COMMIT;", nullptr, nullptr, nullptr);
        ftsSeconds = ThreadSeconds() - t;
    }

    void MakeQueries() {
        std::mt19937 random(7);
        const KeystrokeIndex& k = index.Keystrokes;
        std::vector<std::uint32_t> hits;
        while (mid.size() < 200) {
            const std::string_view text = k.SearchText(static_cast<std::uint32_t>(random() % k.size()));
            const std::size_t len = 3 + random() % 4;
            if (text.size() < len) continue;
            std::string q = text::ToUpper(text.substr(random() % (text.size() - len + 1), len));
            if (q.find_first_of(" \x05") != std::string::npos) continue;
            k.CollectHits(q, false, KeystrokeIndex::kEveryExchange, hits);
            if (hits.size() <= 1000) mid.push_back(q);
        }
        while (typed.size() < 400) {
            SymbolInfo info{};
            k.Fill(info, static_cast<std::uint32_t>(random() % k.size()));
            std::string source(info.Symbol);
            source = random() % 2 ? source.substr(0, source.rfind('.')) : std::string(info.Name);
            if (random() % 2)
                for (char& c : source) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            typed.push_back(source.substr(0, std::min<std::size_t>(source.size(), 1 + random() % 8)));
            if (exact.empty()) exact = info.Symbol;
        }
    }
};

Market* gMarket = nullptr;
Market& M() {
    if (gMarket == nullptr) gMarket = new Market();
    return *gMarket;
}

bool Library(const std::string& q, SymbolInfo** r, std::int32_t* n) {
    return FindSymbols(M().index, M().resolver, q.c_str(), r, n, true);
}
bool Baseline(const std::string& q, SymbolInfo** r, std::int32_t* n) {
    return baseline::FindSymbols(M().scan, M().resolver, q.c_str(), r, n, true);
}
bool Top20(const std::string& q, SymbolInfo** r, std::int32_t* n, std::int32_t* total) {
    return FindSymbolsTop(M().index, M().resolver, q.c_str(), nullptr, true, 20, r, n, total);
}

template <class Search>
void BM_Full(benchmark::State& state, Search search, const std::vector<std::string>* queries) {
    std::int64_t hits = 0;
    for (auto _ : state)
        for (const std::string& q : *queries) {
            SymbolInfo* r = nullptr;
            std::int32_t n = 0;
            if (!search(q, &r, &n)) state.SkipWithError("search failed");
            hits += n;
            FreeResultArray(r);
        }
    state.counters["per_query_ms"] = benchmark::Counter(
        static_cast<double>(queries->size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["hits"] = static_cast<double>(hits) / static_cast<double>(state.iterations() * queries->size());
}

// Today's way to a top 20 is the full search; the new call asks for 20 and the total.
void BM_Top(benchmark::State& state, bool library, const std::vector<std::string>* queries) {
    for (auto _ : state)
        for (const std::string& q : *queries) {
            SymbolInfo* r = nullptr;
            std::int32_t n = 0, total = 0;
            if (!(library ? Top20(q, &r, &n, &total) : Baseline(q, &r, &n))) state.SkipWithError("search failed");
            FreeResultArray(r);
        }
    state.counters["per_query_ms"] = benchmark::Counter(
        static_cast<double>(queries->size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Fts(benchmark::State& state, const std::vector<std::string>* queries) {
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(M().fts, "SELECT rowid FROM t WHERE t MATCH ?", -1, &select, nullptr);
    std::vector<std::int64_t> rows;
    for (auto _ : state)
        for (const std::string& q : *queries) {
            const std::string phrase = "\"" + q + "\"";
            rows.clear();
            sqlite3_bind_text(select, 1, phrase.c_str(), -1, SQLITE_TRANSIENT);
            while (sqlite3_step(select) == SQLITE_ROW) rows.push_back(sqlite3_column_int64(select, 0));
            sqlite3_reset(select);
            benchmark::DoNotOptimize(rows.data());
        }
    sqlite3_finalize(select);
    state.counters["per_query_ms"] = benchmark::Counter(
        static_cast<double>(queries->size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Reading the Light files and building the index, once per iteration.
void BM_Load(benchmark::State& state, bool library) {
    Market& m = M();
    for (auto _ : state) {
        SymbolTables tables;
        SymbolResolver resolver;
        if (!LoadSymbolTables(m.dir, m.directory.Exchanges, nullptr, tables)) state.SkipWithError("load failed");
        resolver.Build(m.directory.Exchanges, tables);
        if (library) {
            SearchIndex index;
            if (!BuildSearchIndex(tables, resolver, index)) state.SkipWithError("index failed");
            resolver.Clear();
        } else {
            baseline::ScanIndex scan;
            if (!baseline::BuildSearchIndex(tables, resolver, scan)) state.SkipWithError("index failed");
        }
    }
}

// Same answers from both, and FTS5 the same hits (without the key test): the figures compare
// like with like.
void Check() {
    Market& m = M();
    std::size_t differ = 0, ftsDiffer = 0;
    std::vector<std::string> all = m.mid;
    all.insert(all.end(), m.typed.begin(), m.typed.end());
    for (const std::string& q : all) {
        SymbolInfo *a = nullptr, *b = nullptr, *c = nullptr;
        std::int32_t na = 0, nb = 0, nc = 0, total = 0;
        if (!Library(q, &a, &na) || !Baseline(q, &b, &nb) || !Top20(q, &c, &nc, &total)) std::abort();
        if (na != nb || total != na || std::memcmp(a, b, sizeof(SymbolInfo) * static_cast<std::size_t>(na)) != 0 ||
            std::memcmp(a, c, sizeof(SymbolInfo) * static_cast<std::size_t>(nc)) != 0)
            ++differ;
        FreeResultArray(a);
        FreeResultArray(b);
        FreeResultArray(c);
    }
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(m.fts, "SELECT count(*) FROM t WHERE t MATCH ?", -1, &select, nullptr);
    std::vector<std::uint32_t> hits;
    for (const std::string& q : m.mid) {
        const std::string phrase = "\"" + q + "\"";
        sqlite3_bind_text(select, 1, phrase.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(select);
        const auto n = static_cast<std::size_t>(sqlite3_column_int64(select, 0));
        sqlite3_reset(select);
        m.index.Keystrokes.CollectHits(q, false, KeystrokeIndex::kEveryExchange, hits);
        if (n != hits.size()) ++ftsDiffer;
    }
    sqlite3_finalize(select);
    std::printf("checked %zu texts: %zu answers differ from today's; FTS5 hit counts differ for %zu of %zu\n",
                all.size(), differ, ftsDiffer, m.mid.size());
}

// p50 and p99 of single calls, in thread CPU time.
template <class Call>
void Percentiles(const char* what, const std::vector<std::string>& queries, Call call, int repetitions = 3) {
    std::vector<double> us;
    for (int rep = 0; rep < repetitions; ++rep)
        for (const std::string& q : queries) {
            const double t = ThreadSeconds();
            call(q);
            us.push_back((ThreadSeconds() - t) * 1e6);
        }
    std::sort(us.begin(), us.end());
    std::printf("%-44s p50 %9.1f us   p99 %9.1f us   max %9.1f us\n", what, us[us.size() / 2], us[us.size() * 99 / 100],
                us.back());
}

void Summary() {
    Market& m = M();
    auto full = [](auto search) {
        return [search](const std::string& q) {
            SymbolInfo* r = nullptr;
            std::int32_t n = 0;
            search(q, &r, &n);
            FreeResultArray(r);
        };
    };
    auto top = [](const std::string& q) {
        SymbolInfo* r = nullptr;
        std::int32_t n = 0, total = 0;
        Top20(q, &r, &n, &total);
        FreeResultArray(r);
    };
    std::printf("\n%zu symbols, Light files %.0f MB\n", static_cast<std::size_t>(m.index.Keystrokes.size()),
                static_cast<double>(m.lightBytes) / 1e6);
    std::printf("load: tables %.2f s; index %.2f s (%.0f MB); today's index %.2f s; FTS5 table %.2f s\n", m.tablesSeconds,
                m.indexSeconds, static_cast<double>(m.index.Keystrokes.MemoryBytes()) / 1e6, m.scanSeconds, m.ftsSeconds);
    Percentiles("full search, 3-6 characters <= 1,000 hits", m.mid, full(Library));
    Percentiles("  today's scan", m.mid, full(Baseline), 1);
    Percentiles("top 20 with total, typed 1-8 characters", m.typed, top);
    Percentiles("  today's scan (full search)", m.typed, full(Baseline), 1);
    const std::vector<std::string> one = {"6", "p", "P", "0", "a", "1", "s", "8"};
    Percentiles("top 20 with total, one character", one, top);
    Percentiles("full search, one character", one, full(Library));
    Percentiles("  today's scan", one, full(Baseline), 1);
    Percentiles("exact symbol text", {m.exact}, full(Library));
    Percentiles("  today's scan", {m.exact}, full(Baseline));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--symbols=", 0) == 0) gSymbols = std::stoul(arg.substr(10));
        else if (arg == "--no-check") gCheck = false;
        else args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    Market& m = M();
    if (gCheck) Check();
    static const std::vector<std::string> one6 = {"6"}, oneP = {"p"}, exact = {m.exact};
    auto full = [](const char* name, auto search, const std::vector<std::string>* q) {
        return benchmark::RegisterBenchmark(name, [search, q](benchmark::State& s) { BM_Full(s, search, q); });
    };
    full("full/mid/library", Library, &m.mid)->Unit(benchmark::kMillisecond);
    full("full/mid/today", Baseline, &m.mid)->Unit(benchmark::kMillisecond)->Iterations(1);
    benchmark::RegisterBenchmark("full/mid/fts5", BM_Fts, &m.mid)->Unit(benchmark::kMillisecond);
    full("full/6/library", Library, &one6)->Unit(benchmark::kMillisecond);
    full("full/6/today", Baseline, &one6)->Unit(benchmark::kMillisecond)->Iterations(2);
    full("full/p/library", Library, &oneP)->Unit(benchmark::kMillisecond);
    full("full/p/today", Baseline, &oneP)->Unit(benchmark::kMillisecond)->Iterations(2);
    full("full/exact/library", Library, &exact)->Unit(benchmark::kMicrosecond);
    full("full/exact/today", Baseline, &exact)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("top20/typed/library", BM_Top, true, &m.typed)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("top20/typed/today", BM_Top, false, &m.typed)->Unit(benchmark::kMillisecond)->Iterations(1);
    benchmark::RegisterBenchmark("top20/p/library", BM_Top, true, &oneP)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("load/library", BM_Load, true)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(2);
    benchmark::RegisterBenchmark("load/today", BM_Load, false)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(2);
    benchmark::RunSpecifiedBenchmarks();
    Summary();
    benchmark::Shutdown();
    delete gMarket;
    return 0;
}
