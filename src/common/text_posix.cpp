// Text operations over the C library's LC_CTYPE locale.
#include "common/text.h"

#include <cctype>
#include <cstdlib>
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

char UpperSingleByte(char c) noexcept {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

}  // namespace tessary::text
