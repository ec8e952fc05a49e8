// SymbolDatabase: everything the library loads, and every operation behind the exports.
//
// It assembles the readers in TSYInit's order and owns what they load; each query is answered by
// the subsystem it belongs to, given the loaded data it reads. The exports work on one
// process-wide instance; tests make their own. Loading happens only in Init; afterwards every
// query only reads.
#pragma once

#include <cstdint>

#include "common/data_file.h"
#include "common/diagnostics.h"
#include "directory/directory_reader.h"
#include "groups/group_tree.h"
#include "symbols/search_index.h"
#include "symbols/symbol_resolver.h"
#include "symbols/symbol_table.h"
#include "tessary.h"

namespace tessary {

class SymbolDatabase {
public:
    SymbolDatabase() = default;
    SymbolDatabase(const SymbolDatabase&) = delete;
    SymbolDatabase& operator=(const SymbolDatabase&) = delete;

    // Loads the data directory at `path`: the exchange directory, the symbol tables, the search
    // index and the group table, stopping at the first that fails. True when the database is
    // initialised, now or before (a second call loads nothing). A failed call leaves nothing of
    // what it loaded reachable. `diagnostics`, when given, hears what the readers say. The load
    // reads one generation of the directory: one that a writer replaces meanwhile is read again.
    [[nodiscard]] bool Init(const char* path, DiagnosticSink* diagnostics = nullptr);
    [[nodiscard]] bool Initialised() const noexcept { return initialised_; }

    // The queries behind the exports, with the exports' arguments; false where they answer 0.
    [[nodiscard]] bool GetExch(ExchangeInfo** list, std::int32_t* count) const;
    [[nodiscard]] bool GetGroupSymbol(std::int32_t groupId, const char* code, SymbolInfo** result,
                                      std::int32_t* count) const;
    [[nodiscard]] bool GetSubGroup(std::int32_t groupId, const char* code, SubGroupInfo** result,
                                   std::int32_t* count) const;
    [[nodiscard]] bool GetSymbolInfo(const char* symbol, SymbolInfo* info) const;
    [[nodiscard]] bool GetSymbolInfos(const char* symbols, SymbolInfo** infos, std::int32_t* count) const;
    [[nodiscard]] bool GetSymbolInfos2(std::int32_t exchangeId, std::int32_t type, SymbolInfo** infos,
                                       std::int32_t* count) const;
    [[nodiscard]] bool FindSymbols(const char* text, SymbolInfo** results, std::int32_t* count,
                                   bool matchSearchKeys) const;
    [[nodiscard]] bool FindSymbolsInExchange(const char* text, const char* exchangeKey, SymbolInfo** results,
                                             std::int32_t* count, bool matchSearchKeys) const;
    [[nodiscard]] bool FindSymbolsTop(const char* text, const char* exchangeKey, bool matchSearchKeys,
                                      std::int32_t limit, SymbolInfo** results, std::int32_t* count,
                                      std::int32_t* total) const;

private:
    void Clear() noexcept;
    // One run of the loaders on the opened directory; false at the first that fails.
    bool Load(DataRoot& root, DiagnosticSink* diagnostics);

    bool initialised_ = false;
    ExchangeDirectory directory_;
    SymbolTables tables_;
    SymbolResolver resolver_;
    SearchIndex index_;
    GroupTree groups_;
};

}  // namespace tessary
