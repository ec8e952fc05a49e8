// tessary list DIR EXCHANGE_ID [--type N]: an exchange's symbols (TSYGetSymbolInfos2).
#include <cstdint>

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
    OpenDataDirectory(args.Positional[0]);

    ResultArray<SymbolInfo> symbols;
    if (TSYGetSymbolInfos2(exchangeId, type, symbols.Out(), symbols.Count()) == 0)
        throw CommandError("exchange " + std::to_string(exchangeId) +
                           " has no symbol table ('tessary exchanges " + args.Positional[0] +
                           "' lists the exchanges)");

    PrintSymbols(symbols, args.Json, type == -1 ? "(no symbols)" : "(no symbols of this type)");
    return kExitOk;
}

}  // namespace

const Command kListCommand{
    "list",
    "list an exchange's symbols, optionally of one type",
    "usage: tessary list DIR EXCHANGE_ID [--type N] [--json]\n"
    "\n"
    "Lists the symbols of the exchange numbered EXCHANGE_ID (the ID that 'tessary exchanges'\n"
    "shows), sorted by symbol text without regard to letter case (TSYGetSymbolInfos2).\n"
    "\n"
    "  --type N   only the symbols of type N (default: every type)\n",
    {"--type"},
    {},
    RunList};

}  // namespace tessary::cli
