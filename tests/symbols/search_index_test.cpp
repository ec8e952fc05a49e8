// The search index as BuildSearchIndex makes it from the loaded tables.
#include <gtest/gtest.h>

#include <cstdio>

#include "symbols/reference_fixture.h"

namespace tessary::testing::search {
namespace {

using namespace std::string_literals;

TEST(SearchIndexLayout, CodeListFramesEverySymbolInTableOrder) {
    LoadedDatabase db(OneExchange({MakeSymbol("B", "b"), MakeSymbol("A", "a"), MakeSymbol("C", "c")}));
    const SymbolIndexRecord* record = FindRecord(db.database.SearchIndex, "1");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->CodeList(), "\x05" "B.SH\x05" "A.SH\x05" "C.SH\x05");
    ASSERT_EQ(record->SymbolCount(), 3u);
    EXPECT_EQ(record->SymbolText(0), "B.SH");
    EXPECT_EQ(record->SymbolText(2), "C.SH");
}

TEST(SearchIndexLayout, EmptyTableGetsRecordWithSeparatorOnly) {
    writer::DataDirectory d = OneExchange({MakeSymbol("A", "a")});
    d.Directory.Types.push_back(writer::ExchangeType(2, "SZ", "Shenzhen"));
    d.LightTables["2"].Records.clear();
    LoadedDatabase db(d);
    const SymbolIndexRecord* record = FindRecord(db.database.SearchIndex, "2");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->CodeList(), "\x05");
    EXPECT_EQ(record->SymbolCount(), 0u);
    EXPECT_EQ(db.database.SearchIndex.size(), 2u);
}

writer::LightRecord EveryField() {
    writer::LightRecord r = MakeSymbol("600000", "Pudong", "T1", "K1", "K2");
    r.SearchText2 = "T2";
    r.SearchText3 = "T3";
    r.SearchText4 = "T4";
    r.AuxCode = "AUX";
    return r;
}

writer::LightRecord FullWidthText() {
    // 65 bytes of SearchText1 with no terminator, then SearchText2 right behind it in the record.
    writer::LightRecord r = MakeSymbol("A", "n", std::string(65, 'Q'));
    r.SearchText2 = "R";
    return r;
}

TEST(SearchIndexLayout, SearchAndKeyTextsOfOneSymbol) {
    const struct {
        const char* label;
        writer::LightRecord record;
        std::string symbolText, searchText, keyText;
    } cases[] = {
        {"code, name and texts joined, AuxCode left out", EveryField(), "600000.SH",
         "600000\x05Pudong\x05T1\x05T2\x05T3\x05T4", "\x05K1\x05K2\x05"},
        {"all fields empty leave only separators", MakeSymbol("X", ""), "X.SH", "X\x05\x05\x05\x05\x05",
         "\x05\x05\x05"},
        {"blank-padded code trimmed", MakeSymbol("  ABC ", "n"), "ABC.SH", "ABC\x05n\x05\x05\x05\x05",
         "\x05\x05\x05"},
        {"field full to its width taken whole", FullWidthText(), "A.SH",
         "A\x05n\x05"s + std::string(65, 'Q') + "\x05R\x05\x05", "\x05\x05\x05"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        LoadedDatabase db(OneExchange({c.record}));
        const SymbolIndexRecord* record = FindRecord(db.database.SearchIndex, "1");
        ASSERT_NE(record, nullptr);
        ASSERT_EQ(record->SymbolCount(), 1u);
        EXPECT_EQ(record->SymbolText(0), c.symbolText);
        EXPECT_EQ(record->SearchText(0), c.searchText);
        EXPECT_EQ(record->KeyText(0), c.keyText);
        EXPECT_NE(record->Resolved(0), nullptr);
    }
}

TEST(SearchIndexBuild, TableMissingFromMapGetsNoRecord) {
    LoadedDatabase db(OneExchange({MakeSymbol("A", "a")}));
    db.database.SymbolTables.emplace("9", nullptr);
    ASSERT_EQ(db.database.BuildSearchIndex(), 1);
    EXPECT_EQ(FindRecord(db.database.SearchIndex, "9"), nullptr);
    EXPECT_NE(FindRecord(db.database.SearchIndex, "1"), nullptr);
}

TEST(SearchIndexBuild, RebuildReplacesRecordsInsteadOfAppending) {
    LoadedDatabase db(OneExchange({MakeSymbol("A", "a"), MakeSymbol("B", "b")}));
    ASSERT_EQ(db.database.BuildSearchIndex(), 1);
    const SymbolIndexRecord& record = *FindRecord(db.database.SearchIndex, "1");
    EXPECT_EQ(record.CodeList(), "\x05" "A.SH\x05" "B.SH\x05");
    EXPECT_EQ(record.SymbolCount(), 2u);
    EXPECT_EQ(FindAll(db.database, "A.SH").records.size(), 1u);
}

TEST(SearchIndexBuild, SecondInitAfterFailedOneHoldsOnlyItsOwnRecords) {
    // The first directory has no group table, so its Init fails after the index is built.
    writer::DataDirectory first = OneExchange({MakeSymbol("OLD", "old")});
    first.Directory.Types.push_back(writer::ExchangeType(7, "XX", "Gone"));
    first.LightTables["7"].Records = {MakeSymbol("GONE", "gone")};
    TempDir firstDir, secondDir;
    writer::WriteDataDirectory(firstDir.path(), first);
    std::remove((firstDir / "SymTbl/Group").c_str());
    writer::WriteDataDirectory(secondDir.path(), OneExchange({MakeSymbol("NEW", "new")}));

    std::string rank;
    SymbolDatabase database(rank);
    ASSERT_EQ(database.Init(firstDir.path().c_str()), 0);
    ASSERT_NE(FindRecord(database.SearchIndex, "7"), nullptr);
    ASSERT_EQ(database.Init(secondDir.path().c_str()), 1);
    ASSERT_EQ(database.SearchIndex.size(), 1u);
    EXPECT_EQ(FindRecord(database.SearchIndex, "1")->CodeList(), "\x05NEW.SH\x05");
    EXPECT_EQ(FindAll(database, "OLD").records.size(), 0u);
}

TEST(SearchIndexBuild, ClearLeavesMapEmptyAndMayRunTwice) {
    LoadedDatabase db(OneExchange({MakeSymbol("A", "a")}));
    db.database.ClearSearchIndex();
    db.database.ClearSearchIndex();
    EXPECT_TRUE(db.database.SearchIndex.empty());
    EXPECT_EQ(db.database.FindOrCreateIndexRecord("1", false), nullptr);
    SymbolIndexRecord* made = db.database.FindOrCreateIndexRecord("1", true);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(db.database.FindOrCreateIndexRecord("1", false), made);
    EXPECT_TRUE(made->CodeList().empty());
}

}  // namespace
}  // namespace tessary::testing::search
