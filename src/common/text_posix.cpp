// Text operations over the C library's LC_CTYPE locale.
#include "common/text.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace tessary::text {

bool IsSingleByte() noexcept { return MB_CUR_MAX == 1; }

std::size_t CharLength(const char* p, std::size_t left) noexcept {
    if (static_cast<unsigned char>(*p) < 0x80 || left < 2 || MB_CUR_MAX == 1) return 1;
    std::mbstate_t state{};
    const std::size_t n = std::mbrlen(p, left, &state);
    // (size_t)-1 and -2 mark an invalid or cut sequence, 0 a NUL: one byte each.
    if (n == 0 || n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) return 1;
    return n;
}

void MakeUpper(std::string& s) {
    char* p = s.data();
    const std::size_t n = s.size();
    if (IsSingleByte()) {
        for (std::size_t i = 0; i < n; ++i)
            p[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(p[i])));
        return;
    }
    for (std::size_t i = 0; i < n;) {
        const std::size_t len = CharLength(p + i, n - i);
        if (len == 1) p[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(p[i])));
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
    if (IsSingleByte()) {
        const std::size_t at = s.rfind(c);
        return at == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(at);
    }
    std::ptrdiff_t last = -1;
    for (std::size_t i = 0; i < s.size();) {
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

}  // namespace tessary::text
