// LoadSymbolTable(s): a Light file into one exchange's symbol table, fed the files' bytes (made by
// the data writer, damaged where a test needs it).
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "symbols/light_table_reader.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;
using writer::kLightHeaderSize;
using writer::kLightRecordSize;
using writer::LightRecord;
using writer::LightTable;
using writer::MakeLightRecord;

std::string Rendered(std::vector<LightRecord> records, std::optional<std::uint32_t> recordCount = {}) {
    LightTable t;
    t.Records = std::move(records);
    t.RecordCount = recordCount;
    return writer::RenderLightTable(t);
}

class LightTableReader : public ::testing::Test {
protected:
    LightTableReader() { std::strcpy(exchange.Code, "XY"); }

    // Reads SymTbl/`key`_Light, written with `bytes` unless null, into a fresh table.
    bool Load(const std::string* bytes) {
        if (bytes != nullptr) WriteFileBytes(Path(), *bytes);
        table = ExchangeSymbolTable{};
        return LoadSymbolTable(dir.path(), key, exchange, nullptr, table);
    }
    bool LoadBytes(const std::string& bytes) { return Load(&bytes); }
    bool LoadRecords(std::vector<LightRecord> records) { return LoadBytes(Rendered(std::move(records))); }
    std::string Path() const { return dir / ("SymTbl/" + key + "_Light"); }
    const SymbolEntry* Symbol(std::string_view code) const { return table.Symbols.Find(code); }

    TempDir dir;
    std::string key = "1";
    ExchangeEntry exchange;
    ExchangeSymbolTable table;
};

// ---- Headers ----

TEST_F(LightTableReader, OnlyTheMagicLoadsAndShortFilesKeepThePresetsOfMissingBytes) {
    EXPECT_FALSE(Load(nullptr));
    const std::string magic = writer::RenderLightTable(LightTable{}).substr(0, 4);
    LightTable wrong;
    wrong.Magic = 206;
    wrong.Records = {MakeLightRecord("ABC")};
    LightTable words;
    words.HeaderValue[0] = 0x11223344;
    words.HeaderValue[1] = 0xAABBCCDD;
    words.RecordCount = 0xFFFFFFFF;  // neither checked nor used
    struct Case {
        std::string Bytes;
        std::uint32_t Magic, Header0 = 0, Header1 = 0, RecordCount = 0;
    } const cases[] = {
        // With a zero preset the second would read as 207; the preset is -1.
        {"", 0xFFFFFFFFu}, {std::string("\xCF\0\0", 3), 0xFF0000CFu}, {writer::RenderLightTable(wrong), 206u},
        {magic, 207, 0, 0, 0},
        {magic + std::string(6, '\xFF'), 207, 0xFFFFFFFFu, 0x0000FFFFu, 0},
        {Rendered({}, 5), 207, 0, 0, 5},
        {writer::RenderLightTable(words), 207, 0x11223344u, 0xAABBCCDDu, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Bytes.size());
        EXPECT_EQ(LoadBytes(c.Bytes), c.Magic == 207);
        EXPECT_EQ(static_cast<std::uint32_t>(table.Magic), c.Magic);
        EXPECT_TRUE(table.Symbols.empty());
        if (c.Magic != 207) continue;
        EXPECT_EQ(table.HeaderValue[0], c.Header0);
        EXPECT_EQ(table.HeaderValue[1], c.Header1);
        EXPECT_EQ(table.RecordCount, c.RecordCount);
    }
}

TEST_F(LightTableReader, OneMissingFileAmongSeveralFailsAndKeepsEarlierTables) {
    ExchangeMap exchanges;
    SymbolTables tables;
    EXPECT_TRUE(LoadSymbolTables(dir.path(), exchanges, nullptr, tables));  // no exchanges: nothing
    EXPECT_TRUE(tables.empty());
    for (const char* k : {"1", "2", "3"}) *FindOrCreateRecord(exchanges, k) = exchange;
    WriteFileBytes(dir / "SymTbl/1_Light", Rendered({MakeLightRecord("ONE")}));
    WriteFileBytes(dir / "SymTbl/3_Light", Rendered({MakeLightRecord("THREE")}));
    EXPECT_FALSE(LoadSymbolTables(dir.path(), exchanges, nullptr, tables));
    // Key order: "1" was read before "2" failed, "3" was never reached.
    ASSERT_NE(FindRecord(tables, "1"), nullptr);
    EXPECT_NE(FindRecord(tables, "1")->Symbols.Find("ONE"), nullptr);
    EXPECT_EQ(FindRecord(tables, "3"), nullptr);
}

// ---- Lengths and records ----

TEST_F(LightTableReader, HugeFileOfZeroRecordsLoadsWithoutCrashing) {
    // A valid header and 200 MB of zero bytes (sparse): about 594,000 records of the blank code.
    constexpr std::size_t kFileSize = std::size_t{200} << 20;
    WriteFileBytes(Path(), writer::RenderLightTable(LightTable{}));
    ASSERT_EQ(::truncate(Path().c_str(), static_cast<off_t>(kFileSize)), 0);
    ASSERT_TRUE(Load(nullptr));
    const SymbolEntry* blank = Symbol("");
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(table.Symbols.size(), 1u);
    EXPECT_EQ(blank->Serial, static_cast<std::int32_t>((kFileSize - kLightHeaderSize) / kLightRecordSize));
    EXPECT_EQ(blank->Symbol().View(), ".XY");
}

TEST_F(LightTableReader, RecordsOnBothSidesOfTheReadWindowsEdgesAllLoad) {
    // More than one 4 MiB window of records, the file cut inside the last one.
    constexpr int kRecords = 12500;
    static_assert(kRecords * kLightRecordSize > kLightWindowBytes);
    std::vector<LightRecord> records;
    for (int i = 0; i < kRecords; ++i) {
        LightRecord r = MakeLightRecord("C" + std::to_string(i), "Name " + std::to_string(i), i);
        r.SearchKey2 = "K" + std::to_string(i);
        records.push_back(std::move(r));
    }
    std::string bytes = Rendered(std::move(records));
    bytes.resize(bytes.size() - 100);
    ASSERT_TRUE(LoadBytes(bytes));
    ASSERT_EQ(table.Symbols.size(), static_cast<std::size_t>(kRecords - 1));
    for (int i = 0; i + 1 < kRecords; ++i) {
        const SymbolEntry* e = Symbol("C" + std::to_string(i));
        ASSERT_NE(e, nullptr) << i;
        ASSERT_EQ(e->Serial, i + 1);
        ASSERT_EQ(e->Type, i);
        ASSERT_EQ(e->Field(SymbolField::SearchKey2), "K" + std::to_string(i));
    }
}

TEST_F(LightTableReader, EveryFieldComesFromItsOffsetAndEndsAtItsFirstNul) {
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
    LightRecord cut = MakeLightRecord("AB", "Name");
    cut.SearchText1 = std::string("fir\0st", 6);
    ASSERT_TRUE(LoadRecords({r, cut}));
    const SymbolEntry* e = Symbol(std::string(17, 'C'));
    ASSERT_NE(e, nullptr);
    for (const Text& t : texts) EXPECT_EQ(e->Field(t.Field), t.Value) << t.Value;
    EXPECT_EQ(e->ExchangeId, 1);
    EXPECT_EQ(e->Symbol().View(), std::string(17, 'C') + ".XY");
    EXPECT_EQ(e->Type, 0x01020304);
    EXPECT_EQ(e->AuxValue, -2);
    EXPECT_EQ(e->Serial, 1);
    ASSERT_NE(Symbol("AB"), nullptr);
    EXPECT_EQ(Symbol("AB")->Field(SymbolField::SearchText1), "fir");
    EXPECT_EQ(Symbol("AB")->Field(SymbolField::AuxCode), "");
}

TEST_F(LightTableReader, KeysAreTrimmedCodesAndARepeatedOneKeepsTheLaterRecordInItsFirstPlace) {
    LightRecord second = MakeLightRecord("ABC", "Second", 2);
    second.SearchKey1 = "K2";
    LightRecord first = MakeLightRecord("ABC", "First name that is longer", 1);
    first.SearchKey1 = "K1";
    first.SearchText2 = "only in the first";
    ASSERT_TRUE(LoadRecords({MakeLightRecord("ZZ"), first, MakeLightRecord("AA"), second, MakeLightRecord("DEF")}));
    std::vector<std::string> codes;
    for (std::size_t i = 0; i < table.Symbols.size(); ++i) codes.emplace_back(table.Symbols.CodeAt(i));
    EXPECT_EQ(codes, (std::vector<std::string>{"ZZ", "ABC", "AA", "DEF"}));
    const SymbolEntry* e = Symbol("ABC");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Name(), "Second");
    EXPECT_EQ(e->Type, 2);
    EXPECT_EQ(e->Field(SymbolField::SearchKey1), "K2");
    EXPECT_EQ(e->Field(SymbolField::SearchText2), "");
    EXPECT_EQ(e->Serial, 4);
    EXPECT_EQ(Symbol("DEF")->Serial, 5);

    // The key is the trimmed code in its own case; Code keeps the blanks.
    ASSERT_TRUE(LoadRecords({MakeLightRecord("  ABC"), MakeLightRecord("DEF \t"), MakeLightRecord(" "),
                             MakeLightRecord("abc", "lower")}));
    EXPECT_EQ(table.Symbols.size(), 4u);
    EXPECT_EQ(Symbol("abc")->Name(), "lower");
    e = Symbol("ABC");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Symbol().View(), "ABC.XY");
    EXPECT_EQ(e->Code(), "  ABC");
    EXPECT_EQ(Symbol("  ABC"), nullptr);
    ASSERT_NE(Symbol("DEF"), nullptr);
    EXPECT_EQ(Symbol("DEF")->Code(), "DEF \t");
    ASSERT_NE(Symbol(""), nullptr);
    EXPECT_EQ(Symbol("")->Symbol().View(), ".XY");

    // The exchange code is trimmed too; the id is the key's number cut to 16 bits.
    key = "70000";
    std::strcpy(exchange.Code, " Q");
    ASSERT_TRUE(LoadRecords({MakeLightRecord("ABC")}));
    ASSERT_NE(Symbol("ABC"), nullptr);
    EXPECT_EQ(Symbol("ABC")->Symbol().View(), "ABC.Q");
    EXPECT_EQ(Symbol("ABC")->ExchangeId, 4464);
}

}  // namespace
}  // namespace tessary
