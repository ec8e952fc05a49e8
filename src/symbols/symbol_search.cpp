// The symbol search behind TSYFindSymbol and TSYFindSymbol2: the exact-symbol shortcut, the scan
// of the search index, and the ranked result array.
#include "symbols/symbol_search.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/text.h"
#include "symbols/symbol_resolver.h"
#include "symbols/symbol_info.h"

namespace tessary {
namespace {

// Hosts know the order: ascending rank, that is the position of the first occurrence of the
// caller's text in the key (code part of Symbol followed by Name), or the key's length when it
// holds none; equal ranks in _stricmp order of the keys. Rank and key depend on the hit only, so
// each is made once per hit here, not at every comparison.
struct RankedHit {
    std::uint32_t Rank;
    std::uint32_t Hit;          // position in the hit list: equal hits keep it, so the order is stable
    std::uint64_t Prefix;       // the first 8 bytes of the folded key, big-endian, zero-padded
    std::size_t KeyOffset;      // the folded key in the arena
    std::uint32_t KeyLength;
};

// The result order over ranked hits: rank, then the folded keys (a byte comparison of folded
// keys is _stricmp's), then the hit's position, which makes the sort stable.
struct CompareSearchResults {
    std::string_view Keys;  // the arena of folded keys

    bool operator()(const RankedHit& a, const RankedHit& b) const noexcept {
        if (a.Rank != b.Rank) return a.Rank < b.Rank;
        if (a.Prefix != b.Prefix) return a.Prefix < b.Prefix;
        // char_traits<char>::compare compares bytes as unsigned, as _stricmp does.
        const int c = Keys.substr(a.KeyOffset, a.KeyLength).compare(Keys.substr(b.KeyOffset, b.KeyLength));
        if (c != 0) return c < 0;
        return a.Hit < b.Hit;
    }
};

// The comparison key of a record filled from `entry`: the part of its Symbol field before the
// last '.' when that '.' is not first (all of Symbol otherwise), followed by its Name field. The
// fields are cut as FillSymbolInfo cuts them, so the key is the one the record holds.
void AppendKey(std::string& out, const SymbolEntry& entry) {
    const std::string_view symbol = text::CutToFit(entry.Symbol, sizeof(SymbolInfo::Symbol) - 1);
    const std::ptrdiff_t dot = text::ReverseFind(symbol, '.');
    out.append(dot > 0 ? symbol.substr(0, static_cast<std::size_t>(dot)) : symbol);
    out.append(text::CutToFit(entry.Name(), sizeof(SymbolInfo::Name) - 1));
}

// Folding A-Z to a-z makes a plain unsigned byte comparison of two keys equal to _stricmp's.
void FoldCase(char* p, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(p[i] - 'A') < 26u) p[i] = static_cast<char>(p[i] + ('a' - 'A'));
}

std::uint64_t BigEndianPrefix(const char* p, std::size_t n) noexcept {
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < n ? static_cast<unsigned char>(p[i]) : 0u);
    return prefix;
}

// Ranks `hits` by the caller's `text` and hands them out in that order. The ranking text is the
// search's own, so searches on several threads never share it.
bool HandOutResults(const std::vector<const SymbolEntry*>& hits, const char* text, SymbolInfo** results,
                    std::int32_t* count) {
    const std::string_view rankText(text);

    std::string arena;  // keys are made in place here; a key holds no NUL (fields end at theirs)
    arena.reserve(hits.size() * 32);
    std::vector<RankedHit> ranked(hits.size());
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const std::size_t offset = arena.size();
        AppendKey(arena, *hits[i]);
        const std::string_view key = std::string_view(arena).substr(offset);
        const std::ptrdiff_t at = text::Find(key, rankText);
        RankedHit& r = ranked[i];
        r.Rank = static_cast<std::uint32_t>(at >= 0 ? static_cast<std::size_t>(at) : key.size());
        r.Hit = static_cast<std::uint32_t>(i);
        FoldCase(arena.data() + offset, key.size());
        r.Prefix = BigEndianPrefix(arena.data() + offset, key.size());
        r.KeyOffset = offset;
        r.KeyLength = static_cast<std::uint32_t>(key.size());
    }
    std::sort(ranked.begin(), ranked.end(), CompareSearchResults{arena});
    return HandOutResultArray(
        ranked.size(), [&](SymbolInfo& record, std::size_t j) { FillSymbolInfo(record, *hits[ranked[j].Hit]); },
        results, count);
}

// Appends the entries of the symbols of `record` that the scan makes hits (each resolved when
// the index was built); false when one of them does not resolve, which fails the whole search.
bool GatherHits(const SymbolIndexRecord& record, std::string_view upper, bool matchSearchKeys,
                std::vector<std::uint32_t>& scratch, std::vector<const SymbolEntry*>& hits) {
    scratch.clear();
    record.Scan(upper, matchSearchKeys, scratch);
    hits.reserve(hits.size() + scratch.size());
    for (const std::uint32_t symbol : scratch) {
        const SymbolEntry* entry = record.Resolved(symbol);
        if (entry == nullptr) return false;
        hits.push_back(entry);
    }
    return true;
}

// The answer for a text that is a whole Symbol text: the one entry the text itself names, or
// failure when it names none.
bool ExactAnswer(const SymbolResolver& resolver, std::string_view upper, std::vector<const SymbolEntry*>& hits) {
    const SymbolEntry* entry = resolver.Resolve(upper);
    if (entry == nullptr) return false;
    hits.push_back(entry);
    return true;
}

}  // namespace

// A null `text` or `results` is refused with false and nothing written: a host that passes one
// has made a mistake that an empty result would hide.
bool FindSymbols(const SearchIndex& index, const SymbolResolver& resolver, const char* text, SymbolInfo** results,
                 std::int32_t* count, bool matchSearchKeys) {
    if (text == nullptr || results == nullptr) return false;
    const std::string upper = text::ToUpper(text);
    std::vector<const SymbolEntry*> hits;

    // A whole Symbol text of any exchange answers with that one symbol, whatever else holds it.
    // Which exchange passes first does not matter: the answer is the entry the text itself names.
    const bool exact = std::any_of(index.begin(), index.end(), [&](const auto& item) {
        return item.second != nullptr && item.second->HoldsFramed(upper);
    });
    if (exact) {
        if (!ExactAnswer(resolver, upper, hits)) return false;
    } else {
        std::vector<std::uint32_t> scratch;
        for (const auto& [key, record] : index) {
            if (record == nullptr || record->SymbolCount() == 0) continue;
            if (!GatherHits(*record, upper, matchSearchKeys, scratch, hits)) return false;
        }
    }
    return HandOutResults(hits, text, results, count);
}

// As FindSymbols, over the record of one exchange key; a null `exchangeKey` is refused as well.
bool FindSymbolsInExchange(const SearchIndex& index, const SymbolResolver& resolver, const char* text,
                           const char* exchangeKey, SymbolInfo** results, std::int32_t* count, bool matchSearchKeys) {
    if (text == nullptr || exchangeKey == nullptr || results == nullptr) return false;
    const SymbolIndexRecord* record = FindRecord(index, exchangeKey);
    if (record == nullptr) return false;
    const std::string upper = text::ToUpper(text);
    std::vector<const SymbolEntry*> hits;
    if (record->HoldsFramed(upper)) {
        if (!ExactAnswer(resolver, upper, hits)) return false;
    } else {
        std::vector<std::uint32_t> scratch;
        if (!GatherHits(*record, upper, matchSearchKeys, scratch, hits)) return false;
    }
    return HandOutResults(hits, text, results, count);
}

}  // namespace tessary
