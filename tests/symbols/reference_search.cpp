// The plain reference model of the symbol search, the oracle of the differential test.
#include "symbols/reference_search.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "common/result_array.h"

namespace tessary::reference {
namespace {

constexpr char kSep = '\x05';

std::size_t CharBytes(const char* p, std::size_t left) {
    if (MB_CUR_MAX == 1) return 1;
    std::mbstate_t state{};
    const std::size_t n = std::mbrlen(p, left, &state);
    if (n == 0 || n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) return 1;
    return n;
}

std::string Field(const SymbolEntry& entry, SymbolField field) { return std::string(entry.Field(field)); }

// qsort's comparison reads the ranking text from here, as the library's reads the process-wide one.
const std::string* gRankText = nullptr;

int CompareSearchResults(const void* a, const void* b) {
    const auto* x = static_cast<const SymbolInfo*>(a);
    const auto* y = static_cast<const SymbolInfo*>(b);
    const std::string keyX = RankKey(*x);
    const std::string keyY = RankKey(*y);
    const long rankX = Rank(*x, *gRankText);
    const long rankY = Rank(*y, *gRankText);
    if (rankX != rankY) return rankX < rankY ? -1 : 1;
    // _stricmp: ASCII letters folded to lower case, every byte compared unsigned.
    for (std::size_t i = 0;; ++i) {
        int cx = static_cast<unsigned char>(keyX.c_str()[i]);
        int cy = static_cast<unsigned char>(keyY.c_str()[i]);
        if (cx >= 'A' && cx <= 'Z') cx += 'a' - 'A';
        if (cy >= 'A' && cy <= 'Z') cy += 'a' - 'A';
        if (cx != cy) return cx - cy;
        if (cx == 0) return 0;
    }
}

}  // namespace

std::string Upper(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t n = CharBytes(out.data() + i, out.size() - i);
        if (n == 1) out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[i])));
        i += n;
    }
    return out;
}

long FindText(std::string_view haystack, std::string_view needle) {
    for (std::size_t i = 0; i + needle.size() <= haystack.size();) {
        if (haystack.compare(i, needle.size(), needle) == 0) return static_cast<long>(i);
        if (i == haystack.size()) break;
        i += CharBytes(haystack.data() + i, haystack.size() - i);
    }
    return -1;
}

long LastDot(std::string_view s) {
    long last = -1;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = CharBytes(s.data() + i, s.size() - i);
        if (n == 1 && s[i] == '.') last = static_cast<long>(i);
        i += n;
    }
    return last;
}

std::string RankKey(const SymbolInfo& record) {
    char symbol[sizeof record.Symbol + 1] = {};
    std::memcpy(symbol, record.Symbol, sizeof record.Symbol);
    char name[sizeof record.Name + 1] = {};
    std::memcpy(name, record.Name, sizeof record.Name);
    const long dot = LastDot(symbol);
    if (dot > 0) symbol[dot] = '\0';
    char key[sizeof symbol + sizeof name];
    std::snprintf(key, sizeof key, "%s%s", symbol, name);
    return key;
}

long Rank(const SymbolInfo& record, std::string_view rankText) {
    const std::string key = RankKey(record);
    const long at = FindText(key, rankText);
    return at >= 0 ? at : static_cast<long>(key.size());
}

SearchModel::SearchModel(const SymbolTables& tables, const SymbolResolver& resolver) : resolver_(resolver) {
    for (const auto& [key, table] : tables) {
        if (table == nullptr) continue;
        IndexRecord& record = Index[key];
        std::vector<std::string> symbols;
        std::size_t i = 0;
        for (const SymbolEntry& symbolEntry : table->Symbols) {
            const SymbolEntry* entry = &symbolEntry;
            const std::string code(table->Symbols.CodeAt(i++));
            const std::string symbol(entry->Symbol().View());
            symbols.push_back(symbol);
            std::string searchText = code + kSep + Field(*entry, SymbolField::Name) + kSep +
                                     Field(*entry, SymbolField::SearchText1) + kSep +
                                     Field(*entry, SymbolField::SearchText2) + kSep +
                                     Field(*entry, SymbolField::SearchText3) + kSep +
                                     Field(*entry, SymbolField::SearchText4);
            std::string keyText = std::string(1, kSep) + Field(*entry, SymbolField::SearchKey1) + kSep +
                                  Field(*entry, SymbolField::SearchKey2) + kSep;
            record.SearchKeys[symbol] = keyText;
            record.SearchTexts[symbol] = searchText;
        }
        record.CodeList = std::string(1, kSep);
        for (const std::string& symbol : symbols) record.CodeList += symbol + kSep;
    }
}

namespace {

bool PassesExactTest(const IndexRecord& record, const std::string& framed) {
    return FindText(record.CodeList, framed) >= 0;
}

void ScanRecord(const IndexRecord& record, const std::string& upper, const std::string& framed,
                std::int32_t matchSearchKeys, std::vector<std::string>& hits) {
    for (const auto& [symbol, searchText] : record.SearchTexts) {
        if (FindText(searchText, upper) >= 0) {
            hits.push_back(symbol);
        } else if (matchSearchKeys != 0) {
            const auto key = record.SearchKeys.find(symbol);
            if (key != record.SearchKeys.end() && FindText(key->second, framed) >= 0) hits.push_back(symbol);
        }
    }
}

int BuildResult(const SymbolResolver& resolver, const std::vector<std::string>& hits, const char* text,
                std::string& rankText, SymbolInfo** results, std::int32_t* count) {
    std::vector<const SymbolEntry*> entries;
    for (const std::string& symbol : hits) {
        const SymbolEntry* entry = resolver.Resolve(symbol);
        if (entry == nullptr) return 0;
        entries.push_back(entry);
    }
    auto* records = static_cast<SymbolInfo*>(AllocateResultArray(entries.size(), sizeof(SymbolInfo)));
    if (records == nullptr) return 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SymbolInfo& r = records[i];
        r.ExchangeId = entries[i]->ExchangeId;
        r.Type = static_cast<std::uint16_t>(entries[i]->Type);
        std::snprintf(r.Symbol, sizeof r.Symbol, "%s", std::string(entries[i]->Symbol().View()).c_str());
        std::snprintf(r.Name, sizeof r.Name, "%s", Field(*entries[i], SymbolField::Name).c_str());
    }
    rankText = text;
    gRankText = &rankText;
    std::qsort(records, entries.size(), sizeof(SymbolInfo), CompareSearchResults);
    *results = records;
    if (count != nullptr) *count = static_cast<std::int32_t>(entries.size());
    return 1;
}

}  // namespace

int SearchModel::FindSymbols(const char* text, SymbolInfo** results, std::int32_t* count,
                             std::int32_t matchSearchKeys) {
    if (text == nullptr || results == nullptr) return 0;
    const std::string upper = Upper(text);
    const std::string framed = kSep + upper + kSep;
    std::vector<std::string> hits;
    for (const auto& [key, record] : Index) {
        if (PassesExactTest(record, framed)) {
            hits.push_back(upper);
            return BuildResult(resolver_, hits, text, RankText, results, count);
        }
    }
    for (const auto& [key, record] : Index) {
        if (record.SearchTexts.empty()) continue;
        ScanRecord(record, upper, framed, matchSearchKeys, hits);
    }
    return BuildResult(resolver_, hits, text, RankText, results, count);
}

int SearchModel::FindSymbolsInExchange(const char* text, const char* exchangeKey, SymbolInfo** results,
                                       std::int32_t* count, std::int32_t matchSearchKeys) {
    if (text == nullptr || exchangeKey == nullptr || results == nullptr) return 0;
    const auto it = Index.find(exchangeKey);
    if (it == Index.end()) return 0;
    const std::string upper = Upper(text);
    const std::string framed = kSep + upper + kSep;
    std::vector<std::string> hits;
    if (PassesExactTest(it->second, framed))
        hits.push_back(upper);
    else
        ScanRecord(it->second, upper, framed, matchSearchKeys, hits);
    return BuildResult(resolver_, hits, text, RankText, results, count);
}

}  // namespace tessary::reference
