// The string-keyed maps of the database. Each owns the records its values point to.
//
// The small maps (exchanges, tables, index records, groups) are ordered by key bytes: their
// visiting order is then the same on every platform and in every run, which matters where a
// query's answer depends on it (the last exchange with a given code wins a symbol lookup; the
// first index record holding an exact symbol text answers a search).
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tessary {

template <class Record>
using OwningMap = std::map<std::string, std::unique_ptr<Record>, std::less<>>;

// Hash for unordered maps keyed by std::string that are looked up with std::string_view.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

template <class Value>
using TextHashMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

// Looks `key` up; returns the record or null.
template <class Record>
[[nodiscard]] Record* FindRecord(const OwningMap<Record>& map, std::string_view key) {
    const auto it = map.find(key);
    return it == map.end() ? nullptr : it->second.get();
}

// The find-or-create step shared by every loader: the record under `key`, or a new
// value-initialised (zero) record stored under it; null only when memory runs out.
template <class Record>
[[nodiscard]] Record* FindOrCreateRecord(OwningMap<Record>& map, std::string_view key) noexcept {
    try {
        const auto it = map.find(key);
        if (it != map.end()) return it->second.get();
        auto record = std::make_unique<Record>();
        Record* raw = record.get();
        map.emplace(std::string(key), std::move(record));
        return raw;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// The records of `map` in the order of their Serial, their position in the file. Records with
// equal Serials (possible where a repeated parent record numbered its children again) keep their
// key order, so the answer is the same on every call.
template <class Record>
[[nodiscard]] std::vector<const Record*> InSerialOrder(const OwningMap<Record>& map) {
    std::vector<const Record*> records;
    records.reserve(map.size());
    for (const auto& [key, record] : map)
        if (record) records.push_back(record.get());
    std::stable_sort(records.begin(), records.end(),
                     [](const Record* a, const Record* b) { return a->Serial < b->Serial; });
    return records;
}

}  // namespace tessary
