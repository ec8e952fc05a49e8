// Puts a newly written data directory in place so that no reader ever sees half of one: the
// files go into a hidden temporary directory beside the target, which is then renamed onto it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli_support.h"
#include "writer/data_writer.h"

namespace tessary::cli {

// Writes `data` as the data directory `dir`. An existing `dir` is replaced only when it is
// empty or already a data directory (it holds Directory.xml); anything else there is refused
// with a CommandError, as is a failure to write, after which nothing new is left behind.
void InstallDataDirectory(const std::string& dir, const writer::DataDirectory& data, Progress& progress);

// Says what was written: the directory, its exchanges, symbols and groups (and the seed of a
// sample), as a line of text or as JSON.
void PrintWritten(const std::string& dir, const writer::DataDirectory& data, bool json,
                  std::optional<std::int64_t> seed = std::nullopt);

}  // namespace tessary::cli
