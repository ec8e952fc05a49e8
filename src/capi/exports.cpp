// The exported C functions. Each query forwards to the process-wide database once it is
// initialised and answers 0 before; no exception ever leaves the library. Adding an export is
// one Forward call.
#include "common/result_array.h"
#include "database/symbol_database.h"
#include "tessary.h"

namespace {

// The database that lives as long as the loaded library.
tessary::SymbolDatabase database;

// Runs `query` on the initialised database and turns its answer into the exports' 1 or 0: 0
// before TSYInit succeeded and for any exception.
template <class Query>
std::int32_t Forward(Query&& query) noexcept {
    try {
        if (!database.Initialised()) return 0;
        return query(static_cast<const tessary::SymbolDatabase&>(database)) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace

TSY_API(int32_t) TSYInit(const TSYString* path) {
    if (path == nullptr || path->Text == nullptr) return 0;
    try {
        return database.Init(path->Text) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

TSY_API(int32_t) TSYGetExch(ExchangeInfo** list, int32_t* count) {
    return Forward([&](const auto& db) { return db.GetExch(list, count); });
}

TSY_API(int32_t) TSYGetGroupSymbol(int32_t groupId, const char* code, SymbolInfo** result, int32_t* count) {
    return Forward([&](const auto& db) { return db.GetGroupSymbol(groupId, code, result, count); });
}

TSY_API(int32_t) TSYGetSubGroup(int32_t groupId, const char* code, SubGroupInfo** result, int32_t* count) {
    return Forward([&](const auto& db) { return db.GetSubGroup(groupId, code, result, count); });
}

TSY_API(int32_t) TSYGetSymbolInfo(const char* symbol, SymbolInfo* info) {
    return Forward([&](const auto& db) { return db.GetSymbolInfo(symbol, info); });
}

TSY_API(int32_t) TSYGetSymbolInfos(const char* symbols, SymbolInfo** infos, int32_t* count) {
    return Forward([&](const auto& db) { return db.GetSymbolInfos(symbols, infos, count); });
}

TSY_API(int32_t) TSYGetSymbolInfos2(int32_t exchangeId, int32_t type, SymbolInfo** infos, int32_t* count) {
    return Forward([&](const auto& db) { return db.GetSymbolInfos2(exchangeId, type, infos, count); });
}

TSY_API(int32_t) TSYFindSymbol(const char* text, SymbolInfo** results, int32_t* count, int32_t matchSearchKeys) {
    return Forward([&](const auto& db) { return db.FindSymbols(text, results, count, matchSearchKeys != 0); });
}

TSY_API(int32_t) TSYFindSymbol2(const char* text, const char* exchangeKey, SymbolInfo** results, int32_t* count,
                                int32_t matchSearchKeys) {
    return Forward([&](const auto& db) {
        return db.FindSymbolsInExchange(text, exchangeKey, results, count, matchSearchKeys != 0);
    });
}

TSY_API(void) TSYFree(void* array) { tessary::FreeResultArray(array); }

TSY_API(const char*) TSYVersion(void) { return TESSARY_VERSION; }
