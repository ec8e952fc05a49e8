// Filling the SymbolInfo records that the symbol queries, the group symbol query and the search
// hand out.
#pragma once

#include <cstring>

#include "common/text.h"
#include "symbols/symbol_table.h"
#include "tessary.h"

namespace tessary {

// Writes ExchangeId, Type (its low 16 bits), Symbol and Name, each text with its terminator.
// Bytes behind a terminator keep what the record held.
inline void FillSymbolInfo(SymbolInfo& record, const SymbolEntry& entry) noexcept {
    record.ExchangeId = entry.ExchangeId;
    record.Type = static_cast<std::uint16_t>(entry.Type);
    text::CopyField(record.Symbol, sizeof record.Symbol, entry.Symbol);
    text::CopyField(record.Name, sizeof record.Name, entry.Name());
}

}  // namespace tessary
