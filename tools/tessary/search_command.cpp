// tessary search DIR TEXT [--exchange KEY] [--keys] [--limit N]: the type-ahead search
// (TSYFindSymbol, TSYFindSymbol2, or TSYFindSymbolTop for the first N), printed in the
// library's order.
#include <climits>
#include <cstdio>
#include <optional>
#include <string>

#include "cli_output.h"
#include "commands.h"

namespace tessary::cli {
namespace {

int RunSearch(const Arguments& args) {
    ExpectPositionals(args, {"DIR", "TEXT"}, 2);
    const std::string& text = args.Positional[1];
    const std::int32_t matchSearchKeys = args.Has("--keys") ? 1 : 0;
    const std::optional<std::string> exchangeKey = args.Value("--exchange");
    std::optional<std::int32_t> limit;
    if (const auto value = args.Value("--limit"))
        limit = static_cast<std::int32_t>(ParseInteger(*value, "--limit", 1, INT32_MAX));
    OpenDataDirectory(args.Positional[0]);

    ResultArray<SymbolInfo> results;
    std::int32_t total = 0;
    const char* const key = exchangeKey ? exchangeKey->c_str() : nullptr;
    const int answer =
        limit ? TSYFindSymbolTop(text.c_str(), key, matchSearchKeys, *limit, results.Out(), results.Count(), &total)
        : key ? TSYFindSymbol2(text.c_str(), key, results.Out(), results.Count(), matchSearchKeys)
              : TSYFindSymbol(text.c_str(), results.Out(), results.Count(), matchSearchKeys);
    if (answer == 0) {
        if (exchangeKey)
            throw CommandError(
                "the search failed: no exchange has the key '" + *exchangeKey +
                "', or a hit lies in an exchange whose symbols cannot be resolved ('tessary check' tells)");
        throw CommandError(
            "the search failed: a hit lies in an exchange whose symbols cannot be resolved, "
            "e.g. one whose Code has lower-case letters ('tessary check' tells)");
    }

    if (args.Json) {
        Json out = Json::array();
        for (std::size_t i = 0; i < results.size(); ++i) {
            Json item = SymbolJson(results[i]);
            item["position"] = i + 1;
            out.push_back(std::move(item));
        }
        if (limit) out = Json{{"results", std::move(out)}, {"total", total}};
        PrintJson(out);
        return kExitOk;
    }
    std::vector<Table::Column> columns{{"#", Table::Align::Right}};
    for (Table::Column& column : SymbolColumns()) columns.push_back(std::move(column));
    Table table(std::move(columns));
    for (std::size_t i = 0; i < results.size(); ++i) {
        std::vector<std::string> cells{std::to_string(i + 1)};
        for (std::string& cell : SymbolCells(results[i])) cells.push_back(std::move(cell));
        table.AddRow(std::move(cells));
    }
    table.Print("(no matches)");
    if (limit) std::printf("(%zu of %d symbols)\n", results.size(), total);
    return kExitOk;
}

}  // namespace

const Command kSearchCommand{
    "search",
    "find symbols from a typed fragment, ranked",
    "usage: tessary search DIR TEXT [--exchange KEY] [--keys] [--limit N] [--json]\n"
    "\n"
    "Finds the symbols whose code, name or search texts contain TEXT in upper case\n"
    "(TSYFindSymbol); a TEXT that is a whole symbol text such as 600000.SH gives that one\n"
    "symbol. Results come in the library's order, '#' being the position in it: first those\n"
    "where TEXT, exactly as typed, occurs earliest in the code part followed by the name.\n"
    "\n"
    "  --exchange KEY   search one exchange only (TSYFindSymbol2); KEY is its ID, e.g. 3\n"
    "  --keys           also find symbols whose search key equals TEXT in upper case\n"
    "  --limit N        only the first N (TSYFindSymbolTop); the table ends with\n"
    "                   '(N of TOTAL symbols)';\n"
    "                   with --json an object {\"results\": [...], \"total\": TOTAL}\n"
    "\n"
    "A TEXT that starts with '-' goes after '--': tessary search DIR -- -A\n",
    {"--exchange", "--limit"},
    {"--keys"},
    RunSearch};

}  // namespace tessary::cli
