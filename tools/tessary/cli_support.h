// What every subcommand of the tessary command shares: argument parsing, the exit codes, one-line
// errors, opening a data directory through the library, and progress on a terminal.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessary::cli {

// Exit codes, the same for every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the library answered 0, the data does not load, I/O failed
inline constexpr int kExitUsage = 2;   // wrong arguments

// Thrown for wrong arguments; main prints it with a pointer to --help and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown for everything else that ends a subcommand early (a missing directory, an unreadable
// file, a library answer of 0); main prints it and exits with 1.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One subcommand: its name, the one-line summary for `tessary --help`, its full help text, the
// options that take a value, and the function that runs it.
struct Arguments;
struct Command {
    const char* Name;
    const char* Summary;
    const char* Help;
    std::vector<std::string> ValueOptions;  // e.g. "--type"; every other "--x" is a flag
    std::vector<std::string> FlagOptions;   // e.g. "--keys"; --json and --help are always known
    int (*Run)(const Arguments&);
};

// The parsed command line of one subcommand.
struct Arguments {
    std::string CommandName;
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Values;  // "--type" -> "2"
    std::vector<std::string> Flags;             // "--keys", ...
    bool Json = false;
    bool Help = false;
    bool Version = false;

    [[nodiscard]] bool Has(const std::string& flag) const;
    [[nodiscard]] std::optional<std::string> Value(const std::string& option) const;
};

// Splits argv (the subcommand's name taken out) into positionals, flags and "--opt value" or
// "--opt=value" pairs; "--" ends the options. The global options --json, --help and --version
// are known to every subcommand. Throws UsageError for an unknown option, a missing value or an
// option that takes a value given twice.
[[nodiscard]] Arguments ParseArguments(const Command& command, int argc, char** argv);

// Checks the positionals against their names (e.g. {"DIR", "EXCHANGE_ID"}), of which the first
// `required` must be given; throws UsageError naming what is missing or extra.
void ExpectPositionals(const Arguments& args, const std::vector<std::string>& names, std::size_t required);

// Prints "tessary VERSION" for --version.
void PrintVersion();

// Parses a decimal integer argument in [min, max]; throws UsageError naming `what` otherwise.
[[nodiscard]] std::int64_t ParseInteger(const std::string& text, const std::string& what, std::int64_t min,
                                        std::int64_t max);

// Loads the data directory through TSYInit. Throws CommandError when the path is missing, is
// not a directory, or the library does not load it.
void OpenDataDirectory(const std::string& dir);

// Throws CommandError when `dir` is missing or not a directory.
void RequireDirectory(const std::string& dir);

// A status line on standard error that says what a long subcommand is doing and for how long.
// Shown only when standard output and standard error are both terminals, so redirected output
// and pipes stay clean; a background thread refreshes it while the work runs.
class Progress {
public:
    Progress();
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Replaces the text of the status line (e.g. "writing 6 symbol tables").
    void Stage(std::string text);
    // Removes the status line.
    void Done();

    [[nodiscard]] static bool Enabled();

private:
    struct State;
    std::unique_ptr<State> state_;  // null when progress is not shown
};

}  // namespace tessary::cli
