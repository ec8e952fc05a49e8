// tessary check DIR: reads every file of a data directory with the library's own readers and
// reports what keeps it from loading and what loads but looks wrong.
//
// The command calls the readers themselves, through their headers: the directory, every symbol
// table, the search index and the group table, the way TSYInit runs them, so the verdict is the
// one TSYInit would give. Unlike TSYInit it does not stop at the first file that fails: every
// file is read and explains itself into a DiagnosticSink, which the exports never install.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli_output.h"
#include "commands.h"
#include "common/diagnostics.h"
#include "directory/directory_reader.h"
#include "groups/group_table_reader.h"
#include "symbols/light_table_reader.h"
#include "symbols/search_index.h"
#include "symbols/symbol_resolver.h"

namespace tessary::cli {
namespace {

using Diagnostics = std::vector<Diagnostic>;

void Append(Diagnostics& to, const DiagnosticSink& sink, bool warnings = true) {
    for (const Diagnostic& d : sink.Items)
        if (warnings || d.Level == Diagnostic::Severity::Error) to.push_back(d);
}

// Reads every file of `dir` with the library's readers; true when TSYInit would load it. A symbol
// table is read even when an earlier one fails, and the group table even when nothing else
// loads; without every symbol table its members cannot be judged, so then only its errors count.
bool CheckFiles(const std::string& dir, Progress& progress, Diagnostics& found, std::vector<std::string>& notes) {
    DiagnosticSink directorySink;
    ExchangeDirectory directory;
    const bool directoryLoads = LoadDirectory(dir, &directorySink, directory);
    Append(found, directorySink);

    SymbolTables tables;
    bool everyTableLoads = directoryLoads;
    if (directoryLoads) {
        std::size_t done = 0;
        for (const auto& [key, exchange] : directory.Exchanges) {
            progress.Stage("checking SymTbl/" + key + "_Light (" + std::to_string(++done) + " of " +
                           std::to_string(directory.Exchanges.size()) + ")");
            DiagnosticSink sink;
            auto table = std::make_unique<ExchangeSymbolTable>();
            if (LoadSymbolTable(dir, key, *exchange, &sink, *table))
                tables.emplace(key, std::move(table));
            else
                everyTableLoads = false;
            Append(found, sink);
        }
    } else {
        notes.push_back("the symbol tables are not checked: their names come from Directory.xml");
    }
    SymbolResolver resolver;
    resolver.Build(directory.Exchanges, tables);
    SearchIndex index;
    const bool indexBuilds = BuildSearchIndex(tables, resolver, index);

    progress.Stage("checking SymTbl/Group");
    DiagnosticSink groupSink;
    GroupTree groups;
    const bool groupsLoad = LoadGroupTable(dir, &groupSink, groups);
    if (groupsLoad)
        ReportUnresolvedMembers(
            groups, [&resolver](const GroupMember& m) { return resolver.LookUp(m.Code, m.Exchange) != nullptr; },
            &groupSink);
    Append(found, groupSink, everyTableLoads);
    return everyTableLoads && indexBuilds && groupsLoad;
}

// "7 files, 337 MB": what a check of `dir` has to read, for the progress line.
std::string DirectorySize(const std::string& dir) {
    std::error_code ec;
    std::size_t files = 0;
    std::uintmax_t bytes = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        ++files;
        bytes += it->file_size(ec);
    }
    return Counted(files, "file") + ", " + std::to_string(bytes / 1000000) + " MB";
}

std::string Where(const Diagnostic& d) {
    std::string where = d.File;
    if (d.Line > 0)
        where += " line " + std::to_string(d.Line);
    else if (d.Offset >= 0)
        where += " offset " + std::to_string(d.Offset);
    return where;
}

int RunCheck(const Arguments& args) {
    ExpectPositionals(args, {"DIR"}, 1);
    const std::string& dir = args.Positional[0];
    RequireDirectory(dir);

    Progress progress;
    progress.Stage("checking " + dir + " (" + DirectorySize(dir) + ")");
    Diagnostics found;
    std::vector<std::string> notes;
    const bool loads = CheckFiles(dir, progress, found, notes);
    progress.Done();

    auto isError = [](const Diagnostic& d) { return d.Level == Diagnostic::Severity::Error; };
    if (!loads && std::none_of(found.begin(), found.end(), isError))
        found.push_back(
            {Diagnostic::Severity::Error, "", -1, 0, "the directory does not load, and no reader said why"});
    const auto errorCount = static_cast<std::size_t>(std::count_if(found.begin(), found.end(), isError));
    const std::size_t warningCount = found.size() - errorCount;

    if (args.Json) {
        Json items = Json::array();
        for (const Diagnostic& d : found) {
            Json item{{"level", d.Level == Diagnostic::Severity::Error ? "error" : "warning"},
                      {"file", JsonText(d.File)},
                      {"message", JsonText(d.Message)}};
            if (d.Line > 0) item["line"] = d.Line;
            if (d.Offset >= 0) item["offset"] = d.Offset;
            items.push_back(std::move(item));
        }
        PrintJson({{"directory", JsonText(dir)},
                   {"loads", loads},
                   {"errors", errorCount},
                   {"warnings", warningCount},
                   {"diagnostics", std::move(items)},
                   {"notes", notes}});
    } else {
        for (const Diagnostic& d : found) {
            const std::string where = Where(d);
            std::cout << (d.Level == Diagnostic::Severity::Error ? "error: " : "warning: ")
                      << (where.empty() ? dir : where) << ": " << d.Message << '\n';
        }
        for (const std::string& note : notes) std::cout << "note: " << note << '\n';
        std::cout << dir << (loads ? ": loads" : ": does NOT load") << " (" << errorCount
                  << (errorCount == 1 ? " error, " : " errors, ") << warningCount
                  << (warningCount == 1 ? " warning)" : " warnings)") << '\n';
    }
    return loads ? kExitOk : kExitFailed;
}

}  // namespace

const Command kCheckCommand{
    "check",
    "check a data directory and explain what is wrong",
    "usage: tessary check DIR [--json]\n"
    "\n"
    "Reads every file of the data directory DIR with the library's own readers and prints\n"
    "each problem with its file, its byte offset (binary files) or line (Directory.xml), and\n"
    "what is wrong. Errors keep the directory from loading; warnings name what loads but is\n"
    "probably wrong (an exchange Code with lower-case letters, two exchanges with one Code,\n"
    "repeated symbol codes, group members that no symbol table holds, a header record count\n"
    "that disagrees with the records, ...).\n"
    "\n"
    "Exit code 0 when TSYInit would load the directory, 1 when it would not. When a file does\n"
    "not load, the files behind it are still checked one by one.\n",
    {},
    {},
    RunCheck};

}  // namespace tessary::cli
