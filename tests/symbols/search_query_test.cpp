// FindSymbols and FindSymbolsInExchange: what the randomized comparison with the model cannot
// reach: the exact-symbol shortcut, the key test, failures, bytes outside its alphabet, locales.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
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
        {"an empty table", "", "4", 0, {}},
        {"TX: a key only, keys not asked for", "tx", nullptr, 0, {}},
        {"TX: a key only, keys asked for", "tx", nullptr, 1, {"00700.HK"}},
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
        // Code ".5" gives ".5.SH", cut at its last dot: key ".5". No key holds "q", so every rank
        // is the key's length, 2. Underscore (0x5F) lies between the upper- and lower-case
        // letters: _stricmp, folding to lower case, puts it before every letter.
        {"equal ranks by _stricmp of keys, dot cut only when not first", "C",
         {MakeSymbol("b", "Z", "Q"), MakeSymbol("_", "z", "Q"), MakeSymbol("A", "z", "Q"),
          MakeSymbol(".5", "", "Q")},
         "q", 0, {".5.SH", "_.SH", "A.SH", "b.SH"}},
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

// The top of a search ranks the hits it confirms from their search texts, which begin with the
// rank key's two parts: an occurrence in the code, across code and name, in the name, or none.
// Four bytes, since a market this small has lists for its three-byte pieces.
TEST(SymbolSearchOneTable, TopRanksAsTheFullSearchWhereverTheTextOccursInTheKey) {
    LoadedDatabase db(OneExchange({
        MakeSymbol("ZZ", "QBCDXQ"),                // in the name: 3
        MakeSymbol("AB", "CDXQQ", "BCDX"),         // across, one byte in the code: 1
        MakeSymbol("ABCD", "XQ", "BCDX"),          // across, three bytes in the code: 1
        MakeSymbol("QQBCDX", "Q"),                 // in the code: 2
        MakeSymbol("QQQQ", "BCDXQ"),               // where the name starts: 4
        MakeSymbol("QQQQBCDX", "Q"),               // in the code: 4, the same key
        MakeSymbol("Q", "QQQQQ", "XBCDXX"),        // not in the key: its length, 6
        MakeSymbol("AAAAAAA", "BCDX"),             // 7
        MakeSymbol("BCDX", "Q"),                   // 0
    }));
    const struct {
        const char* text;
        std::vector<std::string> expected;
    } cases[] = {
        {"BCDX", {"BCDX.SH", "ABCD.SH", "AB.SH", "QQBCDX.SH", "ZZ.SH", "QQQQ.SH", "QQQQBCDX.SH", "Q.SH", "AAAAAAA.SH"}},
        // Ranked on the text as typed: found in no key, each ranks by its key's length.
        {"bcdx", {"BCDX.SH", "ABCD.SH", "Q.SH", "AB.SH", "QQBCDX.SH", "ZZ.SH", "QQQQ.SH", "QQQQBCDX.SH", "AAAAAAA.SH"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FindAll(db.data, c.text).Symbols(), c.expected);
        std::int32_t total = 0;
        const SearchOutcome top = Collect([&](SymbolInfo** r, std::int32_t* n) {
            return FindSymbolsTop(db.data.Index, db.data.Resolver, c.text, nullptr, false, 20, r, n, &total) ? 1 : 0;
        });
        EXPECT_EQ(top.Symbols(), c.expected);
        EXPECT_EQ(total, 9);
    }
}

// A market of several thousand symbols, where the top of a search walks the order column by
// column and skips the runs of places whose keys cannot rank: letters that only some runs' names
// hold, digits that only codes hold, and keys that end in some runs only.
TEST(SymbolSearchLargeTable, TopWalkAgreesWithTheFullSearchAcrossRunsOfPlaces) {
    static const char* const kWords[] = {"Bo", "Quay", "Bank", "Ox", "Qi Bo", "Ore"};
    std::vector<writer::LightRecord> records;
    for (int i = 0; i < 10000; ++i) {
        char code[8];
        std::snprintf(code, sizeof code, "%06d", i);
        // Names by runs of codes: some runs never hold Q, and the last run has short keys.
        std::string name = i >= 9000 ? "" : std::string(kWords[(i / 1500) % 6]) + (i % 3 == 0 ? " Bo" : "");
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        records.push_back(MakeSymbol(code, name, upper + " " + std::to_string(i % 97)));
    }
    LoadedDatabase db(OneExchange(std::move(records)));
    db.data.Index.Keystrokes.SetOrderAllBelow(0);
    for (const char* text : {"Q", "Qi", "B", "Bo", "o", "x", "9", "99", "0", "Y"})
        for (const std::int32_t limit : {1, 20, 2500}) {
            SCOPED_TRACE(std::string(text) + " limit " + std::to_string(limit));
            const SearchOutcome full = FindAll(db.data, text);
            std::int32_t total = 0;
            const SearchOutcome top = Collect([&](SymbolInfo** r, std::int32_t* n) {
                return FindSymbolsTop(db.data.Index, db.data.Resolver, text, nullptr, false, limit, r, n, &total) ? 1 : 0;
            });
            ASSERT_EQ(total, full.count);
            ASSERT_GT(total, 0);
            const std::vector<std::string> all = full.Symbols();
            const std::vector<std::string> first(all.begin(), all.begin() + std::min<std::size_t>(all.size(), static_cast<std::size_t>(limit)));
            EXPECT_EQ(top.Symbols(), first);
        }
}

}  // namespace
}  // namespace tessary::testing::search
