// ResolveSymbol and the three symbol information queries, checked down to the bytes of the
// SymbolInfo records they write.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/result_array.h"
#include "frame/symbol_database.h"
#include "support/test_support.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::kGbkLocale;
using testing::ScopedLocale;
using testing::TempDir;
using writer::ExchangeType;
using writer::MakeLightRecord;

const std::string kLongName(49, 'L');     // fills the Light Name field: no terminator
const std::string kTrailCode = "\x81\x61X";  // a GBK character whose trail byte is 'a', then X

// One SymbolInfo with guard bytes behind it, all poisoned, to see exactly which bytes a call
// writes.
struct GuardedInfo {
    SymbolInfo Info;
    unsigned char Guard[64];
};
static_assert(offsetof(GuardedInfo, Guard) == sizeof(SymbolInfo));
constexpr unsigned char kPoison = 0xCC;

std::string Bytes(const void* p, std::size_t n) { return std::string(static_cast<const char*>(p), n); }
std::string Poison(std::size_t n) { return std::string(n, static_cast<char>(kPoison)); }
std::string Nul(std::size_t n) { return std::string(n, '\0'); }

class SymbolQueries : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        writer::DataDirectory data;
        data.Directory.Types = {ExchangeType(1, "XY", "One"), ExchangeType(2, "ZZ", "Two"),
                                ExchangeType(3, "lo", "Lower"), ExchangeType(5, "DU", "Dup A"),
                                ExchangeType(6, "DU", "Dup B"), ExchangeType(70000, "BG", "Big")};
        data.LightTables["1"].Records = {MakeLightRecord("ABC", "Alpha Corp", 65537),
                                         MakeLightRecord("A.B", "Dotted", 2),
                                         MakeLightRecord("_U", "Under", 2),
                                         MakeLightRecord("abd", "", 3),
                                         MakeLightRecord("Zeta", "Z", 3),
                                         MakeLightRecord("[Q", "Bracket"),
                                         MakeLightRecord("\xE9T", "High"),
                                         MakeLightRecord(kTrailCode, "Trail"),
                                         MakeLightRecord("LONG", kLongName)};
        data.LightTables["2"].Records = {MakeLightRecord("", "Blank"), MakeLightRecord("Q1", "Queue")};
        data.LightTables["3"].Records = {MakeLightRecord("LOW", "Low")};
        data.LightTables["5"].Records = {MakeLightRecord("DUP", "In five"), MakeLightRecord("ONLY5", "Only five")};
        data.LightTables["6"].Records = {MakeLightRecord("DUP", "In six")};
        data.LightTables["70000"].Records = {MakeLightRecord("BIG", "Big one", 9)};
        writer::WriteDataDirectory(dir_->path(), data);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    SymbolQueries() {
        db.BasePath = dir_->path();
        EXPECT_EQ(db.LoadDirectory(), 1);
        EXPECT_EQ(db.LoadSymbolTables(), 1);
    }
    ~SymbolQueries() override {
        for (void* block : blocks_) FreeResultArray(block);
    }

    // GetSymbolInfo into a poisoned, guarded record.
    GuardedInfo Info(const char* symbol, int expected = 1) {
        GuardedInfo g;
        std::memset(&g, kPoison, sizeof g);
        EXPECT_EQ(db.GetSymbolInfo(symbol, &g.Info), expected) << symbol;
        EXPECT_EQ(Bytes(g.Guard, sizeof g.Guard), Poison(sizeof g.Guard)) << "written beyond the record";
        return g;
    }
    std::vector<SymbolInfo> Infos(const char* symbols) {
        SymbolInfo* infos = nullptr;
        std::int32_t count = -1;
        EXPECT_EQ(db.GetSymbolInfos(symbols, &infos, &count), 1);
        EXPECT_NE(infos, nullptr);
        blocks_.push_back(infos);
        return std::vector<SymbolInfo>(infos, infos + (count < 0 ? 0 : count));
    }
    std::vector<SymbolInfo> Infos2(std::int32_t exchangeId, std::int32_t type) {
        SymbolInfo* infos = nullptr;
        std::int32_t count = -1;
        EXPECT_EQ(db.GetSymbolInfos2(exchangeId, type, &infos, &count), 1);
        EXPECT_NE(infos, nullptr);
        blocks_.push_back(infos);
        return std::vector<SymbolInfo>(infos, infos + (count < 0 ? 0 : count));
    }
    static std::vector<std::string> Symbols(const std::vector<SymbolInfo>& records) {
        std::vector<std::string> symbols;
        for (const SymbolInfo& r : records) symbols.emplace_back(r.Symbol);
        return symbols;
    }

    SymbolDatabase db;

private:
    static TempDir* dir_;
    std::vector<void*> blocks_;
};

TempDir* SymbolQueries::dir_ = nullptr;

// ---- ResolveSymbol ----

TEST_F(SymbolQueries, ResolveSymbolMatchesCodeExactlyAndExchangeInUpperCase) {
    ASSERT_NE(db.ResolveSymbol("ABC.XY"), nullptr);
    EXPECT_EQ(db.ResolveSymbol("ABC.xy"), db.ResolveSymbol("ABC.XY"));
    EXPECT_EQ(db.ResolveSymbol("abc.XY"), nullptr);
    EXPECT_EQ(db.ResolveSymbol("abd.XY")->Type, 3);
    ASSERT_NE(db.ResolveSymbol("A.B.XY"), nullptr);
    EXPECT_EQ(db.ResolveSymbol("A.B.XY")->Name(), "Dotted");
}

TEST_F(SymbolQueries, ResolveSymbolRejectsEmptyParts) {
    for (const char* text : {"", ".", "ABC", "ABC.", ".XY", ".ZZ", "ZZ", "ABC.XY."})
        EXPECT_EQ(db.ResolveSymbol(text), nullptr) << text;
}

TEST_F(SymbolQueries, LowerCaseExchangeCodeIsNeverMatched) {
    EXPECT_EQ(db.ResolveSymbol("LOW.lo"), nullptr);
    EXPECT_EQ(db.ResolveSymbol("LOW.LO"), nullptr);
    EXPECT_EQ(Symbols(Infos("LOW.lo")), (std::vector<std::string>{"LOW.LO"}));
    EXPECT_EQ(Infos("LOW.lo")[0].ExchangeId, 0);
}

TEST_F(SymbolQueries, TheLastExchangeWithACodeIsChosen) {
    // Exchanges 5 and 6 share DU; 6 is visited last, so 5's symbols are out of reach.
    const SymbolEntry* dup = db.ResolveSymbol("DUP.DU");
    ASSERT_NE(dup, nullptr);
    EXPECT_EQ(dup->ExchangeId, 6);
    EXPECT_EQ(db.ResolveSymbol("ONLY5.DU"), nullptr);
}

// ---- GetSymbolInfo ----

TEST_F(SymbolQueries, GetSymbolInfoWritesTheFourFieldsAndNothingBehindTheTerminators) {
    const GuardedInfo g = Info("ABC.xy");
    const auto* b = reinterpret_cast<const unsigned char*>(&g.Info);
    EXPECT_EQ(Bytes(b + 0, 2), std::string("\1\0", 2));  // ExchangeId 1
    EXPECT_EQ(Bytes(b + 2, 40), std::string("ABC.XY\0", 7) + Poison(33));
    EXPECT_EQ(Bytes(b + 42, 50), std::string("Alpha Corp\0", 11) + Poison(39));
    EXPECT_EQ(Bytes(b + 92, 2), std::string("\1\0", 2));  // Type 65537 reported as 1
}

TEST_F(SymbolQueries, GetSymbolInfoNotFoundCopiesTheCallersTextOnly) {
    for (const char* text : {"abc.XY", "NOPE.XY", "ABC.QQ", "ABC", "ABC.", ".XY", ".ZZ", "ZZ", ""}) {
        const GuardedInfo g = Info(text);
        const std::string expected = std::string(text) + '\0';
        EXPECT_EQ(Bytes(g.Info.Symbol, expected.size()), expected) << text;
        EXPECT_EQ(Bytes(g.Info.Symbol + expected.size(), 40 - expected.size()), Poison(40 - expected.size())) << text;
        EXPECT_EQ(g.Info.ExchangeId, 0xCCCC) << text;
        EXPECT_EQ(Bytes(g.Info.Name, 50), Poison(50)) << text;
        EXPECT_EQ(g.Info.Type, 0xCCCC) << text;
    }
}

TEST_F(SymbolQueries, GetSymbolInfoFindsCodesContainingAFullStop) {
    const GuardedInfo g = Info("A.B.xy");
    EXPECT_STREQ(g.Info.Symbol, "A.B.XY");
    EXPECT_STREQ(g.Info.Name, "Dotted");
    EXPECT_EQ(g.Info.Type, 2);
}

TEST_F(SymbolQueries, GetSymbolInfoCutsALongCallersTextAt39Bytes) {
    const std::string text(60, 'T');
    const GuardedInfo g = Info(text.c_str());
    EXPECT_EQ(Bytes(g.Info.Symbol, 40), std::string(39, 'T') + '\0');
    EXPECT_EQ(Bytes(g.Info.Name, 50), Poison(50));
}

TEST_F(SymbolQueries, GetSymbolInfoCutNeverSplitsAGbkCharacter) {
    // The double-byte character would take bytes 38 and 39; only 39 bytes fit.
    const std::string text = std::string(38, 'a') + "\xD6\xD0" + "bbbb.QQ";
    {
        const ScopedLocale gbk(kGbkLocale);
        ASSERT_TRUE(gbk.ok());
        const GuardedInfo g = Info(text.c_str());
        EXPECT_EQ(Bytes(g.Info.Symbol, 40), std::string(38, 'a') + '\0' + Poison(1));
    }
    {
        const ScopedLocale c("C");
        const GuardedInfo g = Info(text.c_str());
        EXPECT_EQ(Bytes(g.Info.Symbol, 40), std::string(38, 'a') + "\xD6" + '\0');
    }
}

TEST_F(SymbolQueries, GetSymbolInfoNameOf49BytesGetsItsTerminator) {
    const GuardedInfo g = Info("LONG.XY");
    EXPECT_EQ(Bytes(g.Info.Name, 50), kLongName + '\0');
    EXPECT_EQ(g.Info.Type, 0);
}

TEST_F(SymbolQueries, GetSymbolInfoWithoutARecordFails) {
    EXPECT_EQ(db.GetSymbolInfo("ABC.XY", nullptr), 0);
    SymbolInfo info;
    std::memset(&info, kPoison, sizeof info);
    EXPECT_EQ(db.GetSymbolInfo(nullptr, &info), 0);
    EXPECT_EQ(Bytes(&info, sizeof info), Poison(sizeof info));
}

TEST_F(SymbolQueries, GetSymbolInfoUpperCasesOnlyTheExchangePartInGbk) {
    const ScopedLocale gbk(kGbkLocale);
    ASSERT_TRUE(gbk.ok());
    // The code part is matched as given; its trail byte 'a' must survive.
    EXPECT_STREQ(Info((kTrailCode + ".xy").c_str()).Info.Name, "Trail");
}

// ---- GetSymbolInfos ----

TEST_F(SymbolQueries, GetSymbolInfosPutsFoundRecordsFirst) {
    const std::vector<SymbolInfo> records = Infos("ABC.XY,,NOPE.XY,ABC.XY");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(Symbols(records), (std::vector<std::string>{"ABC.XY", "ABC.XY", "NOPE.XY"}));
    for (int i : {0, 1}) {
        EXPECT_EQ(records[i].ExchangeId, 1);
        EXPECT_EQ(records[i].Type, 1);
        EXPECT_STREQ(records[i].Name, "Alpha Corp");
        // The array was zeroed: nothing behind the terminators.
        EXPECT_EQ(Bytes(records[i].Symbol, 40), "ABC.XY" + Nul(34));
        EXPECT_EQ(Bytes(records[i].Name, 50), "Alpha Corp" + Nul(40));
    }
    // An unresolved record holds only its text.
    EXPECT_EQ(Bytes(&records[2], sizeof(SymbolInfo)), Nul(2) + "NOPE.XY" + Nul(94 - 9));
}

TEST_F(SymbolQueries, GetSymbolInfosUpperCasesTheWholeText) {
    const std::vector<SymbolInfo> records = Infos("abc.xy,a.b.xy,nope.xy");
    EXPECT_EQ(Symbols(records), (std::vector<std::string>{"ABC.XY", "A.B.XY", "NOPE.XY"}));
    // Only "abd" is stored in lower case; upper-cased it is not found.
    EXPECT_EQ(Symbols(Infos("abd.XY")), (std::vector<std::string>{"ABD.XY"}));
    EXPECT_EQ(Infos("abd.XY")[0].ExchangeId, 0);
}

TEST_F(SymbolQueries, GetSymbolInfosWithNothingToLookUp) {
    for (const char* text : {"", ",", ",,,"}) {
        SymbolInfo* infos = nullptr;
        std::int32_t count = -1;
        ASSERT_EQ(db.GetSymbolInfos(text, &infos, &count), 1) << text;
        EXPECT_NE(infos, nullptr);
        EXPECT_EQ(count, 0);
        FreeResultArray(infos);
    }
    SymbolInfo* infos = nullptr;
    std::int32_t count = -1;
    ASSERT_EQ(db.GetSymbolInfos(nullptr, &infos, &count), 1);
    EXPECT_EQ(count, 0);
    FreeResultArray(infos);
}

TEST_F(SymbolQueries, GetSymbolInfosLooksUpPiecesWithoutAFullStopAsTheBlankCode) {
    const std::vector<SymbolInfo> records = Infos("ZZ,XY,.ZZ");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(Symbols(records), (std::vector<std::string>{".ZZ", ".ZZ", "XY"}));
    EXPECT_STREQ(records[0].Name, "Blank");
    EXPECT_EQ(records[0].ExchangeId, 2);
    EXPECT_EQ(records[2].ExchangeId, 0);
}

TEST_F(SymbolQueries, GetSymbolInfosKeepsBlanksInPieces) {
    EXPECT_EQ(Symbols(Infos("ABC.XY, ABC.XY,ABC.XY ")),
              (std::vector<std::string>{"ABC.XY", " ABC.XY", "ABC.XY "}));
}

TEST_F(SymbolQueries, GetSymbolInfosNullCountAndLongPieces) {
    SymbolInfo* infos = nullptr;
    const std::string text = "Q1.ZZ," + std::string(60, 'N');
    ASSERT_EQ(db.GetSymbolInfos(text.c_str(), &infos, nullptr), 1);
    EXPECT_STREQ(infos[0].Name, "Queue");
    EXPECT_EQ(Bytes(infos[1].Symbol, 40), std::string(39, 'N') + '\0');
    EXPECT_EQ(Bytes(infos[1].Name, 50), Nul(50));
    FreeResultArray(infos);
}

TEST_F(SymbolQueries, GetSymbolInfosUpperCasingKeepsGbkTrailBytes) {
    const std::string text = "\x81\x61x.xy";
    {
        const ScopedLocale gbk(kGbkLocale);
        ASSERT_TRUE(gbk.ok());
        const std::vector<SymbolInfo> records = Infos(text.c_str());
        ASSERT_EQ(records.size(), 1u);
        EXPECT_STREQ(records[0].Name, "Trail");
    }
    {
        // Where 0x81 is a character of its own, its 'a' is upper-cased like any other.
        const ScopedLocale c("C");
        const std::vector<SymbolInfo> records = Infos(text.c_str());
        ASSERT_EQ(records.size(), 1u);
        EXPECT_STREQ(records[0].Symbol, "\x81" "AX.XY");
        EXPECT_EQ(records[0].ExchangeId, 0);
    }
}

// ---- GetSymbolInfos2 ----

TEST_F(SymbolQueries, GetSymbolInfos2ListsAllTypesSortedLikeStricmp) {
    // _stricmp folds to lower case: '[' and '_' come before the letters, bytes above 0x7F
    // after them.
    EXPECT_EQ(Symbols(Infos2(1, -1)),
              (std::vector<std::string>{"[Q.XY", "_U.XY", "A.B.XY", "ABC.XY", "abd.XY", "LONG.XY", "Zeta.XY",
                                        kTrailCode + ".XY", "\xE9T.XY"}));
}

TEST_F(SymbolQueries, GetSymbolInfos2FiltersOnTheWhole32BitType) {
    EXPECT_EQ(Symbols(Infos2(1, 2)), (std::vector<std::string>{"_U.XY", "A.B.XY"}));
    EXPECT_TRUE(Infos2(1, 1).empty());
    const std::vector<SymbolInfo> wide = Infos2(1, 65537);
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_STREQ(wide[0].Symbol, "ABC.XY");
    EXPECT_EQ(wide[0].Type, 1);
    EXPECT_TRUE(Infos2(1, 12345).empty());
}

TEST_F(SymbolQueries, GetSymbolInfos2RecordBytes) {
    const std::vector<SymbolInfo> records = Infos2(2, -1);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(Bytes(&records[0], sizeof(SymbolInfo)), std::string("\2\0.ZZ", 5) + Nul(37) + "Blank" + Nul(47));
    EXPECT_EQ(Bytes(&records[1], sizeof(SymbolInfo)), std::string("\2\0Q1.ZZ", 7) + Nul(35) + "Queue" + Nul(47));
}

TEST_F(SymbolQueries, GetSymbolInfos2ExchangeIdOfAWideNumber) {
    const std::vector<SymbolInfo> records = Infos2(70000, -1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].ExchangeId, 4464);
    EXPECT_EQ(records[0].Type, 9);
}

TEST_F(SymbolQueries, GetSymbolInfos2UnknownExchangeFailsAndWritesNothing) {
    auto* const poison = reinterpret_cast<SymbolInfo*>(std::uintptr_t{0x1234});
    SymbolInfo* infos = poison;
    std::int32_t count = -7;
    EXPECT_EQ(db.GetSymbolInfos2(99, -1, &infos, &count), 0);
    EXPECT_EQ(db.GetSymbolInfos2(4464, -1, &infos, &count), 0);  // the key is the number, not Id
    EXPECT_EQ(infos, poison);
    EXPECT_EQ(count, -7);
}

TEST_F(SymbolQueries, GetSymbolInfos2NullCount) {
    SymbolInfo* infos = nullptr;
    ASSERT_EQ(db.GetSymbolInfos2(3, -1, &infos, nullptr), 1);
    EXPECT_STREQ(infos[0].Symbol, "LOW.lo");
    FreeResultArray(infos);
}

}  // namespace
}  // namespace tessary
