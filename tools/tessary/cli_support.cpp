// Argument parsing, exit codes, errors and opening a data directory: shared by the subcommands.
#include "cli_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "tessary.h"

namespace tessary::cli {

bool Arguments::Has(const std::string& flag) const {
    return std::find(Flags.begin(), Flags.end(), flag) != Flags.end();
}

std::optional<std::string> Arguments::Value(const std::string& option) const {
    const auto it = Values.find(option);
    if (it == Values.end()) return std::nullopt;
    return it->second;
}

Arguments ParseArguments(const Command& command, int argc, char** argv) {
    Arguments args;
    args.CommandName = command.Name;
    auto isIn = [](const std::vector<std::string>& list, const std::string& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        // A lone "-" or a negative number is a value, not an option.
        const bool looksLikeOption = arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9');
        if (optionsEnded || !looksLikeOption) {
            args.Positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            args.Help = true;
            continue;
        }
        if (arg == "--json") {
            args.Json = true;
            continue;
        }
        if (arg == "--version") {
            args.Version = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (isIn(command.ValueOptions, name)) {
            // Last-wins would silently drop what the user typed first.
            if (args.Values.count(name) != 0) throw UsageError("option " + name + " is given twice");
            if (equals != std::string::npos) {
                args.Values[name] = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                args.Values[name] = argv[++i];
            } else {
                throw UsageError("option " + name + " needs a value");
            }
        } else if (isIn(command.FlagOptions, arg)) {
            args.Flags.push_back(arg);
        } else {
            throw UsageError("unknown option '" + arg + "'");
        }
    }
    return args;
}

void ExpectPositionals(const Arguments& args, const std::vector<std::string>& names, std::size_t required) {
    if (args.Positional.size() < required) throw UsageError("missing " + names[args.Positional.size()]);
    if (args.Positional.size() > names.size())
        throw UsageError("unexpected argument '" + args.Positional[names.size()] + "'");
}

void PrintVersion() { std::printf("tessary %s\n", TSYVersion()); }

std::int64_t ParseInteger(const std::string& text, const std::string& what, std::int64_t min,
                          std::int64_t max) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max)
        throw UsageError(what + " must be a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not '" + text + "'");
    return value;
}

void RequireDirectory(const std::string& dir) {
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0) {
        if (errno == ENOENT) throw CommandError("data directory '" + dir + "' does not exist");
        throw CommandError("data directory '" + dir + "': " + std::strerror(errno));
    }
    if (!S_ISDIR(info.st_mode)) throw CommandError("'" + dir + "' is a file, not a data directory");
}

void OpenDataDirectory(const std::string& dir) {
    RequireDirectory(dir);
    const TSYString path{dir.c_str()};
    if (TSYInit(&path) == 0) throw CommandError("the data directory '" + dir + "' does not load: " + TSYLastError());
}

// ---- Progress ----

struct Progress::State {
    std::mutex Mutex;
    std::condition_variable Wake;
    std::string Text;
    bool Stop = false;
    std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
    std::thread Painter;

    void Paint() {
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - Start)
                .count();
        std::fprintf(stderr, "\r\033[K%s ... %llds", Text.c_str(), static_cast<long long>(seconds));
        std::fflush(stderr);
    }
};

bool Progress::Enabled() { return ::isatty(STDOUT_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1; }

Progress::Progress() {
    if (!Enabled()) return;
    state_ = std::make_unique<State>();
    State* state = state_.get();
    state->Painter = std::thread([state] {
        std::unique_lock lock(state->Mutex);
        while (!state->Stop) {
            if (!state->Text.empty()) state->Paint();
            state->Wake.wait_for(lock, std::chrono::milliseconds(250));
        }
    });
}

Progress::~Progress() { Done(); }

void Progress::Stage(std::string text) {
    if (!state_) return;
    const std::lock_guard lock(state_->Mutex);
    state_->Text = std::move(text);
    state_->Paint();
}

void Progress::Done() {
    if (!state_) return;
    {
        const std::lock_guard lock(state_->Mutex);
        state_->Stop = true;
    }
    state_->Wake.notify_all();
    state_->Painter.join();
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    state_.reset();
}

}  // namespace tessary::cli
