// Fuzz target: the group table reader, fed the bytes of SymTbl/Group, and the two group queries
// on every group, subgroup and leaf group it loads.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/result_array.h"
#include "fuzz_support.h"
#include "groups/group_queries.h"
#include "groups/group_table_reader.h"

using namespace tessary;

namespace {

template <class Entry>
bool FieldsEndInside(const Entry& entry) {
    return std::strlen(entry.Code) < sizeof entry.Code && std::strlen(entry.Name) < sizeof entry.Name;
}

// What loads holds together: every text ends inside its field, every list is as long as it
// says, and the queries walk every group, subgroup and leaf group.
void CheckEveryGroup(const GroupTree& groups) {
    std::vector<GroupMember> members;
    for (const auto& [key, group] : groups) {
        SubGroupInfo* subgroups = nullptr;
        std::int32_t count = -1;
        fuzz::Require(GetSubGroup(groups, group->Id, "", &subgroups, &count) &&
                          static_cast<std::size_t>(count) == group->Children.size(),
                      "the subgroups of a loaded group cannot be listed");
        FreeResultArray(subgroups);
        for (const auto& [subKey, subgroup] : group->Children) {
            fuzz::Require(FieldsEndInside(*subgroup), "a subgroup's code or name overruns its field");
            SubGroupInfo* leaves = nullptr;
            if (GetSubGroup(groups, group->Id, subgroup->Code, &leaves, nullptr)) FreeResultArray(leaves);
            for (const auto& [leafKey, leaf] : subgroup->Children) {
                fuzz::Require(FieldsEndInside(*leaf), "a leaf group's code or name overruns its field");
                fuzz::Require(static_cast<std::size_t>(leaf->SymbolListLength) == leaf->SymbolList.size(),
                              "a symbol list is not as long as it says");
                fuzz::Require(FindGroupMembers(groups, group->Id, leafKey.c_str(), members),
                              "the members of a loaded leaf group cannot be listed");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DiagnosticSink sink;
    GroupTree groups;
    const bool loads = fuzz::LoadOneFile("SymTbl/Group", data, size, sink,
                                         [&](const std::string& path, DiagnosticSink& s) {
                                             return LoadGroupTable(path, &s, groups);
                                         });
    const std::string& scratchPath = fuzz::ScratchDirectory::Get().Path();

    // Listening must not change what loads.
    GroupTree quiet;
    fuzz::Require(LoadGroupTable(scratchPath, nullptr, quiet) == loads && quiet.size() == groups.size(),
                  "SymTbl/Group loads differently without diagnostics");

    if (loads) {
        bool alternate = false;
        ReportUnresolvedMembers(groups, [&alternate](const GroupMember&) { return alternate = !alternate; }, &sink);
        CheckEveryGroup(groups);
    }
    return 0;
}
