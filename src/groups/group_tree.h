// The group tree read from SymTbl/Group: numbered groups, their coded subgroups, and the coded
// leaf groups under those, which carry the lists of member symbols.
//
// Children are keyed by their codes exactly as the file holds them (neither trimmed nor
// case-folded); the queries list them by Serial, which is their position in the file under the
// parent record that last wrote them, so the key order of the maps never shows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/owning_map.h"

namespace tessary {

// The widest code and name a correct file holds; the fields add the terminator.
inline constexpr std::uint32_t kGroupCodeMaxLength = 16;
inline constexpr std::uint32_t kGroupNameMaxLength = 48;

struct LeafGroupEntry {
    char Code[kGroupCodeMaxLength + 1] = {};
    char Name[kGroupNameMaxLength + 1] = {};
    // The member symbols as read ("3481.tw,0001.hk,600000.SH"); may hold any bytes, NUL
    // included, so SymbolListLength and not the first NUL says where it ends.
    std::string SymbolList;
    std::int32_t SymbolListLength = 0;
    std::int32_t Serial = 0;
};

struct SubGroupEntry {
    char Code[kGroupCodeMaxLength + 1] = {};
    char Name[kGroupNameMaxLength + 1] = {};
    std::uint32_t Extra[2] = {};  // stored as read; no query reports them
    OwningMap<LeafGroupEntry> Children;
    std::int32_t Serial = 0;
};

struct GroupEntry {
    std::uint16_t Id = 0;
    std::uint32_t Extra[2] = {};  // stored as read; no query reports them
    OwningMap<SubGroupEntry> Children;
};

// The groups by number, in decimal.
using GroupTree = OwningMap<GroupEntry>;

// One string of a leaf group's symbol list, taken apart for the symbol lookup: the code part is
// the text before the last '.', as written; the exchange part the text after it, upper-cased.
// Without a '.' the code part is empty and the exchange part is the whole string. Empty parts
// are not turned away: the lookup simply finds nothing for them unless a table holds a blank
// code.
struct GroupMember {
    std::string_view Code;
    std::string Exchange;
};
[[nodiscard]] GroupMember SplitGroupMember(std::string_view member);

}  // namespace tessary
