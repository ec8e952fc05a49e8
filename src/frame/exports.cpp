// The exported C functions. Each query forwards to the process-wide database once it is
// initialised and answers 0 before; no exception ever leaves the library.
#include <exception>
#include <string>

#include "common/result_array.h"
#include "frame/symbol_database.h"
#include "tessary.h"

namespace {

// The two objects that live as long as the loaded library, constructed in this order and
// destroyed in the reverse one: the database goes first, the ranking text after it.
std::string searchRankText;
tessary::SymbolDatabase database(searchRankText);

template <class Query>
std::int32_t Guarded(Query&& query) noexcept {
    try {
        return query();
    } catch (...) {
        return 0;
    }
}

}  // namespace

TSY_API(int32_t) TSYInit(const TSYString* path) {
    if (path == nullptr || path->Text == nullptr) return 0;
    return Guarded([&] { return database.Init(path->Text); });
}

TSY_API(int32_t) TSYGetExch(ExchangeInfo** list, int32_t* count) {
    if (database.Initialised == 0) return 0;
    return Guarded([&] { return database.GetExch(list, count); });
}

TSY_API(int32_t) TSYGetGroupSymbol(int32_t groupId, const char* code, SymbolInfo** result,
                                   int32_t* count) {
    if (database.Initialised == 0) return 0;
    return Guarded([&] { return database.GetGroupSymbol(groupId, code, result, count); });
}

TSY_API(int32_t) TSYGetSubGroup(int32_t groupId, const char* code, SubGroupInfo** result,
                                int32_t* count) {
    if (database.Initialised == 0) return 0;
    return Guarded([&] { return database.GetSubGroup(groupId, code, result, count); });
}

TSY_API(int32_t) TSYGetSymbolInfo(const char* symbol, SymbolInfo* info) {
    if (database.Initialised == 0) return 0;
    return Guarded([&] { return database.GetSymbolInfo(symbol, info); });
}

TSY_API(int32_t) TSYGetSymbolInfos(const char* symbols, SymbolInfo** infos, int32_t* count) {
    if (database.Initialised == 0) return 0;
    return Guarded([&] { return database.GetSymbolInfos(symbols, infos, count); });
}

TSY_API(int32_t) TSYGetSymbolInfos2(int32_t exchangeId, int32_t type, SymbolInfo** infos,
                                    int32_t* count) {
    if (database.Initialised == 0) return 0;
    return Guarded([&] { return database.GetSymbolInfos2(exchangeId, type, infos, count); });
}

TSY_API(int32_t) TSYFindSymbol(const char* text, SymbolInfo** results, int32_t* count,
                               int32_t matchSearchKeys) {
    if (database.Initialised == 0) return 0;
    return Guarded([&] { return database.FindSymbols(text, results, count, matchSearchKeys); });
}

TSY_API(int32_t) TSYFindSymbol2(const char* text, const char* exchangeKey, SymbolInfo** results,
                                int32_t* count, int32_t matchSearchKeys) {
    if (database.Initialised == 0) return 0;
    return Guarded([&] {
        return database.FindSymbolsInExchange(text, exchangeKey, results, count, matchSearchKeys);
    });
}

TSY_API(void) TSYFree(void* array) { tessary::FreeResultArray(array); }

TSY_API(const char*) TSYVersion(void) { return TESSARY_VERSION; }
