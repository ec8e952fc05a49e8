// Running the built tessary command and capturing what it prints.
#include "tools/cli_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "support/test_support.h"

namespace tessary::testing {

nlohmann::json CliResult::Json() const {
    try {
        return nlohmann::json::parse(Out);
    } catch (const nlohmann::json::exception& e) {
        ADD_FAILURE() << "not JSON: " << e.what() << "\n" << Out;
        return nullptr;
    }
}

nlohmann::json RunJson(const std::vector<std::string>& args, const std::string& locale) {
    const CliResult result = RunCli(args, locale);
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    return result.Json();
}

void ExpectFailure(const CliResult& result, int exitCode, const std::string& message) {
    EXPECT_EQ(result.ExitCode, exitCode) << result.Err;
    EXPECT_NE(result.Err.find(message), std::string::npos) << "'" << message << "' not in: " << result.Err;
    EXPECT_EQ(std::count(result.Err.begin(), result.Err.end(), '\n'), 1) << result.Err;
}

CliResult RunCli(const std::vector<std::string>& args, const std::string& locale) {
    const TempDir capture;
    const std::string outPath = capture / "out";
    const std::string errPath = capture / "err";
    std::vector<std::string> argv{TESSARY_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::setenv("LC_ALL", locale.c_str(), 1);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    CliResult result;
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Out = ReadFileBytes(outPath);
    result.Err = ReadFileBytes(errPath);
    return result;
}

}  // namespace tessary::testing
