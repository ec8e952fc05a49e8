// Local calendar time through the C runtime's 64-bit mktime, whose range (1970 to the end of
// 3000, UTC) is the one the directory's expiry date is checked against.
#include <time.h>

#include "common/local_time.h"

namespace tessary {

bool MakeLocalTime(const CalendarFields& fields, std::int64_t& seconds) noexcept {
    struct tm tm {};
    tm.tm_year = fields.Year - 1900;
    tm.tm_mon = fields.Month - 1;
    tm.tm_mday = fields.Day;
    tm.tm_hour = fields.Hour;
    tm.tm_min = fields.Minute;
    tm.tm_sec = fields.Second;
    tm.tm_isdst = -1;
    const __time64_t t = ::_mktime64(&tm);
    // The runtime's own limits, stated again for runtimes that do not enforce them all.
    constexpr __time64_t kLastSecond = 32535215999;  // 3000-12-31 23:59:59 UTC
    if (t < 0 || t > kLastSecond) return false;
    seconds = static_cast<std::int64_t>(t);
    return true;
}

}  // namespace tessary
