// Text operations over the C runtime's multibyte code page (the ANSI code page unless the host
// changes it), the code page the host's own 8-bit strings work in. A lead byte followed by a
// valid trail byte is one double-byte character; anything else is a character of one byte.
#include <cstring>

#include "common/text.h"

// After the C++ headers: <mbctype.h> defines macros such as _S1 that clash with their names.
#include <mbctype.h>
#include <mbstring.h>
#include <windows.h>

namespace tessary::text {
namespace {

bool IsLeadByte(char c) noexcept { return ::_ismbblead(static_cast<unsigned char>(c)) != 0; }
bool IsTrailByte(char c) noexcept { return ::_ismbbtrail(static_cast<unsigned char>(c)) != 0; }

}  // namespace

bool IsSingleByte() noexcept {
    const int codePage = ::_getmbcp();
    if (codePage == 0) return true;  // the runtime's mark for a single-byte code page
    CPINFO info{};
    if (!::GetCPInfo(static_cast<UINT>(codePage), &info)) return true;
    return info.MaxCharSize == 1;
}

std::size_t CharLength(const char* p, std::size_t left) noexcept {
    if (static_cast<unsigned char>(*p) < 0x80 || left < 2) return 1;
    return IsLeadByte(p[0]) && IsTrailByte(p[1]) ? 2 : 1;
}

void MakeUpper(std::string& s) {
    char* p = s.data();
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n;) {
        const std::size_t len = CharLength(p + i, n - i);
        // Single-byte characters follow the code page's case rules; double-byte ones are kept.
        if (len == 1) p[i] = static_cast<char>(::_mbctoupper(static_cast<unsigned char>(p[i])));
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
