// SymbolDatabase: everything the library loads, and every operation behind the exports.
//
// The exports work on one process-wide instance; tests make their own, each loading its own
// data directory. Loading happens only in Init; afterwards every query only reads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/diagnostics.h"
#include "common/owning_map.h"
#include "directory/exchange_entry.h"
#include "groups/group_tree.h"
#include "symbols/search_index.h"
#include "symbols/symbol_table.h"
#include "tessary.h"

namespace tessary {

class SymbolDatabase {
public:
    // `rankText` is the process-wide text the search ranks by; a database made without one
    // keeps its own.
    SymbolDatabase() : SymbolDatabase(ownRankText_) {}
    explicit SymbolDatabase(std::string& rankText) : searchRankText_(rankText) {}
    ~SymbolDatabase();
    SymbolDatabase(const SymbolDatabase&) = delete;
    SymbolDatabase& operator=(const SymbolDatabase&) = delete;

    // The initialisation sequence: 1 when the database is initialised (now or before).
    [[nodiscard]] int Init(const char* path);

    // Loaders, in the order Init runs them; each returns 1 on success, 0 on failure.
    [[nodiscard]] int LoadDirectory();
    [[nodiscard]] int LoadSymbolTables();
    [[nodiscard]] int BuildSearchIndex();
    [[nodiscard]] int LoadGroupTable();

    // Clearing operations, in the order Init and the destructor run them.
    void ClearGroupTree();
    void ClearExchanges();
    void ClearSymbolTables();
    void ClearSearchIndex();

    // Find-or-create steps of the loaders.
    ExchangeEntry* FindOrCreateExchange(std::string_view key, int create);
    ExchangeSymbolTable* FindOrCreateSymbolTable(std::string_view exchangeKey, int create);
    SymbolIndexRecord* FindOrCreateIndexRecord(std::string_view exchangeKey, bool create);
    GroupEntry* FindOrCreateGroup(std::string_view key);

    // The entry a symbol text "CODE.EX" names, or null.
    [[nodiscard]] const SymbolEntry* ResolveSymbol(std::string_view symbol) const;

    // Queries behind the exports, with the exports' arguments and results.
    [[nodiscard]] int GetExch(ExchangeInfo** list, std::int32_t* count) const;
    [[nodiscard]] int GetGroupSymbol(std::int32_t groupId, const char* code, SymbolInfo** result,
                                     std::int32_t* count) const;
    [[nodiscard]] int GetSubGroup(std::int32_t groupId, const char* code, SubGroupInfo** result,
                                  std::int32_t* count) const;
    [[nodiscard]] int GetSymbolInfo(const char* symbol, SymbolInfo* info) const;
    [[nodiscard]] int GetSymbolInfos(const char* symbols, SymbolInfo** infos, std::int32_t* count) const;
    [[nodiscard]] int GetSymbolInfos2(std::int32_t exchangeId, std::int32_t type, SymbolInfo** infos,
                                      std::int32_t* count) const;
    [[nodiscard]] int FindSymbols(const char* text, SymbolInfo** results, std::int32_t* count,
                                  std::int32_t matchSearchKeys) const;
    [[nodiscard]] int FindSymbolsInExchange(const char* text, const char* exchangeKey,
                                            SymbolInfo** results, std::int32_t* count,
                                            std::int32_t matchSearchKeys) const;

    // When set, the loaders explain here why a file does not load and what looks wrong.
    DiagnosticSink* Diagnostics = nullptr;

    std::int32_t Initialised = 0;
    std::string BasePath;
    std::int64_t ExpiryTime = 0;
    OwningMap<ExchangeEntry> Exchanges;
    OwningMap<ExchangeSymbolTable> SymbolTables;
    OwningMap<GroupEntry> Groups;
    OwningMap<SymbolIndexRecord> SearchIndex;

private:
    // The table a symbol's exchange part selects: for each exchange Code, the table of the last
    // exchange (in the exchange map's visiting order) that carries it, or null when that exchange
    // has no table. Built once the tables are loaded, so a lookup costs two hash look-ups
    // instead of a walk over every exchange.
    void BuildSymbolResolver();
    [[nodiscard]] const ExchangeSymbolTable* TableForExchangeCode(std::string_view code) const;
    [[nodiscard]] const SymbolEntry* LookUpSymbol(std::string_view code, std::string_view exchange) const;

    TextHashMap<const ExchangeSymbolTable*> tableByExchangeCode_;
    std::string ownRankText_;
    std::string& searchRankText_;
};

}  // namespace tessary
