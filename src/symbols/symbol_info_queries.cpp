// The three symbol information queries.
#include "symbols/symbol_info_queries.h"

#include <algorithm>
#include <vector>

#include "common/decimal.h"
#include "common/split_list.h"
#include "common/text.h"
#include "symbols/symbol_info.h"

namespace tessary {

bool GetSymbolInfo(const SymbolResolver& resolver, const char* symbol, SymbolInfo* info) {
    if (symbol == nullptr || info == nullptr) return false;
    if (const SymbolEntry* entry = resolver.Resolve(symbol)) {
        FillSymbolInfo(*info, *entry);
        return true;
    }
    // Not found: the caller recognises this by the fields that keep the values it set.
    text::CopyField(info->Symbol, sizeof info->Symbol, symbol);
    return true;
}

bool GetSymbolInfos(const SymbolResolver& resolver, const char* symbols, SymbolInfo** infos, std::int32_t* count) {
    if (infos == nullptr) return false;
    const std::string upper = text::ToUpper(symbols == nullptr ? "" : symbols);
    std::vector<std::string_view> pieces;
    SplitList(upper, ',', pieces);

    std::vector<const SymbolEntry*> found;
    std::vector<std::string_view> unresolved;
    for (const std::string_view piece : pieces) {
        // Unlike Resolve, a piece without a full stop or with an empty part still gets
        // looked up: "XY" looks for the blank code on exchange XY.
        const std::ptrdiff_t dot = text::ReverseFind(piece, '.');
        const std::string_view code = dot < 0 ? std::string_view() : piece.substr(0, static_cast<std::size_t>(dot));
        const std::string_view exchange = dot < 0 ? piece : piece.substr(static_cast<std::size_t>(dot) + 1);
        if (const SymbolEntry* entry = resolver.LookUp(code, exchange))
            found.push_back(entry);
        else
            unresolved.push_back(piece);
    }

    return HandOutResultArray(
        found.size() + unresolved.size(),
        [&](SymbolInfo& record, std::size_t i) {
            if (i < found.size())
                FillSymbolInfo(record, *found[i]);
            else
                text::CopyField(record.Symbol, sizeof record.Symbol, unresolved[i - found.size()]);
        },
        infos, count);
}

bool GetSymbolInfos2(const SymbolTables& tables, std::int32_t exchangeId, std::int32_t type, SymbolInfo** infos,
                     std::int32_t* count) {
    if (infos == nullptr) return false;
    const ExchangeSymbolTable* table = FindRecord(tables, DecimalKey(exchangeId));
    if (table == nullptr) return false;

    std::vector<const SymbolEntry*> kept;
    for (const SymbolEntry& entry : table->Symbols)
        if (type == -1 || entry.Type == type) kept.push_back(&entry);
    // Case-insensitive order of the symbol texts. The sort is stable, so texts that differ only
    // in letter case keep their file order. The texts are made on the stack for each comparison.
    std::stable_sort(kept.begin(), kept.end(), [](const SymbolEntry* a, const SymbolEntry* b) {
        return text::CompareNoCase(a->Symbol().View(), b->Symbol().View()) < 0;
    });

    return HandOutResultArray(
        kept.size(),
        [&kept, exchangeId](SymbolInfo& record, std::size_t i) {
            FillSymbolInfo(record, *kept[i]);
            record.ExchangeId = static_cast<std::uint16_t>(exchangeId);
        },
        infos, count);
}

}  // namespace tessary
