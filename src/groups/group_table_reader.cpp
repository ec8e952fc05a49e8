// Reads SymTbl/Group into the group map.
//
// The file is the magic 111 followed by nested length-prefixed records: groups, their subgroups,
// the subgroups' leaf groups. The whole file is in memory; every length is checked against what
// is left of its parent record (and so of the file) before the bytes it announces are touched,
// and a record must end exactly where its parent's length says. A damaged file therefore ends
// the load with false after reading at most the file once: no length can make the reader run past
// the end, allocate more than the file holds or loop.
#include "groups/group_table_reader.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "common/data_file.h"
#include "common/decimal.h"
#include "common/split_list.h"
#include "common/text.h"

namespace tessary {
namespace {

constexpr const char* kGroupFile = "SymTbl/Group";
constexpr std::int32_t kGroupMagic = 111;

// The fixed part of a group (number and two extra words) and of a leaf group (the code, name and
// list length fields).
constexpr std::uint32_t kGroupFixedBytes = 2 + 8;
constexpr std::uint32_t kLeafFixedBytes = 4 + 4 + 4;

// How many unresolved members the diagnostics spell out before they only count the rest.
constexpr std::size_t kUnresolvedMemberReports = 20;

// A record that encloses the ones being read: where it ends, and how a person would name it.
struct Scope {
    std::size_t End;
    std::string Name;
};

void CopyCode(char (&field)[kGroupCodeMaxLength + 1], std::string_view bytes) {
    std::memcpy(field, bytes.data(), bytes.size());
    field[bytes.size()] = '\0';
}

void CopyName(char (&field)[kGroupNameMaxLength + 1], std::string_view bytes) {
    std::memcpy(field, bytes.data(), bytes.size());
    field[bytes.size()] = '\0';
}

class GroupTableParser {
public:
    GroupTableParser(GroupTree& groups, const FileReport& report, const unsigned char* data, std::size_t size)
        : groups_(groups), report_(report), data_(data), size_(size) {}

    // Reads the records behind the magic into the group map; false at the first damage found.
    [[nodiscard]] bool Parse() {
        const Scope file{size_, "the file"};
        while (position_ < size_)
            if (!ParseGroup(file)) return false;
        return true;
    }

private:
    bool Fail(std::size_t offset, std::string message) {
        report_.Error(static_cast<std::int64_t>(offset), 0, std::move(message));
        return false;
    }

    void Warn(std::size_t offset, std::string message) {
        report_.Warning(static_cast<std::int64_t>(offset), 0, std::move(message));
    }

    static std::string EndOf(const Scope& scope) {
        return scope.Name + " (ends at " + std::to_string(scope.End) + ")";
    }

    bool ReadU32(const Scope& scope, const char* what, std::uint32_t& value) {
        if (scope.End - position_ < 4)
            return Fail(position_, std::string(what) + " runs past the end of " + EndOf(scope));
        const unsigned char* p = data_ + position_;
        value = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
        position_ += 4;
        return true;
    }

    bool ReadBytes(const Scope& scope, const std::string& what, std::size_t length, std::string_view& bytes) {
        if (length > scope.End - position_)
            return Fail(position_, what + " (" + std::to_string(length) + " bytes) runs past the end of " +
                                       EndOf(scope));
        bytes = std::string_view(reinterpret_cast<const char*>(data_) + position_, length);
        position_ += length;
        return true;
    }

    // Reads a length field and checks that the bytes it announces fit in `scope`; `end` receives
    // the offset where they end.
    bool ReadRecordLength(const Scope& scope, const char* what, std::uint32_t& length, std::size_t& end) {
        const std::size_t at = position_;
        if (!ReadU32(scope, what, length)) return false;
        if (length > scope.End - position_)
            return Fail(at, std::string(what) + " " + std::to_string(length) + " runs past the end of " +
                                EndOf(scope));
        end = position_ + length;
        return true;
    }

    // A length-prefixed text of at most `maxLength` bytes.
    bool ReadText(const Scope& scope, const std::string& what, std::uint32_t maxLength,
                  std::string_view& text) {
        const std::size_t at = position_;
        std::uint32_t length = 0;
        if (!ReadU32(scope, (what + " length").c_str(), length)) return false;
        if (length > maxLength)
            return Fail(
                at, what + " length " + std::to_string(length) + " is above " + std::to_string(maxLength));
        return ReadBytes(scope, what, length, text);
    }

    // Codes are kept exactly as read, but the queries look up the caller's code upper-cased, so
    // a record whose code is not all upper case can never be reached.
    void WarnIfUnreachable(std::size_t offset, const std::string& what, std::string_view code) {
        if (report_.Active() && text::ToUpper(code) != code)
            Warn(offset, what + " " + std::string(code) +
                             " holds lower-case letters; the queries upper-case the code they are given, so "
                             "they can never reach it");
    }

    bool ParseGroup(const Scope& file) {
        const std::size_t at = position_;
        std::uint32_t length = 0;
        std::size_t end = 0;
        if (!ReadRecordLength(file, "group length", length, end)) return false;
        if (length < kGroupFixedBytes)
            return Fail(at, "group length " + std::to_string(length) +
                                " is too short for the group number and the two extra words (10 bytes)");
        const std::uint32_t id = static_cast<std::uint32_t>(data_[position_]) |
                                 static_cast<std::uint32_t>(data_[position_ + 1]) << 8;
        position_ += 2;
        const std::string key = DecimalKey(static_cast<std::int32_t>(id));
        Scope group{end, "group " + key};
        std::uint32_t extra[2] = {};
        if (!ReadU32(group, "extra word", extra[0]) || !ReadU32(group, "extra word", extra[1])) return false;

        GroupEntry* entry = FindOrCreateRecord(groups_, key);
        if (entry == nullptr) return Fail(at, "out of memory");
        entry->Id = static_cast<std::uint16_t>(id);
        entry->Extra[0] = extra[0];
        entry->Extra[1] = extra[1];

        std::int32_t serial = 1;
        while (position_ < group.End)
            if (!ParseSubGroup(group, *entry, serial++)) return false;
        return true;
    }

    bool ParseSubGroup(const Scope& group, GroupEntry& parent, std::int32_t serial) {
        const std::size_t at = position_;
        std::uint32_t length = 0;
        std::size_t end = 0;
        if (!ReadRecordLength(group, "subgroup length", length, end)) return false;
        Scope subgroup{end, "the subgroup at " + std::to_string(at) + " of " + group.Name};
        std::string_view code;
        std::string_view name;
        std::uint32_t extra[2] = {};
        const std::size_t codeAt = position_ + 4;
        if (!ReadText(subgroup, "subgroup code", kGroupCodeMaxLength, code)) return false;
        subgroup.Name = "subgroup " + std::string(code) + " of " + group.Name;
        if (!ReadText(subgroup, "subgroup name", kGroupNameMaxLength, name)) return false;
        if (!ReadU32(subgroup, "extra word", extra[0]) || !ReadU32(subgroup, "extra word", extra[1]))
            return false;

        SubGroupEntry* entry = FindOrCreateRecord(parent.Children, code);
        if (entry == nullptr) return Fail(at, "out of memory");
        CopyCode(entry->Code, code);
        CopyName(entry->Name, name);
        entry->Extra[0] = extra[0];
        entry->Extra[1] = extra[1];
        entry->Serial = serial;
        if (code.empty())
            Warn(codeAt, "a subgroup of " + group.Name +
                             " has an empty code; the subgroup query can never reach its leaf groups");
        else
            WarnIfUnreachable(codeAt, "subgroup code", code);

        std::int32_t leafSerial = 1;
        while (position_ < subgroup.End)
            if (!ParseLeafGroup(subgroup, *entry, leafSerial++)) return false;
        return true;
    }

    bool ParseLeafGroup(const Scope& subgroup, SubGroupEntry& parent, std::int32_t serial) {
        const std::size_t at = position_;
        std::uint32_t length = 0;
        std::size_t end = 0;
        if (!ReadRecordLength(subgroup, "leaf group length", length, end)) return false;
        Scope leaf{end, "the leaf group at " + std::to_string(at) + " of " + subgroup.Name};
        std::string_view code;
        std::string_view name;
        std::string_view list;
        std::uint32_t listLength = 0;
        const std::size_t codeAt = position_ + 4;
        if (!ReadText(leaf, "leaf group code", kGroupCodeMaxLength, code)) return false;
        leaf.Name = "leaf group " + std::string(code) + " of " + subgroup.Name;
        if (!ReadText(leaf, "leaf group name", kGroupNameMaxLength, name)) return false;
        const std::size_t listAt = position_;
        if (!ReadU32(leaf, "symbol list length", listLength)) return false;
        if (!ReadBytes(leaf, "symbol list", listLength, list)) return false;
        // A leaf group is its fields and nothing else; a length that promises more would leave
        // bytes no field accounts for, which only a damaged file has.
        if (position_ != leaf.End)
            return Fail(at, "leaf group length " + std::to_string(length) +
                                " disagrees with its fields, which take " +
                                std::to_string(kLeafFixedBytes + code.size() + name.size() + listLength) +
                                " bytes");
        if (listLength > static_cast<std::uint32_t>(INT32_MAX))
            return Fail(listAt, "symbol list length " + std::to_string(listLength) + " is above 2 GiB");

        LeafGroupEntry* entry = FindOrCreateRecord(parent.Children, code);
        if (entry == nullptr) return Fail(at, "out of memory");
        CopyCode(entry->Code, code);
        CopyName(entry->Name, name);
        entry->SymbolList.assign(list);
        entry->SymbolListLength = static_cast<std::int32_t>(listLength);
        entry->Serial = serial;
        WarnIfUnreachable(codeAt, "leaf group code", code);
        return true;
    }

    GroupTree& groups_;
    const FileReport& report_;
    const unsigned char* data_;
    std::size_t size_;
    std::size_t position_ = 4;  // behind the magic
};

std::string QuoteIfPadded(std::string_view member) {
    std::string text(member);
    if (member.front() == ' ' || member.back() == ' ') {
        text.insert(text.begin(), '"');
        text.push_back('"');
    }
    return text;
}

// A leaf group code under several subgroups of one group: the group symbol query, which is
// given only the group and the leaf code, answers from the last of them in code order, and the
// members of the others can never be listed.
void ReportSharedLeafCodes(const GroupTree& groups, const FileReport& report) {
    for (const auto& [groupKey, group] : groups) {
        std::map<std::string_view, std::vector<std::string_view>> subgroupsByLeaf;
        for (const auto& [subKey, subgroup] : group->Children)
            for (const auto& [leafKey, leaf] : subgroup->Children) subgroupsByLeaf[leafKey].push_back(subKey);
        for (const auto& [leafKey, subKeys] : subgroupsByLeaf) {
            if (subKeys.size() < 2) continue;
            std::string names;
            for (const std::string_view subKey : subKeys) {
                if (!names.empty()) names += ", ";
                names += subKey;
            }
            report.Warning(-1, 0, "leaf group " + std::string(leafKey) + " of group " + groupKey + " is under " +
                                      std::to_string(subKeys.size()) + " subgroups (" + names +
                                      "); its symbols are always those of " + std::string(subKeys.back()));
        }
    }
}

}  // namespace

GroupMember SplitGroupMember(std::string_view member) {
    const std::ptrdiff_t dot = text::ReverseFind(member, '.');
    if (dot < 0) return {std::string_view(), text::ToUpper(member)};
    const auto at = static_cast<std::size_t>(dot);
    return {member.substr(0, at), text::ToUpper(member.substr(at + 1))};
}

bool LoadGroupTable(const std::string& dataDirectory, DiagnosticSink* diagnostics, GroupTree& out) {
    DataRoot root(dataDirectory);
    return LoadGroupTable(root, diagnostics, out);
}

bool LoadGroupTable(DataRoot& dataDirectory, DiagnosticSink* diagnostics, GroupTree& out) {
    const FileReport report(diagnostics, kGroupFile);

    DataFile file;
    if (!file.Open(dataDirectory, kGroupFile)) return report.Error(-1, 0, "cannot be opened: " + file.Problem());
    const std::size_t size = file.Length();
    if (size < 4) return report.Error(0, 0, "is " + std::to_string(size) + " bytes long, too short for the magic");
    const unsigned char* data = file.Data();
    const auto magic = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
        static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24);
    if (magic != kGroupMagic) return report.Error(0, 0, "magic is " + std::to_string(magic) + ", expected 111");

    try {
        GroupTableParser parser(out, report, data, size);
        if (!parser.Parse()) return false;
        if (report.Active()) ReportSharedLeafCodes(out, report);
    } catch (const std::bad_alloc&) {
        return report.Error(-1, 0, "out of memory");
    }
    return true;
}

void ReportUnresolvedMembers(const GroupTree& groups, const std::function<bool(const GroupMember&)>& resolves,
                             DiagnosticSink* diagnostics) {
    const FileReport report(diagnostics, kGroupFile);
    if (!report.Active()) return;
    std::size_t unresolved = 0;
    std::vector<std::string_view> members;
    for (const auto& [groupKey, group] : groups) {
        for (const auto& [subKey, subgroup] : group->Children) {
            for (const auto& [leafKey, leaf] : subgroup->Children) {
                SplitList(leaf->SymbolList, ',', members);
                for (const std::string_view member : members) {
                    if (resolves(SplitGroupMember(member))) continue;
                    if (++unresolved <= kUnresolvedMemberReports)
                        report.Warning(-1, 0,
                                             "leaf group " + leafKey + " of group " + groupKey + " names " +
                                                 QuoteIfPadded(member) + ", which no symbol table holds");
                }
            }
        }
    }
    if (unresolved > kUnresolvedMemberReports)
        report.Warning(-1, 0,
                             "and " + std::to_string(unresolved - kUnresolvedMemberReports) +
                                 " more leaf group members that no symbol table holds");
}

}  // namespace tessary
