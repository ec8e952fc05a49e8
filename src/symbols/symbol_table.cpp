// The symbol entry's packed text fields and the per-table symbol map.
#include "symbols/symbol_table.h"

namespace tessary {

void SymbolEntry::SetFields(const std::array<std::string_view, kSymbolFieldCount>& fields) {
    std::size_t total = 0;
    for (const std::string_view field : fields) total += field.size();
    fieldBytes_.clear();
    fieldBytes_.reserve(total);
    for (std::size_t i = 0; i < kSymbolFieldCount; ++i) {
        fieldBytes_.append(fields[i]);
        fieldEnd_[i] = static_cast<std::uint16_t>(fieldBytes_.size());
    }
}

SymbolEntry& SymbolMap::FindOrCreate(std::string_view code) {
    const auto it = index_.find(code);
    if (it != index_.end()) return *it->second;
    entries_.push_back(std::make_unique<SymbolEntry>());
    SymbolEntry* entry = entries_.back().get();
    codes_.push_back(index_.emplace(std::string(code), entry).first->first);
    return *entry;
}

void SymbolMap::clear() noexcept {
    index_.clear();
    codes_.clear();
    entries_.clear();
}

}  // namespace tessary
