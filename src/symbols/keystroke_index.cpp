// Building the keystroke index: the places in tie-break order, the lists of their pieces, the
// columns of their rank keys.
#include "symbols/keystroke_index.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/memory_advice.h"
#include "common/text.h"
#include "symbols/keystroke_layout.h"

namespace tessary {
using namespace keystroke;

namespace {

bool HasHighByte(std::string_view s) noexcept {
    // Nearly every text has none: the bytes are gathered eight at a time, with one test at the end.
    std::uint64_t bits = 0;
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, sizeof word);
        bits |= word;
    }
    for (; i < s.size(); ++i) bits |= static_cast<unsigned char>(s[i]);
    return (bits & 0x8080808080808080ull) != 0;
}

std::uint64_t FoldedPrefix(std::string_view s) noexcept {
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i)
        prefix = prefix << 8 | (i < s.size() ? Fold(static_cast<unsigned char>(s[i])) : 0u);
    return prefix;
}

// Room for `n` elements in `v`, in large pages where the platform gives them: for the arrays
// that searches read at random for as long as the index lives, where large pages spare most
// address-translation misses (the typed top 20's p99 at 1,000,000 symbols: 2.7 against 3.4 ms).
// Arrays that only building uses are left in small pages. A fresh large page can cost much more
// to clear than its 512 small ones: under a hypervisor that reclaims a guest's free memory in
// large blocks, one measured 1.46 ms a megabyte against 0.53.
template <class Container>
void ReserveLarge(Container& v, std::size_t n) {
    v.reserve(n);
    AdviseLargePages(v.data(), v.capacity() * sizeof(*v.data()));
}

// Room for `n` elements in `v`, which building is about to fill: its memory is had in one step.
template <class Container>
void ReserveForWriting(Container& v, std::size_t n) {
    v.reserve(n);
    PrepareForWriting(v.data(), v.capacity() * sizeof(*v.data()));
}

// An array of `n` zeroed elements, taken zeroed from the allocator: a fresh mapping is zero
// already, so the tables of all pieces cost only the pages a small market touches, not a pass
// over their 65,536 entries.
template <class T>
ZeroedArray<T> Zeroed(std::size_t n) {
    void* bytes = std::calloc(n == 0 ? 1 : n, sizeof(T));
    if (bytes == nullptr) throw std::bad_alloc();
    return ZeroedArray<T>(static_cast<T*>(bytes));
}

// The 64-bit words of a cache line.
constexpr std::size_t kLineWords = 8;

// Stores the line of 8 words at `from` to the line at `to`, without reading it into the cache
// where the processor allows.
void StoreLine(std::uint64_t* to, const std::uint64_t* from) noexcept {
#if defined(__SSE2__)
    for (std::size_t w = 0; w < kLineWords; w += 2)
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + w),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + w)));
#else
    std::copy_n(from, kLineWords, to);
#endif
}

// Orders the lines stored so far before every later store, for the threads that will read them.
void StoreLinesDone() noexcept {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

// A lower-case ASCII letter survives upper-casing only inside a multibyte character, whose lead
// byte is >= 0x80 in every code page: a searched text never starts with one, and holds one only
// right after a byte >= 0x80. So pieces that hold one after a byte below 0x80 are never searched
// for, and the index keeps no list of them (most pieces of a mixed-case Name are such).
bool IsLowerAscii(std::uint32_t c) noexcept { return c - 'a' < 26u; }
bool Searchable(std::uint32_t first, std::uint32_t second) noexcept { return !(IsLowerAscii(second) && first < 0x80); }


// The bits set in `n` words of `a`, or of `a & b` when `b` is given. Built for the baseline
// processor, the compiler calls a library routine for every word; the population-count
// instruction is used where the processor has it.
std::uint64_t CountBitsPortable(const std::uint64_t* a, const std::uint64_t* b, std::size_t n) noexcept {
    std::uint64_t count = 0;
    for (std::size_t w = 0; w < n; ++w)
        count += static_cast<std::uint64_t>(std::popcount(b == nullptr ? a[w] : a[w] & b[w]));
    return count;
}
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
[[gnu::target("popcnt")]] std::uint64_t CountBitsInstruction(const std::uint64_t* a, const std::uint64_t* b,
                                                             std::size_t n) noexcept {
    std::uint64_t count = 0;
    for (std::size_t w = 0; w < n; ++w)
        count += static_cast<std::uint64_t>(__builtin_popcountll(b == nullptr ? a[w] : a[w] & b[w]));
    return count;
}
#endif

}  // namespace

std::uint64_t keystroke::CountBits(const std::uint64_t* a, const std::uint64_t* b, std::size_t n) noexcept {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool instruction = __builtin_cpu_supports("popcnt");
    if (instruction) return CountBitsInstruction(a, b, n);
#endif
    return CountBitsPortable(a, b, n);
}

// ---- building ----

void KeystrokeIndex::Add(std::uint32_t exchange, const Record& record) {
    // Places address their records with 32 bits; a market beyond that does not load.
    if (records_.size() > 0xFFFF0000u) throw std::length_error("search index beyond 4 GiB");
    Place p{};
    p.Exchange = exchange;
    places_.push_back(p);

    // The record keeps the rank key (the code part of Symbol, then Name) in one piece, since
    // ranking searches it; Symbol is the code part and the rest of Symbol (".SH").
    recordAt_.push_back(static_cast<std::uint32_t>(records_.size()));
    std::string_view codePart, suffix, name;
    bool highRank = false;
    if (record.Resolved) {
        const std::string_view symbol = text::CutToFit(record.Symbol, sizeof(SymbolInfo::Symbol) - 1);
        const std::ptrdiff_t dot = text::ReverseFind(symbol, '.');
        codePart = dot > 0 ? symbol.substr(0, static_cast<std::size_t>(dot)) : symbol;
        suffix = symbol.substr(codePart.size());
        name = text::CutToFit(record.Name, sizeof(SymbolInfo::Name) - 1);
        highRank = HasHighByte(codePart) || HasHighByte(name);
    }
    const char header[kRecordHeader] = {
        static_cast<char>((record.Resolved ? kRecordResolved : 0) | (highRank ? kRecordHighRank : 0)),
        static_cast<char>(codePart.size() + name.size()),
        static_cast<char>(codePart.size()), static_cast<char>(suffix.size()),
        static_cast<char>(record.ExchangeId & 0xFF), static_cast<char>(record.ExchangeId >> 8),
        static_cast<char>(record.Type & 0xFF), static_cast<char>(record.Type >> 8)};
    records_.append(header, kRecordHeader);
    records_.append(codePart);
    records_.append(name);
    records_.append(suffix);
}

namespace {

// Appends `parts` to `out`, each after a separator if `before`, each followed by one if `after`,
// and between them in any case; the appended text.
std::string_view AppendJoined(std::string& out, std::span<const std::string_view> parts, bool before,
                              bool after) {
    std::size_t size = before + after + (parts.empty() ? 0 : parts.size() - 1);
    for (const std::string_view part : parts) size += part.size();
    // Places address their texts with 32 bits; a market beyond that does not load.
    if (out.size() + size > 0xFFFF0000u) throw std::length_error("search index beyond 4 GiB");
    const std::size_t at = out.size();
    out.resize(at + size);
    char* to = out.data() + at;
    if (before) *to++ = kIndexSeparator;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) *to++ = kIndexSeparator;
        if (!parts[i].empty()) std::memcpy(to, parts[i].data(), parts[i].size());
        to += parts[i].size();
    }
    if (after) *to = kIndexSeparator;
    return std::string_view(out).substr(at);
}

}  // namespace

void KeystrokeIndex::AddTexts(std::span<const std::string_view> searchParts,
                              std::span<const std::string_view> keyParts) {
    const auto place = static_cast<std::uint32_t>(textAt_.size());
    Place& p = places_.at(place);
    textAt_.push_back(static_cast<std::uint32_t>(texts_.size()));
    p.Key = static_cast<std::uint32_t>(keyTexts_.size());
    const std::string_view searchText = AppendJoined(texts_, searchParts, false, false);
    const std::string_view keyText = AppendJoined(keyTexts_, keyParts, true, true);
    if (keyText.size() > 0xFF) throw std::length_error("key text beyond 255 bytes");
    p.KeyLength = static_cast<std::uint8_t>(keyText.size());
    p.Flags = static_cast<std::uint8_t>((HasHighByte(searchText) ? kHighText : 0) | (HasHighByte(keyText) ? kHighKey : 0));

    // A search text that starts with the rank key's two parts, each followed by 0x05, tells a
    // hit's rank wherever the typed text occurs in that start (see RankInText).
    const char* r = records_.data() + recordAt_[place];
    if ((r[0] & kRecordResolved) != 0 && (r[0] & kRecordHighRank) == 0) {
        const std::size_t c = static_cast<unsigned char>(r[2]), m = static_cast<unsigned char>(r[1]) - c;
        const std::string_view codePart(r + kRecordHeader, c), name(r + kRecordHeader + c, m);
        if (searchText.size() > c + 1 + m && searchText.compare(0, c, codePart) == 0 &&
            searchText[c] == kIndexSeparator && searchText.compare(c + 1, m, name) == 0 &&
            searchText[c + 1 + m] == kIndexSeparator && codePart.find(kIndexSeparator) == std::string_view::npos &&
            name.find(kIndexSeparator) == std::string_view::npos)
            p.Flags |= kRankInText;
    }
}

void KeystrokeIndex::Reserve(std::size_t symbols) {
    ReserveForWriting(places_, symbols);
    ReserveForWriting(textAt_, symbols + 1);
    ReserveForWriting(recordAt_, symbols + 1);
    ReserveForWriting(records_, symbols * 40);
}

void KeystrokeIndex::Clear() noexcept {
    places_.clear();
    textAt_.clear();
    recordAt_.clear();
    texts_.clear();
    keyTexts_.clear();
    records_.clear();
    words_ = 0;
    grams_.reset();
    triBlock_.reset();
    triSlot_.reset();
    tri_.clear();
    arrays_.clear();
    bitmapStorage_.reset();
    bitmaps_ = nullptr;
    bitmapWords_ = 0;
    highText_.clear();
    rankInText_.clear();
    anyHighText_ = false;
    exchangeMask_.clear();
    unresolved_.clear();
    keyPieces_.clear();
    keyPostingStart_.clear();
    keyPostings_.clear();
    columns_.reset();
    columnBytesTotal_ = 0;
    longestRankKey_ = 0;
    columnBytes_.clear();
    blockShortest_.clear();
    blockLongest_.clear();
}

void KeystrokeIndex::Finish() {
    textAt_.push_back(static_cast<std::uint32_t>(texts_.size()));
    texts_.append(kSlack, '\0');
    keyTexts_.append(kSlack, '\0');
    const std::uint32_t n = size();
    words_ = (n + 63) / 64;
    highText_.assign(words_, 0);
    rankInText_.assign(words_, 0);
    unresolved_.clear();
    for (std::uint32_t place = 0; place < n; ++place) {
        const Place& p = places_[place];
        if ((p.Flags & kHighText) != 0) SetBit(highText_, place), anyHighText_ = true;
        if ((p.Flags & kRankInText) != 0) SetBit(rankInText_, place);
        if (exchangeMask_.size() <= p.Exchange) exchangeMask_.resize(p.Exchange + 1u);
        if (exchangeMask_[p.Exchange].empty()) exchangeMask_[p.Exchange].assign(words_, 0);
        SetBit(exchangeMask_[p.Exchange], place);
        if (!Resolved(place)) unresolved_.push_back(place);
    }
    BuildPostings();
    BuildKeyPieces();

    // Taken zeroed from the system, not cleared again. The walk reads the columns in order, so
    // small pages serve it as well as large ones.
    columnBytesTotal_ = static_cast<std::size_t>(kColumns) * n;
    columns_ = Zeroed<std::uint8_t>(columnBytesTotal_);
    const std::size_t blocks = (n + kBlockPlaces - 1) / kBlockPlaces;
    columnBytes_.assign(kColumns * blocks * 4, 0);
    blockShortest_.clear();
    blockLongest_.clear();
    blockShortest_.reserve(blocks);
    blockLongest_.reserve(blocks);
    std::uint8_t blockBytes[kColumns * 256] = {};
    for (std::uint32_t place = 0; place < n; ++place) {
        const std::string_view key = RankKey(place);
        longestRankKey_ = std::max(longestRankKey_, static_cast<std::uint32_t>(key.size()));
        const std::size_t inColumns = std::min<std::size_t>(key.size(), kColumns);
        const std::uint32_t block = place / kBlockPlaces;
        const auto length = static_cast<std::uint8_t>(std::min<std::size_t>(key.size(), 255));
        if (place % kBlockPlaces == 0) blockShortest_.push_back(length), blockLongest_.push_back(length);
        blockShortest_[block] = std::min(blockShortest_[block], length);
        blockLongest_[block] = std::max(blockLongest_[block], length);
        // Which bytes the block's columns hold is noted in a small table of its own, a byte for
        // each, in cache, and turned into bits when the block is done.
        std::uint8_t* column = columns_.get() + place;
        for (std::size_t r = 0; r < inColumns; ++r, column += n) {
            const auto b = static_cast<unsigned char>(key[r]);
            *column = b;
            blockBytes[r * 256 + b] = 1;
        }
        if (place % kBlockPlaces == kBlockPlaces - 1 || place + 1 == n) {
            for (std::size_t r = 0; r < kColumns; ++r)
                for (std::size_t b = 0; b < 256; ++b)
                    columnBytes_[(r * blocks + block) * 4 + b / 64] |= std::uint64_t{blockBytes[r * 256 + b]}
                                                                       << (b % 64);
            std::fill(std::begin(blockBytes), std::end(blockBytes), 0);
        }
    }
}

std::vector<std::uint32_t> KeystrokeIndex::Sort(std::size_t textBytes, std::size_t keyBytes) {
    recordAt_.push_back(static_cast<std::uint32_t>(records_.size()));
    const std::uint32_t n = size();
    // Sorted on the first eight folded bytes of the rank key, then, among equal ones, on the
    // whole folded key; equal keys keep Add order (the sort is stable).
    struct Item {
        std::uint64_t Prefix;
        std::uint32_t Index;
    };
    auto keyOf = [&](std::uint32_t i) {
        const char* r = records_.data() + recordAt_[i];
        return std::string_view(r + kRecordHeader, static_cast<unsigned char>(r[1]));
    };
    std::vector<Item> items, spare;
    ReserveForWriting(items, n);
    ReserveForWriting(spare, n);
    items.resize(n);
    spare.resize(n);
    for (std::uint32_t i = 0; i < n; ++i) items[i] = {FoldedPrefix(keyOf(i)), i};
    // Radix passes over the prefix, least significant first, of 16 bits in a large market and 8
    // in a smaller one, whose passes must not each cost 65,536 counters; a tiny market is sorted
    // by comparison. All give the same order.
    if (n < 64) {
        std::sort(items.begin(), items.end(),
                  [](const Item& x, const Item& y) { return x.Prefix != y.Prefix ? x.Prefix < y.Prefix : x.Index < y.Index; });
    } else {
        const int bits = n < 65536 ? 8 : 16;
        const std::uint64_t digit = (std::uint64_t{1} << bits) - 1;
        std::vector<std::uint32_t> start(static_cast<std::size_t>(digit) + 2);
        for (int shift = 0; shift < 64; shift += bits) {
            auto digitOf = [&](const Item& item) { return static_cast<std::size_t>(item.Prefix >> shift & digit); };
            std::fill(start.begin(), start.end(), 0);
            for (const Item& item : items) ++start[digitOf(item) + 1];
            for (std::size_t d = 1; d < start.size(); ++d) start[d] += start[d - 1];
            for (const Item& item : items) spare[start[digitOf(item)]++] = item;
            items.swap(spare);
        }
    }
    for (std::uint32_t a = 0; a < n;) {
        std::uint32_t b = a + 1;
        while (b < n && items[b].Prefix == items[a].Prefix) ++b;
        // Most runs of equal prefixes are a few symbols long: they are sorted by insertion, which
        // needs no buffer; a long run by a merge sort. Both keep equal keys in Add order.
        auto before = [&](const Item& x, const Item& y) {
            return CompareFolded(keyOf(x.Index), keyOf(y.Index)) < 0;
        };
        if (b - a > 16) {
            std::stable_sort(items.begin() + a, items.begin() + b, before);
        } else {
            for (std::uint32_t i = a + 1; i < b; ++i) {
                const Item item = items[i];
                std::uint32_t j = i;
                for (; j > a && before(item, items[j - 1]); --j) items[j] = items[j - 1];
                items[j] = item;
            }
        }
        a = b;
    }

    // Records are laid out again in place order, and the texts will be added in it: a search
    // reads them for its hits, which come in place order.
    std::vector<Place> places(n);
    std::vector<std::uint32_t> recordAt(n + 1);
    std::string records;
    ReserveLarge(records, records_.size() + kSlack);
    std::vector<std::uint32_t> order(n);
    for (std::uint32_t place = 0; place < n; ++place) {
        const std::uint32_t from = items[place].Index;
        order[place] = from;
        places[place] = places_[from];
        recordAt[place] = static_cast<std::uint32_t>(records.size());
        records.append(records_, recordAt_[from], recordAt_[from + 1] - recordAt_[from]);
    }
    recordAt[n] = static_cast<std::uint32_t>(records.size());
    records.append(kSlack, '\0');
    places_.swap(places);
    recordAt_.swap(recordAt);
    records_.swap(records);
    ReserveLarge(texts_, textBytes + kSlack);
    ReserveForWriting(keyTexts_, keyBytes + kSlack);
    return order;
}

void KeystrokeIndex::BuildPostings() {
    const std::uint32_t n = size();
    // A list becomes a bitmap when it would hold more than one place in 32 (4 bytes a place
    // against n / 8 bytes). The shares are taken from some 16,000 symbols spread over a large
    // market: a share near one in 32 is then known to a few percent, close enough for a choice
    // of layout, which never changes an answer.
    const std::uint32_t step = std::max<std::uint32_t>(1, n / 16384);
    auto text = [&](std::uint32_t place) {
        return std::span(reinterpret_cast<const unsigned char*>(texts_.data() + textAt_[place]),
                         textAt_[place + 1] - textAt_[place]);
    };
    auto frequent = [&](std::uint32_t sampled) { return static_cast<std::uint64_t>(sampled) * step * 32 > n; };
    const auto seen = Zeroed<std::uint32_t>(kGramCount);  // the last place + 1 that held the piece
    const auto count = Zeroed<std::uint32_t>(kGramCount);
    auto forEachGram = [&](std::span<const unsigned char> t, auto&& visit) {
        for (std::size_t i = 0; i + 1 < t.size(); ++i) {
            if (!IsLowerAscii(t[i])) visit(t[i]);
            if (Searchable(t[i], t[i + 1])) visit(256u + (static_cast<std::uint32_t>(t[i]) << 8 | t[i + 1]));
        }
        if (!t.empty() && !IsLowerAscii(t.back())) visit(t.back());
    };
    // The pieces met, so that the steps below visit those, not every possible piece: a small
    // market (or a fuzzer's input) then builds its index in time proportional to its size.
    std::vector<std::uint32_t> met;
    for (std::uint32_t place = 0; place < n; place += step)
        forEachGram(text(place), [&](std::uint32_t g) {
            if (seen[g] == place + 1) return;
            seen[g] = place + 1;
            if (count[g]++ == 0) met.push_back(g);
        });
    std::sort(met.begin(), met.end());
    grams_ = Zeroed<Postings>(kGramCount);
    std::vector<std::uint32_t> frequentTwo;  // two-byte pieces with a bitmap
    // Bitmaps start on cache lines, which the pass writes whole: a bitmap takes whole lines.
    const std::size_t stride = (std::size_t{words_} + kLineWords - 1) / kLineWords * kLineWords;
    std::size_t bitmapWords = 0;
    std::size_t arrayPlaces = 0;  // estimated from the sample
    for (const std::uint32_t g : met)
        if (!frequent(count[g])) {
            arrayPlaces += std::size_t{count[g]} * step;
        } else {
            grams_[g].Bitmap = true;
            grams_[g].Offset = static_cast<std::uint32_t>(bitmapWords);
            bitmapWords += stride;
            if (g >= 256) frequentTwo.push_back(g - 256);
        }

    // Three-byte pieces: a bitmap for each of the most frequent, found among the continuations of
    // the frequent two-byte pieces. They make a three-byte text exact without a look at any text,
    // and narrow a longer text's candidates to nearly its hits.
    triBlock_ = Zeroed<std::uint32_t>(65536);
    tri_.clear();
    std::vector<std::uint32_t> triTwo;  // the two-byte pieces with a block, in block order
    {
        // Counted are the continuations of the most frequent two-byte pieces only: a frequent
        // three-byte piece has a frequent start, and the counters stay few in a small market,
        // where every piece is frequent.
        if (frequentTwo.size() > kTriBitmaps) {
            std::nth_element(frequentTwo.begin(), frequentTwo.begin() + kTriBitmaps, frequentTwo.end(),
                             [&](std::uint32_t x, std::uint32_t y) {
                                 return count[256 + x] != count[256 + y] ? count[256 + x] > count[256 + y] : x < y;
                             });
            frequentTwo.resize(kTriBitmaps);
        }
        const auto blockOf = Zeroed<std::uint32_t>(65536);  // frequent two-byte piece -> its counters + 1
        for (std::size_t b = 0; b < frequentTwo.size(); ++b) blockOf[frequentTwo[b]] = static_cast<std::uint32_t>(b + 1);
        const std::size_t counters = frequentTwo.size() * 256;
        const auto triCount = Zeroed<std::uint32_t>(counters);
        const auto triSeen = Zeroed<std::uint32_t>(counters);  // the last place + 1
        std::vector<std::uint32_t> chosen;  // first the counters met, then those chosen
        for (std::uint32_t place = 0; place < n; place += step) {
            const auto t = text(place);
            for (std::size_t i = 0; i + 2 < t.size(); ++i)
                if (const std::uint32_t block = blockOf[static_cast<std::uint32_t>(t[i]) << 8 | t[i + 1]];
                    block != 0 && Searchable(t[i + 1], t[i + 2])) {
                    const std::uint32_t c = (block - 1) * 256 + t[i + 2];
                    if (triSeen[c] == place + 1) continue;
                    triSeen[c] = place + 1;
                    if (triCount[c]++ == 0) chosen.push_back(c);
                }
        }
        std::erase_if(chosen, [&](std::uint32_t c) { return !frequent(triCount[c]); });
        if (chosen.size() > kTriBitmaps) {
            std::nth_element(chosen.begin(), chosen.begin() + kTriBitmaps, chosen.end(),
                             [&](std::uint32_t x, std::uint32_t y) { return triCount[x] > triCount[y]; });
            chosen.resize(kTriBitmaps);
        }
        std::sort(chosen.begin(), chosen.end());
        std::uint32_t blocks = 0;
        for (std::size_t i = 0; i < chosen.size(); ++i)
            if (i == 0 || chosen[i] / 256 != chosen[i - 1] / 256) {
                triBlock_[frequentTwo[chosen[i] / 256]] = ++blocks;
                triTwo.push_back(frequentTwo[chosen[i] / 256]);
            }
        triSlot_ = Zeroed<std::uint16_t>(static_cast<std::size_t>(blocks) * 256);
        tri_.resize(chosen.size());
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            const std::uint32_t block = triBlock_[frequentTwo[chosen[i] / 256]];
            triSlot_[(block - 1) * 256 + chosen[i] % 256] = static_cast<std::uint16_t>(i + 1);
            tri_[i] = {0, static_cast<std::uint32_t>(bitmapWords), true};
            bitmapWords += stride;
        }
    }
    // Not cleared: the pass writes every line of every bitmap.
    bitmapStorage_ = std::make_unique_for_overwrite<std::uint64_t[]>(bitmapWords + kLineWords);
    const auto misalignment = reinterpret_cast<std::uintptr_t>(bitmapStorage_.get()) / 8 % kLineWords;
    bitmaps_ = bitmapStorage_.get() + (kLineWords - misalignment) % kLineWords;
    bitmapWords_ = bitmapWords;
    AdviseLargePages(bitmaps_, bitmapWords * 8);

    // The one pass: a bitmap takes a place's bit however often the piece occurs in its text; an
    // array takes the place once. Array postings are few (rare pieces): they are gathered as
    // (piece, place) pairs and laid out by piece afterwards, each list in place order.
    for (const std::uint32_t g : met) seen[g] = 0, count[g] = 0;
    // What the pass looks up for each byte, in one small table: by piece its bitmap's number + 1
    // (0: an array), and for a two-byte piece in the bits from kBlockShift its block of
    // three-byte slots + 1. A piece that is never searched for marks a bitmap never stored (a
    // sink), or for a two-byte piece the list of its first byte, which the two-byte lists would
    // otherwise give (kOneByte).
    constexpr unsigned kBlockShift = 20;
    constexpr std::uint32_t kBitmapMask = (1u << kBlockShift) - 1;
    constexpr std::uint32_t kBlockMask = 0x7FF;
    constexpr std::uint32_t kOneByte = 1u << 31;
    const std::size_t bitmapCount = bitmapWords / std::max<std::size_t>(stride, 1);
    const auto sink = static_cast<std::uint32_t>(bitmapCount + 1);
    const auto lookUp = Zeroed<std::uint32_t>(kGramCount);
    for (const std::uint32_t g : met)
        if (grams_[g].Bitmap) lookUp[g] = static_cast<std::uint32_t>(grams_[g].Offset / stride + 1);
    for (std::uint32_t c = 'a'; c <= 'z'; ++c) lookUp[c] = sink;
    for (std::uint32_t first = 0; first < 0x80; ++first)
        for (std::uint32_t second = 'a'; second <= 'z'; ++second)
            lookUp[256 + (first << 8 | second)] = (lookUp[first] & kBitmapMask) | kOneByte;
    // By block and third byte: the bitmap's number + 1, or 0. Block 0 (a two-byte piece without
    // one) is all 0, so the pass looks every three-byte piece up without a branch.
    std::vector<std::uint32_t> triBitmap((triTwo.size() + 1) * 256);
    for (const std::uint32_t two : triTwo) {
        const std::uint32_t block = triBlock_[two];
        lookUp[256 + two] |= block << kBlockShift;
        for (std::uint32_t third = 0; third < 256; ++third)
            if (const std::uint16_t slot = triSlot_[(block - 1) * 256 + third])
                triBitmap[block * 256 + third] =
                    static_cast<std::uint32_t>(tri_[slot - 1].Offset / stride + 1);
    }
    // The pass reads a text eight bytes at a time, as a little-endian word whose low 16 bits
    // hold a two-byte piece with its first byte low: by such a pair, the piece's entry.
    const auto byPair = Zeroed<std::uint32_t>(65536);
    for (std::uint32_t first = 0; first < 256; ++first)
        for (std::uint32_t second = 0; second < 256; ++second)
            byPair[second << 8 | first] = lookUp[256 + (first << 8 | second)];
    auto pieceOfPair = [](std::uint32_t pair) { return 256u + ((pair & 0xFFu) << 8 | pair >> 8); };
    std::vector<std::uint64_t> pairs;
    pairs.reserve(arrayPlaces + arrayPlaces / 8);
    // Bits are set in one cache line per bitmap for the 512 places that share it, and the lines
    // are stored when the 512 are done: the hundreds of lines being filled stay in cache, where
    // the bitmaps' own lines lie a bitmap's length apart. A line is stored whole, past the cache
    // (the bitmaps are written once and read only by searches), so it is never read first.
    // By bitmap number + 1, after the line of the pieces with an array, and before the sink.
    std::vector<std::uint64_t> filling((bitmapCount + 2) * kLineWords, 0);
    std::vector<std::uint32_t> rare;  // for each text: its pieces with an array list
    for (std::uint32_t place = 0; place < n; ++place) {
        if (place + 8 < n) __builtin_prefetch(texts_.data() + textAt_[place + 8]);
        const std::uint64_t bit = std::uint64_t{1} << (place % 64);
        std::uint64_t* const lane = filling.data() + place / 64 % kLineWords;
        auto mark = [&](std::uint32_t g, std::uint32_t found) {
            if ((found & kBitmapMask) != 0) {
                lane[(found & kBitmapMask) * kLineWords] |= bit;
                return;
            }
            if ((found & kOneByte) != 0) g = (g - 256) >> 8;
            if (seen[g] != place + 1) {
                seen[g] = place + 1;
                if (count[g]++ == 0) met.push_back(g);  // sampling may have missed it
                pairs.push_back(std::uint64_t{g} << 32 | place);
            }
        };
        // Every piece marks a bitmap's line without a branch: a piece without a bitmap (one with
        // an array, 0, or one never searched for, the sink) marks a line that is never stored.
        // The few pieces with an array list are noted, to be added after the loop: that branch is
        // seldom taken, and cheaper than noting every piece.
        const auto t = text(place);
        if (rare.size() < t.size()) rare.resize(t.size());
        std::size_t r = 0;
        // The pieces that start at the low byte of `word`.
        auto lookUpAt = [&](std::uint64_t word) __attribute__((always_inline)) {
            const auto pair = static_cast<std::uint32_t>(word & 0xFFFF);
            const std::uint32_t found = byPair[pair];
            const std::uint32_t number = found & kBitmapMask;
            lane[number * kLineWords] |= bit;
            if (number == 0) rare[r++] = pair | (found & kOneByte);
            const std::uint32_t tri =
                triBitmap[(found >> kBlockShift & kBlockMask) * 256 + (word >> 16 & 0xFF)];
            lane[tri * kLineWords] |= bit;
        };
        // Every position but the last two starts a two- and a three-byte piece. Texts are followed
        // by kSlack readable bytes, so every word read lies within the buffer.
        const std::size_t positions = t.size() < 2 ? 0 : t.size() - 2;
        std::size_t i = 0;
        auto wordAt = [&](std::size_t at) {
            std::uint64_t word = 0;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(&word, t.data() + at, sizeof word);
            } else {
                for (std::size_t b = 0; b < sizeof word; ++b)
                    word |= std::uint64_t{t.data()[at + b]} << (8 * b);
            }
            return word;
        };
        for (; i + 6 <= positions; i += 6) {
            const std::uint64_t word = wordAt(i);
            lookUpAt(word);
            lookUpAt(word >> 8);
            lookUpAt(word >> 16);
            lookUpAt(word >> 24);
            lookUpAt(word >> 32);
            lookUpAt(word >> 40);
        }
        for (; i < positions; ++i) lookUpAt(wordAt(i));
        for (std::size_t j = 0; j < r; ++j) mark(pieceOfPair(rare[j] & ~kOneByte), rare[j] & kOneByte);
        if (i + 1 < t.size()) {
            const std::uint32_t two = 256u + (static_cast<std::uint32_t>(t[i]) << 8 | t[i + 1]);
            mark(two, lookUp[two]);
        }
        // One-byte pieces are taken from the two-byte ones after the pass, but for the last byte.
        if (!t.empty()) mark(t.back(), lookUp[t.back()]);
        if (place % (64 * kLineWords) == 64 * kLineWords - 1 || place + 1 == n) {
            std::uint64_t* const line = bitmaps_ + place / (64 * kLineWords) * kLineWords;
            for (std::size_t b = 1; b <= bitmapCount; ++b) {
                StoreLine(line + (b - 1) * stride, filling.data() + b * kLineWords);
                std::fill_n(filling.data() + b * kLineWords, kLineWords, 0);
            }
        }
    }
    StoreLinesDone();
    AddOneBytePieces(met, count.get(), pairs);
    arrays_.assign(pairs.size(), 0);
    std::sort(met.begin(), met.end());
    met.erase(std::unique(met.begin(), met.end()), met.end());
    std::uint32_t offset = 0;
    for (const std::uint32_t g : met)
        if (!grams_[g].Bitmap) grams_[g].Offset = offset, offset += count[g];
    for (const std::uint64_t pair : pairs) {
        Postings& p = grams_[static_cast<std::uint32_t>(pair >> 32)];
        arrays_[p.Offset + p.Count++] = static_cast<std::uint32_t>(pair);
    }
    auto countBitmap = [&](Postings& p) {
        if (!p.Bitmap) return;
        p.Count = static_cast<std::uint32_t>(CountBits(bitmaps_ + p.Offset, nullptr, words_));
    };
    for (const std::uint32_t g : met) countBitmap(grams_[g]);
    for (Postings& p : tri_) countBitmap(p);
}

// A text holds byte c where it holds a two-byte piece that starts with c, or where it ends with c.
// So the lists of one-byte pieces are the unions of those of the two-byte pieces starting with
// them, taken here, once per piece rather than once per byte of text; the pass marked only each
// text's last byte, and the first byte of each piece that has no list of its own. `pairs` holds
// the (piece, place) pairs of the array lists so far, each piece's in place order, and gets those
// of the one-byte pieces; `count` and `met` are kept up to date.
void KeystrokeIndex::AddOneBytePieces(std::vector<std::uint32_t>& met, std::uint32_t* count,
                                      std::vector<std::uint64_t>& pairs) {
    std::vector<std::uint64_t> one;  // (one-byte piece, place) for the pieces with an array list
    std::erase_if(pairs, [&](std::uint64_t pair) {
        if ((pair >> 32) >= 256) return false;
        one.push_back(pair);
        return true;
    });
    auto add = [&](std::uint32_t c, std::uint32_t place) {
        if (grams_[c].Bitmap) bitmaps_[grams_[c].Offset + place / 64] |= std::uint64_t{1} << (place % 64);
        else one.push_back(std::uint64_t{c} << 32 | place);
    };
    for (const std::uint32_t g : met) {
        if (g < 256 || !grams_[g].Bitmap) continue;
        const std::uint32_t c = (g - 256) >> 8;
        if (IsLowerAscii(c)) continue;  // never searched for
        const std::uint64_t* from = bitmaps_ + grams_[g].Offset;
        if (grams_[c].Bitmap) {
            std::uint64_t* to = bitmaps_ + grams_[c].Offset;
            for (std::uint32_t w = 0; w < words_; ++w) to[w] |= from[w];
        } else {
            for (std::uint32_t w = 0; w < words_; ++w)
                for (std::uint64_t bits = from[w]; bits != 0; bits &= bits - 1)
                    add(c, w * 64 + static_cast<std::uint32_t>(std::countr_zero(bits)));
        }
    }
    for (const std::uint64_t pair : pairs)
        if (const std::uint32_t c = (static_cast<std::uint32_t>(pair >> 32) - 256) >> 8; !IsLowerAscii(c))
            add(c, static_cast<std::uint32_t>(pair));
    std::sort(one.begin(), one.end());
    one.erase(std::unique(one.begin(), one.end()), one.end());
    for (std::uint32_t c = 0; c < 256; ++c) count[c] = 0;
    for (const std::uint64_t pair : one)
        if (count[pair >> 32]++ == 0) met.push_back(static_cast<std::uint32_t>(pair >> 32));
    pairs.insert(pairs.end(), one.begin(), one.end());
}

void KeystrokeIndex::BuildKeyPieces() {
    // The 0x05-separated pieces of every key text, each with the places that have it: a text
    // without 0x05 is framed in a key text exactly when it is one of its pieces.
    keyPieces_.clear();
    std::vector<std::uint32_t> pieceOf, placeOf;
    ReserveForWriting(pieceOf, 2 * std::size_t{size()});
    ReserveForWriting(placeOf, 2 * std::size_t{size()});
    for (std::uint32_t place = 0; place < size(); ++place) {
        const std::string_view k = KeyText(place);
        std::uint32_t previous = TextPieceTable::kNone;
        for (std::size_t begin = 1; begin < k.size();) {
            const std::size_t end = k.find(kIndexSeparator, begin);
            const std::uint32_t id = keyPieces_.Intern(k.substr(begin, end - begin));
            // SearchKey1 and SearchKey2 alike count once.
            if (id != previous && (pieceOf.empty() || placeOf.back() != place || pieceOf.back() != id)) {
                pieceOf.push_back(id);
                placeOf.push_back(place);
            }
            previous = id;
            begin = end + 1;
        }
    }
    keyPostingStart_.assign(keyPieces_.size() + 1, 0);
    for (const std::uint32_t id : pieceOf) ++keyPostingStart_[id + 1];
    for (std::size_t p = 0; p < keyPieces_.size(); ++p) keyPostingStart_[p + 1] += keyPostingStart_[p];
    keyPostings_.assign(pieceOf.size(), 0);
    std::vector<std::uint32_t> next(keyPostingStart_.begin(), keyPostingStart_.end() - 1);
    for (std::size_t k = 0; k < pieceOf.size(); ++k) keyPostings_[next[pieceOf[k]]++] = placeOf[k];
    // A key text with more than two pieces (a key holding 0x05) may list a place twice.
    for (std::size_t p = 0; p < keyPieces_.size(); ++p) {
        const auto b = keyPostings_.begin() + keyPostingStart_[p], e = keyPostings_.begin() + keyPostingStart_[p + 1];
        if (std::adjacent_find(b, e) != e) std::fill(std::unique(b, e), e, 0xFFFFFFFFu);
    }
}

std::size_t KeystrokeIndex::MemoryBytes() const noexcept {
    std::size_t masks = 0;
    for (const auto& m : exchangeMask_) masks += m.capacity() * 8;
    return places_.capacity() * sizeof(Place) + (textAt_.capacity() + recordAt_.capacity()) * 4 +
           texts_.capacity() + keyTexts_.capacity() + records_.capacity() +
           (kGramCount + tri_.capacity()) * sizeof(Postings) + 65536 * 4 + tri_.size() * 512 +
           arrays_.capacity() * 4 + bitmapWords_ * 8 + (highText_.capacity() + rankInText_.capacity()) * 8 +
           masks + keyPostings_.capacity() * 4 + keyPostingStart_.capacity() * 4 + keyPieces_.size() * 40 +
           columnBytesTotal_ + columnBytes_.capacity() * 8 + blockShortest_.capacity() * 2;
}

}  // namespace tessary
