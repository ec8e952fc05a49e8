// Shared helpers of the tests: temporary data directories, locales, file bytes.
#pragma once

#include <cstdint>
#include <string>

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

// Sets LC_CTYPE for the object's lifetime. The double-byte locale zh_CN.GBK is made with
// localedef when it is missing (the test setup runs as root); a locale that cannot be had fails
// the test that asked for it.
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

// The name of the locale that stands for double-byte code pages in tests (zh_CN.GBK), made when
// missing; empty when it cannot be had.
[[nodiscard]] std::string EnsureGbkLocale();

// A small, valid data directory: exchanges 1 "SH", 2 "SZ", 3 "HK", each with a few symbols, and a
// group tree. Tests change what they need before writing it.
[[nodiscard]] writer::DataDirectory SmallDirectory();

[[nodiscard]] std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace tessary::testing
