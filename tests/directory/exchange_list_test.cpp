// GetExch: the exchange list in directory order, as ExchangeInfo records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/result_array.h"
#include "frame/symbol_database.h"
#include "support/test_support.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;
using writer::ExchangeType;

class ExchangeList : public ::testing::Test {
protected:
    ExchangeList() { db.BasePath = dir.path(); }
    ~ExchangeList() override {
        for (void* block : blocks_) FreeResultArray(block);
    }

    void Load(std::vector<std::vector<writer::XmlAttribute>> types) {
        writer::DirectoryDescription d;
        d.Types = std::move(types);
        WriteFileBytes(dir / "Directory.xml", writer::RenderDirectoryXml(d));
        ASSERT_EQ(db.LoadDirectory(), 1);
    }
    std::vector<ExchangeInfo> List() {
        ExchangeInfo* list = nullptr;
        std::int32_t count = -1;
        EXPECT_EQ(db.GetExch(&list, &count), 1);
        blocks_.push_back(list);
        return list == nullptr ? std::vector<ExchangeInfo>() : std::vector<ExchangeInfo>(list, list + count);
    }
    static std::vector<int> Ids(const std::vector<ExchangeInfo>& records) {
        std::vector<int> ids;
        for (const ExchangeInfo& r : records) ids.push_back(r.Id);
        return ids;
    }

    TempDir dir;
    SymbolDatabase db;

private:
    std::vector<void*> blocks_;
};

TEST_F(ExchangeList, ComesInDirectoryOrderNotKeyOrder) {
    Load({ExchangeType(5, "E5", "Five"), ExchangeType(2, "E2", "Two"), ExchangeType(9, "E9", "Nine")});
    EXPECT_EQ(Ids(List()), (std::vector<int>{5, 2, 9}));
}

TEST_F(ExchangeList, RepeatedExchangeTakesThePlaceOfItsLaterElement) {
    Load({ExchangeType(5, "E5", "Five"), ExchangeType(2, "E2", "Two"), ExchangeType(9, "E9", "Nine"),
          ExchangeType(5, "F5", "Five again")});
    const std::vector<ExchangeInfo> records = List();
    EXPECT_EQ(Ids(records), (std::vector<int>{2, 9, 5}));
    EXPECT_STREQ(records[2].Code, "F5");
}

TEST_F(ExchangeList, ManyExchangesInScrambledOrder) {
    // Key order, numeric order and directory order all differ; the sort must still give the
    // directory's.
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

TEST_F(ExchangeList, RecordBytes) {
    Load({ExchangeType(70000, "HK", "Hong Kong", 1, 0, 1), ExchangeType(3, "A", "", 0, 1, 0)});
    ExchangeInfo* list = nullptr;
    ASSERT_EQ(db.GetExch(&list, nullptr), 1);
    const auto* bytes = reinterpret_cast<const unsigned char*>(list);

    // Record 0 at byte 0: Id 4464 = 0x1170, little-endian.
    EXPECT_EQ(bytes[0], 0x70);
    EXPECT_EQ(bytes[1], 0x11);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + 2), 3), std::string("HK\0", 3));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + 5), 51), "Hong Kong" + std::string(42, '\0'));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + 56), 12),
              std::string("\1\0\0\0\0\0\0\0\1\0\0\0", 12));
    for (std::size_t i = 68; i < 184; ++i) EXPECT_EQ(bytes[i], 0) << "reserved byte " << i;

    // Record 1 at byte 184.
    const unsigned char* second = bytes + 184;
    EXPECT_EQ(second[0], 3);
    EXPECT_EQ(second[1], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(second + 2), 3), std::string("A\0\0", 3));
    for (std::size_t i = 5; i < 56; ++i) EXPECT_EQ(second[i], 0) << "name byte " << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(second + 56), 12),
              std::string("\0\0\0\0\1\0\0\0\0\0\0\0", 12));
    for (std::size_t i = 68; i < 184; ++i) EXPECT_EQ(second[i], 0) << "reserved byte " << i;
    FreeResultArray(list);
}

TEST_F(ExchangeList, NullCountWritesOnlyTheList) {
    Load({ExchangeType(1, "SH", "Shanghai")});
    ExchangeInfo* list = nullptr;
    ASSERT_EQ(db.GetExch(&list, nullptr), 1);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0].Id, 1);
    FreeResultArray(list);
}

TEST_F(ExchangeList, EmptyMapGivesAnEmptyValidArray) {
    Load({});
    ExchangeInfo* list = nullptr;
    std::int32_t count = -1;
    ASSERT_EQ(db.GetExch(&list, &count), 1);
    EXPECT_NE(list, nullptr);
    EXPECT_EQ(count, 0);
    FreeResultArray(list);
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
