// tessary groups DIR [GROUP [SUBGROUP [LEAF]]]: walks the group tree one level at a time
// (TSYGetSubGroup, TSYGetGroupSymbol).
#include <cstdint>

#include "cli_output.h"
#include "commands.h"

namespace tessary::cli {
namespace {

// Group numbers are 16-bit, and no export lists them: ask TSYGetSubGroup for the subgroups of
// every possible number and keep those the library knows. 65536 in-memory look-ups take a few
// milliseconds, and the command stays a plain host of the exports.
constexpr std::int32_t kLastGroupNumber = 65535;

Json SubGroupJson(const SubGroupInfo& info) {
    return {{"groupId", info.GroupId},
            {"code", JsonText(FieldText(info.Code, sizeof info.Code))},
            {"name", JsonText(FieldText(info.Name, sizeof info.Name))},
            {"isBranch", info.IsBranch != 0}};
}

int ListGroupNumbers(const Arguments& args) {
    Table table({{"Group", Table::Align::Right}, {"Subgroups", Table::Align::Right}});
    Json out = Json::array();
    for (std::int32_t group = 0; group <= kLastGroupNumber; ++group) {
        ResultArray<SubGroupInfo> subgroups;
        if (TSYGetSubGroup(group, "", subgroups.Out(), subgroups.Count()) == 0) continue;
        out.push_back({{"group", group}, {"subgroups", subgroups.size()}});
        table.AddRow({std::to_string(group), std::to_string(subgroups.size())});
    }
    if (args.Json)
        PrintJson(out);
    else
        table.Print("(no groups)");
    return kExitOk;
}

// Lists a group's subgroups (empty `code`) or a subgroup's leaf groups, each with the number of
// entries one level further down.
int ListChildren(const Arguments& args, std::int32_t group, const std::string& code) {
    ResultArray<SubGroupInfo> children;
    if (TSYGetSubGroup(group, code.c_str(), children.Out(), children.Count()) == 0) {
        if (code.empty()) throw CommandError("there is no group " + std::to_string(group));
        throw CommandError("group " + std::to_string(group) + " has no subgroup '" + code + "'");
    }
    const char* countName = code.empty() ? "Leaf groups" : "Symbols";
    Table table(
        {{"Code", Table::Align::Left}, {"Name", Table::Align::Left}, {countName, Table::Align::Right}});
    Json out = Json::array();
    for (const SubGroupInfo& child : children) {
        const std::string childCode = FieldText(child.Code, sizeof child.Code);
        std::size_t below = 0;
        if (child.IsBranch != 0) {
            ResultArray<SubGroupInfo> leaves;
            if (TSYGetSubGroup(group, childCode.c_str(), leaves.Out(), leaves.Count()) != 0)
                below = leaves.size();
        } else {
            ResultArray<SymbolInfo> symbols;
            if (TSYGetGroupSymbol(group, childCode.c_str(), symbols.Out(), symbols.Count()) != 0)
                below = symbols.size();
        }
        Json item = SubGroupJson(child);
        item[code.empty() ? "leafGroups" : "symbols"] = below;
        out.push_back(std::move(item));
        table.AddRow({childCode, FieldText(child.Name, sizeof child.Name), std::to_string(below)});
    }
    if (args.Json)
        PrintJson(out);
    else
        table.Print(code.empty() ? "(no subgroups)" : "(no leaf groups)");
    return kExitOk;
}

int ListLeafSymbols(const Arguments& args, std::int32_t group, const std::string& subgroup,
                    const std::string& leaf) {
    // The library finds a leaf group by its code anywhere in the group; asking for the subgroup
    // first makes a mistyped subgroup an error instead of going unnoticed.
    {
        ResultArray<SubGroupInfo> leaves;
        if (TSYGetSubGroup(group, subgroup.c_str(), leaves.Out(), leaves.Count()) == 0)
            throw CommandError("there is no group " + std::to_string(group) + " with a subgroup '" +
                               subgroup + "'");
    }
    ResultArray<SymbolInfo> symbols;
    if (TSYGetGroupSymbol(group, leaf.c_str(), symbols.Out(), symbols.Count()) == 0)
        throw CommandError("the library could not list the symbols of leaf group '" + leaf + "'");
    PrintSymbols(symbols, args.Json, "(no symbols: the leaf group is empty, unknown, or its members are in no symbol table)");
    return kExitOk;
}

int RunGroups(const Arguments& args) {
    ExpectPositionals(args, {"DIR", "GROUP", "SUBGROUP", "LEAF"}, 1);
    const std::vector<std::string>& p = args.Positional;
    std::int32_t group = 0;
    if (p.size() >= 2) group = static_cast<std::int32_t>(ParseInteger(p[1], "GROUP", INT32_MIN, INT32_MAX));
    OpenDataDirectory(p[0]);
    switch (p.size()) {
        case 1:
            return ListGroupNumbers(args);
        case 2:
            return ListChildren(args, group, "");
        case 3:
            return ListChildren(args, group, p[2]);
        default:
            return ListLeafSymbols(args, group, p[2], p[3]);
    }
}

}  // namespace

const Command kGroupsCommand{
    "groups",
    "walk the group tree: groups, subgroups, leaf groups, their symbols",
    "usage: tessary groups DIR [GROUP [SUBGROUP [LEAF]]] [--json]\n"
    "\n"
    "  tessary groups DIR                        the group numbers present, with their number\n"
    "                                            of subgroups\n"
    "  tessary groups DIR GROUP                  the group's subgroups, in file order\n"
    "  tessary groups DIR GROUP SUBGROUP         the subgroup's leaf groups, in file order\n"
    "  tessary groups DIR GROUP SUBGROUP LEAF    the leaf group's symbols, in list order\n"
    "\n"
    "Codes may be given in any letter case. The library offers no list of group numbers;\n"
    "they are found by asking TSYGetSubGroup about every number from 0 to 65535. Members of a\n"
    "leaf group that no symbol table holds are left out, as TSYGetGroupSymbol leaves them out\n"
    "('tessary check' names them).\n",
    {},
    {},
    RunGroups};

}  // namespace tessary::cli
