// tessary list DIR EXCHANGE_ID [--type N] [--limit N]: an exchange's symbols (TSYGetSymbolInfos2).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>

#include "cli_output.h"
#include "commands.h"

namespace tessary::cli {
namespace {

int RunList(const Arguments& args) {
    ExpectPositionals(args, {"DIR", "EXCHANGE_ID"}, 2);
    const auto exchangeId =
        static_cast<std::int32_t>(ParseInteger(args.Positional[1], "EXCHANGE_ID", INT32_MIN, INT32_MAX));
    std::int32_t type = -1;
    if (const auto value = args.Value("--type"))
        type = static_cast<std::int32_t>(ParseInteger(*value, "--type", INT32_MIN, INT32_MAX));
    std::size_t limit = SIZE_MAX;
    if (const auto value = args.Value("--limit"))
        limit = static_cast<std::size_t>(ParseInteger(*value, "--limit", 1, INT32_MAX));
    OpenDataDirectory(args.Positional[0]);

    ResultArray<SymbolInfo> symbols;
    if (TSYGetSymbolInfos2(exchangeId, type, symbols.Out(), symbols.Count()) == 0)
        throw CommandError("exchange " + std::to_string(exchangeId) +
                           " has no symbol table ('tessary exchanges " + args.Positional[0] +
                           "' lists the exchanges)");

    const std::span<const SymbolInfo> shown(symbols.begin(), std::min(limit, symbols.size()));
    PrintSymbols(shown, args.Json, type == -1 ? "(no symbols)" : "(no symbols of this type)");
    if (!args.Json && shown.size() < symbols.size())
        std::printf("(%zu of %zu symbols)\n", shown.size(), symbols.size());
    return kExitOk;
}

}  // namespace

const Command kListCommand{
    "list",
    "list an exchange's symbols, optionally of one type",
    "usage: tessary list DIR EXCHANGE_ID [--type N] [--limit N] [--json]\n"
    "\n"
    "Lists the symbols of the exchange numbered EXCHANGE_ID (the ID that 'tessary exchanges'\n"
    "shows), sorted by symbol text without regard to letter case (TSYGetSymbolInfos2).\n"
    "\n"
    "  --type N    only the symbols of type N (default: every type)\n"
    "  --limit N   only the first N; the table ends with '(N of TOTAL symbols)' when cut\n",
    {"--type", "--limit"},
    {},
    RunList};

}  // namespace tessary::cli
