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
    const LoadedData& db() const { return db_.data; }
    LoadedDatabase db_{Market()};
};

// Each search's hits, in their order, in the market above.
TEST_F(SymbolSearch, FindsWhatTheRulesSay) {
    const struct {
        const char* label;
        std::string text;
        const char* exchange;  // NULL: every exchange
        int keys;
        std::vector<std::string> expected;
    } cases[] = {
        // 000002.SZ also holds 600000.SH in a search text; the exact-symbol shortcut keeps it out.
        {"whole symbol text in any case", "600000.sh", nullptr, 0, {"600000.SH"}},
        {"whole symbol text in its exchange", "600000.sh", "1", 0, {"600000.SH"}},
        {"in another exchange the shortcut does not apply", "600000.sh", "2", 0, {"000002.SZ"}},
        {"search texts hold the bare code: only the mirror holds 600000.S", "600000.S", nullptr, 0,
         {"000002.SZ"}},
        {"text upper-cased before scanning", "pudong", nullptr, 0, {"600000.SH"}},
        {"text upper-cased before scanning, mixed case", "Pudong", nullptr, 0, {"600000.SH"}},
        // Keys: 000001Ping An Bank < 000002Mirror < 00005HSBC Holdings < 000060Index 60 < ...
        {"empty text finds every symbol in key order", "", nullptr, 0,
         {"000001.SZ", "000002.SZ", "00005.HK", "000060.SH", "00700.HK", "300750.SZ", "600000.SH",
          "600036.SH"}},
        {"empty text in one exchange", "", "3", 0, {"00005.HK", "00700.HK"}},
        {"an empty table", "", "4", 0, {}},
        {"no hit still hands out an empty array", "NOTHING LIKE IT", nullptr, 0, {}},
        // Ranks are key lengths here: "000060Index 60" is shorter than "600036Merchants Bank".
        {"ZS: a key of 600036 and part of 000060's text ZS60", "zs", nullptr, 0, {"000060.SH", "600036.SH"}},
        {"PA: a key of 000001 and part of its text PAYH", "pa", nullptr, 0, {"000001.SZ"}},
        {"TX: a key only, keys not asked for", "tx", nullptr, 0, {}},
        {"TX: a key only, keys asked for", "tx", nullptr, 1, {"00700.HK"}},
        // Search texts are not upper-cased: "Merchants" holds no T. Ranks: t at 8 and at 11.
        {"T in texts as stored", "t", nullptr, 1, {"300750.SZ", "00700.HK"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const SearchOutcome outcome = c.exchange == nullptr ? FindAll(db(), c.text.c_str(), c.keys)
                                                            : FindIn(db(), c.text.c_str(), c.exchange, c.keys);
        EXPECT_EQ(outcome.result, 1);
        EXPECT_TRUE(outcome.arrayStored);
        EXPECT_EQ(outcome.count, static_cast<std::int32_t>(c.expected.size()));
        EXPECT_EQ(outcome.Symbols(), c.expected);
    }
}

TEST_F(SymbolSearch, FramedTextSpanningTwoSymbolsPassesExactTestThenFailsToResolve) {
    // The code list holds 0x05 600000.SH 0x05 600036.SH 0x05, so the exact test passes, but the
    // text names no symbol: the whole search fails and stores nothing.
    EXPECT_TRUE(FindAll(db(), "600000.SH\x05" "600036.SH").FailedCleanly());
}

// ---- results, outputs and failures ----

TEST_F(SymbolSearch, RecordsAreFilledFromTheEntryAndZeroBehindTexts) {
    const SearchOutcome outcome = FindAll(db(), "tencent");
    ASSERT_EQ(outcome.records.size(), 1u);
    const SymbolInfo& r = outcome.records[0];
    EXPECT_EQ(r.ExchangeId, 3);
    EXPECT_EQ(r.Type, 1);
    EXPECT_EQ(Bytes(r.Symbol, sizeof r.Symbol), "00700.HK" + Nul(sizeof r.Symbol - 8));
    EXPECT_EQ(Bytes(r.Name, sizeof r.Name), "Tencent" + Nul(sizeof r.Name - 7));
}

TEST_F(SymbolSearch, NullCountIsAllowed) {
    SymbolInfo* array = nullptr;
    ASSERT_TRUE(FindSymbols(db().Index, db().Resolver, "bank", &array, nullptr, false));
    ASSERT_NE(array, nullptr);
    FreeResultArray(array);
}

TEST_F(SymbolSearch, ExchangeKeysAreTakenAsPassed) {
    for (const char* key : {"5", "01", " 1", ""}) EXPECT_TRUE(FindIn(db(), "", key).FailedCleanly()) << key;
}

TEST_F(SymbolSearch, NullArgumentsAreRefused) {
    std::int32_t count = -7;
    SymbolInfo* array = nullptr;
    EXPECT_FALSE(FindSymbols(db().Index, db().Resolver, nullptr, &array, &count, false));
    EXPECT_FALSE(FindSymbols(db().Index, db().Resolver, "a", nullptr, &count, false));
    EXPECT_FALSE(FindSymbolsInExchange(db().Index, db().Resolver, "a", nullptr, &array, &count, false));
    EXPECT_FALSE(FindSymbolsInExchange(db().Index, db().Resolver, nullptr, "1", &array, &count, false));
    EXPECT_FALSE(FindSymbolsInExchange(db().Index, db().Resolver, "a", "1", nullptr, &count, false));
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(count, -7);
}

TEST(SymbolSearchFailure, HitInExchangeWithLowerCaseCodeFailsTheWholeSearch) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai"), writer::ExchangeType(2, "sz", "Shenzhen")};
    d.LightTables["1"].Records = {MakeSymbol("600000", "Pudong Bank", "PUDONG BANK")};
    d.LightTables["2"].Records = {MakeSymbol("000001", "Ping An Bank", "PING AN BANK")};
    LoadedDatabase db(d);
    EXPECT_TRUE(FindAll(db.data, "BANK").FailedCleanly());
    // Searches whose hits all lie elsewhere are unaffected.
    EXPECT_THAT(FindAll(db.data, "PUDONG").Symbols(), ElementsAre("600000.SH"));
    EXPECT_EQ(FindIn(db.data, "PING", "2").result, 0);
    EXPECT_EQ(FindIn(db.data, "NOTHING", "2").result, 1);
}

TEST(SymbolSearchFailure, CodeStartingWithSeparatorMakesEmptyTextAnUnresolvableExactHit) {
    // The code list holds 0x05 0x05 A.SH 0x05: the framed empty text, so the exact test passes
    // for "" and the resolution of "" fails.
    LoadedDatabase db(OneExchange({MakeSymbol("\x05" "A", "n"), MakeSymbol("B", "M")}));
    EXPECT_EQ(FindAll(db.data, "").result, 0);
    EXPECT_THAT(FindAll(db.data, "M").Symbols(), ElementsAre("B.SH"));
}

TEST(SymbolSearchFailure, SameExchangeCodeTwiceResolvesToTheLastExchange) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "First"), writer::ExchangeType(2, "SH", "Second")};
    d.LightTables["1"].Records = {MakeSymbol("A", "first a"), MakeSymbol("ONLY1", "x")};
    d.LightTables["2"].Records = {MakeSymbol("A", "second a")};
    LoadedDatabase db(d);
    const SearchOutcome a = FindAll(db.data, "A.SH");
    ASSERT_EQ(a.records.size(), 1u);
    EXPECT_EQ(a.records[0].ExchangeId, 2);
    // Both "A" symbols are hits, and both resolve to exchange 2's entry.
    const SearchOutcome both = FindAll(db.data, "A\x05");
    ASSERT_EQ(both.records.size(), 2u);
    EXPECT_STREQ(both.records[0].Name, "second a");
    EXPECT_STREQ(both.records[1].Name, "second a");
    EXPECT_EQ(FindAll(db.data, "ONLY1").result, 0);  // exchange 1's own symbol is unreachable
}

// ---- hostile fragments ----

TEST_F(SymbolSearch, HostileFragmentsGiveTheirDefinedResult) {
    const struct {
        const char* label;
        std::string text;
        int expectedCount;  // -1: every symbol
    } cases[] = {
        {"one byte", "6", 4},
        {"separator alone, in every search text", "\x05", -1},
        {"separator joins code and name", "600036\x05m", 1},
        {"10,000 bytes", std::string(10000, 'A'), 0},
        {"10,000 separators", std::string(10000, '\x05'), 0},
        {"whole search text", "600000\x05Pudong Bank\x05PUDONG BANK\x05\x05\x05", 0},  // upper-cased: no
        {"invalid multibyte bytes", "\x81\xff\x80", 0},
        {"only a dot, held by one search text", ".", 1},
    };
    for (const auto& c : cases) {
        const SearchOutcome outcome = FindAll(db(), c.text.c_str(), 1);
        EXPECT_EQ(outcome.result, 1) << c.label;
        EXPECT_EQ(outcome.count, c.expectedCount < 0 ? 8 : c.expectedCount) << c.label;
    }
}

// ---- small tables, in both kinds of locale ----

std::vector<writer::LightRecord> KeyRecords() {
    return {MakeSymbol("1", "one", "", "", "AB"), MakeSymbol("2", "two", "", "", "ab"),
            MakeSymbol("3", "three", "", "ABC"), MakeSymbol("4", "four", "xAB")};
}

// In GBK, 0x81 0x41 is one character whose second byte is the letter A.
std::vector<writer::LightRecord> DoubleByteRecords() {
    return {MakeSymbol("1", "\x81" "A"), MakeSymbol("2", "\x81" "AAB"), MakeSymbol("3", "\x81" "a"),
            MakeSymbol("4", "ZA")};
}

// Keys "5\x81" "AxxA" (A on a trail byte at 2, as a character at 5) and "6xxA" (A at 3).
std::vector<writer::LightRecord> TrailByteRanks() {
    return {MakeSymbol("5", "\x81" "AxxA"), MakeSymbol("6", "xxA")};
}

TEST(SymbolSearchOneTable, HitsAndTheirOrder) {
    const struct {
        const char* label;
        const char* locale;
        std::vector<writer::LightRecord> records;
        std::string text;
        int keys;
        std::vector<std::string> expected;
    } cases[] = {
        // ---- keys: the stored case decides, and a part of a key is no key hit ----
        {"keys asked for", "C", KeyRecords(), "ab", 1, {"1.SH", "4.SH"}},
        {"keys not asked for", "C", KeyRecords(), "ab", 0, {"4.SH"}},
        {"a name holding ab (not AB) is never found by ab", "C", KeyRecords(), "TWO", 0, {}},
        // ---- rank: the first position in code and name, else the key's length ----
        // Keys: "000060x" (60 at 4), "600000y" (at 0), "ABC" (3 bytes, 60 only in a search text).
        {"rank by position or length", "C",
         {MakeSymbol("000060", "x"), MakeSymbol("600000", "y"), MakeSymbol("A", "BC", "60")}, "60", 0,
         {"600000.SH", "A.SH", "000060.SH"}},
        // Both hold AB in SearchText1. Keys: "1abXYZW" holds "ab" at 1; "2ABQ" (4 bytes) does not.
        {"rank uses the text as typed", "C", {MakeSymbol("1", "abXYZW", "AB"), MakeSymbol("2", "ABQ", "AB")},
         "ab", 0, {"1.SH", "2.SH"}},
        // Typed in upper case, the order turns: 2's key holds AB at 1, 1's key (7 bytes) none.
        {"rank uses the text as typed, upper case", "C",
         {MakeSymbol("1", "abXYZW", "AB"), MakeSymbol("2", "ABQ", "AB")}, "AB", 0, {"2.SH", "1.SH"}},
        // Code ".5" gives ".5.SH", cut at its last dot: key ".5". No key holds "q", so every rank
        // is the key's length, 2. Underscore (0x5F) lies between the upper- and lower-case
        // letters: _stricmp, folding to lower case, puts it before every letter.
        {"equal ranks by _stricmp of keys, dot cut only when not first", "C",
         {MakeSymbol("b", "Z", "Q"), MakeSymbol("_", "z", "Q"), MakeSymbol("A", "z", "Q"),
          MakeSymbol(".5", "", "Q")},
         "q", 0, {".5.SH", "_.SH", "A.SH", "b.SH"}},
        // ---- a whole search text matches when stored in upper case ----
        {"whole search text", "C", {MakeSymbol("A1", "NAME", "T")}, "a1\x05name\x05t\x05\x05\x05", 0,
         {"A1.SH"}},
        {"whole search text and one separator more", "C", {MakeSymbol("A1", "NAME", "T")},
         "A1\x05NAME\x05T\x05\x05\x05\x05", 0, {}},
        // ---- double-byte text ----
        // 1's only A is a trail byte; 2's first is, its second is not: the scan goes on after a
        // rejected candidate within the same text.
        {"a match never starts on a trail byte", kGbkLocale, DoubleByteRecords(), "A", 0, {"4.SH", "2.SH"}},
        {"a match never starts on a trail byte, two letters", kGbkLocale, DoubleByteRecords(), "AB", 0,
         {"2.SH"}},
        {"upper-casing leaves the character 0x81 0x61 alone", kGbkLocale, DoubleByteRecords(), "\x81" "a", 0,
         {"3.SH"}},
        {"rank skips occurrences on trail bytes", kGbkLocale, TrailByteRanks(), "A", 0, {"6.SH", "5.SH"}},
        {"single-byte locale: rank sees every byte", "C", TrailByteRanks(), "A", 0, {"5.SH", "6.SH"}},
        // Keys "1\x81A" and "2\x81AAB" hold A at 2, "4ZA" too; ties go by byte: '1' < '2' < '4'.
        {"single-byte locale: every byte matches", "C", DoubleByteRecords(), "A", 0,
         {"1.SH", "2.SH", "4.SH"}},
        // Here 0x81 is a character of its own and the a after it is upper-cased.
        {"single-byte locale: every byte is upper-cased", "C", DoubleByteRecords(), "\x81" "a", 0,
         {"1.SH", "2.SH"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ScopedLocale locale(c.locale);
        ASSERT_TRUE(locale.ok());
        LoadedDatabase db(OneExchange(c.records));
        const SearchOutcome outcome = FindAll(db.data, c.text.c_str(), c.keys);
        EXPECT_EQ(outcome.result, 1);
        EXPECT_EQ(outcome.Symbols(), c.expected);
    }
}

TEST(SymbolSearchOneTable, TiesThatDifferOnlyInCaseComeOutTheSameEveryRun) {
    LoadedDatabase db(
        OneExchange({MakeSymbol("ab", "", "Q"), MakeSymbol("AB", "", "Q"), MakeSymbol("Ab", "", "Q")}));
    const auto first = FindAll(db.data, "Q").Symbols();
    EXPECT_THAT(first, UnorderedElementsAre("ab.SH", "AB.SH", "Ab.SH"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(FindAll(db.data, "Q").Symbols(), first);
}

}  // namespace
}  // namespace tessary::testing::search
