// GetExch: the exchange list in directory order, as ExchangeInfo records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/database_fixture.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::Bytes;
using testing::Nul;
using testing::Results;
using testing::TempDir;
using testing::WriteFileBytes;
using writer::ExchangeType;

class ExchangeList : public ::testing::Test {
protected:
    ExchangeList() { db.BasePath = dir.path(); }

    void Load(std::vector<std::vector<writer::XmlAttribute>> types) {
        writer::DirectoryDescription d;
        d.Types = std::move(types);
        WriteFileBytes(dir / "Directory.xml", writer::RenderDirectoryXml(d));
        ASSERT_EQ(db.LoadDirectory(), 1);
    }
    std::vector<ExchangeInfo> List() {
        return Results<ExchangeInfo>(
            [&](ExchangeInfo** list, std::int32_t* count) { return db.GetExch(list, count); });
    }
    static std::vector<int> Ids(const std::vector<ExchangeInfo>& records) {
        std::vector<int> ids;
        for (const ExchangeInfo& r : records) ids.push_back(r.Id);
        return ids;
    }

    TempDir dir;
    SymbolDatabase db;
};

TEST_F(ExchangeList, ComesInDirectoryOrderWhereKeyAndNumericOrderDiffer) {
    std::vector<std::vector<writer::XmlAttribute>> types;
    std::vector<int> expected;
    for (int i = 0; i < 300; ++i) {
        const int id = (i * 7919) % 1000 + 1;
        types.push_back(ExchangeType(id, "X", "N"));
        expected.push_back(id);
    }
    Load(types);
    EXPECT_EQ(Ids(List()), expected);
}

TEST_F(ExchangeList, RepeatedExchangeTakesThePlaceOfItsLaterElement) {
    Load({ExchangeType(5, "E5", "Five"), ExchangeType(2, "E2", "Two"), ExchangeType(9, "E9", "Nine"),
          ExchangeType(5, "F5", "Five again")});
    const std::vector<ExchangeInfo> records = List();
    EXPECT_EQ(Ids(records), (std::vector<int>{2, 9, 5}));
    EXPECT_STREQ(records[2].Code, "F5");
}

TEST_F(ExchangeList, RecordsHoldTheEntryAndZerosEvenWithANullCount) {
    Load({ExchangeType(70000, "HK", "Hong Kong", 1, 0, 1), ExchangeType(3, "A", "", 0, 1, 0)});
    ExchangeInfo* list = nullptr;
    ASSERT_EQ(db.GetExch(&list, nullptr), 1);
    ASSERT_NE(list, nullptr);
    // Id 70000 keeps its low 16 bits, 4464 = 0x1170, little-endian.
    EXPECT_EQ(Bytes(&list[0], sizeof *list), "\x70\x11HK" + Nul(1) + "Hong Kong" + Nul(42) +
                                                 std::string("\1\0\0\0\0\0\0\0\1\0\0\0", 12) + Nul(116));
    EXPECT_EQ(Bytes(&list[1], sizeof *list),
              std::string("\3\0A", 3) + Nul(53) + std::string("\0\0\0\0\1\0\0\0\0\0\0\0", 12) + Nul(116));
    FreeResultArray(list);
}

TEST_F(ExchangeList, EmptyMapGivesAnEmptyValidArray) {
    Load({});
    EXPECT_TRUE(List().empty());  // the helper checks that the array is there
}

TEST_F(ExchangeList, EveryCallMakesANewArrayWithTheSameContents) {
    Load({ExchangeType(5, "E5", "Five"), ExchangeType(2, "E2", "Two")});
    ExchangeInfo* first = nullptr;
    ExchangeInfo* second = nullptr;
    std::int32_t count = 0;
    ASSERT_EQ(db.GetExch(&first, &count), 1);
    ASSERT_EQ(db.GetExch(&second, &count), 1);
    EXPECT_NE(first, second);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(std::memcmp(first, second, 2 * sizeof(ExchangeInfo)), 0);
    FreeResultArray(first);
    FreeResultArray(second);
}

}  // namespace
}  // namespace tessary
