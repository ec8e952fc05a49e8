// tessary sample DIR [--symbols N] [--seed S]: writes the deterministic sample data directory
// behind the README's session and the benchmarks.
#include <iostream>

#include "cli_output.h"
#include "commands.h"
#include "directory_install.h"

namespace tessary::cli {
namespace {

constexpr std::int64_t kDefaultSymbols = 5000;
constexpr std::int64_t kMaxSymbols = 20'000'000;

int RunSample(const Arguments& args) {
    ExpectPositionals(args, {"DIR"}, 1);
    std::int64_t symbols = kDefaultSymbols;
    if (const auto value = args.Value("--symbols"))
        symbols = ParseInteger(*value, "--symbols", 1, kMaxSymbols);
    std::int64_t seed = 1;
    if (const auto value = args.Value("--seed")) seed = ParseInteger(*value, "--seed", 0, UINT32_MAX);

    Progress progress;
    progress.Stage("making " + std::to_string(symbols) + " sample symbols");
    const writer::DataDirectory data =
        writer::MakeSampleDirectory(static_cast<std::size_t>(symbols), static_cast<std::uint32_t>(seed));
    InstallDataDirectory(args.Positional[0], data, progress);
    progress.Done();

    PrintWritten(args.Positional[0], data, args.Json, seed);
    return kExitOk;
}

}  // namespace

const Command kSampleCommand{
    "sample",
    "write a realistic, deterministic sample data directory",
    "usage: tessary sample DIR [--symbols N] [--seed S] [--json]\n"
    "\n"
    "Writes a sample data directory to DIR: six exchanges with two-letter codes (SH, SZ, HK,\n"
    "TW, SG, US), about N symbols spread over them with codes, names, search texts and search\n"
    "keys in the style of those markets, and a group tree (group 1 by market, group 2 by\n"
    "sector). The same N and S always give the same bytes.\n"
    "\n"
    "  --symbols N   about how many symbols (default 5000, at most 20000000)\n"
    "  --seed S      the random seed (default 1)\n"
    "\n"
    "The files are written into a temporary directory beside DIR, which then replaces DIR; an\n"
    "existing DIR is replaced only when it is empty or a data directory.\n",
    {"--symbols", "--seed"},
    {},
    RunSample};

}  // namespace tessary::cli
