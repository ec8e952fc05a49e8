// The "Expires" attribute of the exchange directory.
#pragma once

#include <cstdint>
#include <string_view>

namespace tessary {

// Reads "YYYYMMDD?hhmmss" text by fixed positions (year 1-4, month 5-6, day 7-8, hour
// 10-11, minute 12-13, second 14-15; position 9 is ignored) as a local time. False when a field
// is out of range or the time lies outside 1970 to 3000.
[[nodiscard]] bool ParseExpires(std::string_view text, std::int64_t& seconds) noexcept;

}  // namespace tessary
