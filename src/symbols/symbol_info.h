// Filling the SymbolInfo records that the symbol queries, the group symbol query and the search
// hand out, and handing them out.
#pragma once

#include <cstdint>
#include <vector>

#include "common/result_array.h"

#include "common/text.h"
#include "symbols/symbol_table.h"
#include "tessary.h"

namespace tessary {

// Writes ExchangeId, Type (its low 16 bits), Symbol and Name, each text with its terminator.
// Bytes behind a terminator keep what the record held.
inline void FillSymbolInfo(SymbolInfo& record, const SymbolEntry& entry) noexcept {
    record.ExchangeId = entry.ExchangeId;
    record.Type = static_cast<std::uint16_t>(entry.Type);
    text::CopyField(record.Symbol, sizeof record.Symbol, entry.Symbol().View());
    text::CopyField(record.Name, sizeof record.Name, entry.Name());
}

// Hands out one SymbolInfo per entry, in the order given.
[[nodiscard]] inline bool HandOutSymbolInfos(const std::vector<const SymbolEntry*>& entries, SymbolInfo** out,
                                             std::int32_t* count) {
    return HandOutResultArray(
        entries.size(), [&entries](SymbolInfo& record, std::size_t i) { FillSymbolInfo(record, *entries[i]); },
        out, count);
}

}  // namespace tessary
