// The two group queries: a level of the group tree, and the members of a leaf group.
#include "groups/group_queries.h"

#include <cstring>
#include <string>

#include "common/decimal.h"
#include "common/result_array.h"
#include "common/split_list.h"
#include "common/text.h"

namespace tessary {
namespace {

const GroupEntry* FindGroup(const GroupTree& groups, std::int32_t groupId) {
    return FindRecord(groups, DecimalKey(groupId));
}

template <class Entry>
bool HandOutSubGroupInfos(const std::vector<const Entry*>& entries, std::int32_t groupId, bool isBranch,
                          SubGroupInfo** result, std::int32_t* count) {
    return HandOutResultArray(
        entries.size(),
        [&](SubGroupInfo& record, std::size_t i) {
            record.GroupId = static_cast<std::uint16_t>(groupId);
            // The entry's fields always end in a NUL within their width, which the copy takes along.
            std::memcpy(record.Code, entries[i]->Code, std::strlen(entries[i]->Code) + 1);
            std::memcpy(record.Name, entries[i]->Name, std::strlen(entries[i]->Name) + 1);
            record.IsBranch = isBranch ? 1 : 0;
        },
        result, count);
}

}  // namespace

bool GetSubGroup(const GroupTree& groups, std::int32_t groupId, const char* code, SubGroupInfo** result,
                 std::int32_t* count) {
    if (result == nullptr) return false;
    const GroupEntry* group = FindGroup(groups, groupId);
    if (group == nullptr) return false;
    if (code == nullptr || *code == '\0')
        return HandOutSubGroupInfos(InSerialOrder(group->Children), groupId, true, result, count);

    const SubGroupEntry* subgroup = FindRecord(group->Children, text::ToUpper(code));
    if (subgroup == nullptr) return false;
    return HandOutSubGroupInfos(InSerialOrder(subgroup->Children), groupId, false, result, count);
}

bool FindGroupMembers(const GroupTree& groups, std::int32_t groupId, const char* code,
                      std::vector<GroupMember>& members) {
    members.clear();
    const GroupEntry* group = FindGroup(groups, groupId);
    if (group == nullptr) return false;
    const std::string upper = text::ToUpper(code == nullptr ? "" : code);

    // Leaf group codes are not indexed per group: every subgroup is searched, and when several
    // hold the code, the last one visited decides.
    std::vector<std::string_view> pieces;
    for (const auto& [subKey, subgroup] : group->Children) {
        if (!subgroup) continue;
        if (const LeafGroupEntry* leaf = FindRecord(subgroup->Children, upper))
            SplitList(leaf->SymbolList, ',', pieces);
    }
    members.reserve(pieces.size());
    for (const std::string_view piece : pieces) members.push_back(SplitGroupMember(piece));
    return true;
}

}  // namespace tessary
