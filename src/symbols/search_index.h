// The search index: one SymbolIndexRecord per exchange key, built once from the symbol tables and
// read by every symbol search.
//
// What a record holds is equivalent to three texts per exchange: the code list (every Symbol
// text framed by the separator 0x05), per symbol a search text (trimmed code, Name and the four
// search texts joined by 0x05) and per symbol a key text (0x05, SearchKey1, 0x05, SearchKey2,
// 0x05). A search looks for the typed text in the search texts, for the framed text in the code
// list and in the key texts. The record keeps these texts byte for byte, but laid out for a
// search that runs on every keystroke over up to a million symbols (see SymbolIndexRecord).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/owning_map.h"

namespace tessary {

struct SymbolEntry;
struct ExchangeSymbolTable;
class SymbolResolver;

// The separator of the index texts and of the framed search text.
inline constexpr char kIndexSeparator = '\x05';

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
    std::vector<std::size_t> hashes_;
    std::vector<std::uint32_t> slots_;  // piece id + 1; 0 marks an empty slot
};

// The search index of one exchange.
//
// Where it departs from the plain layout (a code list plus two Symbol-text-keyed maps of strings)
// and why:
// - The search texts of all symbols sit in one buffer, each followed by a NUL byte. A typed text
//   never holds a NUL (it arrives as a C string) and no field does, so an occurrence found in the
//   buffer always lies inside one symbol's text: one substring search runs over the whole
//   exchange instead of one per symbol, and an offset table maps each occurrence back to its
//   symbol. The texts themselves are unchanged, 0x05 separators included.
// - Symbols are numbered in the order the table's Symbols map visits them; the number replaces
//   the Symbol text as the key of the search and key texts.
// - The exact-symbol test asks whether the code list holds 0x05, T, 0x05 at a character
//   boundary. For a T without 0x05 such an occurrence is always one of the pieces between two
//   neighbouring separators of the code list, so one hash look-up in `codePieces_` answers it.
//   A piece counts at once when the separator before it is certainly a character boundary:
//   the list's first byte, or one after a byte below 0x80, which no code page uses as a lead
//   byte. Otherwise (a possible lead byte before it, in a double-byte locale) the code list is
//   searched as it is, and so it is for a T that holds 0x05, which can match across
//   neighbouring symbols. Both are rare: codes and exchange codes are plain ASCII in practice.
// - The key test likewise: for a T without 0x05 the key text holds 0x05, T, 0x05 only when T is
//   one of the 0x05-separated pieces of SearchKey1 or SearchKey2 (a piece is a whole key unless
//   the key itself holds 0x05), so the pieces map to the symbols that have them; a symbol whose
//   key text has a separator after a possible lead byte is confirmed by searching its key text.
// - Each symbol's entry is resolved once, when the index is built: the exchanges and tables
//   that the resolver reads are complete then and never change afterwards.
class SymbolIndexRecord {
public:
    SymbolIndexRecord() = default;
    // The piece tables hold views into the record's own buffers: the record never moves.
    SymbolIndexRecord(const SymbolIndexRecord&) = delete;
    SymbolIndexRecord& operator=(const SymbolIndexRecord&) = delete;

    // ---- building ----

    // Adds the next symbol: its Symbol text, its search text's parts (trimmed code, Name and
    // SearchText1-4, each as the table holds it up to its first NUL), its two search keys, and
    // the entry the resolver finds for the Symbol text (null when it finds none).
    void AddSymbol(std::string_view symbol, std::string_view code, std::string_view name,
                   const std::string_view (&searchTexts)[4], std::string_view searchKey1,
                   std::string_view searchKey2, const SymbolEntry* resolved);
    // Completes the code list and the look-up tables; call once after the last AddSymbol.
    void Finish();

    // ---- the index texts, as the plain layout defines them ----

    // 0x05, then every Symbol text followed by 0x05; the single byte 0x05 for no symbols.
    [[nodiscard]] const std::string& CodeList() const noexcept { return codeList_; }
    [[nodiscard]] std::size_t SymbolCount() const noexcept { return resolved_.size(); }
    [[nodiscard]] std::string_view SymbolText(std::size_t i) const noexcept;
    // Trimmed code, Name, SearchText1-4, joined by 0x05.
    [[nodiscard]] std::string_view SearchText(std::size_t i) const noexcept;
    // 0x05, SearchKey1, 0x05, SearchKey2, 0x05.
    [[nodiscard]] std::string_view KeyText(std::size_t i) const noexcept;
    [[nodiscard]] const SymbolEntry* Resolved(std::size_t i) const noexcept { return resolved_[i]; }

    // ---- the two tests of a search; `upper` is the typed text upper-cased ----

    // Whether the code list holds 0x05, `upper`, 0x05.
    [[nodiscard]] bool HoldsFramed(std::string_view upper) const;
    // Appends, in ascending order, the numbers of the symbols whose search text holds `upper`
    // or, when `matchSearchKeys`, whose key text holds 0x05, `upper`, 0x05.
    void Scan(std::string_view upper, bool matchSearchKeys, std::vector<std::uint32_t>& hits) const;

private:
    void ScanTexts(std::string_view upper, std::vector<std::uint32_t>& hits) const;
    [[nodiscard]] std::size_t SymbolAtOffset(std::size_t offset, std::size_t from) const noexcept;

    std::string codeList_;
    std::vector<std::size_t> symbolStart_;  // symbol i's text: [start[i], start[i + 1] - 1) in codeList_

    // Search texts back to back, each followed by NUL; symbol i's text is
    // [textStart_[i], textStart_[i + 1] - 1).
    std::string textBuffer_;
    std::vector<std::size_t> textStart_{0};
    std::size_t longestText_ = 0;

    // Key texts back to back; symbol i's is [keyStart_[i], keyStart_[i + 1]).
    std::string keyBuffer_;
    std::vector<std::size_t> keyStart_{0};

    std::vector<const SymbolEntry*> resolved_;

    TextPieceTable codePieces_;
    std::vector<bool> codePieceCertain_;  // by piece: one occurrence is certainly on a boundary
    TextPieceTable keyPieces_;
    std::vector<bool> keyTextDoubtful_;   // by symbol: a separator may be a trail byte
    // The symbols having key piece p: keyPostings_[keyPostingStart_[p] .. keyPostingStart_[p + 1]),
    // ascending and without repeats.
    std::vector<std::uint32_t> keyPostingStart_;
    std::vector<std::uint32_t> keyPostings_;
};

// The index records by exchange key.
using SearchIndex = OwningMap<SymbolIndexRecord>;

// Builds one record per table of `tables` into `out` (a record already under a key is replaced
// as a whole), each symbol resolved through `resolver`. False when memory runs out.
[[nodiscard]] bool BuildSearchIndex(const OwningMap<ExchangeSymbolTable>& tables, const SymbolResolver& resolver,
                                    SearchIndex& out);

}  // namespace tessary
