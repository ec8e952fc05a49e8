// Loading: how long TSYInit's work takes on a sample directory of 100,000 symbols, against the
// floor of merely reading the same files into memory, measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/data_file.h"
#include "database/symbol_database.h"
#include "directory/directory_reader.h"
#include "symbols/light_table_reader.h"
#include "writer/data_writer.h"

namespace {

const std::string& SampleDirectory() {
    static const std::string path = [] {
        const std::string dir =
            (std::filesystem::temp_directory_path() / "tessary-load-bench-100k").string();
        tessary::writer::WriteDataDirectory(dir, tessary::writer::MakeSampleDirectory(100000, 42));
        return dir;
    }();
    return path;
}

// The floor: every file of the directory read whole, nothing parsed.
void BM_ReadFilesOnly(benchmark::State& state) {
    const std::string& dir = SampleDirectory();
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            if (!entry.is_regular_file()) continue;
            std::string content;
            if (tessary::ReadWholeFile(entry.path().string(), content)) bytes += content.size();
        }
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_ReadFilesOnly)->Unit(benchmark::kMillisecond);

// Directory.xml and every Light file into the symbol tables.
void BM_LoadSymbolTables(benchmark::State& state) {
    const std::string& dir = SampleDirectory();
    for (auto _ : state) {
        tessary::ExchangeDirectory directory;
        tessary::SymbolTables tables;
        if (!tessary::LoadDirectory(dir, nullptr, directory) ||
            !tessary::LoadSymbolTables(dir, directory.Exchanges, nullptr, tables))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(tables.size());
    }
    state.counters["symbols/s"] = benchmark::Counter(100000.0 * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadSymbolTables)->Unit(benchmark::kMillisecond);

// The whole initialisation: directory, tables, search index and group tree.
void BM_Init(benchmark::State& state) {
    const std::string& dir = SampleDirectory();
    for (auto _ : state) {
        tessary::SymbolDatabase database;
        if (!database.Init(dir.c_str())) state.SkipWithError("init failed");
        benchmark::DoNotOptimize(database.Initialised());
    }
}
BENCHMARK(BM_Init)->Unit(benchmark::kMillisecond);

// Prints each benchmark's mean time as a multiple of the read-only floor.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_None) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const double perIteration = run.GetAdjustedRealTime();
            const std::string name = run.benchmark_name();
            if (name.rfind("BM_ReadFilesOnly", 0) == 0) floor_ = perIteration;
            else if (floor_ > 0) ratios_ += "  " + name + ": " + std::to_string(perIteration / floor_) + " x reading the files\n";
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (!ratios_.empty()) std::printf("\nAgainst the read-only floor (100,000 symbols):\n%s", ratios_.c_str());
    }

private:
    double floor_ = 0;
    std::string ratios_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(SampleDirectory());
    return 0;
}
