// The whole library as a host sees it: the sample data directory loaded through TSYInit and its
// group tree walked through the exports. Only the public header and the data writer are used.
// Run directly, the tests share one process and its one database; they skip when another test
// initialised it with other data.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tessary.h"
#include "writer/data_writer.h"

namespace {

namespace w = tessary::writer;
using tessary::testing::PoisonPointer;
using tessary::testing::TempDir;

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> pieces;
    std::stringstream in(list);
    for (std::string piece; std::getline(in, piece, ',');)
        if (!piece.empty()) pieces.push_back(piece);
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

    // The records of a successful query, copied; the array is released.
    template <class Record, class Query>
    static std::vector<Record> Results(Query query, std::int32_t groupId, const char* code) {
        Record* records = nullptr;
        std::int32_t count = -1;
        EXPECT_EQ(query(groupId, code, &records, &count), 1) << groupId << " " << code;
        if (records == nullptr) return {};
        std::vector<Record> copy(records, records + count);
        TSYFree(records);
        return copy;
    }
    static std::vector<SubGroupInfo> SubGroups(std::int32_t groupId, const char* code) {
        return Results<SubGroupInfo>(TSYGetSubGroup, groupId, code);
    }
    static std::vector<SymbolInfo> GroupSymbols(std::int32_t groupId, const char* code) {
        return Results<SymbolInfo>(TSYGetGroupSymbol, groupId, code);
    }

    const w::DataDirectory sample_ = w::MakeSampleDirectory(400, 7);
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
                // list order, as the very record the symbol lookups give.
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
                SymbolInfo* infos = nullptr;
                std::int32_t count = -1;
                ASSERT_EQ(TSYGetSymbolInfos(leaf.SymbolList.c_str(), &infos, &count), 1);
                ASSERT_EQ(static_cast<std::size_t>(count), symbols.size());
                EXPECT_EQ(std::memcmp(infos, symbols.data(), symbols.size() * sizeof(SymbolInfo)), 0);
                TSYFree(infos);
                members += list.size();
            }
        }
    }
    EXPECT_GT(members, 0u);
}

TEST_F(GroupsEndToEnd, FailuresWriteNothingButAMissingLeafIsAnEmptyAnswer) {
    SubGroupInfo* subs = PoisonPointer<SubGroupInfo>();
    SymbolInfo* symbols = PoisonPointer<SymbolInfo>();
    std::int32_t count = -7;
    EXPECT_EQ(TSYGetSubGroup(999, "", &subs, &count), 0);
    EXPECT_EQ(TSYGetSubGroup(1, "NO SUCH CODE", &subs, &count), 0);
    EXPECT_EQ(TSYGetGroupSymbol(-1, "", &symbols, &count), 0);
    EXPECT_EQ(TSYGetSymbolInfos2(999, -1, &symbols, &count), 0);
    EXPECT_EQ(subs, PoisonPointer<SubGroupInfo>());
    EXPECT_EQ(symbols, PoisonPointer<SymbolInfo>());
    EXPECT_EQ(count, -7);
    EXPECT_TRUE(GroupSymbols(sample_.Groups.Groups[0].Id, "NO SUCH CODE").empty());
}

}  // namespace
