// Decimal text to integer, the way the C runtime's atoi and atol read it, and back for map keys.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessary {

// Skips leading white space, takes an optional sign and then the digits up to the first other
// character; no digits gives 0. A value beyond 32 bits saturates, as the Windows runtime does,
// instead of being undefined.
[[nodiscard]] std::int32_t ParseDecimal(std::string_view text) noexcept;

// The map key of a numbered record (exchange, group): the number in decimal, as "%d" writes it.
[[nodiscard]] std::string DecimalKey(std::int32_t number);

}  // namespace tessary
