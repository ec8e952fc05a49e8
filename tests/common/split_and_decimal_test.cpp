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

TEST(SplitList, EmptiesTheArrayThenKeepsEveryNonEmptyPieceWithItsBlanks) {
    struct Case {
        std::string_view Text;
        char Delimiter;
        Pieces Expected;
    };
    const Case cases[] = {
        {"ABC.XY,DEF.ZZ", ',', {"ABC.XY", "DEF.ZZ"}}, {"ABC.XY", ',', {"ABC.XY"}}, {"A,A", ',', {"A", "A"}},
        {"", ',', {}}, {",,,", ',', {}}, {",A,,B,", ',', {"A", "B"}},
        {"A, B ,C", ',', {"A", " B ", "C"}}, {" , ", ',', {" ", " "}}, {"A,B;C", ';', {"A,B", "C"}},
        {std::string_view("A,B,C", 3), ',', {"A", "B"}},  // a view that is not terminated
    };
    for (const Case& c : cases) EXPECT_EQ(Split(c.Text, c.Delimiter), c.Expected) << c.Text;
}

TEST(ParseDecimal, ReadsLikeAtoiButSaturatesAndStopsAtTheEndOfTheView) {
    struct Case {
        std::string_view Text;
        std::int32_t Value;
    };
    const Case cases[] = {
        {"", 0}, {"0", 0}, {"1", 1}, {"007", 7}, {" 1", 1}, {"\t\n\v\f\r 7", 7}, {"+5", 5}, {"-5", -5},
        {"-", 0}, {"+", 0}, {"+-5", 0}, {"- 5", 0}, {"12abc", 12}, {"abc", 0}, {"1 2", 1}, {"0x10", 0},
        {"yes", 0}, {"\xA0" "5", 0}, {"70000", 70000}, {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
        // Beyond 32 bits the value saturates instead of wrapping.
        {"2147483648", INT32_MAX}, {"-2147483649", INT32_MIN}, {"4294967297", INT32_MAX},
        {"99999999999999999999999999", INT32_MAX}, {"-99999999999999999999999999", INT32_MIN},
        // The Expires reader hands over two-character pieces of a longer text.
        {std::string_view("20240418").substr(4, 2), 4}, {std::string_view("20240418").substr(0, 4), 2024},
        {std::string_view("20240418").substr(8), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseDecimal(c.Text), c.Value) << '"' << c.Text << '"';
}

}  // namespace
}  // namespace tessary
