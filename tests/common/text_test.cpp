// The multibyte text operations, in a single-byte locale ("C"), in UTF-8 and in the double-byte
// GBK code page, where a trail byte may be any ASCII letter and must never be taken for one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "common/text.h"
#include "support/test_support.h"

namespace tessary {
namespace {

using testing::kGbkLocale;
using testing::ScopedLocale;

// GBK characters: 0x81 0x61 has the trail byte 'a', 0x81 0x5A the trail byte 'Z', 0xD6 0xD0 is
// a character whose bytes are both above 0x7F.
const std::string kTrailA = "\x81\x61";
const std::string kTrailZ = "\x81\x5A";
const std::string kZhong = "\xD6\xD0";
const char* const kUtf8 = "C.UTF-8";

#define REQUIRE_LOCALE(locale) \
    ScopedLocale locale_guard(locale); \
    ASSERT_TRUE(locale_guard.ok()) << "locale " << (locale) << " is not available"

// A locale, a text in and the text out.
using TextCase = std::tuple<const char*, std::string, std::string>;

TEST(TextUpperCase, UpperCasesSingleByteLettersOnly) {
    const TextCase cases[] = {
        {"C", "abc.xy_09z", "ABC.XY_09Z"},
        {"C", "\xE9\x61", "\xE9" "A"},  // bytes above 0x7F are not letters in "C"
        {kUtf8, "caf\xC3\xA9.xy", "CAF\xC3\xA9.XY"},
        {kGbkLocale, kTrailA + "a" + kTrailA, kTrailA + "A" + kTrailA},
        {kGbkLocale, "x" + kZhong + kTrailZ + "z", "X" + kZhong + kTrailZ + "Z"},
        // A lead byte with nothing after it is a character of its own, not the start of a pair
        // that swallows the terminator or reads beyond the text.
        {kGbkLocale, "a\x81", "A\x81"},
        // 0x81 0x20 is not a GBK character: 0x81 stands alone and the blank and 'a' are ASCII.
        {kGbkLocale, "\x81 a", "\x81 A"},
    };
    for (const auto& [locale, in, out] : cases) {
        REQUIRE_LOCALE(locale);
        std::string s = in;
        text::MakeUpper(s);
        EXPECT_EQ(s, out);
        EXPECT_EQ(text::ToUpper(in), out);
    }
}

TEST(TextFind, FindAndReverseFindMatchOnlyFromACharacterBoundary) {
    // Locale, text, wanted, first position; a single-byte needle also has its last position.
    constexpr std::ptrdiff_t kSkip = -2;
    struct Case { const char* Locale; std::string Text, Needle; std::ptrdiff_t First, Last = kSkip; };
    const Case cases[] = {
        {"C", "A.B.XY", ".", 1, 3}, {"C", "ABC", ".", -1, -1}, {"C", "", ".", -1, -1}, {"C", ".", ".", 0, 0},
        {kGbkLocale, kZhong + ".X" + kZhong, ".", 2, 2}, {kGbkLocale, "a" + kTrailA, "a", 0, 0},
        {kGbkLocale, kTrailA + kTrailA, "a", -1, -1},  // 'a' only as a trail byte
        {kGbkLocale, "a." + kTrailA, "a", 0, 0}, {kGbkLocale, ".x" + kZhong, ".", 0, 0},
        {"C", "xxABCxx", "ABC", 2}, {"C", "xxABCxx", "ABD", -1}, {"C", "abc", "", 0}, {"C", "ab", "abc", -1},
        {"C", kTrailA + "b", "ab", 1},
        // "ab" sits in the bytes 1..2, but byte 1 is the trail of 0x81 0x61.
        {kGbkLocale, kTrailA + "b", "ab", -1}, {kGbkLocale, kTrailA + "ab", "ab", 2},
        {kGbkLocale, kZhong + kTrailA, kTrailA, 2}, {kGbkLocale, kTrailA, kTrailA, 0},
        // "a" + lead byte must not match the trail of one character and the lead of the next.
        {kGbkLocale, kTrailA + kTrailA, "a\x81", -1},
        {kUtf8, "\xC3\xA9", "\xA9", -1}, {kUtf8, "a\xC3\xA9" "b", "\xC3\xA9" "b", 1},
    };
    for (const auto& [locale, haystack, needle, first, last] : cases) {
        REQUIRE_LOCALE(locale);
        SCOPED_TRACE(haystack + " / " + needle);
        EXPECT_EQ(text::Find(haystack, needle), first);
        if (last != kSkip) {
            EXPECT_EQ(text::ReverseFind(haystack, needle[0]), last);
        }
    }
}

TEST(TextCharBoundary, GbkTrailBytesAreNoBoundaries) {
    const std::string s = "x" + kTrailA + kZhong;
    for (const auto& [locale, boundaries] : {std::pair{kGbkLocale, "110101"}, std::pair{"C", "111111"}}) {
        REQUIRE_LOCALE(locale);
        for (std::size_t pos = 0; pos <= s.size(); ++pos)
            EXPECT_EQ(text::IsCharBoundary(s, pos), pos == s.size() || boundaries[pos] == '1')
                << locale << " " << pos;
    }
}

TEST(TextCopyField, CutsWithoutSplittingADoubleByteCharacterAndLeavesTheRest) {
    // Locale, width, source, and the 8 bytes of a field preset to '#'. The text in front of the
    // terminator is also what CutToFit gives for width - 1 bytes.
    const std::tuple<const char*, std::size_t, std::string, std::string> cases[] = {
        {"C", 4, "ABCDEFG", std::string("ABC\0####", 8)}, {"C", 4, "ABC", std::string("ABC\0####", 8)},
        {"C", 4, "AB", std::string("AB\0#####", 8)}, {"C", 1, "AB", std::string("\0#######", 8)},
        {"C", 3, "A" + kZhong, std::string("A\xD6\0#####", 8)},
        // A cut does not leave a lone lead byte.
        {kGbkLocale, 3, "A" + kZhong, std::string("A\0######", 8)},
        {kGbkLocale, 4, "A" + kZhong, "A" + kZhong + std::string("\0####", 5)},
        {kGbkLocale, 4, kZhong + kZhong, kZhong + std::string("\0#####", 6)},
        {kGbkLocale, 3, kZhong + "A", kZhong + std::string("\0#####", 6)},
        {kGbkLocale, 2, kZhong, std::string("\0#######", 8)},
    };
    for (const auto& [locale, width, source, bytes] : cases) {
        REQUIRE_LOCALE(locale);
        char field[8];
        std::memset(field, '#', sizeof field);
        text::CopyField(field, width, source);
        EXPECT_EQ(std::string(field, 8), bytes) << source;
        EXPECT_EQ(text::CutToFit(source, width - 1), std::string(field)) << source;
    }
}

// The field's end is found a word at a time; the bytes around a NUL (0x01 borrows, 0x80 and 0xFF
// set high bits) must not move it.
TEST(TextFieldText, EndsAtTheFirstNulWhereverItIs) {
    const unsigned char fill[] = {0x01, 0x80, 0xFF, 'A', 0x7F};
    for (std::size_t width = 0; width <= 20; ++width)
        for (const unsigned char around : fill)
            for (std::size_t nul = 0; nul <= width; ++nul) {
                std::string field(width + 8, static_cast<char>(around));
                if (nul < width) field[nul] = '\0';
                if (nul + 1 < width) field[nul + 1] = '\0';  // a second NUL must not matter
                const std::string_view text = text::FieldText(field.data(), width);
                EXPECT_EQ(text.data(), field.data());
                EXPECT_EQ(text.size(), nul) << "width " << width << ", byte " << int{around};
            }
}

TEST(TextTrim, RemovesWhiteSpaceAtBothEndsButNoGbkCharacter) {
    const TextCase cases[] = {{"C", "  A B \t\r\n", "A B"}, {"C", "   ", ""}, {"C", "", ""},
                              {kGbkLocale, " " + kZhong + " ", kZhong}};
    for (const auto& [locale, in, out] : cases) {
        REQUIRE_LOCALE(locale);
        EXPECT_EQ(text::Trim(in), out) << in;
    }
}

// _stricmp folds A-Z to lower case and compares every other byte by its unsigned value: '_'
// (0x5F) and '[' (0x5B) come before every letter, bytes above 0x7F after all of them. Only A-Z
// fold: '@' and '`', or bytes that some code pages call letters, do not.
TEST(TextCompareNoCase, OrdersLikeStricmpInEveryLocale) {
    const std::pair<const char*, const char*> ordered[] = {
        {"_", "a"}, {"_", "A"}, {"_", "Z"}, {"[", "_"}, {"[", "a"}, {"Z", "\x81"}, {"z", "\xE9"},
        {"A.B", "ABC"}, {"AB", "abc"}, {"", "a"}, {"\x7F", "\x80"}, {"@", "`"}, {"\xC9", "\xE9"}};
    for (const char* locale : {"C", kGbkLocale}) {
        REQUIRE_LOCALE(locale);
        for (const auto& [lower, higher] : ordered) {
            EXPECT_LT(text::CompareNoCase(lower, higher), 0) << locale << " " << lower << " " << higher;
            EXPECT_GT(text::CompareNoCase(higher, lower), 0) << locale << " " << lower << " " << higher;
        }
    }
    EXPECT_EQ(text::CompareNoCase("aBc.Xy", "AbC.xY"), 0);
    EXPECT_EQ(text::CompareNoCase("", ""), 0);
}

}  // namespace
}  // namespace tessary
