// The symbol search behind TSYFindSymbol, TSYFindSymbol2 and TSYFindSymbolTop: the exact-symbol
// shortcut, the hits from the keystroke index, and the ranked result array.
#include "symbols/symbol_search.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/result_array.h"
#include "common/text.h"
#include "symbols/symbol_info.h"
#include "symbols/symbol_resolver.h"

namespace tessary {
namespace {

struct ReleaseArray {
    void operator()(SymbolInfo* block) const noexcept { FreeResultArray(block); }
};
using OwnedArray = std::unique_ptr<SymbolInfo, ReleaseArray>;

OwnedArray AllocateRecords(std::size_t count) {
    return OwnedArray(static_cast<SymbolInfo*>(AllocateResultArray(count, sizeof(SymbolInfo))));
}

bool HandOut(OwnedArray records, std::size_t count, SymbolInfo** results, std::int32_t* countOut) {
    *results = records.release();
    if (countOut != nullptr) *countOut = static_cast<std::int32_t>(count);
    return true;
}

// The exchange the search is limited to: every one for a null key, else the one under the key
// (false when there is none).
bool SelectExchange(const SearchIndex& index, const char* exchangeKey, const SymbolIndexRecord*& record,
                    std::uint32_t& exchange) {
    record = nullptr;
    exchange = KeystrokeIndex::kEveryExchange;
    if (exchangeKey == nullptr) return true;
    record = FindRecord(index.Records, exchangeKey);
    if (record == nullptr) return false;
    exchange = record->Ordinal;
    return true;
}

// Whether the upper-cased text is a whole Symbol text of the searched exchanges. Which exchange
// holds it does not matter: the answer is the entry the text itself names.
bool IsExactSymbol(const SearchIndex& index, const SymbolIndexRecord* record, std::string_view upper) {
    if (record != nullptr) return record->HoldsFramed(upper);
    return std::any_of(index.Records.begin(), index.Records.end(), [&](const auto& item) {
        return item.second != nullptr && item.second->HoldsFramed(upper);
    });
}

// The one-record answer for a whole Symbol text, or false when the text names no entry.
bool HandOutExact(const SymbolResolver& resolver, std::string_view upper, SymbolInfo** results, std::int32_t* count) {
    const SymbolEntry* entry = resolver.Resolve(upper);
    if (entry == nullptr) return false;
    OwnedArray records = AllocateRecords(1);
    if (records == nullptr) return false;
    FillSymbolInfo(*records, *entry);
    return HandOut(std::move(records), 1, results, count);
}

bool Search(const SearchIndex& index, const SymbolResolver& resolver, const char* text, const char* exchangeKey,
            bool everyExchange, SymbolInfo** results, std::int32_t* count, bool matchSearchKeys) {
    if (text == nullptr || results == nullptr || (!everyExchange && exchangeKey == nullptr)) return false;
    const SymbolIndexRecord* record = nullptr;
    std::uint32_t exchange = 0;
    if (!SelectExchange(index, everyExchange ? nullptr : exchangeKey, record, exchange)) return false;
    const std::string upper = text::ToUpper(text);
    if (IsExactSymbol(index, record, upper)) return HandOutExact(resolver, upper, results, count);

    std::vector<std::uint32_t> hits;
    index.Keystrokes.CollectHits(upper, matchSearchKeys, exchange, hits);
    OwnedArray records = AllocateRecords(hits.size());
    if (records == nullptr) return false;
    // Ranked by the caller's text as passed; every search has its own, so searches on several
    // threads share nothing.
    if (!index.Keystrokes.FillRanked(hits, text, records.get())) return false;
    return HandOut(std::move(records), hits.size(), results, count);
}

}  // namespace

// A null `text` or `results` is refused with false and nothing written: a host that passes one
// has made a mistake that an empty result would hide.
bool FindSymbols(const SearchIndex& index, const SymbolResolver& resolver, const char* text, SymbolInfo** results,
                 std::int32_t* count, bool matchSearchKeys) {
    return Search(index, resolver, text, nullptr, true, results, count, matchSearchKeys);
}

// As FindSymbols, over the record of one exchange key; a null `exchangeKey` is refused as well.
bool FindSymbolsInExchange(const SearchIndex& index, const SymbolResolver& resolver, const char* text,
                           const char* exchangeKey, SymbolInfo** results, std::int32_t* count, bool matchSearchKeys) {
    return Search(index, resolver, text, exchangeKey, false, results, count, matchSearchKeys);
}

bool FindSymbolsTop(const SearchIndex& index, const SymbolResolver& resolver, const char* text,
                    const char* exchangeKey, bool matchSearchKeys, std::int32_t limit, SymbolInfo** results,
                    std::int32_t* count, std::int32_t* total) {
    if (text == nullptr || results == nullptr || limit <= 0) return false;
    const SymbolIndexRecord* record = nullptr;
    std::uint32_t exchange = 0;
    if (!SelectExchange(index, exchangeKey, record, exchange)) return false;
    const std::string upper = text::ToUpper(text);
    if (IsExactSymbol(index, record, upper)) {
        if (!HandOutExact(resolver, upper, results, count)) return false;
        if (total != nullptr) *total = 1;
        return true;
    }

    std::vector<std::uint32_t> top;
    bool failed = false;
    const std::uint32_t hits = index.Keystrokes.Top(upper, text, matchSearchKeys, exchange,
                                                    static_cast<std::uint32_t>(limit), top, failed);
    if (failed) return false;
    OwnedArray records = AllocateRecords(top.size());
    if (records == nullptr) return false;
    for (std::size_t i = 0; i < top.size(); ++i) index.Keystrokes.Fill(records.get()[i], top[i]);
    HandOut(std::move(records), top.size(), results, count);
    if (total != nullptr) *total = static_cast<std::int32_t>(hits);
    return true;
}

}  // namespace tessary
