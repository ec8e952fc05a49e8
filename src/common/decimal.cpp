// Decimal text to integer and back.
#include "common/decimal.h"

#include <cstdint>

namespace tessary {

std::int32_t ParseDecimal(std::string_view text) noexcept {
    std::size_t i = 0;
    // The C runtime's white space in the "C" locale.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT64_C(0x80000000)) value = INT64_C(0x80000000);
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

std::string DecimalKey(std::int32_t number) { return std::to_string(number); }

}  // namespace tessary
