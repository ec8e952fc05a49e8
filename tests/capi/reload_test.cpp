// TSYReload and TSYLastError through the exports: a reload that fails leaves the current data
// answering as before and says why; one that loads replaces it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "support/answers.h"

namespace tessary::testing {
namespace {

// TSYInit loads once per process: a second one, with any path, and one after a reload answer 1
// and load nothing. TSYReload replaces the data (and, in the tests below, makes the first load).
TEST(Reload, InitLoadsOnceAndReloadReplaces) {
    const TempDir dir;
    writer::DataDirectory fewer = SmallDirectory();
    fewer.Directory.Types.pop_back();
    const std::string smallPath = dir / "small", fewerPath = dir / "fewer";
    writer::WriteDataDirectory(smallPath, SmallDirectory());
    writer::WriteDataDirectory(fewerPath, fewer);
    const TSYString small{smallPath.c_str()}, other{fewerPath.c_str()};

    EXPECT_EQ(Ask(0), "0");
    ASSERT_EQ(TSYInit(&small), 1);
    const std::string smallAnswers = AskEverything();
    EXPECT_EQ(Ask(0).size(), 1 + 3 * sizeof(ExchangeInfo));
    EXPECT_EQ(TSYInit(&other), 1);
    EXPECT_EQ(TSYInit(nullptr), 0);  // a null path is refused even now
    EXPECT_EQ(AskEverything(), smallAnswers);
    ASSERT_EQ(TSYReload(fewerPath.c_str()), 1);
    EXPECT_STREQ(TSYLastError(), "");
    const std::string otherAnswers = AskEverything();
    EXPECT_EQ(Ask(0).size(), 1 + 2 * sizeof(ExchangeInfo));
    EXPECT_EQ(TSYInit(&small), 1);
    EXPECT_EQ(AskEverything(), otherAnswers);
    ASSERT_EQ(TSYReload(smallPath.c_str()), 1);
    EXPECT_EQ(AskEverything(), smallAnswers);
}

// Each bad directory fails with its reason, in the words of `tessary check`, and the data that
// loaded before keeps answering.
TEST(Reload, FailuresKeepTheCurrentDataAndSayWhy) {
    const TempDir dir;
    writer::WriteDataDirectory(dir / "good", SmallDirectory());
    ASSERT_EQ(TSYReload((dir / "good").c_str()), 1);
    const std::string before = AskEverything();

    writer::DataDirectory badMagic = SmallDirectory();
    badMagic.LightTables["3"].Magic = 206;
    writer::WriteDataDirectory(dir / "bad-magic", badMagic);
    writer::DataDirectory badGroups = SmallDirectory();
    badGroups.Groups.Magic = 112;
    writer::WriteDataDirectory(dir / "bad-groups", badGroups);
    writer::WriteDataDirectory(dir / "no-groups", SmallDirectory());
    std::remove((dir / "no-groups/SymTbl/Group").c_str());
    WriteFileBytes(dir / "file", "not a directory");

    const std::string cases[][2] = {
        {"missing", "Directory.xml: the file cannot be opened: the data directory does not exist"},
        {"file", "Directory.xml: the file cannot be opened: the data directory is not a directory"},
        {"good/SymTbl", "Directory.xml: the file cannot be opened: it does not exist"},
        {"bad-magic", "SymTbl/3_Light offset 0: magic is 206, expected 207"},
        {"no-groups", "SymTbl/Group: cannot be opened: it does not exist"},
        {"bad-groups", "SymTbl/Group offset 0: magic is 112, expected 111"},
    };
    for (const auto& [name, reason] : cases) {
        EXPECT_EQ(TSYReload((dir / name).c_str()), 0) << name;
        EXPECT_EQ(TSYLastError(), reason);
        EXPECT_EQ(AskEverything(), before) << name;
    }
    for (const char* nothing : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_EQ(TSYReload(nothing), 0);
        EXPECT_STREQ(TSYLastError(), "no data directory was given");
    }
    EXPECT_EQ(TSYInit(nullptr), 0);
    EXPECT_STREQ(TSYLastError(), "no data directory was given");

    // Many failures in a row change nothing and, under LeakSanitizer, leak nothing.
    for (int i = 0; i < 200; ++i) ASSERT_EQ(TSYReload((dir / (i % 2 == 0 ? "bad-magic" : "no-groups")).c_str()), 0);
    EXPECT_EQ(AskEverything(), before);
    ASSERT_EQ(TSYReload((dir / "good").c_str()), 1);
    EXPECT_STREQ(TSYLastError(), "");
}

TEST(Reload, InitFailureSaysWhyAndTheReasonIsPerThread) {
    const TempDir dir;
    writer::DataDirectory badMagic = SmallDirectory();
    badMagic.LightTables["3"].Magic = 206;
    writer::WriteDataDirectory(dir.path(), badMagic);
    const TSYString path{dir.path().c_str()};
    ASSERT_EQ(TSYInit(&path), 0);
    const std::string reason = "SymTbl/3_Light offset 0: magic is 206, expected 207";
    EXPECT_EQ(TSYLastError(), reason);

    std::string seenElsewhere = "unset";
    std::thread([&] { seenElsewhere = TSYLastError(); }).join();
    EXPECT_EQ(seenElsewhere, "");
    EXPECT_EQ(TSYLastError(), reason);
}

}  // namespace
}  // namespace tessary::testing
