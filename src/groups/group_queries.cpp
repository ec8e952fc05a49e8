// The two group queries: a level of the group tree, and the symbols of a leaf group.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/result_array.h"
#include "common/split_list.h"
#include "common/text.h"
#include "frame/symbol_database.h"
#include "symbols/symbol_info.h"

namespace tessary {
namespace {

const GroupEntry* FindGroup(const OwningMap<GroupEntry>& groups, std::int32_t groupId) {
    char key[16];
    std::snprintf(key, sizeof key, "%d", groupId);
    return FindRecord(groups, key);
}

// The children of a record in file order. The maps are ordered by code; Serial is the position
// in the file, and the stable sort keeps codes that a repeated parent record numbered alike in
// code order, so equal Serials still give the same answer on every call.
template <class Entry>
std::vector<const Entry*> InFileOrder(const OwningMap<Entry>& children) {
    std::vector<const Entry*> entries;
    entries.reserve(children.size());
    for (const auto& [key, entry] : children)
        if (entry) entries.push_back(entry.get());
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry* a, const Entry* b) { return a->Serial < b->Serial; });
    return entries;
}

template <class Entry>
int HandOutSubGroupInfos(const std::vector<const Entry*>& entries, std::int32_t groupId,
                         std::int32_t isBranch, SubGroupInfo** result, std::int32_t* count) {
    auto* records = static_cast<SubGroupInfo*>(AllocateResultArray(entries.size(), sizeof(SubGroupInfo)));
    if (records == nullptr) return 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SubGroupInfo& record = records[i];
        record.GroupId = static_cast<std::uint16_t>(groupId);
        // The entry's fields always end in a NUL within their width, which the copy takes along.
        std::memcpy(record.Code, entries[i]->Code, std::strlen(entries[i]->Code) + 1);
        std::memcpy(record.Name, entries[i]->Name, std::strlen(entries[i]->Name) + 1);
        record.IsBranch = isBranch;
    }
    *result = records;
    if (count != nullptr) *count = static_cast<std::int32_t>(entries.size());
    return 1;
}

}  // namespace

int SymbolDatabase::GetSubGroup(std::int32_t groupId, const char* code, SubGroupInfo** result,
                                std::int32_t* count) const {
    if (result == nullptr) return 0;
    const GroupEntry* group = FindGroup(Groups, groupId);
    if (group == nullptr) return 0;
    if (code == nullptr || *code == '\0')
        return HandOutSubGroupInfos(InFileOrder(group->Children), groupId, 1, result, count);

    const SubGroupEntry* subgroup = FindRecord(group->Children, text::ToUpper(code));
    if (subgroup == nullptr) return 0;
    return HandOutSubGroupInfos(InFileOrder(subgroup->Children), groupId, 0, result, count);
}

int SymbolDatabase::GetGroupSymbol(std::int32_t groupId, const char* code, SymbolInfo** result,
                                   std::int32_t* count) const {
    if (result == nullptr) return 0;
    const GroupEntry* group = FindGroup(Groups, groupId);
    if (group == nullptr) return 0;
    const std::string upper = text::ToUpper(code == nullptr ? "" : code);

    // Leaf group codes are not indexed per group: every subgroup is searched, and when several
    // hold the code, the last one visited decides.
    std::vector<std::string_view> members;
    for (const auto& [subKey, subgroup] : group->Children) {
        if (!subgroup) continue;
        if (const LeafGroupEntry* leaf = FindRecord(subgroup->Children, upper))
            SplitList(leaf->SymbolList, ',', members);
    }

    std::vector<const SymbolEntry*> found;
    found.reserve(members.size());
    for (const std::string_view member : members) {
        const GroupMember parts = SplitGroupMember(member);
        if (const SymbolEntry* entry = LookUpSymbol(parts.Code, parts.Exchange)) found.push_back(entry);
    }

    auto* records = static_cast<SymbolInfo*>(AllocateResultArray(found.size(), sizeof(SymbolInfo)));
    if (records == nullptr) return 0;
    for (std::size_t i = 0; i < found.size(); ++i) FillSymbolInfo(records[i], *found[i]);
    *result = records;
    if (count != nullptr) *count = static_cast<std::int32_t>(found.size());
    return 1;
}

}  // namespace tessary
