// What the fuzz targets share: a private data directory per process that each input is written
// into, and the pieces an input is cut into. The targets call the readers with a path, as the
// library does, so the file seam (letter-case matching, locking, reading whole) runs under the
// fuzzer too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/diagnostics.h"

namespace tessary::fuzz {

// The data directory of this process: under /dev/shm when it is there (every input is written
// and read back, and memory is faster than a disk), made on first use, emptied by Reset and
// removed when the process ends.
class ScratchDirectory {
public:
    static ScratchDirectory& Get();

    [[nodiscard]] const std::string& Path() const noexcept { return path_; }
    // Removes every file of the previous input, so that no input sees another's files.
    void Reset();
    // Writes `bytes` to `relative` ('/'-separated) below the directory, making its folder.
    void Write(std::string_view relative, std::string_view bytes);

    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory();

private:
    ScratchDirectory();
    std::string path_;
};

// The input as one data directory: Directory.xml, SymTbl/Group and the Light files one after
// another, each ended by kPieceSeparator (the last may stand without it). Light pieces beyond
// the first go to the exchanges in key order; exchanges without a piece of their own get
// the last one.
inline constexpr std::string_view kPieceSeparator = "\n#TSY#\n";
[[nodiscard]] std::vector<std::string_view> SplitPieces(std::string_view input);

// Up to `limit` distinct short texts taken from the input (runs between NUL, quote, comma,
// white space and angle brackets), the texts a host would type or pass.
[[nodiscard]] std::vector<std::string> TextsFrom(std::string_view input, std::size_t limit);

// Reads text in the double-byte locale zh_CN.GBK when the machine has it, so that upper-casing
// and searching take their multibyte paths; otherwise the C locale stays.
void UseDoubleByteLocale();

// Stops the process with `what` on standard error when `condition` is false: the fuzzer then
// keeps the input that broke a property of the readers.
void Require(bool condition, const char* what);

// The verdict agrees with the diagnostics, as `tessary check` relies on: a file that loads has
// no error, one that does not load says why in exactly one (a reader stops at the first damage).
void RequireVerdictExplained(bool loads, const DiagnosticSink& sink);

// Bounded memory: no input of n bytes may make the library ask for a single block larger than
// 4 n bytes plus this allowance (a length or count field that declares more than the file holds
// must not be believed). Reset before the call, require after it. The allowance covers the
// keystroke index's tables of every one- and two-byte piece (65,792 entries, up to 24 bytes each
// while it is built), which every load allocates whatever the input.
inline constexpr std::size_t kAllocationAllowance = 2 * 1024 * 1024;
void ResetLargestAllocation() noexcept;
void RequireAllocationsBoundedBy(std::size_t inputSize);

// Writes the input as the one file `name` of a fresh scratch directory, runs `load(path, sink)`
// on it and requires what every reader keeps: allocations bounded by the input's size and a
// verdict its diagnostics explain. Returns whether it loaded.
template <class Load>
bool LoadOneFile(const char* name, const std::uint8_t* data, std::size_t size, DiagnosticSink& sink,
                 Load&& load) {
    ScratchDirectory& scratch = ScratchDirectory::Get();
    scratch.Reset();
    scratch.Write(name, std::string_view(reinterpret_cast<const char*>(data), size));
    ResetLargestAllocation();
    const bool loads = load(scratch.Path(), sink);
    RequireAllocationsBoundedBy(size);
    RequireVerdictExplained(loads, sink);
    return loads;
}

[[nodiscard]] inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tessary::fuzz
