// The separator of the search index's texts, and the table of text pieces that the index's
// exact-symbol and key tests look typed texts up in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// The separator of the index texts and of the framed search text.
inline constexpr char kIndexSeparator = '\x05';

// `text` with a separator before and after it: what a code list or key text holds where `text` is
// one of its pieces.
inline std::string Framed(std::string_view text) {
    std::string framed;
    framed.reserve(text.size() + 2);
    framed.push_back(kIndexSeparator);
    framed.append(text);
    framed.push_back(kIndexSeparator);
    return framed;
}

// A set of text pieces, each a view into storage that its owner keeps unchanged, with dense ids
// in the order the pieces were first added. Answers "which piece equals this text" with one hash
// probe sequence (open addressing, linear probing).
class TextPieceTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // The id of the piece equal to `piece`, added when new.
    std::uint32_t Intern(std::string_view piece);
    [[nodiscard]] std::uint32_t Find(std::string_view text) const noexcept;
    [[nodiscard]] std::size_t size() const noexcept { return pieces_.size(); }
    void clear() noexcept;

private:
    void Rehash(std::size_t slotCount);

    std::vector<std::string_view> pieces_;
    // A slot keeps 32 bits of its piece's hash beside the piece, so a probe passing other pieces
    // does not have to read them.
    struct Slot {
        std::uint32_t Piece = 0;  // piece id + 1; 0 marks an empty slot
        std::uint32_t Tag = 0;
    };
    std::vector<Slot> slots_;
};

}  // namespace tessary
