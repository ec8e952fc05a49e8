// The initialisation sequence of a SymbolDatabase: what a failed run leaves for the next one. That
// a second Init is ignored is shown through the exports, where it matters: their database lives
// as long as the process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/database_fixture.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::Results;
using testing::SmallDirectory;
using testing::TempDir;
using testing::WriteAndInit;

std::vector<int> ExchangeIds(const SymbolDatabase& db) {
    std::vector<int> ids;
    for (const ExchangeInfo& e : Results<ExchangeInfo>([&](auto l, auto c) { return db.GetExch(l, c); }))
        ids.push_back(e.Id);
    return ids;
}

bool Resolves(const SymbolDatabase& db, const char* symbol) {
    SymbolInfo info{};
    return db.GetSymbolInfo(symbol, &info) && info.ExchangeId != 0;
}

// A failure in the second loader (a missing table) and one in the last (a damaged group table)
// each leave data behind; the next run answers from its own data only.
TEST(InitSequence, RunAfterAFailureHoldsOnlyItsOwnData) {
    writer::DataDirectory missingTable = SmallDirectory();
    missingTable.LightTables.erase("3");
    writer::DataDirectory damagedGroups = SmallDirectory();
    damagedGroups.Groups.Groups.push_back(testing::MakeGroup(2, {testing::Sub("X")}));
    damagedGroups.Groups.Groups.back().Length = 4;
    writer::DataDirectory other;  // one exchange 7 "QQ" with one symbol
    other.Directory.Types = {writer::ExchangeType(7, "QQ", "Other")};
    other.LightTables["7"].Records = {writer::MakeLightRecord("OTHER", "Other symbol")};

    for (const writer::DataDirectory* failing : {&missingTable, &damagedGroups}) {
        const TempDir bad, good, empty;
        SymbolDatabase db;
        ASSERT_FALSE(WriteAndInit(db, bad, *failing));
        EXPECT_FALSE(db.Initialised());
        ASSERT_TRUE(WriteAndInit(db, good, other));
        EXPECT_TRUE(db.Initialised());
        EXPECT_EQ(ExchangeIds(db), (std::vector<int>{7}));
        EXPECT_FALSE(Resolves(db, "600000.SH"));
        EXPECT_FALSE(Resolves(db, "000001.SZ"));
        EXPECT_TRUE(Resolves(db, "OTHER.QQ"));

        // A run that fails at once, in the directory reader, leaves nothing of an earlier failed
        // run reachable either.
        SymbolDatabase again;
        ASSERT_FALSE(WriteAndInit(again, bad, *failing));
        EXPECT_FALSE(again.Init(empty.path().c_str()));
        EXPECT_TRUE(ExchangeIds(again).empty());
        EXPECT_FALSE(Resolves(again, "600000.SH"));
        EXPECT_EQ(Results<SubGroupInfo>([&](auto r, auto c) { return again.GetSubGroup(1, "", r, c); }, 0).size(), 0u);
    }
}

}  // namespace
}  // namespace tessary
