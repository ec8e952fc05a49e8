// The plain search index and symbol search, kept as the oracle for the fast ones: one code list
// per exchange, two maps of strings keyed by Symbol text, one substring search per symbol, and a
// qsort whose comparison builds both keys at every call. Written for being obviously right, not
// for speed; the differential test and the benchmark compare the library against it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "symbols/symbol_resolver.h"
#include "symbols/symbol_table.h"
#include "tessary.h"

namespace tessary::reference {

struct IndexRecord {
    std::string CodeList;
    std::map<std::string, std::string> SearchTexts;  // Symbol text -> search text
    std::map<std::string, std::string> SearchKeys;   // Symbol text -> key text
};

// Multibyte text operations of their own, straight from the C library: a character is what
// mbrlen says it is, and a byte that starts no valid character is a character by itself.
[[nodiscard]] std::string Upper(std::string_view s);
[[nodiscard]] long FindText(std::string_view haystack, std::string_view needle);  // -1: none
[[nodiscard]] long LastDot(std::string_view s);

// The key and rank that the result order is made of, read from a finished record.
[[nodiscard]] std::string RankKey(const SymbolInfo& record);
[[nodiscard]] long Rank(const SymbolInfo& record, std::string_view rankText);

class SearchModel {
public:
    // Builds the index from the loaded `tables`; `resolver` resolves hits.
    SearchModel(const SymbolTables& tables, const SymbolResolver& resolver);

    // As the library's FindSymbols / FindSymbolsInExchange. Arrays come from
    // AllocateResultArray; `rankText` receives the caller's text.
    int FindSymbols(const char* text, SymbolInfo** results, std::int32_t* count, std::int32_t matchSearchKeys);
    int FindSymbolsInExchange(const char* text, const char* exchangeKey, SymbolInfo** results,
                              std::int32_t* count, std::int32_t matchSearchKeys);

    std::map<std::string, IndexRecord> Index;
    std::string RankText;

private:
    const SymbolResolver& resolver_;
};

}  // namespace tessary::reference
