// FindSymbols and FindSymbolsInExchange: the exact-symbol shortcut, the scan, the key test, the
// ranked order, failures, and hostile fragments.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "symbols/reference_fixture.h"

namespace tessary::testing::search {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using namespace std::string_literals;

// SH (key 1): 600000, 600036, 000060; SZ (key 2): 000001, 300750 and one whose other text holds
// 600000.SH; HK (key 3): two symbols; EM (key 4): an empty table.
writer::DataDirectory Market() {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai"), writer::ExchangeType(2, "SZ", "Shenzhen"),
                         writer::ExchangeType(3, "HK", "Hong Kong"), writer::ExchangeType(4, "EM", "Empty")};
    d.LightTables["1"].Records = {MakeSymbol("600000", "Pudong Bank", "PUDONG BANK", "PF", "600"),
                                  MakeSymbol("600036", "Merchants Bank", "ZSYH", "ZS"),
                                  MakeSymbol("000060", "Index 60", "ZS60")};
    writer::LightRecord mirror = MakeSymbol("000002", "Mirror", "M");
    mirror.SearchText4 = "600000.SH";
    d.LightTables["2"].Records = {MakeSymbol("000001", "Ping An Bank", "PAYH", "PA"),
                                  MakeSymbol("300750", "Battery Tech", "NDSD"), mirror};
    d.LightTables["3"].Records = {MakeSymbol("00700", "Tencent", "TENCENT", "TX"),
                                  MakeSymbol("00005", "HSBC Holdings", "HSBC")};
    d.LightTables["4"].Records = {};
    return d;
}

class SymbolSearch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(db_.loaded()); }
    const SymbolDatabase& db() const { return db_.database; }
    LoadedDatabase db_{Market()};
};

// ---- the exact-symbol shortcut ----

TEST_F(SymbolSearch, WholeSymbolTextInAnyCaseGivesThatSymbolAlone) {
    // 000002.SZ also holds 600000.SH in a search text; the shortcut keeps it out.
    EXPECT_THAT(FindAll(db(), "600000.sh").Symbols(), ElementsAre("600000.SH"));
    EXPECT_THAT(FindIn(db(), "600000.sh", "1").Symbols(), ElementsAre("600000.SH"));
    // In another exchange the shortcut does not apply and the scan finds the mirror.
    EXPECT_THAT(FindIn(db(), "600000.sh", "2").Symbols(), ElementsAre("000002.SZ"));
}

TEST_F(SymbolSearch, PartOfSymbolTextIsScannedLikeAnyText) {
    // Search texts hold the bare code, not the Symbol text: only the mirror holds 600000.S.
    EXPECT_THAT(FindAll(db(), "600000.S").Symbols(), ElementsAre("000002.SZ"));
}

TEST_F(SymbolSearch, FramedTextSpanningTwoSymbolsPassesExactTestThenFailsToResolve) {
    // The code list holds 0x05 600000.SH 0x05 600036.SH 0x05, so the exact test passes, but the
    // text names no symbol: the whole search fails and stores nothing.
    const SearchOutcome outcome = FindAll(db(), "600000.SH\x05" "600036.SH");
    EXPECT_EQ(outcome.result, 0);
    EXPECT_FALSE(outcome.arrayStored);
    EXPECT_EQ(outcome.count, -7);
}

// ---- the scan and the key test ----

TEST_F(SymbolSearch, TextIsUpperCasedBeforeScanning) {
    EXPECT_THAT(FindAll(db(), "pudong").Symbols(), ElementsAre("600000.SH"));
    EXPECT_THAT(FindAll(db(), "Pudong").Symbols(), ElementsAre("600000.SH"));
}

TEST_F(SymbolSearch, EmptyTextFindsEverySymbolInKeyOrder) {
    const SearchOutcome all = FindAll(db(), "");
    ASSERT_EQ(all.result, 1);
    // Keys: 000001Ping An Bank < 000002Mirror < 00005HSBC Holdings < 000060Index 60 < ...
    EXPECT_THAT(all.Symbols(), ElementsAre("000001.SZ", "000002.SZ", "00005.HK", "000060.SH", "00700.HK",
                                           "300750.SZ", "600000.SH", "600036.SH"));
    EXPECT_EQ(all.count, 8);
    EXPECT_THAT(FindIn(db(), "", "3").Symbols(), ElementsAre("00005.HK", "00700.HK"));
}

TEST_F(SymbolSearch, SearchKeysMatchOnlyWholeAndOnlyWhenAsked) {
    // "ZS" is SearchKey1 of 600036 and a part of 000060's SearchText1 "ZS60".
    EXPECT_THAT(FindAll(db(), "zs", 0).Symbols(), UnorderedElementsAre("600036.SH", "000060.SH"));
    // "PA" is only a key of 000001; "P" is a part of it but no whole key.
    EXPECT_THAT(FindAll(db(), "pa", 0).Symbols(), ElementsAre("000001.SZ"));  // via PAYH
    EXPECT_THAT(FindAll(db(), "tx", 0).Symbols(), ElementsAre());
    EXPECT_THAT(FindAll(db(), "tx", 1).Symbols(), ElementsAre("00700.HK"));
    // Search texts are not upper-cased: "Merchants" holds no T.
    EXPECT_THAT(FindAll(db(), "t", 1).Symbols(), UnorderedElementsAre("300750.SZ", "00700.HK"));
}

TEST(SymbolSearchKeys, StoredCaseDecidesAndSubstringOfKeyIsNoKeyHit) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai")};
    d.LightTables["1"].Records = {MakeSymbol("1", "one", "", "", "AB"), MakeSymbol("2", "two", "", "", "ab"),
                                  MakeSymbol("3", "three", "", "ABC"), MakeSymbol("4", "four", "xAB")};
    LoadedDatabase db(d);
    ASSERT_TRUE(db.loaded());
    EXPECT_THAT(FindAll(db.database, "ab", 1).Symbols(), UnorderedElementsAre("1.SH", "4.SH"));
    EXPECT_THAT(FindAll(db.database, "ab", 0).Symbols(), ElementsAre("4.SH"));
    // A name holding ab (not AB) is never found by "ab".
    EXPECT_THAT(FindAll(db.database, "TWO").Symbols(), ElementsAre());
}

// ---- the order of the results ----

TEST(SymbolSearchOrder, RankIsFirstPositionInCodeAndNameElseKeyLength) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai")};
    // Keys: "000060x" (60 at 4), "600000y" (at 0), "ABC" (3 bytes, 60 only in a search text).
    d.LightTables["1"].Records = {MakeSymbol("000060", "x"), MakeSymbol("600000", "y"),
                                  MakeSymbol("A", "BC", "60")};
    LoadedDatabase db(d);
    ASSERT_TRUE(db.loaded());
    EXPECT_THAT(FindAll(db.database, "60").Symbols(), ElementsAre("600000.SH", "A.SH", "000060.SH"));
    EXPECT_EQ(db.rankText, "60");
}

TEST(SymbolSearchOrder, RankUsesTextAsTypedSoLowerCaseRanksByLength) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai")};
    // Both hold AB in SearchText1. Keys: "1abXYZW" holds "ab" at 1; "2ABQ" (4 bytes) does not.
    d.LightTables["1"].Records = {MakeSymbol("1", "abXYZW", "AB"), MakeSymbol("2", "ABQ", "AB")};
    LoadedDatabase db(d);
    ASSERT_TRUE(db.loaded());
    EXPECT_THAT(FindAll(db.database, "ab").Symbols(), ElementsAre("1.SH", "2.SH"));
    EXPECT_EQ(db.rankText, "ab");
    // Typed in upper case, the order turns: 2's key holds AB at 1, 1's key (7 bytes) none.
    EXPECT_THAT(FindAll(db.database, "AB").Symbols(), ElementsAre("2.SH", "1.SH"));
    EXPECT_EQ(db.rankText, "AB");
}

TEST(SymbolSearchOrder, EqualRanksFollowStricmpOfKeysWithDotOnlyCutWhenNotFirst) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai")};
    // Code ".5" gives ".5.SH", cut at its last dot: key ".5". No key holds "q", so every rank is
    // the key's length, 2. Underscore (0x5F) lies between the upper- and lower-case letters:
    // _stricmp, folding to lower case, puts it before every letter.
    d.LightTables["1"].Records = {MakeSymbol("b", "Z", "Q"), MakeSymbol("_", "z", "Q"),
                                  MakeSymbol("A", "z", "Q"), MakeSymbol(".5", "", "Q")};
    LoadedDatabase db(d);
    ASSERT_TRUE(db.loaded());
    EXPECT_THAT(FindAll(db.database, "q").Symbols(), ElementsAre(".5.SH", "_.SH", "A.SH", "b.SH"));
}

TEST(SymbolSearchOrder, TiesThatDifferOnlyInCaseComeOutTheSameEveryRun) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai")};
    d.LightTables["1"].Records = {MakeSymbol("ab", "", "Q"), MakeSymbol("AB", "", "Q"), MakeSymbol("Ab", "", "Q")};
    LoadedDatabase db(d);
    ASSERT_TRUE(db.loaded());
    const auto first = FindAll(db.database, "Q").Symbols();
    EXPECT_THAT(first, UnorderedElementsAre("ab.SH", "AB.SH", "Ab.SH"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(FindAll(db.database, "Q").Symbols(), first);
}

// ---- results, outputs and failures ----

TEST_F(SymbolSearch, RecordsAreFilledFromTheEntryAndZeroBehindTexts) {
    const SearchOutcome outcome = FindAll(db(), "tencent");
    ASSERT_EQ(outcome.records.size(), 1u);
    const SymbolInfo& r = outcome.records[0];
    EXPECT_EQ(r.ExchangeId, 3);
    EXPECT_EQ(r.Type, 1);
    EXPECT_STREQ(r.Name, "Tencent");
    for (std::size_t i = sizeof "00700.HK"; i < sizeof r.Symbol; ++i) EXPECT_EQ(r.Symbol[i], 0);
    for (std::size_t i = sizeof "Tencent"; i < sizeof r.Name; ++i) EXPECT_EQ(r.Name[i], 0);
}

TEST_F(SymbolSearch, NoHitStillHandsOutAnEmptyArray) {
    const SearchOutcome outcome = FindAll(db(), "NOTHING LIKE IT");
    EXPECT_EQ(outcome.result, 1);
    EXPECT_TRUE(outcome.arrayStored);
    EXPECT_EQ(outcome.count, 0);
}

TEST_F(SymbolSearch, NullCountIsAllowed) {
    SymbolInfo* array = nullptr;
    ASSERT_EQ(db().FindSymbols("bank", &array, nullptr, 0), 1);
    ASSERT_NE(array, nullptr);
    FreeResultArray(array);
}

TEST_F(SymbolSearch, ExchangeKeysAreTakenAsPassed) {
    EXPECT_EQ(FindIn(db(), "", "4").result, 1);
    EXPECT_EQ(FindIn(db(), "", "4").count, 0);
    for (const char* key : {"5", "01", " 1", ""}) {
        const SearchOutcome outcome = FindIn(db(), "", key);
        EXPECT_EQ(outcome.result, 0) << key;
        EXPECT_FALSE(outcome.arrayStored) << key;
        EXPECT_EQ(outcome.count, -7) << key;
    }
}

TEST_F(SymbolSearch, NullArgumentsAreRefused) {
    std::int32_t count = -7;
    SymbolInfo* array = nullptr;
    EXPECT_EQ(db().FindSymbols(nullptr, &array, &count, 0), 0);
    EXPECT_EQ(db().FindSymbols("a", nullptr, &count, 0), 0);
    EXPECT_EQ(db().FindSymbolsInExchange("a", nullptr, &array, &count, 0), 0);
    EXPECT_EQ(db().FindSymbolsInExchange(nullptr, "1", &array, &count, 0), 0);
    EXPECT_EQ(db().FindSymbolsInExchange("a", "1", nullptr, &count, 0), 0);
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(count, -7);
}

TEST(SymbolSearchFailure, HitInExchangeWithLowerCaseCodeFailsTheWholeSearch) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai"), writer::ExchangeType(2, "sz", "Shenzhen")};
    d.LightTables["1"].Records = {MakeSymbol("600000", "Pudong Bank", "PUDONG BANK")};
    d.LightTables["2"].Records = {MakeSymbol("000001", "Ping An Bank", "PING AN BANK")};
    LoadedDatabase db(d);
    ASSERT_TRUE(db.loaded());
    db.rankText = "before";
    const SearchOutcome bank = FindAll(db.database, "BANK");
    EXPECT_EQ(bank.result, 0);
    EXPECT_FALSE(bank.arrayStored);
    EXPECT_EQ(bank.count, -7);
    EXPECT_EQ(db.rankText, "before");
    // Searches whose hits all lie elsewhere are unaffected.
    EXPECT_THAT(FindAll(db.database, "PUDONG").Symbols(), ElementsAre("600000.SH"));
    EXPECT_EQ(FindIn(db.database, "PING", "2").result, 0);
    EXPECT_EQ(FindIn(db.database, "NOTHING", "2").result, 1);
}

TEST(SymbolSearchFailure, CodeStartingWithSeparatorMakesEmptyTextAnUnresolvableExactHit) {
    // The code list holds 0x05 0x05 A.SH 0x05: the framed empty text, so the exact test passes
    // for "" and the resolution of "" fails.
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai")};
    d.LightTables["1"].Records = {MakeSymbol("\x05" "A", "n"), MakeSymbol("B", "M")};
    LoadedDatabase db(d);
    ASSERT_TRUE(db.loaded());
    EXPECT_EQ(FindAll(db.database, "").result, 0);
    EXPECT_THAT(FindAll(db.database, "M").Symbols(), ElementsAre("B.SH"));
}

TEST(SymbolSearchFailure, SameExchangeCodeTwiceResolvesToTheLastExchange) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "First"), writer::ExchangeType(2, "SH", "Second")};
    d.LightTables["1"].Records = {MakeSymbol("A", "first a"), MakeSymbol("ONLY1", "x")};
    d.LightTables["2"].Records = {MakeSymbol("A", "second a")};
    LoadedDatabase db(d);
    ASSERT_TRUE(db.loaded());
    const SearchOutcome a = FindAll(db.database, "A.SH");
    ASSERT_EQ(a.records.size(), 1u);
    EXPECT_EQ(a.records[0].ExchangeId, 2);
    // Both "A" symbols are hits, and both resolve to exchange 2's entry.
    const SearchOutcome both = FindAll(db.database, "A\x05");
    ASSERT_EQ(both.records.size(), 2u);
    EXPECT_STREQ(both.records[0].Name, "second a");
    EXPECT_STREQ(both.records[1].Name, "second a");
    EXPECT_EQ(FindAll(db.database, "ONLY1").result, 0);  // exchange 1's own symbol is unreachable
}

// ---- hostile fragments ----

struct HostileCase {
    const char* label;
    std::string text;
    int expectedCount;  // -1: every symbol
};

TEST_F(SymbolSearch, HostileFragmentsGiveTheirDefinedResult) {
    const HostileCase cases[] = {
        {"one byte", "6", 4},
        {"separator alone, in every search text", "\x05", -1},
        {"separator joins code and name", "600036\x05m", 1},
        {"10,000 bytes", std::string(10000, 'A'), 0},
        {"10,000 separators", std::string(10000, '\x05'), 0},
        {"whole search text", "600000\x05Pudong Bank\x05PUDONG BANK\x05\x05\x05", 0},  // upper-cased: no
        {"invalid multibyte bytes", "\x81\xff\x80", 0},
        {"only a dot, held by one search text", ".", 1},
    };
    for (const HostileCase& c : cases) {
        const SearchOutcome outcome = FindAll(db(), c.text.c_str(), 1);
        EXPECT_EQ(outcome.result, 1) << c.label;
        EXPECT_EQ(outcome.count, c.expectedCount < 0 ? 8 : c.expectedCount) << c.label;
        EXPECT_EQ(db_.rankText, c.text) << c.label;
    }
}

TEST(SymbolSearchText, WholeSearchTextMatchesWhenStoredInUpperCase) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai")};
    d.LightTables["1"].Records = {MakeSymbol("A1", "NAME", "T")};
    LoadedDatabase db(d);
    ASSERT_TRUE(db.loaded());
    EXPECT_THAT(FindAll(db.database, "a1\x05name\x05t\x05\x05\x05").Symbols(), ElementsAre("A1.SH"));
    EXPECT_THAT(FindAll(db.database, "A1\x05NAME\x05T\x05\x05\x05\x05").Symbols(), ElementsAre());
}

// ---- double-byte text ----

// In GBK, 0x81 0x41 is one character whose second byte is the letter A.
writer::DataDirectory DoubleByteMarket() {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai")};
    d.LightTables["1"].Records = {MakeSymbol("1", "\x81" "A"), MakeSymbol("2", "\x81" "AAB"),
                                  MakeSymbol("3", "\x81" "a"), MakeSymbol("4", "ZA")};
    return d;
}

TEST(SymbolSearchDoubleByte, MatchNeverStartsOnTrailByte) {
    ScopedLocale locale(kGbkLocale);
    ASSERT_TRUE(locale.ok());
    LoadedDatabase db(DoubleByteMarket());
    ASSERT_TRUE(db.loaded());
    // 1's only A is a trail byte; 2's first is, its second is not: the scan goes on after a
    // rejected candidate within the same text.
    EXPECT_THAT(FindAll(db.database, "A").Symbols(), ElementsAre("4.SH", "2.SH"));
    EXPECT_THAT(FindAll(db.database, "AB").Symbols(), ElementsAre("2.SH"));
    // Upper-casing leaves the double-byte character 0x81 0x61 alone.
    EXPECT_THAT(FindAll(db.database, "\x81" "a").Symbols(), ElementsAre("3.SH"));
}

// Keys "5\x81" "AxxA" (A on a trail byte at 2, as a character at 5) and "6xxA" (A at 3).
writer::DataDirectory TrailByteRanks() {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai")};
    d.LightTables["1"].Records = {MakeSymbol("5", "\x81" "AxxA"), MakeSymbol("6", "xxA")};
    return d;
}

TEST(SymbolSearchDoubleByte, RankSkipsOccurrencesOnTrailBytes) {
    {
        ScopedLocale locale(kGbkLocale);
        ASSERT_TRUE(locale.ok());
        LoadedDatabase db(TrailByteRanks());
        ASSERT_TRUE(db.loaded());
        EXPECT_THAT(FindAll(db.database, "A").Symbols(), ElementsAre("6.SH", "5.SH"));
    }
    ScopedLocale locale("C");
    LoadedDatabase db(TrailByteRanks());
    ASSERT_TRUE(db.loaded());
    EXPECT_THAT(FindAll(db.database, "A").Symbols(), ElementsAre("5.SH", "6.SH"));
}

TEST(SymbolSearchDoubleByte, SingleByteLocaleSeesEveryByte) {
    ScopedLocale locale("C");
    ASSERT_TRUE(locale.ok());
    LoadedDatabase db(DoubleByteMarket());
    ASSERT_TRUE(db.loaded());
    // Keys "1\x81A" and "2\x81AAB" hold A at 2, "4ZA" too; ties go by byte: '1' < '2' < '4'.
    EXPECT_THAT(FindAll(db.database, "A").Symbols(), ElementsAre("1.SH", "2.SH", "4.SH"));
    // Here 0x81 is a character of its own and the a after it is upper-cased.
    EXPECT_THAT(FindAll(db.database, "\x81" "a").Symbols(), ElementsAre("1.SH", "2.SH"));
}

}  // namespace
}  // namespace tessary::testing::search
