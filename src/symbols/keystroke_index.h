// The keystroke index: the search texts, key texts and result records of every symbol of the
// market, numbered in the result order's tie-break, with postings of every one- and two-byte
// piece of the search texts that a search can ask for. A search touches the symbols that can
// hold the typed text, not the whole market, and ranks its hits without comparing any two.
//
// Why this design. Three were measured on the sample market (bench/, 1,000,000 symbols):
// - postings of one- and two-byte pieces, a longer text intersecting the lists of its two-byte
//   pieces and confirming each candidate against its text (this one), plus bitmaps of the 256
//   most frequent three-byte pieces: a three-byte text with one is exact without a look at any
//   text, and a longer one gets nearly only its hits as candidates;
// - postings of every three-byte piece: 1.3 times faster on texts of 3-6 characters, but twice
//   the memory (the index alone larger than the Light files) and three times the build time;
// - a suffix array over the search texts: its build alone (SA-IS over some 70 MB) takes longer
//   than the whole load may, it needs 4-8 bytes per text byte, and it counts occurrences, not
//   symbols, so the total of a short text would still need a pass over its hits.
// A list is an array of places, or a bitmap over all places when that is smaller (pieces such
// as "6" or "ON" are held by a large share of the market); an intersection of bitmaps runs 64
// places at a time.
//
// Places. Symbols are sorted once, when the index is built, by the result order's tie-break:
// the rank key folded as _stricmp folds it, then the order in which the plain search meets them
// (exchange after exchange, each in its table's order). Postings hold places, so hits always come
// out in tie-break order, and the result order (rank, then tie-break) is one counting pass over
// the ranks. The same numbering makes the records of a result lie in memory in result order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "symbols/text_piece_table.h"
#include "tessary.h"

namespace tessary {

// An array from calloc, released with free.
struct FreeBytes {
    void operator()(void* bytes) const noexcept { std::free(bytes); }
};
template <class T>
using ZeroedArray = std::unique_ptr<T[], FreeBytes>;

class KeystrokeIndex {
public:
    static constexpr std::uint32_t kEveryExchange = 0xFFFFFFFFu;

    // What a symbol's result record holds; `Resolved` false when the symbol's Symbol text names
    // no entry (any search that hits it fails).
    struct Record {
        bool Resolved = false;
        std::uint16_t ExchangeId = 0;
        std::uint16_t Type = 0;
        std::string_view Symbol;
        std::string_view Name;
    };

    KeystrokeIndex() = default;
    KeystrokeIndex(const KeystrokeIndex&) = delete;
    KeystrokeIndex& operator=(const KeystrokeIndex&) = delete;

    // Building takes four steps. Add gives each symbol's exchange and result record; Sort numbers
    // the symbols in tie-break order (their places) and tells which symbol each place holds;
    // AddTexts gives the symbols' texts in place order, so that they are written once, where they
    // stay; Finish builds the postings.

    // Room for `symbols` symbols.
    void Reserve(std::size_t symbols);
    // Adds the next symbol, in the order the plain search meets them. `exchange` is the ordinal
    // of its exchange among the searched ones.
    void Add(std::uint32_t exchange, const Record& record);
    // Sorts the symbols added, whose search texts and key texts will take `textBytes` and
    // `keyBytes` bytes in all; the result gives for each place the symbol there, numbered from 0
    // in Add order. Call once, after the last Add.
    [[nodiscard]] std::vector<std::uint32_t> Sort(std::size_t textBytes, std::size_t keyBytes);
    // Gives the texts of the next place, in place order: its search text is `searchParts` (the
    // code, Name and SearchText1-4) joined by 0x05, its key text 0x05, then each of `keyParts`
    // (SearchKey1 and SearchKey2) followed by 0x05.
    void AddTexts(std::span<const std::string_view> searchParts, std::span<const std::string_view> keyParts);
    // Builds the postings; call once, after the texts of the last place.
    void Finish();
    // Empties the index for a new build.
    void Clear() noexcept;

    [[nodiscard]] std::uint32_t size() const noexcept { return static_cast<std::uint32_t>(places_.size()); }
    [[nodiscard]] std::size_t MemoryBytes() const noexcept;
    [[nodiscard]] std::string_view SearchText(std::uint32_t place) const noexcept;
    [[nodiscard]] std::string_view KeyText(std::uint32_t place) const noexcept;
    [[nodiscard]] bool Resolved(std::uint32_t place) const noexcept;
    // Writes the record of `place` as FillSymbolInfo does from its entry.
    void Fill(SymbolInfo& record, std::uint32_t place) const noexcept;

    // The places, ascending, of the symbols of `exchange` whose search text holds `upper` or,
    // with `matchKeys`, whose key text holds 0x05, `upper`, 0x05.
    void CollectHits(std::string_view upper, bool matchKeys, std::uint32_t exchange,
                     std::vector<std::uint32_t>& hits) const {
        CollectHits(upper, matchKeys, exchange, hits, nullptr, nullptr);
    }


    // Writes the records of ascending `hits` into `records` in result order; false, with
    // nothing meaningful written, when a hit cannot be resolved.
    [[nodiscard]] bool FillRanked(std::span<const std::uint32_t> hits, std::string_view rankText,
                                  SymbolInfo* records) const;

    // Top ranks every hit when there are fewer than `hits` (4,096 unless set), and walks the
    // order otherwise. Tests set 0 to have the walk answer every search.
    void SetOrderAllBelow(std::uint32_t hits) noexcept { orderAllBelow_ = hits; }

    // The number of hits, and in `top` the first `limit` of them in result order. `failed` is set
    // when a hit cannot be resolved.
    std::uint32_t Top(std::string_view upper, std::string_view rankText, bool matchKeys, std::uint32_t exchange,
                      std::uint32_t limit, std::vector<std::uint32_t>& top, bool& failed) const;

private:
    // Plain data, so that the table of every piece is allocated and zeroed in one step.
    struct Postings {
        std::uint32_t Count;
        std::uint32_t Offset;  // into arrays_, or for a bitmap into bitmaps_ in words
        bool Bitmap;
    };
    // What a search seldom reads of a place. Where its search text and its record start are
    // arrays of their own (textAt_, recordAt_), since a search reads those for every candidate.
    struct Place {
        std::uint32_t Key;  // key text, in keyTexts_
        std::uint32_t Exchange;
        std::uint8_t KeyLength;
        std::uint8_t Flags;
    };

    static constexpr std::uint32_t kColumns = 32;
    // Three-byte pieces with a bitmap of their own: each costs n / 8 bytes.
    static constexpr std::size_t kTriBitmaps = 256;

    [[nodiscard]] std::string_view RankKey(std::uint32_t place) const noexcept;
    // Read from the exchange's bitmap, which stays in cache, not from the place's Place.
    [[nodiscard]] bool InExchange(std::uint32_t place, std::uint32_t exchange) const noexcept {
        return exchange == kEveryExchange ||
               (exchange < exchangeMask_.size() && !exchangeMask_[exchange].empty() &&
                (exchangeMask_[exchange][place / 64] >> (place % 64) & 1u) != 0);
    }
    [[nodiscard]] bool HighText(std::uint32_t place) const noexcept { return (highText_[place / 64] >> (place % 64) & 1u) != 0; }
    [[nodiscard]] bool HighRank(std::uint32_t place) const noexcept;
    // While visiting `places` in order, at `i`: asks for the start of a later one in `at`, and for
    // the bytes at `base` + that start of a nearer one, whose start has had time to arrive. Places
    // visited in a search are far apart, so each start and each text is a cache miss of its own.
    // Always inlined: GCC 12 takes a call of its own for free of effects and drops it, and the
    // prefetches with it.
    [[gnu::always_inline]] static void FetchAhead(std::span<const std::uint32_t> places, std::size_t i,
                                                  const std::vector<std::uint32_t>& at, const char* base) noexcept {
        constexpr std::size_t kStartAhead = 32, kBytesAhead = 12;
        if (i + kStartAhead < places.size()) __builtin_prefetch(&at[places[i + kStartAhead]]);
        if (i + kBytesAhead < places.size()) {
            const char* bytes = base + at[places[i + kBytesAhead]];
            __builtin_prefetch(bytes);
            __builtin_prefetch(bytes + 64);
        }
    }
    class Needle;
    [[nodiscard]] bool TextHolds(std::uint32_t place, const Needle& upper) const noexcept;
    [[nodiscard]] bool KeyHolds(std::uint32_t place, const Needle& framed) const noexcept;
    [[nodiscard]] std::uint32_t RankOf(std::uint32_t place, const Needle& rankText) const noexcept;
    [[nodiscard]] bool Contains(const Postings& p, std::uint32_t place) const noexcept;
    // The bitmap of a three-byte piece, when it has one.
    [[nodiscard]] const Postings* TriOf(std::string_view three) const noexcept;
    // The list whose places are exactly those whose search text holds `upper` (but for the
    // character check of texts with bytes >= 0x80), when there is one: texts of one or two
    // bytes, and of three bytes with a bitmap.
    [[nodiscard]] const Postings* ExactList(std::string_view upper) const noexcept;
    [[nodiscard]] std::uint32_t CountIn(const Postings& p, const std::vector<std::uint64_t>* mask) const noexcept;
    template <class Visit> void ForEach(const Postings& p, Visit&& visit) const;
    // With `rankText`, also the rank of each hit in `ranks` where the search text tells it, as it
    // is confirmed (kRankUnknown elsewhere).
    void TextHits(std::string_view upper, std::uint32_t exchange, std::vector<std::uint32_t>& hits,
                  const Needle* rankText = nullptr, std::vector<std::uint8_t>* ranks = nullptr) const;
    void CollectHits(std::string_view upper, bool matchKeys, std::uint32_t exchange, std::vector<std::uint32_t>& hits,
                     const Needle* rankText, std::vector<std::uint8_t>* ranks) const;
    // The rank of `place` found in its search text, or kRankUnknown where it cannot be.
    [[nodiscard]] std::uint8_t RankInText(std::uint32_t place, const Needle& rankText) const noexcept;
    void KeyHits(std::string_view upper, std::uint32_t exchange, std::vector<std::uint32_t>& hits) const;
    [[nodiscard]] bool CountHits(std::string_view upper, bool matchKeys, std::uint32_t exchange,
                                 std::uint32_t& total) const;
    template <class IsHit>
    bool TopByPrefix(std::string_view rankText, std::uint32_t exchange, std::uint32_t limit, IsHit&& isHit,
                     std::vector<std::uint32_t>& top) const;
    // The first `limit` (at most all) of ascending `hits` in result order: rank (the position of
    // `rankText` in the symbol's rank key, or the key's length when it holds none), then place.
    // `known`, when given, holds the ranks of the hits found so far (kRankUnknown where not).
    void SelectTop(std::span<const std::uint32_t> hits, std::string_view rankText, std::uint32_t limit,
                   std::vector<std::uint32_t>& top, std::vector<std::uint8_t>* known = nullptr) const;
    bool TopByColumns(std::string_view rankText, std::uint32_t exchange, std::uint32_t limit,
                      const std::uint64_t* hitBits, std::vector<std::uint32_t>& top) const;
    void BuildPostings();
    void AddOneBytePieces(std::vector<std::uint32_t>& met, std::uint32_t* count, std::vector<std::uint64_t>& pairs);
    void BuildKeyPieces();

    std::vector<Place> places_;
    // By place (records by Add order until Sort), where its search text and its result record
    // start, and past the last one where the last ends.
    std::vector<std::uint32_t> textAt_;
    std::vector<std::uint32_t> recordAt_;
    std::string texts_;      // search texts, in place order
    std::string keyTexts_;   // key texts, in place order
    std::string records_;    // result records (see Add), in Add order until Sort, then in place order
    std::uint32_t words_ = 0;  // 64-bit words of a bitmap over all places

    ZeroedArray<Postings> grams_;  // 256 one-byte pieces, then 65536 two-byte pieces
    // Three-byte pieces: by two-byte piece its block of 256 slots + 1 (or 0), by third byte the
    // piece's entry in tri_ + 1 (or 0: no bitmap).
    ZeroedArray<std::uint32_t> triBlock_;
    ZeroedArray<std::uint16_t> triSlot_;
    std::vector<Postings> tri_;
    std::vector<std::uint32_t> arrays_;
    // The bitmaps, each from a cache line's start, in storage of their own.
    std::unique_ptr<std::uint64_t[]> bitmapStorage_;
    std::uint64_t* bitmaps_ = nullptr;
    std::size_t bitmapWords_ = 0;
    std::vector<std::uint64_t> highText_;                   // places whose search text holds a byte >= 0x80
    std::vector<std::uint64_t> rankInText_;                 // places whose rank the search text tells
    bool anyHighText_ = false;                              // whether there is one (a pure ASCII market has none)
    std::vector<std::vector<std::uint64_t>> exchangeMask_;  // by exchange ordinal: its places
    std::vector<std::uint32_t> unresolved_;                 // places that cannot be resolved

    TextPieceTable keyPieces_;
    std::vector<std::uint32_t> keyPostingStart_;
    std::vector<std::uint32_t> keyPostings_;

    // The first kColumns bytes of every rank key, column by column: byte r of place p at
    // columns_[r * size() + p], 0 past the key's end.
    ZeroedArray<std::uint8_t> columns_;
    std::size_t columnBytesTotal_ = 0;
    std::uint32_t longestRankKey_ = 0;
    // By block of kBlockPlaces places, for each column, which bytes its places have there (256
    // bits), and the block's shortest and longest rank keys: the walk skips the blocks where the
    // text cannot start and no key ends. Places are sorted on the keys, so a block's keys share
    // their first bytes, and a column of codes holds few bytes.
    static constexpr std::uint32_t kBlockPlaces = 4096;
    std::vector<std::uint64_t> columnBytes_;  // [(r * blocks + block) * 4 + byte / 64]
    std::vector<std::uint8_t> blockShortest_, blockLongest_;
    std::uint32_t orderAllBelow_ = 4096;
};

}  // namespace tessary
