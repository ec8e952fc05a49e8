// The library's search against the plain reference model, on seeded random databases and
// fragments. Texts come from small alphabets so that hits, rank ties, repeated codes, empty
// fields, separator bytes inside fields and double-byte characters whose trail byte is a letter
// all turn up often.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/text.h"
#include "symbols/reference_fixture.h"
#include "symbols/reference_search.h"

namespace tessary::testing::search {
namespace {

// Letters in both cases, digits, the dot, the separator, a blank, GBK characters (with the trail
// byte A, and with the trail byte a, which upper-casing keeps), a lone lead byte and a byte that
// GBK treats as invalid.
const char* const kPieces[] = {"A", "B", "a", "b", "6", "0", ".", "\x05", " ", "AB", "60",
                               "\x81" "A", "\x81" "a", "\xB0\xA1", "\x81", "\xFF", "Ab"};

class Generator {
public:
    explicit Generator(std::uint32_t seed) : random_(seed) {}

    std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
    bool Chance(int percent) { return Below(100) < static_cast<std::size_t>(percent); }

    std::string Text(std::size_t maxPieces) {
        std::string s;
        const std::size_t n = Below(maxPieces + 1);
        for (std::size_t i = 0; i < n; ++i) s += kPieces[Below(std::size(kPieces))];
        return s;
    }

    std::string Code() {
        // Few distinct codes, so that a file repeats some; now and then blanks around them.
        std::string code = Text(3);
        // A code that trims to nothing cannot be resolved: those are made on purpose only.
        if (code.find_first_not_of(' ') == std::string::npos || Chance(3)) code = kPieces[Below(6)];
        if (Chance(8)) code = "  " + code + " ";
        return code;
    }

    writer::DataDirectory Directory(std::vector<std::string>& keys) {
        static const int kIds[] = {1, 2, 3, 10, 11};
        static const char* const kCodes[] = {"SH", "SZ", "HK", "A6", "B"};
        writer::DataDirectory d;
        const std::size_t exchanges = 1 + Below(4);
        std::vector<int> ids(std::begin(kIds), std::end(kIds));
        std::shuffle(ids.begin(), ids.end(), random_);
        // One database in six has a defect that makes searches with hits in some places fail:
        // an exchange code in lower case, two exchanges with one code, or a blank symbol code.
        const std::size_t defect = Chance(16) ? 1 + Below(3) : 0;
        const std::size_t defective = Below(exchanges);
        keys.clear();
        for (std::size_t e = 0; e < exchanges; ++e) {
            std::string code = kCodes[e];
            if (defect == 1 && e == defective) code = "sz";
            if (defect == 2 && e == defective) code = kCodes[0];
            d.Directory.Types.push_back(writer::ExchangeType(ids[e], code, "Exchange"));
            const std::string key = std::to_string(ids[e]);
            keys.push_back(key);
            writer::LightTable& table = d.LightTables[key];
            const std::size_t symbols = Below(13);
            for (std::size_t i = 0; i < symbols; ++i) {
                writer::LightRecord r;
                r.Code = Code();
                if (defect == 3 && e == defective && Chance(20)) r.Code = "   ";
                r.Name = Text(5);
                r.Type = static_cast<std::int32_t>(Below(3));
                r.SearchText1 = Text(4);
                r.SearchText2 = Chance(50) ? Text(3) : "";
                r.SearchText3 = Chance(30) ? Text(3) : "";
                r.SearchText4 = Chance(20) ? Text(3) : "";
                r.SearchKey1 = Chance(60) ? Text(2) : "";
                r.SearchKey2 = Chance(40) ? Text(2) : "";
                table.Records.push_back(std::move(r));
            }
        }
        return d;
    }

    // Fragments a user (or a careless host) could pass: empty, one byte, parts of real texts cut
    // anywhere (shorter and longer than the index's two-byte pieces, across 0x05 separators,
    // inside a double-byte character), whole Symbol texts in both cases, whole search texts,
    // random texts with separators, and texts that no index piece can hold.
    std::string Fragment(const LoadedData& db) {
        std::vector<std::string> searchTexts, keyTexts, symbolTexts;
        const KeystrokeIndex& keystrokes = db.Index.Keystrokes;
        for (std::uint32_t place = 0; place < keystrokes.size(); ++place) {
            searchTexts.emplace_back(keystrokes.SearchText(place));
            keyTexts.emplace_back(keystrokes.KeyText(place));
        }
        for (const auto& [key, table] : db.Tables)
            for (const SymbolEntry& entry : table->Symbols) symbolTexts.emplace_back(entry.Symbol().View());
        if (searchTexts.empty()) return Text(3);
        switch (Below(10)) {
            case 0: return "";
            case 1: return std::string(1, static_cast<char>(1 + Below(255)));
            case 2: case 3: {
                const std::string& t = Chance(75) ? searchTexts[Below(searchTexts.size())] : keyTexts[Below(keyTexts.size())];
                const std::size_t from = Below(t.size() + 1);
                return t.substr(from, Below(t.size() - from + 1));
            }
            case 4: {
                std::string s = symbolTexts[Below(symbolTexts.size())];
                if (Chance(50))
                    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                return s;
            }
            case 5: return "\x05" + Text(2) + (Chance(50) ? "\x05" : "");
            case 6: {
                const std::string& t = searchTexts[Below(searchTexts.size())];
                return Chance(50) ? t : reference::Upper(t);
            }
            case 7: {
                static const std::string kOdd[] = {"\x05", "\x05\x05\x05", "\x81", "\xFF\x81", "\xB0", "A\x81",
                                                   std::string(10000, 'A'), std::string(10000, '\x05')};
                return kOdd[Below(std::size(kOdd))];
            }
            default: return Text(3);
        }
    }

private:
    std::mt19937 random_;
};

// The library's answer matches the model's: the same result and count, the same records, and
// position by position the same rank and the same key but for letter case (records whose keys
// are equal that way may come in another order).
void ExpectSameAnswer(const SearchOutcome& library, const SearchOutcome& model, const std::string& text) {
    ASSERT_EQ(library.result, model.result);
    ASSERT_EQ(library.arrayStored, model.arrayStored);
    ASSERT_EQ(library.count, model.count);
    std::vector<std::string> a, b;
    for (const SymbolInfo& r : library.records) a.push_back(Bytes(&r, sizeof r));
    for (const SymbolInfo& r : model.records) b.push_back(Bytes(&r, sizeof r));
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    ASSERT_EQ(a, b);
    for (std::size_t i = 0; i < library.records.size(); ++i) {
        const SymbolInfo& x = library.records[i];
        const SymbolInfo& y = model.records[i];
        ASSERT_EQ(reference::Rank(x, text), reference::Rank(y, text)) << "at " << i;
        ASSERT_EQ(text::CompareNoCase(reference::RankKey(x), reference::RankKey(y)), 0) << "at " << i;
    }
}

// The top of a search against the full answer of the same search: for every limit, the first
// min(limit, total) records of the full answer, in its order, and its count as the total. Limits
// below 1 answer 0 and write nothing; so does every limit when the full search fails.
template <class Top>
void ExpectTopOfFull(const SearchOutcome& full, Top&& top) {
    for (const std::int32_t limit : {0, -1, 1, 20, full.count, full.count + 1}) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        std::int32_t total = -9;
        const SearchOutcome outcome = Collect([&](SymbolInfo** r, std::int32_t* c) { return top(limit, r, c, &total); });
        if (full.result != 1 || limit < 1) {
            ASSERT_TRUE(outcome.FailedCleanly());
            ASSERT_EQ(total, -9);
            continue;
        }
        ASSERT_EQ(outcome.result, 1);
        ASSERT_EQ(total, full.count);
        ASSERT_EQ(outcome.count, std::min(limit, full.count));
        for (std::int32_t i = 0; i < outcome.count; ++i)
            ASSERT_EQ(Bytes(&outcome.records[i], sizeof(SymbolInfo)), Bytes(&full.records[i], sizeof(SymbolInfo)))
                << "at " << i;
    }
}

void RunCases(const char* locale, std::uint32_t firstSeed, std::uint32_t databases, std::uint32_t fragments) {
    ScopedLocale scoped(locale);
    ASSERT_TRUE(scoped.ok()) << locale;
    std::size_t compared = 0;
    for (std::uint32_t seed = firstSeed; seed < firstSeed + databases; ++seed) {
        Generator generator(seed);
        std::vector<std::string> keys;
        LoadedDatabase db(generator.Directory(keys));
        // Every other database has the top of each search found by walking the order, which
        // otherwise only searches with thousands of hits do.
        if (seed % 2 == 0) db.data.Index.Keystrokes.SetOrderAllBelow(0);
        ASSERT_TRUE(db.loaded()) << "seed " << seed;
        reference::SearchModel model(db.data.Tables, db.data.Resolver);
        keys.push_back("99");  // a key with no exchange
        for (std::uint32_t f = 0; f < fragments; ++f) {
            const std::string text = generator.Fragment(db.data);
            for (int matchSearchKeys = 0; matchSearchKeys <= 1; ++matchSearchKeys) {
                // gtest prints the text with its unprintable bytes escaped.
                SCOPED_TRACE(std::string(locale) + " seed " + std::to_string(seed) + " text " +
                             ::testing::PrintToString(text) + " keys " + std::to_string(matchSearchKeys));
                const SearchOutcome library = FindAll(db.data, text.c_str(), matchSearchKeys);
                const SearchOutcome expected = Collect([&](SymbolInfo** r, std::int32_t* c) {
                    return model.FindSymbols(text.c_str(), r, c, matchSearchKeys);
                });
                ASSERT_NO_FATAL_FAILURE(ExpectSameAnswer(library, expected, text));
                ASSERT_NO_FATAL_FAILURE(ExpectTopOfFull(library, [&](std::int32_t limit, SymbolInfo** r, std::int32_t* c,
                                                                     std::int32_t* total) {
                    return FindSymbolsTop(db.data.Index, db.data.Resolver, text.c_str(), nullptr, matchSearchKeys != 0,
                                          limit, r, c, total) ? 1 : 0;
                }));
                const std::string& key = keys[generator.Below(keys.size())];
                SCOPED_TRACE("exchange " + key);
                const SearchOutcome one = FindIn(db.data, text.c_str(), key.c_str(), matchSearchKeys);
                const SearchOutcome expectedOne = Collect([&](SymbolInfo** r, std::int32_t* c) {
                    return model.FindSymbolsInExchange(text.c_str(), key.c_str(), r, c, matchSearchKeys);
                });
                ASSERT_NO_FATAL_FAILURE(ExpectSameAnswer(one, expectedOne, text));
                ASSERT_NO_FATAL_FAILURE(ExpectTopOfFull(one, [&](std::int32_t limit, SymbolInfo** r, std::int32_t* c,
                                                                 std::int32_t* total) {
                    return FindSymbolsTop(db.data.Index, db.data.Resolver, text.c_str(), key.c_str(), matchSearchKeys != 0,
                                          limit, r, c, total) ? 1 : 0;
                }));
                compared += 2;
            }
        }
    }
    ::testing::Test::RecordProperty("cases", static_cast<int>(compared));
}

TEST(SearchDifferential, SingleByteLocale) { RunCases("C", 1, 800, 12); }

TEST(SearchDifferential, DoubleByteLocale) { RunCases(kGbkLocale, 100001, 800, 12); }

}  // namespace
}  // namespace tessary::testing::search
