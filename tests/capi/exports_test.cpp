// The exports as a host sees them: the shared library through tessary.h alone.
//
// The library holds one process-wide database, and CTest runs every test in a process of its
// own, so each test starts with an uninitialised database. Run as one process (the binary
// directly), the tests that need a fresh database skip themselves once another has initialised
// it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "tessary.h"

namespace {

namespace w = tessary::writer;
using tessary::testing::Guarded;
using tessary::testing::PoisonPointer;
using tessary::testing::SmallDirectory;
using tessary::testing::TempDir;
using Strings = std::vector<std::string>;

// True when the process's database is not initialised yet; asks without writing anywhere the
// test looks.
bool DatabaseIsFresh() {
    ExchangeInfo* list = nullptr;
    const bool fresh = TSYGetExch(&list, nullptr) == 0;
    if (!fresh) TSYFree(list);
    return fresh;
}

#define REQUIRE_FRESH_DATABASE() \
    if (!DatabaseIsFresh()) GTEST_SKIP() << "the database was initialised by an earlier test in this process"

// Every query: returns 0 and leaves each output exactly as it was.
void ExpectEveryQueryRefuses() {
    ExchangeInfo* exchanges = PoisonPointer<ExchangeInfo>();
    SymbolInfo* symbols = PoisonPointer<SymbolInfo>();
    SubGroupInfo* subGroups = PoisonPointer<SubGroupInfo>();
    int32_t count = -7;
    Guarded<SymbolInfo> info;

    EXPECT_EQ(TSYGetExch(&exchanges, &count), 0);
    EXPECT_EQ(TSYGetGroupSymbol(1, "G10010030", &symbols, &count), 0);
    EXPECT_EQ(TSYGetSubGroup(1, "", &subGroups, &count), 0);
    EXPECT_EQ(TSYGetSymbolInfo("600000.SH", &info.Record), 0);
    EXPECT_EQ(TSYGetSymbolInfo("NOPE.SH", &info.Record), 0);
    EXPECT_EQ(TSYGetSymbolInfos("600000.SH,NOPE.SH", &symbols, &count), 0);
    EXPECT_EQ(TSYGetSymbolInfos2(1, -1, &symbols, &count), 0);
    EXPECT_EQ(TSYFindSymbol("600", &symbols, &count, 1), 0);
    EXPECT_EQ(TSYFindSymbol2("600", "1", &symbols, &count, 1), 0);

    EXPECT_EQ(exchanges, PoisonPointer<ExchangeInfo>());
    EXPECT_EQ(symbols, PoisonPointer<SymbolInfo>());
    EXPECT_EQ(subGroups, PoisonPointer<SubGroupInfo>());
    EXPECT_EQ(count, -7);
    EXPECT_EQ(tessary::testing::Bytes(&info, sizeof info), tessary::testing::Poison(sizeof info));
}

TEST(ExportsInit, QueriesRefuseBeforeInitAndAfterEveryKindOfFailedInit) {
    REQUIRE_FRESH_DATABASE();
    ExpectEveryQueryRefuses();
    // Null outputs are accepted without being touched, and so is freeing null.
    EXPECT_EQ(TSYGetExch(nullptr, nullptr), 0);
    EXPECT_EQ(TSYGetSymbolInfo(nullptr, nullptr), 0);
    EXPECT_EQ(TSYGetSymbolInfos(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(TSYFindSymbol(nullptr, nullptr, nullptr, 0), 0);
    TSYFree(nullptr);
    // The version needs no database: a host asks it before anything else.
    EXPECT_STREQ(TSYVersion(), TESSARY_VERSION);
    EXPECT_EQ(std::string(TESSARY_VERSION), std::to_string(TESSARY_VERSION_MAJOR) + "." +
                                                std::to_string(TESSARY_VERSION_MINOR) + "." +
                                                std::to_string(TESSARY_VERSION_PATCH));

    EXPECT_EQ(TSYInit(nullptr), 0);
    const TSYString noText{nullptr};
    EXPECT_EQ(TSYInit(&noText), 0);
    ExpectEveryQueryRefuses();

    const TempDir dir;  // no Directory.xml
    const TSYString path{dir.path().c_str()};
    EXPECT_EQ(TSYInit(&path), 0);
    ExpectEveryQueryRefuses();

    // Failing in the symbol tables, then in the group table, the last thing loaded.
    w::DataDirectory noTable = SmallDirectory();
    noTable.LightTables.erase("2");
    w::DataDirectory badGroups = SmallDirectory();
    badGroups.Groups.Magic = 112;
    for (const w::DataDirectory& data : {noTable, badGroups}) {
        w::WriteDataDirectory(dir.path(), data);
        EXPECT_EQ(TSYInit(&path), 0);
        ExpectEveryQueryRefuses();
    }
}

// "Symbol Name" of each record a query hands out (released here); "refused" when it returns 0.
template <class Query>
Strings Answer(const Query& query) {
    SymbolInfo* infos = nullptr;
    int32_t count = -1;
    if (query(&infos, &count) == 0) return {"refused"};
    Strings texts;
    for (int32_t i = 0; i < count; ++i) texts.push_back(std::string(infos[i].Symbol) + " " + infos[i].Name);
    TSYFree(infos);
    return texts;
}

TEST(ExportsAfterInit, QueriesForwardTheirArguments) {
    const TempDir dir;
    w::WriteDataDirectory(dir.path(), SmallDirectory());
    const TSYString path{dir.path().c_str()};
    ASSERT_EQ(TSYInit(&path), 1);
    EXPECT_EQ(Answer([](auto r, auto c) { return TSYGetSymbolInfos("00700.hk,nope.hk", r, c); }),
              (Strings{"00700.HK Tencent", "NOPE.HK "}));
    EXPECT_EQ(Answer([](auto r, auto c) { return TSYGetSymbolInfos2(1, 2, r, c); }),
              Strings{"000060.SH Index 60"});
    EXPECT_EQ(Answer([](auto r, auto c) { return TSYGetSymbolInfos2(42, -1, r, c); }), Strings{"refused"});
    // The search, by a whole symbol text: found in every exchange, and in its own only.
    EXPECT_EQ(Answer([](auto r, auto c) { return TSYFindSymbol("00700.hk", r, c, 0); }),
              Strings{"00700.HK Tencent"});
    EXPECT_EQ(Answer([](auto r, auto c) { return TSYFindSymbol2("00700.hk", "3", r, c, 0); }),
              Strings{"00700.HK Tencent"});
    EXPECT_EQ(Answer([](auto r, auto c) { return TSYFindSymbol2("00700.hk", "1", r, c, 0); }), Strings{});
}

}  // namespace
