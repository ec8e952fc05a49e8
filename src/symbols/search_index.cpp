// Building the search index from the symbol tables, and the exact-symbol test of each
// exchange's record.
#include "symbols/search_index.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <vector>

#include "common/text.h"
#include "symbols/symbol_resolver.h"
#include "symbols/symbol_table.h"


namespace tessary {

// ---- SymbolIndexRecord ----

void SymbolIndexRecord::Build(const SymbolMap& symbols) {
    table_ = &symbols;
    symbols_ = nullptr;
    codePieces_.clear();
    codePieceCertain_.clear();

    // When no Symbol text holds the separator, the pieces of the code list are the Symbol texts
    // of `symbols` in their order, and the table's own code look-up answers for them.
    const bool separatorFree =
        symbols.ExchangeCode().find(kIndexSeparator) == std::string_view::npos &&
        std::none_of(symbols.begin(), symbols.end(), [](const SymbolEntry& entry) {
            return entry.TrimmedCode().find(kIndexSeparator) != std::string_view::npos;
        });
    if (separatorFree) {
        symbols_ = &symbols;
        symbolSuffix_.assign(1, '.');
        symbolSuffix_ += symbols.ExchangeCode();
        // Every Symbol text ends in the same byte, the one before each later text's separator.
        laterSymbolsCertain_ = static_cast<unsigned char>(symbolSuffix_.back()) < 0x80;
        return;
    }

    // The piece table points into the code list, which is final once made.
    const std::string_view s(CodeList());
    for (std::size_t begin = 1; begin < s.size();) {
        const std::size_t end = s.find(kIndexSeparator, begin);
        const bool certain = begin == 1 || static_cast<unsigned char>(s[begin - 2]) < 0x80;
        const std::uint32_t id = codePieces_.Intern(s.substr(begin, end - begin));
        if (id == codePieceCertain_.size()) codePieceCertain_.push_back(false);
        if (certain) codePieceCertain_[id] = true;
        begin = end + 1;
    }
}

const std::string& SymbolIndexRecord::CodeList() const {
    std::call_once(codeListMade_, [this] { MakeCodeList(); });
    return codeList_;
}

void SymbolIndexRecord::MakeCodeList() const {
    codeList_.assign(1, kIndexSeparator);
    if (table_ == nullptr) return;
    for (const SymbolEntry& entry : *table_) {
        codeList_ += entry.Symbol().View();
        codeList_ += kIndexSeparator;
    }
}

bool SymbolIndexRecord::HoldsFramed(std::string_view upper) const {
    if (symbols_ != nullptr && upper.find(kIndexSeparator) == std::string_view::npos) {
        if (upper.size() < symbolSuffix_.size() || upper.substr(upper.size() - symbolSuffix_.size()) != symbolSuffix_)
            return false;
        const SymbolEntry* entry = symbols_->Find(upper.substr(0, upper.size() - symbolSuffix_.size()));
        if (entry == nullptr) return false;
        if (entry == &(*symbols_)[0] || laterSymbolsCertain_ || text::IsSingleByte()) return true;
    } else if (upper.find(kIndexSeparator) == std::string_view::npos) {
        const std::uint32_t piece = codePieces_.Find(upper);
        if (piece == TextPieceTable::kNone) return false;
        if (codePieceCertain_[piece] || text::IsSingleByte()) return true;
    }
    return text::Find(CodeList(), Framed(upper)) >= 0;
}

// ---- building the index ----

namespace {

// A symbol's search text is its trimmed code, then its Name and search texts, each after 0x05;
// its key text is 0x05, SearchKey1, 0x05, SearchKey2, 0x05.
std::array<std::string_view, 6> SearchParts(const SymbolEntry& entry) noexcept {
    return {entry.TrimmedCode(),
            entry.Field(SymbolField::Name),
            entry.Field(SymbolField::SearchText1),
            entry.Field(SymbolField::SearchText2),
            entry.Field(SymbolField::SearchText3),
            entry.Field(SymbolField::SearchText4)};
}

std::array<std::string_view, 2> KeyParts(const SymbolEntry& entry) noexcept {
    return {entry.Field(SymbolField::SearchKey1), entry.Field(SymbolField::SearchKey2)};
}

std::size_t SearchTextSize(const SymbolEntry& entry) noexcept {
    std::size_t size = 0;
    for (const std::string_view part : SearchParts(entry)) size += part.size() + 1;
    return size - 1;
}

std::size_t KeyTextSize(const SymbolEntry& entry) noexcept {
    std::size_t size = 1;
    for (const std::string_view part : KeyParts(entry)) size += part.size() + 1;
    return size;
}

}  // namespace

bool BuildSearchIndex(const OwningMap<ExchangeSymbolTable>& tables, const SymbolResolver& resolver, SearchIndex& out) {
    try {
        out.clear();
        std::size_t symbolCount = 0;
        for (const auto& [key, table] : tables)
            if (table != nullptr) symbolCount += table->Symbols.size();
        out.Keystrokes.Reserve(symbolCount);
        // The symbols in the order the keystroke index numbers them as it adds them.
        std::vector<const SymbolEntry*> added;
        added.reserve(symbolCount);
        std::size_t textBytes = 0, keyBytes = 0;
        std::uint32_t ordinal = 0;
        for (const auto& [key, table] : tables) {
            if (table == nullptr) continue;
            SymbolIndexRecord* record = FindOrCreateRecord(out.Records, key);
            if (record == nullptr) return false;
            record->Ordinal = ordinal;
            // Each symbol is resolved through its own text, as a search resolves its hits. The
            // text's exchange part is the table's exchange Code for every symbol whose last '.'
            // is the one before it, so the table that part selects is looked up once here, and
            // when it is this table the entry named is the symbol itself.
            const SymbolMap& symbols = table->Symbols;
            const ExchangeSymbolTable* selected = nullptr;
            const std::string upperExchange = text::ToUpper(symbols.ExchangeCode());
            if (!upperExchange.empty()) selected = resolver.TableOf(upperExchange);
            // In a single-byte locale the '.' before the exchange Code is the last one exactly when
            // the Code holds none; otherwise a lead byte might take the '.' in, so each text is
            // searched.
            const bool dotBeforeExchange =
                text::IsSingleByte() && symbols.ExchangeCode().find('.') == std::string_view::npos;
            for (const SymbolEntry& entry : symbols) {
                const SymbolText symbol = entry.Symbol();
                const std::string_view code = entry.TrimmedCode();
                const SymbolEntry* resolved = nullptr;
                if (!dotBeforeExchange &&
                    text::ReverseFind(symbol.View(), '.') != static_cast<std::ptrdiff_t>(code.size()))
                    resolved = resolver.Resolve(symbol.View());
                else if (!code.empty() && selected != nullptr)
                    resolved = selected == table.get() ? &entry : selected->Symbols.Find(code);
                KeystrokeIndex::Record result;
                const SymbolText resolvedSymbol = resolved == nullptr ? symbol : resolved->Symbol();
                if (resolved != nullptr)
                    result = {true, resolved->ExchangeId, static_cast<std::uint16_t>(resolved->Type),
                              resolvedSymbol.View(), resolved->Name()};
                out.Keystrokes.Add(ordinal, result);
                added.push_back(&entry);
                textBytes += SearchTextSize(entry);
                keyBytes += KeyTextSize(entry);
            }
            record->Build(symbols);
            ++ordinal;
        }

        // The texts go in place order, which visits the symbols at random: each is asked for a
        // few places ahead.
        const std::vector<std::uint32_t> order = out.Keystrokes.Sort(textBytes, keyBytes);
        constexpr std::size_t kAhead = 8;
        for (std::size_t place = 0; place < std::min(kAhead, order.size()); ++place)
            __builtin_prefetch(added[order[place]]);
        for (std::size_t place = 0; place < order.size(); ++place) {
            if (place + kAhead < order.size()) __builtin_prefetch(added[order[place + kAhead]]);
            if (place + kAhead / 2 < order.size()) {
                const SymbolEntry& later = *added[order[place + kAhead / 2]];
                __builtin_prefetch(later.Code().data());
                __builtin_prefetch(later.Code().data() + 64);
            }
            const SymbolEntry& entry = *added[order[place]];
            out.Keystrokes.AddTexts(SearchParts(entry), KeyParts(entry));
        }
        out.Keystrokes.Finish();
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

}  // namespace tessary
