// Local calendar time to seconds since 1970, through the platform's C runtime.
#pragma once

#include <cstdint>
#include <ctime>

namespace tessary {

struct CalendarFields {
    int Year, Month, Day, Hour, Minute, Second;
};

// The calendar time of `fields` read as local time, with daylight saving time decided by the
// runtime and out-of-range days rolled into the next month. False for a time before the start
// of 1970 or after the end of the year 3000, both in UTC.
[[nodiscard]] bool MakeLocalTime(const CalendarFields& fields, std::int64_t& seconds) noexcept;

// The platform's 64-bit mktime: `tm` read as local time (normalising out-of-range fields), or a
// negative value when the runtime rejects it.
[[nodiscard]] std::int64_t LocalTimeToSeconds(std::tm& tm) noexcept;

}  // namespace tessary
