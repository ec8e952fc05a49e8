// The subgroup query and the group symbol query, on a fully loaded database.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/database_fixture.h"

namespace {

namespace w = tessary::writer;
using tessary::testing::Bytes;
using tessary::testing::Leaf;
using tessary::testing::MakeGroup;
using tessary::testing::Nul;
using tessary::testing::Results;
using tessary::testing::Sub;
using tessary::testing::SymbolTexts;
using tessary::testing::TempDir;
using Strings = std::vector<std::string>;

const std::string kCode16(16, 'K');
const std::string kName48(48, 'n');
const std::string kGbkCode = "\x81\x61X";  // a GBK character whose trail byte is 'a', then X

// Member lists of the leaf groups L0, L1, ... of group 11 and the symbols each resolves to.
const struct {
    const char* List;
    Strings Expected;
} kMemberCases[] = {
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

// One database for every query test: the small directory's group 1 and one group per situation.
class GroupQueries : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        w::DataDirectory data = tessary::testing::SmallDirectory();
        auto& sh = data.LightTables["1"].Records;
        for (const char* code : {"A.B", "abc", ""}) sh.push_back(w::MakeLightRecord(code, "x"));
        w::SubGroup members = Sub("S");
        for (std::size_t i = 0; i < std::size(kMemberCases); ++i)
            members.Leaves.push_back(Leaf("L" + std::to_string(i), kMemberCases[i].List));
        data.Groups.Groups.insert(
            data.Groups.Groups.end(),
            {// Codes in the reverse of their byte order, so that map order and file order differ.
             MakeGroup(9, {Sub("ZETA", {Leaf("L3"), Leaf("L1"), Leaf("L2")}), Sub("MID"), Sub("ALPHA")}),
             MakeGroup(65535, {Sub("G1", {Leaf(kCode16, "", kName48)}, "Short"), Sub(kCode16, {}, kName48)}),
             MakeGroup(4), MakeGroup(5, {Sub("BARE")}),
             MakeGroup(6, {Sub("g00010", {Leaf("g1", "600000.SH")}),
                           Sub("G00020", {Leaf("g1", "600000.SH")})}),
             MakeGroup(7, {Sub("A"), Sub("B")}), MakeGroup(7, {Sub("C")}),
             MakeGroup(8, {Sub("S", {Leaf("", "00005.HK"),
                                     Leaf("L", std::string("600000.SH\0,600036.SH", 20))})}),
             MakeGroup(10, {Sub("B", {Leaf("L", "600000.SH,600036.SH")}), Sub("A", {Leaf("L", "00700.HK")})}),
             MakeGroup(11, {members}), MakeGroup(12, {Sub(kGbkCode, {Leaf(kGbkCode, "600000.SH")})})});
        dir_ = std::make_unique<TempDir>();
        ASSERT_TRUE(tessary::testing::WriteAndInit(database_, *dir_, data));
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static std::vector<SubGroupInfo> SubGroups(std::int32_t groupId, const char* code, int expected = 1) {
        return Results<SubGroupInfo>(
            [&](auto records, auto count) { return database_.GetSubGroup(groupId, code, records, count); },
            expected);
    }
    static Strings Codes(std::int32_t groupId, const char* code, int expected = 1) {
        Strings codes;
        for (const SubGroupInfo& r : SubGroups(groupId, code, expected)) {
            codes.emplace_back(r.Code);
            // Subgroups are branches, leaf groups are not.
            EXPECT_EQ(r.IsBranch, code == nullptr || *code == '\0' ? 1 : 0) << r.Code;
        }
        return codes;
    }
    static std::vector<SymbolInfo> Symbols(std::int32_t groupId, const char* code, int expected = 1) {
        return Results<SymbolInfo>(
            [&](auto records, auto count) { return database_.GetGroupSymbol(groupId, code, records, count); },
            expected);
    }

    static inline std::unique_ptr<TempDir> dir_;
    static inline tessary::SymbolDatabase database_;
};

struct QueryCase {
    std::int32_t Group;
    const char* Code;
    int Result;
    Strings Expected;
};

TEST_F(GroupQueries, SubGroupsAndLeafGroupsInFileOrder) {
    const QueryCase cases[] = {
        {9, "", 1, {"ZETA", "MID", "ALPHA"}}, {9, "ZETA", 1, {"L3", "L1", "L2"}},
        {1, "g00010", 1, {"G10010030", "G10010040"}},  // the code in any letter case
        {1, "G00020", 1, {"G10020010"}},
        {2, "", 0, {}},           // no such group
        {-1, "", 0, {}},          // negative numbers have no group
        {65536 + 1, "", 0, {}},   // nor numbers above 16 bits, whose low bits name group 1
        {1, "G10010030", 0, {}},  // a leaf group is not a subgroup of the group
        {1, "G00030", 0, {}},
        {4, "", 1, {}}, {4, nullptr, 1, {}}, {5, "BARE", 1, {}},  // empty levels give empty arrays
        // Codes with lower-case letters are listed but cannot be reached.
        {6, "", 1, {"g00010", "G00020"}}, {6, "g00010", 0, {}}, {6, "G00020", 1, {"g1"}},
    };
    for (const QueryCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Group << " " << (c.Code ? c.Code : "null"));
        EXPECT_EQ(Codes(c.Group, c.Code, c.Result), c.Expected);
    }
    // A repeated group number lists the subgroups of both records. A and C are both first under
    // their records; their order among themselves is open.
    const Strings codes = Codes(7, "");
    ASSERT_EQ(codes.size(), 3u);
    EXPECT_EQ(codes[2], "B");
}

TEST_F(GroupQueries, SubGroupRecordsHoldTerminatedTextsWithZerosBehind) {
    const auto subs = SubGroups(65535, "");
    ASSERT_EQ(subs.size(), 2u);
    EXPECT_EQ(Bytes(&subs[0], sizeof subs[0]),
              std::string("\xFF\xFFG1", 4) + Nul(15) + "Short" + Nul(44) + "\1" + Nul(3));
    EXPECT_EQ(Bytes(&subs[1], sizeof subs[1]),
              std::string("\xFF\xFF", 2) + kCode16 + Nul(1) + kName48 + Nul(1) + "\1" + Nul(3));
    const auto leaves = SubGroups(65535, "g1");
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(Bytes(&leaves[0], sizeof leaves[0]),
              std::string("\xFF\xFF", 2) + kCode16 + Nul(1) + kName48 + Nul(5));
}

TEST_F(GroupQueries, MembersResolvedOneByOne) {
    // The records' fields are those of the symbol information queries; here only which symbols.
    std::vector<QueryCase> cases = {
        {1, "g10010030", 1, {"600000.SH", "000001.SZ", "600036.SH"}},
        {2, "G10010030", 0, {}}, {-1, "G10010030", 0, {}}, {65536 + 1, "G10010030", 0, {}},
        {1, "G99", 1, {}},     // a code the group lacks is no failure
        {1, "G00010", 1, {}},  // nor is a subgroup's code
        {1, nullptr, 1, {}},   // null is the empty code...
        {8, nullptr, 1, {"00005.HK"}}, {8, "", 1, {"00005.HK"}},  // ...and finds the leaf group with it
        {8, "L", 1, {"600036.SH"}},  // the list is taken by its length, not to its first NUL
        {6, "g1", 1, {}},            // lower-case codes cannot be reached
    };
    std::vector<std::string> codes(std::size(kMemberCases));
    for (std::size_t i = 0; i < codes.size(); ++i) {
        codes[i] = "L" + std::to_string(i);
        cases.push_back({11, codes[i].c_str(), 1, kMemberCases[i].Expected});
    }
    for (const QueryCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Group << " " << (c.Code ? c.Code : "null"));
        EXPECT_EQ(SymbolTexts(Symbols(c.Group, c.Code, c.Result)), c.Expected);
    }
    // A leaf code under several subgroups: which subgroup decides is open, but the lists are
    // never joined.
    const Strings texts = SymbolTexts(Symbols(10, "L"));
    EXPECT_TRUE(texts == (Strings{"600000.SH", "600036.SH"}) || texts == (Strings{"00700.HK"}))
        << texts.size();
}

// Upper-casing the caller's code must leave a double-byte character alone even where its
// second byte is a lower-case ASCII letter.
TEST_F(GroupQueries, DoubleByteCodesAreUpperCasedByCharacter) {
    const tessary::testing::ScopedLocale locale(tessary::testing::kGbkLocale);
    ASSERT_TRUE(locale.ok());
    EXPECT_EQ(Codes(12, "\x81\x61x"), (Strings{kGbkCode}));
    EXPECT_EQ(SymbolTexts(Symbols(12, "\x81\x61x")), (Strings{"600000.SH"}));
}

TEST(GroupLoad, WarnsAboutMembersNoTableHolds) {
    w::DataDirectory data = tessary::testing::SmallDirectory();
    std::string many;
    for (int i = 0; i < 25; ++i) many += "NO" + std::to_string(i) + ".SH,";
    data.Groups.Groups[0].SubGroups[1].Leaves.push_back(Leaf("G10020020", many + " 600000.SH"));
    const TempDir dir;
    tessary::SymbolDatabase database;
    tessary::DiagnosticSink sink;
    ASSERT_TRUE(tessary::testing::WriteAndInit(database, dir, data, &sink));

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
