// The symbol tables read from the Light files: one ExchangeSymbolTable per exchange, holding one
// SymbolEntry per distinct code.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/owning_map.h"

namespace tessary {

// The text fields of a Light record, in file order, with their widths.
enum class SymbolField : std::uint8_t {
    Code, Name, AuxCode, SearchText1, SearchText2, SearchText3, SearchText4, SearchKey1, SearchKey2
};
inline constexpr std::size_t kSymbolFieldCount = 9;

struct SymbolEntry {
    std::uint16_t ExchangeId = 0;
    std::int32_t Type = 0;
    std::int32_t AuxValue = 0;
    std::int32_t Serial = 0;   // position of the record that last filled the entry, from 1
    std::string Symbol;        // "CODE.EX" from the trimmed code and the trimmed exchange Code

    // A text field's bytes exactly as read, up to its first NUL (all of its width when it has
    // none). Bytes behind the first NUL are never observable and are not kept.
    [[nodiscard]] std::string_view Field(SymbolField field) const noexcept {
        const auto i = static_cast<std::size_t>(field);
        const std::size_t begin = i == 0 ? 0 : fieldEnd_[i - 1];
        return std::string_view(fieldBytes_).substr(begin, fieldEnd_[i] - begin);
    }
    [[nodiscard]] std::string_view Code() const noexcept { return Field(SymbolField::Code); }
    [[nodiscard]] std::string_view Name() const noexcept { return Field(SymbolField::Name); }

    // Replaces every text field; `fields` holds them in SymbolField order.
    void SetFields(const std::array<std::string_view, kSymbolFieldCount>& fields);

private:
    // The fields back to back in one string: one allocation per symbol instead of nine fixed
    // arrays of up to 65 bytes, most of them nearly empty.
    std::string fieldBytes_;
    std::array<std::uint16_t, kSymbolFieldCount> fieldEnd_{};
};

// The symbols of one table by code, owned, visited in the order in which their codes first
// appeared in the file.
class SymbolMap {
public:
    [[nodiscard]] const SymbolEntry* Find(std::string_view code) const {
        const auto it = index_.find(code);
        return it == index_.end() ? nullptr : it->second;
    }
    // The entry under `code`, made (zero) when missing.
    SymbolEntry& FindOrCreate(std::string_view code);
    [[nodiscard]] std::size_t size() const noexcept { return entries_.size(); }
    [[nodiscard]] bool empty() const noexcept { return entries_.empty(); }
    [[nodiscard]] auto begin() const noexcept { return entries_.begin(); }
    [[nodiscard]] auto end() const noexcept { return entries_.end(); }
    // The code under which entry `i` (in visiting order) is stored.
    [[nodiscard]] std::string_view CodeAt(std::size_t i) const noexcept { return codes_[i]; }
    void clear() noexcept;

private:
    std::vector<std::unique_ptr<SymbolEntry>> entries_;
    std::vector<std::string_view> codes_;  // the keys of index_, whose nodes never move
    TextHashMap<SymbolEntry*> index_;
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
