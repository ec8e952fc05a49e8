// Today's scan: the search index and search as they were before the keystroke index.
#include "baseline_scan.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <iterator>
#include <new>
#include <stdexcept>

#include "common/result_array.h"
#include "common/text.h"
#include "symbols/symbol_info.h"
#include "symbols/symbol_table.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessary::baseline {

// ---- SymbolIndexRecord: building ----

void SymbolIndexRecord::AddSymbol(std::string_view symbol, std::string_view code, std::string_view name,
                                  const std::string_view (&searchTexts)[4], std::string_view searchKey1,
                                  std::string_view searchKey2, const SymbolEntry* resolved) {
    if (codeList_.empty()) codeList_.push_back(kIndexSeparator);
    symbolStart_.push_back(codeList_.size());
    codeList_.append(symbol);
    codeList_.push_back(kIndexSeparator);

    const std::size_t textBegin = textBuffer_.size();
    textBuffer_.append(code);
    textBuffer_.push_back(kIndexSeparator);
    textBuffer_.append(name);
    for (const std::string_view searchText : searchTexts) {
        textBuffer_.push_back(kIndexSeparator);
        textBuffer_.append(searchText);
    }
    longestText_ = std::max(longestText_, textBuffer_.size() - textBegin);
    textBuffer_.push_back('\0');
    textStart_.push_back(textBuffer_.size());

    keyBuffer_.push_back(kIndexSeparator);
    keyBuffer_.append(searchKey1);
    keyBuffer_.push_back(kIndexSeparator);
    keyBuffer_.append(searchKey2);
    keyBuffer_.push_back(kIndexSeparator);
    keyStart_.push_back(keyBuffer_.size());

    resolved_.push_back(resolved);
}

namespace {

// Calls `visit` with every piece of `s` between two neighbouring separators (where `s` starts
// and ends with one), and whether the separator before the piece is certainly a character
// boundary: the first byte of `s`, or one after a byte below 0x80, which no code page uses as a
// lead byte.
template <class Visit>
void ForEachFramedPiece(std::string_view s, Visit&& visit) {
    std::size_t begin = 1;
    while (begin < s.size()) {
        const std::size_t end = s.find(kIndexSeparator, begin);
        const bool certain = begin == 1 || static_cast<unsigned char>(s[begin - 2]) < 0x80;
        visit(s.substr(begin, end - begin), certain);
        begin = end + 1;
    }
}

}  // namespace

void SymbolIndexRecord::Finish() {
    if (codeList_.empty()) codeList_.push_back(kIndexSeparator);
    symbolStart_.push_back(codeList_.size());

    // Only now are the buffers final, so only now may the piece tables point into them.
    codePieces_.clear();
    codePieceCertain_.clear();
    ForEachFramedPiece(codeList_, [&](std::string_view piece, bool certain) {
        const std::uint32_t id = codePieces_.Intern(piece);
        if (id == codePieceCertain_.size()) codePieceCertain_.push_back(false);
        if (certain) codePieceCertain_[id] = true;
    });

    keyPieces_.clear();
    keyTextDoubtful_.assign(SymbolCount(), false);
    std::vector<std::uint32_t> pieceOf, symbolOf;
    std::vector<std::uint32_t> ofThisSymbol;
    for (std::size_t i = 0; i < SymbolCount(); ++i) {
        ofThisSymbol.clear();
        ForEachFramedPiece(KeyText(i), [&](std::string_view piece, bool certain) {
            if (!certain) keyTextDoubtful_[i] = true;
            const std::uint32_t id = keyPieces_.Intern(piece);
            if (std::find(ofThisSymbol.begin(), ofThisSymbol.end(), id) != ofThisSymbol.end()) return;
            ofThisSymbol.push_back(id);
            pieceOf.push_back(id);
            symbolOf.push_back(static_cast<std::uint32_t>(i));
        });
    }
    // Counting sort by piece; symbols arrive in ascending order, so each piece's list is sorted.
    keyPostingStart_.assign(keyPieces_.size() + 1, 0);
    for (const std::uint32_t id : pieceOf) ++keyPostingStart_[id + 1];
    for (std::size_t p = 0; p < keyPieces_.size(); ++p) keyPostingStart_[p + 1] += keyPostingStart_[p];
    keyPostings_.assign(pieceOf.size(), 0);
    std::vector<std::uint32_t> next(keyPostingStart_.begin(), keyPostingStart_.end() - 1);
    for (std::size_t k = 0; k < pieceOf.size(); ++k) keyPostings_[next[pieceOf[k]]++] = symbolOf[k];
}

std::string_view SymbolIndexRecord::SymbolText(std::size_t i) const noexcept {
    return std::string_view(codeList_).substr(symbolStart_[i], symbolStart_[i + 1] - 1 - symbolStart_[i]);
}

std::string_view SymbolIndexRecord::SearchText(std::size_t i) const noexcept {
    return std::string_view(textBuffer_).substr(textStart_[i], textStart_[i + 1] - 1 - textStart_[i]);
}

std::string_view SymbolIndexRecord::KeyText(std::size_t i) const noexcept {
    return std::string_view(keyBuffer_).substr(keyStart_[i], keyStart_[i + 1] - keyStart_[i]);
}

// ---- SymbolIndexRecord: the tests of a search ----

namespace {

bool HoldsSeparator(std::string_view s) noexcept { return s.find(kIndexSeparator) != std::string_view::npos; }

std::string Framed(std::string_view upper) {
    std::string framed;
    framed.reserve(upper.size() + 2);
    framed.push_back(kIndexSeparator);
    framed.append(upper);
    framed.push_back(kIndexSeparator);
    return framed;
}

// First occurrence of `needle` (not empty) in [from, end) of `haystack`, or npos.
//
// The search runs over a whole exchange's texts on every keystroke, so it looks at 16
// candidate positions at a time where SSE2 is there (every x86-64 processor): a position is a
// candidate when both the needle's first and its last byte match, which rules out nearly all of
// them at once; only candidates are compared in full. Elsewhere, memchr finds the first byte.
std::size_t FindBytes(std::string_view haystack, std::size_t from, std::string_view needle) noexcept {
    const std::size_t m = needle.size();
    const std::size_t n = haystack.size();
    if (from > n || n - from < m) return std::string_view::npos;
    const char* const s = haystack.data();
    const char head = needle[0];
    if (m == 1) {
        const void* hit = std::memchr(s + from, head, n - from);
        return hit == nullptr ? std::string_view::npos : static_cast<std::size_t>(static_cast<const char*>(hit) - s);
    }
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(head);
    const __m128i last = _mm_set1_epi8(needle[m - 1]);
    // A block tests the starts i .. i + 15, which read up to byte i + 15 + m - 1.
    for (; m + 15 <= n - i; i += 16) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + m - 1));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(first, starts), _mm_cmpeq_epi8(last, ends))));
        while (mask != 0) {
            const auto bit = static_cast<std::size_t>(std::countr_zero(mask));
            if (std::memcmp(s + i + bit + 1, needle.data() + 1, m - 2) == 0) return i + bit;
            mask &= mask - 1;
        }
    }
#endif
    while (m <= n - i) {
        const void* hit = std::memchr(s + i, head, n - i - m + 1);
        if (hit == nullptr) return std::string_view::npos;
        i = static_cast<std::size_t>(static_cast<const char*>(hit) - s);
        if (std::memcmp(s + i + 1, needle.data() + 1, m - 1) == 0) return i;
        ++i;
    }
    return std::string_view::npos;
}

}  // namespace

bool SymbolIndexRecord::HoldsFramed(std::string_view upper) const {
    if (!HoldsSeparator(upper)) {
        const std::uint32_t piece = codePieces_.Find(upper);
        if (piece == TextPieceTable::kNone) return false;
        if (codePieceCertain_[piece] || text::IsSingleByte()) return true;
    }
    return text::Find(codeList_, Framed(upper)) >= 0;
}

std::size_t SymbolIndexRecord::SymbolAtOffset(std::size_t offset, std::size_t from) const noexcept {
    // Occurrences come in ascending order and often close together: gallop forward from the
    // symbol of the last one (which starts at or before `offset`), then bisect.
    // textStart_[j] <= offset for every j < lo; the answer is the last such j.
    const std::size_t count = SymbolCount();
    std::size_t lo = from + 1, hi = from + 1, step = 1;
    while (hi <= count && textStart_[hi] <= offset) {
        lo = hi + 1;
        hi += step;
        step *= 2;
    }
    hi = std::min(hi, count);  // textStart_[count] is the buffer's end, beyond every offset
    const auto begin = textStart_.begin();
    const auto it = std::upper_bound(begin + static_cast<std::ptrdiff_t>(lo), begin + static_cast<std::ptrdiff_t>(hi) + 1, offset);
    return static_cast<std::size_t>(it - begin) - 1;
}

void SymbolIndexRecord::ScanTexts(std::string_view upper, std::vector<std::uint32_t>& hits) const {
    const std::size_t count = SymbolCount();
    if (upper.empty()) {
        // The empty text is found at the start of every search text.
        for (std::size_t i = 0; i < count; ++i) hits.push_back(static_cast<std::uint32_t>(i));
        return;
    }
    if (upper.size() > longestText_) return;
    const bool singleByte = text::IsSingleByte();
    const std::string_view buffer(textBuffer_);
    std::size_t from = 0;     // where the search goes on
    std::size_t symbol = 0;   // no symbol before this one can hold an occurrence at `from` or later
    while (from < buffer.size()) {
        const std::size_t at = FindBytes(buffer, from, upper);
        if (at == std::string_view::npos) break;
        symbol = SymbolAtOffset(at, symbol);
        // In a double-byte code page a match must start on a character of the symbol's own
        // text, never on a trail byte; a rejected candidate lets the search go on after it.
        if (!singleByte && !text::IsCharBoundary(SearchText(symbol), at - textStart_[symbol])) {
            from = at + 1;
            continue;
        }
        hits.push_back(static_cast<std::uint32_t>(symbol));
        // A symbol is a hit once: go on with the next symbol's text.
        from = textStart_[symbol + 1];
        ++symbol;
    }
}

void SymbolIndexRecord::Scan(std::string_view upper, bool matchSearchKeys, std::vector<std::uint32_t>& hits) const {
    const std::size_t first = hits.size();
    ScanTexts(upper, hits);
    if (!matchSearchKeys || upper.empty()) return;  // with an empty text every symbol is a hit already

    // The symbols that the key test makes hits, ascending, then merged into the text hits.
    std::vector<std::uint32_t> keyHits;
    if (!HoldsSeparator(upper)) {
        const std::uint32_t piece = keyPieces_.Find(upper);
        if (piece == TextPieceTable::kNone) return;
        const bool singleByte = text::IsSingleByte();
        const std::string framed = singleByte ? std::string() : Framed(upper);
        for (std::uint32_t k = keyPostingStart_[piece]; k < keyPostingStart_[piece + 1]; ++k) {
            const std::uint32_t symbol = keyPostings_[k];
            if (singleByte || !keyTextDoubtful_[symbol] || text::Find(KeyText(symbol), framed) >= 0)
                keyHits.push_back(symbol);
        }
    } else {
        const std::string framed = Framed(upper);
        for (std::size_t i = 0; i < SymbolCount(); ++i)
            if (text::Find(KeyText(i), framed) >= 0) keyHits.push_back(static_cast<std::uint32_t>(i));
    }
    if (keyHits.empty()) return;
    std::vector<std::uint32_t> merged;
    merged.reserve(hits.size() - first + keyHits.size());
    std::set_union(hits.begin() + static_cast<std::ptrdiff_t>(first), hits.end(), keyHits.begin(), keyHits.end(),
                   std::back_inserter(merged));
    hits.resize(first);
    hits.insert(hits.end(), merged.begin(), merged.end());
}

// ---- building the index ----

bool BuildSearchIndex(const OwningMap<ExchangeSymbolTable>& tables, const SymbolResolver& resolver, ScanIndex& out) {
    try {
        for (const auto& [key, table] : tables) {
            if (table == nullptr) continue;
            // A record built before under this key is replaced as a whole.
            out.erase(key);
            SymbolIndexRecord* record = FindOrCreateRecord(out, key);
            if (record == nullptr) return false;
            const SymbolMap& symbols = table->Symbols;
            std::size_t i = 0;
            for (const SymbolEntry& entry : symbols) {
                const std::string_view searchTexts[4] = {
                    entry.Field(SymbolField::SearchText1), entry.Field(SymbolField::SearchText2),
                    entry.Field(SymbolField::SearchText3), entry.Field(SymbolField::SearchText4)};
                const SymbolText symbol = entry.Symbol();
                record->AddSymbol(symbol.View(), symbols.CodeAt(i++), entry.Name(), searchTexts,
                                  entry.Field(SymbolField::SearchKey1), entry.Field(SymbolField::SearchKey2),
                                  resolver.Resolve(symbol.View()));
            }
            record->Finish();
        }
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}


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
    const SymbolText whole = entry.Symbol();
    const std::string_view symbol = text::CutToFit(whole.View(), sizeof(SymbolInfo::Symbol) - 1);
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

// The text the results are ranked by: the caller's text as passed, kept process-wide between
// searches. This is the only place that holds it.
std::string searchRankText;

// Ranks `hits` by the caller's `text` and hands them out in that order.
bool HandOutResults(const std::vector<const SymbolEntry*>& hits, const char* text, SymbolInfo** results,
                    std::int32_t* count) {
    std::string& rankText = searchRankText;
    rankText = text;

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
bool FindSymbols(const ScanIndex& index, const SymbolResolver& resolver, const char* text, SymbolInfo** results,
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

}  // namespace tessary::baseline
