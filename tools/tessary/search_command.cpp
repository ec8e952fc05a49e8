// tessary search DIR TEXT [--exchange KEY] [--keys]: the type-ahead search (TSYFindSymbol,
// TSYFindSymbol2), in the library's order, with each result's rank shown.
#include <cstring>
#include <cwchar>
#include <string_view>

#include "cli_output.h"
#include "commands.h"

namespace tessary::cli {
namespace {

// Byte positions at which the locale's characters of `s` start; a byte that starts no
// character counts as one, as it does in the library's text operations.
std::vector<std::size_t> CharacterStarts(std::string_view s) {
    std::vector<std::size_t> starts;
    std::mbstate_t state{};
    std::size_t pos = 0;
    while (pos < s.size()) {
        starts.push_back(pos);
        const std::size_t n = std::mbrlen(s.data() + pos, s.size() - pos, &state);
        if (n == 0 || n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
            state = std::mbstate_t{};
            ++pos;
        } else {
            pos += n;
        }
    }
    return starts;
}

// The rank the library sorted a result by, worked out again from the record only to show it:
// where TEXT, as typed, first occurs in the symbol's code part followed by its name, or the
// length of that text when it does not occur. The order of the results is the library's; this
// number only explains it.
std::size_t DisplayRank(const SymbolInfo& info, std::string_view typed) {
    const std::string symbol = FieldText(info.Symbol, sizeof info.Symbol);
    const std::vector<std::size_t> symbolStarts = CharacterStarts(symbol);
    std::size_t dot = 0;
    for (const std::size_t start : symbolStarts)
        if (symbol[start] == '.') dot = start;
    const std::string key =
        (dot > 0 ? symbol.substr(0, dot) : symbol) + FieldText(info.Name, sizeof info.Name);
    std::vector<std::size_t> starts = CharacterStarts(key);
    starts.push_back(key.size());
    for (const std::size_t start : starts)
        if (key.compare(start, typed.size(), typed) == 0 && start + typed.size() <= key.size()) return start;
    return key.size();
}

int RunSearch(const Arguments& args) {
    ExpectPositionals(args, {"DIR", "TEXT"}, 2);
    const std::string& text = args.Positional[1];
    const std::int32_t matchSearchKeys = args.Has("--keys") ? 1 : 0;
    const std::optional<std::string> exchangeKey = args.Value("--exchange");
    OpenDataDirectory(args.Positional[0]);

    ResultArray<SymbolInfo> results;
    const int answer = exchangeKey
                           ? TSYFindSymbol2(text.c_str(), exchangeKey->c_str(), results.Out(),
                                            results.Count(), matchSearchKeys)
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
            item["rank"] = DisplayRank(results[i], text);
            out.push_back(std::move(item));
        }
        PrintJson(out);
        return kExitOk;
    }
    std::vector<Table::Column> columns{{"#", Table::Align::Right}, {"Rank", Table::Align::Right}};
    for (Table::Column& column : SymbolColumns()) columns.push_back(std::move(column));
    Table table(std::move(columns));
    for (std::size_t i = 0; i < results.size(); ++i) {
        std::vector<std::string> cells{std::to_string(i + 1), std::to_string(DisplayRank(results[i], text))};
        for (std::string& cell : SymbolCells(results[i])) cells.push_back(std::move(cell));
        table.AddRow(std::move(cells));
    }
    table.Print("(no matches)");
    return kExitOk;
}

}  // namespace

const Command kSearchCommand{
    "search",
    "find symbols from a typed fragment, ranked",
    "usage: tessary search DIR TEXT [--exchange KEY] [--keys] [--json]\n"
    "\n"
    "Finds the symbols whose code, name or search texts contain TEXT in upper case\n"
    "(TSYFindSymbol); a TEXT that is a whole symbol text such as 600000.SH gives that one\n"
    "symbol. Results come in the library's order. '#' is the position in it; 'Rank' is the\n"
    "number the library sorted by: where TEXT, exactly as typed, first occurs in the code part\n"
    "followed by the name, or that text's length when it does not occur (lower ranks first).\n"
    "\n"
    "  --exchange KEY   search one exchange only (TSYFindSymbol2); KEY is its ID, e.g. 3\n"
    "  --keys           also find symbols whose search key equals TEXT in upper case\n"
    "\n"
    "A TEXT that starts with '-' goes after '--': tessary search DIR -- -A\n",
    {"--exchange"},
    {"--keys"},
    RunSearch};

}  // namespace tessary::cli
