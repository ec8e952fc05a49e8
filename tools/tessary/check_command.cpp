// tessary check DIR: reads every file of a data directory with the library's own readers and
// reports what keeps it from loading and what loads but looks wrong.
//
// The verdict is the one TSYInit would give, because it is the result of the same
// SymbolDatabase::Init; the readers only explain themselves into a DiagnosticSink, which the
// exports never install.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli_output.h"
#include "commands.h"
#include "common/diagnostics.h"
#include "frame/symbol_database.h"

namespace tessary::cli {
namespace {

using Diagnostics = std::vector<Diagnostic>;

void Append(Diagnostics& to, const DiagnosticSink& sink, bool warnings = true) {
    for (const Diagnostic& d : sink.Items)
        if (warnings || d.Level == Diagnostic::Severity::Error) to.push_back(d);
}

// Init stops at the first file that does not load. To report on the files behind it as well,
// this pass loads each file on its own, in databases of its own: the directory, then every
// symbol table with only its exchange, then the group table with the tables that did load.
// It explains more; it decides nothing.
Diagnostics CheckFileByFile(const std::string& dir, Progress& progress, std::vector<std::string>& notes) {
    Diagnostics found;
    SymbolDatabase directory;
    DiagnosticSink directorySink;
    directory.Diagnostics = &directorySink;
    directory.BasePath = dir;
    const bool directoryLoads = directory.LoadDirectory() == 1;
    Append(found, directorySink);

    // The group file is read even when nothing else loads; without the symbol tables its
    // members cannot be judged, so then only its errors count.
    SymbolDatabase withTables;
    withTables.BasePath = dir;
    bool everyTableLoads = directoryLoads;
    if (directoryLoads) {
        std::size_t done = 0;
        for (const auto& [key, exchange] : directory.Exchanges) {
            progress.Stage("checking SymTbl/" + key + "_Light (" + std::to_string(++done) + " of " +
                           std::to_string(directory.Exchanges.size()) + ")");
            SymbolDatabase one;
            DiagnosticSink sink;
            one.Diagnostics = &sink;
            one.BasePath = dir;
            if (ExchangeEntry* entry = one.FindOrCreateExchange(key, 1)) *entry = *exchange;
            if (one.LoadSymbolTables() == 1) {
                if (ExchangeEntry* entry = withTables.FindOrCreateExchange(key, 1)) *entry = *exchange;
            } else {
                everyTableLoads = false;
            }
            Append(found, sink);
        }
        progress.Stage("checking SymTbl/Group");
        (void)withTables.LoadSymbolTables();
    } else {
        notes.push_back("the symbol tables are not checked: their names come from Directory.xml");
    }
    DiagnosticSink groupSink;
    withTables.Diagnostics = &groupSink;
    (void)withTables.LoadGroupTable();
    Append(found, groupSink, everyTableLoads);
    return found;
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
    SymbolDatabase database;
    DiagnosticSink sink;
    database.Diagnostics = &sink;
    const bool loads = database.Init(dir.c_str()) == 1;
    if (loads)
        Append(found, sink);
    else
        found = CheckFileByFile(dir, progress, notes);
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
