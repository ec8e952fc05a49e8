// What the exports answer, as bytes: one query's result and every record it handed out. Two
// databases are told apart by comparing such answers.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "support/test_support.h"
#include "tessary.h"

namespace tessary::testing {

// "0" for a refusal, else "1" and the records' bytes; the array is released.
template <class Record, class Call>
std::string Answer(Call&& call) {
    Record* records = nullptr;
    std::int32_t count = 0;
    if (call(&records, &count) == 0) return "0";
    std::string bytes = "1" + Bytes(records, sizeof(Record) * static_cast<std::size_t>(count));
    TSYFree(records);
    return bytes;
}

// The answer of query `which`, one of kQueryCount kinds that together use every query export
// (arguments chosen for SmallDirectory-like data).
inline constexpr int kQueryCount = 8;
inline std::string Ask(int which) {
    switch (which) {
    case 0: return Answer<ExchangeInfo>([](auto** r, auto* n) { return TSYGetExch(r, n); });
    case 1: return Answer<SubGroupInfo>([](auto** r, auto* n) { return TSYGetSubGroup(1, "", r, n); });
    case 2: return Answer<SymbolInfo>([](auto** r, auto* n) { return TSYGetGroupSymbol(1, "G10010030", r, n); });
    case 3: {
        SymbolInfo info;
        std::memset(&info, 0, sizeof info);
        const std::int32_t found = TSYGetSymbolInfo("600000.SH", &info);
        return std::to_string(found) + Bytes(&info, sizeof info);
    }
    case 4:
        return Answer<SymbolInfo>([](auto** r, auto* n) { return TSYGetSymbolInfos("600000.SH,000001.sz,NOPE.SH", r, n); });
    case 5: return Answer<SymbolInfo>([](auto** r, auto* n) { return TSYGetSymbolInfos2(1, -1, r, n); });
    case 6: return Answer<SymbolInfo>([](auto** r, auto* n) { return TSYFindSymbol("0", r, n, 0); });
    default: return Answer<SymbolInfo>([](auto** r, auto* n) { return TSYFindSymbol2("60", "1", r, n, 1); });
    }
}

// Every answer of the current database, one after the other.
inline std::string AskEverything() {
    std::string all;
    for (int i = 0; i < kQueryCount; ++i) all += Ask(i) + '|';
    return all;
}

}  // namespace tessary::testing
