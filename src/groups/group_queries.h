// The two group queries, behind TSYGetSubGroup and TSYGetGroupSymbol. The second ends in symbol
// lookups, which belong to the symbol tables: this side only names the members.
#pragma once

#include <cstdint>
#include <vector>

#include "groups/group_tree.h"
#include "tessary.h"

namespace tessary {

// Without `code` (null or empty): the subgroups of group `groupId`, as branches. With it: the
// leaf groups of the subgroup with that code (upper-cased), as leaves. Both in file order. False
// when the group or the subgroup does not exist, for a null `result`, or without memory.
[[nodiscard]] bool GetSubGroup(const GroupTree& groups, std::int32_t groupId, const char* code,
                               SubGroupInfo** result, std::int32_t* count);

// Replaces `members` with the members of the leaf group with code `code` (upper-cased; null
// reads as empty) in group `groupId`. When several subgroups hold the code, the last one in key
// order decides; none gives no members. False when the group does not exist. The members point
// into `groups`.
[[nodiscard]] bool FindGroupMembers(const GroupTree& groups, std::int32_t groupId, const char* code,
                                    std::vector<GroupMember>& members);

}  // namespace tessary
