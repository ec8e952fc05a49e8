// Helpers for tests that load data into a SymbolDatabase of their own or call the queries behind
// the exports directly (not for the exports tests, which see only the shared library).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/result_array.h"
#include "database/symbol_database.h"
#include "support/test_support.h"

namespace tessary::testing {

// Writes `data` below `dir` and runs the initialisation sequence on it.
[[nodiscard]] inline bool WriteAndInit(SymbolDatabase& db, const TempDir& dir, const writer::DataDirectory& data,
                                       DiagnosticSink* diagnostics = nullptr) {
    writer::WriteDataDirectory(dir.path(), data);
    return db.Init(dir.path().c_str(), diagnostics);
}

// Runs `query(&array, &count)`, expects `expected`, and returns the records of the array it
// handed out (released here). Every query shares these rules, so each answer is checked against
// all of them: a call that returns 0 leaves both outputs as they were; a null array pointer is
// refused; a null count is allowed, and every call gives a new array with the same bytes.
template <class Record, class Query>
std::vector<Record> Results(const Query& query, int expected = 1) {
    Record* records = PoisonPointer<Record>();
    std::int32_t count = -7;
    EXPECT_EQ(query(&records, &count) ? 1 : 0, expected);
    std::int32_t untouched = -7;
    EXPECT_FALSE(query(static_cast<Record**>(nullptr), &untouched));
    EXPECT_EQ(untouched, -7);
    if (expected == 0 || records == PoisonPointer<Record>()) {
        EXPECT_EQ(records, PoisonPointer<Record>());
        EXPECT_EQ(count, -7);
        return {};
    }
    EXPECT_NE(records, nullptr);
    EXPECT_GE(count, 0);
    std::vector<Record> copy;
    if (records != nullptr && count > 0) copy.assign(records, records + count);
    Record* again = nullptr;
    EXPECT_TRUE(query(&again, static_cast<std::int32_t*>(nullptr)));
    EXPECT_NE(again, nullptr);
    EXPECT_NE(again, records);
    if (again != nullptr && !copy.empty()) {
        EXPECT_EQ(std::memcmp(again, copy.data(), copy.size() * sizeof(Record)), 0);
    }
    FreeResultArray(records);
    FreeResultArray(again);
    return copy;
}

}  // namespace tessary::testing
