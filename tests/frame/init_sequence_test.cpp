// The initialisation sequence of a SymbolDatabase: the shortcut once initialised, and what a
// failed run leaves behind for the next one.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/result_array.h"
#include "frame/symbol_database.h"
#include "support/test_support.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::SmallDirectory;
using testing::TempDir;
using writer::ExchangeType;

// A second, different directory: one exchange 7 "QQ" with one symbol.
writer::DataDirectory OtherDirectory() {
    writer::DataDirectory d;
    d.Directory.Types = {ExchangeType(7, "QQ", "Other")};
    writer::LightRecord r;
    r.Code = "OTHER";
    r.Name = "Other symbol";
    d.LightTables["7"].Records = {r};
    return d;
}

std::vector<std::string> Keys(const auto& map) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : map) keys.push_back(key);
    return keys;
}

TEST(InitSequence, SucceedsAndMarksTheDatabaseInitialised) {
    const TempDir dir;
    writer::WriteDataDirectory(dir.path(), SmallDirectory());
    SymbolDatabase db;
    EXPECT_EQ(db.Initialised, 0);
    ASSERT_EQ(db.Init(dir.path().c_str()), 1);
    EXPECT_EQ(db.Initialised, 1);
    EXPECT_EQ(db.BasePath, dir.path());
    EXPECT_EQ(Keys(db.Exchanges), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(Keys(db.SymbolTables), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_NE(db.ResolveSymbol("600000.SH"), nullptr);
}

TEST(InitSequence, OnceInitialisedANewPathIsIgnored) {
    const TempDir first;
    const TempDir second;
    writer::WriteDataDirectory(first.path(), SmallDirectory());
    writer::WriteDataDirectory(second.path(), OtherDirectory());
    SymbolDatabase db;
    ASSERT_EQ(db.Init(first.path().c_str()), 1);
    const ExchangeEntry* before = FindRecord(db.Exchanges, "1");

    EXPECT_EQ(db.Init(second.path().c_str()), 1);
    EXPECT_EQ(db.Init("/nonexistent"), 1);
    EXPECT_EQ(db.BasePath, first.path());
    EXPECT_EQ(FindRecord(db.Exchanges, "1"), before);  // not reloaded
    EXPECT_EQ(FindRecord(db.Exchanges, "7"), nullptr);
    EXPECT_EQ(db.ResolveSymbol("OTHER.QQ"), nullptr);
}

TEST(InitSequence, FailedRunKeepsWhatItLoadedUntilTheNextRun) {
    const TempDir dir;
    writer::DataDirectory data = SmallDirectory();
    data.LightTables.erase("2");
    writer::WriteDataDirectory(dir.path(), data);
    SymbolDatabase db;
    EXPECT_EQ(db.Init(dir.path().c_str()), 0);
    EXPECT_EQ(db.Initialised, 0);
    EXPECT_EQ(db.BasePath, dir.path());
    EXPECT_EQ(Keys(db.Exchanges), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(Keys(db.SymbolTables), (std::vector<std::string>{"1"}));
}

TEST(InitSequence, RunAfterAFailureInTheSecondLoaderHoldsOnlyItsOwnData) {
    const TempDir failing;
    const TempDir good;
    writer::DataDirectory data = SmallDirectory();
    data.LightTables.erase("3");
    writer::WriteDataDirectory(failing.path(), data);
    writer::WriteDataDirectory(good.path(), OtherDirectory());

    SymbolDatabase db;
    ASSERT_EQ(db.Init(failing.path().c_str()), 0);
    ASSERT_EQ(db.SymbolTables.size(), 2u);
    ASSERT_EQ(db.Init(good.path().c_str()), 1);

    EXPECT_EQ(Keys(db.Exchanges), (std::vector<std::string>{"7"}));
    EXPECT_EQ(Keys(db.SymbolTables), (std::vector<std::string>{"7"}));
    EXPECT_EQ(db.BasePath, good.path());
    // Nothing of the first run is reachable through any lookup.
    EXPECT_EQ(db.ResolveSymbol("600000.SH"), nullptr);
    EXPECT_EQ(db.ResolveSymbol("000001.SZ"), nullptr);
    ASSERT_NE(db.ResolveSymbol("OTHER.QQ"), nullptr);
    SymbolInfo* infos = nullptr;
    std::int32_t count = -1;
    EXPECT_EQ(db.GetSymbolInfos2(1, -1, &infos, &count), 0);
    ASSERT_EQ(db.GetSymbolInfos("600000.SH,OTHER.QQ", &infos, &count), 1);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(infos[0].Symbol, "OTHER.QQ");
    EXPECT_EQ(infos[1].ExchangeId, 0);
    FreeResultArray(infos);
    ExchangeInfo* list = nullptr;
    ASSERT_EQ(db.GetExch(&list, &count), 1);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(list[0].Id, 7);
    FreeResultArray(list);
}

TEST(InitSequence, RunAfterAFailureStartsFromEmptyMaps) {
    const TempDir failing;
    writer::DataDirectory data = SmallDirectory();
    data.LightTables.erase("3");
    writer::WriteDataDirectory(failing.path(), data);
    const TempDir empty;

    SymbolDatabase db;
    ASSERT_EQ(db.Init(failing.path().c_str()), 0);
    // The next run fails at once, in the directory reader: nothing of the first run stays.
    EXPECT_EQ(db.Init(empty.path().c_str()), 0);
    EXPECT_TRUE(db.Exchanges.empty());
    EXPECT_TRUE(db.SymbolTables.empty());
    EXPECT_TRUE(db.Groups.empty());
    EXPECT_TRUE(db.SearchIndex.empty());
    EXPECT_EQ(db.ResolveSymbol("600000.SH"), nullptr);
}

TEST(InitSequence, BasePathWithATrailingSeparatorWorks) {
    const TempDir dir;
    writer::WriteDataDirectory(dir.path(), SmallDirectory());
    SymbolDatabase db;
    ASSERT_EQ(db.Init((dir.path() + "/").c_str()), 1);
    EXPECT_NE(db.ResolveSymbol("00700.HK"), nullptr);
}

TEST(InitSequence, DestroyingAnUninitialisedDatabaseIsHarmless) {
    { SymbolDatabase db; }
    {
        SymbolDatabase db;
        EXPECT_EQ(db.Init("/nonexistent/tessary"), 0);
    }
}

}  // namespace
}  // namespace tessary
