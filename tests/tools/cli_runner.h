// Runs the built tessary command as a user would, and captures what it prints.
#pragma once

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace tessary::testing {

struct CliResult {
    int ExitCode = -1;  // -1 when the process did not exit normally (a crash)
    std::string Out;
    std::string Err;

    // Standard output parsed as JSON; fails the calling test when it is not JSON.
    [[nodiscard]] nlohmann::json Json() const;
};

// Runs `tessary args...` with LC_ALL=C (or `locale`), stdin from /dev/null, and waits for it.
[[nodiscard]] CliResult RunCli(const std::vector<std::string>& args, const std::string& locale = "C");

// Runs a command that must succeed, and returns its standard output parsed as JSON.
[[nodiscard]] nlohmann::json RunJson(const std::vector<std::string>& args, const std::string& locale = "C");

// Expects that the command exited with `exitCode` and printed one line, holding `message`, on
// standard error.
void ExpectFailure(const CliResult& result, int exitCode, const std::string& message);

}  // namespace tessary::testing
