// A hash of short texts (codes, keys), for the open-addressing tables that look them up.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace tessary {

// Texts are taken 8 bytes at a time. Codes of a market differ mostly in their last characters
// (600000, 600004, ...), so every word is mixed fully into the hash: tables use its low bits for
// the slot and its high bits to tell texts apart without comparing them.
inline std::uint64_t HashText(std::string_view text) noexcept {
    std::uint64_t h = text.size();
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        std::uint64_t word = 0;
        const std::size_t n = left < 8 ? left : 8;
        std::memcpy(&word, p, n);
        h = (h ^ word) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        h ^= h >> 29;
        p += n;
        left -= n;
    }
    return h;
}

}  // namespace tessary
