// Symbol lookups by text, and the three symbol information queries.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/result_array.h"
#include "common/split_list.h"
#include "common/text.h"
#include "frame/symbol_database.h"
#include "symbols/symbol_info.h"

namespace tessary {

void SymbolDatabase::BuildSymbolResolver() {
    tableByExchangeCode_.clear();
    // Visiting in key order and overwriting makes the last exchange with a Code the one chosen.
    for (const auto& [key, exchange] : Exchanges)
        tableByExchangeCode_[std::string(exchange->Code)] = FindRecord(SymbolTables, key);
}

const ExchangeSymbolTable* SymbolDatabase::TableForExchangeCode(std::string_view code) const {
    const auto it = tableByExchangeCode_.find(code);
    return it == tableByExchangeCode_.end() ? nullptr : it->second;
}

const SymbolEntry* SymbolDatabase::LookUpSymbol(std::string_view code, std::string_view exchange) const {
    const ExchangeSymbolTable* table = TableForExchangeCode(exchange);
    return table == nullptr ? nullptr : table->Symbols.Find(code);
}

const SymbolEntry* SymbolDatabase::ResolveSymbol(std::string_view symbol) const {
    const std::ptrdiff_t dot = text::ReverseFind(symbol, '.');
    if (dot < 0) return nullptr;
    const std::string_view code = symbol.substr(0, static_cast<std::size_t>(dot));
    const std::string exchange = text::ToUpper(symbol.substr(static_cast<std::size_t>(dot) + 1));
    if (code.empty() || exchange.empty()) return nullptr;
    return LookUpSymbol(code, exchange);
}

int SymbolDatabase::GetSymbolInfo(const char* symbol, SymbolInfo* info) const {
    if (symbol == nullptr || info == nullptr) return 0;
    if (const SymbolEntry* entry = ResolveSymbol(symbol)) {
        FillSymbolInfo(*info, *entry);
        return 1;
    }
    // Not found: the caller recognises this by the fields that keep the values it set.
    text::CopyField(info->Symbol, sizeof info->Symbol, symbol);
    return 1;
}

int SymbolDatabase::GetSymbolInfos(const char* symbols, SymbolInfo** infos, std::int32_t* count) const {
    if (infos == nullptr) return 0;
    const std::string upper = text::ToUpper(symbols == nullptr ? "" : symbols);
    std::vector<std::string_view> pieces;
    SplitList(upper, ',', pieces);

    std::vector<const SymbolEntry*> found;
    std::vector<std::string_view> unresolved;
    for (const std::string_view piece : pieces) {
        // Unlike ResolveSymbol, a piece without a full stop or with an empty part still gets
        // looked up: "XY" looks for the blank code on exchange XY.
        const std::ptrdiff_t dot = text::ReverseFind(piece, '.');
        const std::string_view code = dot < 0 ? std::string_view() : piece.substr(0, static_cast<std::size_t>(dot));
        const std::string_view exchange = dot < 0 ? piece : piece.substr(static_cast<std::size_t>(dot) + 1);
        if (const SymbolEntry* entry = LookUpSymbol(code, exchange))
            found.push_back(entry);
        else
            unresolved.push_back(piece);
    }

    auto* records = static_cast<SymbolInfo*>(
        AllocateResultArray(found.size() + unresolved.size(), sizeof(SymbolInfo)));
    if (records == nullptr) return 0;
    SymbolInfo* record = records;
    for (const SymbolEntry* entry : found) FillSymbolInfo(*record++, *entry);
    for (const std::string_view piece : unresolved) {
        text::CopyField(record->Symbol, sizeof record->Symbol, piece);
        ++record;
    }
    *infos = records;
    if (count != nullptr) *count = static_cast<std::int32_t>(found.size() + unresolved.size());
    return 1;
}

int SymbolDatabase::GetSymbolInfos2(std::int32_t exchangeId, std::int32_t type, SymbolInfo** infos,
                                    std::int32_t* count) const {
    if (infos == nullptr) return 0;
    char key[16];
    std::snprintf(key, sizeof key, "%d", exchangeId);
    const ExchangeSymbolTable* table = FindRecord(SymbolTables, key);
    if (table == nullptr) return 0;

    std::vector<const SymbolEntry*> kept;
    for (const auto& entry : table->Symbols)
        if (type == -1 || entry->Type == type) kept.push_back(entry.get());
    // Case-insensitive order of the symbol texts. The sort is stable, so texts that differ only
    // in letter case keep their file order.
    std::stable_sort(kept.begin(), kept.end(), [](const SymbolEntry* a, const SymbolEntry* b) {
        return text::CompareNoCase(a->Symbol, b->Symbol) < 0;
    });

    auto* records = static_cast<SymbolInfo*>(AllocateResultArray(kept.size(), sizeof(SymbolInfo)));
    if (records == nullptr) return 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        FillSymbolInfo(records[i], *kept[i]);
        records[i].ExchangeId = static_cast<std::uint16_t>(exchangeId);
    }
    *infos = records;
    if (count != nullptr) *count = static_cast<std::int32_t>(kept.size());
    return 1;
}

}  // namespace tessary
