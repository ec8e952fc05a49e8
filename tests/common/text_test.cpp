// The multibyte text operations, in a single-byte locale ("C"), in UTF-8 and in the double-byte
// GBK code page, where a trail byte may be any ASCII letter and must never be taken for one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

#define REQUIRE_LOCALE(locale) \
    ScopedLocale locale_guard(locale); \
    ASSERT_TRUE(locale_guard.ok()) << "locale " << (locale) << " is not available"

TEST(TextUpperCase, SingleByteLocaleUpperCasesEveryAsciiLetter) {
    REQUIRE_LOCALE("C");
    EXPECT_EQ(text::ToUpper("abc.xy_09z"), "ABC.XY_09Z");
    // Bytes above 0x7F are not letters in "C".
    EXPECT_EQ(text::ToUpper("\xE9\x61"), "\xE9" "A");
}

TEST(TextUpperCase, Utf8KeepsMultibyteCharactersWhole) {
    REQUIRE_LOCALE("C.UTF-8");
    EXPECT_EQ(text::ToUpper("caf\xC3\xA9.xy"), "CAF\xC3\xA9.XY");
}

TEST(TextUpperCase, GbkNeverChangesATrailByte) {
    REQUIRE_LOCALE(kGbkLocale);
    EXPECT_EQ(text::ToUpper(kTrailA + "a" + kTrailA), kTrailA + "A" + kTrailA);
    EXPECT_EQ(text::ToUpper("x" + kZhong + kTrailZ + "z"), "X" + kZhong + kTrailZ + "Z");
    // A lead byte with nothing after it is a character of its own, not the start of a pair
    // that swallows the terminator or reads beyond the text.
    std::string cut = "a\x81";
    text::MakeUpper(cut);
    EXPECT_EQ(cut, "A\x81");
}

TEST(TextUpperCase, GbkLeadByteFollowedByAnInvalidTrailCountsAlone) {
    REQUIRE_LOCALE(kGbkLocale);
    // 0x81 0x20 is not a GBK character: 0x81 stands alone and the blank and 'a' are ASCII.
    EXPECT_EQ(text::ToUpper("\x81 a"), "\x81 A");
}

TEST(TextFind, SingleByteLocaleFindsAtAnyByte) {
    REQUIRE_LOCALE("C");
    EXPECT_EQ(text::Find("xxABCxx", "ABC"), 2);
    EXPECT_EQ(text::Find("xxABCxx", "ABD"), -1);
    EXPECT_EQ(text::Find("abc", ""), 0);
    EXPECT_EQ(text::Find("ab", "abc"), -1);
    EXPECT_EQ(text::Find(kTrailA + "b", "ab"), 1);
}

TEST(TextFind, GbkNeverMatchesFromATrailByte) {
    REQUIRE_LOCALE(kGbkLocale);
    // "ab" sits in the bytes 1..2, but byte 1 is the trail of 0x81 0x61.
    EXPECT_EQ(text::Find(kTrailA + "b", "ab"), -1);
    EXPECT_EQ(text::Find(kTrailA + "ab", "ab"), 2);
    EXPECT_EQ(text::Find(kZhong + kTrailA, kTrailA), 2);
    EXPECT_EQ(text::Find(kTrailA, kTrailA), 0);
    // The needle "a" + lead byte must not match the trail of one character and the lead of the
    // next.
    EXPECT_EQ(text::Find(kTrailA + kTrailA, std::string("a\x81")), -1);
}

TEST(TextFind, Utf8NeverMatchesFromAContinuationByte) {
    REQUIRE_LOCALE("C.UTF-8");
    EXPECT_EQ(text::Find("\xC3\xA9", "\xA9"), -1);
    EXPECT_EQ(text::Find("a\xC3\xA9" "b", "\xC3\xA9" "b"), 1);
}

TEST(TextReverseFind, FindsTheLastFullStop) {
    REQUIRE_LOCALE("C");
    EXPECT_EQ(text::ReverseFind("A.B.XY", '.'), 3);
    EXPECT_EQ(text::ReverseFind("ABC", '.'), -1);
    EXPECT_EQ(text::ReverseFind("", '.'), -1);
    EXPECT_EQ(text::ReverseFind(".", '.'), 0);
}

TEST(TextReverseFind, GbkSkipsTrailBytes) {
    REQUIRE_LOCALE(kGbkLocale);
    EXPECT_EQ(text::ReverseFind(kZhong + ".X" + kZhong, '.'), 2);
    // 'a' only occurs as a trail byte here.
    EXPECT_EQ(text::ReverseFind(kTrailA + kTrailA, 'a'), -1);
    EXPECT_EQ(text::ReverseFind("a" + kTrailA, 'a'), 0);
}

TEST(TextCharBoundary, GbkTrailBytesAreNoBoundaries) {
    const std::string s = "x" + kTrailA + kZhong;
    {
        REQUIRE_LOCALE(kGbkLocale);
        EXPECT_TRUE(text::IsCharBoundary(s, 0));
        EXPECT_TRUE(text::IsCharBoundary(s, 1));
        EXPECT_FALSE(text::IsCharBoundary(s, 2));
        EXPECT_TRUE(text::IsCharBoundary(s, 3));
        EXPECT_FALSE(text::IsCharBoundary(s, 4));
        EXPECT_TRUE(text::IsCharBoundary(s, 5));
    }
    {
        REQUIRE_LOCALE("C");
        EXPECT_TRUE(text::IsCharBoundary(s, 2));
        EXPECT_TRUE(text::IsCharBoundary(s, 4));
    }
}

TEST(TextCutToFit, SingleByteCutsAtTheByteLimit) {
    REQUIRE_LOCALE("C");
    EXPECT_EQ(text::CutToFit("ABCDE", 3), "ABC");
    EXPECT_EQ(text::CutToFit("ABC", 3), "ABC");
    EXPECT_EQ(text::CutToFit("A" + kZhong, 2), "A\xD6");
}

TEST(TextCutToFit, GbkNeverSplitsADoubleByteCharacter) {
    REQUIRE_LOCALE(kGbkLocale);
    EXPECT_EQ(text::CutToFit("A" + kZhong, 2), "A");
    EXPECT_EQ(text::CutToFit("A" + kZhong, 3), "A" + kZhong);
    EXPECT_EQ(text::CutToFit(kZhong + kZhong, 3), kZhong);
    EXPECT_EQ(text::CutToFit(kZhong, 1), "");
}

TEST(TextCopyField, TerminatesWithinTheWidthAndLeavesTheRest) {
    REQUIRE_LOCALE("C");
    char field[8];
    std::memset(field, '#', sizeof field);
    text::CopyField(field, 4, "ABCDEFG");
    EXPECT_EQ(std::string(field, 8), std::string("ABC\0####", 8));
    std::memset(field, '#', sizeof field);
    text::CopyField(field, 4, "AB");
    EXPECT_EQ(std::string(field, 8), std::string("AB\0#####", 8));
    std::memset(field, '#', sizeof field);
    text::CopyField(field, 1, "AB");
    EXPECT_EQ(field[0], '\0');
    EXPECT_EQ(field[1], '#');
}

TEST(TextCopyField, GbkCutDoesNotLeaveALoneLeadByte) {
    REQUIRE_LOCALE(kGbkLocale);
    char code[3];
    std::memset(code, '#', sizeof code);
    text::CopyField(code, sizeof code, "A" + kZhong);
    EXPECT_EQ(std::string(code, 3), std::string("A\0#", 3));
    std::memset(code, '#', sizeof code);
    text::CopyField(code, sizeof code, kZhong + "A");
    EXPECT_EQ(std::string(code, 3), kZhong + std::string(1, '\0'));
}

TEST(TextFieldText, EndsAtTheFirstNulOrTheWidth) {
    const char full[4] = {'A', 'B', 'C', 'D'};
    EXPECT_EQ(text::FieldText(full, 4), "ABCD");
    const char cut[4] = {'A', '\0', 'C', 'D'};
    EXPECT_EQ(text::FieldText(cut, 4), "A");
}

TEST(TextTrim, RemovesWhiteSpaceAtBothEndsOnly) {
    REQUIRE_LOCALE("C");
    EXPECT_EQ(text::Trim("  A B \t\r\n"), "A B");
    EXPECT_EQ(text::Trim("   "), "");
    EXPECT_EQ(text::Trim(""), "");
}

TEST(TextTrim, GbkCharactersAreNotTrimmed) {
    REQUIRE_LOCALE(kGbkLocale);
    EXPECT_EQ(text::Trim(" " + kZhong + " "), kZhong);
}

// _stricmp folds A-Z to lower case and compares every other byte by its unsigned value: '_'
// (0x5F) and '[' (0x5B) come before every letter, bytes above 0x7F after all of them.
struct Ordered {
    const char* Lower;
    const char* Higher;
};
class TextCompareNoCase : public ::testing::TestWithParam<Ordered> {};

TEST_P(TextCompareNoCase, OrdersLikeStricmp) {
    for (const char* locale : {"C", kGbkLocale}) {
        REQUIRE_LOCALE(locale);
        EXPECT_LT(text::CompareNoCase(GetParam().Lower, GetParam().Higher), 0) << locale;
        EXPECT_GT(text::CompareNoCase(GetParam().Higher, GetParam().Lower), 0) << locale;
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, TextCompareNoCase,
                         ::testing::Values(Ordered{"_", "a"}, Ordered{"_", "A"}, Ordered{"_", "Z"},
                                           Ordered{"[", "_"}, Ordered{"[", "a"}, Ordered{"Z", "\x81"},
                                           Ordered{"z", "\xE9"}, Ordered{"A.B", "ABC"},
                                           Ordered{"AB", "abc"}, Ordered{"", "a"},
                                           Ordered{"\x7F", "\x80"}));

TEST(TextCompareNoCaseEquality, LettersDifferingOnlyInCaseAreEqual) {
    EXPECT_EQ(text::CompareNoCase("aBc.Xy", "AbC.xY"), 0);
    EXPECT_EQ(text::CompareNoCase("", ""), 0);
    // Only A-Z fold: bytes that some code pages call letters do not.
    EXPECT_NE(text::CompareNoCase("\xC9", "\xE9"), 0);
    EXPECT_NE(text::CompareNoCase("@", "`"), 0);
}

}  // namespace
}  // namespace tessary
