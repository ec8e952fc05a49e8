// LoadSymbolTables: every exchange's Light file into the symbol-table map, through a database
// made per test, with files from the data writer (damaged where a test needs it).
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "frame/symbol_database.h"
#include "support/test_support.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;
using writer::ExchangeType;
using writer::kLightHeaderSize;
using writer::kLightRecordSize;
using writer::LightRecord;
using writer::LightTable;
using writer::MakeLightRecord;

class LightTableReader : public ::testing::Test {
protected:
    LightTableReader() {
        data.Directory.Types = {ExchangeType(1, "XY", "One")};
        db.BasePath = dir.path();
    }

    // Writes the directory and loads the exchanges; then the tables. -1 when the directory
    // itself does not load.
    int Load() {
        writer::WriteDataDirectory(dir.path(), data);
        for (const auto& [key, bytes] : rawFiles) WriteFileBytes(LightPath(key), bytes);
        if (db.LoadDirectory() != 1) return -1;
        return db.LoadSymbolTables();
    }
    std::string LightPath(const std::string& key) const { return dir / ("SymTbl/" + key + "_Light"); }
    const ExchangeSymbolTable* Table(const char* key) const { return FindRecord(db.SymbolTables, key); }
    const SymbolEntry* Symbol(const char* key, std::string_view code) const {
        const ExchangeSymbolTable* table = Table(key);
        return table == nullptr ? nullptr : table->Symbols.Find(code);
    }

    TempDir dir;
    SymbolDatabase db;
    writer::DataDirectory data;
    std::map<std::string, std::string> rawFiles;  // written over the writer's tables
};

// ---- Files that do not load ----

TEST_F(LightTableReader, MissingFileFails) {
    EXPECT_EQ(Load(), 0);
    EXPECT_TRUE(db.SymbolTables.empty());
}

TEST_F(LightTableReader, WrongMagicFailsAndLeavesTheTableWithTheValueRead) {
    LightTable wrong;
    wrong.Magic = 206;
    wrong.Records = {MakeLightRecord("ABC")};
    const std::pair<std::string, std::uint32_t> cases[] = {
        {"", 0xFFFFFFFFu},
        // With a zero preset these bytes would read as 207; the preset is -1.
        {std::string("\xCF\0\0", 3), 0xFF0000CFu},
        {writer::RenderLightTable(wrong), 206u},
    };
    for (const auto& [bytes, magic] : cases) {
        SCOPED_TRACE(magic);
        rawFiles["1"] = bytes;
        db.ClearSymbolTables();
        EXPECT_EQ(Load(), 0);
        ASSERT_NE(Table("1"), nullptr);
        EXPECT_EQ(static_cast<std::uint32_t>(Table("1")->Magic), magic);
        EXPECT_TRUE(Table("1")->Symbols.empty());
    }
}

TEST_F(LightTableReader, OneMissingFileAmongSeveralFailsAndKeepsEarlierTables) {
    data.Directory.Types = {ExchangeType(1, "AA", "One"), ExchangeType(2, "BB", "Two"), ExchangeType(3, "CC", "Three")};
    data.LightTables["1"].Records = {MakeLightRecord("ONE")};
    data.LightTables["3"].Records = {MakeLightRecord("THREE")};
    EXPECT_EQ(Load(), 0);
    // Key order: "1" was read before "2" failed, "3" was never reached.
    ASSERT_NE(Symbol("1", "ONE"), nullptr);
    EXPECT_EQ(Table("2"), nullptr);
    EXPECT_EQ(Table("3"), nullptr);
}

// ---- Lengths ----

TEST_F(LightTableReader, NoExchangesLoadsNothing) {
    data.Directory.Types = {};
    EXPECT_EQ(Load(), 1);
    EXPECT_TRUE(db.SymbolTables.empty());
}

TEST_F(LightTableReader, HeaderOnlyIsAnEmptyTable) {
    data.LightTables["1"].RecordCount = 5;
    ASSERT_EQ(Load(), 1);
    ASSERT_NE(Table("1"), nullptr);
    EXPECT_EQ(Table("1")->Magic, 207);
    EXPECT_EQ(Table("1")->RecordCount, 5u);
    EXPECT_TRUE(Table("1")->Symbols.empty());
}

TEST_F(LightTableReader, CutHeaderIsAnEmptyTableKeepingThePresetsOfTheMissingBytes) {
    const std::string magic = writer::RenderLightTable(LightTable{}).substr(0, 4);
    rawFiles["1"] = magic;
    ASSERT_EQ(Load(), 1);
    EXPECT_TRUE(Table("1")->Symbols.empty());
    rawFiles["1"] = magic + std::string(6, '\xFF');
    db.ClearSymbolTables();
    ASSERT_EQ(Load(), 1);
    ASSERT_NE(Table("1"), nullptr);
    EXPECT_EQ(Table("1")->HeaderValue[0], 0xFFFFFFFFu);
    EXPECT_EQ(Table("1")->HeaderValue[1], 0x0000FFFFu);
    EXPECT_EQ(Table("1")->RecordCount, 0u);
    EXPECT_TRUE(Table("1")->Symbols.empty());
}

TEST_F(LightTableReader, HeaderWordsAreStoredAsRead) {
    LightTable& table = data.LightTables["1"];
    table.HeaderValue[0] = 0x11223344;
    table.HeaderValue[1] = 0xAABBCCDD;
    table.RecordCount = 0xFFFFFFFF;  // neither checked nor used
    table.Records = {MakeLightRecord("ABC")};
    ASSERT_EQ(Load(), 1);
    EXPECT_EQ(Table("1")->HeaderValue[0], 0x11223344u);
    EXPECT_EQ(Table("1")->HeaderValue[1], 0xAABBCCDDu);
    EXPECT_EQ(Table("1")->RecordCount, 0xFFFFFFFFu);
    EXPECT_EQ(Table("1")->Symbols.size(), 1u);
}

TEST_F(LightTableReader, TrailingPartialRecordIsNeverReadAsASymbol) {
    LightTable table;
    table.Records = {MakeLightRecord("WHOLE"), MakeLightRecord("PARTIAL", "cut")};
    const std::string bytes = writer::RenderLightTable(table);
    for (const std::size_t cut : {std::size_t{1}, std::size_t{17}, std::size_t{200}, kLightRecordSize - 1}) {
        rawFiles["1"] = bytes.substr(0, kLightHeaderSize + kLightRecordSize + cut);
        db.ClearSymbolTables();
        ASSERT_EQ(Load(), 1) << cut;
        EXPECT_NE(Symbol("1", "WHOLE"), nullptr);
        EXPECT_EQ(Symbol("1", "PARTIAL"), nullptr) << cut;
        EXPECT_EQ(Table("1")->Symbols.size(), 1u) << cut;
    }
}

TEST_F(LightTableReader, HugeFileOfZeroRecordsLoadsWithoutCrashing) {
    // A valid header and 200 MB of zero bytes (sparse): about 594,000 records of the blank code.
    constexpr std::size_t kFileSize = std::size_t{200} << 20;
    writer::WriteDataDirectory(dir.path(), data);
    WriteFileBytes(LightPath("1"), writer::RenderLightTable(LightTable{}));
    ASSERT_EQ(::truncate(LightPath("1").c_str(), static_cast<off_t>(kFileSize)), 0);
    ASSERT_EQ(db.LoadDirectory(), 1);
    ASSERT_EQ(db.LoadSymbolTables(), 1);
    const SymbolEntry* blank = Symbol("1", "");
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(Table("1")->Symbols.size(), 1u);
    EXPECT_EQ(blank->Serial, static_cast<std::int32_t>((kFileSize - kLightHeaderSize) / kLightRecordSize));
    EXPECT_EQ(blank->Symbol, ".XY");
}

// ---- Records ----

TEST_F(LightTableReader, EveryFieldComesFromItsOffset) {
    // Every text full to its width with no terminator: a wrong offset or width shows a neighbour's bytes.
    struct Text {
        std::string LightRecord::*Member;
        SymbolField Field;
        std::string Value;
    };
    const Text texts[] = {{&LightRecord::Code, SymbolField::Code, std::string(17, 'C')},
                          {&LightRecord::Name, SymbolField::Name, std::string(49, 'N')},
                          {&LightRecord::AuxCode, SymbolField::AuxCode, std::string(17, 'A')},
                          {&LightRecord::SearchText1, SymbolField::SearchText1, std::string(65, '1')},
                          {&LightRecord::SearchText2, SymbolField::SearchText2, std::string(65, '2')},
                          {&LightRecord::SearchText3, SymbolField::SearchText3, std::string(49, '3')},
                          {&LightRecord::SearchText4, SymbolField::SearchText4, std::string(49, '4')},
                          {&LightRecord::SearchKey1, SymbolField::SearchKey1, std::string(17, 'k')},
                          {&LightRecord::SearchKey2, SymbolField::SearchKey2, std::string(17, 'K')}};
    LightRecord r;
    for (const Text& t : texts) r.*t.Member = t.Value;
    r.Type = 0x01020304;
    r.AuxValue = -2;
    data.LightTables["1"].Records = {r};
    ASSERT_EQ(Load(), 1);
    const SymbolEntry* e = Symbol("1", std::string(17, 'C'));
    ASSERT_NE(e, nullptr);
    for (const Text& t : texts) EXPECT_EQ(e->Field(t.Field), t.Value) << t.Value;
    EXPECT_EQ(e->ExchangeId, 1);
    EXPECT_EQ(e->Symbol, std::string(17, 'C') + ".XY");
    EXPECT_EQ(e->Type, 0x01020304);
    EXPECT_EQ(e->AuxValue, -2);
    EXPECT_EQ(e->Serial, 1);
}

TEST_F(LightTableReader, TextFieldsEndAtTheirFirstNul) {
    LightRecord r = MakeLightRecord("AB", "Name");
    r.SearchText1 = std::string("fir\0st", 6);
    data.LightTables["1"].Records = {r};
    ASSERT_EQ(Load(), 1);
    const SymbolEntry* e = Symbol("1", "AB");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Name(), "Name");
    EXPECT_EQ(e->Field(SymbolField::SearchText1), "fir");
    EXPECT_EQ(e->Field(SymbolField::AuxCode), "");
}

TEST_F(LightTableReader, RepeatedCodeKeepsOneEntryWithTheLaterRecord) {
    LightRecord second = MakeLightRecord("ABC", "Second", 2);
    second.SearchKey1 = "K2";
    LightRecord first = MakeLightRecord("ABC", "First name that is longer", 1);
    first.SearchKey1 = "K1";
    first.SearchText2 = "only in the first";
    data.LightTables["1"].Records = {first, second, MakeLightRecord("DEF")};
    ASSERT_EQ(Load(), 1);
    EXPECT_EQ(Table("1")->Symbols.size(), 2u);
    const SymbolEntry* e = Symbol("1", "ABC");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Name(), "Second");
    EXPECT_EQ(e->Type, 2);
    EXPECT_EQ(e->Field(SymbolField::SearchKey1), "K2");
    EXPECT_EQ(e->Field(SymbolField::SearchText2), "");
    EXPECT_EQ(e->Serial, 2);
    EXPECT_EQ(Symbol("1", "DEF")->Serial, 3);
}

TEST_F(LightTableReader, KeyIsTheTrimmedCodeInItsOwnCaseAndCodeKeepsTheBlanks) {
    data.LightTables["1"].Records = {MakeLightRecord("  ABC"), MakeLightRecord("DEF \t"),
                                     MakeLightRecord(" "), MakeLightRecord("abc", "lower")};
    ASSERT_EQ(Load(), 1);
    EXPECT_EQ(Table("1")->Symbols.size(), 4u);
    EXPECT_EQ(Symbol("1", "abc")->Name(), "lower");
    const SymbolEntry* e = Symbol("1", "ABC");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Symbol, "ABC.XY");
    EXPECT_EQ(e->Code(), "  ABC");
    EXPECT_EQ(Symbol("1", "  ABC"), nullptr);
    ASSERT_NE(Symbol("1", "DEF"), nullptr);
    EXPECT_EQ(Symbol("1", "DEF")->Code(), "DEF \t");
    ASSERT_NE(Symbol("1", ""), nullptr);
    EXPECT_EQ(Symbol("1", "")->Symbol, ".XY");
}

TEST_F(LightTableReader, SymbolUsesTheTrimmedExchangeCodeAndIdFromTheKey) {
    data.Directory.Types = {ExchangeType(70000, " Q", "Padded")};
    data.LightTables["70000"].Records = {MakeLightRecord("ABC")};
    ASSERT_EQ(Load(), 1);
    const SymbolEntry* e = Symbol("70000", "ABC");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Symbol, "ABC.Q");
    EXPECT_EQ(e->ExchangeId, 4464);
}

TEST_F(LightTableReader, SymbolsAreVisitedInFirstAppearanceOrder) {
    data.LightTables["1"].Records = {MakeLightRecord("ZZ"), MakeLightRecord("AA"), MakeLightRecord("MM"), MakeLightRecord("ZZ")};
    ASSERT_EQ(Load(), 1);
    std::vector<std::string> codes;
    for (std::size_t i = 0; i < Table("1")->Symbols.size(); ++i) codes.emplace_back(Table("1")->Symbols.CodeAt(i));
    EXPECT_EQ(codes, (std::vector<std::string>{"ZZ", "AA", "MM"}));
}

TEST_F(LightTableReader, ClearingEmptiesTheMapAndTheLookups) {
    data.LightTables["1"].Records = {MakeLightRecord("ABC")};
    ASSERT_EQ(Load(), 1);
    ASSERT_NE(db.ResolveSymbol("ABC.XY"), nullptr);
    db.ClearSymbolTables();
    EXPECT_TRUE(db.SymbolTables.empty());
    db.ClearSymbolTables();  // on an empty map too
    EXPECT_EQ(db.ResolveSymbol("ABC.XY"), nullptr);
}

}  // namespace
}  // namespace tessary
