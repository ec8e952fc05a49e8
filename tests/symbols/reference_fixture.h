// What the search tests share: a data directory written to a temporary folder and loaded by the
// readers, and a search call whose result array is copied out and released.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "common/result_array.h"
#include "support/loaded_data.h"
#include "support/test_support.h"
#include "symbols/symbol_search.h"

namespace tessary::testing::search {

class LoadedDatabase {
public:
    explicit LoadedDatabase(const writer::DataDirectory& written) {
        writer::WriteDataDirectory(dir_.path(), written);
        loaded_ = data.Load(dir_.path(), nullptr, false);
        EXPECT_TRUE(loaded_) << "the test's data directory does not load";
    }
    [[nodiscard]] bool loaded() const { return loaded_; }

    LoadedData data;

private:
    TempDir dir_;
    bool loaded_ = false;
};

// One search's outcome. `count` and `records` keep the sentinel values when nothing was stored.
struct SearchOutcome {
    int result = -1;
    bool arrayStored = false;
    std::int32_t count = -7;
    std::vector<SymbolInfo> records;

    // Answered 0 and left both outputs as they were.
    [[nodiscard]] bool FailedCleanly() const { return result == 0 && !arrayStored && count == -7; }

    [[nodiscard]] std::vector<std::string> Symbols() const {
        std::vector<std::string> out;
        for (const SymbolInfo& r : records) out.emplace_back(r.Symbol);
        return out;
    }
};

// Runs `search` (a callable taking results and count) and collects what it stored.
template <class Search>
SearchOutcome Collect(Search&& search) {
    SymbolInfo sentinel{};
    SymbolInfo* array = &sentinel;
    SearchOutcome outcome;
    outcome.result = search(&array, &outcome.count);
    if (array != &sentinel) {
        outcome.arrayStored = true;
        if (outcome.count > 0) outcome.records.assign(array, array + outcome.count);
        FreeResultArray(array);
    }
    return outcome;
}

inline SearchOutcome FindAll(const LoadedData& db, const char* text, int matchSearchKeys = 0) {
    return Collect([&](SymbolInfo** r, std::int32_t* c) {
        return FindSymbols(db.Index, db.Resolver, text, r, c, matchSearchKeys != 0) ? 1 : 0;
    });
}

inline SearchOutcome FindIn(const LoadedData& db, const char* text, const char* exchangeKey,
                            int matchSearchKeys = 0) {
    return Collect([&](SymbolInfo** r, std::int32_t* c) {
        return FindSymbolsInExchange(db.Index, db.Resolver, text, exchangeKey, r, c, matchSearchKeys != 0) ? 1 : 0;
    });
}

inline writer::LightRecord MakeSymbol(std::string code, std::string name, std::string text1 = "",
                                      std::string key1 = "", std::string key2 = "") {
    writer::LightRecord r;
    r.Code = std::move(code);
    r.Name = std::move(name);
    r.Type = 1;
    r.SearchText1 = std::move(text1);
    r.SearchKey1 = std::move(key1);
    r.SearchKey2 = std::move(key2);
    return r;
}

// One exchange, 1 "SH", holding `records`.
inline writer::DataDirectory OneExchange(std::vector<writer::LightRecord> records) {
    writer::DataDirectory d;
    d.Directory.Types = {writer::ExchangeType(1, "SH", "Shanghai")};
    d.LightTables["1"].Records = std::move(records);
    return d;
}

}  // namespace tessary::testing::search
