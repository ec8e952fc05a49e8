// The symbol search behind TSYFindSymbol, TSYFindSymbol2 and TSYFindSymbolTop.
#pragma once

#include <cstdint>

#include "symbols/search_index.h"
#include "symbols/symbol_resolver.h"
#include "tessary.h"

namespace tessary {

// The symbols whose search text holds `text` (upper-cased) or, with `matchSearchKeys`, one of
// whose search keys is that text, over every exchange; a whole Symbol text answers with that one
// symbol. Results come ranked: by where the text first occurs in the code part of Symbol followed
// by Name, then in _stricmp order of that key. False, with nothing written, for a null `text` or
// `results`, when a hit's symbol does not resolve, or when the array cannot be had.
[[nodiscard]] bool FindSymbols(const SearchIndex& index, const SymbolResolver& resolver, const char* text,
                               SymbolInfo** results, std::int32_t* count, bool matchSearchKeys);

// As FindSymbols, over the exchange under `exchangeKey` only; false when there is none.
[[nodiscard]] bool FindSymbolsInExchange(const SearchIndex& index, const SymbolResolver& resolver,
                                         const char* text, const char* exchangeKey, SymbolInfo** results,
                                         std::int32_t* count, bool matchSearchKeys);

// The first `limit` records that FindSymbols (for a null `exchangeKey`) or FindSymbolsInExchange
// would hand out, in the same order, and in `total` (when not null) how many they would hand
// out. Its cost does not grow with that number where the index can count the hits without
// visiting them (texts of one or two bytes). False, with nothing written, for a null `text` or
// `results`, a `limit` below 1, an `exchangeKey` that names no exchange, when any hit (not only
// one of the first) does not resolve, or when the array cannot be had.
[[nodiscard]] bool FindSymbolsTop(const SearchIndex& index, const SymbolResolver& resolver, const char* text,
                                  const char* exchangeKey, bool matchSearchKeys, std::int32_t limit,
                                  SymbolInfo** results, std::int32_t* count, std::int32_t* total);

}  // namespace tessary
