// Reading SymTbl/Group: the group tree of a data directory.
#pragma once

#include <functional>
#include <string>

#include "common/data_file.h"
#include "common/diagnostics.h"
#include "groups/group_tree.h"

namespace tessary {

// Reads `dataDirectory`/SymTbl/Group into `out`, which should be empty. False at the first
// damage found (wrong magic, a length that runs past its parent record, ...); `diagnostics`,
// when given, is told why, and what loads but looks wrong.
[[nodiscard]] bool LoadGroupTable(DataRoot& dataDirectory, DiagnosticSink* diagnostics, GroupTree& out);
[[nodiscard]] bool LoadGroupTable(const std::string& dataDirectory, DiagnosticSink* diagnostics, GroupTree& out);

// Warns in `diagnostics` (when given) of the leaf group members for which `resolves` is false:
// those that name no loaded symbol, which every answer silently leaves out.
void ReportUnresolvedMembers(const GroupTree& groups, const std::function<bool(const GroupMember&)>& resolves,
                             DiagnosticSink* diagnostics);

}  // namespace tessary
