// The symbol tables read from the Light files: one ExchangeSymbolTable per exchange, holding one
// SymbolEntry per distinct code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/owning_map.h"

namespace tessary {

// The text fields of a Light record, in file order, with their widths.
enum class SymbolField : std::uint8_t {
    Code, Name, AuxCode, SearchText1, SearchText2, SearchText3, SearchText4, SearchKey1, SearchKey2
};
inline constexpr std::size_t kSymbolFieldCount = 9;

// A symbol's "CODE.EX" text, made on demand in a buffer of its own: the trimmed code holds at
// most 17 bytes and the exchange Code at most 3, so it never needs the heap. View() is valid as
// long as the SymbolText lives.
class SymbolText {
public:
    SymbolText(std::string_view code, std::string_view exchangeCode) noexcept;
    [[nodiscard]] std::string_view View() const noexcept { return {bytes_, size_}; }

private:
    static constexpr std::size_t kCapacity = 17 + 1 + 3;
    char bytes_[kCapacity];
    std::uint8_t size_ = 0;
};

// One symbol. Its text fields live in the arena of the SymbolMap that made it; the entry is a
// fixed-size record that points there, so a table of a million symbols costs a few large blocks
// instead of several heap blocks per symbol.
struct SymbolEntry {
    std::uint16_t ExchangeId = 0;
    std::int32_t Type = 0;
    std::int32_t AuxValue = 0;
    std::int32_t Serial = 0;  // position of the record that last filled the entry, from 1

    // A text field's bytes exactly as read, up to its first NUL (all of its width when it has
    // none). Bytes behind the first NUL are never observable and are not kept.
    [[nodiscard]] std::string_view Field(SymbolField field) const noexcept {
        const auto i = static_cast<std::size_t>(field);
        const std::size_t begin = i == 0 ? 0 : fieldEnd_[i - 1];
        return {bytes_ + begin, static_cast<std::size_t>(fieldEnd_[i] - begin)};
    }
    [[nodiscard]] std::string_view Code() const noexcept { return Field(SymbolField::Code); }
    [[nodiscard]] std::string_view Name() const noexcept { return Field(SymbolField::Name); }
    // The code with white space removed at both ends: the key of the entry in its table.
    [[nodiscard]] std::string_view TrimmedCode() const noexcept { return {bytes_ + codeBegin_, codeSize_}; }
    // The trimmed exchange Code of the entry's table.
    [[nodiscard]] std::string_view ExchangeCode() const noexcept { return {exchangeCode_, exchangeCodeSize_}; }
    // "CODE.EX" from the trimmed code and the trimmed exchange Code: the text hosts name it by.
    [[nodiscard]] SymbolText Symbol() const noexcept { return SymbolText(TrimmedCode(), ExchangeCode()); }

private:
    friend class SymbolMap;

    const char* bytes_ = "";  // the fields back to back, in the owning map's arena
    std::array<std::uint16_t, kSymbolFieldCount> fieldEnd_{};
    std::uint8_t codeBegin_ = 0;
    std::uint8_t codeSize_ = 0;
    char exchangeCode_[3] = {};
    std::uint8_t exchangeCodeSize_ = 0;
};

// The symbols of one table by trimmed code, visited in the order in which their codes first
// appeared in the file.
//
// The entries sit in one vector; their text bytes in an arena of large blocks that never move,
// so an entry's pointer into them stays valid while the map grows. Codes are found through an
// open-addressing table of entry numbers, probed linearly and kept at most half full, whose keys
// are the entries' own code bytes: no key is stored twice.
class SymbolMap {
public:
    // Moving keeps every entry valid (the arena's blocks stay where they are); copying would
    // leave the copies pointing into the original's arena, so there is none.
    SymbolMap() = default;
    SymbolMap(const SymbolMap&) = delete;
    SymbolMap& operator=(const SymbolMap&) = delete;
    SymbolMap(SymbolMap&& other) noexcept { *this = std::move(other); }
    SymbolMap& operator=(SymbolMap&& other) noexcept;

    // Sets the exchange Code every entry stored from now on carries (its first 3 bytes).
    void SetExchangeCode(std::string_view exchangeCode) noexcept;
    [[nodiscard]] std::string_view ExchangeCode() const noexcept { return {exchangeCode_, exchangeCodeSize_}; }
    // Makes room for `symbols` entries without growing the vector or the code table again.
    void Reserve(std::size_t symbols);

    // Stores a record's text fields (in SymbolField order, none longer than its width in the
    // record) under their trimmed code: into the entry of an earlier record with the same code,
    // keeping its place, or into a new entry at the end. `created` tells which. The entry's
    // numbers are left for the caller to set. A new entry beyond the reserved room may move the
    // others; once loaded, the map never moves an entry.
    SymbolEntry& Store(const std::array<std::string_view, kSymbolFieldCount>& fields, bool& created);

    // Asks the processor to fetch the code table's slot for `code`, which a Store or Find soon
    // after will read: a loader that announces the code some records ahead hides the cache miss
    // of the table's random access. It changes nothing.
    void Prefetch(std::string_view code) const noexcept;

    [[nodiscard]] const SymbolEntry* Find(std::string_view code) const noexcept;
    [[nodiscard]] std::size_t size() const noexcept { return entries_.size(); }
    [[nodiscard]] bool empty() const noexcept { return entries_.empty(); }
    [[nodiscard]] auto begin() const noexcept { return entries_.cbegin(); }
    [[nodiscard]] auto end() const noexcept { return entries_.cend(); }
    [[nodiscard]] const SymbolEntry& operator[](std::size_t i) const noexcept { return entries_[i]; }
    // The code under which entry `i` (in visiting order) is stored.
    [[nodiscard]] std::string_view CodeAt(std::size_t i) const noexcept { return entries_[i].TrimmedCode(); }
    void clear() noexcept;

private:
    // `size` bytes of the arena, uninitialised.
    char* Allocate(std::size_t size);
    void Rehash(std::size_t slotCount);
    // The slot that holds `code`, or the free slot where it would go; `hash` is the code's.
    [[nodiscard]] std::size_t SlotOf(std::string_view code, std::uint64_t hash) const noexcept;

    std::vector<SymbolEntry> entries_;
    // The code table, a power of two long. A slot keeps 32 bits of its code's hash beside the
    // entry number, so a probe passing other codes does not have to visit their entries.
    struct Slot {
        std::uint32_t Entry = 0;  // entry number + 1, or 0 for a free slot
        std::uint32_t Tag = 0;
    };
    std::vector<Slot> slots_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;  // the unused end of the last block
    std::size_t freeLeft_ = 0;
    std::size_t blockSize_ = 256 * 1024;  // of the blocks taken from now on
    char exchangeCode_[3] = {};
    std::uint8_t exchangeCodeSize_ = 0;
};

struct ExchangeSymbolTable {
    std::int32_t Magic = 0;
    std::uint32_t HeaderValue[2] = {};
    std::uint32_t RecordCount = 0;
    SymbolMap Symbols;
};

// The symbol tables by exchange key.
using SymbolTables = OwningMap<ExchangeSymbolTable>;

}  // namespace tessary
