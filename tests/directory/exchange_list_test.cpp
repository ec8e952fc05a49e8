// ListExchanges: the exchange list in directory order, as ExchangeInfo records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

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

// Scattered numbers, and numbers whose keys descend byte-wise so that the map visits them in
// reverse directory order (20,000 of those once overran a small thread stack in a recursive sort).
TEST(ExchangeList, ComesInSerialOrderWhereKeyAndNumericOrderDiffer) {
    const std::pair<int, int (*)(int)> orders[] = {{300, [](int i) { return (i * 7919) % 1000 + 1; }},
                                                   {20000, [](int i) { return 99999 - i; }}};
    for (const auto& [count, idAt] : orders) {
        ExchangeMap map;
        std::vector<int> expected;
        for (int i = 0; i < count; ++i) {
            Add(map, idAt(i), "X", "N", i + 1);
            expected.push_back(idAt(i) & 0xFFFF);
        }
        EXPECT_EQ(Ids(map), expected) << count;
    }
    EXPECT_TRUE(Ids(ExchangeMap{}).empty());  // an empty map still gives a valid array
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
