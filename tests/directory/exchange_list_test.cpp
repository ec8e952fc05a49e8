// ListExchanges: the exchange list in directory order, as ExchangeInfo records.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/result_array.h"
#include "directory/exchange_list.h"
#include "support/database_fixture.h"

namespace tessary {
namespace {

using testing::Bytes;
using testing::Nul;
using testing::Results;

ExchangeEntry& Add(ExchangeMap& map, int id, const char* code, const char* name, int serial) {
    ExchangeEntry& e = *FindOrCreateRecord(map, std::to_string(id));
    e.Id = static_cast<std::uint16_t>(id);
    std::strcpy(e.Code, code);
    std::strcpy(e.Name, name);
    e.Serial = serial;
    return e;
}

std::vector<int> Ids(const ExchangeMap& map) {
    std::vector<int> ids;
    for (const ExchangeInfo& r : Results<ExchangeInfo>([&](auto l, auto c) { return ListExchanges(map, l, c); }))
        ids.push_back(r.Id);
    return ids;
}

TEST(ExchangeList, ComesInSerialOrderWhereKeyAndNumericOrderDiffer) {
    ExchangeMap map;
    std::vector<int> expected;
    for (int i = 0; i < 300; ++i) {
        const int id = (i * 7919) % 1000 + 1;
        Add(map, id, "X", "N", i + 1);
        expected.push_back(id);
    }
    EXPECT_EQ(Ids(map), expected);
    EXPECT_TRUE(Ids(ExchangeMap{}).empty());  // an empty map still gives a valid array
}

// The list was once sorted by a recursive quicksort whose pivot was the first element: a
// directory whose keys descend byte-wise (so that the map visits it in reverse directory order)
// made it recurse once per exchange, and 10,000 exchanges overran a 256 KB thread stack.
TEST(ExchangeList, ManyExchangesInReverseKeyOrderOnASmallStack) {
    struct Job {
        ExchangeMap map;
        std::vector<int> ids;
    } job;
    constexpr int kCount = 20000;
    for (int i = 0; i < kCount; ++i) Add(job.map, 99999 - i, "X", "N", i + 1);
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
    pthread_t thread;
    auto run = [](void* p) -> void* {
        auto& j = *static_cast<Job*>(p);
        ExchangeInfo* list = nullptr;
        if (ListExchanges(j.map, &list, nullptr))
            for (int i = 0; i < kCount; ++i) j.ids.push_back(list[i].Id);
        FreeResultArray(list);
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, &job), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attributes);
    ASSERT_EQ(job.ids.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(job.ids[i], (99999 - i) & 0xFFFF) << i;
}

TEST(ExchangeList, RecordsHoldTheEntryAndZeros) {
    ExchangeMap map;
    ExchangeEntry& hk = Add(map, 70000, "HK", "Hong Kong", 1);
    hk.Alert = hk.Quote = true;
    Add(map, 3, "A", "", 2).Trade = true;
    const auto list = Results<ExchangeInfo>([&](auto l, auto c) { return ListExchanges(map, l, c); });
    ASSERT_EQ(list.size(), 2u);
    // Id 70000 keeps its low 16 bits, 4464 = 0x1170, little-endian.
    EXPECT_EQ(Bytes(&list[0], sizeof list[0]), "\x70\x11HK" + Nul(1) + "Hong Kong" + Nul(42) +
                                                   std::string("\1\0\0\0\0\0\0\0\1\0\0\0", 12) + Nul(116));
    EXPECT_EQ(Bytes(&list[1], sizeof list[1]),
              std::string("\3\0A", 3) + Nul(53) + std::string("\0\0\0\0\1\0\0\0\0\0\0\0", 12) + Nul(116));
}

}  // namespace
}  // namespace tessary
