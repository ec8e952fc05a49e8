// Local calendar time to seconds since 1970, through the platform's C runtime.
#pragma once

#include <cstdint>

namespace tessary {

struct CalendarFields {
    int Year, Month, Day, Hour, Minute, Second;
};

// The calendar time of `fields` read as local time, with daylight saving time decided by the
// runtime and out-of-range days rolled into the next month. False for a time before the start
// of 1970 or after the end of the year 3000, both in UTC.
[[nodiscard]] bool MakeLocalTime(const CalendarFields& fields, std::int64_t& seconds) noexcept;

}  // namespace tessary
