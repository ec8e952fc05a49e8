// Searching the keystroke index: the hits of a text, their result order, and the top of that
// order with the total; and reading a place's texts and record.
#include "symbols/keystroke_index.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/text.h"
#include "symbols/keystroke_layout.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessary {
using namespace keystroke;

// A place's texts and record. Here, with the searches that read them for every candidate.

std::string_view KeystrokeIndex::SearchText(std::uint32_t place) const noexcept {
    return {texts_.data() + textAt_[place], textAt_[place + 1] - textAt_[place]};
}

std::string_view KeystrokeIndex::KeyText(std::uint32_t place) const noexcept {
    return std::string_view(keyTexts_).substr(places_[place].Key, places_[place].KeyLength);
}

std::string_view KeystrokeIndex::RankKey(std::uint32_t place) const noexcept {
    const char* r = records_.data() + recordAt_[place];
    return {r + kRecordHeader, static_cast<unsigned char>(r[1])};
}

bool KeystrokeIndex::HighRank(std::uint32_t place) const noexcept {
    return (records_[recordAt_[place]] & kRecordHighRank) != 0;
}

bool KeystrokeIndex::Resolved(std::uint32_t place) const noexcept {
    return (records_[recordAt_[place]] & kRecordResolved) != 0;
}

namespace {

// Copies `n` bytes, fewer than 64, writing nothing outside the `n` at `to`: a few overlapping
// moves of 16, 8, 4 or 1 bytes. A full search writes hundreds of thousands of records, and the
// compiler's own copy of a length it knows only as below 256 starts slowly.
[[gnu::always_inline]] inline void CopyShort(char* to, const char* from, std::size_t n) noexcept {
    auto move = [&](std::size_t at, auto word) {
        std::memcpy(&word, from + at, sizeof word);
        std::memcpy(to + at, &word, sizeof word);
    };
    if (n >= 16) {
        struct Chunk {
            std::uint64_t Low, High;
        };
        move(0, Chunk{});
        if (n > 32) move(16, Chunk{});
        if (n > 48) move(32, Chunk{});
        move(n - 16, Chunk{});
    } else if (n >= 8) {
        move(0, std::uint64_t{});
        move(n - 8, std::uint64_t{});
    } else if (n >= 4) {
        move(0, std::uint32_t{});
        move(n - 4, std::uint32_t{});
    } else {
        for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
    }
}

}  // namespace

void KeystrokeIndex::Fill(SymbolInfo& record, std::uint32_t place) const noexcept {
    const char* r = records_.data() + recordAt_[place];
    const auto keyLength = static_cast<unsigned char>(r[1]);
    const auto codeLength = static_cast<unsigned char>(r[2]);
    const auto suffixLength = static_cast<unsigned char>(r[3]);
    record.ExchangeId = static_cast<std::uint16_t>(static_cast<unsigned char>(r[4]) | static_cast<unsigned char>(r[5]) << 8);
    record.Type = static_cast<std::uint16_t>(static_cast<unsigned char>(r[6]) | static_cast<unsigned char>(r[7]) << 8);
    const char* key = r + kRecordHeader;
    // Add cut both texts to fit their fields; the bounds tell the compiler so too.
    static_assert(sizeof record.Symbol <= 64 && sizeof record.Name <= 64);
    const std::size_t code = std::min<std::size_t>(codeLength, sizeof record.Symbol - 1);
    const std::size_t suffix = std::min<std::size_t>(suffixLength, sizeof record.Symbol - 1 - code);
    const std::size_t name = std::min<std::size_t>(keyLength - codeLength, sizeof record.Name - 1);
    CopyShort(record.Symbol, key, code);
    CopyShort(record.Symbol + code, key + keyLength, suffix);
    record.Symbol[code + suffix] = '\0';
    CopyShort(record.Name, key + codeLength, name);
    record.Name[name] = '\0';
}

// A text looked for in many haystacks, each of which may be read up to kSlack bytes past its end.
// Sixteen starts are tried at a time: a start is a candidate when the text's first and last bytes
// both match there, and a candidate is compared in full, up to 16 middle bytes in one step.
class KeystrokeIndex::Needle {
public:
    explicit Needle(std::string_view text) noexcept
        : text_(text), holdsSeparator_(text.find(kIndexSeparator) != std::string_view::npos) {
#if defined(__SSE2__)
        first_ = _mm_set1_epi8(text.empty() ? '\0' : text.front());
        last_ = _mm_set1_epi8(text.empty() ? '\0' : text.back());
        char middle[16] = {};
        const std::size_t inner = text.size() < 2 ? 0 : text.size() - 2;
        std::memcpy(middle, text.data() + (text.empty() ? 0 : 1), std::min<std::size_t>(inner, 16));
        middle_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(middle));
        middleMask_ = inner >= 16 ? 0xFFFFu : (1u << inner) - 1;
#endif
    }
    [[nodiscard]] std::string_view View() const noexcept { return text_; }
    [[nodiscard]] bool HoldsSeparator() const noexcept { return holdsSeparator_; }

    // Where the text first occurs in `haystack`, or -1.
    [[gnu::always_inline]] std::ptrdiff_t In(std::string_view haystack) const noexcept {
        const std::size_t m = text_.size(), n = haystack.size();
        if (m == 0) return 0;
        if (m > n) return -1;
#if defined(__SSE2__)
        if (m <= 128) {
            const char* const s = haystack.data();
            for (std::size_t i = 0; i + m <= n; i += 16) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + m - 1));
                auto mask = static_cast<unsigned>(
                    _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first_), _mm_cmpeq_epi8(b, last_))));
                // Starts past n - m would run over the end of the haystack.
                const std::size_t valid = n - m - i + 1;
                if (valid < 16) mask &= (1u << valid) - 1;
                for (; mask != 0; mask &= mask - 1) {
                    const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
                    if (Middle(s + at + 1)) return static_cast<std::ptrdiff_t>(at);
                }
            }
            return -1;
        }
#endif
        const std::size_t at = haystack.find(text_);
        return at == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(at);
    }
    [[nodiscard]] bool IsIn(std::string_view haystack) const noexcept { return In(haystack) >= 0; }

private:
#if defined(__SSE2__)
    // Whether the bytes at `s` are the text's but its first and last.
    [[nodiscard]] bool Middle(const char* s) const noexcept {
        const auto same = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), middle_)));
        if ((same & middleMask_) != middleMask_) return false;
        return text_.size() <= 18 || std::memcmp(s + 16, text_.data() + 17, text_.size() - 18) == 0;
    }
    __m128i first_, last_, middle_;
    unsigned middleMask_ = 0;
#endif
    std::string_view text_;
    bool holdsSeparator_;
};

const KeystrokeIndex::Postings* KeystrokeIndex::TriOf(std::string_view three) const noexcept {
    const auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(three[i])); };
    const std::uint32_t block = triBlock_ == nullptr ? 0 : triBlock_[b(0) << 8 | b(1)];
    if (block == 0) return nullptr;
    const std::uint16_t slot = triSlot_[(block - 1) * 256 + b(2)];
    return slot == 0 ? nullptr : &tri_[slot - 1];
}

const KeystrokeIndex::Postings* KeystrokeIndex::ExactList(std::string_view upper) const noexcept {
    if (upper.empty() || upper.size() > 3) return nullptr;
    return upper.size() == 3 ? TriOf(upper) : &grams_[GramOf(upper)];
}

bool KeystrokeIndex::TextHolds(std::uint32_t place, const Needle& upper) const noexcept {
    const std::string_view t = SearchText(place);
    if (!HighText(place) || text::IsSingleByte()) return upper.IsIn(t);
    return text::Find(t, upper.View()) >= 0;
}

bool KeystrokeIndex::KeyHolds(std::uint32_t place, const Needle& framed) const noexcept {
    const std::string_view k = KeyText(place);
    if ((places_[place].Flags & kHighKey) == 0 || text::IsSingleByte()) return framed.IsIn(k);
    return text::Find(k, framed.View()) >= 0;
}

std::uint32_t KeystrokeIndex::RankOf(std::uint32_t place, const Needle& rankText) const noexcept {
    const std::string_view k = RankKey(place);
    const bool bytes = !HighRank(place) || text::IsSingleByte();
    const std::ptrdiff_t at = bytes ? rankText.In(k) : text::Find(k, rankText.View());
    return static_cast<std::uint32_t>(at >= 0 ? static_cast<std::size_t>(at) : k.size());
}

bool KeystrokeIndex::Contains(const Postings& p, std::uint32_t place) const noexcept {
    if (p.Count == 0) return false;
    if (p.Bitmap) return TestBit(bitmaps_ + p.Offset, place);
    const auto* begin = arrays_.data() + p.Offset;
    return std::binary_search(begin, begin + p.Count, place);
}

// How many places of `p` are also in `mask` (every place of `p` when `mask` is null).
std::uint32_t KeystrokeIndex::CountIn(const Postings& p, const std::vector<std::uint64_t>* mask) const noexcept {
    if (mask == nullptr || p.Count == 0) return mask == nullptr ? p.Count : 0;
    std::uint32_t count = 0;
    if (p.Bitmap) {
        count = static_cast<std::uint32_t>(CountBits(bitmaps_ + p.Offset, mask->data(), words_));
    } else {
        for (std::uint32_t k = 0; k < p.Count; ++k) count += TestBit(mask->data(), arrays_[p.Offset + k]) ? 1u : 0u;
    }
    return count;
}

template <class Visit>
void KeystrokeIndex::ForEach(const Postings& p, Visit&& visit) const {
    if (p.Count == 0) return;
    if (!p.Bitmap) {
        for (std::uint32_t k = 0; k < p.Count; ++k) visit(arrays_[p.Offset + k]);
        return;
    }
    for (std::uint32_t w = 0; w < words_; ++w)
        for (std::uint64_t bits = bitmaps_[p.Offset + w]; bits != 0; bits &= bits - 1)
            visit(w * 64 + static_cast<std::uint32_t>(std::countr_zero(bits)));
}

void KeystrokeIndex::TextHits(std::string_view upper, std::uint32_t exchange, std::vector<std::uint32_t>& hits,
                              const Needle* rankText, std::vector<std::uint8_t>* ranks) const {
    const bool singleByte = text::IsSingleByte();
    const Needle needle(upper);
    if (const Postings* exact = ExactList(upper)) {
        // The list is the answer, but for a symbol with a byte >= 0x80 in a multibyte code page,
        // where the text may only occur from inside a character.
        ForEach(*exact, [&](std::uint32_t place) {
            if (!InExchange(place, exchange)) return;
            if (singleByte || !HighText(place) || TextHolds(place, needle)) hits.push_back(place);
        });
        return;
    }

    // A longer text: the places on the lists of all its two-byte pieces, each confirmed against
    // its text. The texts lie in place order, so the confirmation runs forward through memory,
    // each text fetched a few candidates ahead.
    std::vector<std::uint32_t> candidates;
    std::vector<const Postings*> lists;
    for (std::size_t i = 0; i + 2 <= upper.size(); ++i) {
        lists.push_back(&grams_[GramOf(upper.substr(i, 2))]);
        if (i + 3 <= upper.size())
            if (const Postings* tri = TriOf(upper.substr(i, 3))) lists.push_back(tri);
    }
    std::sort(lists.begin(), lists.end(), [](const Postings* a, const Postings* b) { return a->Count < b->Count; });
    lists.erase(std::unique(lists.begin(), lists.end()), lists.end());
    if (lists.front()->Count == 0) return;
    if (!lists.front()->Bitmap) {
        // The shortest list drives; the bitmaps among the others filter.
        ForEach(*lists.front(), [&](std::uint32_t place) {
            for (std::size_t l = 1; l < lists.size(); ++l)
                if (lists[l]->Bitmap && !TestBit(bitmaps_ + lists[l]->Offset, place)) return;
            if (InExchange(place, exchange)) candidates.push_back(place);
        });
    } else {
        const std::uint64_t* mask = exchange == kEveryExchange ? nullptr
                                    : exchange < exchangeMask_.size() && !exchangeMask_[exchange].empty()
                                        ? exchangeMask_[exchange].data()
                                        : nullptr;
        if (exchange != kEveryExchange && mask == nullptr) return;
        for (std::uint32_t w = 0; w < words_; ++w) {
            std::uint64_t bits = mask == nullptr ? ~std::uint64_t{0} : mask[w];
            for (const Postings* p : lists) {
                if (bits == 0) break;
                bits &= bitmaps_[p->Offset + w];
            }
            for (; bits != 0; bits &= bits - 1) candidates.push_back(w * 64 + static_cast<std::uint32_t>(std::countr_zero(bits)));
        }
    }
    hits.reserve(hits.size() + candidates.size());
    if (ranks != nullptr) ranks->reserve(ranks->size() + candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        FetchAhead(candidates, i, textAt_, texts_.data());
        if (!TextHolds(candidates[i], needle)) continue;
        hits.push_back(candidates[i]);
        // The text is at hand now; the record may not be, and is read later if need be.
        if (ranks != nullptr) ranks->push_back(RankInText(candidates[i], *rankText));
    }
}

void KeystrokeIndex::KeyHits(std::string_view upper, std::uint32_t exchange, std::vector<std::uint32_t>& hits) const {
    const std::string framedText = Framed(upper);
    const Needle framed(framedText);
    if (upper.find(kIndexSeparator) != std::string_view::npos) {
        // A text with a separator can match across the pieces: every key text is searched.
        for (std::uint32_t place = 0; place < size(); ++place)
            if (InExchange(place, exchange) && KeyHolds(place, framed)) hits.push_back(place);
        return;
    }
    const std::uint32_t piece = keyPieces_.Find(upper);
    if (piece == TextPieceTable::kNone) return;
    for (std::uint32_t k = keyPostingStart_[piece]; k < keyPostingStart_[piece + 1]; ++k) {
        const std::uint32_t place = keyPostings_[k];
        // A piece after a byte >= 0x80 may not start a character: such places are confirmed.
        if (place != 0xFFFFFFFFu && InExchange(place, exchange) && KeyHolds(place, framed)) hits.push_back(place);
    }
}

void KeystrokeIndex::CollectHits(std::string_view upper, bool matchKeys, std::uint32_t exchange,
                                 std::vector<std::uint32_t>& hits, const Needle* rankText,
                                 std::vector<std::uint8_t>* ranks) const {
    hits.clear();
    if (ranks != nullptr) ranks->clear();
    if (upper.empty()) {
        // The empty text is held by every search text.
        for (std::uint32_t place = 0; place < size(); ++place)
            if (InExchange(place, exchange)) hits.push_back(place);
        if (ranks != nullptr) ranks->assign(hits.size(), kRankUnknown);
        return;
    }
    TextHits(upper, exchange, hits, rankText, ranks);
    if (ranks != nullptr && ranks->size() != hits.size()) ranks->assign(hits.size(), kRankUnknown);
    if (!matchKeys) return;
    std::vector<std::uint32_t> keyHits;
    KeyHits(upper, exchange, keyHits);
    if (keyHits.empty()) return;
    std::vector<std::uint32_t> merged;
    merged.reserve(hits.size() + keyHits.size());
    std::vector<std::uint8_t> mergedRanks;
    if (ranks != nullptr) mergedRanks.reserve(hits.size() + keyHits.size());
    // The union, ascending; a place only the key text holds gets its rank later.
    std::size_t h = 0, k = 0;
    while (h < hits.size() || k < keyHits.size()) {
        if (k == keyHits.size() || (h < hits.size() && hits[h] <= keyHits[k])) {
            if (k < keyHits.size() && hits[h] == keyHits[k]) ++k;
            merged.push_back(hits[h]);
            if (ranks != nullptr) mergedRanks.push_back((*ranks)[h]);
            ++h;
        } else {
            merged.push_back(keyHits[k++]);
            if (ranks != nullptr) mergedRanks.push_back(kRankUnknown);
        }
    }
    hits.swap(merged);
    if (ranks != nullptr) ranks->swap(mergedRanks);
}

std::uint8_t KeystrokeIndex::RankInText(std::uint32_t place, const Needle& rankText) const noexcept {
    const std::string_view r = rankText.View();
    if (!TestBit(rankInText_.data(), place) || rankText.HoldsSeparator()) return kRankUnknown;
    // The key is the text's first field then its second, without the separator between them.
    const std::string_view t = SearchText(place);
    std::size_t c = 0, end = 0;  // the two separators
#if defined(__SSE2__)
    // Both lie in the first 2 * 255 bytes, which the text holds.
    const __m128i separator = _mm_set1_epi8(kIndexSeparator);
    for (std::size_t at = 0, found = 0; found < 2; at += 16) {
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.data() + at)), separator)));
        for (; mask != 0 && found < 2; mask &= mask - 1, ++found)
            (found == 0 ? c : end) = at + static_cast<std::size_t>(std::countr_zero(mask));
    }
#else
    c = t.find(kIndexSeparator);
    end = t.find(kIndexSeparator, c + 1);
#endif
    // The text holds no separator, so an occurrence in the two fields lies in one of them.
    const std::ptrdiff_t at = rankText.In(t.substr(0, end));
    if (at >= 0 && static_cast<std::size_t>(at) < c) return static_cast<std::uint8_t>(at);
    // An occurrence across the two parts: the code ends with its first k bytes, the name starts
    // with the rest. The largest k is the earliest.
    const std::size_t nameLength = end - c - 1;
    for (std::size_t k = std::min(r.size() - 1, c); k >= 1; --k)
        if (r.size() - k <= nameLength && t[c - k] == r[0] && t[c + 1] == r[k] && t.compare(c - k, k, r, 0, k) == 0 &&
            t.compare(c + 1, r.size() - k, r, k, r.size() - k) == 0)
            return static_cast<std::uint8_t>(c - k);
    return static_cast<std::uint8_t>(at >= 0 ? static_cast<std::size_t>(at) - 1 : end - 1);
}

void KeystrokeIndex::SelectTop(std::span<const std::uint32_t> hits, std::string_view rankText, std::uint32_t limit,
                               std::vector<std::uint32_t>& top, std::vector<std::uint8_t>* known) const {
    top.clear();
    if (rankText.empty()) {
        top.assign(hits.begin(), hits.begin() + std::min<std::size_t>(limit, hits.size()));
        return;
    }
    // Every hit's rank: those already found (`known`, kRankUnknown where not) as they are, the
    // others from their rank keys, fetched a few ahead (hits are in place order, and so are the
    // records in memory); then the ranks below the one that completes `limit` hits, and as many
    // of that rank as still fit, each rank in place order.
    std::vector<std::uint8_t> own;
    const bool given = known != nullptr && known->size() == hits.size();
    std::vector<std::uint8_t>& ranks = given ? *known : own;
    std::vector<std::uint32_t> unknownPlaces;
    std::span<const std::uint32_t> unknown = hits;
    if (given) {
        for (std::size_t i = 0; i < hits.size(); ++i)
            if (ranks[i] == kRankUnknown) unknownPlaces.push_back(hits[i]);
        unknown = unknownPlaces;
    } else {
        own.assign(hits.size(), kRankUnknown);
    }
    std::vector<std::uint32_t> count(longestRankKey_ + 2, 0);
    const Needle needle(rankText);
    for (std::size_t i = 0, u = 0; i < hits.size(); ++i) {
        if (ranks[i] == kRankUnknown) {
            FetchAhead(unknown, u++, recordAt_, records_.data());
            ranks[i] = static_cast<std::uint8_t>(RankOf(hits[i], needle));
        }
        ++count[ranks[i]];
    }
    std::uint32_t last = 0, below = 0;
    while (below + count[last] < limit) below += count[last++];
    std::uint32_t room = limit - below;  // of rank `last`
    std::vector<std::uint32_t> start(last + 2, 0);
    for (std::uint32_t r = 0; r < last; ++r) start[r + 1] = start[r] + count[r];
    top.resize(limit);
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const std::uint32_t r = ranks[i];
        if (r < last) top[start[r]++] = hits[i];
        else if (r == last && room != 0) top[start[r]++] = hits[i], --room;
    }
}

bool KeystrokeIndex::FillRanked(std::span<const std::uint32_t> hits, std::string_view rankText,
                                SymbolInfo* records) const {
    // Both passes read the hits' records in place order, which is their order in memory; the
    // records are written rank by rank, each rank a run of its own.
    std::vector<std::uint8_t> ranks(hits.size());
    std::vector<std::uint32_t> start(longestRankKey_ + 2, 0);
    const Needle needle(rankText);
    for (std::size_t i = 0; i < hits.size(); ++i) {
        FetchAhead(hits, i, recordAt_, records_.data());
        if (!Resolved(hits[i])) return false;
        const std::uint32_t r = rankText.empty() ? 0 : RankOf(hits[i], needle);
        ranks[i] = static_cast<std::uint8_t>(r);
        ++start[r + 1];
    }
    for (std::size_t r = 1; r < start.size(); ++r) start[r] += start[r - 1];
    for (std::size_t i = 0; i < hits.size(); ++i) Fill(records[start[ranks[i]]++], hits[i]);
    return true;
}

// The number of hits without visiting them, where the lists tell it exactly: a text of one or
// two bytes whose list needs no character check. False when the hits must be collected.
bool KeystrokeIndex::CountHits(std::string_view upper, bool matchKeys, std::uint32_t exchange,
                               std::uint32_t& total) const {
    const std::vector<std::uint64_t>* mask = nullptr;
    if (exchange != kEveryExchange) {
        if (exchange >= exchangeMask_.size() || exchangeMask_[exchange].empty()) {
            total = 0;
            return true;
        }
        mask = &exchangeMask_[exchange];
    }
    if (upper.empty()) {
        total = mask == nullptr ? size() : 0;
        if (mask != nullptr)
            total = static_cast<std::uint32_t>(CountBits(mask->data(), nullptr, mask->size()));
        return true;
    }
    const Postings* exact = ExactList(upper);
    if (exact == nullptr) return false;
    const Postings& p = *exact;
    if (anyHighText_ && !text::IsSingleByte() && CountIn(p, &highText_) != 0) return false;
    total = CountIn(p, mask);
    if (matchKeys) {
        std::vector<std::uint32_t> keyHits;
        KeyHits(upper, exchange, keyHits);
        for (const std::uint32_t place : keyHits)
            if (!Contains(p, place)) ++total;
    }
    return true;
}

// The hits of rank 0 are those whose rank key starts with `rankText`. In place order the folded
// keys are sorted, so those lie in the one range of places whose folded key starts with the
// folded text; when that range yields `limit` hits soon, nothing else comes before them.
template <class IsHit>
bool KeystrokeIndex::TopByPrefix(std::string_view rankText, std::uint32_t exchange, std::uint32_t limit,
                                 IsHit&& isHit, std::vector<std::uint32_t>& top) const {
    top.clear();
    std::uint32_t lo = 0, hi = size();
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        const std::string_view key = RankKey(mid);
        if (CompareFolded(key.substr(0, std::min(key.size(), rankText.size())), rankText) < 0) lo = mid + 1;
        else hi = mid;
    }
    const std::uint32_t budget = 16 * limit + 256;
    for (std::uint32_t place = lo, probes = 0; place < size() && top.size() < limit; ++place) {
        if (++probes > budget) return false;
        const std::string_view key = RankKey(place);
        if (key.size() < rankText.size() || CompareFolded(key.substr(0, rankText.size()), rankText) != 0) break;
        if (InExchange(place, exchange) && key.compare(0, rankText.size(), rankText) == 0 && isHit(place))
            top.push_back(place);
    }
    return top.size() == limit;
}

// Walks the ranks upwards: a hit of rank r has the text's first byte at byte r of its rank key,
// or its key ends there. Each column is scanned sixteen places at a time, and only where
// `hitBits` (one bit a place) marks a hit. A hit whose text occurs in its key is taken at the
// column of the first occurrence, so a hit met again later (taken already) is skipped, and a
// hit met where its key ends, not taken, holds no occurrence.
bool KeystrokeIndex::TopByColumns(std::string_view rankText, std::uint32_t exchange, std::uint32_t limit,
                                  const std::uint64_t* hitBits, std::vector<std::uint32_t>& top) const {
    top.clear();
    const std::uint32_t n = size();
    const auto first = static_cast<std::uint8_t>(rankText[0]);
    const bool singleByte = text::IsSingleByte();
    const Needle needle(rankText);
    std::vector<std::uint64_t> taken(words_, 0);
    auto consider = [&](std::uint32_t place, std::uint32_t r) {
        if (!InExchange(place, exchange) || TestBit(taken.data(), place)) return;
        const std::string_view key = RankKey(place);
        bool rankIsR;
        if (!singleByte && HighRank(place)) rankIsR = RankOf(place, needle) == r;
        else if (key.size() == r) rankIsR = true;
        else rankIsR = key.size() >= r + rankText.size() && key.compare(r, rankText.size(), rankText) == 0;
        if (!rankIsR) return;
        SetBit(taken, place);
        top.push_back(place);
    };
    for (std::uint32_t r = 0; r < kColumns && top.size() < limit; ++r) {
        const std::uint8_t* col = columns_.get() + static_cast<std::size_t>(r) * n;
        const std::uint8_t* prev = r == 0 ? nullptr : col - n;
        // The text's second byte is checked in the next column too, where there is one: a key
        // is read only where both bytes match, as a text of one byte, or ends.
        const std::uint8_t* next = rankText.size() >= 2 && r + 1 < kColumns ? col + n : nullptr;
        const auto second = static_cast<std::uint8_t>(rankText.size() >= 2 ? rankText[1] : 0);
        const std::size_t blocks = blockShortest_.size();
        auto columnHas = [&](std::uint32_t column, std::size_t block, std::uint8_t b) {
            return (columnBytes_[(column * blocks + block) * 4 + b / 64] >> (b % 64) & 1u) != 0;
        };
        constexpr std::uint32_t kBlockWords = kBlockPlaces / 64;
        for (std::uint32_t w = 0; w < words_ && top.size() < limit; ++w) {
            if (w % kBlockWords == 0) {
                const std::size_t block = w / kBlockWords;
                const bool starts = columnHas(r, block, first) && (next == nullptr || columnHas(r + 1, block, second));
                const bool ends = blockShortest_[block] <= r && r <= blockLongest_[block];
                if (!starts && !ends) {
                    w += kBlockWords - 1;
                    continue;
                }
            }
            const std::uint64_t hitWord = hitBits[w];
            if (hitWord == 0) continue;
            const std::uint32_t base = w * 64;
            std::uint64_t candidates = 0;
#if defined(__SSE2__)
            if (base + 64 <= n) {
                const __m128i wanted = _mm_set1_epi8(static_cast<char>(first));
                const __m128i wanted2 = _mm_set1_epi8(static_cast<char>(second));
                const __m128i zero = _mm_setzero_si128();
                for (std::uint32_t k = 0; k < 4; ++k) {
                    const std::uint32_t at = base + 16 * k;
                    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(col + at));
                    __m128i ends = _mm_cmpeq_epi8(c, zero);
                    if (prev != nullptr)
                        ends = _mm_andnot_si128(
                            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + at)), zero), ends);
                    __m128i starts = _mm_cmpeq_epi8(c, wanted);
                    if (next != nullptr)
                        starts = _mm_and_si128(
                            starts, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(next + at)), wanted2));
                    const __m128i m = _mm_or_si128(starts, ends);
                    candidates |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m))) << (16 * k);
                }
            } else
#endif
            {
                for (std::uint32_t place = base; place < std::min(base + 64, n); ++place)
                    if ((col[place] == first && (next == nullptr || next[place] == second)) ||
                        (col[place] == 0 && (prev == nullptr || prev[place] != 0)))
                        candidates |= std::uint64_t{1} << (place - base);
            }
            for (candidates &= hitWord; candidates != 0 && top.size() < limit; candidates &= candidates - 1)
                consider(base + static_cast<std::uint32_t>(std::countr_zero(candidates)), r);
        }
    }
    return top.size() == limit;
}

std::uint32_t KeystrokeIndex::Top(std::string_view upper, std::string_view rankText, bool matchKeys,
                                  std::uint32_t exchange, std::uint32_t limit, std::vector<std::uint32_t>& top,
                                  bool& failed) const {
    top.clear();
    failed = false;
    std::uint32_t total = 0;
    std::vector<std::uint32_t> hits;
    const bool counted = CountHits(upper, matchKeys, exchange, total);
    const Needle rankNeedle(rankText);
    std::vector<std::uint8_t> ranks;
    if (!counted) {
        CollectHits(upper, matchKeys, exchange, hits, rankText.empty() ? nullptr : &rankNeedle, &ranks);
        total = static_cast<std::uint32_t>(hits.size());
    }
    if (total == 0) return 0;

    // A hit that cannot be resolved fails the whole search, as it fails the full one.
    const std::string framedText = matchKeys ? Framed(upper) : std::string();
    const Needle needle(upper), framed(framedText);
    for (const std::uint32_t place : unresolved_)
        if (InExchange(place, exchange) && (TextHolds(place, needle) || (matchKeys && KeyHolds(place, framed)))) {
            failed = true;
            return total;
        }

    limit = std::min(limit, total);
    if (limit == 0) return total;
    if (upper.empty()) {
        // Every rank is 0: the places in order.
        for (std::uint32_t place = 0; place < size() && top.size() < limit; ++place)
            if (InExchange(place, exchange)) top.push_back(place);
        return total;
    }
    if (total >= orderAllBelow_) {
        // Many hits: walk the order itself and stop after `limit`, with the hits as a bitmap.
        std::vector<std::uint64_t> marks;
        // When counted, the hits are this list's places (and the key-only hits).
        const Postings& gram = counted ? *ExactList(upper) : grams_[0];
        std::vector<std::uint32_t> keyOnly;
        if (counted && matchKeys) {
            KeyHits(upper, exchange, keyOnly);
            std::erase_if(keyOnly, [&](std::uint32_t place) { return Contains(gram, place); });
        }
        const std::uint64_t* hitBits = nullptr;
        if (counted && gram.Bitmap && keyOnly.empty()) {
            hitBits = bitmaps_ + gram.Offset;
        } else {
            marks.assign(words_, 0);
            if (counted) {
                ForEach(gram, [&](std::uint32_t place) { SetBit(marks, place); });
                for (const std::uint32_t place : keyOnly) SetBit(marks, place);
            } else {
                for (const std::uint32_t place : hits) SetBit(marks, place);
            }
            hitBits = marks.data();
        }
        auto isHit = [&](std::uint32_t place) { return TestBit(hitBits, place); };
        if (TopByPrefix(rankText, exchange, limit, isHit, top)) return total;
        // With the hits at hand, ranking them all is cheaper than walking the columns, which
        // read every place's byte at each rank up to the 20th hit's.
        if (counted && TopByColumns(rankText, exchange, limit, hitBits, top)) return total;
    }
    if (counted) CollectHits(upper, matchKeys, exchange, hits);
    // Few hits: those of rank 0 may still be found faster at the start of the order than all
    // hits can be ranked.
    if (total < orderAllBelow_) {
        auto isHit = [&](std::uint32_t place) { return std::binary_search(hits.begin(), hits.end(), place); };
        if (TopByPrefix(rankText, exchange, limit, isHit, top)) return total;
    }
    SelectTop(hits, rankText, limit, top, counted ? nullptr : &ranks);
    return total;
}

}  // namespace tessary
