// What building the keystroke index and searching it share: the flags of a place, the layout of
// a result record, the padding after every text, and a few operations on bits and keys.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tessary.h"

namespace tessary::keystroke {

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
constexpr std::size_t kRecordHeader = 8;  // resolved, key length, code length, suffix length, ExchangeId, Type

constexpr std::uint32_t kGramCount = 256 + 65536;  // one-byte pieces, then two-byte pieces

// The bytes after a haystack may be read up to kSlack bytes on: the buffers that hold search
// texts, key texts and records end with that much padding.
constexpr std::size_t kSlack = 16 + 128;

inline std::uint32_t GramOf(std::string_view s) noexcept {
    const auto b0 = static_cast<unsigned char>(s[0]);
    return s.size() == 1 ? b0 : 256u + (static_cast<std::uint32_t>(b0) << 8 | static_cast<unsigned char>(s[1]));
}

inline unsigned char Fold(unsigned char c) noexcept {
    return static_cast<unsigned>(c - 'A') < 26u ? static_cast<unsigned char>(c + 32) : c;
}

// _stricmp's order: A-Z folded to a-z, bytes unsigned, a prefix first.
inline int CompareFolded(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = Fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline void SetBit(std::vector<std::uint64_t>& bits, std::uint32_t i) noexcept { bits[i / 64] |= std::uint64_t{1} << (i % 64); }
inline bool TestBit(const std::uint64_t* bits, std::uint32_t i) noexcept { return (bits[i / 64] >> (i % 64) & 1u) != 0; }

// The bits set in `n` words of `a`, or of `a & b` when `b` is given.
[[nodiscard]] std::uint64_t CountBits(const std::uint64_t* a, const std::uint64_t* b, std::size_t n) noexcept;

}  // namespace tessary::keystroke
