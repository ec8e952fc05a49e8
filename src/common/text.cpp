// The text operations, built on the platform's three primitives (IsSingleByte, CharLength,
// UpperSingleByte) in text_posix.cpp / text_win32.cpp.
#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tessary::text {

void MakeUpper(std::string& s) {
    char* p = s.data();
    const std::size_t n = s.size();
    if (IsSingleByte()) {
        for (std::size_t i = 0; i < n; ++i) p[i] = UpperSingleByte(p[i]);
        return;
    }
    for (std::size_t i = 0; i < n;) {
        const std::size_t len = CharLength(p + i, n - i);
        if (len == 1) p[i] = UpperSingleByte(p[i]);
        i += len;
    }
}

std::string ToUpper(std::string_view s) {
    std::string copy(s);
    MakeUpper(copy);
    return copy;
}

bool IsCharBoundary(std::string_view s, std::size_t pos) noexcept {
    if (pos == 0 || pos >= s.size() || IsSingleByte()) return true;
    std::size_t i = 0;
    while (i < pos) i += CharLength(s.data() + i, s.size() - i);
    return i == pos;
}

std::ptrdiff_t Find(std::string_view haystack, std::string_view needle) noexcept {
    if (needle.empty()) return 0;
    if (IsSingleByte()) {
        const std::size_t at = haystack.find(needle);
        return at == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(at);
    }
    // Walk character by character so that a match never starts on a trail byte.
    const std::size_t n = haystack.size();
    for (std::size_t i = 0; i < n;) {
        if (n - i < needle.size()) break;
        if (std::memcmp(haystack.data() + i, needle.data(), needle.size()) == 0)
            return static_cast<std::ptrdiff_t>(i);
        i += CharLength(haystack.data() + i, n - i);
    }
    return -1;
}

std::ptrdiff_t ReverseFind(std::string_view s, char c) noexcept {
    // Up to its first byte >= 0x80 a text is single bytes in every code page: a multibyte
    // character starts with such a byte.
    const std::size_t high = IsSingleByte() ? s.size() : static_cast<std::size_t>(
        std::find_if(s.begin(), s.end(), [](char b) { return static_cast<unsigned char>(b) >= 0x80; }) - s.begin());
    if (high == s.size()) {
        const std::size_t at = s.rfind(c);
        return at == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(at);
    }
    const std::size_t before = s.substr(0, high).rfind(c);
    std::ptrdiff_t last = before == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(before);
    for (std::size_t i = high; i < s.size();) {
        const std::size_t len = CharLength(s.data() + i, s.size() - i);
        if (len == 1 && s[i] == c) last = static_cast<std::ptrdiff_t>(i);
        i += len;
    }
    return last;
}

std::string_view CutToFit(std::string_view s, std::size_t maxBytes) noexcept {
    if (s.size() <= maxBytes) return s;
    if (IsSingleByte()) return s.substr(0, maxBytes);
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t len = CharLength(s.data() + i, s.size() - i);
        if (i + len > maxBytes) break;
        i += len;
    }
    return s.substr(0, i);
}

void CopyField(char* field, std::size_t width, std::string_view src) noexcept {
    if (width == 0) return;
    const std::string_view fitted = CutToFit(src, width - 1);
    if (!fitted.empty()) std::memcpy(field, fitted.data(), fitted.size());
    field[fitted.size()] = '\0';
}

std::string_view Trim(std::string_view s) noexcept {
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return s;
}

int CompareNoCase(std::string_view a, std::string_view b) noexcept {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned ca = static_cast<unsigned char>(a[i]);
        unsigned cb = static_cast<unsigned char>(b[i]);
        if (ca - 'A' < 26u) ca += 'a' - 'A';
        if (cb - 'A' < 26u) cb += 'a' - 'A';
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace tessary::text
