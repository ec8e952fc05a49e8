// The subgroup query and the group symbol query, on a fully loaded database.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/database_fixture.h"

namespace {

namespace w = tessary::writer;
using tessary::SymbolDatabase;
using tessary::testing::Bytes;
using tessary::testing::Leaf;
using tessary::testing::MakeGroup;
using tessary::testing::Nul;
using tessary::testing::Results;
using tessary::testing::Sub;
using tessary::testing::SymbolTexts;
using tessary::testing::TempDir;
using Strings = std::vector<std::string>;

class GroupQueries : public ::testing::Test {
protected:
    // Writes the small directory with `groups` as its group tree and initialises a database.
    void Load(const w::GroupTable& groups, const std::function<void(w::DataDirectory&)>& change = {}) {
        w::DataDirectory directory = tessary::testing::SmallDirectory();
        directory.Groups = groups;
        if (change) change(directory);
        ASSERT_TRUE(tessary::testing::WriteAndInit(database_, dir_, directory, diagnostics_));
    }
    void LoadSmall() { Load(tessary::testing::SmallDirectory().Groups); }
    void LoadGroup(w::Group group) { Load(w::GroupTable{111, {std::move(group)}}); }

    // The query's records; with `expected` 0 the helper checks that the outputs are untouched.
    std::vector<SubGroupInfo> SubGroups(std::int32_t groupId, const char* code, int expected = 1) {
        return Results<SubGroupInfo>(
            [&](auto records, auto count) { return database_.GetSubGroup(groupId, code, records, count); },
            expected);
    }
    std::vector<SymbolInfo> Symbols(std::int32_t groupId, const char* code, int expected = 1) {
        return Results<SymbolInfo>(
            [&](auto records, auto count) { return database_.GetGroupSymbol(groupId, code, records, count); },
            expected);
    }
    static Strings Codes(const std::vector<SubGroupInfo>& records) {
        Strings codes;
        for (const SubGroupInfo& r : records) codes.emplace_back(r.Code);
        return codes;
    }
    Strings Texts(std::int32_t groupId, const char* code) { return SymbolTexts(Symbols(groupId, code)); }

    TempDir dir_;
    tessary::DiagnosticSink* diagnostics_ = nullptr;
    SymbolDatabase database_;
};

// ---- TSYGetSubGroup ----

TEST_F(GroupQueries, SubGroupsAndLeafGroupsComeInFileOrder) {
    // Codes in the reverse of their byte order, so that map order and file order differ.
    LoadGroup(MakeGroup(9, {Sub("ZETA", {Leaf("L3"), Leaf("L1"), Leaf("L2")}), Sub("MID"), Sub("ALPHA")}));
    const auto subs = SubGroups(9, "");
    EXPECT_EQ(Codes(subs), (Strings{"ZETA", "MID", "ALPHA"}));
    for (const SubGroupInfo& r : subs) EXPECT_EQ(r.IsBranch, 1);
    const auto leaves = SubGroups(9, "ZETA");
    EXPECT_EQ(Codes(leaves), (Strings{"L3", "L1", "L2"}));
    for (const SubGroupInfo& r : leaves) EXPECT_EQ(r.IsBranch, 0);
}

TEST_F(GroupQueries, SubGroupRecordsHoldTerminatedTextsWithZerosBehind) {
    const std::string code16(16, 'K');
    const std::string name48(48, 'n');
    LoadGroup(MakeGroup(65535, {Sub("G1", {Leaf(code16, "", name48)}, "Short"), Sub(code16, {}, name48)}));
    const auto subs = SubGroups(65535, "");
    ASSERT_EQ(subs.size(), 2u);
    // Each text with its NUL, then zeros to the end of the field.
    EXPECT_EQ(Bytes(&subs[0], sizeof subs[0]),
              std::string("\xFF\xFFG1", 4) + Nul(15) + "Short" + Nul(44) + "\1" + Nul(3));
    EXPECT_EQ(Bytes(&subs[1], sizeof subs[1]),
              std::string("\xFF\xFF", 2) + code16 + Nul(1) + name48 + Nul(1) + "\1" + Nul(3));

    const auto leaves = SubGroups(65535, "g1");
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(Bytes(&leaves[0], sizeof leaves[0]),
              std::string("\xFF\xFF", 2) + code16 + Nul(1) + name48 + Nul(5));
}

TEST_F(GroupQueries, SubGroupCodeInAnyLetterCase) {
    LoadSmall();
    EXPECT_EQ(Codes(SubGroups(1, "g00010")), (Strings{"G10010030", "G10010040"}));
    EXPECT_EQ(Codes(SubGroups(1, "G00020")), (Strings{"G10020010"}));
}

TEST_F(GroupQueries, SubGroupQueryFailsForUnknownGroupsAndLeafCodes) {
    LoadSmall();
    SubGroups(2, "", 0);           // no such group
    SubGroups(-1, "", 0);          // negative numbers have no group
    SubGroups(65536 + 1, "", 0);   // nor numbers above 16 bits, whose low bits name group 1
    SubGroups(1, "G10010030", 0);  // a leaf group is not a subgroup of the group
    SubGroups(1, "G00030", 0);
    SubGroupInfo* records = nullptr;
    EXPECT_FALSE(database_.GetSubGroup(1, "", nullptr, nullptr));
    EXPECT_TRUE(database_.GetSubGroup(1, "", &records, nullptr));  // count may be null
    ASSERT_NE(records, nullptr);
    EXPECT_STREQ(records[0].Code, "G00010");
    tessary::FreeResultArray(records);
}

TEST_F(GroupQueries, EmptyLevelsGiveEmptyArrays) {
    Load(w::GroupTable{111, {MakeGroup(4), MakeGroup(5, {Sub("BARE")})}});
    EXPECT_TRUE(SubGroups(4, "").empty());
    EXPECT_TRUE(SubGroups(4, nullptr).empty());
    EXPECT_TRUE(SubGroups(5, "BARE").empty());
}

TEST_F(GroupQueries, CodesWithLowerCaseLettersCannotBeReached) {
    LoadGroup(
        MakeGroup(1, {Sub("g00010", {Leaf("g1", "600000.SH")}), Sub("G00020", {Leaf("g1", "600000.SH")})}));
    EXPECT_EQ(Codes(SubGroups(1, "")), (Strings{"g00010", "G00020"}));
    SubGroups(1, "g00010", 0);
    EXPECT_EQ(Codes(SubGroups(1, "G00020")), (Strings{"g1"}));
    EXPECT_TRUE(Symbols(1, "g1").empty());
}

TEST_F(GroupQueries, RepeatedGroupNumberListsTheSubgroupsOfBothRecords) {
    Load(w::GroupTable{111, {MakeGroup(1, {Sub("A"), Sub("B")}), MakeGroup(1, {Sub("C")})}});
    const Strings codes = Codes(SubGroups(1, ""));
    ASSERT_EQ(codes.size(), 3u);
    // A and C are both first under their records; their order among themselves is open.
    EXPECT_EQ(codes[2], "B");
}

// ---- TSYGetGroupSymbol ----

TEST_F(GroupQueries, MembersInListOrderWithEveryField) {
    LoadSmall();
    const auto records = Symbols(1, "G10010030");
    ASSERT_EQ(records.size(), 3u);
    const std::string expected[] = {
        std::string("\1\0" "600000.SH", 11) + Nul(31) + "Pudong Bank" + Nul(39) + "\1" + Nul(1),
        std::string("\2\0" "000001.SZ", 11) + Nul(31) + "Ping An Bank" + Nul(38) + "\1" + Nul(1),
        std::string("\1\0" "600036.SH", 11) + Nul(31) + "Merchants Bank" + Nul(36) + "\1" + Nul(1)};
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(Bytes(&records[i], sizeof records[i]), expected[i]) << i;
}

TEST_F(GroupQueries, MemberStringsResolvedOneByOne) {
    struct Case {
        const char* List;
        Strings Expected;
    };
    const Case cases[] = {
        {"600000.SH,600000.sh,600000.SH", {"600000.SH", "600000.SH", "600000.SH"}},  // duplicates kept
        {"600000.SH, 600036.SH", {"600000.SH"}},         // the blank stays in front of the code
        {"600000.SH ,600036.SH", {"600036.SH"}},         // and behind the exchange
        {",,600036.SH,,", {"600036.SH"}},                // empty pieces are no members
        {"600000.XX,600000.SZ,00700.hk", {"00700.HK"}},  // unknown exchange, code of another table
        {"300750.SZ,NOPE.SZ", {"300750.SZ"}},            // a code no table holds
        {"A.B.sh,abc.sh,ABC.SH", {"A.B.SH", "abc.SH"}},  // the last '.' splits; the code keeps its case
        {"sh,.SH", {".SH", ".SH"}},                      // no '.' or nothing before it: the blank code
        {"600000.", {}},                                 // an empty exchange part
    };
    Load(w::GroupTable{}, [&](w::DataDirectory& directory) {
        w::SubGroup sub = Sub("S");
        for (std::size_t i = 0; i < std::size(cases); ++i)
            sub.Leaves.push_back(Leaf("L" + std::to_string(i), cases[i].List));
        directory.Groups.Groups.push_back(MakeGroup(1, {sub}));
        auto& sh = directory.LightTables["1"].Records;
        sh.push_back(w::MakeLightRecord("A.B"));
        sh.push_back(w::MakeLightRecord("abc"));
        sh.push_back(w::MakeLightRecord("", "blank"));
    });
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].List);
        EXPECT_EQ(Texts(1, ("L" + std::to_string(i)).c_str()), cases[i].Expected);
    }
}

TEST_F(GroupQueries, ListIsTakenByItsLengthNotToItsFirstNul) {
    LoadGroup(MakeGroup(1, {Sub("S", {Leaf("L", std::string("600000.SH\0,600036.SH", 20))})}));
    EXPECT_EQ(Texts(1, "L"), (Strings{"600036.SH"}));
}

TEST_F(GroupQueries, LeafCodeUnderSeveralSubgroupsTakesOneList) {
    LoadGroup(
        MakeGroup(1, {Sub("B", {Leaf("L", "600000.SH,600036.SH")}), Sub("A", {Leaf("L", "00700.HK")})}));
    // Which subgroup decides is open, but the lists are never joined.
    const Strings texts = Texts(1, "L");
    EXPECT_TRUE(texts == (Strings{"600000.SH", "600036.SH"}) || texts == (Strings{"00700.HK"}))
        << texts.size();
}

TEST_F(GroupQueries, GroupSymbolQueryFailuresAndEmptyAnswers) {
    LoadSmall();
    Symbols(2, "G10010030", 0);
    Symbols(-1, "G10010030", 0);
    Symbols(65536 + 1, "G10010030", 0);
    EXPECT_TRUE(Symbols(1, "G99").empty());     // a code the group lacks is no failure
    EXPECT_TRUE(Symbols(1, "G00010").empty());  // nor is a subgroup's code
    EXPECT_TRUE(Symbols(1, nullptr).empty());   // null is the empty code
    EXPECT_FALSE(database_.GetGroupSymbol(1, "G10010030", nullptr, nullptr));
    SymbolInfo* records = nullptr;
    ASSERT_TRUE(database_.GetGroupSymbol(1, "G10010030", &records, nullptr));  // count may be null
    EXPECT_STREQ(records[2].Symbol, "600036.SH");
    tessary::FreeResultArray(records);
}

TEST_F(GroupQueries, NullCodeFindsTheLeafGroupWithTheEmptyCode) {
    LoadGroup(MakeGroup(1, {Sub("S", {Leaf("", "00005.HK")})}));
    EXPECT_EQ(Texts(1, nullptr), (Strings{"00005.HK"}));
    EXPECT_EQ(Texts(1, ""), (Strings{"00005.HK"}));
}

// Upper-casing the caller's code must leave a double-byte character alone even where its
// second byte is a lower-case ASCII letter.
TEST_F(GroupQueries, DoubleByteCodesAreUpperCasedByCharacter) {
    tessary::testing::ScopedLocale locale(tessary::testing::kGbkLocale);
    ASSERT_TRUE(locale.ok());
    const std::string code = "\x81\x61x";  // a GBK character whose trail byte is 'a', then 'x'
    const std::string stored = "\x81\x61X";
    LoadGroup(MakeGroup(1, {Sub(stored, {Leaf(stored, "600000.SH")})}));
    EXPECT_EQ(Codes(SubGroups(1, code.c_str())), (Strings{stored}));
    EXPECT_EQ(Texts(1, code.c_str()), (Strings{"600000.SH"}));
}

TEST_F(GroupQueries, LoadWarnsAboutMembersNoTableHolds) {
    tessary::DiagnosticSink sink;
    diagnostics_ = &sink;
    w::GroupTable table = tessary::testing::SmallDirectory().Groups;
    std::string many;
    for (int i = 0; i < 25; ++i) many += "NO" + std::to_string(i) + ".SH,";
    table.Groups[0].SubGroups[1].Leaves.push_back(Leaf("G10020020", many + " 600000.SH"));
    Load(table);

    std::vector<std::string> messages;
    for (const tessary::Diagnostic& item : sink.Items) {
        if (item.File != "SymTbl/Group") continue;
        EXPECT_EQ(item.Level, tessary::Diagnostic::Severity::Warning);
        messages.push_back(item.Message);
    }
    // 27 members do not resolve: 20 are named, the rest counted.
    ASSERT_EQ(messages.size(), 21u);
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "leaf group G10010040 of group 1 names NOPE.SZ, which no symbol table holds"),
              messages.end());
    EXPECT_EQ(messages.back(), "and 7 more leaf group members that no symbol table holds");
}

}  // namespace
