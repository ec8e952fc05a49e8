// The open-addressing table of text pieces.
#include "symbols/text_piece_table.h"

#include "common/text_hash.h"

namespace tessary {

std::uint32_t TextPieceTable::Intern(std::string_view piece) {
    if (2 * (pieces_.size() + 1) > slots_.size()) Rehash(slots_.empty() ? 64 : 2 * slots_.size());
    const std::uint64_t hash = HashText(piece);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
        const Slot held = slots_[slot];
        if (held.Piece == 0) {
            const auto id = static_cast<std::uint32_t>(pieces_.size());
            pieces_.push_back(piece);
            slots_[slot] = {id + 1, tag};
            return id;
        }
        if (held.Tag == tag && pieces_[held.Piece - 1] == piece) return held.Piece - 1;
    }
}

std::uint32_t TextPieceTable::Find(std::string_view text) const noexcept {
    if (slots_.empty()) return kNone;
    const std::uint64_t hash = HashText(text);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    const std::size_t mask = slots_.size() - 1;
    // The table is never more than half full, so the probe meets an empty slot.
    for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
        const Slot held = slots_[slot];
        if (held.Piece == 0) return kNone;
        if (held.Tag == tag && pieces_[held.Piece - 1] == text) return held.Piece - 1;
    }
}

void TextPieceTable::Rehash(std::size_t slotCount) {
    std::vector<Slot> slots(slotCount);
    const std::size_t mask = slotCount - 1;
    for (std::size_t id = 0; id < pieces_.size(); ++id) {
        const std::uint64_t hash = HashText(pieces_[id]);
        std::size_t slot = static_cast<std::size_t>(hash) & mask;
        while (slots[slot].Piece != 0) slot = (slot + 1) & mask;
        slots[slot] = {static_cast<std::uint32_t>(id + 1), static_cast<std::uint32_t>(hash >> 32)};
    }
    slots_.swap(slots);
}

void TextPieceTable::clear() noexcept {
    pieces_.clear();
    slots_.clear();
}

}  // namespace tessary
