// Text operations on 8-bit multibyte strings in the process's character set (the LC_CTYPE
// locale here, the ANSI code page on Windows). A multibyte character is always handled as one
// character: upper-casing never touches its bytes and a search never matches from inside it.
// In a single-byte locale every operation is a plain byte operation.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tessary::text {

// True when the current locale encodes every character in one byte (the "C" locale among
// them); callers may then take byte shortcuts.
[[nodiscard]] bool IsSingleByte() noexcept;

// Number of bytes of the character starting at `p`, of which `left` (at least 1) are available.
// A byte that does not start a valid character counts as a character of its own.
[[nodiscard]] std::size_t CharLength(const char* p, std::size_t left) noexcept;

// The upper-case form of a single-byte character in the current character set.
[[nodiscard]] char UpperSingleByte(char c) noexcept;

// Upper-cases every single-byte character in place; multibyte characters stay as they are.
void MakeUpper(std::string& s);
[[nodiscard]] std::string ToUpper(std::string_view s);

// Position of the first occurrence of `needle` in `haystack` that starts on a character
// boundary, or -1. An empty needle is found at 0.
[[nodiscard]] std::ptrdiff_t Find(std::string_view haystack, std::string_view needle) noexcept;

// Position of the last character equal to `c` (a single-byte character), or -1.
[[nodiscard]] std::ptrdiff_t ReverseFind(std::string_view s, char c) noexcept;

// Whether `pos` is a character boundary of `s` (the start of a character, or the end).
[[nodiscard]] bool IsCharBoundary(std::string_view s, std::size_t pos) noexcept;

// The longest prefix of `s` that fits in `maxBytes` without splitting a character.
[[nodiscard]] std::string_view CutToFit(std::string_view s, std::size_t maxBytes) noexcept;

// Copies `src` into a fixed field of `width` bytes, cut to width - 1 bytes without splitting a
// character, and NUL-terminates it. Bytes behind the terminator are left untouched.
void CopyField(char* field, std::size_t width, std::string_view src) noexcept;

// The text of a fixed field: its bytes up to the first NUL, or all `width` bytes. Inline: a
// table's loader takes nine from every record.
[[nodiscard]] inline std::string_view FieldText(const char* field, std::size_t width) noexcept {
    // Fields are short and a record has several: a word at a time, without a call per field.
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kLow = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
        for (; i + 8 <= width; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, field + i, sizeof word);
            // The lowest high bit set marks the first zero byte exactly (only those above it may
            // be marked wrongly).
            if (const std::uint64_t zero = (word - kLow) & ~word & kHigh; zero != 0)
                return {field, i + static_cast<std::size_t>(std::countr_zero(zero)) / 8};
        }
    }
    for (; i < width; ++i)
        if (field[i] == '\0') return {field, i};
    return {field, width};
}

// Removes white space (as isspace in the current locale sees it) at both ends.
[[nodiscard]] std::string_view Trim(std::string_view s) noexcept;

// Byte-wise comparison that folds the ASCII letters A-Z to lower case and compares every other
// byte by its unsigned value, whatever the locale: the ordering hosts know from _stricmp.
[[nodiscard]] int CompareNoCase(std::string_view a, std::string_view b) noexcept;

}  // namespace tessary::text
