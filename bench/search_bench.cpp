// TSYFindSymbol on a generated market of 1,000,000 distinct symbols, against the plain reference
// model (one substring search per symbol, a qsort that rebuilds both keys at every comparison)
// on the same data in the same run. Prints the ratio of the two per fragment at the end.
//
//   search_bench [--symbols=N] [google benchmark flags]
//
// The data directory is written to a temporary folder once and removed at exit; TSYInit and
// the model's build happen before any timing.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/result_array.h"
#include "support/loaded_data.h"
#include "symbols/reference_search.h"
#include "tessary.h"
#include "writer/data_writer.h"

namespace {

namespace writer = tessary::writer;

std::size_t gSymbolCount = 1000000;

// ---- the generated market ----

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    template <class T, std::size_t N>
    const T& Pick(const T (&items)[N]) { return items[Next() % N]; }

private:
    std::uint64_t state_;
};

constexpr const char* kFirstWords[] = {"Pudong", "China", "Ping An", "Sino", "Great Wall", "Golden", "Pacific",
                                       "Eastern", "Jade", "Pearl River", "Yangtze", "Huaxia", "Everbright",
                                       "Orient", "Harbour", "Summit", "Silver", "Northern", "Dragon", "Lotus"};
constexpr const char* kSecondWords[] = {"Development", "Merchants", "Industrial", "Mobile", "Energy", "Steel",
                                        "Motor", "Pharma", "Power", "Securities", "Insurance", "Property",
                                        "Shipping", "Foods", "Electric", "Technology", "Chemical", "Media"};
constexpr const char* kLastWords[] = {"Bank", "Holdings", "Group", "Co", "Corp", "Ltd", "Trust", "Fund"};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Initials(const std::string& name) {
    std::string out;
    bool start = true;
    for (const char c : name) {
        if (c == ' ') start = true;
        else if (start) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c))), start = false;
    }
    return out;
}

std::string Digits(std::size_t value, int width) {
    std::string s = std::to_string(value);
    return std::string(s.size() < static_cast<std::size_t>(width) ? width - s.size() : 0, '0') + s;
}

std::string Ticker(std::size_t n) {
    std::string code;
    n += 26 * 26;  // at least three letters
    while (n > 0) {
        code.insert(code.begin(), static_cast<char>('A' + n % 26));
        n /= 26;
    }
    return code;
}

// Four exchanges with distinct codes in their own styles: SH 30 % (600000...), SZ 25 % (000000...),
// HK 10 % (five digits), US 35 % (tickers).
writer::DataDirectory MakeMarket(std::size_t symbols) {
    struct Style { int Id; const char* Code; int Share; };
    const Style styles[] = {{1, "SH", 30}, {2, "SZ", 25}, {3, "HK", 10}, {4, "US", 35}};
    Random random(20261206);
    writer::DataDirectory d;
    for (const Style& style : styles) {
        d.Directory.Types.push_back(writer::ExchangeType(style.Id, style.Code, std::string(style.Code) + " market"));
        writer::LightTable& table = d.LightTables[std::to_string(style.Id)];
        const std::size_t count = symbols * static_cast<std::size_t>(style.Share) / 100;
        table.Records.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            writer::LightRecord r;
            switch (style.Id) {
                case 1: r.Code = Digits(600000 + i, 6); break;
                case 2: r.Code = Digits(i, 6); break;
                case 3: r.Code = Digits(i, 5); break;
                default: r.Code = Ticker(i); break;
            }
            std::string name = std::string(random.Pick(kFirstWords)) + " " + random.Pick(kSecondWords);
            if (random.Next() % 3 != 0) name += std::string(" ") + random.Pick(kLastWords);
            r.Name = name;
            r.Type = 1;
            r.SearchText1 = Upper(name);
            r.SearchText2 = Initials(name);
            r.SearchText3 = std::string(style.Code) + r.Code;
            r.SearchKey1 = Initials(name);
            r.SearchKey2 = r.Code.size() > 3 ? r.Code.substr(r.Code.size() - 3) : r.Code;
            table.Records.push_back(std::move(r));
        }
    }
    return d;
}

// ---- the two searches over the same data ----

struct Fixture {
    std::string dir;
    tessary::testing::LoadedData core;
    std::unique_ptr<tessary::reference::SearchModel> model;
    double initSeconds = 0;
    double indexSeconds = 0;

    Fixture() {
        char pattern[] = "/tmp/tessary-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) std::abort();
        dir = pattern;
        writer::WriteDataDirectory(dir, MakeMarket(gSymbolCount));
        const TSYString path{dir.c_str()};
        const auto start = std::chrono::steady_clock::now();
        if (TSYInit(&path) != 1) std::abort();
        initSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!core.Load(dir, nullptr, false)) std::abort();
        // The index alone, built once more over the same tables (a rebuild replaces every record).
        const auto indexStart = std::chrono::steady_clock::now();
        if (!tessary::BuildSearchIndex(core.Tables, core.Resolver, core.Index)) std::abort();
        indexSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - indexStart).count();
        model = std::make_unique<tessary::reference::SearchModel>(core.Tables, core.Resolver);
    }
    ~Fixture() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

void BM_Library(benchmark::State& state, const char* text) {
    Data();
    std::int32_t count = 0;
    for (auto _ : state) {
        SymbolInfo* results = nullptr;
        if (TSYFindSymbol(text, &results, &count, 1) != 1) state.SkipWithError("TSYFindSymbol failed");
        benchmark::DoNotOptimize(results);
        TSYFree(results);
    }
    state.counters["hits"] = count;
}

void BM_Reference(benchmark::State& state, const char* text) {
    Fixture& data = Data();
    std::int32_t count = 0;
    for (auto _ : state) {
        SymbolInfo* results = nullptr;
        if (data.model->FindSymbols(text, &results, &count, 1) != 1) state.SkipWithError("model failed");
        benchmark::DoNotOptimize(results);
        tessary::FreeResultArray(results);
    }
    state.counters["hits"] = count;
}

struct Fragment {
    const char* label;
    const char* text;
};
// Code fragments as a user types 601234, a whole symbol text (of the second exchange in key
// order, near the end of its table, so the plain exact test has most of two code lists to
// search), and a name typed in lower case.
constexpr Fragment kFragments[] = {{"1 char", "6"},     {"2 chars", "60"},      {"3 chars", "601"},
                                   {"6 chars", "601234"}, {"exact", "249999.sz"}, {"1 letter", "p"},
                                   {"2 letters", "pu"},   {"3 letters", "pud"},   {"6 letters", "pudong"}};

// Keeps each benchmark's time per iteration, to print the ratios once everything has run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                // CPU time: the machine may be shared, and both searches run on this one thread.
                const double perIteration = run.GetAdjustedCPUTime();
                auto& best = best_[run.run_name.function_name];
                if (best == 0 || perIteration < best) best = perIteration;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        std::printf("\n%-12s %-12s %14s %14s %10s\n", "fragment", "text", "library (ms)", "reference (ms)", "ratio");
        for (const Fragment& f : kFragments) {
            const auto lib = best_.find(std::string("Library/") + f.label);
            const auto ref = best_.find(std::string("Reference/") + f.label);
            if (lib == best_.end() || ref == best_.end()) continue;
            std::printf("%-12s %-12s %14.4f %14.4f %9.0fx\n", f.label, f.text, lib->second, ref->second,
                        ref->second / lib->second);
        }
        std::printf("(CPU time, best of the repetitions. %zu symbols: TSYInit took %.2f s, of which the search index %.2f s)\n",
                    gSymbolCount, Data().initSeconds, Data().indexSeconds);
    }

private:
    std::map<std::string, double> best_;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--symbols=", 0) == 0) gSymbolCount = std::stoul(arg.substr(10));
        else args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    for (const Fragment& f : kFragments) {
        benchmark::RegisterBenchmark((std::string("Library/") + f.label).c_str(), BM_Library, f.text)
            ->Unit(benchmark::kMillisecond)->Repetitions(3)->ReportAggregatesOnly(false);
        benchmark::RegisterBenchmark((std::string("Reference/") + f.label).c_str(), BM_Reference, f.text)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(2);
    }
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
