// Shared helpers of the tests: temporary data directories, locales, file bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tessary.h"
#include "writer/data_writer.h"

namespace tessary::testing {

// A fresh directory below the system's temporary directory, removed with everything in it when
// the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

// Sets LC_CTYPE for the object's lifetime; ok() tells whether the locale could be had. The
// double-byte locale zh_CN.GBK is made with localedef when it is missing (the tests run as root).
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;
    [[nodiscard]] bool ok() const { return ok_; }

private:
    std::string previous_;
    bool ok_ = false;
};

inline constexpr const char* kGbkLocale = "zh_CN.GBK";

// kGbkLocale, made when missing; empty when it cannot be had. LC_CTYPE is left as it was.
[[nodiscard]] std::string EnsureGbkLocale();

// A small, valid data directory: exchanges 1 "SH", 2 "SZ", 3 "HK", each with a few symbols, and a
// group tree. Tests change what they need before writing it.
[[nodiscard]] writer::DataDirectory SmallDirectory();

[[nodiscard]] std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The names in the directory, sorted.
[[nodiscard]] std::vector<std::string> Entries(const std::string& dir);

// Group records for the writer; their lengths are left for it to compute.
[[nodiscard]] inline writer::LeafGroup Leaf(std::string code, std::string list = "",
                                            std::string name = "leaf") {
    return {std::move(code), std::move(name), std::move(list), {}, {}, {}, {}};
}
[[nodiscard]] inline writer::SubGroup Sub(std::string code, std::vector<writer::LeafGroup> leaves = {},
                                          std::string name = "sub") {
    return {std::move(code), std::move(name), {0, 0}, std::move(leaves), {}, {}, {}};
}
[[nodiscard]] inline writer::Group MakeGroup(std::uint16_t id, std::vector<writer::SubGroup> subs = {}) {
    return {id, {0, 0}, std::move(subs), std::nullopt};
}

// ---- Record bytes ----

inline constexpr unsigned char kPoison = 0xCC;

// The `n` bytes at `p`, to compare a record's layout with an expected byte string.
[[nodiscard]] inline std::string Bytes(const void* p, std::size_t n) {
    return {static_cast<const char*>(p), n};
}
[[nodiscard]] inline std::string Nul(std::size_t n) { return std::string(n, '\0'); }
[[nodiscard]] inline std::string Poison(std::size_t n) { return std::string(n, static_cast<char>(kPoison)); }

// A pointer value put into outputs that a failing call must leave alone.
template <class T>
[[nodiscard]] T* PoisonPointer() {
    return reinterpret_cast<T*>(std::uintptr_t{0x5A5A5A5A});
}

// One record followed by guard bytes, all poisoned, to see exactly which bytes a call writes.
template <class T>
struct Guarded {
    Guarded() { std::memset(static_cast<void*>(this), kPoison, sizeof *this); }
    [[nodiscard]] bool GuardIntact() const { return Bytes(Guard, sizeof Guard) == Poison(sizeof Guard); }
    T Record;
    unsigned char Guard[64];
};

// The Symbol text of every record.
[[nodiscard]] std::vector<std::string> SymbolTexts(const std::vector<SymbolInfo>& records);

}  // namespace tessary::testing
