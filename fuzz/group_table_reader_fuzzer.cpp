// Fuzz target: the group table reader, fed the bytes of SymTbl/Group, and the two group queries
// on every group, subgroup and leaf group it loads.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/result_array.h"
#include "fuzz_support.h"
#include "groups/group_queries.h"
#include "groups/group_table_reader.h"

using namespace tessary;

namespace {

void AskEveryGroup(const GroupTree& groups) {
    std::vector<GroupMember> members;
    for (const auto& [key, group] : groups) {
        SubGroupInfo* subgroups = nullptr;
        std::int32_t count = 0;
        fuzz::Require(GetSubGroup(groups, group->Id, "", &subgroups, &count), "a loaded group cannot be listed");
        for (const auto& [subKey, subgroup] : group->Children) {
            SubGroupInfo* leaves = nullptr;
            if (GetSubGroup(groups, group->Id, subgroup->Code, &leaves, nullptr)) FreeResultArray(leaves);
            for (const auto& [leafKey, leaf] : subgroup->Children)
                (void)FindGroupMembers(groups, group->Id, leaf->Code, members);
        }
        FreeResultArray(subgroups);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UseDoubleByteLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ScratchDirectory& scratch = fuzz::ScratchDirectory::Get();
    scratch.Reset();
    scratch.Write("SymTbl/Group", fuzz::AsText(data, size));

    DiagnosticSink sink;
    GroupTree groups;
    fuzz::ResetLargestAllocation();
    const bool loads = LoadGroupTable(scratch.Path(), &sink, groups);
    fuzz::RequireAllocationsBoundedBy(size);
    bool explained = loads;
    for (const Diagnostic& item : sink.Items) explained |= item.Level == Diagnostic::Severity::Error;
    fuzz::Require(explained, "SymTbl/Group fails without an error");

    // Listening must not change what loads.
    GroupTree quiet;
    fuzz::Require(LoadGroupTable(scratch.Path(), nullptr, quiet) == loads && quiet.size() == groups.size(),
                  "SymTbl/Group loads differently without diagnostics");

    if (loads) {
        bool alternate = false;
        ReportUnresolvedMembers(groups, [&alternate](const GroupMember&) { return alternate = !alternate; }, &sink);
        AskEveryGroup(groups);
    }
    return 0;
}
