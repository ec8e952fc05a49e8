// The search index, built once from the symbol tables and read by every symbol search.
//
// What it holds is equivalent to three texts per exchange: the code list (every Symbol text
// framed by the separator 0x05), per symbol a search text (trimmed code, Name and the four
// search texts joined by 0x05) and per symbol a key text (0x05, SearchKey1, 0x05, SearchKey2,
// 0x05). A search looks for the typed text in the search texts, for the framed text in the code
// list and in the key texts. The texts are kept byte for byte, laid out for a search that runs
// on every keystroke over a million symbols: the code list per exchange (SymbolIndexRecord),
// the rest in one keystroke index over the whole market (KeystrokeIndex).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/owning_map.h"
#include "symbols/keystroke_index.h"
#include "symbols/text_piece_table.h"

namespace tessary {

struct SymbolEntry;
struct ExchangeSymbolTable;
class SymbolMap;
class SymbolResolver;

// The exact-symbol test of one exchange.
//
// The code list (0x05, then every Symbol text followed by 0x05) answers whether the typed text
// is one of the exchange's Symbol texts: the list holds 0x05, T, 0x05 at a character boundary.
// For a T without 0x05 such an occurrence is always one of the pieces between two neighbouring
// separators, so one hash look-up answers it. Those pieces are the Symbol texts themselves unless
// a code holds 0x05, and every Symbol text ends in '.' and the exchange Code: the look-up is
// then the symbol table's own, of T without that ending, and costs no memory of its own; only
// for the rare table with 0x05 in a code are the pieces kept in `codePieces_`. A piece counts at
// once when the separator before it is certainly a character boundary: the list's first byte,
// or one after a byte below 0x80, which no code page uses as a lead byte. Otherwise (a possible
// lead byte before it, in a double-byte locale) the code list is searched as it is, and so it is
// for a T that holds 0x05, which can match across neighbouring symbols. Both are rare: codes and
// exchange codes are plain ASCII in practice, so the list is only made when first searched.
class SymbolIndexRecord {
public:
    SymbolIndexRecord() = default;
    // The piece table holds views into the record's own code list: the record never moves.
    SymbolIndexRecord(const SymbolIndexRecord&) = delete;
    SymbolIndexRecord& operator=(const SymbolIndexRecord&) = delete;

    // Builds the test for the symbols of `symbols`, the exchange's table, which must outlive the
    // record unchanged. Call once.
    void Build(const SymbolMap& symbols);

    // 0x05, then every Symbol text followed by 0x05; the single byte 0x05 for no symbols. Where
    // the table's own look-up answers, the list is only made when a search first needs it (a
    // text that holds 0x05, or a double-byte locale with an exchange Code that ends in a byte
    // >= 0x80): a million symbols make some 20 megabytes of it.
    [[nodiscard]] const std::string& CodeList() const;

    // Whether the code list holds 0x05, `upper`, 0x05, `upper` being the typed text upper-cased.
    [[nodiscard]] bool HoldsFramed(std::string_view upper) const;

    // The exchange's number in the keystroke index.
    std::uint32_t Ordinal = 0;

private:
    void MakeCodeList() const;

    const SymbolMap* table_ = nullptr;
    mutable std::once_flag codeListMade_;
    mutable std::string codeList_;
    // Where no Symbol text holds 0x05: the table the texts came from, the '.' and exchange Code
    // that end every text, and whether the separator before every text but the first certainly
    // is a character boundary.
    const SymbolMap* symbols_ = nullptr;
    std::string symbolSuffix_;
    bool laterSymbolsCertain_ = false;
    // Otherwise every piece between neighbouring separators.
    TextPieceTable codePieces_;
    std::vector<bool> codePieceCertain_;  // by piece: one occurrence is certainly on a boundary
};

// The whole index: per exchange key the exact-symbol test, and the keystroke index of every
// symbol of every exchange, which answers the scan, the key test and the ranking.
struct SearchIndex {
    OwningMap<SymbolIndexRecord> Records;
    KeystrokeIndex Keystrokes;

    void clear() noexcept {
        Records.clear();
        Keystrokes.Clear();
    }
};

// Builds the index of every table of `tables` into `out`, replacing what it held, each symbol
// resolved through `resolver`. False when memory runs out.
[[nodiscard]] bool BuildSearchIndex(const OwningMap<ExchangeSymbolTable>& tables, const SymbolResolver& resolver,
                                    SearchIndex& out);

}  // namespace tessary
