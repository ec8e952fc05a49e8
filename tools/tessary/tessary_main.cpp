// tessary: a command-line host of the Tessary library. Finds the subcommand, parses its
// arguments and turns every failure into a one-line message and an exit code.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "commands.h"

namespace tessary::cli {
namespace {

const Command* const kCommands[] = {&kExchangesCommand, &kGroupsCommand, &kInfoCommand,
                                    &kListCommand,      &kSearchCommand, &kCheckCommand,
                                    &kMakeCommand,      &kDumpCommand,   &kSampleCommand};

void PrintOverview(std::FILE* out) {
    std::fprintf(out,
                 "usage: tessary [--json] COMMAND [ARGS] [--json] [--help] [--version]\n"
                 "\n"
                 "Answers questions about a Tessary data directory through the library's exported\n"
                 "functions, checks a data directory, and writes new ones.\n"
                 "\n"
                 "commands:\n");
    for (const Command* command : kCommands)
        std::fprintf(out, "  %-10s %s\n", command->Name, command->Summary);
    std::fprintf(out,
                 "\n"
                 "Options: --json prints JSON for programs instead of a table; --help explains a\n"
                 "command; --version prints the version. They go before or after the command.\n"
                 "\n"
                 "Exit codes: 0 success, 1 the library answered 0 or the data is damaged or\n"
                 "unreadable, 2 wrong usage. 'tessary COMMAND --help' explains each command.\n");
}

bool IsGlobalOption(const std::string& arg) {
    return arg == "--json" || arg == "--help" || arg == "-h" || arg == "--version";
}

int Run(int argc, char** argv) {
    // Global options may stand before the subcommand as well as anywhere after it.
    std::vector<char*> rest;
    int first = 1;
    bool help = false, version = false;
    for (; first < argc && IsGlobalOption(argv[first]); ++first) {
        help = help || std::strcmp(argv[first], "--help") == 0 || std::strcmp(argv[first], "-h") == 0;
        version = version || std::strcmp(argv[first], "--version") == 0;
        rest.push_back(argv[first]);
    }
    if (first == argc) {
        if (version) PrintVersion();
        if (help || version) {
            if (help) PrintOverview(stdout);
            return kExitOk;
        }
        PrintOverview(stderr);
        return kExitUsage;
    }
    const std::string name = argv[first];
    if (name == "help") {
        PrintOverview(stdout);
        return kExitOk;
    }
    const Command* command = nullptr;
    for (const Command* candidate : kCommands)
        if (name == candidate->Name) command = candidate;
    if (command == nullptr) {
        std::fprintf(stderr, "tessary: unknown command '%s' (see tessary --help)\n", name.c_str());
        return kExitUsage;
    }
    rest.insert(rest.end(), argv + first + 1, argv + argc);

    try {
        const Arguments args = ParseArguments(*command, static_cast<int>(rest.size()), rest.data());
        if (args.Version) PrintVersion();
        if (args.Help) std::fputs(command->Help, stdout);
        if (args.Version || args.Help) return kExitOk;
        const int code = command->Run(args);
        std::cout.flush();
        if (!std::cout) {
            std::fprintf(stderr, "tessary %s: cannot write the output\n", command->Name);
            return kExitFailed;
        }
        return code;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tessary %s: %s (see tessary %s --help)\n", command->Name, e.what(),
                     command->Name);
        return kExitUsage;
    } catch (const CommandError& e) {
        std::cout.flush();
        std::fprintf(stderr, "tessary %s: %s\n", command->Name, e.what());
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "tessary %s: out of memory\n", command->Name);
        return kExitFailed;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessary %s: %s\n", command->Name, e.what());
        return kExitFailed;
    }
}

}  // namespace
}  // namespace tessary::cli

int main(int argc, char** argv) {
    // Text in the data files is in the character set of the LC_CTYPE locale, as the library
    // sees it; the user chooses it with LANG / LC_ALL (e.g. LC_ALL=zh_CN.GBK).
    std::setlocale(LC_CTYPE, "");
    return tessary::cli::Run(argc, argv);
}
