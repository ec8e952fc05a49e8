// Fuzz target: a whole data directory (Directory.xml, SymTbl/Group and the Light files, cut from
// one input), loaded by a database of its own; when it loads, every query runs on it, with texts
// taken from the input and from earlier answers, and every array handed out is released.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/result_array.h"
#include "database/symbol_database.h"
#include "directory/directory_reader.h"
#include "fuzz_support.h"
#include "groups/group_table_reader.h"

using namespace tessary;

namespace {

// Light files written for one input at most: each is a file to write and read back.
constexpr std::size_t kMostLightFiles = 32;
// Texts from the input that are looked up and searched for.
constexpr std::size_t kMostTexts = 12;

// Writes the pieces of the input as the files of a data directory.
void WriteDirectory(fuzz::ScratchDirectory& scratch, const std::vector<std::string_view>& pieces) {
    scratch.Write("Directory.xml", pieces[0]);
    if (pieces.size() > 1) scratch.Write("SymTbl/Group", pieces[1]);
    if (pieces.size() < 3) return;
    // The Light files are named after the exchanges, which only the directory knows.
    ExchangeDirectory directory;
    if (!LoadDirectory(scratch.Path(), nullptr, directory)) return;
    std::size_t next = 2;
    for (const auto& [key, exchange] : directory.Exchanges) {
        if (next - 2 == kMostLightFiles) break;
        scratch.Write("SymTbl/" + key + "_Light", pieces[next]);
        if (next + 1 < pieces.size()) ++next;
    }
}

class Queries {
public:
    explicit Queries(const SymbolDatabase& db) : db_(db) {}

    void Exchanges(std::vector<std::string>& keys) {
        ExchangeInfo* list = nullptr;
        std::int32_t count = 0;
        fuzz::Require(db_.GetExch(&list, &count), "the exchange list of a loaded directory fails");
        for (std::int32_t i = 0; i < count; ++i) keys.push_back(std::to_string(list[i].Id));
        // Every symbol of each exchange (type -1), and those of type 1.
        for (std::int32_t i = 0; i < count; ++i) {
            for (const std::int32_t type : {-1, 1}) {
                SymbolInfo* infos = nullptr;
                std::int32_t infoCount = 0;
                if (db_.GetSymbolInfos2(list[i].Id, type, &infos, &infoCount)) Keep(infos, infoCount);
            }
        }
        FreeResultArray(list);
    }

    // The subgroups of `groupId`, the leaf groups of each, and the symbols of every leaf group.
    void Group(std::int32_t groupId) {
        SubGroupInfo* subgroups = nullptr;
        std::int32_t subgroupCount = 0;
        if (!db_.GetSubGroup(groupId, "", &subgroups, &subgroupCount)) return;
        for (std::int32_t i = 0; i < subgroupCount; ++i) {
            SubGroupInfo* leaves = nullptr;
            std::int32_t leafCount = 0;
            if (!db_.GetSubGroup(groupId, subgroups[i].Code, &leaves, &leafCount)) continue;
            for (std::int32_t j = 0; j < leafCount; ++j) {
                SymbolInfo* symbols = nullptr;
                std::int32_t symbolCount = 0;
                if (db_.GetGroupSymbol(groupId, leaves[j].Code, &symbols, &symbolCount)) Keep(symbols, symbolCount);
            }
            FreeResultArray(leaves);
        }
        FreeResultArray(subgroups);
    }

    void LookUp(const std::string& text) {
        SymbolInfo info{};
        (void)db_.GetSymbolInfo(text.c_str(), &info);
    }

    void LookUpAll(const std::vector<std::string>& texts) {
        std::string list;
        for (const std::string& text : texts) list += text + ',';
        SymbolInfo* infos = nullptr;
        std::int32_t count = 0;
        if (db_.GetSymbolInfos(list.c_str(), &infos, &count)) FreeResultArray(infos);
    }

    // Every search for `text`, in all exchanges and in the one under `exchangeKey`, with and
    // without the search keys. Each search the database offers is one call here.
    void Search(const std::string& text, const std::string& exchangeKey) {
        for (const bool keys : {false, true}) {
            SymbolInfo* results = nullptr;
            std::int32_t count = 0;
            bool found = db_.FindSymbols(text.c_str(), &results, &count, keys);
            RequireTopAgrees(text, nullptr, keys, found, results, count);
            if (found) Keep(results, count);
            found = db_.FindSymbolsInExchange(text.c_str(), exchangeKey.c_str(), &results, &count, keys);
            RequireTopAgrees(text, exchangeKey.c_str(), keys, found, results, count);
            if (found) Keep(results, count);
        }
    }

    // Symbol texts from the answers so far, to be asked about again.
    [[nodiscard]] const std::vector<std::string>& Answered() const noexcept { return answered_; }

private:
    // Notes a few symbol texts of an answer, then releases it.
    // The top-k call answers the first records of the full search and its length as the total,
    // and fails exactly when the full search fails.
    void RequireTopAgrees(const std::string& text, const char* exchangeKey, bool keys, bool found,
                          const SymbolInfo* full, std::int32_t fullCount) {
        constexpr std::int32_t kLimit = 5;
        SymbolInfo* top = nullptr;
        std::int32_t count = -1;
        std::int32_t total = -1;
        const bool topFound = db_.FindSymbolsTop(text.c_str(), exchangeKey, keys, kLimit, &top, &count, &total);
        fuzz::Require(topFound == found, "the top-k call and the full search disagree on failure");
        if (!topFound) return;
        const bool agrees = total == fullCount && count == std::min(kLimit, fullCount) &&
                            std::memcmp(top, full, sizeof(SymbolInfo) * static_cast<std::size_t>(count)) == 0;
        FreeResultArray(top);
        fuzz::Require(agrees, "the top-k call is not the start of the full search");
    }

    void Keep(SymbolInfo* records, std::int32_t count) {
        for (std::int32_t i = 0; i < count && answered_.size() < kMostTexts; ++i)
            answered_.emplace_back(records[i].Symbol, strnlen(records[i].Symbol, sizeof records[i].Symbol));
        FreeResultArray(records);
    }

    const SymbolDatabase& db_;
    std::vector<std::string> answered_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::AsText(data, size);
    fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
    scratch.Reset();
    WriteDirectory(scratch, fuzz::SplitPieces(input));

    SymbolDatabase db;
    fuzz::ResetLargestAllocation();
    const bool loads = db.Init(scratch.Path().c_str());
    // Only the load is bounded by the input: an answer may list every symbol of every exchange.
    fuzz::RequireAllocationsBoundedBy(size);
    if (!loads) return 0;
    Queries queries(db);

    std::vector<std::string> keys;
    queries.Exchanges(keys);
    // The group numbers come from the group table itself; no query lists them.
    GroupTree groups;
    if (LoadGroupTable(scratch.Path(), nullptr, groups))
        for (const auto& [key, group] : groups) queries.Group(group->Id);

    const std::vector<std::string> texts = fuzz::TextsFrom(input, kMostTexts);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        queries.LookUp(texts[i]);
        queries.Search(texts[i], keys.empty() ? texts[i] : keys[i % keys.size()]);
    }
    queries.LookUpAll(texts);
    const std::vector<std::string> answered = queries.Answered();
    for (const std::string& symbol : answered) queries.LookUp(symbol);
    queries.LookUpAll(answered);
    return 0;
}
