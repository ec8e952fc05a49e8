// Symbol texts ("CODE.EX") to the entries of the symbol tables.
#pragma once

#include <string_view>

#include "common/owning_map.h"
#include "directory/exchange_entry.h"
#include "symbols/symbol_table.h"

namespace tessary {

// Which table a symbol's exchange part selects: for each exchange Code, the table of the last
// exchange (in the exchange map's visiting order) that carries it, or none when that exchange
// has no table. Built once the tables are loaded, so a lookup costs two hash look-ups instead of
// a walk over every exchange. It points into the tables it was built from, which must outlive it
// unchanged.
class SymbolResolver {
public:
    void Build(const ExchangeMap& exchanges, const SymbolTables& tables);
    void Clear() noexcept { tableByExchangeCode_.clear(); }

    // The table that exchange Code `exchangeCode` (compared as it is) selects, or null.
    [[nodiscard]] const ExchangeSymbolTable* TableOf(std::string_view exchangeCode) const;

    // The entry `code` names in the table that exchange Code `exchangeCode` selects, or null.
    // Neither part is changed: an empty code finds the blank code.
    [[nodiscard]] const SymbolEntry* LookUp(std::string_view code, std::string_view exchangeCode) const;

    // The entry a symbol text names, or null: the code is the text before its last '.', the
    // exchange Code the text after it, upper-cased; both must be non-empty.
    [[nodiscard]] const SymbolEntry* Resolve(std::string_view symbol) const;

private:
    TextHashMap<const ExchangeSymbolTable*> tableByExchangeCode_;
};

}  // namespace tessary
