// The exchange list query.
#include <cstring>
#include <vector>

#include "common/result_array.h"
#include "frame/symbol_database.h"

namespace tessary {
namespace {

// Quicksort by Serial over the inclusive range [low, high], first element as pivot. Serials are
// distinct, so the order it gives is the directory's.
void SortBySerial(std::vector<const ExchangeEntry*>& list, std::ptrdiff_t low, std::ptrdiff_t high) {
    while (low < high) {
        const ExchangeEntry* pivot = list[static_cast<std::size_t>(low)];
        std::ptrdiff_t i = low;
        std::ptrdiff_t j = high + 1;
        auto at = [&list](std::ptrdiff_t k) { return list[static_cast<std::size_t>(k)]->Serial; };
        for (;;) {
            do ++i; while (at(i) < pivot->Serial && i < high);
            do --j; while (at(j) > pivot->Serial && j > low);
            if (i >= j) break;
            std::swap(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(j)]);
        }
        list[static_cast<std::size_t>(low)] = list[static_cast<std::size_t>(j)];
        list[static_cast<std::size_t>(j)] = pivot;
        SortBySerial(list, low, j - 1);
        low = j + 1;
    }
}

}  // namespace

int SymbolDatabase::GetExch(ExchangeInfo** list, std::int32_t* count) const {
    if (list == nullptr) return 0;
    std::vector<const ExchangeEntry*> entries;
    entries.reserve(Exchanges.size());
    for (const auto& [key, entry] : Exchanges)
        if (entry) entries.push_back(entry.get());
    SortBySerial(entries, 0, static_cast<std::ptrdiff_t>(entries.size()) - 1);

    auto* records = static_cast<ExchangeInfo*>(AllocateResultArray(entries.size(), sizeof(ExchangeInfo)));
    if (records == nullptr) return 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ExchangeEntry& entry = *entries[i];
        ExchangeInfo& record = records[i];
        record.Alert = entry.Alert;
        record.Quote = entry.Quote;
        record.Trade = entry.Trade;
        record.Id = entry.Id;
        std::memcpy(record.Code, entry.Code, std::strlen(entry.Code) + 1);
        std::memcpy(record.Name, entry.Name, std::strlen(entry.Name) + 1);
    }
    *list = records;
    if (count != nullptr) *count = static_cast<std::int32_t>(entries.size());
    return 1;
}

}  // namespace tessary
