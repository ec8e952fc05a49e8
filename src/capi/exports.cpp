// The exported C functions. Each query answers from the current database, which it holds for
// its duration, and answers 0 before one has loaded; no exception ever leaves the library.
// Adding an export is one Forward call.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "common/result_array.h"
#include "database/current_database.h"
#include "tessary.h"

namespace {

// The database that lives as long as the loaded library.
tessary::CurrentDatabase database;

// Why the calling thread's last TSYInit or TSYReload failed; empty after a success. A fixed
// buffer: it never allocates, and a thread's exit has nothing to free.
thread_local char lastFailure[1024];

void RememberFailure(std::string_view reason) noexcept {
    const std::size_t n = std::min(reason.size(), sizeof lastFailure - 1);
    if (n != 0) std::memcpy(lastFailure, reason.data(), n);
    lastFailure[n] = '\0';
}

// Runs `query` on the current database and turns its answer into the exports' 1 or 0: 0 before
// a database has loaded and for any exception.
template <class Query>
std::int32_t Forward(Query&& query) noexcept {
    try {
        const std::shared_ptr<const tessary::SymbolDatabase> current = database.Get();
        if (!current) return 0;
        return query(*current) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

// Runs a load (`load` fills in the reason when it fails) and records the outcome for TSYLastError.
template <class Load>
std::int32_t RunLoad(Load&& load) noexcept {
    try {
        std::string reason;
        const bool loaded = load(reason);
        RememberFailure(loaded ? std::string_view() : std::string_view(reason));
        return loaded ? 1 : 0;
    } catch (...) {
        RememberFailure("the data directory does not load (an unexpected failure)");
        return 0;
    }
}

}  // namespace

TSY_API(int32_t) TSYInit(const TSYString* path) {
    return RunLoad([&](std::string& reason) {
        if (path == nullptr || path->Text == nullptr) {
            reason = "no data directory was given";
            return false;
        }
        return database.Init(path->Text, reason);
    });
}

TSY_API(int32_t) TSYReload(const char* dataDirectory) {
    return RunLoad([&](std::string& reason) {
        if (dataDirectory == nullptr || *dataDirectory == '\0') {
            reason = "no data directory was given";
            return false;
        }
        return database.Reload(dataDirectory, reason);
    });
}

TSY_API(const char*) TSYLastError(void) { return lastFailure; }

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

TSY_API(int32_t) TSYFindSymbolTop(const char* text, const char* exchangeKey, int32_t matchSearchKeys,
                                  int32_t limit, SymbolInfo** results, int32_t* count, int32_t* total) {
    return Forward([&](const auto& db) {
        return db.FindSymbolsTop(text, exchangeKey, matchSearchKeys != 0, limit, results, count, total);
    });
}

TSY_API(void) TSYFree(void* array) { tessary::FreeResultArray(array); }

TSY_API(const char*) TSYVersion(void) { return TESSARY_VERSION; }
