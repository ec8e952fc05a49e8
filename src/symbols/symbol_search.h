// The symbol search behind TSYFindSymbol and TSYFindSymbol2.
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

}  // namespace tessary
