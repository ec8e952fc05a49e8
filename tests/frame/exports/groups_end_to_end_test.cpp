// The whole library as a host sees it: the sample data directory loaded through TSYInit, the
// group tree walked through TSYGetSubGroup and TSYGetGroupSymbol, and every other query asked
// once. Only the public header and the data writer are used.
//
// The library holds one database per process and initialises it once. Under CTest every test
// runs in a process of its own; run directly, the tests share one process, so they all load the
// same sample and the one that needs an uninitialised library skips when it comes too late.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"
#include "tessary.h"
#include "writer/data_writer.h"

namespace {

namespace w = tessary::writer;
using tessary::testing::TempDir;

w::DataDirectory Sample() { return w::MakeSampleDirectory(400, 7); }

std::vector<std::string> Split(std::string_view list) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string_view::npos) end = list.size();
        if (end > start) pieces.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The member as the query hands it back: the exchange part upper-cased.
std::string Canonical(const std::string& member) {
    std::string s = member;
    for (std::size_t i = s.rfind('.') + 1; i < s.size(); ++i)
        s[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    return s;
}

class GroupsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        w::WriteDataDirectory(dir_.path(), sample_);
        const TSYString path{dir_.path().c_str()};
        ASSERT_EQ(TSYInit(&path), 1);
        if (!HoldsTheSample())
            GTEST_SKIP() << "an earlier test in this process initialised the library with other data";
    }

    // Whether the library answers with the sample's exchanges, in directory order.
    bool HoldsTheSample() const {
        ExchangeInfo* exchanges = nullptr;
        std::int32_t count = -1;
        if (TSYGetExch(&exchanges, &count) != 1) return false;
        bool same = static_cast<std::size_t>(count) == sample_.Directory.Types.size();
        for (std::int32_t i = 0; same && i < count; ++i)
            same = std::to_string(exchanges[i].Id) ==
                   sample_.Directory.Types[static_cast<std::size_t>(i)][0].Value;
        TSYFree(exchanges);
        return same;
    }

    std::vector<SubGroupInfo> SubGroups(std::int32_t groupId, const char* code) {
        SubGroupInfo* records = nullptr;
        std::int32_t count = -1;
        EXPECT_EQ(TSYGetSubGroup(groupId, code, &records, &count), 1) << groupId << " " << code;
        if (records == nullptr) return {};
        std::vector<SubGroupInfo> copy(records, records + count);
        TSYFree(records);
        return copy;
    }

    std::vector<SymbolInfo> GroupSymbols(std::int32_t groupId, const char* code) {
        SymbolInfo* records = nullptr;
        std::int32_t count = -1;
        EXPECT_EQ(TSYGetGroupSymbol(groupId, code, &records, &count), 1) << groupId << " " << code;
        if (records == nullptr) return {};
        std::vector<SymbolInfo> copy(records, records + count);
        TSYFree(records);
        return copy;
    }

    const w::DataDirectory sample_ = Sample();
    TempDir dir_;
};

TEST_F(GroupsEndToEnd, TreeWalkedThroughTheExportsMatchesTheFile) {
    ASSERT_FALSE(sample_.Groups.Groups.empty());
    std::size_t members = 0;
    for (const w::Group& group : sample_.Groups.Groups) {
        SCOPED_TRACE(group.Id);
        const auto subs = SubGroups(group.Id, "");
        ASSERT_EQ(subs.size(), group.SubGroups.size());
        for (std::size_t s = 0; s < subs.size(); ++s) {
            const w::SubGroup& sub = group.SubGroups[s];
            EXPECT_EQ(subs[s].GroupId, group.Id);
            EXPECT_EQ(subs[s].Code, sub.Code);
            EXPECT_EQ(subs[s].Name, sub.Name);
            EXPECT_EQ(subs[s].IsBranch, 1);

            const auto leaves = SubGroups(group.Id, Lower(sub.Code).c_str());
            ASSERT_EQ(leaves.size(), sub.Leaves.size());
            for (std::size_t l = 0; l < leaves.size(); ++l) {
                const w::LeafGroup& leaf = sub.Leaves[l];
                EXPECT_EQ(leaves[l].Code, leaf.Code);
                EXPECT_EQ(leaves[l].Name, leaf.Name);
                EXPECT_EQ(leaves[l].IsBranch, 0);

                // Every member of the sample is a symbol of its tables, so each comes back, in
                // list order, as the very record the symbol lookup gives.
                const std::vector<std::string> list = Split(leaf.SymbolList);
                const auto symbols = GroupSymbols(group.Id, Lower(leaf.Code).c_str());
                ASSERT_EQ(symbols.size(), list.size()) << leaf.Code;
                for (std::size_t i = 0; i < list.size(); ++i) {
                    SymbolInfo single;
                    std::memset(&single, 0, sizeof single);
                    ASSERT_EQ(TSYGetSymbolInfo(list[i].c_str(), &single), 1);
                    EXPECT_EQ(std::memcmp(&single, &symbols[i], sizeof single), 0) << list[i];
                    EXPECT_EQ(symbols[i].Symbol, Canonical(list[i]));
                }
                members += list.size();
            }
        }
    }
    EXPECT_GT(members, 0u);
}

TEST_F(GroupsEndToEnd, EveryQueryExportAnswersOnTheSample) {
    // TSYGetExch: the exchanges in directory order (checked already to recognise the sample).
    ExchangeInfo* exchanges = nullptr;
    ASSERT_EQ(TSYGetExch(&exchanges, nullptr), 1);
    const std::uint16_t firstId = exchanges[0].Id;
    TSYFree(exchanges);

    // The first leaf group of the first group, and one of its members.
    const w::LeafGroup& leaf = sample_.Groups.Groups[0].SubGroups[0].Leaves[0];
    const std::vector<std::string> list = Split(leaf.SymbolList);
    ASSERT_FALSE(list.empty());
    const auto symbols = GroupSymbols(sample_.Groups.Groups[0].Id, leaf.Code.c_str());
    ASSERT_EQ(symbols.size(), list.size());

    // TSYGetSymbolInfos: the whole list at once gives the same records.
    SymbolInfo* infos = nullptr;
    std::int32_t count = -1;
    ASSERT_EQ(TSYGetSymbolInfos(leaf.SymbolList.c_str(), &infos, &count), 1);
    ASSERT_EQ(static_cast<std::size_t>(count), symbols.size());
    EXPECT_EQ(std::memcmp(infos, symbols.data(), symbols.size() * sizeof(SymbolInfo)), 0);
    TSYFree(infos);

    // TSYGetSymbolInfos2: every symbol of the first exchange, the member among them.
    ASSERT_EQ(TSYGetSymbolInfos2(firstId, -1, &infos, &count), 1);
    EXPECT_GT(count, 0);
    bool holdsMember = false;
    for (std::int32_t i = 0; i < count; ++i)
        holdsMember |= std::strcmp(infos[i].Symbol, symbols[0].Symbol) == 0;
    EXPECT_TRUE(holdsMember || symbols[0].ExchangeId != firstId);
    TSYFree(infos);

    // The search, loosely: a code of the sample is found, in every exchange and in its own.
    const std::string code(symbols[0].Symbol, std::strchr(symbols[0].Symbol, '.'));
    ASSERT_EQ(TSYFindSymbol(code.c_str(), &infos, &count, 0), 1);
    EXPECT_GT(count, 0);
    TSYFree(infos);
    const std::string exchangeKey = std::to_string(symbols[0].ExchangeId);
    ASSERT_EQ(TSYFindSymbol2(code.c_str(), exchangeKey.c_str(), &infos, &count, 0), 1);
    EXPECT_GT(count, 0);
    TSYFree(infos);
}

TEST_F(GroupsEndToEnd, FailuresWriteNothing) {
    const int sentinel = 0;
    SubGroupInfo* subs = reinterpret_cast<SubGroupInfo*>(const_cast<int*>(&sentinel));
    SymbolInfo* symbols = reinterpret_cast<SymbolInfo*>(const_cast<int*>(&sentinel));
    std::int32_t count = -7;
    EXPECT_EQ(TSYGetSubGroup(999, "", &subs, &count), 0);
    EXPECT_EQ(TSYGetSubGroup(1, "NO SUCH CODE", &subs, &count), 0);
    EXPECT_EQ(TSYGetGroupSymbol(-1, "", &symbols, &count), 0);
    EXPECT_EQ(subs, reinterpret_cast<SubGroupInfo*>(const_cast<int*>(&sentinel)));
    EXPECT_EQ(symbols, reinterpret_cast<SymbolInfo*>(const_cast<int*>(&sentinel)));
    EXPECT_EQ(count, -7);

    // A leaf code the group lacks is an empty answer, not a failure.
    EXPECT_TRUE(GroupSymbols(sample_.Groups.Groups[0].Id, "NO SUCH CODE").empty());
}

TEST_F(GroupsEndToEnd, SecondInitKeepsTheFirstTree) {
    const auto before = SubGroups(sample_.Groups.Groups[0].Id, "");
    TempDir other;
    w::DataDirectory changed = Sample();
    changed.Groups.Groups.clear();
    w::WriteDataDirectory(other.path(), changed);
    const TSYString path{other.path().c_str()};
    ASSERT_EQ(TSYInit(&path), 1);
    const auto after = SubGroups(sample_.Groups.Groups[0].Id, "");
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::memcmp(after.data(), before.data(), before.size() * sizeof(SubGroupInfo)), 0);
}

// Before a successful TSYInit, and after a failed one, the group queries answer 0 and write
// nothing. Only meaningful in a process where no test has initialised the library yet.
TEST(GroupsBeforeInit, QueriesAnswerZeroAfterAFailedInit) {
    TempDir dir;
    w::DataDirectory broken = Sample();
    broken.Groups.Magic = 112;  // only the group table, the last thing loaded, is wrong
    w::WriteDataDirectory(dir.path(), broken);
    const TSYString path{dir.path().c_str()};
    if (TSYInit(&path) == 1) GTEST_SKIP() << "an earlier test in this process initialised the library";

    SubGroupInfo* subs = nullptr;
    SymbolInfo* symbols = nullptr;
    std::int32_t count = -7;
    EXPECT_EQ(TSYGetSubGroup(1, "", &subs, &count), 0);
    EXPECT_EQ(TSYGetGroupSymbol(1, "", &symbols, &count), 0);
    EXPECT_EQ(subs, nullptr);
    EXPECT_EQ(symbols, nullptr);
    EXPECT_EQ(count, -7);
}

}  // namespace
