// Index designs side by side on the sample market: today's scan (SymbolDatabase::FindSymbols),
// postings of one- and two-byte pieces with two-byte intersection, the same with hashed
// three-byte postings for longer texts, and SQLite's FTS5 trigram index on the same texts.
//
//   index_prototype_bench [--symbols=N] [google benchmark flags]
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/result_array.h"
#include "common/text.h"
#include "frame/symbol_database.h"
#include "prototypes/keystroke_index.h"
#include "symbols/symbol_info.h"
#include "writer/data_writer.h"

namespace {

using tessary::KeystrokeIndex;
std::size_t gSymbols = 200000;

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string KeyOf(const tessary::SymbolEntry& entry) {
    const std::string_view symbol = tessary::text::CutToFit(entry.Symbol, sizeof(SymbolInfo::Symbol) - 1);
    const std::ptrdiff_t dot = tessary::text::ReverseFind(symbol, '.');
    std::string key(dot > 0 ? symbol.substr(0, static_cast<std::size_t>(dot)) : symbol);
    key.append(tessary::text::CutToFit(entry.Name(), sizeof(SymbolInfo::Name) - 1));
    return key;
}

struct Design {
    const char* Name;
    std::unique_ptr<KeystrokeIndex> Index;
    double BuildSeconds = 0;
};

struct Market {
    std::string dir;
    std::string rankText;
    tessary::SymbolDatabase db{rankText};
    std::vector<const tessary::SymbolEntry*> entryOf;  // by Add order
    Design designs[1] = {{"bigram", nullptr}};
    sqlite3* fts = nullptr;
    double ftsBuildSeconds = 0;
    double initSeconds = 0;
    std::vector<std::string> mid;     // 3-6 characters, at most 1,000 hits
    std::vector<std::string> typed;   // 1-8 characters as typed (prefixes of codes and names)

    Market() {
        char pattern[] = "/tmp/tessary-proto-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) std::abort();
        dir = pattern;
        tessary::writer::WriteDataDirectory(dir, tessary::writer::MakeSampleDirectory(gSymbols, 1));
        const auto start = std::chrono::steady_clock::now();
        if (db.Init(dir.c_str()) != 1) std::abort();
        initSeconds = Seconds(start);
        for (int d = 0; d < 1; ++d) {
            const auto s = std::chrono::steady_clock::now();
            designs[d].Index = std::make_unique<KeystrokeIndex>();
            std::uint32_t exchange = 0;
            entryOf.clear();
            for (const auto& [key, record] : db.SearchIndex) {
                for (std::size_t i = 0; i < record->SymbolCount(); ++i) {
                    const tessary::SymbolEntry* e = record->Resolved(i);
                    KeystrokeIndex::Record r;
                    if (e != nullptr) r = {true, e->ExchangeId, static_cast<std::uint16_t>(e->Type), e->Symbol, e->Name()};
                    designs[d].Index->Add(exchange, record->SearchText(i), record->KeyText(i), r);
                    entryOf.push_back(record->Resolved(i));
                }
                ++exchange;
            }
            designs[d].Index->Finish();
            designs[d].BuildSeconds = Seconds(s);
        }
        BuildFts();
        MakeQueries();
    }
    ~Market() {
        sqlite3_close(fts);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    void BuildFts() {
        const auto s = std::chrono::steady_clock::now();
        sqlite3_open(":memory:", &fts);
        sqlite3_exec(fts, "CREATE VIRTUAL TABLE t USING fts5(v, tokenize='trigram case_sensitive 1', detail=full);"
                          "BEGIN;", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(fts, "INSERT INTO t(rowid, v) VALUES(?, ?)", -1, &insert, nullptr);
        const KeystrokeIndex& index = *designs[0].Index;
        for (std::uint32_t place = 0; place < index.size(); ++place) {
            const std::string_view v = index.SearchText(place);
            sqlite3_bind_int64(insert, 1, place);
            sqlite3_bind_text(insert, 2, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(fts, "COMMIT;", nullptr, nullptr, nullptr);
        ftsBuildSeconds = Seconds(s);
    }

    void MakeQueries() {
        std::mt19937 random(7);
        const KeystrokeIndex& index = *designs[0].Index;
        std::vector<std::uint32_t> hits;
        while (mid.size() < 200) {
            const std::uint32_t place = random() % index.size();
            const std::string_view text = index.SearchText(place);
            const std::size_t len = 3 + random() % 4;
            if (text.size() < len) continue;
            const std::size_t from = random() % (text.size() - len + 1);
            std::string q(text.substr(from, len));
            if (q.find('\x05') != std::string::npos || q.find(' ') != std::string::npos) continue;
            q = tessary::text::ToUpper(q);
            index.CollectHits(q, true, KeystrokeIndex::kEveryExchange, hits);
            if (hits.size() <= 1000) mid.push_back(q);
        }
        while (typed.size() < 400) {
            const std::uint32_t place = random() % index.size();
            SymbolInfo info{};
            index.Fill(info, place);
            std::string source(info.Symbol);
            source = random() % 2 ? source.substr(0, source.rfind('.')) : std::string(info.Name);
            if (random() % 2) for (char& c : source) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const std::size_t len = std::min<std::size_t>(source.size(), 1 + random() % 8);
            typed.push_back(source.substr(0, len));
        }
    }
};

Market* gMarket = nullptr;
Market& M() {
    if (gMarket == nullptr) gMarket = new Market();
    return *gMarket;
}

// The full search with the design: hits, the counting pass, the result array.
int FullSearch(const KeystrokeIndex& index, const std::vector<const tessary::SymbolEntry*>& entryOf,
               const std::string& text, SymbolInfo** out, std::int32_t* count) {
    const std::string upper = tessary::text::ToUpper(text);
    std::vector<std::uint32_t> hits;
    index.CollectHits(upper, true, KeystrokeIndex::kEveryExchange, hits);
    auto* records = static_cast<SymbolInfo*>(tessary::AllocateResultArray(hits.size(), sizeof(SymbolInfo)));
    if (!index.FillRanked(hits, text, records)) std::abort();
    *out = records;
    *count = static_cast<std::int32_t>(hits.size());
    return 1;
}

void BM_Today(benchmark::State& state, const std::vector<std::string>* queries) {
    Market& m = M();
    for (auto _ : state)
        for (const std::string& q : *queries) {
            SymbolInfo* r = nullptr;
            std::int32_t n = 0;
            if (m.db.FindSymbols(q.c_str(), &r, &n, 1) != 1) state.SkipWithError("failed");
            tessary::FreeResultArray(r);
        }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * queries->size()));
}

void BM_Design(benchmark::State& state, int design, const std::vector<std::string>* queries) {
    Market& m = M();
    for (auto _ : state)
        for (const std::string& q : *queries) {
            SymbolInfo* r = nullptr;
            std::int32_t n = 0;
            FullSearch(*m.designs[design].Index, m.entryOf, q, &r, &n);
            tessary::FreeResultArray(r);
        }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * queries->size()));
}

void BM_Top20(benchmark::State& state, int design, const std::vector<std::string>* queries) {
    Market& m = M();
    std::vector<std::uint32_t> top;
    for (auto _ : state)
        for (const std::string& q : *queries) {
            bool failed = false;
            const std::uint32_t total = m.designs[design].Index->Top(tessary::text::ToUpper(q), q, true,
                                                                     KeystrokeIndex::kEveryExchange, 20, top, failed);
            benchmark::DoNotOptimize(total);
        }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * queries->size()));
}

void BM_Hits(benchmark::State& state, int design, const std::vector<std::string>* queries) {
    Market& m = M();
    std::vector<std::uint32_t> hits;
    std::size_t total = 0;
    for (auto _ : state)
        for (const std::string& q : *queries) {
            m.designs[design].Index->CollectHits(q, false, KeystrokeIndex::kEveryExchange, hits);
            total += hits.size();
        }
    state.counters["hits"] = static_cast<double>(total) / static_cast<double>(state.iterations() * queries->size());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * queries->size()));
}

void BM_Fts(benchmark::State& state, const std::vector<std::string>* queries) {
    Market& m = M();
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(m.fts, "SELECT rowid FROM t WHERE t MATCH ?", -1, &select, nullptr);
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
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * queries->size()));
}

std::vector<std::string> gOneChar = {"6", "0", "p", "P", "a", "1"};

// Every design must give today's answer, record for record; FTS5 the same hits.
void Check() {
    Market& m = M();
    std::vector<std::string> all = m.mid;
    all.insert(all.end(), m.typed.begin(), m.typed.end());
    all.insert(all.end(), gOneChar.begin(), gOneChar.end());
    std::size_t mismatches = 0;
    for (const std::string& q : all) {
        SymbolInfo* a = nullptr;
        std::int32_t na = 0;
        if (m.db.FindSymbols(q.c_str(), &a, &na, 1) != 1) std::abort();
        for (int d = 0; d < 1; ++d) {
            SymbolInfo* b = nullptr;
            std::int32_t nb = 0;
            FullSearch(*m.designs[d].Index, m.entryOf, q, &b, &nb);
            if (na != nb || std::memcmp(a, b, sizeof(SymbolInfo) * static_cast<std::size_t>(na)) != 0) ++mismatches;
            std::vector<std::uint32_t> top;
            bool failed = false;
            const std::uint32_t total = m.designs[d].Index->Top(tessary::text::ToUpper(q), q, true,
                                                                KeystrokeIndex::kEveryExchange, 20, top, failed);
            if (total != static_cast<std::uint32_t>(na)) ++mismatches;
            for (std::size_t i = 0; i < top.size(); ++i) {
                SymbolInfo r{};
                m.designs[d].Index->Fill(r, top[i]);
                if (std::memcmp(&r, &a[i], sizeof r) != 0) { ++mismatches; break; }
            }
            tessary::FreeResultArray(b);
        }
        tessary::FreeResultArray(a);
    }
    // FTS5 against the hits without the key test.
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(m.fts, "SELECT count(*) FROM t WHERE t MATCH ?", -1, &select, nullptr);
    std::size_t ftsMismatches = 0;
    for (const std::string& q : m.mid) {
        const std::string phrase = "\"" + q + "\"";
        sqlite3_bind_text(select, 1, phrase.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(select);
        const auto n = static_cast<std::size_t>(sqlite3_column_int64(select, 0));
        sqlite3_reset(select);
        std::vector<std::uint32_t> hits;
        m.designs[0].Index->CollectHits(q, false, KeystrokeIndex::kEveryExchange, hits);
        if (n != hits.size()) ++ftsMismatches;
    }
    sqlite3_finalize(select);
    std::printf("checked %zu texts: %zu mismatches; FTS5 hit counts differing: %zu of %zu\n", all.size(), mismatches,
                ftsMismatches, m.mid.size());
}

void Percentiles() {
    Market& m = M();
    for (int d = 0; d < 1; ++d) {
        std::vector<double> us;
        std::vector<std::uint32_t> top;
        for (int rep = 0; rep < 3; ++rep)
            for (const std::string& q : m.typed) {
                const double s = ThreadSeconds();
                bool failed = false;
                const std::uint32_t total = m.designs[d].Index->Top(tessary::text::ToUpper(q), q, true,
                                                                    KeystrokeIndex::kEveryExchange, 20, top, failed);
                benchmark::DoNotOptimize(total);
                us.push_back((ThreadSeconds() - s) * 1e6);
                if (rep == 2 && us.back() > 2000) std::printf("  slow: '%s' %.0f us total %u\n", q.c_str(), us.back(), total);
            }
        std::sort(us.begin(), us.end());
        std::printf("%-8s top 20 of typed 1-8 characters (thread CPU): p50 %.1f us, p99 %.1f us, max %.1f us\n", m.designs[d].Name,
                    us[us.size() / 2], us[us.size() * 99 / 100], us.back());
    }
    std::printf("symbols %u; TSYInit-equivalent load %.2f s; build bigram %.2f s (%.0f MB); FTS5 build %.2f s\n",
                m.designs[0].Index->size(), m.initSeconds, m.designs[0].BuildSeconds,
                static_cast<double>(m.designs[0].Index->MemoryBytes()) / 1e6, m.ftsBuildSeconds);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--symbols=", 0) == 0) gSymbols = std::stoul(arg.substr(10));
        else args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    Market& m = M();
    Check();
    Percentiles();
    benchmark::RegisterBenchmark("full/mid/today", BM_Today, &m.mid)->Unit(benchmark::kMillisecond)->Iterations(1);
    benchmark::RegisterBenchmark("full/mid/bigram", BM_Design, 0, &m.mid)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("hits/mid/bigram", BM_Hits, 0, &m.mid)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("full/mid/fts5", BM_Fts, &m.mid)->Unit(benchmark::kMillisecond);
    static std::vector<std::vector<std::string>> singles;
    for (const std::string& q : gOneChar) singles.push_back({q});
    for (const auto& s : singles) {
        benchmark::RegisterBenchmark(("full/1char/" + s[0] + "/today").c_str(), BM_Today, &s)->Unit(benchmark::kMillisecond)->Iterations(2);
        benchmark::RegisterBenchmark(("full/1char/" + s[0] + "/bigram").c_str(), BM_Design, 0, &s)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("top20/1char/" + s[0] + "/bigram").c_str(), BM_Top20, 0, &s)->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("top20/typed/bigram", BM_Top20, 0, &m.typed)->Unit(benchmark::kMillisecond);
    static std::vector<std::string> ever = {"ever"}, everg = {"everg"};
    benchmark::RegisterBenchmark("top20/ever", BM_Top20, 0, &ever)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("top20/everg", BM_Top20, 0, &everg)->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete gMarket;
    return 0;
}
