// Text operations over the C runtime's multibyte code page (the ANSI code page unless the host
// changes it), the code page the host's own 8-bit strings work in. A lead byte followed by a
// valid trail byte is one double-byte character; anything else is a character of one byte.
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
    // Asked for every search hit: the answer for the last code page seen is kept.
    thread_local int lastCodePage = -1;
    thread_local bool lastSingleByte = true;
    if (codePage != lastCodePage) {
        CPINFO info{};
        lastSingleByte = !::GetCPInfo(static_cast<UINT>(codePage), &info) || info.MaxCharSize == 1;
        lastCodePage = codePage;
    }
    return lastSingleByte;
}

std::size_t CharLength(const char* p, std::size_t left) noexcept {
    if (static_cast<unsigned char>(*p) < 0x80 || left < 2) return 1;
    return IsLeadByte(p[0]) && IsTrailByte(p[1]) ? 2 : 1;
}

// Single-byte characters follow the code page's case rules.
char UpperSingleByte(char c) noexcept {
    return static_cast<char>(::_mbctoupper(static_cast<unsigned char>(c)));
}

}  // namespace tessary::text
