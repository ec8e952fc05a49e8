// Placeholder until the search index lands.
#include "frame/symbol_database.h"

namespace tessary {

SymbolIndexRecord* SymbolDatabase::FindOrCreateIndexRecord(std::string_view exchangeKey, bool create) {
    return FindOrCreateRecord(SearchIndex, exchangeKey, create);
}
void SymbolDatabase::ClearSearchIndex() { SearchIndex.clear(); }
int SymbolDatabase::BuildSearchIndex() { return 1; }
int SymbolDatabase::FindSymbols(const char*, SymbolInfo**, std::int32_t*, std::int32_t) const { return 0; }
int SymbolDatabase::FindSymbolsInExchange(const char*, const char*, SymbolInfo**, std::int32_t*,
                                          std::int32_t) const {
    return 0;
}

}  // namespace tessary
