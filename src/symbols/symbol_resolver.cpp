// Resolving symbol texts through the exchange Codes.
#include "symbols/symbol_resolver.h"

#include <string>

#include "common/text.h"

namespace tessary {

void SymbolResolver::Build(const ExchangeMap& exchanges, const SymbolTables& tables) {
    tableByExchangeCode_.clear();
    // Visiting in key order and overwriting makes the last exchange with a Code the one chosen.
    for (const auto& [key, exchange] : exchanges)
        tableByExchangeCode_[std::string(exchange->Code)] = FindRecord(tables, key);
}

const ExchangeSymbolTable* SymbolResolver::TableOf(std::string_view exchangeCode) const {
    const auto it = tableByExchangeCode_.find(exchangeCode);
    return it == tableByExchangeCode_.end() ? nullptr : it->second;
}

const SymbolEntry* SymbolResolver::LookUp(std::string_view code, std::string_view exchangeCode) const {
    const ExchangeSymbolTable* table = TableOf(exchangeCode);
    return table == nullptr ? nullptr : table->Symbols.Find(code);
}

const SymbolEntry* SymbolResolver::Resolve(std::string_view symbol) const {
    const std::ptrdiff_t dot = text::ReverseFind(symbol, '.');
    if (dot < 0) return nullptr;
    const std::string_view code = symbol.substr(0, static_cast<std::size_t>(dot));
    const std::string exchange = text::ToUpper(symbol.substr(static_cast<std::size_t>(dot) + 1));
    if (code.empty() || exchange.empty()) return nullptr;
    return LookUp(code, exchange);
}

}  // namespace tessary
