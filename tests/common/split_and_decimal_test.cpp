// SplitList and ParseDecimal: the two small parsers that the readers and queries share.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "common/decimal.h"
#include "common/split_list.h"

namespace tessary {
namespace {

std::vector<std::string> Split(std::string_view text, char delimiter = ',') {
    std::vector<std::string_view> pieces{"left over", "from before"};
    SplitList(text, delimiter, pieces);
    return {pieces.begin(), pieces.end()};
}

using Pieces = std::vector<std::string>;

TEST(SplitList, KeepsPiecesInOrder) {
    EXPECT_EQ(Split("ABC.XY,DEF.ZZ"), (Pieces{"ABC.XY", "DEF.ZZ"}));
    EXPECT_EQ(Split("ABC.XY"), (Pieces{"ABC.XY"}));
    EXPECT_EQ(Split("A,A"), (Pieces{"A", "A"}));
}

TEST(SplitList, DropsEmptyPiecesAndEmptiesTheArrayFirst) {
    EXPECT_EQ(Split(""), Pieces{});
    EXPECT_EQ(Split(",,,"), Pieces{});
    EXPECT_EQ(Split(",A,,B,"), (Pieces{"A", "B"}));
}

TEST(SplitList, KeepsBlanks) {
    EXPECT_EQ(Split("A, B ,C"), (Pieces{"A", " B ", "C"}));
    EXPECT_EQ(Split(" , "), (Pieces{" ", " "}));
}

TEST(SplitList, SplitsAtTheGivenDelimiterOnly) {
    EXPECT_EQ(Split("A,B;C", ';'), (Pieces{"A,B", "C"}));
}

TEST(SplitList, StaysInsideAViewThatIsNotTerminated) {
    const std::string text = "A,B,C";
    EXPECT_EQ(Split(std::string_view(text).substr(0, 3)), (Pieces{"A", "B"}));
}

struct DecimalCase {
    const char* Text;
    std::int32_t Value;
};

class ParseDecimalReadsLikeAtoi : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(ParseDecimalReadsLikeAtoi, Case) {
    EXPECT_EQ(ParseDecimal(GetParam().Text), GetParam().Value) << '"' << GetParam().Text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseDecimalReadsLikeAtoi,
    ::testing::Values(DecimalCase{"", 0}, DecimalCase{"0", 0}, DecimalCase{"1", 1},
                      DecimalCase{"007", 7}, DecimalCase{" 1", 1}, DecimalCase{"\t\n\v\f\r 7", 7},
                      DecimalCase{"+5", 5}, DecimalCase{"-5", -5}, DecimalCase{"-", 0},
                      DecimalCase{"+", 0}, DecimalCase{"+-5", 0}, DecimalCase{"- 5", 0},
                      DecimalCase{"12abc", 12}, DecimalCase{"abc", 0}, DecimalCase{"1 2", 1},
                      DecimalCase{"0x10", 0}, DecimalCase{"yes", 0}, DecimalCase{"\xA0" "5", 0},
                      DecimalCase{"70000", 70000}, DecimalCase{"2147483647", INT32_MAX},
                      DecimalCase{"-2147483648", INT32_MIN},
                      // Beyond 32 bits the value saturates instead of wrapping.
                      DecimalCase{"2147483648", INT32_MAX}, DecimalCase{"-2147483649", INT32_MIN},
                      DecimalCase{"4294967297", INT32_MAX},
                      DecimalCase{"99999999999999999999999999", INT32_MAX},
                      DecimalCase{"-99999999999999999999999999", INT32_MIN}));

TEST(ParseDecimal, StopsAtTheEndOfAViewThatIsNotTerminated) {
    // The Expires reader hands over two-character pieces of a longer text.
    const std::string text = "20240418";
    EXPECT_EQ(ParseDecimal(std::string_view(text).substr(4, 2)), 4);
    EXPECT_EQ(ParseDecimal(std::string_view(text).substr(0, 4)), 2024);
    EXPECT_EQ(ParseDecimal(std::string_view(text).substr(8)), 0);
}

}  // namespace
}  // namespace tessary
