// The initialisation sequence, and the queries handed to their subsystems.
#include "database/symbol_database.h"

#include <vector>

#include "directory/exchange_list.h"
#include "groups/group_queries.h"
#include "groups/group_table_reader.h"
#include "symbols/light_table_reader.h"
#include "symbols/symbol_info.h"
#include "symbols/symbol_info_queries.h"
#include "symbols/symbol_search.h"

namespace tessary {

void SymbolDatabase::Clear() noexcept {
    // The index and the resolver point into the tables, so they go first.
    groups_.clear();
    index_.clear();
    resolver_.Clear();
    directory_.Exchanges.clear();
    directory_.ExpiryTime = 0;
    tables_.clear();
}

bool SymbolDatabase::Init(const char* path, DiagnosticSink* diagnostics) {
    if (initialised_) return true;
    // A writer replaces a whole directory by renaming a new one into its place and then removes
    // the old one. A load that began on the old one opens every file relative to it and so never
    // mixes generations, but may find files already gone: it starts again on the successor.
    constexpr int kAttempts = 3;
    const std::size_t reportedBefore = diagnostics != nullptr ? diagnostics->Items.size() : 0;
    for (int attempt = 1;; ++attempt) {
        // Whatever an earlier, failed run loaded goes first, so nothing of it stays reachable.
        Clear();
        DataRoot root(path);
        if (Load(root, diagnostics)) break;
        if (attempt == kAttempts || !root.Replaced()) return false;
        if (diagnostics != nullptr)
            diagnostics->Items.erase(diagnostics->Items.begin() + static_cast<std::ptrdiff_t>(reportedBefore),
                                     diagnostics->Items.end());
    }
    initialised_ = true;
    return true;
}

bool SymbolDatabase::Load(DataRoot& root, DiagnosticSink* diagnostics) {
    if (!LoadDirectory(root, diagnostics, directory_)) return false;
    if (!LoadSymbolTables(root, directory_.Exchanges, diagnostics, tables_)) return false;
    resolver_.Build(directory_.Exchanges, tables_);
    if (!BuildSearchIndex(tables_, resolver_, index_)) {
        if (diagnostics != nullptr) diagnostics->Error("", -1, 0, "the search index cannot be built (out of memory)");
        return false;
    }
    if (!LoadGroupTable(root, diagnostics, groups_)) return false;
    ReportUnresolvedMembers(
        groups_, [this](const GroupMember& member) { return resolver_.LookUp(member.Code, member.Exchange) != nullptr; },
        diagnostics);
    return true;
}

bool SymbolDatabase::GetExch(ExchangeInfo** list, std::int32_t* count) const {
    return ListExchanges(directory_.Exchanges, list, count);
}

bool SymbolDatabase::GetSubGroup(std::int32_t groupId, const char* code, SubGroupInfo** result,
                                 std::int32_t* count) const {
    return tessary::GetSubGroup(groups_, groupId, code, result, count);
}

bool SymbolDatabase::GetGroupSymbol(std::int32_t groupId, const char* code, SymbolInfo** result,
                                    std::int32_t* count) const {
    if (result == nullptr) return false;
    std::vector<GroupMember> members;
    if (!FindGroupMembers(groups_, groupId, code, members)) return false;
    // Members that name no symbol are left out.
    std::vector<const SymbolEntry*> found;
    found.reserve(members.size());
    for (const GroupMember& member : members)
        if (const SymbolEntry* entry = resolver_.LookUp(member.Code, member.Exchange)) found.push_back(entry);
    return HandOutSymbolInfos(found, result, count);
}

bool SymbolDatabase::GetSymbolInfo(const char* symbol, SymbolInfo* info) const {
    return tessary::GetSymbolInfo(resolver_, symbol, info);
}

bool SymbolDatabase::GetSymbolInfos(const char* symbols, SymbolInfo** infos, std::int32_t* count) const {
    return tessary::GetSymbolInfos(resolver_, symbols, infos, count);
}

bool SymbolDatabase::GetSymbolInfos2(std::int32_t exchangeId, std::int32_t type, SymbolInfo** infos,
                                     std::int32_t* count) const {
    return tessary::GetSymbolInfos2(tables_, exchangeId, type, infos, count);
}

bool SymbolDatabase::FindSymbols(const char* text, SymbolInfo** results, std::int32_t* count,
                                 bool matchSearchKeys) const {
    return tessary::FindSymbols(index_, resolver_, text, results, count, matchSearchKeys);
}

bool SymbolDatabase::FindSymbolsInExchange(const char* text, const char* exchangeKey, SymbolInfo** results,
                                           std::int32_t* count, bool matchSearchKeys) const {
    return tessary::FindSymbolsInExchange(index_, resolver_, text, exchangeKey, results, count, matchSearchKeys);
}

bool SymbolDatabase::FindSymbolsTop(const char* text, const char* exchangeKey, bool matchSearchKeys,
                                    std::int32_t limit, SymbolInfo** results, std::int32_t* count,
                                    std::int32_t* total) const {
    return tessary::FindSymbolsTop(index_, resolver_, text, exchangeKey, matchSearchKeys, limit, results, count, total);
}

}  // namespace tessary
