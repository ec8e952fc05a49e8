// tessary info DIR SYMBOL[,SYMBOL...]: symbol information (TSYGetSymbolInfos), with the
// symbols the library could not resolve marked as such.
#include <cstring>

#include "cli_output.h"
#include "commands.h"

namespace tessary::cli {
namespace {

// TSYGetSymbolInfos answers a text it cannot resolve with a record that holds only that text:
// exchange, name and type stay zero. A real symbol can look the same (exchange 0, type 0, no
// name), so such a record is asked about once more through TSYGetSymbolInfo, which writes the
// name only when it finds the symbol: a name field preset without any NUL byte tells.
bool IsResolved(const SymbolInfo& info) {
    if (info.ExchangeId != 0 || info.Type != 0 || info.Name[0] != '\0') return true;
    SymbolInfo probe{};
    std::memset(probe.Name, '?', sizeof probe.Name);
    const std::string symbol = FieldText(info.Symbol, sizeof info.Symbol);
    return TSYGetSymbolInfo(symbol.c_str(), &probe) == 1 &&
           std::memchr(probe.Name, '\0', sizeof probe.Name) != nullptr;
}

int RunInfo(const Arguments& args) {
    ExpectPositionals(args, {"DIR", "SYMBOL[,SYMBOL...]"}, 2);
    OpenDataDirectory(args.Positional[0]);

    ResultArray<SymbolInfo> infos;
    if (TSYGetSymbolInfos(args.Positional[1].c_str(), infos.Out(), infos.Count()) == 0)
        throw CommandError("the library could not look the symbols up");

    if (args.Json) {
        Json out = Json::array();
        for (const SymbolInfo& info : infos) {
            Json item = SymbolJson(info);
            item["resolved"] = IsResolved(info);
            out.push_back(std::move(item));
        }
        PrintJson(out);
        return kExitOk;
    }
    std::vector<Table::Column> columns = SymbolColumns();
    columns.push_back({"Status", Table::Align::Left});
    Table table(std::move(columns));
    for (const SymbolInfo& info : infos) {
        if (IsResolved(info)) {
            std::vector<std::string> cells = SymbolCells(info);
            cells.push_back("found");
            table.AddRow(std::move(cells));
        } else {
            table.AddRow({FieldText(info.Symbol, sizeof info.Symbol), "", "", "", "NOT FOUND"});
        }
    }
    table.Print("(no symbols given)");
    return kExitOk;
}

}  // namespace

const Command kInfoCommand{
    "info",
    "look symbols up by their text, e.g. 600000.SH",
    "usage: tessary info DIR SYMBOL[,SYMBOL...] [--json]\n"
    "\n"
    "Looks up one or more symbol texts CODE.EX (TSYGetSymbolInfos): the code part, a full stop\n"
    "and the exchange's two-letter Code, several of them separated by commas. The whole text is\n"
    "upper-cased first. The symbols found come first, in the order given; then every text that\n"
    "names no symbol, marked NOT FOUND (\"resolved\": false in JSON). Not finding a symbol is\n"
    "an answer, not an error: the exit code is 0.\n",
    {},
    {},
    RunInfo};

}  // namespace tessary::cli
