// Building the keystroke index, and the hits, result order and top of the order it answers.
#include "symbols/keystroke_index.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "common/memory_advice.h"
#include "common/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessary {
namespace {

constexpr std::uint8_t kHighText = 1;  // the search text holds a byte >= 0x80
constexpr std::uint8_t kHighKey = 2;   // the key text does
// The search text starts with the rank key's two parts, each followed by a separator, and the
// key holds no byte >= 0x80 or separator: its rank can be found in the search text.
constexpr std::uint8_t kRankInText = 4;

// A rank not known yet, found from the record later. Keys are shorter: a record's Symbol and Name.
constexpr std::uint8_t kRankUnknown = 0xFF;
static_assert(sizeof(SymbolInfo::Symbol) + sizeof(SymbolInfo::Name) < kRankUnknown);

// The first byte of a result record: whether it is resolved, and whether its rank key holds a
// byte >= 0x80 (ranking reads the record, so the flag is there, not in a table of its own).
constexpr char kRecordResolved = 1;
constexpr char kRecordHighRank = 2;

constexpr std::uint32_t kGramCount = 256 + 65536;
constexpr std::size_t kRecordHeader = 8;  // resolved, key length, code length, suffix length, ExchangeId, Type

std::uint32_t GramOf(std::string_view s) noexcept {
    const auto b0 = static_cast<unsigned char>(s[0]);
    return s.size() == 1 ? b0 : 256u + (static_cast<std::uint32_t>(b0) << 8 | static_cast<unsigned char>(s[1]));
}

bool HasHighByte(std::string_view s) noexcept {
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// The bytes after a haystack may be read up to kSlack bytes on: the buffers that hold search
// texts, key texts and records end with that much padding.
constexpr std::size_t kSlack = 16 + 128;

unsigned char Fold(unsigned char c) noexcept { return static_cast<unsigned>(c - 'A') < 26u ? static_cast<unsigned char>(c + 32) : c; }

// _stricmp's order: A-Z folded to a-z, bytes unsigned, a prefix first.
int CompareFolded(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = Fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::uint64_t FoldedPrefix(std::string_view s) noexcept {
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i)
        prefix = prefix << 8 | (i < s.size() ? Fold(static_cast<unsigned char>(s[i])) : 0u);
    return prefix;
}

std::string Framed(std::string_view upper) {
    std::string framed;
    framed.reserve(upper.size() + 2);
    framed.push_back(kIndexSeparator);
    framed.append(upper);
    framed.push_back(kIndexSeparator);
    return framed;
}

// Room for `n` elements in `v`, in large pages where the platform gives them: for the arrays
// that searches read at random for as long as the index lives, where large pages spare most
// address-translation misses. Arrays that only building uses are left in small pages: a large
// page may cost the kernel a compaction before it is granted.
template <class Container>
void ReserveLarge(Container& v, std::size_t n) {
    v.reserve(n);
    AdviseLargePages(v.data(), v.capacity() * sizeof(*v.data()));
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

// The bits set in `n` words of `a`, or of `a & b` when `b` is given. Built for the baseline
// processor, the compiler calls a library routine for every word; the population-count
// instruction is used where the processor has it.
std::uint64_t CountBitsPortable(const std::uint64_t* a, const std::uint64_t* b, std::size_t n) noexcept {
    std::uint64_t count = 0;
    for (std::size_t w = 0; w < n; ++w) count += static_cast<std::uint64_t>(std::popcount(b == nullptr ? a[w] : a[w] & b[w]));
    return count;
}
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
[[gnu::target("popcnt")]] std::uint64_t CountBitsInstruction(const std::uint64_t* a, const std::uint64_t* b,
                                                             std::size_t n) noexcept {
    std::uint64_t count = 0;
    for (std::size_t w = 0; w < n; ++w) count += static_cast<std::uint64_t>(__builtin_popcountll(b == nullptr ? a[w] : a[w] & b[w]));
    return count;
}
#endif
std::uint64_t CountBits(const std::uint64_t* a, const std::uint64_t* b, std::size_t n) noexcept {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool instruction = __builtin_cpu_supports("popcnt");
    if (instruction) return CountBitsInstruction(a, b, n);
#endif
    return CountBitsPortable(a, b, n);
}

// A lower-case ASCII letter survives upper-casing only inside a multibyte character, whose lead
// byte is >= 0x80 in every code page: a searched text never starts with one, and holds one only
// right after a byte >= 0x80. So pieces that hold one after a byte below 0x80 are never searched
// for, and the index keeps no list of them (most pieces of a mixed-case Name are such).
bool IsLowerAscii(std::uint32_t c) noexcept { return c - 'a' < 26u; }
bool Searchable(std::uint32_t first, std::uint32_t second) noexcept { return !(IsLowerAscii(second) && first < 0x80); }

void SetBit(std::vector<std::uint64_t>& bits, std::uint32_t i) noexcept { bits[i / 64] |= std::uint64_t{1} << (i % 64); }
bool TestBit(const std::uint64_t* bits, std::uint32_t i) noexcept { return (bits[i / 64] >> (i % 64) & 1u) != 0; }

}  // namespace

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
                auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first_), _mm_cmpeq_epi8(b, last_))));
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

// ---- building ----

void KeystrokeIndex::Add(std::uint32_t exchange, std::string_view searchText, std::string_view keyText,
                         const Record& record) {
    // Places address their texts with 32 bits; a market beyond that does not load.
    if (texts_.size() + searchText.size() > 0xFFFF0000u || records_.size() > 0xFFFF0000u)
        throw std::length_error("search index beyond 4 GiB");
    Place p{};
    textAt_.push_back(static_cast<std::uint32_t>(texts_.size()));
    texts_.append(searchText);
    p.Key = static_cast<std::uint32_t>(keyTexts_.size());
    p.KeyLength = static_cast<std::uint8_t>(keyText.size());
    keyTexts_.append(keyText);
    p.Exchange = exchange;
    p.Flags = static_cast<std::uint8_t>((HasHighByte(searchText) ? kHighText : 0) | (HasHighByte(keyText) ? kHighKey : 0));

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
        const std::size_t c = codePart.size(), m = name.size();
        if (!highRank && searchText.size() > c + 1 + m && searchText.compare(0, c, codePart) == 0 &&
            searchText[c] == kIndexSeparator && searchText.compare(c + 1, m, name) == 0 &&
            searchText[c + 1 + m] == kIndexSeparator && codePart.find(kIndexSeparator) == std::string_view::npos &&
            name.find(kIndexSeparator) == std::string_view::npos)
            p.Flags |= kRankInText;
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
    places_.push_back(p);
}

void KeystrokeIndex::Reserve(std::size_t symbols, std::size_t textBytes) {
    // In Add order these are gone once Finish has laid them out in place order, so they are not
    // worth large pages, which the kernel may have to assemble first.
    places_.reserve(symbols);
    textAt_.reserve(symbols + 1);
    recordAt_.reserve(symbols + 1);
    texts_.reserve(textBytes + kSlack);
    keyTexts_.reserve(symbols * 8 + kSlack);
    records_.reserve(symbols * 40);
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
    bitmaps_.clear();
    highText_.clear();
    rankInText_.clear();
    anyHighText_ = false;
    exchangeMask_.clear();
    unresolved_.clear();
    keyPieces_.clear();
    keyPostingStart_.clear();
    keyPostings_.clear();
    columns_.clear();
    longestRankKey_ = 0;
    columnBytes_.clear();
    blockShortest_.clear();
    blockLongest_.clear();
}

void KeystrokeIndex::Finish() {
    textAt_.push_back(static_cast<std::uint32_t>(texts_.size()));
    recordAt_.push_back(static_cast<std::uint32_t>(records_.size()));
    keyTexts_.append(kSlack, '\0');
    SortPlaces();
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

    ReserveLarge(columns_, static_cast<std::size_t>(kColumns) * n);
    columns_.assign(static_cast<std::size_t>(kColumns) * n, 0);
    const std::size_t blocks = (n + kBlockPlaces - 1) / kBlockPlaces;
    columnBytes_.assign(kColumns * blocks * 4, 0);
    blockShortest_.clear();
    blockLongest_.clear();
    blockShortest_.reserve(blocks);
    blockLongest_.reserve(blocks);
    for (std::uint32_t place = 0; place < n; ++place) {
        const std::string_view key = RankKey(place);
        longestRankKey_ = std::max(longestRankKey_, static_cast<std::uint32_t>(key.size()));
        const std::size_t len = std::min<std::size_t>(key.size(), kColumns);
        const std::uint32_t block = place / kBlockPlaces;
        const auto length = static_cast<std::uint8_t>(std::min<std::size_t>(key.size(), 255));
        if (place % kBlockPlaces == 0) blockShortest_.push_back(length), blockLongest_.push_back(length);
        blockShortest_[block] = std::min(blockShortest_[block], length);
        blockLongest_[block] = std::max(blockLongest_[block], length);
        for (std::size_t r = 0; r < len; ++r) {
            const auto b = static_cast<unsigned char>(key[r]);
            columns_[r * n + place] = b;
            columnBytes_[(r * blocks + block) * 4 + b / 64] |= std::uint64_t{1} << (b % 64);
        }
    }
}

void KeystrokeIndex::SortPlaces() {
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
    items.reserve(n);
    spare.reserve(n);
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
        if (b - a > 1)
            std::stable_sort(items.begin() + a, items.begin() + b, [&](const Item& x, const Item& y) {
                return CompareFolded(keyOf(x.Index), keyOf(y.Index)) < 0;
            });
        a = b;
    }

    // Records and search texts are laid out again in place order: a search reads them for its
    // hits, which come in place order.
    std::vector<Place> places;
    places.resize(n);
    std::vector<std::uint32_t> textAt(n + 1), recordAt(n + 1);
    std::string records, texts;
    ReserveLarge(records, records_.size() + kSlack);
    ReserveLarge(texts, texts_.size() + kSlack);
    for (std::uint32_t place = 0; place < n; ++place) {
        const std::uint32_t from = items[place].Index;
        places[place] = places_[from];
        recordAt[place] = static_cast<std::uint32_t>(records.size());
        records.append(records_, recordAt_[from], recordAt_[from + 1] - recordAt_[from]);
        textAt[place] = static_cast<std::uint32_t>(texts.size());
        texts.append(texts_, textAt_[from], textAt_[from + 1] - textAt_[from]);
    }
    textAt[n] = static_cast<std::uint32_t>(texts.size());
    recordAt[n] = static_cast<std::uint32_t>(records.size());
    texts.append(kSlack, '\0');
    records.append(kSlack, '\0');
    places_.swap(places);
    textAt_.swap(textAt);
    recordAt_.swap(recordAt);
    records_.swap(records);
    texts_.swap(texts);
}

void KeystrokeIndex::BuildPostings() {
    const std::uint32_t n = size();
    // A list becomes a bitmap when it would hold more than one place in 32 (4 bytes a place
    // against n / 8 bytes). The shares are taken from every 16th symbol of a large market.
    const std::uint32_t step = n > 65536 ? 16 : 1;
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
    std::size_t bitmapWords = 0;
    for (const std::uint32_t g : met)
        if (frequent(count[g])) {
            grams_[g].Bitmap = true;
            grams_[g].Offset = static_cast<std::uint32_t>(bitmapWords);
            bitmapWords += words_;
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
            bitmapWords += words_;
        }
    }
    ReserveLarge(bitmaps_, bitmapWords);
    bitmaps_.assign(bitmapWords, 0);

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
    const std::size_t bitmapCount = bitmapWords / std::max<std::uint32_t>(words_, 1);
    const auto sink = static_cast<std::uint32_t>(bitmapCount + 1);
    const auto lookUp = Zeroed<std::uint32_t>(kGramCount);
    for (const std::uint32_t g : met)
        if (grams_[g].Bitmap) lookUp[g] = grams_[g].Offset / words_ + 1;
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
                triBitmap[block * 256 + third] = tri_[slot - 1].Offset / words_ + 1;
    }
    std::vector<std::uint64_t> pairs;
    // Bits are set in one word per bitmap for the 64 places that share it, and the words are
    // stored when the 64 are done: the hundreds of words being filled stay in the first-level
    // cache, where the bitmaps' own words lie a bitmap's length apart.
    std::vector<std::uint64_t> filling(bitmapCount + 2, 0);  // by bitmap number + 1, then the sink
    for (std::uint32_t place = 0; place < n; ++place) {
        if (place + 8 < n) __builtin_prefetch(texts_.data() + textAt_[place + 8]);
        const std::uint64_t bit = std::uint64_t{1} << (place % 64);
        auto mark = [&](std::uint32_t g, std::uint32_t found) {
            if ((found & kBitmapMask) != 0) {
                filling[found & kBitmapMask] |= bit;
                return;
            }
            if ((found & kOneByte) != 0) g = (g - 256) >> 8;
            if (seen[g] != place + 1) {
                seen[g] = place + 1;
                if (count[g]++ == 0) met.push_back(g);  // sampling may have missed it
                pairs.push_back(std::uint64_t{g} << 32 | place);
            }
        };
        const auto t = text(place);
        std::size_t i = 0;
        for (; i + 2 < t.size(); ++i) {
            const std::uint32_t two = 256u + (static_cast<std::uint32_t>(t[i]) << 8 | t[i + 1]);
            const std::uint32_t found = lookUp[two];
            mark(two, found);
            filling[triBitmap[(found >> kBlockShift & kBlockMask) * 256 + t[i + 2]]] |= bit;  // number 0 is a sink
        }
        if (i + 1 < t.size()) {
            const std::uint32_t two = 256u + (static_cast<std::uint32_t>(t[i]) << 8 | t[i + 1]);
            mark(two, lookUp[two]);
        }
        // One-byte pieces are taken from the two-byte ones after the pass, but for the last byte.
        if (!t.empty()) mark(t.back(), lookUp[t.back()]);
        if (place % 64 == 63 || place + 1 == n) {
            std::uint64_t* const word = bitmaps_.data() + place / 64;
            for (std::size_t b = 1; b <= bitmapCount; ++b)
                if (filling[b] != 0) word[(b - 1) * std::size_t{words_}] = filling[b], filling[b] = 0;
        }
    }
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
        p.Count = static_cast<std::uint32_t>(CountBits(bitmaps_.data() + p.Offset, nullptr, words_));
    };
    for (const std::uint32_t g : met) countBitmap(grams_[g]);
    for (Postings& p : tri_) countBitmap(p);
}

// A text holds byte c where it holds a two-byte piece that starts with c, or where it ends with c.
// So the lists of one-byte pieces are the unions of those of the two-byte pieces starting with
// them, taken here, once per piece rather than once per byte of text; the pass marked only each
// text's last byte, and the first byte of each piece that has no list of its own. `pairs` holds the (piece, place) pairs of the array lists so far, each piece's
// in place order, and gets those of the one-byte pieces; `count` and `met` are kept up to date.
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
        const std::uint64_t* from = bitmaps_.data() + grams_[g].Offset;
        if (grams_[c].Bitmap) {
            std::uint64_t* to = bitmaps_.data() + grams_[c].Offset;
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

void KeystrokeIndex::BuildKeyPieces() {
    // The 0x05-separated pieces of every key text, each with the places that have it: a text
    // without 0x05 is framed in a key text exactly when it is one of its pieces.
    keyPieces_.clear();
    std::vector<std::uint32_t> pieceOf, placeOf;
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
    return places_.capacity() * sizeof(Place) + (textAt_.capacity() + recordAt_.capacity()) * 4 + texts_.capacity() + keyTexts_.capacity() + records_.capacity() +
           (kGramCount + tri_.capacity()) * sizeof(Postings) + 65536 * 4 + tri_.size() * 512 + arrays_.capacity() * 4 + bitmaps_.capacity() * 8 +
           highText_.capacity() * 8 + masks + keyPostings_.capacity() * 4 + keyPostingStart_.capacity() * 4 +
           keyPieces_.size() * 40 + columns_.capacity() + columnBytes_.capacity() * 8 + blockShortest_.capacity() * 2;
}

// ---- reading ----

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

void KeystrokeIndex::Fill(SymbolInfo& record, std::uint32_t place) const noexcept {
    const char* r = records_.data() + recordAt_[place];
    const auto keyLength = static_cast<unsigned char>(r[1]);
    const auto codeLength = static_cast<unsigned char>(r[2]);
    const auto suffixLength = static_cast<unsigned char>(r[3]);
    record.ExchangeId = static_cast<std::uint16_t>(static_cast<unsigned char>(r[4]) | static_cast<unsigned char>(r[5]) << 8);
    record.Type = static_cast<std::uint16_t>(static_cast<unsigned char>(r[6]) | static_cast<unsigned char>(r[7]) << 8);
    const char* key = r + kRecordHeader;
    std::memcpy(record.Symbol, key, codeLength);
    std::memcpy(record.Symbol + codeLength, key + keyLength, suffixLength);
    record.Symbol[codeLength + suffixLength] = '\0';
    std::memcpy(record.Name, key + codeLength, keyLength - codeLength);
    record.Name[keyLength - codeLength] = '\0';
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
    if (p.Bitmap) return TestBit(bitmaps_.data() + p.Offset, place);
    const auto* begin = arrays_.data() + p.Offset;
    return std::binary_search(begin, begin + p.Count, place);
}

// How many places of `p` are also in `mask` (every place of `p` when `mask` is null).
std::uint32_t KeystrokeIndex::CountIn(const Postings& p, const std::vector<std::uint64_t>* mask) const noexcept {
    if (mask == nullptr || p.Count == 0) return mask == nullptr ? p.Count : 0;
    std::uint32_t count = 0;
    if (p.Bitmap) {
        count = static_cast<std::uint32_t>(CountBits(bitmaps_.data() + p.Offset, mask->data(), words_));
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
                if (lists[l]->Bitmap && !TestBit(bitmaps_.data() + lists[l]->Offset, place)) return;
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
        const std::uint8_t* col = columns_.data() + static_cast<std::size_t>(r) * n;
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
            hitBits = bitmaps_.data() + gram.Offset;
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
