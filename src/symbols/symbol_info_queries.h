// The three symbol information queries, behind TSYGetSymbolInfo, TSYGetSymbolInfos and
// TSYGetSymbolInfos2. Each takes the loaded data it reads and the exports' arguments; false means
// the export answers 0.
#pragma once

#include <cstdint>

#include "symbols/symbol_resolver.h"
#include "symbols/symbol_table.h"
#include "tessary.h"

namespace tessary {

// Fills `info` from the symbol `symbol` names; when none, writes only `symbol` into its Symbol
// field and still succeeds. False for a null argument.
[[nodiscard]] bool GetSymbolInfo(const SymbolResolver& resolver, const char* symbol, SymbolInfo* info);

// One record per piece of the comma-separated `symbols`: the found ones first, in list order,
// then the unresolved pieces, with only their (upper-cased) text.
[[nodiscard]] bool GetSymbolInfos(const SymbolResolver& resolver, const char* symbols, SymbolInfo** infos,
                                  std::int32_t* count);

// The symbols of exchange `exchangeId` of type `type` (-1: every type), in case-insensitive
// order of their texts. False when the exchange has no table.
[[nodiscard]] bool GetSymbolInfos2(const SymbolTables& tables, std::int32_t exchangeId, std::int32_t type,
                                   SymbolInfo** infos, std::int32_t* count);

}  // namespace tessary
