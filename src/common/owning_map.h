// The string-keyed maps of the database. Each owns the records its values point to.
//
// The small maps (exchanges, tables, index records, groups) are ordered by key bytes: their
// visiting order is then the same on every platform and in every run, which matters where a
// query's answer depends on it (the last exchange with a given code wins a symbol lookup; the
// first index record holding an exact symbol text answers a search).
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

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

// The find-or-create step shared by every loader: the record under `key`, or, when there is
// none and `create` is set, a new value-initialised (zero) record stored under it.
template <class Record>
[[nodiscard]] Record* FindOrCreateRecord(OwningMap<Record>& map, std::string_view key, bool create) {
    const auto it = map.find(key);
    if (it != map.end()) return it->second.get();
    if (!create) return nullptr;
    auto record = std::make_unique<Record>();
    Record* raw = record.get();
    map.emplace(std::string(key), std::move(record));
    return raw;
}

}  // namespace tessary
