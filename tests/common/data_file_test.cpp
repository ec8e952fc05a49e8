// The data file seam (whole-file reads, short reads into preset buffers, the writer's lock,
// letter-case matching of path components) and the result-array allocation.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <filesystem>
#include <random>
#include <utility>
#include <vector>
#include <string>

#include "common/data_file.h"
#include "common/result_array.h"
#include "support/test_support.h"

namespace tessary {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

std::string Contents(const DataFile& file) {
    return std::string(reinterpret_cast<const char*>(file.Data()), file.Length());
}

TEST(DataFileRead, ShortReadLeavesThePresetBytesSkipStopsAtTheEndAndOpenReadsItAll) {
    const TempDir dir;
    WriteFileBytes(dir / "f", "ABCDEF");
    DataFile file;
    ASSERT_TRUE(file.Open(dir / "f"));
    EXPECT_EQ(file.Length(), 6u);
    char buffer[4];
    EXPECT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "ABCD");
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(file.Read(buffer, 4), 2u);
    EXPECT_EQ(std::string(buffer, 4), "EF##");
    EXPECT_EQ(file.Read(buffer, 4), 0u);
    EXPECT_EQ(std::string(buffer, 4), "EF##");

    ASSERT_TRUE(file.Open(dir / "f"));  // a new open starts again at the first byte
    file.Skip(2);
    EXPECT_EQ(file.Position(), 2u);
    file.Skip(100);
    EXPECT_EQ(file.Position(), 6u);
    EXPECT_EQ(file.Left(), 0u);

    // The whole file is read at open.
    const std::string bytes("head\0tail", 9);
    WriteFileBytes(dir / "f", bytes);
    std::string whole;
    ASSERT_TRUE(ReadWholeFile(dir / "f", whole));
    EXPECT_EQ(whole, bytes);
    ASSERT_TRUE(file.Open(dir / "f"));
    // Neither replacing nor removing the file changes what was read.
    WriteFileBytes(dir / "f", "something else entirely");
    std::filesystem::remove(dir / "f");
    EXPECT_EQ(Contents(file), bytes);
}

TEST(DataFileWindow, ReadsSkipsAndFillsAsTheWholeFileDoes) {
    const TempDir dir;
    std::string bytes(1000, '\0');
    std::mt19937 random(7);
    for (char& c : bytes) c = static_cast<char>(random());
    WriteFileBytes(dir / "f", bytes);
    for (const std::size_t window : {1u, 3u, 64u, 999u, 1000u, 4096u}) {
        SCOPED_TRACE(window);
        DataFile whole, windowed;
        windowed.SetWindow(window);
        ASSERT_TRUE(whole.Open(dir / "f"));
        ASSERT_TRUE(windowed.Open(dir / "f"));
        for (int step = 0; step < 400; ++step) {
            const std::size_t n = random() % 90;
            switch (random() % 3) {
            case 0: {
                std::string a(n, '#'), b(n, '#');
                ASSERT_EQ(whole.Read(a.data(), n), windowed.Read(b.data(), n));
                ASSERT_EQ(a, b);
                break;
            }
            case 1:
                whole.Skip(n);
                windowed.Skip(n);
                break;
            default:
                ASSERT_TRUE(windowed.Fill(n));
                ASSERT_GE(windowed.Available(), std::min(n, windowed.Left()));
                ASSERT_EQ(std::string(reinterpret_cast<const char*>(windowed.Here()), windowed.Available()),
                          bytes.substr(windowed.Position(), windowed.Available()));
            }
            ASSERT_EQ(whole.Position(), windowed.Position());
            ASSERT_EQ(whole.Left(), windowed.Left());
        }
    }
}

TEST(DataFileWindow, AFileCutShortWhileItIsReadEndsWhereItsReadsEnd) {
    const TempDir dir;
    WriteFileBytes(dir / "f", std::string(100, 'x'));
    DataFile file;
    file.SetWindow(10);
    ASSERT_TRUE(file.Open(dir / "f"));
    std::filesystem::resize_file(dir / "f", 35);
    std::string read(100, '#');
    EXPECT_EQ(file.Read(read.data(), 100), 35u);
    EXPECT_EQ(file.Left(), 0u);
    EXPECT_EQ(file.Length(), 35u);
}

TEST(DataFileOpen, FailsForMissingFilesDirectoriesPipesAndExclusivelyLockedFiles) {
    const TempDir dir;
    std::filesystem::create_directories(dir / "Directory.xml");
    // A pipe without a writer must fail at once, not wait for one.
    ASSERT_EQ(::mkfifo((dir / "3_Light").c_str(), 0600), 0);
    DataFile file;
    for (const std::string& path :
         {dir / "missing", dir / "Directory.xml", dir.path(), std::string(), dir / "3_Light"})
        EXPECT_FALSE(file.Open(path)) << path;
    std::string bytes = "keep";
    EXPECT_FALSE(ReadWholeFile(dir / "missing", bytes));

    // And while a writer holds the file exclusively, but not beside a reader.
    WriteFileBytes(dir / "f", "data");
    const int other = ::open((dir / "f").c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_SH), 0);
    EXPECT_TRUE(file.Open(dir / "f"));
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    EXPECT_FALSE(file.Open(dir / "f"));
    ::close(other);
    EXPECT_TRUE(file.Open(dir / "f"));
}

TEST(DataFileLetterCase, OnlyASingleMatchPerComponentIsUsed) {
    struct Case {
        std::vector<std::string> Files;  // each file holds its own name
        const char* Open;
        const char* Opened;  // null: the open fails
    };
    const Case cases[] = {
        {{"symtbl/3_LIGHT"}, "SymTbl/3_Light", "symtbl/3_LIGHT"},
        {{"SymTbl/3_LIGHT", "SymTbl/3_light"}, "SymTbl/3_Light", nullptr},  // ambiguous
        // The exact name is always taken, however many others differ only in case.
        {{"SymTbl/3_LIGHT", "SymTbl/3_light"}, "SymTbl/3_light", "SymTbl/3_light"},
        {{"symtbl/Group", "SYMTBL/Group"}, "SymTbl/Group", nullptr},  // ambiguous folder
        {{"3_Light"}, "3_Light2", nullptr},
        {{"3_Light"}, "3-Light", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Open);
        const TempDir dir;
        for (const std::string& name : c.Files) WriteFileBytes(dir / name, name);
        DataFile file;
        EXPECT_EQ(file.Open(dir / c.Open), c.Opened != nullptr);
        if (c.Opened != nullptr) {
            EXPECT_EQ(Contents(file), c.Opened);
        }
    }
}

TEST(JoinDataPath, AddsOneSeparatorAndConvertsSlashes) {
    for (const char* base : {"/data", "/data/"})
        EXPECT_EQ(JoinDataPath(base, "SymTbl/3_Light"), "/data/SymTbl/3_Light") << base;
    // Regression: an empty base once gave a path relative to the working directory.
    EXPECT_EQ(JoinDataPath("", "Directory.xml"), "/Directory.xml");
}

TEST(ResultArray, IsZeroFilledCountZeroGivesDistinctBlocksAndSizesBeyond32BitsFail) {
    // A block that reuses the memory of the first one shows its bytes unless it is cleared.
    constexpr std::size_t kCount = 300;
    constexpr std::size_t kSize = 94;
    void* dirty = AllocateResultArray(kCount, kSize);
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xAB, kCount * kSize);
    FreeResultArray(dirty);
    auto* block = static_cast<unsigned char*>(AllocateResultArray(kCount, kSize));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), kCount * kSize), std::string(kCount * kSize, '\0'));
    FreeResultArray(block);

    void* a = AllocateResultArray(0, 94);
    void* b = AllocateResultArray(0, 184);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_NE(a, b);
    FreeResultArray(a);
    FreeResultArray(b);
    FreeResultArray(nullptr);

    // A size beyond 32 bits fails; the third wraps around 64 bits to a small number.
    for (const auto& [count, size] : {std::pair{0xFFFFFFFFull / 94 + 1, 94ull}, {0x100000000ull, 1ull},
                                     {0x8000000000000001ull, 2ull}, {UINT64_MAX, 184ull}})
        EXPECT_EQ(AllocateResultArray(count, size), nullptr) << count << " * " << size;
}

}  // namespace
}  // namespace tessary
