// Loading SymTbl/Group: the records of the three levels, merging of repeated numbers and codes,
// the numbering in file order, and damaged files.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "groups/group_table_reader.h"
#include "support/test_support.h"

namespace {

namespace w = tessary::writer;
using tessary::Diagnostic;
using tessary::DiagnosticSink;
using tessary::GroupEntry;
using tessary::LeafGroupEntry;
using tessary::SubGroupEntry;
using tessary::GroupTree;
using tessary::testing::Leaf;
using tessary::testing::MakeGroup;
using tessary::testing::Sub;
using tessary::testing::TempDir;

// What a correct writer puts into the length fields.
std::uint32_t LeafLength(const w::LeafGroup& leaf) {
    return static_cast<std::uint32_t>(12 + leaf.Code.size() + leaf.Name.size() + leaf.SymbolList.size());
}
std::uint32_t SubLength(const w::SubGroup& sub) {
    std::uint32_t length = static_cast<std::uint32_t>(16 + sub.Code.size() + sub.Name.size());
    for (const w::LeafGroup& leaf : sub.Leaves) length += 4 + LeafLength(leaf);
    return length;
}
std::uint32_t GroupLength(const w::Group& group) {
    std::uint32_t length = 10;
    for (const w::SubGroup& sub : group.SubGroups) length += 4 + SubLength(sub);
    return length;
}

// Group 1 with G00010 (leaves G10010030 and G10010040) and G00020 (leaf G10020010).
w::GroupTable SmallTable() { return tessary::testing::SmallDirectory().Groups; }

class GroupTableLoad : public ::testing::Test {
protected:
    // Writes `bytes` as the group file and loads it into a fresh tree.
    int Load(const std::string& bytes) {
        tessary::testing::WriteFileBytes(dir_ / "SymTbl/Group", bytes);
        return LoadWritten();
    }
    int Load(const w::GroupTable& table) { return Load(w::RenderGroupTable(table)); }
    int LoadWritten() {
        sink_.Items.clear();
        groups_ = GroupTree{};
        return tessary::LoadGroupTable(dir_.path(), &sink_, groups_) ? 1 : 0;
    }

    const GroupEntry& Group(const std::string& key) const {
        const GroupEntry* group = tessary::FindRecord(groups_, key);
        EXPECT_NE(group, nullptr) << "no group " << key;
        return group != nullptr ? *group : empty_;
    }
    // The subgroup of a group, or the leaf group of a subgroup, with the code.
    template <class Parent>
    static auto Child(const Parent& parent, const std::string& code) {
        return tessary::FindRecord(parent.Children, code);
    }
    std::size_t Count(Diagnostic::Severity level) const {
        std::size_t n = 0;
        for (const Diagnostic& item : sink_.Items) n += item.Level == level ? 1 : 0;
        return n;
    }
    // A damaged file fails with exactly one error.
    void ExpectRejected(const std::string& bytes) {
        EXPECT_EQ(Load(bytes), 0);
        EXPECT_EQ(Count(Diagnostic::Severity::Error), 1u);
    }

    TempDir dir_;
    DiagnosticSink sink_;
    GroupTree groups_;
    GroupEntry empty_;
};

TEST_F(GroupTableLoad, MissingFileOrOneShorterThanTheMagicOrWithAWrongOneFailsAndCreatesNothing) {
    EXPECT_EQ(LoadWritten(), 0);
    ASSERT_EQ(sink_.Items.size(), 1u);
    EXPECT_EQ(sink_.Items[0].File, "SymTbl/Group");
    std::vector<std::string> files;
    for (std::size_t length = 0; length < 4; ++length)
        files.push_back(w::RenderGroupTable({}).substr(0, length));
    for (const std::int32_t magic : {0, 110, 112, -1, 111 << 8, 207}) {
        w::GroupTable table = SmallTable();
        table.Magic = magic;
        files.push_back(w::RenderGroupTable(table));
    }
    for (const std::string& bytes : files) {
        SCOPED_TRACE(bytes.size());
        ExpectRejected(bytes);
        EXPECT_TRUE(groups_.empty());
    }
}

TEST_F(GroupTableLoad, ReadsEveryFieldOfTheThreeLevels) {
    ASSERT_EQ(Load(SmallTable()), 1);
    ASSERT_EQ(groups_.size(), 1u);
    const GroupEntry& group = Group("1");
    EXPECT_EQ(group.Extra[0], 7u);
    EXPECT_EQ(group.Extra[1], 8u);
    ASSERT_EQ(group.Children.size(), 2u);

    const SubGroupEntry* mainland = Child(group, "G00010");
    ASSERT_NE(mainland, nullptr);
    EXPECT_STREQ(mainland->Name, "Mainland");
    EXPECT_EQ(mainland->Extra[0], 1u);
    EXPECT_EQ(mainland->Extra[1], 2u);
    EXPECT_EQ(mainland->Serial, 1);
    ASSERT_EQ(mainland->Children.size(), 2u);

    const LeafGroupEntry* banks = Child(*mainland, "G10010030");
    ASSERT_NE(banks, nullptr);
    EXPECT_STREQ(banks->Name, "Banks");
    EXPECT_EQ(banks->SymbolList, "600000.SH,000001.sz,600036.SH");
    EXPECT_EQ(banks->SymbolListLength, 29);
    EXPECT_EQ(banks->Serial, 1);
    const LeafGroupEntry* tech = Child(*mainland, "G10010040");
    ASSERT_NE(tech, nullptr);
    EXPECT_EQ(tech->Serial, 2);

    const SubGroupEntry* hongKong = Child(group, "G00020");
    ASSERT_NE(hongKong, nullptr);
    EXPECT_EQ(hongKong->Serial, 2);
    ASSERT_NE(Child(*hongKong, "G10020010"), nullptr);
    EXPECT_EQ(Child(*hongKong, "G10020010")->Serial, 1);
}

TEST_F(GroupTableLoad, RecordsWithoutChildrenAnEmptyListAndUnsignedDecimalGroupNumbers) {
    // Group 4 has the smallest Length1, 10.
    ASSERT_EQ(Load(w::GroupTable{111, {MakeGroup(4), MakeGroup(5, {Sub("BARE"), Sub("S", {Leaf("L")})}),
                                       MakeGroup(0xFFFF), MakeGroup(0x8000), MakeGroup(0)}}),
              1);
    EXPECT_EQ(groups_.size(), 5u);
    for (const int id : {65535, 32768, 0, 4}) EXPECT_EQ(Group(std::to_string(id)).Id, id);
    EXPECT_TRUE(Group("4").Children.empty());
    const SubGroupEntry* bare = Child(Group("5"), "BARE");
    ASSERT_NE(bare, nullptr);
    EXPECT_TRUE(bare->Children.empty());
    const LeafGroupEntry* leaf = Child(*Child(Group("5"), "S"), "L");
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->SymbolList, "");
    EXPECT_EQ(leaf->SymbolListLength, 0);
}

TEST_F(GroupTableLoad, RepeatedGroupNumberFillsOneRecord) {
    w::GroupTable table;
    table.Groups.push_back(MakeGroup(1, {Sub("A"), Sub("B")}));
    table.Groups.back().Extra[0] = 10;
    table.Groups.back().Extra[1] = 11;
    table.Groups.push_back(MakeGroup(2, {Sub("OTHER")}));
    table.Groups.push_back(MakeGroup(1, {Sub("C")}));
    table.Groups.back().Extra[0] = 20;
    table.Groups.back().Extra[1] = 21;
    ASSERT_EQ(Load(table), 1);
    ASSERT_EQ(groups_.size(), 2u);
    const GroupEntry& group = Group("1");
    EXPECT_EQ(group.Extra[0], 20u);
    EXPECT_EQ(group.Extra[1], 21u);
    ASSERT_EQ(group.Children.size(), 3u);
    EXPECT_EQ(Child(group, "A")->Serial, 1);
    EXPECT_EQ(Child(group, "B")->Serial, 2);
    EXPECT_EQ(Child(group, "C")->Serial, 1);  // numbered under the later record
}

TEST_F(GroupTableLoad, RepeatedCodeUnderOneParentFillsOneRecord) {
    w::SubGroup first = Sub("X", {Leaf("L1", "A.SH", "old"), Leaf("L2")}, "first");
    first.Extra[0] = 1;
    w::SubGroup second = Sub("X", {Leaf("L3"), Leaf("L1", "B.SH,C.SH", "new")}, "second");
    second.Extra[0] = 2;
    w::GroupTable table;
    table.Groups.push_back(MakeGroup(1, {first, Sub("Y"), second}));
    // Within one subgroup record, too.
    table.Groups.push_back(
        MakeGroup(2, {Sub("S", {Leaf("L", "1.SH", "a"), Leaf("M"), Leaf("L", "22.SH", "b")})}));
    ASSERT_EQ(Load(table), 1);

    const SubGroupEntry* x = Child(Group("1"), "X");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(Group("1").Children.size(), 2u);
    EXPECT_STREQ(x->Name, "second");
    EXPECT_EQ(x->Extra[0], 2u);
    EXPECT_EQ(x->Serial, 3);
    ASSERT_EQ(x->Children.size(), 3u);  // leaves of both records
    EXPECT_EQ(Child(*x, "L2")->Serial, 2);
    EXPECT_EQ(Child(*x, "L3")->Serial, 1);
    const LeafGroupEntry* l1 = Child(*x, "L1");
    EXPECT_STREQ(l1->Name, "new");
    EXPECT_EQ(l1->SymbolList, "B.SH,C.SH");
    EXPECT_EQ(l1->SymbolListLength, 9);
    EXPECT_EQ(l1->Serial, 2);

    const SubGroupEntry* s = Child(Group("2"), "S");
    ASSERT_EQ(s->Children.size(), 2u);
    EXPECT_STREQ(Child(*s, "L")->Name, "b");
    EXPECT_EQ(Child(*s, "L")->SymbolList, "22.SH");
    EXPECT_EQ(Child(*s, "L")->SymbolListLength, 5);
    EXPECT_EQ(Child(*s, "L")->Serial, 3);
}

TEST_F(GroupTableLoad, CodesAreKeptExactlyAsRead) {
    const std::string withNul("A\0B", 3);
    w::GroupTable table;
    table.Groups.push_back(MakeGroup(1, {Sub(" g1 ", {Leaf("g2 "), Leaf(withNul)}), Sub("G1")}));
    ASSERT_EQ(Load(table), 1);
    const SubGroupEntry* padded = Child(Group("1"), " g1 ");
    ASSERT_NE(padded, nullptr);
    EXPECT_STREQ(padded->Code, " g1 ");
    EXPECT_NE(Child(Group("1"), "G1"), padded);
    ASSERT_NE(Child(*padded, "g2 "), nullptr);
    // The key holds all three bytes; the field ends at the NUL.
    const LeafGroupEntry* nul = Child(*padded, withNul);
    ASSERT_NE(nul, nullptr);
    EXPECT_STREQ(nul->Code, "A");
    EXPECT_EQ(Child(*padded, "A"), nullptr);
}

TEST_F(GroupTableLoad, CodesUpTo16AndNamesUpTo48BytesLoadLongerOnesFail) {
    const std::string code(16, 'C');
    const std::string name(48, 'n');
    ASSERT_EQ(Load(w::GroupTable{111, {MakeGroup(1, {Sub(code, {Leaf(code, "", name)}, name)})}}), 1);
    const SubGroupEntry* sub = Child(Group("1"), code);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(std::string(sub->Code), code);
    EXPECT_EQ(std::string(sub->Name), name);
    const LeafGroupEntry* leaf = Child(*sub, code);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(std::string(leaf->Code), code);
    EXPECT_EQ(std::string(leaf->Name), name);

    const std::string code17 = code + 'C';
    const std::string name49 = name + 'n';
    for (const w::Group& group : {MakeGroup(1, {Sub(code17)}), MakeGroup(1, {Sub("S", {}, name49)}),
                                  MakeGroup(1, {Sub("S", {Leaf(code17)})}),
                                  MakeGroup(1, {Sub("S", {Leaf("L", "", name49)})})}) {
        SCOPED_TRACE(group.SubGroups[0].Code + " " + group.SubGroups[0].Name);
        ExpectRejected(w::RenderGroupTable(w::GroupTable{111, {group}}));
    }
}

// ---- Diagnostics ----

TEST_F(GroupTableLoad, ErrorNamesTheRecordAndTheOffset) {
    w::GroupTable table = SmallTable();
    const std::string good = w::RenderGroupTable(table);
    ASSERT_EQ(good.size(), 8 + GroupLength(table.Groups[0]));
    table.Groups[0].SubGroups[0].Length = 900;
    ASSERT_EQ(Load(table), 0);
    ASSERT_EQ(sink_.Items.size(), 1u);
    const Diagnostic& error = sink_.Items[0];
    EXPECT_EQ(error.Level, Diagnostic::Severity::Error);
    EXPECT_EQ(error.File, "SymTbl/Group");
    // magic, Length1, Id and Extra come before the first subgroup's length
    EXPECT_EQ(error.Offset, 18);
    EXPECT_EQ(error.Message, "subgroup length 900 runs past the end of group 1 (ends at " +
                                 std::to_string(good.size()) + ")");
}

TEST_F(GroupTableLoad, WarnsAboutCodesTheQueriesCannotReach) {
    w::GroupTable table;
    table.Groups.push_back(MakeGroup(1, {Sub("g00010", {Leaf("G1"), Leaf("g2")}), Sub("", {Leaf("G3")})}));
    ASSERT_EQ(Load(table), 1);
    EXPECT_EQ(Count(Diagnostic::Severity::Error), 0u);
    ASSERT_EQ(Count(Diagnostic::Severity::Warning), 3u);
    EXPECT_NE(sink_.Items[0].Message.find("g00010"), std::string::npos);
    EXPECT_EQ(sink_.Items[0].Offset, 26);  // the code's first byte
    EXPECT_NE(sink_.Items[1].Message.find("g2"), std::string::npos);
    EXPECT_NE(sink_.Items[2].Message.find("empty code"), std::string::npos);
}

// ---- Damaged files ----

// That no damage crashes the reader, reads past the file or asks for more memory than the file
// allows is the group table fuzz target's to show.
TEST_F(GroupTableLoad, LengthsThatDoNotAddUpFail) {
    using G = w::Group;  // of the small table
    const std::pair<const char*, void (*)(G&)> cases[] = {
        {"Length1 overruns the file", [](G& g) { g.Length = GroupLength(g) + 1; }},
        {"Length1 of 4 GB", [](G& g) { g.Length = 0xFFFFFFFF; }},
        {"Length1 below the group number and extra words", [](G& g) { g.Length = 9; }},
        {"Length1 one byte short", [](G& g) { g.Length = GroupLength(g) - 1; }},
        {"Length2 overruns its group", [](G& g) { g.SubGroups[0].Length = SubLength(g.SubGroups[0]) + 1; }},
        {"Length2 of 4 GB", [](G& g) { g.SubGroups[1].Length = 0xFFFFFFFF; }},
        {"Length2 one byte short", [](G& g) { g.SubGroups[0].Length = SubLength(g.SubGroups[0]) - 1; }},
        {"Length3 overruns its subgroup",
         [](G& g) { g.SubGroups[1].Leaves[0].Length = LeafLength(g.SubGroups[1].Leaves[0]) + 1; }},
        {"Length3 one byte short of its fields",
         [](G& g) { g.SubGroups[0].Leaves[1].Length = LeafLength(g.SubGroups[0].Leaves[1]) - 1; }},
        {"Length3 covers the next leaf's length field",
         [](G& g) { g.SubGroups[0].Leaves[0].Length = LeafLength(g.SubGroups[0].Leaves[0]) + 4; }},
        {"ListLength of 4 GB", [](G& g) { g.SubGroups[0].Leaves[0].ListLength = 0xFFFFFFFF; }},
        {"ListLength one byte long", [](G& g) { g.SubGroups[1].Leaves[0].ListLength = 18; }},
        {"subgroup CodeLength of 4 GB", [](G& g) { g.SubGroups[0].CodeLength = 0xFFFFFFFF; }},
        {"subgroup NameLength one byte long", [](G& g) { g.SubGroups[0].NameLength = 9; }},
        {"leaf NameLength of 2 GB", [](G& g) { g.SubGroups[0].Leaves[0].NameLength = 0x80000000; }},
        {"leaf CodeLength within the limit but past the record",
         [](G& g) { g.SubGroups[1].Leaves[0].CodeLength = 16; }},
    };
    for (const auto& [what, damage] : cases) {
        SCOPED_TRACE(what);
        w::GroupTable table = SmallTable();
        damage(table.Groups[0]);
        ExpectRejected(w::RenderGroupTable(table));
    }
}

TEST_F(GroupTableLoad, FileCutInsideAnyFieldOrWithBytesBehindFails) {
    // One group, so the only cut that leaves a whole file is the one right behind the magic: an
    // empty tree without complaint.
    const std::string good = w::RenderGroupTable(SmallTable());
    EXPECT_EQ(Load(good.substr(0, 4)), 1);
    EXPECT_TRUE(groups_.empty());
    EXPECT_TRUE(sink_.Items.empty());
    for (std::size_t length = 5; length < good.size(); ++length) {
        SCOPED_TRACE(length);
        ExpectRejected(good.substr(0, length));
    }
    for (const std::size_t extra : {1, 3, 4, 13}) {
        SCOPED_TRACE(extra);
        ExpectRejected(good + std::string(extra, '\0'));
    }
}

}  // namespace
