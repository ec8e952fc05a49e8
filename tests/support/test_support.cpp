// Temporary directories, locales, file bytes and the small sample directory of the tests.
#include "support/test_support.h"

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tessary::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessary-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedLocale::ScopedLocale(const char* name) : previous_(std::setlocale(LC_CTYPE, nullptr)) {
    ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
    // Made once per machine; quietly, since the tests' output should stay readable.
    if (!ok_ && std::string(name) == kGbkLocale &&
        std::system("localedef -i zh_CN -f GBK zh_CN.GBK >/dev/null 2>&1") == 0)
        ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
}

ScopedLocale::~ScopedLocale() { std::setlocale(LC_CTYPE, previous_.c_str()); }

std::string EnsureGbkLocale() { return ScopedLocale(kGbkLocale).ok() ? kGbkLocale : ""; }

writer::DataDirectory SmallDirectory() {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai"),
                         writer::ExchangeType(2, "SZ", "Shenzhen", 0, 1, 0),
                         writer::ExchangeType(3, "HK", "Hong Kong", 1, 0, 1)};
    auto record = [](std::string code, std::string name, std::int32_t type, std::string text1,
                     std::string key1 = "", std::string key2 = "") {
        writer::LightRecord r = writer::MakeLightRecord(std::move(code), std::move(name), type);
        r.SearchText1 = std::move(text1);
        r.SearchKey1 = std::move(key1);
        r.SearchKey2 = std::move(key2);
        return r;
    };
    d.LightTables["1"].Records = {record("600000", "Pudong Bank", 1, "PFYH", "PF", "600"),
                                  record("600036", "Merchants Bank", 1, "ZSYH", "ZS"),
                                  record("000060", "Index 60", 2, "ZS60")};
    d.LightTables["2"].Records = {record("000001", "Ping An Bank", 1, "PAYH", "PA"),
                                  record("300750", "Battery Tech", 1, "NDSD")};
    d.LightTables["3"].Records = {record("00700", "Tencent", 1, "TENCENT", "TX"),
                                  record("00005", "HSBC Holdings", 1, "HSBC")};
    writer::Group markets{1, {7, 8}, {}, std::nullopt};
    writer::SubGroup sub{"G00010", "Mainland", {1, 2}, {}, {}, {}, {}};
    sub.Leaves = {Leaf("G10010030", "600000.SH,000001.sz,600036.SH", "Banks"),
                  Leaf("G10010040", "300750.SZ,NOPE.SZ", "Tech")};
    markets.SubGroups = {std::move(sub), Sub("G00020", {Leaf("G10020010", "00700.HK,00005.HK", "Blue chips")},
                                             "Hong Kong")};
    d.Groups.Groups.push_back(std::move(markets));
    return d;
}

std::vector<std::string> SymbolTexts(const std::vector<SymbolInfo>& records) {
    std::vector<std::string> texts;
    for (const SymbolInfo& r : records) texts.emplace_back(r.Symbol);
    return texts;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tessary::testing
