// The subgroup query and the group symbol query, on a fully loaded database.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/result_array.h"
#include "frame/symbol_database.h"
#include "support/test_support.h"

namespace {

namespace w = tessary::writer;
using tessary::SymbolDatabase;
using tessary::testing::TempDir;

w::LeafGroup Leaf(std::string code, std::string list, std::string name = "leaf") {
    return {std::move(code), std::move(name), std::move(list), {}, {}, {}, {}};
}

w::SubGroup Sub(std::string code, std::vector<w::LeafGroup> leaves = {}, std::string name = "sub") {
    return {std::move(code), std::move(name), {0, 0}, std::move(leaves), {}, {}, {}};
}

// True when bytes [from, to) of a record are all zero.
bool ZeroFrom(const void* record, std::size_t from, std::size_t to) {
    const auto* bytes = static_cast<const unsigned char*>(record);
    for (std::size_t i = from; i < to; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

class GroupQueries : public ::testing::Test {
protected:
    // Writes the small directory with `groups` as its group tree and initialises a database.
    void Load(const w::GroupTable& groups, const std::function<void(w::DataDirectory&)>& change = {}) {
        w::DataDirectory directory = tessary::testing::SmallDirectory();
        directory.Groups = groups;
        if (change) change(directory);
        w::WriteDataDirectory(dir_.path(), directory);
        ASSERT_EQ(database_.Init(dir_.path().c_str()), 1);
    }
    void LoadSmall() { Load(tessary::testing::SmallDirectory().Groups); }

    // The subgroup query's records, or nothing when it returns 0 (which it must do without
    // touching the outputs).
    std::vector<SubGroupInfo> SubGroups(std::int32_t groupId, const char* code, int expected = 1) {
        SubGroupInfo* records = reinterpret_cast<SubGroupInfo*>(&sentinel_);
        std::int32_t count = -7;
        EXPECT_EQ(database_.GetSubGroup(groupId, code, &records, &count), expected);
        if (expected == 0) {
            EXPECT_EQ(records, reinterpret_cast<SubGroupInfo*>(&sentinel_));
            EXPECT_EQ(count, -7);
            return {};
        }
        EXPECT_GE(count, 0);
        EXPECT_NE(records, nullptr);
        std::vector<SubGroupInfo> copy(records, records + count);
        tessary::FreeResultArray(records);
        return copy;
    }

    std::vector<SymbolInfo> Symbols(std::int32_t groupId, const char* code, int expected = 1) {
        SymbolInfo* records = reinterpret_cast<SymbolInfo*>(&sentinel_);
        std::int32_t count = -7;
        EXPECT_EQ(database_.GetGroupSymbol(groupId, code, &records, &count), expected);
        if (expected == 0) {
            EXPECT_EQ(records, reinterpret_cast<SymbolInfo*>(&sentinel_));
            EXPECT_EQ(count, -7);
            return {};
        }
        EXPECT_GE(count, 0);
        EXPECT_NE(records, nullptr);
        std::vector<SymbolInfo> copy(records, records + count);
        tessary::FreeResultArray(records);
        return copy;
    }

    static std::vector<std::string> Codes(const std::vector<SubGroupInfo>& records) {
        std::vector<std::string> codes;
        for (const SubGroupInfo& r : records) codes.emplace_back(r.Code);
        return codes;
    }
    static std::vector<std::string> Texts(const std::vector<SymbolInfo>& records) {
        std::vector<std::string> texts;
        for (const SymbolInfo& r : records) texts.emplace_back(r.Symbol);
        return texts;
    }

    TempDir dir_;
    SymbolDatabase database_;
    int sentinel_ = 0;
};

using Strings = std::vector<std::string>;

// ---- TSYGetSubGroup ----

TEST_F(GroupQueries, SubGroupsAndLeafGroupsComeInFileOrder) {
    // Codes in the reverse of their byte order, so that map order and file order differ.
    w::GroupTable table;
    table.Groups.push_back(
        {9,
         {0, 0},
         {Sub("ZETA", {Leaf("L3", ""), Leaf("L1", ""), Leaf("L2", "")}), Sub("MID"), Sub("ALPHA")},
         {}});
    Load(table);
    const auto subs = SubGroups(9, "");
    EXPECT_EQ(Codes(subs), (Strings{"ZETA", "MID", "ALPHA"}));
    for (const SubGroupInfo& r : subs) EXPECT_EQ(r.IsBranch, 1);
    const auto leaves = SubGroups(9, "ZETA");
    EXPECT_EQ(Codes(leaves), (Strings{"L3", "L1", "L2"}));
    for (const SubGroupInfo& r : leaves) EXPECT_EQ(r.IsBranch, 0);
}

TEST_F(GroupQueries, SubGroupRecordLayout) {
    const std::string code16(16, 'K');
    const std::string name48(48, 'n');
    w::GroupTable table;
    table.Groups.push_back(
        {65535, {0, 0}, {Sub("G1", {Leaf(code16, "", name48)}, "Short"), Sub(code16, {}, name48)}, {}});
    Load(table);

    const auto subs = SubGroups(65535, "");
    ASSERT_EQ(subs.size(), 2u);
    EXPECT_EQ(subs[0].GroupId, 65535);
    // Each text with its NUL, then zeros to the end of the field.
    EXPECT_EQ(std::memcmp(subs[0].Code, "G1\0", 3), 0);
    EXPECT_TRUE(ZeroFrom(subs[0].Code, 2, sizeof subs[0].Code));
    EXPECT_EQ(std::memcmp(subs[0].Name, "Short", 5), 0);
    EXPECT_TRUE(ZeroFrom(subs[0].Name, 5, sizeof subs[0].Name));
    EXPECT_EQ(std::string(subs[1].Code, 16), code16);
    EXPECT_EQ(subs[1].Code[16], '\0');
    EXPECT_EQ(std::string(subs[1].Name, 48), name48);
    EXPECT_EQ(subs[1].Name[48], '\0');

    const auto leaves = SubGroups(65535, "g1");
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(leaves[0].GroupId, 65535);
    EXPECT_EQ(std::string(leaves[0].Code), code16);
    EXPECT_EQ(std::string(leaves[0].Name), name48);
    EXPECT_EQ(leaves[0].IsBranch, 0);
}

TEST_F(GroupQueries, SubGroupCodeInAnyLetterCase) {
    LoadSmall();
    EXPECT_EQ(Codes(SubGroups(1, "g00010")), (Strings{"G10010030", "G10010040"}));
    EXPECT_EQ(Codes(SubGroups(1, "G00020")), (Strings{"G10020010"}));
}

TEST_F(GroupQueries, SubGroupQueryFailures) {
    LoadSmall();
    SubGroups(2, "", 0);           // no such group
    SubGroups(-1, "", 0);          // negative numbers have no group
    SubGroups(65536 + 1, "", 0);   // nor numbers above 16 bits, whose low bits name group 1
    SubGroups(1, "G10010030", 0);  // a leaf group is not a subgroup of the group
    SubGroups(1, "G00030", 0);
    SubGroupInfo* records = nullptr;
    EXPECT_EQ(database_.GetSubGroup(1, "", nullptr, nullptr), 0);
    EXPECT_EQ(database_.GetSubGroup(1, "", &records, nullptr), 1);  // count may be null
    ASSERT_NE(records, nullptr);
    EXPECT_STREQ(records[0].Code, "G00010");
    tessary::FreeResultArray(records);
}

TEST_F(GroupQueries, EmptyLevelsGiveEmptyArrays) {
    w::GroupTable table;
    table.Groups.push_back({4, {0, 0}, {}, {}});
    table.Groups.push_back({5, {0, 0}, {Sub("BARE")}, {}});
    Load(table);
    EXPECT_TRUE(SubGroups(4, "").empty());
    EXPECT_TRUE(SubGroups(4, nullptr).empty());
    EXPECT_TRUE(SubGroups(5, "BARE").empty());
}

TEST_F(GroupQueries, CodesWithLowerCaseLettersCannotBeReached) {
    w::GroupTable table;
    table.Groups.push_back(
        {1,
         {0, 0},
         {Sub("g00010", {Leaf("g1", "600000.SH")}), Sub("G00020", {Leaf("g1", "600000.SH")})},
         {}});
    Load(table);
    EXPECT_EQ(Codes(SubGroups(1, "")), (Strings{"g00010", "G00020"}));
    SubGroups(1, "g00010", 0);
    EXPECT_EQ(Codes(SubGroups(1, "G00020")), (Strings{"g1"}));
    EXPECT_TRUE(Symbols(1, "g1").empty());
}

TEST_F(GroupQueries, RepeatedGroupNumberListsTheSubgroupsOfBothRecords) {
    w::GroupTable table;
    table.Groups.push_back({1, {0, 0}, {Sub("A"), Sub("B")}, {}});
    table.Groups.push_back({1, {0, 0}, {Sub("C")}, {}});
    Load(table);
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
    EXPECT_EQ(Texts(records), (Strings{"600000.SH", "000001.SZ", "600036.SH"}));
    EXPECT_EQ(records[0].ExchangeId, 1);
    EXPECT_EQ(records[1].ExchangeId, 2);
    EXPECT_STREQ(records[0].Name, "Pudong Bank");
    EXPECT_STREQ(records[1].Name, "Ping An Bank");
    EXPECT_EQ(records[0].Type, 1);
    for (const SymbolInfo& r : records) {
        EXPECT_TRUE(ZeroFrom(r.Symbol, std::strlen(r.Symbol), sizeof r.Symbol));
        EXPECT_TRUE(ZeroFrom(r.Name, std::strlen(r.Name), sizeof r.Name));
    }
}

TEST_F(GroupQueries, MembersNoTableHoldsAreLeftOut) {
    LoadSmall();
    EXPECT_EQ(Texts(Symbols(1, "G10010040")), (Strings{"300750.SZ"}));  // NOPE.SZ is no symbol
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
        {"A.B.sh,abc.sh,ABC.SH", {"A.B.SH", "abc.SH"}},  // the last '.' splits; the code keeps its case
        {"sh,.SH", {".SH", ".SH"}},                      // no '.' or nothing before it: the blank code
        {"600000.", {}},                                 // an empty exchange part
    };
    Load(w::GroupTable{}, [&](w::DataDirectory& directory) {
        directory.Groups.Groups.push_back({1, {0, 0}, {}, {}});
        w::SubGroup sub = Sub("S");
        for (std::size_t i = 0; i < std::size(cases); ++i)
            sub.Leaves.push_back(Leaf("L" + std::to_string(i), cases[i].List));
        directory.Groups.Groups[0].SubGroups.push_back(sub);
        auto& sh = directory.LightTables["1"].Records;
        sh.push_back({});
        sh.back().Code = "A.B";
        sh.push_back({});
        sh.back().Code = "abc";
        sh.push_back({});  // the blank code
        sh.back().Name = "blank";
    });
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].List);
        EXPECT_EQ(Texts(Symbols(1, ("L" + std::to_string(i)).c_str())), cases[i].Expected);
    }
}

TEST_F(GroupQueries, ListIsTakenByItsLengthNotToItsFirstNul) {
    Load(w::GroupTable{}, [](w::DataDirectory& directory) {
        directory.Groups.Groups.push_back(
            {1, {0, 0}, {Sub("S", {Leaf("L", std::string("600000.SH\0,600036.SH", 20))})}, {}});
    });
    EXPECT_EQ(Texts(Symbols(1, "L")), (Strings{"600036.SH"}));
}

TEST_F(GroupQueries, LeafCodeUnderSeveralSubgroupsTakesOneList) {
    w::GroupTable table;
    table.Groups.push_back(
        {1, {0, 0}, {Sub("B", {Leaf("L", "600000.SH,600036.SH")}), Sub("A", {Leaf("L", "00700.HK")})}, {}});
    Load(table);
    // Which subgroup decides is open, but the lists are never joined.
    const Strings texts = Texts(Symbols(1, "L"));
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
    EXPECT_EQ(database_.GetGroupSymbol(1, "G10010030", nullptr, nullptr), 0);
    SymbolInfo* records = nullptr;
    ASSERT_EQ(database_.GetGroupSymbol(1, "G10010030", &records, nullptr), 1);  // count may be null
    EXPECT_STREQ(records[2].Symbol, "600036.SH");
    tessary::FreeResultArray(records);
}

TEST_F(GroupQueries, NullCodeFindsTheLeafGroupWithTheEmptyCode) {
    w::GroupTable table;
    table.Groups.push_back({1, {0, 0}, {Sub("S", {Leaf("", "00005.HK")})}, {}});
    Load(table);
    EXPECT_EQ(Texts(Symbols(1, nullptr)), (Strings{"00005.HK"}));
    EXPECT_EQ(Texts(Symbols(1, "")), (Strings{"00005.HK"}));
}

// Upper-casing the caller's code must leave a double-byte character alone even where its
// second byte is a lower-case ASCII letter.
TEST_F(GroupQueries, DoubleByteCodesAreUpperCasedByCharacter) {
    tessary::testing::ScopedLocale locale(tessary::testing::kGbkLocale);
    ASSERT_TRUE(locale.ok());
    const std::string code = "\x81\x61x";  // a GBK character whose trail byte is 'a', then 'x'
    const std::string stored = "\x81\x61X";
    w::GroupTable table;
    table.Groups.push_back({1, {0, 0}, {Sub(stored, {Leaf(stored, "600000.SH")})}, {}});
    Load(table);
    EXPECT_EQ(Codes(SubGroups(1, code.c_str())), (Strings{stored}));
    EXPECT_EQ(Texts(Symbols(1, code.c_str())), (Strings{"600000.SH"}));
}

// ---- Diagnostics of the loaded tree ----

TEST_F(GroupQueries, LoadWarnsAboutMembersNoTableHolds) {
    tessary::DiagnosticSink sink;
    database_.Diagnostics = &sink;
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

TEST_F(GroupQueries, ReinitialisationKeepsNoGroupOfTheFailedRun) {
    // A first run whose group file is damaged leaves its groups behind until the next run.
    w::DataDirectory directory = tessary::testing::SmallDirectory();
    directory.Groups.Groups.push_back({2, {0, 0}, {Sub("X")}, 4});
    w::WriteDataDirectory(dir_.path(), directory);
    ASSERT_EQ(database_.Init(dir_.path().c_str()), 0);
    EXPECT_NE(tessary::FindRecord(database_.Groups, "1"), nullptr);

    directory = tessary::testing::SmallDirectory();
    directory.Groups.Groups[0].Id = 3;
    w::WriteDataDirectory(dir_.path(), directory);
    ASSERT_EQ(database_.Init(dir_.path().c_str()), 1);
    EXPECT_EQ(database_.Groups.size(), 1u);
    SubGroups(1, "", 0);
    EXPECT_EQ(SubGroups(3, "").size(), 2u);
}

}  // namespace
