// The data file seam: whole-file reads, short reads into preset buffers, the writer's lock,
// letter-case matching of path components, and the result-array allocation.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "common/data_file.h"
#include "common/result_array.h"
#include "support/test_support.h"

namespace tessary {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

TEST(DataFileRead, ShortReadLeavesThePresetBytes) {
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
    EXPECT_EQ(file.Left(), 0u);
}

TEST(DataFileRead, SkipStopsAtTheEnd) {
    const TempDir dir;
    WriteFileBytes(dir / "f", "ABC");
    DataFile file;
    ASSERT_TRUE(file.Open(dir / "f"));
    file.Skip(2);
    EXPECT_EQ(file.Position(), 2u);
    file.Skip(100);
    EXPECT_EQ(file.Position(), 3u);
    EXPECT_EQ(file.Left(), 0u);
}

TEST(DataFileRead, EmptyFileOpensWithLengthZero) {
    const TempDir dir;
    WriteFileBytes(dir / "empty", "");
    DataFile file;
    ASSERT_TRUE(file.Open(dir / "empty"));
    EXPECT_EQ(file.Length(), 0u);
    char c = '#';
    EXPECT_EQ(file.Read(&c, 1), 0u);
    EXPECT_EQ(c, '#');
}

TEST(DataFileRead, TheWholeFileIsReadAtOpen) {
    const TempDir dir;
    const std::string bytes("head\0tail", 9);
    WriteFileBytes(dir / "f", bytes);
    DataFile file;
    ASSERT_TRUE(file.Open(dir / "f"));
    // Neither replacing nor removing the file changes what was read.
    WriteFileBytes(dir / "f", "something else entirely");
    std::filesystem::remove(dir / "f");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.Data()), file.Length()), bytes);

    std::string whole;
    WriteFileBytes(dir / "g", bytes);
    ASSERT_TRUE(ReadWholeFile(dir / "g", whole));
    EXPECT_EQ(whole, bytes);
}

TEST(DataFileRead, ReopeningReplacesTheEarlierContents) {
    const TempDir dir;
    WriteFileBytes(dir / "long", "0123456789");
    WriteFileBytes(dir / "short", "ab");
    DataFile file;
    ASSERT_TRUE(file.Open(dir / "long"));
    file.Skip(5);
    ASSERT_TRUE(file.Open(dir / "short"));
    EXPECT_EQ(file.Position(), 0u);
    EXPECT_EQ(file.Length(), 2u);
    EXPECT_FALSE(file.Open(dir / "missing"));
    EXPECT_EQ(file.Length(), 0u);
    EXPECT_EQ(file.Left(), 0u);
}

TEST(DataFileOpen, FailsForMissingFilesAndDirectories) {
    const TempDir dir;
    std::filesystem::create_directories(dir / "Directory.xml");
    DataFile file;
    EXPECT_FALSE(file.Open(dir / "missing"));
    EXPECT_FALSE(file.Open(dir / "Directory.xml"));
    EXPECT_FALSE(file.Open(dir.path()));
    EXPECT_FALSE(file.Open(""));
    std::string bytes = "keep";
    EXPECT_FALSE(ReadWholeFile(dir / "missing", bytes));
}

TEST(DataFileOpen, FailsAtOnceForAPipeWithoutAWriter) {
    const TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "3_Light").c_str(), 0600), 0);
    DataFile file;
    EXPECT_FALSE(file.Open(dir / "3_Light"));
}

TEST(DataFileOpen, FailsWhileAWriterHoldsTheFileExclusively) {
    const TempDir dir;
    WriteFileBytes(dir / "f", "data");
    const int writer = ::open((dir / "f").c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    DataFile file;
    EXPECT_FALSE(file.Open(dir / "f"));
    ::close(writer);
    EXPECT_TRUE(file.Open(dir / "f"));
}

TEST(DataFileOpen, AnotherReaderDoesNotBlock) {
    const TempDir dir;
    WriteFileBytes(dir / "f", "data");
    const int reader = ::open((dir / "f").c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(::flock(reader, LOCK_SH), 0);
    DataFile file;
    EXPECT_TRUE(file.Open(dir / "f"));
    ::close(reader);
}

TEST(DataFileLetterCase, ASingleMatchInEachComponentIsUsed) {
    const TempDir dir;
    WriteFileBytes(dir / "symtbl/3_LIGHT", "light");
    DataFile file;
    ASSERT_TRUE(file.Open(dir / "SymTbl/3_Light"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.Data()), file.Length()), "light");
}

TEST(DataFileLetterCase, TwoMatchesAreAmbiguousAndFail) {
    const TempDir dir;
    WriteFileBytes(dir / "SymTbl/3_LIGHT", "upper");
    WriteFileBytes(dir / "SymTbl/3_light", "lower");
    DataFile file;
    EXPECT_FALSE(file.Open(dir / "SymTbl/3_Light"));
    // The exact name is always taken, however many others differ only in case.
    ASSERT_TRUE(file.Open(dir / "SymTbl/3_light"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.Data()), file.Length()), "lower");
}

TEST(DataFileLetterCase, AmbiguousDirectoryComponentFails) {
    const TempDir dir;
    WriteFileBytes(dir / "symtbl/Group", "a");
    WriteFileBytes(dir / "SYMTBL/Group", "b");
    DataFile file;
    EXPECT_FALSE(file.Open(dir / "SymTbl/Group"));
}

TEST(DataFileLetterCase, OnlyLetterCaseMayDiffer) {
    const TempDir dir;
    WriteFileBytes(dir / "3_Light", "x");
    DataFile file;
    EXPECT_FALSE(file.Open(dir / "3_Light2"));
    EXPECT_FALSE(file.Open(dir / "3-Light"));
}

TEST(JoinDataPath, AddsOneSeparatorAndConvertsSlashes) {
    EXPECT_EQ(JoinDataPath("/data", "SymTbl/3_Light"), "/data/SymTbl/3_Light");
    EXPECT_EQ(JoinDataPath("/data/", "SymTbl/3_Light"), "/data/SymTbl/3_Light");
    EXPECT_EQ(JoinDataPath("/data", "Directory.xml"), "/data/Directory.xml");
    // Regression: an empty base once gave a path relative to the working directory.
    EXPECT_EQ(JoinDataPath("", "Directory.xml"), "/Directory.xml");
}

TEST(ResultArray, IsZeroFilled) {
    // Fill and release a block first, so that a block that reuses its memory would show the
    // old bytes if the allocation did not clear it.
    constexpr std::size_t kCount = 300;
    constexpr std::size_t kSize = 94;
    void* dirty = AllocateResultArray(kCount, kSize);
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xAB, kCount * kSize);
    FreeResultArray(dirty);

    auto* block = static_cast<unsigned char*>(AllocateResultArray(kCount, kSize));
    ASSERT_NE(block, nullptr);
    for (std::size_t i = 0; i < kCount * kSize; ++i) ASSERT_EQ(block[i], 0) << "byte " << i;
    FreeResultArray(block);
}

TEST(ResultArray, CountZeroGivesDistinctValidBlocks) {
    void* a = AllocateResultArray(0, 94);
    void* b = AllocateResultArray(0, 184);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_NE(a, b);
    FreeResultArray(a);
    FreeResultArray(b);
    FreeResultArray(nullptr);
}

TEST(ResultArray, SizeBeyond32BitsFails) {
    EXPECT_EQ(AllocateResultArray(0xFFFFFFFFull / 94 + 1, 94), nullptr);
    EXPECT_EQ(AllocateResultArray(0x100000000ull, 1), nullptr);
    // count * size wraps around 64 bits to a small number.
    EXPECT_EQ(AllocateResultArray(0x8000000000000001ull, 2), nullptr);
    EXPECT_EQ(AllocateResultArray(UINT64_MAX, 184), nullptr);
}

}  // namespace
}  // namespace tessary
