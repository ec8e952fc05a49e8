// The initialisation sequence of a SymbolDatabase: what a run leaves behind, and what a failed
// run leaves for the next one. That a second Init is ignored is shown through the exports, where
// it matters: their database lives as long as the process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/database_fixture.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::SmallDirectory;
using testing::TempDir;
using testing::WriteAndInit;

std::vector<std::string> Keys(const auto& map) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : map) keys.push_back(key);
    return keys;
}
const std::vector<std::string> kAllThree{"1", "2", "3"};

TEST(InitSequence, SucceedsAndMarksTheDatabaseInitialised) {
    const TempDir dir;
    SymbolDatabase db;
    EXPECT_EQ(db.Initialised, 0);
    ASSERT_EQ(WriteAndInit(db, dir, SmallDirectory()), 1);
    EXPECT_EQ(db.Initialised, 1);
    EXPECT_EQ(db.BasePath, dir.path());
    EXPECT_EQ(Keys(db.Exchanges), kAllThree);
    EXPECT_EQ(Keys(db.SymbolTables), kAllThree);
    EXPECT_NE(db.ResolveSymbol("600000.SH"), nullptr);
}

TEST(InitSequence, FailedRunKeepsWhatItLoadedUntilTheNextRun) {
    const TempDir dir;
    writer::DataDirectory data = SmallDirectory();
    data.LightTables.erase("2");
    SymbolDatabase db;
    EXPECT_EQ(WriteAndInit(db, dir, data), 0);
    EXPECT_EQ(db.Initialised, 0);
    EXPECT_EQ(db.BasePath, dir.path());
    EXPECT_EQ(Keys(db.Exchanges), kAllThree);
    EXPECT_EQ(Keys(db.SymbolTables), (std::vector<std::string>{"1"}));
}

TEST(InitSequence, RunAfterAFailureInTheSecondLoaderHoldsOnlyItsOwnData) {
    const TempDir failing;
    const TempDir good;
    writer::DataDirectory data = SmallDirectory();
    data.LightTables.erase("3");
    writer::DataDirectory other;  // one exchange 7 "QQ" with one symbol
    other.Directory.Types = {writer::ExchangeType(7, "QQ", "Other")};
    other.LightTables["7"].Records = {writer::MakeLightRecord("OTHER", "Other symbol")};

    SymbolDatabase db;
    ASSERT_EQ(WriteAndInit(db, failing, data), 0);
    ASSERT_EQ(db.SymbolTables.size(), 2u);
    ASSERT_EQ(WriteAndInit(db, good, other), 1);

    EXPECT_EQ(Keys(db.Exchanges), (std::vector<std::string>{"7"}));
    EXPECT_EQ(Keys(db.SymbolTables), (std::vector<std::string>{"7"}));
    EXPECT_EQ(db.BasePath, good.path());
    // Nothing of the first run is reachable through the lookups, which keep indexes of their own.
    EXPECT_EQ(db.ResolveSymbol("600000.SH"), nullptr);
    EXPECT_EQ(db.ResolveSymbol("000001.SZ"), nullptr);
    ASSERT_NE(db.ResolveSymbol("OTHER.QQ"), nullptr);
    const auto list = testing::Results<ExchangeInfo>([&](auto l, auto c) { return db.GetExch(l, c); });
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Id, 7);
}

TEST(InitSequence, RunAfterAFailureStartsFromEmptyMaps) {
    // The first run fails in the group table, the last loader, so every map holds something.
    const TempDir failing;
    writer::DataDirectory data = SmallDirectory();
    data.Groups.Groups.push_back(testing::MakeGroup(2, {testing::Sub("X")}));
    data.Groups.Groups.back().Length = 4;
    const TempDir empty;

    SymbolDatabase db;
    ASSERT_EQ(WriteAndInit(db, failing, data), 0);
    ASSERT_NE(FindRecord(db.Groups, "1"), nullptr);
    ASSERT_FALSE(db.SearchIndex.empty());
    // The next run fails at once, in the directory reader: nothing of the first run stays.
    EXPECT_EQ(db.Init(empty.path().c_str()), 0);
    EXPECT_TRUE(db.Exchanges.empty());
    EXPECT_TRUE(db.SymbolTables.empty());
    EXPECT_TRUE(db.Groups.empty());
    EXPECT_TRUE(db.SearchIndex.empty());
    EXPECT_EQ(db.ResolveSymbol("600000.SH"), nullptr);
}

}  // namespace
}  // namespace tessary
