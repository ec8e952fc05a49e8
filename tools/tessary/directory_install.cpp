// Installing a written data directory in place of the old one in one step.
#include "directory_install.h"

#include "cli_output.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <filesystem>
#include <system_error>

namespace tessary::cli {
namespace fs = std::filesystem;

namespace {

bool IsReplaceable(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_empty(dir, ec) && !ec) return true;
    return fs::is_regular_file(dir / "Directory.xml", ec);
}

// mkdtemp makes the directory readable by its owner only; a data directory gets the usual
// permissions of a new directory instead.
void GiveUsualPermissions(const fs::path& dir) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(dir.c_str(), 0777 & ~mask);
}

}  // namespace

void InstallDataDirectory(const std::string& dir, const writer::DataDirectory& data, Progress& progress) {
    const fs::path target = fs::path(dir).lexically_normal();
    std::error_code ec;
    const bool exists = fs::exists(fs::symlink_status(target, ec));
    if (exists) {
        if (!fs::is_directory(target, ec))
            throw CommandError("'" + dir + "' is a file, not a data directory");
        if (!IsReplaceable(target))
            throw CommandError(
                "'" + dir +
                "' exists and is not a data directory (it has files but no Directory.xml); not replacing it");
    }
    fs::path parent = target.parent_path();
    if (parent.empty()) parent = ".";
    fs::create_directories(parent, ec);
    if (ec) throw CommandError("cannot make '" + parent.string() + "': " + ec.message());

    std::string pattern = (parent / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw CommandError("cannot make a temporary directory in '" + parent.string() +
                           "': " + std::strerror(errno));
    const fs::path temporary = pattern;
    try {
        std::uintmax_t bytes = 0;
        for (const auto& [key, table] : data.LightTables)
            bytes += writer::kLightHeaderSize + table.Records.size() * writer::kLightRecordSize;
        progress.Stage("writing " + dir + " (" + std::to_string(data.LightTables.size() + 2) + " files, " +
                       std::to_string(bytes / 1000000) + " MB)");
        writer::WriteDataDirectory(temporary.string(), data);
    } catch (const std::exception& e) {
        fs::remove_all(temporary, ec);
        throw CommandError(e.what());
    }
    GiveUsualPermissions(temporary);

    // Where the system can, the new directory and the old one trade places in one step, so the
    // path never goes missing and a loader sees the one or the other, whole. Loaders that opened
    // the old one before it goes start again on the new one.
    if (exists && ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        fs::remove_all(temporary, ec);
        return;
    }
    // Otherwise (a file system without the exchange), a directory cannot be renamed onto a
    // non-empty one: the old one steps aside first and is removed once the new one stands in
    // its place.
    const fs::path old = temporary.string() + "-old";
    if (exists) {
        fs::rename(target, old, ec);
        if (ec) {
            fs::remove_all(temporary, ec);
            throw CommandError("cannot replace '" + dir + "': " + ec.message());
        }
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        const std::string reason = ec.message();
        if (exists) fs::rename(old, target, ec);
        fs::remove_all(temporary, ec);
        throw CommandError("cannot put the new directory in place at '" + dir + "': " + reason);
    }
    if (exists) fs::remove_all(old, ec);
}

void PrintWritten(const std::string& dir, const writer::DataDirectory& data, bool json,
                  std::optional<std::int64_t> seed) {
    std::size_t symbols = 0;
    for (const auto& [key, table] : data.LightTables) symbols += table.Records.size();
    if (json) {
        Json out = {{"directory", JsonText(dir)},
                    {"exchanges", data.LightTables.size()},
                    {"symbols", symbols},
                    {"groups", data.Groups.Groups.size()}};
        if (seed) out["seed"] = *seed;
        PrintJson(out);
        return;
    }
    std::cout << "wrote " << dir << ": " << Counted(data.LightTables.size(), "exchange") << ", "
              << Counted(symbols, "symbol") << ", " << Counted(data.Groups.Groups.size(), "group");
    if (seed) std::cout << " (seed " << *seed << ")";
    std::cout << '\n';
}

}  // namespace tessary::cli
