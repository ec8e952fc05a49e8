// The open-addressing table of text pieces.
#include "symbols/text_piece_table.h"

#include <functional>

namespace tessary {

std::uint32_t TextPieceTable::Intern(std::string_view piece) {
    if (2 * (pieces_.size() + 1) > slots_.size()) Rehash(slots_.empty() ? 64 : 2 * slots_.size());
    const std::size_t hash = std::hash<std::string_view>{}(piece);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = slots_[slot];
        if (held == 0) {
            const auto id = static_cast<std::uint32_t>(pieces_.size());
            pieces_.push_back(piece);
            hashes_.push_back(hash);
            slots_[slot] = id + 1;
            return id;
        }
        if (hashes_[held - 1] == hash && pieces_[held - 1] == piece) return held - 1;
    }
}

std::uint32_t TextPieceTable::Find(std::string_view text) const noexcept {
    if (slots_.empty()) return kNone;
    const std::size_t hash = std::hash<std::string_view>{}(text);
    const std::size_t mask = slots_.size() - 1;
    // The table is never more than half full, so the probe meets an empty slot.
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = slots_[slot];
        if (held == 0) return kNone;
        if (hashes_[held - 1] == hash && pieces_[held - 1] == text) return held - 1;
    }
}

void TextPieceTable::Rehash(std::size_t slotCount) {
    std::vector<std::uint32_t> slots(slotCount, 0);
    const std::size_t mask = slotCount - 1;
    for (std::size_t id = 0; id < pieces_.size(); ++id) {
        std::size_t slot = hashes_[id] & mask;
        while (slots[slot] != 0) slot = (slot + 1) & mask;
        slots[slot] = static_cast<std::uint32_t>(id + 1);
    }
    slots_.swap(slots);
}

void TextPieceTable::clear() noexcept {
    pieces_.clear();
    hashes_.clear();
    slots_.clear();
}

}  // namespace tessary
