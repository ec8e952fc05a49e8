// tessary exchanges DIR: the exchange list (TSYGetExch).
#include "cli_output.h"
#include "commands.h"

namespace tessary::cli {
namespace {

int RunExchanges(const Arguments& args) {
    ExpectPositionals(args, {"DIR"}, 1);
    OpenDataDirectory(args.Positional[0]);

    ResultArray<ExchangeInfo> exchanges;
    if (TSYGetExch(exchanges.Out(), exchanges.Count()) == 0)
        throw CommandError("the library could not list the exchanges");

    if (args.Json) {
        Json out = Json::array();
        for (const ExchangeInfo& e : exchanges)
            out.push_back({{"id", e.Id},
                           {"code", JsonText(FieldText(e.Code, sizeof e.Code))},
                           {"name", JsonText(FieldText(e.Name, sizeof e.Name))},
                           {"alert", e.Alert != 0},
                           {"trade", e.Trade != 0},
                           {"quote", e.Quote != 0}});
        PrintJson(out);
        return kExitOk;
    }
    Table table({{"ID", Table::Align::Right},
                 {"Code", Table::Align::Left},
                 {"Name", Table::Align::Left},
                 {"Alert", Table::Align::Right},
                 {"Trade", Table::Align::Right},
                 {"Quote", Table::Align::Right}});
    for (const ExchangeInfo& e : exchanges)
        table.AddRow({std::to_string(e.Id), FieldText(e.Code, sizeof e.Code),
                      FieldText(e.Name, sizeof e.Name), std::to_string(e.Alert), std::to_string(e.Trade),
                      std::to_string(e.Quote)});
    table.Print("(no exchanges)");
    return kExitOk;
}

}  // namespace

const Command kExchangesCommand{
    "exchanges",
    "list the exchanges of the directory",
    "usage: tessary exchanges DIR [--json]\n"
    "\n"
    "Lists the exchanges of the data directory DIR in directory order (TSYGetExch): ID,\n"
    "two-letter Code, Name and the Alert, Trade and Quote flags. The ID is the exchange number\n"
    "that 'tessary list' and 'tessary search --exchange' take.\n",
    {},
    {},
    RunExchanges};

}  // namespace tessary::cli
