// Helpers for tests that load data into a SymbolDatabase of their own (not for the exports
// tests, which see only the shared library).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
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
// handed out (released here). A query that returns 0 must leave both outputs as they were.
template <class Record, class Query>
std::vector<Record> Results(const Query& query, int expected = 1) {
    Record* records = PoisonPointer<Record>();
    std::int32_t count = -7;
    EXPECT_EQ(query(&records, &count) ? 1 : 0, expected);
    if (expected == 0 || records == PoisonPointer<Record>()) {
        EXPECT_EQ(records, PoisonPointer<Record>());
        EXPECT_EQ(count, -7);
        return {};
    }
    EXPECT_NE(records, nullptr);
    EXPECT_GE(count, 0);
    std::vector<Record> copy;
    if (records != nullptr && count > 0) copy.assign(records, records + count);
    FreeResultArray(records);
    return copy;
}

}  // namespace tessary::testing
