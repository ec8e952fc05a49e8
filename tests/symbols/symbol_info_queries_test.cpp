// The symbol resolver and the three symbol information queries, checked down to the bytes of the
// SymbolInfo records they write.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/database_fixture.h"
#include "support/loaded_data.h"
#include "symbols/symbol_info_queries.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::Bytes;
using testing::Guarded;
using testing::kGbkLocale;
using testing::Nul;
using testing::Poison;
using testing::Results;
using testing::ScopedLocale;
using testing::SymbolTexts;
using testing::TempDir;
using writer::ExchangeType;
using writer::MakeLightRecord;

const std::string kLongName(49, 'L');     // fills the Light Name field: no terminator
const std::string kTrailCode = "\x81\x61X";  // a GBK character whose trail byte is 'a', then X

using Strings = std::vector<std::string>;

class SymbolQueries : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        writer::DataDirectory data;
        data.Directory.Types = {ExchangeType(1, "XY", "One"), ExchangeType(2, "ZZ", "Two"),
                                ExchangeType(3, "lo", "Lower"), ExchangeType(5, "DU", "Dup A"),
                                ExchangeType(6, "DU", "Dup B"), ExchangeType(70000, "BG", "Big")};
        data.LightTables["1"].Records = {
            MakeLightRecord("ABC", "Alpha Corp", 65537), MakeLightRecord("A.B", "Dotted", 2),
            MakeLightRecord("_U", "Under", 2),           MakeLightRecord("abd", "", 3),
            MakeLightRecord("Zeta", "Z", 3),             MakeLightRecord("[Q", "Bracket"),
            MakeLightRecord("\xE9T", "High"),            MakeLightRecord(kTrailCode, "Trail"),
            MakeLightRecord("LONG", kLongName)};
        data.LightTables["2"].Records = {MakeLightRecord("", "Blank"), MakeLightRecord("Q1", "Queue")};
        data.LightTables["3"].Records = {MakeLightRecord("LOW", "Low")};
        data.LightTables["5"].Records = {MakeLightRecord("DUP", "In five"), MakeLightRecord("ONLY5", "Only five")};
        data.LightTables["6"].Records = {MakeLightRecord("DUP", "In six")};
        data.LightTables["70000"].Records = {MakeLightRecord("BIG", "Big one", 9)};
        writer::WriteDataDirectory(dir_->path(), data);
    }
    static void TearDownTestSuite() { dir_.reset(); }

    SymbolQueries() { EXPECT_TRUE(data.Load(dir_->path(), nullptr, false)); }
    // GetSymbolInfo into a poisoned, guarded record.
    SymbolInfo Info(const char* symbol) {
        Guarded<SymbolInfo> g;
        EXPECT_TRUE(GetSymbolInfo(data.Resolver, symbol, &g.Record)) << symbol;
        EXPECT_TRUE(g.GuardIntact()) << "written beyond the record";
        return g.Record;
    }
    std::vector<SymbolInfo> Infos(const char* symbols) {
        return Results<SymbolInfo>(
            [&](auto infos, auto count) { return GetSymbolInfos(data.Resolver, symbols, infos, count); });
    }
    std::vector<SymbolInfo> Infos2(std::int32_t exchangeId, std::int32_t type, int expected = 1) {
        return Results<SymbolInfo>(
            [&](auto infos, auto count) { return GetSymbolInfos2(data.Tables, exchangeId, type, infos, count); },
            expected);
    }

    testing::LoadedData data;

private:
    static inline std::unique_ptr<TempDir> dir_;
};

TEST_F(SymbolQueries, ResolveMatchesTheCodeExactlyAndTheExchangeInUpperCase) {
    // The name of the symbol found, "-" for none.
    const std::pair<const char*, const char*> cases[] = {
        {"ABC.XY", "Alpha Corp"}, {"ABC.xy", "Alpha Corp"}, {"abc.XY", "-"}, {"abd.XY", ""},
        {"A.B.XY", "Dotted"},  // the last full stop splits
        {"LOW.lo", "-"}, {"LOW.LO", "-"},  // a lower-case exchange code is never matched
        // Exchanges 5 and 6 share DU; 6 is visited last, so 5's symbols are out of reach.
        {"DUP.DU", "In six"}, {"ONLY5.DU", "-"}};
    for (const auto& [text, name] : cases) {
        const SymbolEntry* entry = data.Resolver.Resolve(text);
        EXPECT_EQ(entry == nullptr ? "-" : std::string(entry->Name()), name) << text;
    }
}

TEST_F(SymbolQueries, GetSymbolInfoWritesTheFourFieldsOrOnlyTheCallersTextNothingBehind) {
    // Type 65537 is reported as 1; a name of 49 bytes gets its terminator in the 50th.
    const SymbolInfo info = Info("ABC.xy");
    EXPECT_EQ(Bytes(&info, sizeof info),
              std::string("\1\0ABC.XY\0", 9) + Poison(33) + "Alpha Corp" + Nul(1) + Poison(39) + "\1" + Nul(1));
    const SymbolInfo full = Info("LONG.XY");
    EXPECT_EQ(Bytes(full.Name, 50) + Bytes(&full.Type, 2), kLongName + Nul(3));
    // Not found: only the caller's text is copied.
    for (const char* text :
         {"abc.XY", "NOPE.XY", "ABC.QQ", "ABC", "ABC.", ".XY", ".ZZ", "ZZ", "", ".", "ABC.XY."}) {
        EXPECT_EQ(data.Resolver.Resolve(text), nullptr) << text;
        const SymbolInfo miss = Info(text);
        const std::size_t length = std::strlen(text) + 1;
        EXPECT_EQ(Bytes(&miss, sizeof miss), Poison(2) + text + Nul(1) + Poison(sizeof miss - 2 - length))
            << text;
    }
    EXPECT_FALSE(GetSymbolInfo(data.Resolver, "ABC.XY", nullptr));
    Guarded<SymbolInfo> g;
    EXPECT_FALSE(GetSymbolInfo(data.Resolver, nullptr, &g.Record));
    EXPECT_EQ(Bytes(&g, sizeof g), Poison(sizeof g));
}

TEST_F(SymbolQueries, GetSymbolInfoCutsALongCallersTextAt39BytesNeverSplittingAGbkCharacter) {
    EXPECT_EQ(Bytes(Info(std::string(60, 'T').c_str()).Symbol, 40), std::string(39, 'T') + '\0');
    // The double-byte character would take bytes 38 and 39; only 39 bytes fit.
    const std::string text = std::string(38, 'a') + "\xD6\xD0" + "bbbb.QQ";
    {
        const ScopedLocale gbk(kGbkLocale);
        ASSERT_TRUE(gbk.ok());
        EXPECT_EQ(Bytes(Info(text.c_str()).Symbol, 40), std::string(38, 'a') + '\0' + Poison(1));
        // The code part is matched as given, and upper-cased by the list query; its trail byte
        // 'a' must survive both.
        EXPECT_STREQ(Info((kTrailCode + ".xy").c_str()).Name, "Trail");
        const std::vector<SymbolInfo> records = Infos("\x81\x61x.xy");
        ASSERT_EQ(records.size(), 1u);
        EXPECT_STREQ(records[0].Name, "Trail");
    }
    const ScopedLocale c("C");
    const SymbolInfo info = Info(text.c_str());
    EXPECT_EQ(Bytes(info.Symbol, 40), std::string(38, 'a') + "\xD6" + '\0');
    EXPECT_EQ(Bytes(info.Name, 50), Poison(50));
    // Where 0x81 is a character of its own, its 'a' is upper-cased like any other.
    const std::vector<SymbolInfo> records = Infos("\x81\x61x.xy");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Bytes(&records[0], 12), std::string("\0\0\x81" "AX.XY", 8) + Nul(4));
}

TEST_F(SymbolQueries, GetSymbolInfosUpperCasesEachPieceFoundFirstZeroBehindTheTexts) {
    struct Case {
        const char* Text;
        Strings Symbols;
        std::size_t Found;  // the first records are found, the rest hold only their text
    };
    const Case cases[] = {
        {"ABC.XY,,NOPE.XY,ABC.XY", {"ABC.XY", "ABC.XY", "NOPE.XY"}, 2},
        {"abc.xy,a.b.xy,nope.xy", {"ABC.XY", "A.B.XY", "NOPE.XY"}, 2},
        {"abd.XY", {"ABD.XY"}, 0},  // only "abd" is stored in lower case: upper-cased it is not found
        {"LOW.lo", {"LOW.LO"}, 0},
        {"", {}, 0}, {",", {}, 0}, {",,,", {}, 0}, {nullptr, {}, 0},
        {"ZZ,XY,.ZZ", {".ZZ", ".ZZ", "XY"}, 2},  // no full stop: looked up as the blank code
        {"ABC.XY, ABC.XY,ABC.XY ", {"ABC.XY", " ABC.XY", "ABC.XY "}, 1},  // blanks are kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text == nullptr ? "null" : c.Text);
        const std::vector<SymbolInfo> records = Infos(c.Text);
        EXPECT_EQ(SymbolTexts(records), c.Symbols);
        for (std::size_t i = 0; i < records.size(); ++i)
            EXPECT_EQ(records[i].ExchangeId != 0, i < c.Found) << i;
    }
    const std::vector<SymbolInfo> records = Infos(("abc.xy,ZZ,nope.xy," + std::string(60, 'N')).c_str());
    ASSERT_EQ(records.size(), 4u);
    // The array was zeroed: nothing behind the terminators; an unresolved record holds only its
    // text, a long one cut to 39 bytes.
    EXPECT_EQ(Bytes(&records[0], 94),
              std::string("\1\0ABC.XY", 8) + Nul(34) + "Alpha Corp" + Nul(40) + "\1" + Nul(1));
    EXPECT_EQ(Bytes(&records[1], 94), std::string("\2\0.ZZ", 5) + Nul(37) + "Blank" + Nul(47));
    EXPECT_EQ(Bytes(&records[2], 94), Nul(2) + "NOPE.XY" + Nul(94 - 9));
    EXPECT_EQ(Bytes(&records[3], 94), Nul(2) + std::string(39, 'N') + Nul(53));
}

TEST_F(SymbolQueries, GetSymbolInfos2SortsLikeStricmpAndFiltersOnTheWhole32BitType) {
    const auto xy = [](Strings codes) {
        for (std::string& code : codes) code += ".XY";
        return codes;
    };
    const struct {
        std::int32_t Exchange, Type;
        Strings Symbols;
    } cases[] = {
        // _stricmp folds to lower case: '[' and '_' come before the letters, bytes above 0x7F after.
        {1, -1, xy({"[Q", "_U", "A.B", "ABC", "abd", "LONG", "Zeta", kTrailCode, "\xE9T"})},
        {1, 2, xy({"_U", "A.B"})}, {1, 1, {}}, {1, 65537, xy({"ABC"})}, {1, 12345, {}}, {3, -1, {"LOW.lo"}}};
    for (const auto& c : cases) EXPECT_EQ(SymbolTexts(Infos2(c.Exchange, c.Type)), c.Symbols) << c.Type;
    EXPECT_EQ(Infos2(1, 65537)[0].Type, 1);
    Infos2(99, -1, 0);
    Infos2(4464, -1, 0);  // the key is the number, not Id
    // The fields come from the entry as in the other queries; the Id is the low 16 bits of the
    // number asked for.
    const std::vector<SymbolInfo> wide = Infos2(70000, -1);
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(Bytes(&wide[0], 94),
              std::string("\x70\x11" "BIG.BG", 8) + Nul(34) + "Big one" + Nul(43) + "\x09" + Nul(1));
}

}  // namespace
}  // namespace tessary
