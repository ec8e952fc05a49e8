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
    auto mix = [](std::uint64_t h, std::uint64_t word) {
        h = (h ^ word) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        return h ^ (h >> 29);
    };
    std::uint64_t h = text.size();
    const char* p = text.data();
    std::size_t left = text.size();
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        h = mix(h, word);
    }
    // The last 1-7 bytes are read as two overlapping loads that together cover them (the length
    // is in the hash already), not copied into a word byte by byte, which a processor cannot
    // forward to the load of the whole word.
    if (left >= 4) {
        std::uint32_t first, last;
        std::memcpy(&first, p, sizeof first);
        std::memcpy(&last, p + left - 4, sizeof last);
        h = mix(h, std::uint64_t{first} << 32 | last);
    } else if (left >= 2) {
        std::uint16_t first, last;
        std::memcpy(&first, p, sizeof first);
        std::memcpy(&last, p + left - 2, sizeof last);
        h = mix(h, std::uint64_t{first} << 16 | last);
    } else if (left == 1) {
        h = mix(h, static_cast<unsigned char>(*p));
    }
    return h;
}

}  // namespace tessary
