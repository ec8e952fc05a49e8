// Today's scan, kept as the baseline the benchmarks measure the keystroke index against: one
// record per exchange with its search texts in one buffer, one substring search over each
// buffer per query, and a comparison sort of the hits. Answers exactly as the library does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/owning_map.h"
#include "symbols/symbol_table.h"
#include "symbols/symbol_resolver.h"
#include "symbols/text_piece_table.h"
#include "tessary.h"

namespace tessary::baseline {

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

// The records by exchange key.
using ScanIndex = OwningMap<SymbolIndexRecord>;

// Builds one record per table of `tables` into `out` (a record already under a key is replaced
// as a whole), each symbol resolved through `resolver`. False when memory runs out.
[[nodiscard]] bool BuildSearchIndex(const OwningMap<ExchangeSymbolTable>& tables, const SymbolResolver& resolver,
                                    ScanIndex& out);

[[nodiscard]] bool FindSymbols(const ScanIndex& index, const SymbolResolver& resolver, const char* text,
                               SymbolInfo** results, std::int32_t* count, bool matchSearchKeys);

}  // namespace tessary::baseline
